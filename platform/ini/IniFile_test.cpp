#include "platform/ini/IniFile.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <random>

#include "platform/env/FaultEnv.h"

namespace platform::ini {
namespace {

namespace fs = std::filesystem;

class IniFileTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() /
           ("ini_test_" + std::to_string(getpid()) + "_" +
            ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(dir_);
    fs::create_directories(dir_);
    path_ = (dir_ / "KTProjekt.ktp").string();
  }
  void TearDown() override { fs::remove_all(dir_); }

  void Put(const std::string& bytes) { std::ofstream(path_, std::ios::binary) << bytes; }
  std::string Get() const {
    std::ifstream in(path_, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
  }

  fs::path dir_;
  std::string path_;
};

TEST_F(IniFileTest, ReadsWithoutRegardToCaseTrimmedAndUnquoted) {
  Put("[Config]\r\n  Bundesland =  BRB  \r\nTrueValue=\"J\"\r\nFalseValue='N'\r\n"
      "[VANDRA II]\r\nVD2Transaktion=1\r\n");
  IniFile ini(path_);
  EXPECT_EQ(ini.ReadString("config", "BUNDESLAND", "NRW"), "BRB");
  EXPECT_EQ(ini.ReadString("Config", "TrueValue", "T"), "J");
  EXPECT_EQ(ini.ReadString("Config", "FalseValue", "F"), "N");
  EXPECT_EQ(ini.ReadInteger("vandra ii", "vd2transaktion", 0), 1);
  EXPECT_EQ(ini.ReadString("Config", "Missing", "x"), "x");
  EXPECT_EQ(ini.ReadString("Nowhere", "Bundesland", "NRW"), "NRW");
  EXPECT_TRUE(ini.SectionExists("VANDRA II"));
  EXPECT_FALSE(ini.ValueExists("Config", "Missing"));
  EXPECT_EQ(ini.LastError(), "");
}

TEST_F(IniFileTest, FirstOfDuplicateKeysCounts) {
  Put("[BRB]\nAG=AA\nag=BB\n[brb]\nAG=CC\n");
  IniFile ini(path_);
  EXPECT_EQ(ini.ReadString("BRB", "AG", ""), "AA");
  ini.WriteString("BRB", "ag", "XY");
  EXPECT_EQ(Get(), "[BRB]\nAG=XY\nag=BB\n[brb]\nAG=CC\n");
}

TEST_F(IniFileTest, IntegersAndBooleans) {
  Put("[Kennungsliste]\nFilterAktiv=ja\nZahl= 12\nNeg=-3\nHex=$10\n");
  IniFile ini(path_);
  EXPECT_EQ(ini.ReadInteger("Kennungsliste", "FilterAktiv", 0), 0);
  EXPECT_EQ(ini.ReadInteger("Kennungsliste", "Zahl", 0), 12);
  EXPECT_EQ(ini.ReadInteger("Kennungsliste", "Neg", 0), -3);
  EXPECT_EQ(ini.ReadInteger("Kennungsliste", "Hex", 0), 16);
  EXPECT_TRUE(ini.ReadBool("Kennungsliste", "Zahl", false));
  EXPECT_TRUE(ini.ReadBool("Kennungsliste", "FilterAktiv", true));
  ini.WriteBool("Kennungsliste", "FilterAktiv", true);
  ini.WriteInteger("Kennungsliste", "Zahl", -2147483647 - 1);
  EXPECT_EQ(ini.ReadString("Kennungsliste", "FilterAktiv", ""), "1");
  EXPECT_EQ(ini.ReadInteger("Kennungsliste", "Zahl", 0), INT32_MIN);
}

TEST_F(IniFileTest, WriteChangesOnlyItsLine) {
  const std::string before =
      "; Projektdatei\r\n"
      "\r\n"
      "[Kennungsliste]\r\n"
      "; Filter der Kennungsliste\r\n"
      "TK-Blatt = 3245NO\r\n"
      "unknown line without equals\r\n"
      "FilterAktiv=0\r\n"
      "; trailing comment\r\n"
      "\r\n"
      "[BRB]\r\n"
      "Nummer=000\r\n";
  Put(before);
  IniFile ini(path_);
  ini.WriteString("KENNUNGSLISTE", "tk-blatt", "4000SW");
  EXPECT_EQ(Get(),
            "; Projektdatei\r\n\r\n[Kennungsliste]\r\n; Filter der Kennungsliste\r\n"
            "TK-Blatt=4000SW\r\nunknown line without equals\r\nFilterAktiv=0\r\n"
            "; trailing comment\r\n\r\n[BRB]\r\nNummer=000\r\n");
}

TEST_F(IniFileTest, NewKeyFollowsTheLastKeyAndNewSectionGoesToTheEnd) {
  Put("[Kennungsliste]\nTK-Blatt=1\n; comment\n\n[BRB]\nNummer=000");
  IniFile ini(path_);
  ini.WriteInteger("Kennungsliste", "FilterAktiv", 1);
  ini.WriteString("BRB", "AG", "XY");
  ini.WriteString("Transaktionsdaten", "ReportFileName", "/tmp/b.txt");
  EXPECT_EQ(Get(),
            "[Kennungsliste]\nTK-Blatt=1\nFilterAktiv=1\n; comment\n\n[BRB]\nNummer=000\nAG=XY\n"
            "[Transaktionsdaten]\nReportFileName=/tmp/b.txt\n");
  EXPECT_EQ(ini.ReadSections(),
            (std::vector<std::string>{"Kennungsliste", "BRB", "Transaktionsdaten"}));
  EXPECT_EQ(ini.ReadSection("brb"), (std::vector<std::string>{"Nummer", "AG"}));
}

TEST_F(IniFileTest, CreatedOnFirstWriteWithWindowsLineEnds) {
  IniFile ini((dir_ / "new.tid").string());
  EXPECT_EQ(ini.ReadInteger("Transaktionsdaten", "Transaktion", -1), -1);
  EXPECT_FALSE(fs::exists(dir_ / "new.tid"));
  ini.WriteInteger("Transaktionsdaten", "Transaktion", 17);
  ini.WriteString("Transaktionsdaten", "Name", "Süd");
  std::ifstream in(dir_ / "new.tid", std::ios::binary);
  std::string bytes((std::istreambuf_iterator<char>(in)), {});
  EXPECT_EQ(bytes,
            "[Transaktionsdaten]\r\nTransaktion=17\r\nName=S\xFC"
            "d\r\n");
  EXPECT_EQ(ini.ReadString("Transaktionsdaten", "Name", ""), "Süd");
}

TEST_F(IniFileTest, AnsiOnDiskAndVisibleReplacement) {
  Put("[BRB]\nKartenblatt=Gr\xF6\xDF"
      "e\x81\n");
  IniFile ini(path_);
  EXPECT_EQ(ini.ReadString("BRB", "Kartenblatt", ""), "Größe\u0081");
  ini.WriteString("BRB", "AG", "Ł1");
  EXPECT_EQ(Get(),
            "[BRB]\nKartenblatt=Gr\xF6\xDF"
            "e\x81\nAG=?1\n");
}

TEST_F(IniFileTest, LineBreaksInValuesCannotInjectKeys) {
  IniFile ini(path_);
  ini.WriteString("BRB", "AG", "a\r\nNummer=999");
  EXPECT_EQ(ini.ReadString("BRB", "AG", ""), "a  Nummer=999");
  EXPECT_EQ(ini.ReadString("BRB", "Nummer", "000"), "000");
  EXPECT_THROW(ini.WriteString("BR]B", "AG", "x"), std::invalid_argument);
  EXPECT_THROW(ini.WriteString("BRB", "A=G", "x"), std::invalid_argument);
  EXPECT_THROW(ini.WriteString("BRB", " ", "x"), std::invalid_argument);
}

TEST_F(IniFileTest, DeleteKeyAndEraseSection) {
  Put("[A]\nx=1\ny=2\n[B]\n; b\nz=3\n[C]\nw=4\n");
  IniFile ini(path_);
  ini.DeleteKey("a", "X");
  ini.DeleteKey("A", "missing");
  ini.EraseSection("b");
  EXPECT_EQ(Get(), "[A]\ny=2\n[C]\nw=4\n");
}

TEST_F(IniFileTest, DamagedFileGivesDefaultsAndSurvivesWrites) {
  // A section without its closing bracket, a key without a name, a NUL byte
  // and random binary bytes.
  std::string garbage = "[Config\nBundesland=BRB\n=nothing\n[VANDRA]\nAutoCheck\0In=1\n";
  garbage.append(std::string("\0\xFF\xFE[\x01=", 6));
  std::mt19937 rng(7);
  for (int i = 0; i < 2000; ++i) garbage += static_cast<char>(rng() & 0xFF);
  Put(garbage);
  IniFile ini(path_);
  // The broken header does not open a section, so the key belongs to none.
  EXPECT_EQ(ini.ReadString("Config", "Bundesland", "NRW"), "NRW");
  EXPECT_EQ(ini.ReadInteger("VANDRA", "NSGPrefixFilter", 0), 0);
  ini.WriteInteger("VANDRA", "NSGPrefixFilter", 1);
  EXPECT_EQ(ini.ReadInteger("VANDRA", "NSGPrefixFilter", 0), 1);
  std::string after = Get();
  EXPECT_EQ(after.substr(0, 38), garbage.substr(0, 38));
}

TEST_F(IniFileTest, UnreadableFileGivesDefaultsAndAClearError) {
  fs::create_directory(path_);  // a folder where the file should be
  IniFile ini(path_);
  EXPECT_EQ(ini.ReadString("Config", "Bundesland", "NRW"), "NRW");
  EXPECT_NE(ini.LastError().find(path_), std::string::npos);
  EXPECT_THROW(ini.WriteString("Config", "Bundesland", "BRB"), files::FileError);
}

TEST_F(IniFileTest, WriteKeepsTheFileMode) {
  Put("[A]\nx=1\n");
  chmod(path_.c_str(), 0640);
  IniFile(path_).WriteString("A", "x", "2");
  struct stat st {};
  ASSERT_EQ(stat(path_.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0640u);
}

// Each step of the replacement fails once in turn (the disk full while
// writing, an I/O error at sync or rename, no room for the temporary file):
// the update reports the file and the reason, the old file stays byte for
// byte, and no temporary file is left.
TEST_F(IniFileTest, AFailedWriteLeavesTheOldFileWhole) {
  const std::string old = "[Config]\r\nBundesland=BRB\r\n";
  Put(old);
  const std::pair<env::Op, int> faults[] = {{env::Op::kWrite, ENOSPC},
                                            {env::Op::kSync, EIO},
                                            {env::Op::kRename, EIO},
                                            {env::Op::kCreateTemporary, ENOSPC}};
  for (const auto& [op, code] : faults) {
    env::FaultEnv faulty(env::Env::Posix());
    faulty.Inject(env::Fault(op, code).On(dir_.string()));
    env::ScopedEnv scoped(faulty);
    IniFile ini(path_);
    try {
      ini.WriteString("Config", "Bundesland", "NRW");
      ADD_FAILURE() << "no error for fault " << static_cast<int>(op);
    } catch (const files::FileError& e) {
      EXPECT_NE(std::string(e.what()).find(env::ReasonText(code)), std::string::npos) << e.what();
      EXPECT_NE(std::string(e.what()).find(dir_.string()), std::string::npos) << e.what();
    }
    EXPECT_EQ(faulty.Failures(), 1);
    EXPECT_EQ(Get(), old);
    EXPECT_EQ(std::distance(fs::directory_iterator(dir_), {}), 1);
    EXPECT_EQ(ini.ReadString("Config", "Bundesland", ""), "BRB");
  }
  IniFile(path_).WriteString("Config", "Bundesland", "NRW");  // and the next write works
  EXPECT_EQ(Get(), "[Config]\r\nBundesland=NRW\r\n");
}

}  // namespace
}  // namespace platform::ini
