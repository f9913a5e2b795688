// What the platform says when something fails reaches the mapper inside
// the plug-in's German messages (a hook shows an error's text as it is), so
// every fault of the files, the ini files and the registry is provoked here
// and its text held to two things: no English in it (TestEnglish.h) and the
// names the mapper needs to act on it, the file, the key, the line.
// Programs raise no text of their own: a start that fails is an answer
// (false, nothing), which the rule words itself.
#include <gtest/gtest.h>

#include <cerrno>
#include <functional>
#include <string>
#include <vector>

#include "platform/env/Env.h"
#include "platform/env/FaultEnv.h"
#include "platform/env/MemEnv.h"
#include "platform/env/TestEnglish.h"
#include "platform/ini/FileUpdate.h"
#include "platform/ini/IniFile.h"
#include "platform/registry/FileRegistry.h"
#include "platform/registry/Registry.h"

namespace platform {
namespace {

using env::Fault;
using env::Op;
using env::testing::EnglishWords;
using registry::RegIniFile;
using namespace std::string_literals;

// Holds the text to German and to naming each of `names`.
void ExpectGerman(const std::string& text, const std::vector<std::string>& names = {}) {
  EXPECT_FALSE(text.empty());
  const std::vector<std::string> english = EnglishWords(text);
  EXPECT_TRUE(english.empty()) << "English \"" << english.front() << "\" in: " << text;
  for (const std::string& name : names) {
    EXPECT_NE(text.find(name), std::string::npos) << "\"" << name << "\" missing in: " << text;
  }
}

// The text of what `work` throws; a test failure when it throws nothing.
std::string TextOf(const std::function<void()>& work) {
  try {
    work();
  } catch (const std::exception& e) {
    return e.what();
  }
  ADD_FAILURE() << "no error";
  return {};
}

// The detector itself: the texts these helpers used to raise are caught,
// names of files and keys in English are not.
TEST(EnglishDetector, FindsTheFormerEnglishTextsAndLeavesNamesAlone) {
  for (const char* english : {
           "The registry file \"/h/registry.reg\" is damaged in line 3: a value before the first "
           "key",
           "The registry key \"Vandra\" is open for reading only",
           "cannot open \"/p/applicat.ini\": No such file or directory",
           "cannot lock folder \"/p\": Resource temporarily unavailable",
           "ini section name not allowed: \"BR]B\"",
           "Die Registrierung kann nicht gelesen werden: Permission denied",
           "Das System meldet Fehler 71 (Protocol error)",
           "The registry's hive itself is never erased",
       }) {
    EXPECT_FALSE(EnglishWords(english).empty()) << english;
  }
  for (const char* german : {
           "Fehler beim Öffnen von \"/home/u/The file is not found.txt\": Die Datei oder der "
           "Ordner ist nicht vorhanden.",
           "Die Datei /tmp/open/read.only kann nicht gelesen werden: Systemfehler 71",
           "'C:\\Daten\\Access is denied.mdb' kann nicht geöffnet werden: Für Access-Datenbanken",
           "Die erste Zeile lautet nicht \"Windows Registry Editor Version 5.00\"",
           "Der Schlüssel liegt nicht unter HKEY_CURRENT_USER",
       }) {
    EXPECT_EQ(EnglishWords(german), std::vector<std::string>{}) << german;
  }
}

// The reasons of every errno value and every Windows code read in German,
// the ones without words of their own by their number.
TEST(EnvTexts, EveryReasonIsGerman) {
  for (int code = 1; code < 200; ++code) ExpectGerman(env::ReasonText(code));
  for (unsigned long code = 1; code < 16000; ++code) ExpectGerman(env::WindowsReasonText(code));
}

// Each call of an Env that can fail, failing with the common reasons: the
// operation in German words, the path, the reason.
TEST(EnvTexts, EveryOperationFailingNamesItsPathInGerman) {
  const std::string folder = "/Projekt";
  const std::string file = folder + "/TA_LIST.dbf";
  struct Call {
    Op op;
    std::function<void(env::Env&)> run;
  };
  const std::vector<Call> calls = {
      {Op::kOpen, [&](env::Env& e) { e.Open(file, env::OpenMode::kRead); }},
      {Op::kRead,
       [&](env::Env& e) {
         char b[4];
         e.Open(file, env::OpenMode::kRead)->ReadAt(0, b, sizeof b);
       }},
      {Op::kWrite,
       [&](env::Env& e) { e.Open(file, env::OpenMode::kReadWrite)->WriteAt(0, "x", 1); }},
      {Op::kTruncate, [&](env::Env& e) { e.Open(file, env::OpenMode::kReadWrite)->Truncate(0); }},
      {Op::kSync, [&](env::Env& e) { e.Open(file, env::OpenMode::kReadWrite)->Sync(); }},
      {Op::kStatus, [&](env::Env& e) { e.Open(file, env::OpenMode::kRead)->Status(); }},
      {Op::kSetMode, [&](env::Env& e) { e.Open(file, env::OpenMode::kReadWrite)->SetMode(0600); }},
      {Op::kLock,
       [&](env::Env& e) { e.Open(file, env::OpenMode::kRead)->TryLock(env::LockKind::kShared); }},
      {Op::kStat, [&](env::Env& e) { e.Stat(file); }},
      {Op::kList, [&](env::Env& e) { e.ListFolder(folder); }},
      {Op::kCreateFolder, [&](env::Env& e) { e.CreateFolder(folder + "/KTPhotos"); }},
      {Op::kRemoveFolder, [&](env::Env& e) { e.RemoveFolder(folder); }},
      {Op::kRename, [&](env::Env& e) { e.Rename(file, folder + "/TA_ALT.dbf"); }},
      {Op::kRemove, [&](env::Env& e) { e.Remove(file); }},
      {Op::kSyncFolder, [&](env::Env& e) { e.SyncFolder(folder); }},
      {Op::kSyncFileSystem, [&](env::Env& e) { e.SyncFileSystem(folder); }},
      {Op::kCreateTemporary, [&](env::Env& e) { e.CreateTemporary(folder, "tmp"); }},
  };
  for (const Call& call : calls) {
    for (int code : {ENOENT,       EACCES,  EPERM,     ENOSPC, EROFS,   EBUSY,  EIO,
                     EEXIST,       ENOTDIR, EISDIR,    EAGAIN, ENOLCK,  EMFILE, ELOOP,
                     ENAMETOOLONG, EXDEV,   ENOTEMPTY, EINVAL, ETXTBSY, EPROTO}) {
      env::MemEnv mem;
      mem.CreateFolder(folder);
      env::ReplaceFile(mem, file, "dBase");
      env::FaultEnv faulty(mem);
      faulty.Inject(Fault(call.op, code));
      SCOPED_TRACE("op " + std::to_string(static_cast<int>(call.op)) + ", errno " +
                   std::to_string(code));
      ExpectGerman(TextOf([&] { call.run(faulty); }), {"\"" + folder});
    }
  }
}

// The ini files and the registry file, in memory with faults.
class SettingsFileTexts : public ::testing::Test {
 protected:
  SettingsFileTexts() : faulty_(mem_), scoped_(faulty_) {
    mem_.CreateFolder("/Verfahren");
    env::ReplaceFile(mem_, ini_, "[VANDRA]\r\nAutoCheckIn=1\r\n");
  }

