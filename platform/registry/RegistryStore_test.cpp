// The registry's stores: what each must do, whatever keeps the keys, and
// that RegIniFile reaches the one installed.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <optional>

#include "platform/registry/FileRegistry.h"
#include "platform/registry/MemRegistry.h"
#include "platform/registry/Registry.h"
#ifdef _WIN32
#include "platform/registry/WinRegistry.h"
#endif

namespace platform::registry {
namespace {

namespace fs = std::filesystem;
using Names = std::vector<std::string>;

class StoreTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() /
           ("registry_store_test_" + std::to_string(getpid()) + "_" +
            ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(dir_);
    fs::create_directories(dir_);
  }
  void TearDown() override { fs::remove_all(dir_); }

  std::string File(const std::string& name) const { return (dir_ / name).string(); }

  fs::path dir_;
};

// Each store by a name, made in the test's folder.
struct StoreKind {
  const char* name;
  std::function<std::shared_ptr<RegistryStore>(const std::string& folder)> make;
  // Whether names are listed in the order of their creation; the Windows
  // registry lists them in its own.
  bool keeps_order = true;
};

class StoreContract : public StoreTest, public ::testing::WithParamInterface<StoreKind> {
 protected:
  std::shared_ptr<RegistryStore> Make() { return GetParam().make(dir_.string()); }
  // The names as the store lists them, in order where it keeps one.
  Names Listed(Names names) const {
    if (!GetParam().keeps_order) std::sort(names.begin(), names.end());
    return names;
  }
};

TEST_P(StoreContract, NamesIgnoreCaseKeepTheirFirstSpellingAndTheirOrder) {
  std::shared_ptr<RegistryStore> store = Make();
  // A store that was never written is empty, not an error.
  EXPECT_FALSE(store->KeyExists("Vandra"));
  EXPECT_EQ(store->ReadValue("Vandra", "UserName"), std::nullopt);
  EXPECT_TRUE(store->SubkeyNames("Vandra").empty());

  store->WriteValue("Software\\Bremak\\kartul", "Pfad", "C:\\Programme");
  EXPECT_TRUE(store->KeyExists("software\\BREMAK")) << "a parent of a stored key exists";
  EXPECT_FALSE(store->KeyExists("Software\\Brem"));
  store->CreateKey("SOFTWARE\\bremak\\Neu");
  store->CreateKey("Software\\Bremak\\kartul");  // there already: nothing changes
  EXPECT_EQ(store->SubkeyNames("software\\bremak"), (Names{"kartul", "Neu"}));

  store->WriteValue("software\\BREMAK\\KARTUL", "PFAD", "D:\\");
  store->WriteValue("Software\\Bremak\\kartul", "Leer", "");
  EXPECT_EQ(Listed(store->ValueNames("Software\\Bremak\\kartul")), Listed({"Pfad", "Leer"}));
  EXPECT_EQ(store->ReadValue("Software\\Bremak\\kartul", "pfad"), "D:\\");
  EXPECT_EQ(store->ReadValue("Software\\Bremak\\kartul", "Leer"), "") << "empty, yet there";
  EXPECT_EQ(store->ReadValue("Software\\Bremak\\Neu", "Pfad"), std::nullopt);

  store->DeleteValue("Software\\Bremak\\kartul", "pfad");
  store->DeleteValue("Software\\Bremak\\kartul", "gibt es nicht");
  store->DeleteValue("Software\\Gibt\\Es\\Nicht", "Pfad");
  EXPECT_EQ(store->ValueNames("Software\\Bremak\\kartul"), Names{"Leer"});

  store->WriteValue("Software\\Bremaker", "X", "1");  // a sibling that shares the beginning
  store->EraseKey("software\\bremak");
  EXPECT_FALSE(store->KeyExists("Software\\Bremak"));
  EXPECT_FALSE(store->KeyExists("Software\\Bremak\\Neu"));
  EXPECT_EQ(store->ReadValue("Software\\Bremaker", "X"), "1");
}

TEST_P(StoreContract, RegIniFileKeepsItsMeaningOverTheStore) {
  auto reg = RegIniFile("Vandra", RegIniFile::Access::kReadWrite, Make());
  EXPECT_TRUE(reg.KeyExists()) << "opened for writing, the key is created";
  reg.WriteInteger("AutoCheckIn", "StoreLoginParams", 1);
  reg.WriteString("AutoCheckIn\\Sub", "X", "tief");
  EXPECT_TRUE(reg.ReadBool("autocheckin", "storeloginparams", false));
  EXPECT_EQ(reg.ReadSections(), Names{"AutoCheckIn"}) << "subkeys one level down only";
  reg.EraseSection("");  // never the key itself
  EXPECT_EQ(reg.ReadString("AutoCheckIn\\Sub", "X", ""), "tief");
  reg.EraseSection("AutoCheckIn");
  EXPECT_FALSE(reg.ValueExists("AutoCheckIn\\Sub", "X"));
  EXPECT_TRUE(reg.KeyExists());
}

std::vector<StoreKind> Stores() {
  std::vector<StoreKind> stores = {
      StoreKind{"File",
                [](const std::string& folder) {
                  return std::make_shared<FileRegistry>(folder + "/user/registry.reg");
                }},
      StoreKind{"Memory", [](const std::string&) { return std::make_shared<MemRegistry>(); }}};
#ifdef _WIN32
  // The user's real registry, in a key of the test's own that goes with the
  // store.
  stores.push_back(StoreKind{
      "Windows",
      [](const std::string& folder) {
        const std::string base = "Software\\VandraTests\\" + fs::path(folder).filename().string();
        return std::shared_ptr<RegistryStore>(new WinRegistry(base), [base](RegistryStore* store) {
          try {
            WinRegistry().EraseKey(base);
          } catch (const RegistryError&) {
          }
          delete store;
        });
      },
      false});
#endif
  return stores;
}

INSTANTIATE_TEST_SUITE_P(Stores, StoreContract, ::testing::ValuesIn(Stores()),
                         [](const ::testing::TestParamInfo<StoreKind>& info) {
                           return std::string(info.param.name);
                         });

// The environment variable for the test's life.
class ScopedVariable {
 public:
  ScopedVariable(const char* name, const std::string& value) : name_(name) {
    if (const char* old = std::getenv(name)) old_ = old;
    Set(name, value.c_str());
  }
  ~ScopedVariable() { Set(name_, old_ ? old_->c_str() : nullptr); }

