// The current user's registry on Windows: every call opens the key afresh
// (another process may have changed it) and closes it before returning.
// Errors name the key as the registry editor shows it and Windows' reason,
// in German.
#include "platform/registry/WinRegistry.h"
#include "platform/text/WideText.h"

#include <windows.h>

#include <cstdint>
#include <cstring>
#include <optional>

#include "platform/env/Env.h"
#include "platform/registry/RegistryFile.h"

namespace platform::registry {
namespace {

constexpr char kHive[] = "HKEY_CURRENT_USER";

std::string Utf8(const wchar_t* wide, size_t n) {
  return text::Utf8OfWide(std::wstring_view(wide, n));
}

std::string Shown(const std::string& path) {
  return path.empty() ? std::string(kHive) : std::string(kHive) + "\\" + path;
}

// `what` is the participle of what could not be done ("geöffnet"). The
// reason is German whatever the system's language, from the one table of
// Windows' codes; a code without a text there is named by its number.
[[noreturn]] void Fail(const char* what, const std::string& path, LSTATUS status) {
  throw RegistryError("Der Registrierungsschlüssel \"" + Shown(path) + "\" kann nicht " + what +
                      " werden: " + env::WindowsReasonText(static_cast<unsigned long>(status)) +
                      ".");
}

std::wstring Wide(std::string_view utf8, const std::string& path) {
  std::optional<std::wstring> wide = text::StrictWideOf(utf8);
  if (!wide) {
    throw RegistryError("Ein Name oder Wert des Registrierungsschlüssels \"" + Shown(path) +
                        "\" ist kein gültiger UTF-8-Text.");
  }
  return std::move(*wide);
}

class Key {
 public:
  Key() = default;
  ~Key() {
    if (h_ != nullptr) RegCloseKey(h_);
  }
  Key(const Key&) = delete;
  Key& operator=(const Key&) = delete;
  HKEY* out() { return &h_; }
  HKEY get() const { return h_; }

