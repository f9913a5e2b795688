// Bytes of the dBase format in and out. Nothing here opens a file: the
// table layer hands in what it read and writes what comes back.
#include "platform/dbase/DbfFormat.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "platform/text/Encoding.h"
#include "platform/text/Strings.h"

namespace platform::dbase {

bool IsValidDate(int year, int month, int day) {
  if (year < 1 || year > 9999 || month < 1 || month > 12 || day < 1) return false;
  static constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
  return day <= kDays[month - 1] + (month == 2 && leap ? 1 : 0);
}

namespace format {
namespace {

constexpr char kUndoMagic[4] = {'V', 'U', 'N', 'D'};

// FNV-1a, enough to tell a whole undo block from a cut one.
uint32_t Checksum(const unsigned char* p, size_t n) {
  uint32_t h = 2166136261u;
  for (size_t i = 0; i < n; ++i) h = (h ^ p[i]) * 16777619u;
  return h;
}

// The dBase III format ends character fields at 254 characters; dBase IV
// takes all that the descriptor's length byte can say. A file is read with
// the wider limit whatever its flavour: other programs write 255.
constexpr int kMaxCharDBase3 = 254;
constexpr int kMaxCharDBase4 = 255;

// Checks a field's type and size; empty when it is fine.
std::string CheckField(char type, int length, int decimals, int max_char = kMaxCharDBase4) {
  switch (type) {
    case 'C':
      if (length < 1 || length > max_char) {
        return "Ein Textfeld ist 1 bis " + std::to_string(max_char) + " Zeichen breit";
      }
      return {};
    case 'N':
    case 'F':
      if (length < 1 || length > 20) return "Ein Zahlenfeld ist 1 bis 20 Zeichen breit";
      if (decimals < 0 || (decimals > 0 && decimals > length - 2) || decimals > 15) {
        return "Ein Zahlenfeld der Breite " + std::to_string(length) + " kann nicht " +
               std::to_string(decimals) + " Nachkommastellen haben";
      }
      return {};
    case 'D':
      if (length != 8) return "Ein Datumsfeld ist 8 Zeichen breit";
      return {};
    case 'L':
      if (length != 1) return "Ein logisches Feld ist 1 Zeichen breit";
      return {};
    case 'M':
      if (length != 10) return "Ein Memofeld ist 10 Zeichen breit";
      return {};
    default:
      return "Der Feldtyp '" + Printable(std::string_view(&type, 1)) + "' ist unbekannt";
  }
}

bool ParseNumber(std::string_view s, bool want_integer, int64_t& i, double& d, bool& is_int) {
  if (!s.empty() && s.front() == '+') s.remove_prefix(1);
  if (s.empty()) return false;
  for (char c : s) {
    if (!((c >= '0' && c <= '9') || c == '-' || c == '.' || c == 'e' || c == 'E')) return false;
  }
  if (want_integer && s.find_first_of(".eE") == std::string_view::npos) {
    auto [p, ec] = std::from_chars(s.data(), s.data() + s.size(), i);
    if (ec == std::errc() && p == s.data() + s.size()) {
      is_int = true;
      return true;
    }
  }
  auto [p, ec] = std::from_chars(s.data(), s.data() + s.size(), d);
  if (ec != std::errc() || p != s.data() + s.size() || !std::isfinite(d)) return false;
  is_int = false;
  if (want_integer && d == std::floor(d) && std::fabs(d) < 9.0e18) {
    i = static_cast<int64_t>(d);
    is_int = true;
  }
  return true;
}

[[noreturn]] void Fail(const std::string& file, const std::string& what) {
  Throw(Where{file}, what);
}

[[noreturn]] void FailField(const std::string& file, const Field& f, const std::string& what) {
  Throw(Where{file, -1, &f}, what);
}

std::string TwiceText(const std::string& name) {
  return "Der Feldname " + name + " kommt zweimal vor";
}

}  // namespace

uint32_t Le32(const unsigned char* p) {
  return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 |
         static_cast<uint32_t>(p[2]) << 16 | static_cast<uint32_t>(p[3]) << 24;
}
uint16_t Le16(const unsigned char* p) {
  return static_cast<uint16_t>(p[0] | p[1] << 8);
}
void PutLe32(unsigned char* p, uint32_t v) {
  p[0] = static_cast<unsigned char>(v);
  p[1] = static_cast<unsigned char>(v >> 8);
  p[2] = static_cast<unsigned char>(v >> 16);
  p[3] = static_cast<unsigned char>(v >> 24);
}
void PutLe16(unsigned char* p, uint32_t v) {
  p[0] = static_cast<unsigned char>(v);
  p[1] = static_cast<unsigned char>(v >> 8);
}

std::string Hex(unsigned v) {
  char buf[8];
  std::snprintf(buf, sizeof(buf), "0x%02X", v);
  return buf;
}

std::string Printable(std::string_view raw) {
  std::string out;
  for (char c : raw) {
    const auto b = static_cast<unsigned char>(c);
    if (b >= 0x20 && b < 0x7F) {
      out.push_back(c);
    } else {
      out += "\\x" + Hex(b).substr(2);
    }
  }
  return out;
}

std::string Where::Text() const {
  std::string s = file;
  if (record >= 0) s += ", Datensatz " + std::to_string(record + 1);
  if (field) s += ", Feld " + field->name;
  return s;
}

void Throw(const Where& where, const std::string& what) {
  throw DbaseError(where.Text() + ": " + what + ".");
}

std::string FieldTypeText(const Field& f) {
  std::string s(1, f.type);
  s += "(" + std::to_string(f.length);
  if (f.type == 'N' || f.type == 'F') s += "," + std::to_string(f.decimals);
  return s + ")";
}

uint32_t CheckHeader(const std::string& file, const Header& h, uint64_t size) {
  const unsigned version = h.version();
  if (version != 0x03 && version != 0x83 && version != 0x8B) {
    Fail(file, "Die Datei ist keine dBase-Tabelle (unbekanntes Versionsbyte " + Hex(version) + ")");
  }
  const uint32_t header_length = h.header_length();
  const uint32_t record_length = h.record_length();
  if (header_length < 32 + 32 + 1) {
    Fail(file,
         "Der Dateikopf ist mit " + std::to_string(header_length) + " Bytes zu kurz für ein Feld");
  }
  if (header_length > size) {
    Fail(file, "Der Dateikopf (" + std::to_string(header_length) +
                   " Bytes) reicht über das Ende der Datei (" + std::to_string(size) +
                   " Bytes) hinaus");
  }
  if (record_length < 2) {
    Fail(file, "Die Datensatzlänge " + std::to_string(record_length) +
                   " lässt keinen Platz für ein Feld");
  }
  return header_length;
}

std::vector<Field> ParseFields(const std::string& file, const Header& h,
                               const std::vector<unsigned char>& hdr, uint64_t size) {
  const uint32_t header_length = static_cast<uint32_t>(hdr.size());
  const uint32_t record_length = h.record_length();
  std::vector<Field> fields;
  uint32_t pos = 32;
  int offset = 1;
  bool terminated = false;
  while (pos < header_length) {
    if (hdr[pos] == kHeaderEnd) {
      terminated = true;
      break;
    }
    const int n = static_cast<int>(fields.size()) + 1;
    if (pos + 32 > header_length) {
      Fail(file, "Die Feldbeschreibung " + std::to_string(n) +
                     " reicht über das Ende des Dateikopfs hinaus");
    }
    const unsigned char* d = &hdr[pos];
    Field f;
    const auto* name_end = static_cast<const unsigned char*>(std::memchr(d, 0, 11));
    const std::string_view stored(reinterpret_cast<const char*>(d),
                                  name_end ? static_cast<size_t>(name_end - d) : 11);
    f.name = std::string(text::TrimBlanksAndNul(stored));
    for (char c : f.name) {
      const auto b = static_cast<unsigned char>(c);
      if (b < 0x21 || b > 0x7E)
        Fail(file, "Die Feldbeschreibung " + std::to_string(n) + " hat einen unlesbaren Namen");
    }
    if (f.name.empty())
      Fail(file, "Die Feldbeschreibung " + std::to_string(n) + " hat keinen Namen");
    f.name = text::ToUpperAscii(f.name);
    f.type = static_cast<char>(d[11]);
    if (f.type >= 'a' && f.type <= 'z') f.type = static_cast<char>(f.type - 'a' + 'A');
    f.length = d[16];
    f.decimals = (f.type == 'N' || f.type == 'F') ? d[17] : 0;
    if (const std::string bad = CheckField(f.type, f.length, f.decimals); !bad.empty()) {
      FailField(file, f, bad);
    }
    for (const Field& other : fields) {
      if (other.name == f.name) Fail(file, TwiceText(f.name));
    }
    f.offset = offset;
    offset += f.length;
    fields.push_back(std::move(f));
    pos += 32;
  }
  if (!terminated) Fail(file, "Die Feldbeschreibungen enden nicht innerhalb des Dateikopfs");
  if (fields.empty()) Fail(file, "Die Tabelle hat keine Felder");
  if (static_cast<uint32_t>(offset) > record_length) {
    Fail(file, "Die Felder brauchen " + std::to_string(offset) +
                   " Bytes, die Datensatzlänge ist aber " + std::to_string(record_length));
  }
  if (HasMemo(fields) && h.version() == 0x03)
    Fail(file, "Die Tabelle hat Memofelder, laut Versionsbyte aber keine Memodatei");
  const uint64_t needed = header_length + static_cast<uint64_t>(h.count()) * record_length;
  if (needed > size) {
    Fail(file, "Der Dateikopf zählt " + std::to_string(h.count()) +
                   " Datensätze, die Datei enthält aber nur " +
                   std::to_string((size - header_length) / record_length));
  }
  return fields;
}

bool HasMemo(const std::vector<Field>& fields) {
  return std::any_of(fields.begin(), fields.end(), [](const Field& f) { return f.type == 'M'; });
}

NewTable BuildTable(const std::string& file, Flavor flavor, const std::vector<FieldSpec>& specs,
                    const unsigned char today[3]) {
  if (specs.empty()) Fail(file, "Eine Tabelle braucht mindestens ein Feld");
  if (specs.size() > 255) Fail(file, "Eine Tabelle hat höchstens 255 Felder");
  NewTable t;
  int offset = 1;
  for (const FieldSpec& s : specs) {
    Field f;
    f.name = text::ToUpperAscii(s.name);
    if (f.name.empty() || f.name.size() > 10) {
      Fail(file, "Der Feldname '" + s.name + "' ist nicht 1 bis 10 Zeichen lang");
    }
    for (size_t i = 0; i < f.name.size(); ++i) {
      const char c = f.name[i];
      const bool letter = c >= 'A' && c <= 'Z';
      const bool ok = letter || (i > 0 && ((c >= '0' && c <= '9') || c == '_'));
      if (!ok) {
        Fail(file,
             "Der Feldname '" + s.name +
                 "' ist kein dBase-Feldname (Buchstaben, Ziffern und '_', vorn ein Buchstabe)");
      }
    }
    for (const Field& other : t.fields) {
      if (other.name == f.name) Fail(file, TwiceText(f.name));
    }
    f.type = s.type;
    f.length = s.type == 'D' ? 8 : s.type == 'L' ? 1 : s.type == 'M' ? 10 : s.length;
    f.decimals = (s.type == 'N' || s.type == 'F') ? s.decimals : 0;
    const int max_char = flavor == Flavor::kDBase4 ? kMaxCharDBase4 : kMaxCharDBase3;
    if (const std::string bad = CheckField(f.type, f.length, f.decimals, max_char); !bad.empty()) {
      FailField(file, f, bad);
    }
    t.has_memo = t.has_memo || f.type == 'M';
    f.offset = offset;
    offset += f.length;
    t.fields.push_back(f);
  }
  if (static_cast<uint32_t>(offset) > kMaxRecordLength)
    Fail(file, "Ein Datensatz wäre länger als 65535 Bytes");

  const uint32_t header_length = 32 + 32 * static_cast<uint32_t>(t.fields.size()) + 1;
  std::vector<unsigned char>& bytes = t.bytes;
  bytes.assign(header_length + 1, 0);
  bytes[0] = t.has_memo ? (flavor == Flavor::kDBase4 ? 0x8B : 0x83) : 0x03;
  std::memcpy(&bytes[1], today, 3);
  PutLe16(&bytes[8], header_length);
  PutLe16(&bytes[10], static_cast<uint32_t>(offset));
  bytes[29] = 0x57;  // language driver: Windows ANSI (code page 1252)
  for (size_t i = 0; i < t.fields.size(); ++i) {
    unsigned char* d = &bytes[32 + 32 * i];
    std::memcpy(d, t.fields[i].name.data(), t.fields[i].name.size());
    d[11] = static_cast<unsigned char>(t.fields[i].type);
    d[16] = static_cast<unsigned char>(t.fields[i].length);
    d[17] = static_cast<unsigned char>(t.fields[i].decimals);
  }
  bytes[header_length - 1] = kHeaderEnd;
  bytes[header_length] = kEofMark;
  return t;
}

std::vector<unsigned char> BuildMemoHeader(Flavor flavor, const std::string& table_name) {
  std::vector<unsigned char> memo(512, 0);
  PutLe32(&memo[0], 1);
  if (flavor == Flavor::kDBase4) {
    std::string stem = table_name.substr(0, table_name.find_last_of('.'));
    const std::string name = text::ToUpperAscii(stem).substr(0, 8);
    std::memcpy(&memo[8], name.data(), name.size());
    memo[18] = 0x02;
    memo[19] = 0x01;
    PutLe16(&memo[20], 512);
  } else {
    memo[16] = 0x03;
  }
  return memo;
}

void CheckDeletionFlag(const std::string& file, uint32_t rec, unsigned char flag) {
  if (flag != ' ' && flag != '*') {
    Throw(Where{file, rec}, "Das Löschkennzeichen " + Hex(flag) + " ist weder ' ' noch '*'");
  }
}

Cell DecodeCell(const Field& f, std::string_view raw, const Where& where) {
  switch (f.type) {
    case 'C':
      return Cell::Text(text::AnsiToUtf8(text::TrimRightBlanksAndNul(raw)));
    case 'N':
    case 'F': {
      const std::string_view s = text::TrimBlanksAndNul(raw);
      // Blank is null; shapelib writes asterisks for a null number.
      if (s.find_first_not_of('*') == std::string_view::npos) return Cell::Null();
      int64_t i = 0;
      double d = 0;
      bool is_int = false;
      if (!ParseNumber(s, f.decimals == 0, i, d, is_int)) {
        Throw(where, "Der Inhalt '" + Printable(raw) + "' ist keine Zahl");
      }
      return is_int ? Cell::Integer(i) : Cell::Real(d);
    }
    case 'D': {
      // Blank is null; some writers put zeros ("00000000", "       0") instead.
      if (text::TrimBlanksAndNul(raw).find_first_not_of('0') == std::string_view::npos) {
        return Cell::Null();
      }
      int v[3] = {0, 0, 0};
      const int widths[3] = {4, 2, 2};
      size_t p = 0;
      bool ok = true;
      for (int k = 0; k < 3 && ok; ++k) {
        for (int n = 0; n < widths[k]; ++n, ++p) {
          const char c = raw[p];
          if (c < '0' || c > '9') {
            ok = false;
            break;
          }
          v[k] = v[k] * 10 + (c - '0');
        }
      }
      if (!ok || !IsValidDate(v[0], v[1], v[2])) {
        Throw(where, "Der Inhalt '" + Printable(raw) + "' ist kein Datum");
      }
      return Cell::MakeDate({v[0], v[1], v[2]});
    }
    case 'L': {
      switch (raw[0]) {
        case 'T':
        case 't':
        case 'Y':
        case 'y':
          return Cell::Logical(true);
        case 'F':
        case 'f':
        case 'N':
        case 'n':
          return Cell::Logical(false);
        case '?':
        case ' ':
        case '\0':
          return Cell::Null();
        default:
          Throw(where, "Der Inhalt '" + Printable(raw) + "' ist kein Wahrheitswert");
      }
    }
    case 'M': {
      const std::string_view s = text::TrimBlanksAndNul(raw);
      if (s.empty()) return Cell::Integer(0);
      uint64_t block = 0;
      auto [p, ec] = std::from_chars(s.data(), s.data() + s.size(), block);
      if (ec != std::errc() || p != s.data() + s.size()) {
        Throw(where, "Der Inhalt '" + Printable(raw) + "' ist keine Memo-Blocknummer");
      }
      return Cell::Integer(static_cast<int64_t>(block));
    }
    default:
      break;
  }
  return Cell::Null();
}

void CheckMemoText(std::string_view bytes, const Where& where) {
  // NUL, because readers in C end the text there.
  if (bytes.find_first_of(std::string{'\0', static_cast<char>(kMemoEnd3),
                                      static_cast<char>(kMemoEnd4)}) != std::string::npos) {
    Throw(where, "Ein Memotext kann die Steuerzeichen U+0000, U+001A und U+001F nicht enthalten");
  }
}

std::string FieldBytes(std::string_view text, const Where& where) {
  text::AnsiRefusal refusal;
  std::optional<std::string> bytes = text::Utf8ToAnsiStrict(text, &refusal);
  if (bytes) return std::move(*bytes);
  if (!refusal.character) {
    Throw(where,
          "Der Text ist kein gültiges UTF-8 (ab Byte " + std::to_string(refusal.byte + 1) + ")");
  }
  char code[16];
  std::snprintf(code, sizeof(code), "U+%04X", static_cast<unsigned>(*refusal.character));
  Throw(where, std::string("Das Zeichen ") + code + " gibt es in Windows-1252 nicht");
}

void RefuseValue(const Field& f, const std::string& what, const Where& where) {
  Throw(where, what + " kann nicht in einem Feld vom Typ " + FieldTypeText(f) + " stehen");
}

std::string EncodeCell(const Field& f, const Cell& value, const Where& where) {
  std::string out(static_cast<size_t>(f.length), ' ');
  const auto type_error = [&](const char* what) { RefuseValue(f, what, where); };
  switch (f.type) {
    case 'C': {
      if (value.kind == Cell::Kind::kNull) break;
      if (value.kind != Cell::Kind::kText) type_error("Dieser Wert");
      const std::string bytes = FieldBytes(value.text, where);
      if (bytes.size() > out.size()) {
        Throw(where, "Ein Text von " + std::to_string(bytes.size()) + " Zeichen passt nicht in " +
                         FieldTypeText(f));
      }
      // Stored, it would read back cut at the NUL by every reader in C, and
      // as the end of the text where it is the last character here.
      if (bytes.find('\0') != std::string::npos) {
        Throw(where, "Ein Text kann das Zeichen U+0000 (NUL) nicht enthalten");
      }
      std::memcpy(out.data(), bytes.data(), bytes.size());
      break;
    }
    case 'N':
    case 'F': {
      std::string digits;
      if (value.kind == Cell::Kind::kNull) break;
      if (value.kind == Cell::Kind::kInteger || value.kind == Cell::Kind::kLogical) {
        digits = std::to_string(value.integer);
        if (f.decimals > 0) digits += "." + std::string(static_cast<size_t>(f.decimals), '0');
      } else if (value.kind == Cell::Kind::kReal) {
        double d = value.real;
        if (!std::isfinite(d)) type_error("Eine unendliche Zahl");
        if (f.decimals == 0) {
          // Rounded, the value stored would not be the value given.
          if (d != std::floor(d)) {
            char buf[40];
            const auto end = std::to_chars(buf, buf + sizeof(buf), d).ptr;
            Throw(where, std::string(buf, end) + " ist keine ganze Zahl, und " + FieldTypeText(f) +
                             " hat keine Nachkommastellen");
          }
          if (std::fabs(d) >= 9.0e18) {
            Throw(where,
                  "Der Wert " + std::to_string(value.real) + " passt nicht in " + FieldTypeText(f));
          }
          digits = std::to_string(static_cast<int64_t>(d));
        } else {
          char buf[400];
          std::snprintf(buf, sizeof(buf), "%.*f", f.decimals, d == 0 ? 0.0 : d);
          digits = buf;
          // A negative value that rounds to zero is zero, not "-0.00".
          if (digits.front() == '-' && digits.find_first_not_of("-0.") == std::string::npos) {
            digits.erase(0, 1);
          }
        }
      } else {
        type_error("Ein Text");
      }
      if (digits.size() > out.size()) {
        Throw(where, "Der Wert " + digits + " passt nicht in " + FieldTypeText(f));
      }
      std::memcpy(out.data() + out.size() - digits.size(), digits.data(), digits.size());
      break;
    }
    case 'D': {
      if (value.kind == Cell::Kind::kNull) break;
      if (value.kind != Cell::Kind::kDate) type_error("Dieser Wert");
      if (!IsValidDate(value.date.year, value.date.month, value.date.day))
        type_error("Ein ungültiges Datum");
      char buf[16];
      std::snprintf(buf, sizeof(buf), "%04d%02d%02d", value.date.year, value.date.month,
                    value.date.day);
      out.assign(buf, 8);
      break;
    }
    case 'L': {
      if (value.kind == Cell::Kind::kNull) {
        out = "?";
      } else if (value.kind == Cell::Kind::kLogical || value.kind == Cell::Kind::kInteger) {
        out = value.integer ? "T" : "F";
      } else {
        type_error("Dieser Wert");
      }
      break;
    }
    case 'M': {
      if (value.kind == Cell::Kind::kNull || value.integer == 0) break;
      const std::string digits = std::to_string(value.integer);
      std::memcpy(out.data() + out.size() - digits.size(), digits.data(), digits.size());
      break;
    }
    default:
      break;
  }
  return out;
}

MemoLayout ParseMemoHeader(const unsigned char h[32], uint8_t table_version) {
  MemoLayout layout;
  layout.dbase4 = table_version == 0x8B;
  if (layout.dbase4) {
    const uint32_t bs = Le16(h + 20);
    if (bs >= 64 && bs <= 32768 && bs % 64 == 0) layout.block_size = bs;
  }
  return layout;
}

std::vector<unsigned char> EncodeMemo(const MemoLayout& layout, std::string_view bytes) {
  std::vector<unsigned char> buf;
  if (layout.dbase4) {
    // Sized at once: GCC 12 building for 32-bit Windows takes an insert
    // after the header for a write past its 8 bytes and refuses it.
    buf.resize(8 + bytes.size());
    buf[0] = 0xFF;
    buf[1] = 0xFF;
    buf[2] = 0x08;
    buf[3] = 0x00;
    PutLe32(buf.data() + 4, static_cast<uint32_t>(bytes.size() + 8));
    std::copy(bytes.begin(), bytes.end(), buf.begin() + 8);
    buf.push_back(kMemoEnd4);
  } else {
    buf.assign(bytes.begin(), bytes.end());
    buf.push_back(kMemoEnd3);
    buf.push_back(kMemoEnd3);
  }
  const uint64_t bs = layout.block_size;
  buf.resize((buf.size() + bs - 1) / bs * bs, 0);
  return buf;
}

uint32_t MemoTextLength(const unsigned char h[8], uint64_t block, uint64_t start,
                        uint64_t file_size, const std::string& memo_file, const Where& where) {
  if (h[0] != 0xFF || h[1] != 0xFF || h[2] != 0x08 || h[3] != 0x00) {
    RefuseMemoBlock(block, memo_file, where);
  }
  const uint32_t length = Le32(h + 4);
  if (length < 8 || start + length > file_size || length > kMaxMemo) {
    Throw(where, "Der Memotext in Block " + std::to_string(block) + " reicht über das Ende von " +
                     memo_file + " hinaus");
  }
  return length - 8;
}

void RefuseMemoBlock(uint64_t block, const std::string& memo_file, const Where& where) {
  Throw(where, "Block " + std::to_string(block) + " von " + memo_file + " ist kein Memoblock");
}

std::optional<size_t> MemoEnd(std::string_view bytes, bool dbase4) {
  const size_t end = dbase4 ? bytes.find_first_of(std::string{static_cast<char>(kMemoEnd3),
                                                              static_cast<char>(kMemoEnd4)})
                            : bytes.find(static_cast<char>(kMemoEnd3));
  if (end == std::string_view::npos) return std::nullopt;
  return end;
}

std::vector<unsigned char> EncodeUndo(const RecordImages& images) {
  std::vector<unsigned char> undo(8);
  std::memcpy(undo.data(), kUndoMagic, 4);
  PutLe32(undo.data() + 4, static_cast<uint32_t>(images.size()));
  for (const auto& [rec, bytes] : images) {
    unsigned char r[4];
    PutLe32(r, rec);
    undo.insert(undo.end(), r, r + 4);
    undo.insert(undo.end(), bytes.begin(), bytes.end());
  }
  unsigned char sum[4];
  PutLe32(sum, Checksum(undo.data(), undo.size()));
  undo.insert(undo.end(), sum, sum + 4);
  return undo;
}

std::optional<uint64_t> UndoLength(const unsigned char head[8], uint32_t record_length) {
  if (std::memcmp(head, kUndoMagic, 4) != 0) return std::nullopt;
  const uint64_t n = Le32(head + 4);
  return 8 + n * (4 + static_cast<uint64_t>(record_length)) + 4;
}

std::optional<RecordImages> DecodeUndo(const std::vector<unsigned char>& block,
                                       uint32_t record_length, uint32_t count) {
  if (block.size() < 12) return std::nullopt;
  const uint64_t n = Le32(block.data() + 4);
  if (n > count || block.size() != 8 + n * (4 + static_cast<uint64_t>(record_length)) + 4) {
    return std::nullopt;
  }
  if (Checksum(block.data(), block.size() - 4) != Le32(block.data() + block.size() - 4)) {
    return std::nullopt;
  }
  RecordImages images;
  for (uint64_t k = 0; k < n; ++k) {
    const unsigned char* p = block.data() + 8 + k * (4 + static_cast<uint64_t>(record_length));
    const uint32_t rec = Le32(p);
    if (rec >= count) return std::nullopt;
    images.emplace_back(rec, std::string(reinterpret_cast<const char*>(p + 4), record_length));
  }
  return images;
}

}  // namespace format
}  // namespace platform::dbase
