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

void* LoadedLibraryFunction(std::string_view library, const char* function) {
  // The handle is not counted: the library stays loaded as long as the
  // module that asks for it imports from it.
  const HMODULE module = GetModuleHandleW(text::WideOf(std::string(library) + ".dll").c_str());
  if (module == nullptr) return nullptr;
  return reinterpret_cast<void*>(GetProcAddress(module, function));
}

#else

std::string OwnFileName() {
  Dl_info info{};
  if (dladdr(reinterpret_cast<const void*>(&OwnFileName), &info) == 0 || !info.dli_fname) return {};
  return env::NameOf(info.dli_fname);
}

void* LoadedLibraryFunction(std::string_view library, const char* function) {
  // By its file name among the libraries loaded already, and through its
  // own handle: the program and the other libraries loaded beside it may
  // have a symbol of the same name, which is not the one meant.
  const std::string file = "lib" + std::string(library) + ".so";
  void* handle = dlopen(file.c_str(), RTLD_LAZY | RTLD_NOLOAD);
  if (handle == nullptr) return nullptr;
  void* address = dlsym(handle, function);
  // The library stays loaded through whoever loaded it first; this handle
  // only counted one more user.
  dlclose(handle);
  return address;
}

#endif

}  // namespace platform::module
