// Windows-1252 and UTF-16 conversions of the host stand-in, through iconv
// with the five undefined bytes of Windows-1252 handled here.
#include "hostsim/Ansi.h"

#include <iconv.h>

#include <cerrno>
#include <stdexcept>

namespace hostsim {
namespace {

bool IsUndefinedIn1252(unsigned char c) {
  return c == 0x81 || c == 0x8D || c == 0x8F || c == 0x90 || c == 0x9D;
}

// Decodes one code point; returns false (and consumes one byte) on bad UTF-8.
bool NextCodePoint(std::string_view s, size_t& pos, char32_t& cp) {
  auto c = static_cast<unsigned char>(s[pos]);
  size_t len = c < 0x80 ? 1 : (c >> 5) == 0x6 ? 2 : (c >> 4) == 0xE ? 3 : (c >> 3) == 0x1E ? 4 : 0;
  if (len == 0 || pos + len > s.size()) {
    ++pos;
    return false;
  }
  cp = len == 1 ? c : len == 2 ? (c & 0x1F) : len == 3 ? (c & 0x0F) : (c & 0x07);
  for (size_t i = 1; i < len; ++i) {
    auto cc = static_cast<unsigned char>(s[pos + i]);
    if ((cc & 0xC0) != 0x80) {
      ++pos;
      return false;
    }
    cp = (cp << 6) | (cc & 0x3F);
  }
  pos += len;
  return true;
}

void AppendUtf8(std::string& out, char32_t cp) {
  if (cp < 0x80) {
    out += static_cast<char>(cp);
  } else if (cp < 0x800) {
    out += static_cast<char>(0xC0 | (cp >> 6));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else if (cp < 0x10000) {
    out += static_cast<char>(0xE0 | (cp >> 12));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (cp >> 18));
    out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  }
}

// One iconv descriptor per direction, opened on first use.
class Converter {
 public:
  Converter(const char* to, const char* from) : cd_(iconv_open(to, from)) {
    if (cd_ == reinterpret_cast<iconv_t>(-1)) throw std::runtime_error("iconv cannot convert");
  }
  ~Converter() { iconv_close(cd_); }
  // Converts in; false when iconv refuses a character.
  bool Convert(std::string_view in, std::string& out) {
    iconv(cd_, nullptr, nullptr, nullptr, nullptr);
    std::string buffer(in.size() * 4 + 8, '\0');
    char* src = const_cast<char*>(in.data());
    size_t src_left = in.size();
    char* dst = buffer.data();
    size_t dst_left = buffer.size();
    if (iconv(cd_, &src, &src_left, &dst, &dst_left) == static_cast<size_t>(-1)) return false;
    out.assign(buffer.data(), buffer.size() - dst_left);
    return true;
  }

 private:
  iconv_t cd_;
};

Converter& FromAnsi() {
  static Converter c("UTF-8", "WINDOWS-1252");
  return c;
}
Converter& ToAnsi() {
  static Converter c("WINDOWS-1252", "UTF-8");
  return c;
}

}  // namespace

std::string AnsiToUtf8(std::string_view ansi) {
  std::string out;
  out.reserve(ansi.size());
  for (char ch : ansi) {
    auto c = static_cast<unsigned char>(ch);
    if (c < 0x80) {
      out += ch;
    } else if (IsUndefinedIn1252(c)) {
      AppendUtf8(out, c);
    } else {
      std::string piece;
      FromAnsi().Convert(std::string_view(&ch, 1), piece);
      out += piece;
    }
  }
  return out;
}

std::string Utf8ToAnsi(std::string_view utf8) {
  std::string out;
  out.reserve(utf8.size());
  size_t pos = 0;
  while (pos < utf8.size()) {
    size_t start = pos;
    char32_t cp = 0;
    if (!NextCodePoint(utf8, pos, cp)) {
      out += '?';
      continue;
    }
    if (cp < 0x80) {
      out += static_cast<char>(cp);
    } else if (cp <= 0xFF && IsUndefinedIn1252(static_cast<unsigned char>(cp))) {
      out += static_cast<char>(cp);
    } else {
      std::string piece;
      if (ToAnsi().Convert(utf8.substr(start, pos - start), piece) && piece.size() == 1) {
        out += piece;
      } else {
        out += '?';
      }
    }
  }
  return out;
}

std::u16string Utf8ToUtf16(std::string_view utf8) {
  std::u16string out;
  size_t pos = 0;
  while (pos < utf8.size()) {
    char32_t cp = 0;
    if (!NextCodePoint(utf8, pos, cp)) cp = 0xFFFD;
    if (cp >= 0x10000) {
      cp -= 0x10000;
      out += static_cast<char16_t>(0xD800 + (cp >> 10));
      out += static_cast<char16_t>(0xDC00 + (cp & 0x3FF));
    } else {
      out += static_cast<char16_t>(cp);
    }
  }
  return out;
}

std::string Utf16ToUtf8(std::u16string_view utf16) {
  std::string out;
  for (size_t i = 0; i < utf16.size(); ++i) {
    char32_t cp = utf16[i];
    if (cp >= 0xD800 && cp < 0xDC00 && i + 1 < utf16.size() && utf16[i + 1] >= 0xDC00 &&
        utf16[i + 1] < 0xE000) {
      cp = 0x10000 + ((cp - 0xD800) << 10) + (utf16[i + 1] - 0xDC00);
      ++i;
    } else if (cp >= 0xD800 && cp < 0xE000) {
      cp = 0xFFFD;
    }
    AppendUtf8(out, cp);
  }
  return out;
}

size_t Utf8Length(std::string_view utf8) {
  size_t n = 0;
  for (char c : utf8)
    if ((static_cast<unsigned char>(c) & 0xC0) != 0x80) ++n;
  return n;
}

std::string Utf8Prefix(std::string_view utf8, size_t max_chars) {
  size_t n = 0;
  for (size_t i = 0; i < utf8.size(); ++i) {
    if ((static_cast<unsigned char>(utf8[i]) & 0xC0) != 0x80) {
      if (n == max_chars) return std::string(utf8.substr(0, i));
      ++n;
    }
  }
  return std::string(utf8);
}

}  // namespace hostsim