 private:
  HKEY h_ = nullptr;
};

// Opens the key; false when it does not exist, throws for any other error.
bool Open(const std::string& path, REGSAM access, Key& key) {
  const LSTATUS status =
      RegOpenKeyExW(HKEY_CURRENT_USER, Wide(path, path).c_str(), 0, access, key.out());
  if (status == ERROR_SUCCESS) return true;
  if (status == ERROR_FILE_NOT_FOUND) return false;
  Fail("geöffnet", path, status);
}

void Create(const std::string& path, REGSAM access, Key& key) {
  const LSTATUS status =
      RegCreateKeyExW(HKEY_CURRENT_USER, Wide(path, path).c_str(), 0, nullptr,
                      REG_OPTION_NON_VOLATILE, access, nullptr, key.out(), nullptr);
  if (status != ERROR_SUCCESS) Fail("angelegt", path, status);
}

// The names RegEnumKeyExW or RegEnumValueW give, one index after the other.
// A name longer than the buffer (one added meanwhile) grows it and is asked
// for again.
template <class Enum>
std::vector<std::string> Names(const std::string& path, Enum enumerate) {
  std::vector<std::string> names;
  std::wstring buffer(256, L'\0');
  for (DWORD index = 0;;) {
    DWORD n = static_cast<DWORD>(buffer.size());
    const LSTATUS status = enumerate(index, buffer.data(), &n);
    if (status == ERROR_NO_MORE_ITEMS) return names;
    if (status == ERROR_MORE_DATA) {
      // Names are at most 16383 characters; values' at most 32767.
      if (buffer.size() >= 32768) Fail("aufgelistet", path, status);
      buffer.resize(buffer.size() * 2);
      continue;
    }
    if (status != ERROR_SUCCESS) Fail("aufgelistet", path, status);
    names.push_back(Utf8(buffer.data(), n));
    ++index;
  }
}

}  // namespace

WinRegistry::WinRegistry(std::string base) : base_(detail::NormalizeKeyPath(base)) {}

std::string WinRegistry::Path(const std::string& key) const {
  if (base_.empty()) return key;
  return key.empty() ? base_ : base_ + "\\" + key;
}

std::string WinRegistry::Name() const {
  return Shown(base_);
}

bool WinRegistry::KeyExists(const std::string& key) {
  Key k;
  return Open(Path(key), KEY_READ, k);
}

std::optional<std::string> WinRegistry::ReadValue(const std::string& key, std::string_view name) {
  const std::string path = Path(key);
  Key k;
  if (!Open(path, KEY_QUERY_VALUE, k)) return std::nullopt;
  const std::wstring wide_name = Wide(name, path);
  std::vector<BYTE> data(256);
  DWORD type = 0;
  for (;;) {
    DWORD size = static_cast<DWORD>(data.size());
    const LSTATUS status =
        RegQueryValueExW(k.get(), wide_name.c_str(), nullptr, &type, data.data(), &size);
    if (status == ERROR_FILE_NOT_FOUND) return std::nullopt;
    if (status == ERROR_MORE_DATA) {
      data.resize(size + sizeof(wchar_t));  // grown by another writer meanwhile: asked again
      continue;
    }
    if (status != ERROR_SUCCESS) Fail("gelesen", path, status);
    data.resize(size);
    break;
  }
  switch (type) {
    case REG_SZ:
    case REG_EXPAND_SZ: {
      // Stored as written, with or without its terminator; never expanded,
      // as the values are read back as they were written.
      size_t n = data.size() / sizeof(wchar_t);
      std::wstring text(n, L'\0');
      std::memcpy(text.data(), data.data(), n * sizeof(wchar_t));
      while (!text.empty() && text.back() == L'\0') text.pop_back();
      return Utf8(text.data(), text.size());
    }
    // Written as numbers by other programs: the decimal text the system
    // writes for integers.
    case REG_DWORD:
      if (data.size() == 4) {
        DWORD number = 0;
        std::memcpy(&number, data.data(), sizeof number);
        return std::to_string(static_cast<int32_t>(number));
      }
      break;
    case REG_QWORD:
      if (data.size() == 8) {
        uint64_t number = 0;
        std::memcpy(&number, data.data(), sizeof number);
        return std::to_string(static_cast<int64_t>(number));
      }
      break;
    default:
      break;
  }
  throw RegistryError("Der Wert \"" + std::string(name) + "\" des Registrierungsschlüssels \"" +
                      Shown(path) + "\" ist kein Text (Typ " + std::to_string(type) + ").");
}

std::vector<std::string> WinRegistry::SubkeyNames(const std::string& key) {
  const std::string path = Path(key);
  Key k;
  if (!Open(path, KEY_ENUMERATE_SUB_KEYS, k)) return {};
  return Names(path, [&](DWORD index, wchar_t* name, DWORD* n) {
    return RegEnumKeyExW(k.get(), index, name, n, nullptr, nullptr, nullptr, nullptr);
  });
}

std::vector<std::string> WinRegistry::ValueNames(const std::string& key) {
  const std::string path = Path(key);
  Key k;
  if (!Open(path, KEY_QUERY_VALUE, k)) return {};
  return Names(path, [&](DWORD index, wchar_t* name, DWORD* n) {
    return RegEnumValueW(k.get(), index, name, n, nullptr, nullptr, nullptr, nullptr);
  });
}

void WinRegistry::CreateKey(const std::string& key) {
  Key k;
  Create(Path(key), KEY_QUERY_VALUE, k);
}

void WinRegistry::WriteValue(const std::string& key, std::string_view name, std::string_view data) {
  const std::string path = Path(key);
  const std::wstring wide_name = Wide(name, path);
  const std::wstring wide_data = Wide(data, path);
  Key k;
  Create(path, KEY_SET_VALUE, k);
  const LSTATUS status = RegSetValueExW(
      k.get(), wide_name.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(wide_data.c_str()),
      static_cast<DWORD>((wide_data.size() + 1) * sizeof(wchar_t)));
  if (status != ERROR_SUCCESS) Fail("geschrieben", path, status);
}

void WinRegistry::DeleteValue(const std::string& key, std::string_view name) {
  const std::string path = Path(key);
  const std::wstring wide_name = Wide(name, path);
  Key k;
  if (!Open(path, KEY_SET_VALUE, k)) return;
  const LSTATUS status = RegDeleteValueW(k.get(), wide_name.c_str());
  if (status != ERROR_SUCCESS && status != ERROR_FILE_NOT_FOUND) Fail("geändert", path, status);
}

void WinRegistry::EraseKey(const std::string& key) {
  const std::string path = Path(key);
  // RegDeleteTreeW of the hive would empty all of the user's registry.
  if (path.empty()) {
    throw RegistryError("Der Registrierungsschlüssel \"" + Shown(path) +
                        "\" kann nicht gelöscht werden: Er ist der Stamm der Registrierung "
                        "des Benutzers.");
  }
  const LSTATUS status = RegDeleteTreeW(HKEY_CURRENT_USER, Wide(path, path).c_str());
  if (status != ERROR_SUCCESS && status != ERROR_FILE_NOT_FOUND) Fail("gelöscht", path, status);
}

std::shared_ptr<RegistryStore> RegistryStore::Default() {
  return std::make_shared<WinRegistry>();
}

}  // namespace platform::registry
