// Reading goes through SimpleIni. Writing edits the file's lines in place, so
// that everything but the changed key survives exactly as the Windows profile
// functions leave it; both sides use the same line rules (IniLines), and the
// reader is fed only the lines those rules accept, so a damaged line never
// means one thing to the reader and another to the writer.
#define SI_NO_CONVERSION
#define SI_IMPLEMENTATION
#include <SimpleIni.h>
#undef SI_IMPLEMENTATION

#include "platform/ini/IniFile.h"

#include <algorithm>
#include <list>
#include <stdexcept>

#include "platform/text/Encoding.h"
#include "platform/text/Strings.h"

namespace platform::ini {
namespace {

using text::EqualsIgnoreCase;

// One line of the file with its line end, classified as SimpleIni reads it.
struct Line {
  enum class Kind { kOther, kSection, kKey };
  std::string text;  // without the line end
  std::string eol;   // "\r\n", "\n" or "" (last line)
  Kind kind = Kind::kOther;
  std::string name;  // trimmed section or key name
};

std::string_view TrimIni(std::string_view s) {
  size_t b = 0, e = s.size();
  while (b < e && (s[b] == ' ' || s[b] == '\t' || s[b] == '\r')) ++b;
  while (e > b && (s[e - 1] == ' ' || s[e - 1] == '\t' || s[e - 1] == '\r')) --e;
  return s.substr(b, e - b);
}

void Classify(Line& line) {
  std::string_view t = TrimIni(line.text);
  line.kind = Line::Kind::kOther;
  line.name.clear();
  if (t.empty() || t[0] == ';' || t[0] == '#') return;
  if (t[0] == '[') {
    size_t close = t.find(']');
    if (close == std::string_view::npos) return;
    line.kind = Line::Kind::kSection;
    line.name = std::string(TrimIni(t.substr(1, close - 1)));
    return;
  }
  size_t eq = t.find('=');
  if (eq == std::string_view::npos) return;
  std::string_view key = TrimIni(t.substr(0, eq));
  if (key.empty()) return;
  line.kind = Line::Kind::kKey;
  line.name = std::string(key);
}

std::vector<Line> SplitLines(const std::string& content) {
  std::vector<Line> lines;
  size_t pos = 0;
  while (pos < content.size()) {
    size_t nl = content.find('\n', pos);
    Line line;
    if (nl == std::string::npos) {
      line.text = content.substr(pos);
      pos = content.size();
    } else {
      size_t end = nl;
      if (end > pos && content[end - 1] == '\r') --end;
      line.text = content.substr(pos, end - pos);
      line.eol = content.substr(end, nl + 1 - end);
      pos = nl + 1;
    }
    Classify(line);
    lines.push_back(std::move(line));
  }
  return lines;
}

std::string JoinLines(const std::vector<Line>& lines) {
  std::string out;
  for (const Line& line : lines) out += line.text + line.eol;
  return out;
}

std::string FileEol(const std::vector<Line>& lines) {
  for (const Line& line : lines) {
    if (!line.eol.empty()) return line.eol;
  }
  return "\r\n";
}

// The text SimpleIni reads: only the section and key lines, NUL bytes as
// blanks (SimpleIni would stop at the first).
std::string ReaderText(const std::vector<Line>& lines) {
  std::string out;
  for (const Line& line : lines) {
    if (line.kind == Line::Kind::kOther) continue;
    std::string t = line.text;
    std::replace(t.begin(), t.end(), '\0', ' ');
    out += t + "\n";
  }
  return out;
}

using Ini = CSimpleIniA;

// Loads the reader text; the first of duplicate keys wins, as on Windows.
struct Parsed {
  Ini ini{true, true, false};
  std::string data;

  explicit Parsed(const std::string& utf8) : data(ReaderText(SplitLines(utf8))) {
    ini.LoadData(data.data(), data.size());
  }

