// Windows-1252 by table: it is converted for every text field of every
// record read, and only its block 0x80-0x9F differs from Latin-1. UTF-16 is
// arithmetic. Code page 850 is the platform's (OemCodePage.h); it is handed
// valid UTF-8 only, so what becomes of invalid bytes is decided here, alike
// on every platform.
#include "platform/text/Encoding.h"

#include <array>
#include <cstdint>
#include <cstdio>

#include "platform/text/OemCodePage.h"

namespace platform::text {
namespace {

// The characters of Windows-1252's bytes 0x80 to 0x9F; the five bytes the
// code page leaves undefined stand for the C1 controls of the same value.
constexpr std::array<char16_t, 32> kAnsiBlock = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,  // 80-87
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,  // 88-8F
    0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,  // 90-97
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,  // 98-9F
};

uint32_t AnsiCharacter(unsigned char byte) {
  return byte >= 0x80 && byte <= 0x9F ? kAnsiBlock[byte - 0x80] : byte;
}

// The Windows-1252 byte of a character, or -1 when the code page lacks it.
int AnsiByte(uint32_t code) {
  if (code < 0x80 || (code >= 0xA0 && code <= 0xFF)) return static_cast<int>(code);
  for (size_t i = 0; i < kAnsiBlock.size(); ++i) {
    if (kAnsiBlock[i] == code) return static_cast<int>(0x80 + i);
  }
  return -1;
}

}  // namespace

bool DecodeUtf8(std::string_view text, size_t pos, uint32_t& code, size_t& length) {
  auto b0 = static_cast<unsigned char>(text[pos]);
  length = 1;
  if (b0 < 0x80) {
    code = b0;
    return true;
  }
  size_t need;
  uint32_t min;
  if ((b0 & 0xE0) == 0xC0) {
    need = 1, code = b0 & 0x1F, min = 0x80;
  } else if ((b0 & 0xF0) == 0xE0) {
    need = 2, code = b0 & 0x0F, min = 0x800;
  } else if ((b0 & 0xF8) == 0xF0) {
    need = 3, code = b0 & 0x07, min = 0x10000;
  } else {
    return false;
  }
  if (pos + need >= text.size()) return false;
  for (size_t i = 1; i <= need; ++i) {
    auto b = static_cast<unsigned char>(text[pos + i]);
    if ((b & 0xC0) != 0x80) return false;
    code = (code << 6) | (b & 0x3F);
  }
  if (code < min || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) return false;
  length = need + 1;
  return true;
}

