// The module's own name as the system tells it: a test program is the module
// its code was linked into, so it names itself, without its folder.
#include "platform/module/Module.h"

#include <gtest/gtest.h>

#ifdef _WIN32
#include <windows.h>
#else
#include <dlfcn.h>
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

// Whether the system has the library loaded, asked without loading it.
bool IsLoaded(const char* file) {
#ifdef _WIN32
  return GetModuleHandleA(file) != nullptr;
#else
  void* handle = dlopen(file, RTLD_LAZY | RTLD_NOLOAD);
  if (handle != nullptr) dlclose(handle);
  return handle != nullptr;
#endif
}

TEST(ModuleTest, ALoadedLibrarysFunctionIsFoundByNameAndNoLibraryIsLoadedForIt) {
#ifdef _WIN32
  void* const address = reinterpret_cast<void*>(
      GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "GetSystemTimeAsFileTime"));
  ASSERT_NE(address, nullptr);
  EXPECT_EQ(LoadedLibraryFunction("kernel32", "GetSystemTimeAsFileTime"), address);
  EXPECT_EQ(LoadedLibraryFunction("kernel32", "GibtEsNicht"), nullptr);
  const char* const unused = "version.dll";
  const char* const unused_function = "GetFileVersionInfoSizeW";
  const char* const unused_library = "version";
#else
  // The compression library: a system library this program does not use.
  const char* const unused = "libz.so";
  const char* const unused_function = "zlibVersion";
  const char* const unused_library = "z";
#endif
  const bool loaded_before = IsLoaded(unused);
  const void* found = LoadedLibraryFunction(unused_library, unused_function);
  EXPECT_EQ(IsLoaded(unused), loaded_before) << "a lookup loads nothing";
  if (!loaded_before) {
    EXPECT_EQ(found, nullptr);
  }
  EXPECT_EQ(LoadedLibraryFunction("gibtesnicht", "GibtEsNicht"), nullptr);
}

}  // namespace
}  // namespace platform::module
