#include "platform/text/Markup.h"

#include <cstdint>

namespace platform::text {
namespace {

constexpr std::string_view kReplacement = "\xEF\xBF\xBD";

// The length of the UTF-8 sequence XML can hold that starts at `i`; 0 when
// the bytes there are none (cut short, overlong, a surrogate, beyond
// U+10FFFF, or a noncharacter XML excludes).
size_t ValidSequence(const unsigned char* s, size_t n, size_t i) {
  const unsigned char c = s[i];
  size_t len = c >= 0xF0 ? 4 : c >= 0xE0 ? 3 : c >= 0xC2 ? 2 : 0;
  if (c > 0xF4) len = 0;
  if (len == 0 || i + len > n) return 0;
  uint32_t cp = len == 2 ? c & 0x1F : len == 3 ? c & 0x0F : c & 0x07;
  for (size_t k = 1; k < len; ++k) {
    if ((s[i + k] & 0xC0) != 0x80) return 0;
    cp = (cp << 6) | (s[i + k] & 0x3F);
  }
  if ((len == 3 && cp < 0x800) || (len == 4 && (cp < 0x10000 || cp > 0x10FFFF))) return 0;
  if ((cp >= 0xD800 && cp <= 0xDFFF) || cp == 0xFFFE || cp == 0xFFFF) return 0;
  return len;
}

}  // namespace

std::string XmlEscape(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  const auto* s = reinterpret_cast<const unsigned char*>(text.data());
  const size_t n = text.size();
  for (size_t i = 0; i < n;) {
    const unsigned char c = s[i];
    if (c >= 0x80) {
      const size_t len = ValidSequence(s, n, i);
      if (len == 0) {
        out += kReplacement;
        ++i;
      } else {
        out.append(text.substr(i, len));
        i += len;
      }
      continue;
    }
    switch (c) {
      case '&':
        out += "&amp;";
        break;
      case '<':
        out += "&lt;";
        break;
      case '>':
        out += "&gt;";
        break;
      case '"':
        out += "&quot;";
        break;
      case '\'':
        out += "&apos;";
        break;
      case '\t':
        out += "&#9;";
        break;
      case '\n':
        out += "&#10;";
        break;
      case '\r':
        out += "&#13;";
        break;
      default:
        if (c < 0x20 || c == 0x7F) {
          out += kReplacement;
        } else {
          out.push_back(static_cast<char>(c));
        }
    }
    ++i;
  }
  return out;
}

}  // namespace platform::text
