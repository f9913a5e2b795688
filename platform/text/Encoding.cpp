// Conversions through iconv. iconv stops at anything it cannot convert; the
// loop below decides what takes its place (the five undefined Windows-1252
// bytes, '?' or U+FFFD) and carries on behind it.
#include "platform/text/Encoding.h"

#include <iconv.h>

#include <array>
#include <bit>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <memory>
#include <stdexcept>

namespace platform::text {
namespace {

constexpr std::array<unsigned char, 5> kUndefinedAnsi = {0x81, 0x8D, 0x8F, 0x90, 0x9D};

bool IsUndefinedAnsi(uint32_t value) {
  for (unsigned char b : kUndefinedAnsi) {
    if (value == b) return true;
  }
  return false;
}

const char* Utf16Name() {
  return std::endian::native == std::endian::little ? "UTF-16LE" : "UTF-16BE";
}

// Decodes one UTF-8 character; `length` receives its byte count (1 for an
// invalid byte). False for invalid input.
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

void AppendUtf8(std::string& out, uint32_t code) {
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

// One iconv descriptor, closed with the object.
class Iconv {
 public:
  Iconv(const char* to, const char* from) : cd_(iconv_open(to, from)) {
    if (cd_ == reinterpret_cast<iconv_t>(-1)) {
      throw std::runtime_error(std::string("iconv cannot convert from ") + from + " to " + to);
    }
  }
  ~Iconv() { iconv_close(cd_); }
  Iconv(const Iconv&) = delete;
  Iconv& operator=(const Iconv&) = delete;

  // Converts as much as it can. Returns the position in `in` where it stopped
  // and whether that was the end; `err` receives errno when it was not.
  size_t Run(const char* in, size_t in_size, std::string& out, int& err) {
    iconv(cd_, nullptr, nullptr, nullptr, nullptr);
    char* in_ptr = const_cast<char*>(in);
    size_t in_left = in_size;
    err = 0;
    char buffer[4096];
    while (in_left > 0) {
      char* out_ptr = buffer;
      size_t out_left = sizeof buffer;
      size_t rc = iconv(cd_, &in_ptr, &in_left, &out_ptr, &out_left);
      out.append(buffer, static_cast<size_t>(out_ptr - buffer));
      if (rc == static_cast<size_t>(-1)) {
        if (errno == E2BIG) continue;
        err = errno;
        break;
      }
    }
    return in_size - in_left;
  }

 private:
  iconv_t cd_;
};

// Converts UTF-8 to a single-byte code page; `extra` may map a code point the
// code page's iconv table lacks to a byte.
std::string FromUtf8(std::string_view utf8, const char* code_page, size_t* replaced,
                     bool (*extra)(uint32_t)) {
  thread_local std::unique_ptr<Iconv> cp1252, cp850;
  auto& slot = std::strcmp(code_page, "CP1252") == 0 ? cp1252 : cp850;
  if (!slot) slot = std::make_unique<Iconv>(code_page, "UTF-8");
  std::string out;
  out.reserve(utf8.size());
  size_t count = 0;
  size_t pos = 0;
  while (pos < utf8.size()) {
    int err = 0;
    pos += slot->Run(utf8.data() + pos, utf8.size() - pos, out, err);
    if (pos >= utf8.size()) break;
    uint32_t code = 0;
    size_t length = 1;
    if (DecodeUtf8(utf8, pos, code, length) && extra != nullptr && extra(code)) {
      out += static_cast<char>(code);
    } else {
      out += kAnsiReplacement;
      ++count;
    }
    pos += length;
  }
  if (replaced != nullptr) *replaced = count;
  return out;
}

std::string ToUtf8(std::string_view bytes, const char* code_page) {
  thread_local std::unique_ptr<Iconv> cp1252, cp850;
  auto& slot = std::strcmp(code_page, "CP1252") == 0 ? cp1252 : cp850;
  if (!slot) slot = std::make_unique<Iconv>("UTF-8", code_page);
  std::string out;
  out.reserve(bytes.size() + bytes.size() / 4);
  size_t pos = 0;
  while (pos < bytes.size()) {
    int err = 0;
    pos += slot->Run(bytes.data() + pos, bytes.size() - pos, out, err);
    if (pos >= bytes.size()) break;
    // Only the undefined bytes of Windows-1252 stop iconv here.
    AppendUtf8(out, static_cast<unsigned char>(bytes[pos]));
    ++pos;
  }
  return out;
}

bool UndefinedAnsiByte(uint32_t code) {
  return IsUndefinedAnsi(code);
}

}  // namespace

std::string Utf8ToAnsi(std::string_view utf8, size_t* replaced) {
  return FromUtf8(utf8, "CP1252", replaced, &UndefinedAnsiByte);
}

std::string AnsiToUtf8(std::string_view ansi) {
  return ToUtf8(ansi, "CP1252");
}

bool FitsAnsi(std::string_view utf8) {
  size_t replaced = 0;
  Utf8ToAnsi(utf8, &replaced);
  return replaced == 0;
}

std::string Utf8ToOem850(std::string_view utf8, size_t* replaced) {
  return FromUtf8(utf8, "CP850", replaced, nullptr);
}

std::string Oem850ToUtf8(std::string_view oem) {
  return ToUtf8(oem, "CP850");
}

std::u16string Utf8ToUtf16(std::string_view utf8) {
  thread_local std::unique_ptr<Iconv> conv;
  if (!conv) conv = std::make_unique<Iconv>(Utf16Name(), "UTF-8");
  std::string bytes;
  size_t pos = 0;
  while (pos < utf8.size()) {
    int err = 0;
    pos += conv->Run(utf8.data() + pos, utf8.size() - pos, bytes, err);
    if (pos >= utf8.size()) break;
    uint32_t code = 0;
    size_t length = 1;
    DecodeUtf8(utf8, pos, code, length);
    char16_t fffd = u'\uFFFD';
    bytes.append(reinterpret_cast<const char*>(&fffd), sizeof fffd);
    pos += length;
  }
  std::u16string out(bytes.size() / 2, u'\0');
  std::memcpy(out.data(), bytes.data(), out.size() * 2);
  return out;
}

std::string Utf16ToUtf8(std::u16string_view utf16) {
  thread_local std::unique_ptr<Iconv> conv;
  if (!conv) conv = std::make_unique<Iconv>("UTF-8", Utf16Name());
  std::string out;
  const char* data = reinterpret_cast<const char*>(utf16.data());
  size_t size = utf16.size() * 2;
  size_t pos = 0;
  while (pos < size) {
    int err = 0;
    pos += conv->Run(data + pos, size - pos, out, err);
    if (pos >= size) break;
    // A lone surrogate (or a high one at the end): one replacement per unit.
    AppendUtf8(out, 0xFFFD);
    pos += 2;
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
