// The conversion tables are derived once from iconv's WINDOWS-1252 table;
// iconv refuses the five undefined bytes, so those are filled in here as
// Windows maps them. Per-byte tables keep the hot path (every text field of
// every record read) free of iconv calls.
#include "platform/dbase/Cp1252.h"

#include <iconv.h>

#include <array>
#include <cstdint>
#include <cstdio>
#include <unordered_map>

namespace platform::dbase {
namespace {

struct Tables {
  std::array<char32_t, 256> to_unicode{};
  std::unordered_map<char32_t, unsigned char> from_unicode;
};

char32_t DecodeOneViaIconv(iconv_t cd, unsigned char byte) {
  char in[1] = {static_cast<char>(byte)};
  char out[8] = {};
  char* in_ptr = in;
  char* out_ptr = out;
  size_t in_left = 1;
  size_t out_left = sizeof(out);
  iconv(cd, nullptr, nullptr, nullptr, nullptr);
  if (iconv(cd, &in_ptr, &in_left, &out_ptr, &out_left) == static_cast<size_t>(-1) ||
      out_left != 4) {
    return byte;  // undefined in Windows-1252: Windows maps it to the C1 control
  }
  const auto* u = reinterpret_cast<const unsigned char*>(out);
  return static_cast<char32_t>(u[0]) | static_cast<char32_t>(u[1]) << 8 |
         static_cast<char32_t>(u[2]) << 16 | static_cast<char32_t>(u[3]) << 24;
}

const Tables& GetTables() {
  static const Tables tables = [] {
    Tables t;
    iconv_t cd = iconv_open("UTF-32LE", "WINDOWS-1252");
    for (int b = 0; b < 256; ++b) {
      const auto byte = static_cast<unsigned char>(b);
      // Outside 0x80..0x9F Windows-1252 equals Latin-1; only that block needs iconv.
      t.to_unicode[b] = (cd != reinterpret_cast<iconv_t>(-1) && b >= 0x80 && b <= 0x9F)
                            ? DecodeOneViaIconv(cd, byte)
                            : static_cast<char32_t>(b);
      t.from_unicode.emplace(t.to_unicode[b], byte);
    }
    if (cd != reinterpret_cast<iconv_t>(-1)) iconv_close(cd);
    return t;
  }();
  return tables;
}

void AppendUtf8(std::string& out, char32_t c) {
  if (c < 0x80) {
    out.push_back(static_cast<char>(c));
  } else if (c < 0x800) {
    out.push_back(static_cast<char>(0xC0 | (c >> 6)));
    out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
  } else if (c < 0x10000) {
    out.push_back(static_cast<char>(0xE0 | (c >> 12)));
    out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
  } else {
    out.push_back(static_cast<char>(0xF0 | (c >> 18)));
    out.push_back(static_cast<char>(0x80 | ((c >> 12) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
  }
}

// Decodes one UTF-8 sequence at `i`; false on malformed input.
bool NextCodePoint(std::string_view s, size_t& i, char32_t& c) {
  const auto b0 = static_cast<unsigned char>(s[i]);
  int extra = 0;
  if (b0 < 0x80) {
    c = b0;
  } else if ((b0 & 0xE0) == 0xC0) {
    c = b0 & 0x1F;
    extra = 1;
  } else if ((b0 & 0xF0) == 0xE0) {
    c = b0 & 0x0F;
    extra = 2;
  } else if ((b0 & 0xF8) == 0xF0) {
    c = b0 & 0x07;
    extra = 3;
  } else {
    return false;
  }
  if (i + static_cast<size_t>(extra) >= s.size()) return false;
  for (int k = 1; k <= extra; ++k) {
    const auto b = static_cast<unsigned char>(s[i + k]);
    if ((b & 0xC0) != 0x80) return false;
    c = (c << 6) | (b & 0x3F);
  }
  static constexpr char32_t kMin[] = {0, 0x80, 0x800, 0x10000};
  if (c < kMin[extra] || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) return false;
  i += static_cast<size_t>(extra) + 1;
  return true;
}

}  // namespace

std::string Cp1252ToUtf8(std::string_view bytes) {
  // Most texts are plain ASCII (identifiers, marks), which need no conversion.
  bool ascii = true;
  for (char ch : bytes) ascii = ascii && static_cast<unsigned char>(ch) < 0x80;
  if (ascii) return std::string(bytes);
  std::string out;
  out.reserve(bytes.size());
  const auto& to_unicode = GetTables().to_unicode;
  for (char ch : bytes) {
    const auto b = static_cast<unsigned char>(ch);
    if (b < 0x80) {
      out.push_back(ch);
    } else {
      AppendUtf8(out, to_unicode[b]);
    }
  }
  return out;
}

std::optional<std::string> Utf8ToCp1252(std::string_view utf8, std::string* bad) {
  std::string out;
  out.reserve(utf8.size());
  const auto& from_unicode = GetTables().from_unicode;
  size_t i = 0;
  while (i < utf8.size()) {
    const auto b = static_cast<unsigned char>(utf8[i]);
    if (b < 0x80) {
      out.push_back(static_cast<char>(b));
      ++i;
      continue;
    }
    char32_t c = 0;
    if (!NextCodePoint(utf8, i, c)) {
      if (bad) *bad = "invalid UTF-8 at byte " + std::to_string(i);
      return std::nullopt;
    }
    auto it = from_unicode.find(c);
    if (it == from_unicode.end()) {
      if (bad) {
        char buf[16];
        std::snprintf(buf, sizeof(buf), "U+%04X", static_cast<unsigned>(c));
        *bad = std::string("character ") + buf + " has no Windows-1252 code";
      }
      return std::nullopt;
    }
    out.push_back(static_cast<char>(it->second));
  }
  return out;
}

}  // namespace platform::dbase
