#include "platform/text/Markup.h"

#include <cstdint>

#include "platform/text/Encoding.h"

namespace platform::text {
namespace {

constexpr std::string_view kReplacement = "\xEF\xBF\xBD";

// The length of the UTF-8 sequence XML can hold that starts at `i`; 0 when
// the bytes there are none (no valid UTF-8, or a noncharacter XML excludes).
size_t ValidSequence(std::string_view text, size_t i) {
  uint32_t cp = 0;
  size_t len = 0;
  if (!DecodeUtf8(text, i, cp, len) || cp == 0xFFFE || cp == 0xFFFF) return 0;
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
      const size_t len = ValidSequence(text, i);
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
