#include "platform/module/Module.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <dlfcn.h>
#endif

#include <string_view>

namespace platform::module {
namespace {

std::string LastPart(std::string_view path) {
  const size_t cut = path.find_last_of("/\\");
  return std::string(cut == std::string_view::npos ? path : path.substr(cut + 1));
}

}  // namespace

#ifdef _WIN32

std::string OwnFileName() {
  HMODULE self = nullptr;
  if (!GetModuleHandleExW(
          GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
          reinterpret_cast<LPCWSTR>(&OwnFileName), &self)) {
    return {};
  }
  // Long paths do not fit MAX_PATH; the call cuts them and says so only by
  // filling the buffer.
  std::wstring path(MAX_PATH, L'\0');
  for (;;) {
    const DWORD n = GetModuleFileNameW(self, path.data(), static_cast<DWORD>(path.size()));
    if (n == 0) return {};
    if (n < path.size()) {
      path.resize(n);
      break;
    }
    path.resize(path.size() * 2);
  }
  const int size = WideCharToMultiByte(CP_UTF8, 0, path.data(), static_cast<int>(path.size()),
                                       nullptr, 0, nullptr, nullptr);
  std::string utf8(static_cast<size_t>(size), '\0');
  WideCharToMultiByte(CP_UTF8, 0, path.data(), static_cast<int>(path.size()), utf8.data(), size,
                      nullptr, nullptr);
  return LastPart(utf8);
}

#else

std::string OwnFileName() {
  Dl_info info{};
  if (dladdr(reinterpret_cast<const void*>(&OwnFileName), &info) == 0 || !info.dli_fname) return {};
  return LastPart(info.dli_fname);
}

#endif

}  // namespace platform::module
