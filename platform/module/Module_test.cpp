// The module's own name as the system tells it: a test program is the module
// its code was linked into, so it names itself, without its folder.
#include "platform/module/Module.h"

#include <gtest/gtest.h>

#ifdef _WIN32
#include <windows.h>
#endif

#include <filesystem>

namespace platform::module {
namespace {

std::string ProgramName() {
#ifdef _WIN32
  wchar_t path[MAX_PATH] = {};
  GetModuleFileNameW(nullptr, path, MAX_PATH);
  const std::u8string name = std::filesystem::path(path).filename().u8string();
  return std::string(name.begin(), name.end());
#else
  return std::filesystem::read_symlink("/proc/self/exe").filename().string();
#endif
}

TEST(ModuleTest, TheProgramLinkingTheCodeIsItsModuleNamedWithoutFolder) {
  const std::string name = OwnFileName();
  EXPECT_EQ(name, ProgramName());
  EXPECT_EQ(name.find_first_of("/\\"), std::string::npos) << name;
}

}  // namespace
}  // namespace platform::module