  const char* First(std::string_view section, std::string_view ident) const {
    Ini::TNamesDepend values;
    std::string s(section), k(ident);
    if (!ini.GetAllValues(s.c_str(), k.c_str(), values) || values.empty()) return nullptr;
    values.sort(Ini::Entry::LoadOrder());
    return values.front().pItem;
  }
};

std::string StripQuotes(std::string_view value) {
  if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') &&
      value.back() == value.front()) {
    return std::string(value.substr(1, value.size() - 2));
  }
  return std::string(value);
}

// The names are the program's own, so a refusal is a fault of the caller;
// but a hook shows whatever reaches it to the mapper, so it is German too.
void CheckNames(const std::string& path, std::string_view section, std::string_view ident) {
  auto bad = [](std::string_view name, char forbidden) {
    return TrimIni(name).empty() || name.find_first_of("\r\n") != std::string_view::npos ||
           name.find(forbidden) != std::string_view::npos;
  };
  if (bad(section, ']')) {
    throw std::invalid_argument("In die Ini-Datei \"" + path + "\" kann kein Abschnitt \"" +
                                std::string(section) +
                                "\" geschrieben werden: Ein Abschnittsname darf nicht leer "
                                "sein und weder \"]\" noch einen Zeilenumbruch enthalten.");
  }
  if (bad(ident, '=') || TrimIni(ident).front() == '[' || TrimIni(ident).front() == ';' ||
      TrimIni(ident).front() == '#') {
    throw std::invalid_argument("In die Ini-Datei \"" + path + "\" kann kein Schlüssel \"" +
                                std::string(ident) +
                                "\" geschrieben werden: Ein Schlüsselname darf nicht leer sein, "
                                "nicht mit \"[\", \";\" oder \"#\" beginnen und weder \"=\" "
                                "noch einen Zeilenumbruch enthalten.");
  }
}

// Applies `edit` to the file's lines under the file lock.
void EditLines(const std::string& path, const std::function<bool(std::vector<Line>&)>& edit) {
  files::UpdateFile(
      path, [&](const std::optional<std::string>& current) -> std::optional<std::string> {
        std::vector<Line> lines = SplitLines(current ? text::AnsiToUtf8(*current) : std::string());
        if (!edit(lines)) return std::nullopt;
        return text::Utf8ToAnsi(JoinLines(lines));
      });
}

// [begin, end) line ranges of the sections with this name (after their header).
std::vector<std::pair<size_t, size_t>> SectionRanges(const std::vector<Line>& lines,
                                                     std::string_view section) {
  std::vector<std::pair<size_t, size_t>> ranges;
  for (size_t i = 0; i < lines.size(); ++i) {
    if (lines[i].kind != Line::Kind::kSection || !EqualsIgnoreCase(lines[i].name, section))
      continue;
    size_t end = i + 1;
    while (end < lines.size() && lines[end].kind != Line::Kind::kSection) ++end;
    ranges.emplace_back(i + 1, end);
  }
  return ranges;
}

}  // namespace

std::string IniFile::LoadText() const {
  last_error_.clear();
  try {
    auto content = files::ReadWholeFile(path_);
    return content ? text::AnsiToUtf8(*content) : std::string();
  } catch (const files::FileError& e) {
    last_error_ = e.what();
    return std::string();
  }
}

std::string IniFile::ReadString(std::string_view section, std::string_view ident,
                                std::string_view default_value) const {
  Parsed parsed(LoadText());
  const char* value = parsed.First(section, ident);
  if (value == nullptr) return std::string(default_value);
  return StripQuotes(value);
}

int32_t IniFile::ReadInteger(std::string_view section, std::string_view ident,
                             int32_t default_value) const {
  return text::StrToIntDef(ReadString(section, ident, ""), default_value);
}

bool IniFile::ReadBool(std::string_view section, std::string_view ident, bool default_value) const {
  return ReadInteger(section, ident, default_value ? 1 : 0) != 0;
}