namespace {

// The encoder of every UTF-8 text made here; its callers pass characters
// UTF-8 holds. Kept in the file so that the conversions of table fields
// have it inline.
void AppendCodePoint(std::string& out, uint32_t code) {
  if (code < 0x80) {
    out += static_cast<char>(code);
  } else if (code < 0x800) {
    out += static_cast<char>(0xC0 | (code >> 6));
    out += static_cast<char>(0x80 | (code & 0x3F));
  } else if (code < 0x10000) {
    out += static_cast<char>(0xE0 | (code >> 12));
    out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (code & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (code >> 18));
    out += static_cast<char>(0x80 | ((code >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (code & 0x3F));
  }
}

bool IsAscii(std::string_view text) {
  for (char c : text) {
    if (static_cast<unsigned char>(c) >= 0x80) return false;
  }
  return true;
}

}  // namespace

void AppendUtf8(std::string& out, uint32_t code) {
  AppendCodePoint(out, code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF) ? 0xFFFD : code);
}

std::string Utf8ToAnsi(std::string_view utf8, size_t* replaced) {
  size_t count = 0;
  std::string out;
  if (IsAscii(utf8)) {
    out.assign(utf8);
  } else {
    out.reserve(utf8.size());
    size_t pos = 0;
    while (pos < utf8.size()) {
      uint32_t code = 0;
      size_t length = 1;
      const int byte = DecodeUtf8(utf8, pos, code, length) ? AnsiByte(code) : -1;
      if (byte < 0) ++count;
      out += byte < 0 ? kAnsiReplacement : static_cast<char>(byte);
      pos += length;
    }
  }
  if (replaced != nullptr) *replaced = count;
  return out;
}

std::optional<std::string> Utf8ToAnsiStrict(std::string_view utf8, AnsiRefusal* refusal) {
  if (IsAscii(utf8)) return std::string(utf8);
  std::string out;
  out.reserve(utf8.size());
  size_t pos = 0;
  while (pos < utf8.size()) {
    uint32_t code = 0;
    size_t length = 1;
    if (!DecodeUtf8(utf8, pos, code, length)) {
      if (refusal != nullptr) *refusal = {pos, std::nullopt};
      return std::nullopt;
    }
    const int byte = AnsiByte(code);
    if (byte < 0) {
      if (refusal != nullptr) *refusal = {pos, code};
      return std::nullopt;
    }
    out += static_cast<char>(byte);
    pos += length;
  }
  return out;
}

std::optional<std::string> Utf8ToAnsiStrict(std::string_view utf8, std::string* bad) {
  AnsiRefusal refusal;
  std::optional<std::string> out = Utf8ToAnsiStrict(utf8, &refusal);
  if (!out && bad != nullptr) {
    if (!refusal.character) {
      *bad = "invalid UTF-8 at byte " + std::to_string(refusal.byte);
    } else {
      char buffer[16];
      std::snprintf(buffer, sizeof buffer, "U+%04X", static_cast<unsigned>(*refusal.character));
      *bad = std::string("character ") + buffer + " has no Windows-1252 code";
    }
  }
  return out;
}

std::string AnsiToUtf8(std::string_view ansi) {
  // Most texts are plain ASCII (identifiers, marks), which need no conversion.
  if (IsAscii(ansi)) return std::string(ansi);
  std::string out;
  out.reserve(ansi.size() + ansi.size() / 2);
  for (char c : ansi) AppendCodePoint(out, AnsiCharacter(static_cast<unsigned char>(c)));
  return out;
}

bool FitsAnsi(std::string_view utf8) {
  return Utf8ToAnsiStrict(utf8).has_value();
}

std::string Utf8ToOem850(std::string_view utf8, size_t* replaced) {
  std::string out;
  out.reserve(utf8.size());
  size_t count = 0;
  size_t pos = 0;
  while (pos < utf8.size()) {
    // The longest valid piece from here, within the platform's limit.
    size_t end = pos;
    uint32_t code = 0;
    size_t length = 1;
    while (end < utf8.size() && end - pos < oem::kPiece && DecodeUtf8(utf8, end, code, length)) {
      end += length;
    }
    if (end > pos) {
      count += oem::AppendFromUtf8(out, utf8.substr(pos, end - pos));
      pos = end;
    } else {
      out += kAnsiReplacement;
      ++count;
      pos += length;
    }
  }
  if (replaced != nullptr) *replaced = count;
  return out;
}

std::string Oem850ToUtf8(std::string_view oem) {
  std::string out;
  out.reserve(oem.size() + oem.size() / 4);
  for (size_t pos = 0; pos < oem.size(); pos += oem::kPiece) {
    oem::AppendToUtf8(out, oem.substr(pos, oem::kPiece));
  }
  return out;
}

namespace {

// UTF-16 of a UTF-8 text; an invalid byte becomes U+FFFD, or nothing is
// answered when `strict`.
std::optional<std::u16string> ToUtf16(std::string_view utf8, bool strict) {
  std::u16string out;
  out.reserve(utf8.size());
  size_t pos = 0;
  while (pos < utf8.size()) {
    uint32_t code = 0;
    size_t length = 1;
    if (!DecodeUtf8(utf8, pos, code, length)) {
      if (strict) return std::nullopt;
      code = 0xFFFD;
    }
    if (code >= 0x10000) {
      out += static_cast<char16_t>(0xD800 + ((code - 0x10000) >> 10));
      out += static_cast<char16_t>(0xDC00 + ((code - 0x10000) & 0x3FF));
    } else {
      out += static_cast<char16_t>(code);
    }
    pos += length;
  }
  return out;
}

}  // namespace

std::u16string Utf8ToUtf16(std::string_view utf8) {
  return *ToUtf16(utf8, false);
}

std::optional<std::u16string> Utf8ToUtf16Strict(std::string_view utf8) {
  return ToUtf16(utf8, true);
}

std::string Utf16ToUtf8(std::u16string_view utf16) {
  std::string out;
  out.reserve(utf16.size() + utf16.size() / 2);
  for (size_t pos = 0; pos < utf16.size(); ++pos) {
    uint32_t code = utf16[pos];
    if (code >= 0xD800 && code <= 0xDFFF) {
      // A pair, or a lone surrogate: one replacement per unit.
      const bool pair = code <= 0xDBFF && pos + 1 < utf16.size() && utf16[pos + 1] >= 0xDC00 &&
                        utf16[pos + 1] <= 0xDFFF;
      if (pair) {
        code = 0x10000 + ((code - 0xD800) << 10) + (utf16[pos + 1] - 0xDC00);
        ++pos;
      } else {
        code = 0xFFFD;
      }
    }
    AppendCodePoint(out, code);
  }
  return out;
}

bool IsValidUtf8(std::string_view text) {
  size_t pos = 0;
  while (pos < text.size()) {
    uint32_t code;
    size_t length;
    if (!DecodeUtf8(text, pos, code, length)) return false;
    pos += length;
  }
  return true;
}

size_t Utf8Length(std::string_view utf8) {
  size_t count = 0;
  size_t pos = 0;
  while (pos < utf8.size()) {
    uint32_t code;
    size_t length;
    DecodeUtf8(utf8, pos, code, length);
    pos += length;
    ++count;
  }
  return count;
}

std::string_view Utf8Prefix(std::string_view utf8, size_t count) {
  size_t pos = 0;
  while (pos < utf8.size() && count > 0) {
    uint32_t code;
    size_t length;
    DecodeUtf8(utf8, pos, code, length);
    pos += length;
    --count;
  }
  return utf8.substr(0, pos);
}

}  // namespace platform::text