  env::MemEnv mem_;
  env::FaultEnv faulty_;
  env::ScopedEnv scoped_;
  const std::string ini_ = "/Verfahren/applicat.ini";
};

TEST_F(SettingsFileTexts, AnIniFileThatCannotBeReadOrWrittenIsNamedInGerman) {
  for (const auto& [op, code] : std::vector<std::pair<Op, int>>{{Op::kOpen, EACCES},
                                                                {Op::kRead, EIO},
                                                                {Op::kLock, ENOLCK},
                                                                {Op::kWrite, ENOSPC},
                                                                {Op::kSync, EIO},
                                                                {Op::kSetMode, EPERM},
                                                                {Op::kRename, EBUSY},
                                                                {Op::kCreateTemporary, EROFS},
                                                                {Op::kStatus, EPROTO}}) {
    SCOPED_TRACE("op " + std::to_string(static_cast<int>(op)));
    faulty_.Clear();
    faulty_.Inject(Fault(op, code).Times(1));
    ini::IniFile ini(ini_);
    ExpectGerman(TextOf([&] { ini.WriteString("VANDRA", "AutoCheckIn", "0"); }), {"/Verfahren"});
    faulty_.Clear();
    faulty_.Inject(Fault(op, code).On("applicat").Times(1));
    ini.ReadString("VANDRA", "AutoCheckIn", "");
    if (!ini.LastError().empty()) ExpectGerman(ini.LastError(), {ini_});
  }
  faulty_.Clear();

  // A folder where the file should be, a folder that is missing.
  mem_.CreateFolder("/Verfahren/KTProjekt.ktp");
  ini::IniFile folder("/Verfahren/KTProjekt.ktp");
  EXPECT_EQ(folder.ReadString("BRB", "AG", "-"), "-");
  ExpectGerman(folder.LastError(), {"/Verfahren/KTProjekt.ktp"});
  ExpectGerman(TextOf([] { ini::IniFile("/fehlt/applicat.ini").WriteString("A", "B", "C"); }),
               {"/fehlt"});

  // Another writer keeps the folder locked (the clock of the memory sleeps at once).
  faulty_.HoldLock("/Verfahren");
  ExpectGerman(TextOf([&] { ini::IniFile(ini_).WriteString("VANDRA", "AutoCheckIn", "0"); }),
               {"/Verfahren", "30"});
  faulty_.ReleaseLocks();

  // Names the file cannot hold.
  for (const auto& [section, key] : std::vector<std::pair<std::string, std::string>>{
           {"BR]B", "AG"}, {"", "AG"}, {"BRB", "A=G"}, {"BRB", ";AG"}, {"B\nRB", "AG"}}) {
    ExpectGerman(TextOf([&] { ini::IniFile(ini_).WriteString(section, key, "1"); }), {ini_});
  }
}

TEST_F(SettingsFileTexts, EveryKindOfDamageInTheRegistryFileNamesFileAndLine) {
  const std::string file = "/home/u/.config/kartul/registry.reg";
  const std::string header = "Windows Registry Editor Version 5.00\n";
  const std::vector<std::pair<std::string, int>> damaged = {
      {"[HKEY_CURRENT_USER\\Vandra]\n", 1},                      // no header
      {header + "\"a\"=\"b\"\n", 2},                             // value before a key
      {header + "[HKEY_CURRENT_USER\\Vandra\n", 2},              // key line not closed
      {header + "[HKEY_LOCAL_MACHINE\\Vandra]\n", 2},            // another hive
      {header + "[HKEY_CURRENT_USER\\Van\\\\dra]\n", 2},         // an empty part
      {header + "[HKEY_CURRENT_USER\\Van]dra]\n", 2},            // "]" in a key
      {header + "[HKEY_CURRENT_USER\\V]\n\"a\"=\"\0\"\n"s, 3},   // NUL byte
      {header + "[HKEY_CURRENT_USER\\V]\n\n\na=\"b\"\n", 5},     // name without quotes
      {header + "[HKEY_CURRENT_USER\\V]\n\"a\"=\"\\q\"\n", 3},   // unknown escape
      {header + "[HKEY_CURRENT_USER\\V]\n\"a\"=\"\\x4\"\n", 3},  // cut \x escape
      {header + "[HKEY_CURRENT_USER\\V]\n\"a\"=\"b\n", 3},       // value not closed
      {header + "[HKEY_CURRENT_USER\\V]\n\"a\" \"b\"\n", 3},     // no "="
      {header + "[HKEY_CURRENT_USER\\V]\n\"a\"=\"b\" c\n", 3},   // text after the value
      {header + "[HKEY_CURRENT_USER\\V]\n\"a\"=b\n", 3},         // value without quotes
  };
  for (const char* folder : {"/home", "/home/u", "/home/u/.config", "/home/u/.config/kartul"}) {
    mem_.CreateFolder(folder);
  }
  for (const auto& [content, line] : damaged) {
    SCOPED_TRACE(content);
    env::ReplaceFile(mem_, file, content);
    RegIniFile reader("Vandra", RegIniFile::Access::kReadOnly, file);
    EXPECT_EQ(reader.ReadString("V", "a", "-"), "-");
    ExpectGerman(reader.LastError(), {file, "Zeile " + std::to_string(line)});
    ExpectGerman(TextOf([&] { RegIniFile("Vandra", RegIniFile::Access::kReadWrite, file); }),
                 {file, "Zeile " + std::to_string(line)});
  }
}

TEST_F(SettingsFileTexts, TheRegistryRefusesInGermanWithKeyAndFile) {
  const std::string file = "/home/u/.config/kartul/registry.reg";
  const std::string key = "Software\\Bremak\\kartul\\5.1\\VANDRA";

  // Its folder cannot be made.
  faulty_.Inject(Fault(Op::kCreateFolder, EACCES).Times(1));
  ExpectGerman(TextOf([&] { RegIniFile(key, RegIniFile::Access::kReadWrite, file); }), {"/home"});
  faulty_.Clear();

  RegIniFile writer(key, RegIniFile::Access::kReadWrite, file);
  writer.WriteString("VD2Transaktionen", "ExportPath", "/p");

  // Written through a key open for reading.
  RegIniFile reader(key, RegIniFile::Access::kReadOnly, file);
  ExpectGerman(TextOf([&] { reader.WriteString("VD2Transaktionen", "ExportPath", "/q"); }), {key});

  // The file cannot be read, or written at any step.
  for (const auto& [op, code] : std::vector<std::pair<Op, int>>{{Op::kOpen, EACCES},
                                                                {Op::kRead, EIO},
                                                                {Op::kWrite, ENOSPC},
                                                                {Op::kCreateTemporary, EROFS},
                                                                {Op::kRename, EBUSY},
                                                                {Op::kSetMode, EPERM},
                                                                {Op::kLock, EPROTO}}) {
    SCOPED_TRACE("op " + std::to_string(static_cast<int>(op)));
    faulty_.Clear();
    faulty_.Inject(Fault(op, code).Times(1));
    ExpectGerman(TextOf([&] { writer.WriteString("VD2Transaktionen", "ExportPath", "/r"); }),
                 {"/home/u/.config/kartul"});
    faulty_.Clear();
    faulty_.Inject(Fault(op, code).On("registry.reg").Times(1));
    reader.ReadString("VD2Transaktionen", "ExportPath", "");
    if (!reader.LastError().empty()) ExpectGerman(reader.LastError(), {file});
  }
  faulty_.Clear();

  // A folder in place of the file.
  mem_.CreateFolder("/home/u/.config/kartul/ordner.reg");
  RegIniFile folder(key, RegIniFile::Access::kReadOnly, "/home/u/.config/kartul/ordner.reg");
  EXPECT_FALSE(folder.KeyExists());
  ExpectGerman(folder.LastError(), {"ordner.reg"});

  // Key names the registry cannot hold.
  for (const std::string bad : {"Software\\\\Bremak", "Software\\Bre]mak", "Soft\x01ware"}) {
    ExpectGerman(TextOf([&] { RegIniFile(bad, RegIniFile::Access::kReadOnly, file); }),
                 {bad.substr(0, 4)});
  }
}

}  // namespace
}  // namespace platform
