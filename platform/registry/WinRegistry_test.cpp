// The Windows registry as other programs meet it: UTF-16 text values, and
// values of other types written by others.
#include "platform/registry/WinRegistry.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <string>

#include "platform/env/TestEnglish.h"

namespace platform::registry {
namespace {

using env::testing::EnglishWords;

class WinRegistryTest : public ::testing::Test {
 protected:
  void SetUp() override {
    base_ = std::string("Software\\VandraTests\\") +
            ::testing::UnitTest::GetInstance()->current_test_info()->name() + "_" +
            std::to_string(GetCurrentProcessId());
    WinRegistry().EraseKey(base_);
  }
  void TearDown() override { WinRegistry().EraseKey(base_); }

  // The key below the test's own, opened by the Win32 API itself.
  HKEY Open(const std::wstring& below) {
    const std::wstring path = std::wstring(base_.begin(), base_.end()) + L"\\" + below;
    HKEY key = nullptr;
    EXPECT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS,
                              nullptr, &key, nullptr),
              ERROR_SUCCESS);
    return key;
  }

  std::string base_;
};

TEST_F(WinRegistryTest, TextIsUtf16InTheRegistryAndUtf8AboveIt) {
  WinRegistry store(base_);
  store.WriteValue("Vandra\\Übertragung", "Kartiererin", "Jördis Ørsted \xE2\x9C\x93 \"C:\\x\"");
  HKEY key = Open(L"Vandra\\\u00DCbertragung");
  wchar_t data[64] = {};
  DWORD size = sizeof data;
  DWORD type = 0;
  ASSERT_EQ(
      RegQueryValueExW(key, L"kartiererin", nullptr, &type, reinterpret_cast<BYTE*>(data), &size),
      ERROR_SUCCESS);
  EXPECT_EQ(type, static_cast<DWORD>(REG_SZ));
  EXPECT_EQ(std::wstring(data), L"J\u00F6rdis \u00D8rsted \u2713 \"C:\\x\"");
  EXPECT_EQ(size, (std::wstring(data).size() + 1) * sizeof(wchar_t)) << "with its terminator";

  // Written by another program without a terminator, and empty.
  const wchar_t bare[] = {L'P', L'f', L'a', L'd'};
  RegSetValueExW(key, L"Bare", 0, REG_SZ, reinterpret_cast<const BYTE*>(bare), sizeof bare);
  RegSetValueExW(key, L"Empty", 0, REG_SZ, nullptr, 0);
  RegCloseKey(key);
  EXPECT_EQ(store.ReadValue("vandra\\übertragung", "bare"), "Pfad");
  EXPECT_EQ(store.ReadValue("Vandra\\Übertragung", "Empty"), "");
  EXPECT_EQ(store.SubkeyNames("Vandra"), std::vector<std::string>{"Übertragung"});
  EXPECT_THROW(store.WriteValue("Vandra", "\xFF", "x"), RegistryError) << "no UTF-8";
}

TEST_F(WinRegistryTest, NumbersOfOtherProgramsReadAsDecimalTextAndOtherDataAsAnError) {
  HKEY key = Open(L"Vandra\\AutoCheckIn");
  const DWORD negative = static_cast<DWORD>(-5);
  RegSetValueExW(key, L"Port", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&negative),
                 sizeof negative);
  const BYTE blob[] = {1, 2, 3};
  RegSetValueExW(key, L"Blob", 0, REG_BINARY, blob, sizeof blob);
  RegCloseKey(key);

  RegIniFile reg(base_ + "\\Vandra", RegIniFile::Access::kReadOnly,
                 std::make_shared<WinRegistry>());
  EXPECT_EQ(reg.ReadInteger("AutoCheckIn", "Port", 0), -5);
  EXPECT_EQ(reg.ReadString("AutoCheckIn", "Blob", "none"), "none");
  EXPECT_NE(reg.LastError().find("Blob"), std::string::npos) << reg.LastError();
  EXPECT_EQ(EnglishWords(reg.LastError()), std::vector<std::string>{}) << reg.LastError();
}

// What Windows refuses reaches the mapper in German whatever the system's
// language, with the key as the registry editor shows it.
TEST_F(WinRegistryTest, RefusalsAreGermanAndNameTheKey) {
  WinRegistry store(base_);
  auto text_of = [](const auto& work) {
    try {
      work();
    } catch (const RegistryError& e) {
      return std::string(e.what());
    }
    ADD_FAILURE() << "no error";
    return std::string();
  };
  // Windows takes no key name beyond 255 characters.
  const std::string long_name(300, 'K');
  const std::string too_long = text_of([&] { store.WriteValue(long_name, "a", "b"); });
  EXPECT_EQ(EnglishWords(too_long), std::vector<std::string>{}) << too_long;
  EXPECT_NE(too_long.find("HKEY_CURRENT_USER\\" + base_ + "\\KKK"), std::string::npos) << too_long;
  EXPECT_NE(too_long.find(" kann nicht angelegt werden: "), std::string::npos) << too_long;

  const std::string no_utf8 = text_of([&] { store.WriteValue("Vandra", "\xFF", "x"); });
  EXPECT_EQ(EnglishWords(no_utf8), std::vector<std::string>{}) << no_utf8;
  EXPECT_NE(no_utf8.find(base_ + "\\Vandra"), std::string::npos) << no_utf8;

  const std::string hive = text_of([] { WinRegistry().EraseKey(""); });
  EXPECT_EQ(EnglishWords(hive), std::vector<std::string>{}) << hive;
  EXPECT_NE(hive.find("\"HKEY_CURRENT_USER\""), std::string::npos) << hive;
}

TEST(WinRegistryStore, IsTheCurrentUsersAndNeverErasesItsHive) {
  const std::shared_ptr<RegistryStore> store = RegistryStore::Default();
  EXPECT_EQ(store->Name(), "HKEY_CURRENT_USER");
  EXPECT_TRUE(store->KeyExists("Software"));
  EXPECT_THROW(store->EraseKey(""), RegistryError);
  EXPECT_TRUE(store->KeyExists("Software"));
  EXPECT_EQ(WinRegistry("Software\\VandraTests").Name(),
            "HKEY_CURRENT_USER\\Software\\VandraTests");
}

}  // namespace
}  // namespace platform::registry