void IniFile::WriteString(std::string_view section, std::string_view ident,
                          std::string_view value) {
  CheckNames(path_, section, ident);
  std::string clean(value);
  std::replace(clean.begin(), clean.end(), '\r', ' ');
  std::replace(clean.begin(), clean.end(), '\n', ' ');
  std::string section_name(TrimIni(section)), key_name(TrimIni(ident));
  EditLines(path_, [&](std::vector<Line>& lines) {
    std::string eol = FileEol(lines);
    auto ranges = SectionRanges(lines, section_name);
    for (auto [begin, end] : ranges) {
      for (size_t i = begin; i < end; ++i) {
        if (lines[i].kind == Line::Kind::kKey && EqualsIgnoreCase(lines[i].name, key_name)) {
          lines[i].text = lines[i].name + "=" + clean;
          return true;
        }
      }
    }
    Line added;
    added.text = key_name + "=" + clean;
    added.eol = eol;
    added.kind = Line::Kind::kKey;
    added.name = key_name;
    if (!ranges.empty()) {
      auto [begin, end] = ranges.front();
      size_t at = begin;
      for (size_t i = begin; i < end; ++i) {
        if (lines[i].kind == Line::Kind::kKey) at = i + 1;
      }
      if (at == lines.size() && !lines.empty() && lines.back().eol.empty()) lines.back().eol = eol;
      lines.insert(lines.begin() + static_cast<std::ptrdiff_t>(at), added);
      return true;
    }
    if (!lines.empty() && lines.back().eol.empty()) lines.back().eol = eol;
    Line header;
    header.text = "[" + section_name + "]";
    header.eol = eol;
    header.kind = Line::Kind::kSection;
    header.name = section_name;
    lines.push_back(header);
    lines.push_back(added);
    return true;
  });
}

void IniFile::WriteInteger(std::string_view section, std::string_view ident, int32_t value) {
  WriteString(section, ident, std::to_string(value));
}

void IniFile::WriteBool(std::string_view section, std::string_view ident, bool value) {
  WriteString(section, ident, value ? "1" : "0");
}

bool IniFile::SectionExists(std::string_view section) const {
  Parsed parsed(LoadText());
  std::string s(section);
  return parsed.ini.GetSectionSize(s.c_str()) >= 0;
}

bool IniFile::ValueExists(std::string_view section, std::string_view ident) const {
  Parsed parsed(LoadText());
  return parsed.First(section, ident) != nullptr;
}

std::vector<std::string> IniFile::ReadSections() const {
  Parsed parsed(LoadText());
  Ini::TNamesDepend names;
  parsed.ini.GetAllSections(names);
  names.sort(Ini::Entry::LoadOrder());
  std::vector<std::string> out;
  for (const auto& entry : names) out.emplace_back(entry.pItem);
  return out;
}

std::vector<std::string> IniFile::ReadSection(std::string_view section) const {
  Parsed parsed(LoadText());
  Ini::TNamesDepend names;
  std::string s(section);
  parsed.ini.GetAllKeys(s.c_str(), names);
  names.sort(Ini::Entry::LoadOrder());
  std::vector<std::string> out;
  for (const auto& entry : names) out.emplace_back(entry.pItem);
  return out;
}

void IniFile::DeleteKey(std::string_view section, std::string_view ident) {
  std::string key_name(TrimIni(ident));
  EditLines(path_, [&](std::vector<Line>& lines) {
    for (auto [begin, end] : SectionRanges(lines, TrimIni(section))) {
      for (size_t i = begin; i < end; ++i) {
        if (lines[i].kind == Line::Kind::kKey && EqualsIgnoreCase(lines[i].name, key_name)) {
          lines.erase(lines.begin() + static_cast<std::ptrdiff_t>(i));
          return true;
        }
      }
    }
    return false;
  });
}

void IniFile::EraseSection(std::string_view section) {
  EditLines(path_, [&](std::vector<Line>& lines) {
    auto ranges = SectionRanges(lines, TrimIni(section));
    if (ranges.empty()) return false;
    for (auto it = ranges.rbegin(); it != ranges.rend(); ++it) {
      lines.erase(lines.begin() + static_cast<std::ptrdiff_t>(it->first - 1),
                  lines.begin() + static_cast<std::ptrdiff_t>(it->second));
    }
    return true;
  });
}

}  // namespace platform::ini
