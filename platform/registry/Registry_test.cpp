#include "platform/registry/Registry.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "platform/registry/FileRegistry.h"
#include "platform/registry/RegistryFile.h"

namespace platform::registry {
namespace {

namespace fs = std::filesystem;
using namespace std::string_literals;

constexpr const char* kVandraKey = "Software\\Bremak\\kartul\\5.1\\VANDRA";

class RegistryTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() /
           ("registry_test_" + std::to_string(getpid()) + "_" +
            ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(dir_);
    fs::create_directories(dir_);
    file_ = (dir_ / "user" / "registry.reg").string();
  }
  void TearDown() override { fs::remove_all(dir_); }

  std::string Content() const {
    std::ifstream in(file_, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
  }
  void Put(const std::string& bytes) {
    fs::create_directories(fs::path(file_).parent_path());
    std::ofstream(file_, std::ios::binary) << bytes;
  }
  mode_t Mode(const std::string& path) const {
    struct stat st {};
    stat(path.c_str(), &st);
    return st.st_mode & 0777;
  }

  fs::path dir_;
  std::string file_;
};

TEST(RegistryPath, EnvironmentChoosesTheFile) {
  auto save = [](const char* name) {
    const char* v = std::getenv(name);
    return v ? std::optional<std::string>(v) : std::nullopt;
  };
  auto restore = [](const char* name, const std::optional<std::string>& v) {
    if (v)
      setenv(name, v->c_str(), 1);
    else
      unsetenv(name);
  };
  auto reg = save("KARTUL_REGISTRY"), xdg = save("XDG_CONFIG_HOME"), home = save("HOME");
  setenv("KARTUL_REGISTRY", "/tmp/x/reg", 1);
  EXPECT_EQ(RegistryFilePath(), "/tmp/x/reg");
  unsetenv("KARTUL_REGISTRY");
  setenv("XDG_CONFIG_HOME", "/cfg", 1);
  EXPECT_EQ(RegistryFilePath(), "/cfg/kartul/registry.reg");
  unsetenv("XDG_CONFIG_HOME");
  setenv("HOME", "/home/mapper", 1);
  EXPECT_EQ(RegistryFilePath(), "/home/mapper/.config/kartul/registry.reg");
  restore("KARTUL_REGISTRY", reg);
  restore("XDG_CONFIG_HOME", xdg);
  restore("HOME", home);
}

TEST_F(RegistryTest, IntegerIsStoredAsDecimalTextAndReadBack) {
  RegIniFile reg(kVandraKey, RegIniFile::Access::kReadWrite, file_);
  reg.WriteInteger("VD2Transaktionen", "GK-Streifen", 3);
  reg.WriteBool("", "Flag", true);
  EXPECT_EQ(RegIniFile(kVandraKey, RegIniFile::Access::kReadOnly, file_)
                .ReadInteger("VD2Transaktionen", "GK-Streifen", 2),
            3);
  EXPECT_EQ(Content(),
            "Windows Registry Editor Version 5.00\n\n"
            "[HKEY_CURRENT_USER\\Software\\Bremak\\kartul\\5.1\\VANDRA]\n"
            "\"Flag\"=\"1\"\n\n"
            "[HKEY_CURRENT_USER\\Software\\Bremak\\kartul\\5.1\\VANDRA\\VD2Transaktionen]\n"
            "\"GK-Streifen\"=\"3\"\n\n");
}

TEST_F(RegistryTest, TextIsKeptExactlyAsWritten) {
  RegIniFile reg("Vandra", RegIniFile::Access::kReadWrite, file_);
  const std::string tricky = "  pa ss \"w\\rd\"\r\n\tÄ€\x01 ";
  reg.WriteString("AutoCheckIn", "Password", tricky);
  reg.WriteString("AutoCheckIn", "ProgramPath", "C:\\Programme\\Checkin.exe");
  RegIniFile again("Vandra", RegIniFile::Access::kReadOnly, file_);
  EXPECT_EQ(again.ReadString("AutoCheckIn", "Password", ""), tricky);
  EXPECT_EQ(again.ReadString("AutoCheckIn", "ProgramPath", ""), "C:\\Programme\\Checkin.exe");
  EXPECT_NE(Content().find("\"  pa ss \\\"w\\\\rd\\\"\\r\\n\\tÄ€\\x01 \""), std::string::npos);
}

TEST_F(RegistryTest, FileAndFolderAreReadableByTheOwnerOnly) {
  Put("Windows Registry Editor Version 5.00\n");
  chmod(file_.c_str(), 0644);
  RegIniFile reg("Vandra", RegIniFile::Access::kReadWrite, file_);
  reg.WriteString("AutoCheckIn", "Password", "geheim");
  EXPECT_EQ(Mode(file_), 0600u);

  std::string fresh = (dir_ / "new" / "deeper" / "registry.reg").string();
  RegIniFile("Vandra", RegIniFile::Access::kReadWrite, fresh)
      .WriteString("AutoCheckIn", "Password", "x");
  EXPECT_EQ(Mode(fresh), 0600u);
  EXPECT_EQ(Mode((dir_ / "new" / "deeper").string()), 0700u);
}

TEST_F(RegistryTest, ReadOnlyKeyNeverWrites) {
  RegIniFile reg(kVandraKey, RegIniFile::Access::kReadOnly, file_);
  EXPECT_FALSE(reg.KeyExists());
  EXPECT_EQ(reg.ReadInteger("VD2Transaktionen", "SelectStatus", 0), 0);
  EXPECT_EQ(reg.ReadString("VD2Transaktionen", "ImportDir", "none"), "none");
  EXPECT_EQ(reg.LastError(), "");
  EXPECT_FALSE(fs::exists(file_));
  EXPECT_THROW(reg.WriteInteger("VD2Transaktionen", "SelectStatus", 1), RegistryError);
  EXPECT_FALSE(fs::exists(file_));
}

TEST_F(RegistryTest, OpeningForWritingCreatesTheKey) {
  RegIniFile reg("Vandra", RegIniFile::Access::kReadWrite, file_);
  EXPECT_TRUE(reg.KeyExists());
  EXPECT_TRUE(RegIniFile("vandra", RegIniFile::Access::kReadOnly, file_).KeyExists());
  // A parent of a stored key exists too.
  RegIniFile(kVandraKey, RegIniFile::Access::kReadWrite, file_);
  EXPECT_TRUE(RegIniFile("Software\\Bremak", RegIniFile::Access::kReadOnly, file_).KeyExists());
  EXPECT_FALSE(RegIniFile("Software\\Brem", RegIniFile::Access::kReadOnly, file_).KeyExists());
}

TEST_F(RegistryTest, NamesIgnoreCaseAndKeepTheirFirstSpelling) {
  RegIniFile reg(kVandraKey, RegIniFile::Access::kReadWrite, file_);
  reg.WriteString("VD2Transaktionen", "ExportPath", "/a");
  RegIniFile upper("SOFTWARE\\BREMAK\\KARTUL\\5.1\\VANDRA", RegIniFile::Access::kReadWrite, file_);
  upper.WriteString("vd2transaktionen", "EXPORTPATH", "/b");
  upper.WriteString("NEU", "X", "1");
  EXPECT_EQ(reg.ReadString("VD2Transaktionen", "ExportPath", ""), "/b");
  EXPECT_EQ(reg.ReadSections(), (std::vector<std::string>{"VD2Transaktionen", "NEU"}));
  EXPECT_EQ(reg.ReadSection("vd2transaktionen"), (std::vector<std::string>{"ExportPath"}));
  EXPECT_NE(Content().find("[HKEY_CURRENT_USER\\Software\\Bremak\\kartul\\5.1\\VANDRA\\NEU]"),
            std::string::npos);
}

TEST_F(RegistryTest, IntegerFromTextThatIsNoIntegerGivesTheDefault) {
  RegIniFile reg(kVandraKey, RegIniFile::Access::kReadWrite, file_);
  reg.WriteString("VD2Transaktionen", "GK-Streifen", "drei");
  reg.WriteString("VD2Transaktionen", "SelectStatus", "");
  EXPECT_EQ(reg.ReadInteger("VD2Transaktionen", "GK-Streifen", 2), 2);
  EXPECT_EQ(reg.ReadInteger("VD2Transaktionen", "SelectStatus", 7), 7);
  EXPECT_TRUE(reg.ReadBool("VD2Transaktionen", "GK-Streifen", true));
  EXPECT_FALSE(reg.ReadBool("VD2Transaktionen", "GK-Streifen", false));
  // The stored text itself is untouched by the failed conversion.
  EXPECT_EQ(reg.ReadString("VD2Transaktionen", "GK-Streifen", ""), "drei");
}

TEST_F(RegistryTest, DeleteValueAndEraseSection) {
  RegIniFile reg("Vandra", RegIniFile::Access::kReadWrite, file_);
  reg.WriteString("AutoCheckIn", "UserName", "u");
  reg.WriteString("AutoCheckIn", "Password", "p");
  reg.WriteString("AutoCheckIn\\Sub", "X", "1");
  reg.DeleteKey("AutoCheckIn", "password");
  EXPECT_FALSE(reg.ValueExists("AutoCheckIn", "Password"));
  EXPECT_TRUE(reg.ValueExists("AutoCheckIn", "UserName"));
  reg.EraseSection("autocheckin");
  EXPECT_EQ(reg.ReadString("AutoCheckIn", "UserName", "gone"), "gone");
  EXPECT_FALSE(reg.ValueExists("AutoCheckIn\\Sub", "X"));
  EXPECT_TRUE(reg.KeyExists());
}

TEST_F(RegistryTest, ChangesOfAnotherWriterAreSeenAtOnce) {
  RegIniFile first("Vandra", RegIniFile::Access::kReadWrite, file_);
  RegIniFile second("Vandra", RegIniFile::Access::kReadWrite, file_);
  first.WriteString("AutoCheckIn", "DBServer", "alpha");
  EXPECT_EQ(second.ReadString("AutoCheckIn", "DBServer", ""), "alpha");
  second.WriteString("AutoCheckIn", "Datenbank", "beta");
  first.WriteString("AutoCheckIn", "DBServer", "gamma");
  EXPECT_EQ(second.ReadString("AutoCheckIn", "Datenbank", ""), "beta");
  EXPECT_EQ(second.ReadString("AutoCheckIn", "DBServer", ""), "gamma");
}

TEST_F(RegistryTest, ConcurrentProcessesKeepEveryValue) {
  RegIniFile("Vandra", RegIniFile::Access::kReadWrite, file_);
  pid_t child = fork();
  ASSERT_GE(child, 0);
  std::string who = child == 0 ? "child" : "parent";
  {
    RegIniFile reg("Vandra", RegIniFile::Access::kReadWrite, file_);
    for (int i = 0; i < 60; ++i) reg.WriteInteger("Test", who + std::to_string(i), i);
  }
  if (child == 0) _exit(0);
  int status = 0;
  waitpid(child, &status, 0);
  RegIniFile reg("Vandra", RegIniFile::Access::kReadOnly, file_);
  EXPECT_EQ(reg.ReadSection("Test").size(), 120u);
  EXPECT_EQ(reg.ReadInteger("Test", "child59", -1), 59);
}

TEST_F(RegistryTest, InvalidKeyNamesAreRefused) {
  EXPECT_THROW(RegIniFile("Software\\\\Bremak", RegIniFile::Access::kReadOnly, file_),
               std::invalid_argument);
  RegIniFile reg("Vandra", RegIniFile::Access::kReadWrite, file_);
  EXPECT_THROW(reg.WriteString("Auto\nCheckIn", "X", "1"), std::invalid_argument);
}

class DamagedRegistryTest : public RegistryTest,
                            public ::testing::WithParamInterface<std::string> {};

TEST_P(DamagedRegistryTest, GivesDefaultsAndAClearErrorAndIsNeverOverwritten) {
  Put(GetParam());
  RegIniFile reader("Vandra", RegIniFile::Access::kReadOnly, file_);
  EXPECT_EQ(reader.ReadString("AutoCheckIn", "UserName", "default"), "default");
  EXPECT_NE(reader.LastError().find(file_), std::string::npos) << reader.LastError();
  EXPECT_NE(reader.LastError().find(" in Zeile "), std::string::npos) << reader.LastError();
  EXPECT_FALSE(reader.KeyExists());
  EXPECT_THROW(RegIniFile("Vandra", RegIniFile::Access::kReadWrite, file_), RegistryError);
  EXPECT_EQ(Content(), GetParam());
}

INSTANTIATE_TEST_SUITE_P(
    Damage, DamagedRegistryTest,
    ::testing::Values(
        // cut off inside a value
        std::string(
            "Windows Registry Editor Version 5.00\n\n[HKEY_CURRENT_USER\\Vandra\\AutoCheckIn]\n"
            "\"UserName\"=\"ma"),
        // no header
        std::string("[HKEY_CURRENT_USER\\Vandra]\n\"a\"=\"b\"\n"),
        // a value before any key
        std::string("Windows Registry Editor Version 5.00\n\"a\"=\"b\"\n"),
        // an unknown escape and a broken key line
        std::string(
            "Windows Registry Editor Version 5.00\n[HKEY_CURRENT_USER\\Vandra]\n\"a\"=\"\\q\"\n"),
        std::string("Windows Registry Editor Version 5.00\n[HKEY_CURRENT_USER\\Vandra\n"),
        // another hive, a NUL byte, binary garbage
        std::string("Windows Registry Editor Version 5.00\n[HKEY_LOCAL_MACHINE\\Vandra]\n"),
        "Windows Registry Editor Version 5.00\n[HKEY_CURRENT_USER\\Vandra]\n\"a\"=\"\0\"\n"s,
        "\x7F"
        "ELF\x02\x01\x01\0\0\0garbage\xFF\xFE"s));

TEST_F(RegistryTest, UnreadableFileIsAnErrorNotACrash) {
  fs::create_directories(file_);  // a folder in place of the file
  RegIniFile reader("Vandra", RegIniFile::Access::kReadOnly, file_);
  EXPECT_EQ(reader.ReadInteger("AutoCheckIn", "StoreLoginParams", 0), 0);
  EXPECT_NE(reader.LastError().find("kann nicht gelesen werden"), std::string::npos)
      << reader.LastError();
  EXPECT_THROW(RegIniFile("Vandra", RegIniFile::Access::kReadWrite, file_), RegistryError);
}

TEST(RegistryData, EmptyFileIsAnEmptyRegistry) {
  auto data = detail::RegistryData::Parse("", "f");
  EXPECT_TRUE(data.Keys().empty());
  auto with_bom = detail::RegistryData::Parse(
      "\xEF\xBB\xBFWindows Registry Editor Version 5.00\r\n"
      "; comment\r\n[HKEY_CURRENT_USER]\r\n@=\"root\"\r\n",
      "f");
  ASSERT_EQ(with_bom.Keys().size(), 1u);
  EXPECT_EQ(with_bom.Keys()[0].path, "");
  EXPECT_EQ(with_bom.Keys()[0].values[0].data, "root");
}

}  // namespace
}  // namespace platform::registry
