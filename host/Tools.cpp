#include "host/Tools.h"

#include <optional>
#include <vector>

#include "host/HostApi.h"
#include "platform/env/Env.h"
#include "platform/env/Path.h"
#include "platform/ini/IniFile.h"
#include "platform/process/Process.h"
#include "platform/registry/Registry.h"
#include "platform/text/Strings.h"
#include "platform/ui/Ui.h"

namespace Tools {
namespace {

platform::registry::RegIniFile ReadOnlyKey(std::string_view key) {
  return platform::registry::RegIniFile(std::string(key),
                                        platform::registry::RegIniFile::Access::kReadOnly);
}

// Without a folder from the host there is no such file: a name alone would
// find whatever lies in the program's working folder.
std::string ApplicatIniPath() {
  const std::string dir = MyGetVerfahrenDir();
  return dir.empty() ? std::string() : dir + "applicat.ini";
}
std::string ProjectIniPath() {
  const std::string dir = MyGetProjectDir();
  return dir.empty() ? std::string() : dir + "KTProjekt.ktp";
}

}  // namespace

std::string MyGetValueByName(std::string_view table, std::string_view field) {
  return std::string(platform::text::Trim(host::ValueByName(table, field, 4095).value_or("")));
}

int32_t MyGetIntValueByName(std::string_view table, std::string_view field) {
  const std::optional<std::string> text = host::ValueByName(table, field, 1023);
  const std::optional<int32_t> parsed = text ? platform::text::StrToInt(*text) : std::nullopt;
  return parsed.value_or(-1);
}

bool MyGetIntValueByNameEx(std::string_view table, std::string_view field, int32_t& value) {
  const std::optional<std::string> text = host::ValueByName(table, field, 1023);
  if (!text) return false;
  const std::optional<int32_t> parsed = platform::text::StrToInt(*text);
  if (!parsed) return false;
  value = *parsed;
  return true;
}

bool MySetValueByName(std::string_view table, std::string_view field, std::string_view text) {
  return host::SetValueByName(table, field, text);
}

std::string MyGetProjectDir() {
  std::string dir = host::ProjectDir();
  return dir.empty() ? dir : WithBackslash(dir);
}

std::string MyGetVerfahrenDir() {
  std::string dir = host::VerfahrenDir();
  return dir.empty() ? dir : WithBackslash(dir);
}

std::string MyGetProjectDB() {
  return host::ProjectDB();
}
std::string MyGetVerfahrenDB() {
  return host::VerfahrenDB();
}

std::string MyGetKennungOfID(int32_t id) {
  return host::KennungOf(id);
}

int32_t GetRegIntEntry(std::string_view strKey, std::string_view strSection,
                       std::string_view strIdent, int32_t iDefault) {
  return ReadOnlyKey(strKey).ReadInteger(strSection, strIdent, iDefault);
}

void SetRegIntEntry(std::string_view strKey, std::string_view strSection, std::string_view strIdent,
                    int32_t iValue) {
  platform::registry::RegIniFile(std::string(strKey)).WriteInteger(strSection, strIdent, iValue);
}

std::string GetRegStringEntry(std::string_view strKey, std::string_view strSection,
                              std::string_view strIdent, std::string_view strDefault) {
  return ReadOnlyKey(strKey).ReadString(strSection, strIdent, strDefault);
}

void SetRegStringEntry(std::string_view strKey, std::string_view strSection,
                       std::string_view strIdent, std::string_view strValue) {
  platform::registry::RegIniFile(std::string(strKey)).WriteString(strSection, strIdent, strValue);
}

int32_t ReadIntFromApplicatIni(std::string_view strSection, std::string_view strParam,
                               int32_t iDefault) {
  return platform::ini::IniFile(ApplicatIniPath()).ReadInteger(strSection, strParam, iDefault);
}

std::string ReadStringFromApplicatIni(std::string_view strSection, std::string_view strParam,
                                      std::string_view strDefault) {
  return platform::ini::IniFile(ApplicatIniPath()).ReadString(strSection, strParam, strDefault);
}

std::string ReadStringFromProjectIni(std::string_view section, std::string_view key,
                                     std::string_view default_value) {
  return platform::ini::IniFile(ProjectIniPath()).ReadString(section, key, default_value);
}

void WriteStringToProjectIni(std::string_view section, std::string_view key,
                             std::string_view text) {
  const std::string path = ProjectIniPath();
  if (path.empty()) return;
  platform::ini::IniFile(path).WriteString(section, key, text);
}

std::string ReadBundesland() {
  return ReadStringFromApplicatIni("Config", "Bundesland", "NRW");
}

bool CheckBundesland(const std::vector<std::string>& names) {
  const std::string bundesland = ReadBundesland();
  for (const std::string& name : names) {
    if (name == bundesland) return true;
  }
  return false;
}

void ReadDirectroyFiles(std::string_view directory, std::string_view mask,
                        std::vector<std::string>& list) {
  const std::string dir(directory);
  std::vector<std::string> names;
  try {
    names = platform::env::Env::Current().ListFolder(dir.empty() ? "." : dir);
  } catch (const platform::env::EnvError&) {
    return;  // a folder that cannot be read lists nothing
  }
  for (const std::string& name : names) {
    if (platform::env::MatchesMask(name, mask)) list.push_back(name);
  }
}

bool ExecAndWait(const std::string& program, const std::vector<std::string>& arguments) {
  platform::ui::HourglassGuard hourglass;
  return platform::process::ExecAndWait(program, arguments);
}

void Exec(const std::string& program, const std::vector<std::string>& arguments) {
  platform::ui::HourglassGuard hourglass;
  platform::process::Exec(program, arguments);
}

std::string GetCurrentUserName() {
  return platform::process::GetCurrentUserName();
}

std::string WithBackslash(std::string_view text) {
  // An empty text becomes the root, as the host platform's own function makes it.
  if (text.empty()) return std::string(1, platform::env::kPathSeparator);
  return platform::env::WithTrailingSeparator(std::string(text));
}

std::string FillLeft(std::string_view text, size_t width, char fill) {
  std::string result(text);
  while (result.size() > width) result.erase(0, 1);
  while (result.size() < width) result.insert(result.begin(), fill);
  return result;
}

int32_t GetTNum(std::string_view text, char separator) {
  int32_t count = 1;
  for (char c : text) {
    if (c == separator) ++count;
  }
  return count;
}

std::string GetToken(std::string_view text, char separator, int32_t n) {
  if (n < 1) return {};
  int32_t field = 1;
  size_t start = 0;
  for (size_t i = 0; i <= text.size(); ++i) {
    if (i == text.size() || text[i] == separator) {
      if (field == n) return std::string(text.substr(start, i - start));
      ++field;
      start = i + 1;
    }
  }
  return {};
}

bool MyStrToBool(std::string_view text) {
  if (text.empty()) return false;
  const char first = text.front();
  return first == 'T' || first == 'W' || first == 't' || first == 'w';
}

}  // namespace Tools