 private:
  // Null removes the variable.
  static void Set(const char* name, const char* value) {
#ifdef _WIN32
    _putenv_s(name, value != nullptr ? value : "");
#else
    if (value != nullptr)
      setenv(name, value, 1);
    else
      unsetenv(name);
#endif
  }

  const char* name_;
  std::optional<std::string> old_;
};

TEST_F(StoreTest, KeysOpenedWhileAStoreIsInstalledLiveThereAndTheFileComesBackAfter) {
#ifdef _WIN32
  GTEST_SKIP() << "the platform's own store is the Windows registry, not the file of "
                  "KARTUL_REGISTRY";
#endif
  ScopedVariable registry_file("KARTUL_REGISTRY", File("registry.reg"));
  MemRegistry memory;
  {
    ScopedRegistry scoped(memory);
    RegIniFile reg("Vandra");
    EXPECT_EQ(reg.FileName(), "(memory)");
    reg.WriteString("AutoCheckIn", "UserName", "karla");
    EXPECT_EQ(RegIniFile("vandra", RegIniFile::Access::kReadOnly)
                  .ReadString("AutoCheckIn", "UserName", ""),
              "karla");
  }
  EXPECT_EQ(memory.ReadValue("Vandra\\AutoCheckIn", "UserName"), "karla");
  EXPECT_FALSE(fs::exists(File("registry.reg")));

  RegIniFile after("Vandra", RegIniFile::Access::kReadOnly);
  EXPECT_EQ(after.FileName(), File("registry.reg"));
  EXPECT_EQ(after.ReadString("AutoCheckIn", "UserName", "none"), "none");
}

// A store that cannot be read or written while it is denied, as a registry
// the user may not reach.
class DeniedRegistry : public MemRegistry {
 public:
  bool denied = true;

  bool KeyExists(const std::string& key) override {
    Check();
    return MemRegistry::KeyExists(key);
  }
  std::optional<std::string> ReadValue(const std::string& key, std::string_view name) override {
    Check();
    return MemRegistry::ReadValue(key, name);
  }
  std::vector<std::string> SubkeyNames(const std::string& key) override {
    Check();
    return MemRegistry::SubkeyNames(key);
  }
  std::vector<std::string> ValueNames(const std::string& key) override {
    Check();
    return MemRegistry::ValueNames(key);
  }
  void CreateKey(const std::string& key) override {
    Check();
    MemRegistry::CreateKey(key);
  }
  void WriteValue(const std::string& key, std::string_view name, std::string_view data) override {
    Check();
    MemRegistry::WriteValue(key, name, data);
  }

 private:
  void Check() const {
    if (denied) throw RegistryError("access to the registry denied");
  }
};

TEST(StoreErrors, ReadsGiveDefaultsAndTellWhyWritesThrow) {
  auto store = std::make_shared<DeniedRegistry>();
  RegIniFile reader("Vandra", RegIniFile::Access::kReadOnly, store);
  EXPECT_EQ(reader.ReadInteger("AutoCheckIn", "StoreLoginParams", 7), 7);
  EXPECT_EQ(reader.LastError(), "access to the registry denied");
  EXPECT_FALSE(reader.KeyExists());
  EXPECT_FALSE(reader.ValueExists("AutoCheckIn", "UserName"));
  EXPECT_TRUE(reader.ReadSections().empty());
  EXPECT_TRUE(reader.ReadSection("AutoCheckIn").empty());
  EXPECT_EQ(reader.LastError(), "access to the registry denied");
  EXPECT_THROW(RegIniFile("Vandra", RegIniFile::Access::kReadWrite, store), RegistryError);

  store->denied = false;
  RegIniFile writer("Vandra", RegIniFile::Access::kReadWrite, store);
  writer.WriteInteger("AutoCheckIn", "StoreLoginParams", 1);
  store->denied = true;
  EXPECT_THROW(writer.WriteInteger("AutoCheckIn", "StoreLoginParams", 0), RegistryError);
  // An error is the last read's only: the next read that succeeds clears it.
  store->denied = false;
  EXPECT_EQ(reader.ReadInteger("AutoCheckIn", "StoreLoginParams", 7), 1);
  EXPECT_EQ(reader.LastError(), "");
}

}  // namespace
}  // namespace platform::registry
