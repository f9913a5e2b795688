// Parsing and writing of the .reg-style registry file.
#include "platform/registry/RegistryFile.h"

#include <cstdio>
#include <stdexcept>
#include <utility>

#include "platform/text/Strings.h"

namespace platform::registry::detail {
namespace {

using text::EqualsIgnoreCase;

constexpr std::string_view kHeader = "Windows Registry Editor Version 5.00";
constexpr std::string_view kHive = "HKEY_CURRENT_USER";

std::string Escape(std::string_view raw) {
  std::string out;
  for (char c : raw) {
    auto u = static_cast<unsigned char>(c);
    switch (c) {
      case '\\':
        out += "\\\\";
        break;
      case '"':
        out += "\\\"";
        break;
      case '\r':
        out += "\\r";
        break;
      case '\n':
        out += "\\n";
        break;
      case '\t':
        out += "\\t";
        break;
      default:
        if (u < 0x20 || u == 0x7F) {
          char buffer[8];
          std::snprintf(buffer, sizeof buffer, "\\x%02X", u);
          out += buffer;
        } else {
          out += c;
        }
    }
  }
  return out;
}

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// Reads a quoted string starting at text[pos] == '"'; pos ends after the
// closing quote. Returns an error text or nothing.
std::optional<std::string> ReadQuoted(std::string_view text, size_t& pos, std::string& out) {
  if (pos >= text.size() || text[pos] != '"')
    return "Ein Name oder Wert in Anführungszeichen wurde erwartet";
  ++pos;
  while (pos < text.size()) {
    char c = text[pos++];
    if (c == '"') return std::nullopt;
    if (c != '\\') {
      out += c;
      continue;
    }
    if (pos >= text.size()) break;
    char e = text[pos++];
    switch (e) {
      case '\\':
        out += '\\';
        break;
      case '"':
        out += '"';
        break;
      case 'r':
        out += '\r';
        break;
      case 'n':
        out += '\n';
        break;
      case 't':
        out += '\t';
        break;
      case 'x': {
        int hi = pos < text.size() ? HexDigit(text[pos]) : -1;
        int lo = pos + 1 < text.size() ? HexDigit(text[pos + 1]) : -1;
        if (hi < 0 || lo < 0) return "Der Maskierung \\x fehlen zwei Hexadezimalziffern";
        out += static_cast<char>(hi * 16 + lo);
        pos += 2;
        break;
      }
      default:
        return std::string("Die Maskierung \\") + e + " ist unbekannt";
    }
  }
  return "Das schließende Anführungszeichen fehlt";
}

bool PathStartsWith(std::string_view path, std::string_view prefix) {
  if (prefix.empty()) return true;
  if (path.size() < prefix.size()) return false;
  if (!EqualsIgnoreCase(path.substr(0, prefix.size()), prefix)) return false;
  return path.size() == prefix.size() || path[prefix.size()] == '\\';
}

}  // namespace

std::string NormalizeKeyPath(std::string_view path) {
  while (!path.empty() && path.front() == '\\') path.remove_prefix(1);
  while (!path.empty() && path.back() == '\\') path.remove_suffix(1);
  if (path.find("\\\\") != std::string_view::npos) {
    throw std::invalid_argument("Der Registrierungsschlüssel \"" + std::string(path) +
                                "\" hat einen leeren Teil");
  }
  for (char c : path) {
    auto u = static_cast<unsigned char>(c);
    if (u < 0x20 || u == 0x7F || c == ']') {
      throw std::invalid_argument("Der Registrierungsschlüssel \"" + std::string(path) +
                                  "\" enthält ein Zeichen, das in keinem Schlüsselnamen "
                                  "stehen darf");
    }
  }
  return std::string(path);
}

RegistryData RegistryData::Parse(std::string_view text, const std::string& file_name) {
  RegistryData data;
  auto fail = [&](size_t line_no, const std::string& why) {
    throw RegistryError("Die Registrierungsdatei \"" + file_name + "\" ist in Zeile " +
                        std::to_string(line_no) + " beschädigt: " + why + ".");
  };
  if (text.size() >= 3 && text.substr(0, 3) == "\xEF\xBB\xBF") text.remove_prefix(3);
  bool header_seen = false;
  KeyEntry* current = nullptr;
  size_t line_no = 0;
  size_t pos = 0;
  while (pos < text.size()) {
    size_t nl = text.find('\n', pos);
    std::string_view line = text.substr(pos, nl == std::string_view::npos ? text.npos : nl - pos);
    pos = nl == std::string_view::npos ? text.size() : nl + 1;
    ++line_no;
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    if (line.find('\0') != std::string_view::npos)
      fail(line_no, "Die Zeile enthält ein Nullzeichen");
    std::string_view trimmed = text::Trim(line);
    if (trimmed.empty() || trimmed[0] == ';') continue;
    if (!header_seen) {
      if (trimmed != kHeader)
        fail(line_no, "Die erste Zeile lautet nicht \"" + std::string(kHeader) + "\"");
      header_seen = true;
      continue;
    }
    if (trimmed[0] == '[') {
      if (trimmed.back() != ']') fail(line_no, "Eine Schlüsselzeile muss mit \"]\" enden");
      std::string_view full = trimmed.substr(1, trimmed.size() - 2);
      if (!PathStartsWith(full, kHive))
        fail(line_no, "Der Schlüssel liegt nicht unter HKEY_CURRENT_USER");
      std::string_view below = full.substr(kHive.size());
      try {
        current = &data.CreateKey(NormalizeKeyPath(below));
      } catch (const std::invalid_argument& e) {
        fail(line_no, e.what());
      }
      continue;
    }
    if (current == nullptr) fail(line_no, "Ein Wert steht vor dem ersten Schlüssel");
    std::string name, value;
    size_t p = 0;
    std::string_view rest = trimmed;
    if (rest[0] == '@') {
      p = 1;
    } else if (auto err = ReadQuoted(rest, p, name)) {
      fail(line_no, *err);
    }
    while (p < rest.size() && (rest[p] == ' ' || rest[p] == '\t')) ++p;
    if (p >= rest.size() || rest[p] != '=') fail(line_no, "Nach dem Namen des Werts fehlt \"=\"");
    ++p;
    while (p < rest.size() && (rest[p] == ' ' || rest[p] == '\t')) ++p;
    if (auto err = ReadQuoted(rest, p, value)) fail(line_no, *err);
    if (p != rest.size()) fail(line_no, "Hinter dem Wert steht noch Text");
    SetValue(*current, name, value);
  }
  if (!header_seen && !data.keys_.empty())
    fail(1, "Die Kopfzeile \"" + std::string(kHeader) + "\" fehlt");
  return data;
}

std::string RegistryData::Serialize() const {
  std::string out(kHeader);
  out += "\n\n";
  for (const KeyEntry& key : keys_) {
    out += "[" + std::string(kHive) + (key.path.empty() ? "" : "\\") + key.path + "]\n";
    for (const Value& value : key.values) {
      out += (value.name.empty() ? std::string("@") : "\"" + Escape(value.name) + "\"") + "=\"" +
             Escape(value.data) + "\"\n";
    }
    out += "\n";
  }
  return out;
}

const KeyEntry* RegistryData::FindKey(std::string_view path) const {
  for (const KeyEntry& key : keys_) {
    if (EqualsIgnoreCase(key.path, path)) return &key;
  }
  return nullptr;
}

KeyEntry* RegistryData::FindKey(std::string_view path) {
  return const_cast<KeyEntry*>(std::as_const(*this).FindKey(path));
}

KeyEntry& RegistryData::CreateKey(std::string_view path) {
  for (KeyEntry& key : keys_) {
    if (EqualsIgnoreCase(key.path, path)) return key;
  }
  // Take the spelling of the longest existing parent, as the registry keeps
  // the case a key was created with.
  auto spell = [&]() -> std::string {
    size_t end = path.size();
    while (end > 0) {
      std::string_view prefix = path.substr(0, end);
      for (const KeyEntry& key : keys_) {
        if (PathStartsWith(key.path, prefix))
          return key.path.substr(0, end) + std::string(path.substr(end));
      }
      size_t slash = prefix.rfind('\\');
      if (slash == std::string_view::npos) break;
      end = slash;
    }
    return std::string(path);
  };
  std::string spelled = spell();
  keys_.push_back(KeyEntry{spelled, {}});
  return keys_.back();
}

bool RegistryData::KeyExists(std::string_view path) const {
  for (const KeyEntry& key : keys_) {
    if (PathStartsWith(key.path, path)) return true;
  }
  return false;
}

std::vector<std::string> RegistryData::SubkeyNames(std::string_view path) const {
  std::vector<std::string> names;
  for (const KeyEntry& key : keys_) {
    if (key.path.size() == path.size() || !PathStartsWith(key.path, path)) continue;
    std::string_view rest = std::string_view(key.path).substr(path.empty() ? 0 : path.size() + 1);
    std::string_view child = rest.substr(0, rest.find('\\'));
    bool known = false;
    for (const auto& n : names) known = known || EqualsIgnoreCase(n, child);
    if (!known) names.emplace_back(child);
  }
  return names;
}

bool RegistryData::EraseKey(std::string_view path) {
  auto before = keys_.size();
  std::erase_if(keys_, [&](const KeyEntry& key) { return PathStartsWith(key.path, path); });
  return keys_.size() != before;
}

const Value* FindValue(const KeyEntry& key, std::string_view name) {
  for (const Value& value : key.values) {
    if (EqualsIgnoreCase(value.name, name)) return &value;
  }
  return nullptr;
}

void SetValue(KeyEntry& key, std::string_view name, std::string_view data) {
  for (Value& value : key.values) {
    if (EqualsIgnoreCase(value.name, name)) {
      value.data = std::string(data);
      return;
    }
  }
  key.values.push_back(Value{std::string(name), std::string(data)});
}

bool RemoveValue(KeyEntry& key, std::string_view name) {
  return std::erase_if(key.values, [&](const Value& v) { return EqualsIgnoreCase(v.name, name); }) >
         0;
}

}  // namespace platform::registry::detail
