#include "platform/module/Module.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <dlfcn.h>
#endif

#include <string_view>

#include "platform/env/Path.h"
#ifdef _WIN32
#include "platform/text/WideText.h"
#endif

namespace platform::module {

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
  return env::NameOf(text::Utf8OfWide(path));
}

#else

std::string OwnFileName() {
  Dl_info info{};
  if (dladdr(reinterpret_cast<const void*>(&OwnFileName), &info) == 0 || !info.dli_fname) return {};
  return env::NameOf(info.dli_fname);
}

#endif

}  // namespace platform::module
