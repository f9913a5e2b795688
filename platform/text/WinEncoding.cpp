// Code page 850 through the code page API of Windows, as strict as iconv is
// on POSIX systems: no best-fit look-alikes ("EUR" for the euro sign, 'A'
// for 'Ā'), one replacement per character the code page lacks, whatever
// Windows would make of a surrogate pair.
#include <windows.h>

#include "platform/text/Encoding.h"
#include "platform/text/OemCodePage.h"

namespace platform::text::oem {
namespace {

constexpr UINT kOem850 = 850;

// The code page 850 bytes of UTF-16 text, unless one of its characters has
// none.
bool Narrow(std::u16string_view wide, std::string& bytes) {
  const auto* in = reinterpret_cast<const wchar_t*>(wide.data());
  const int in_size = static_cast<int>(wide.size());
  // Windows may read a default character of two bytes; ours is one.
  const char replacement[2] = {kAnsiReplacement, '\0'};
  BOOL used = FALSE;
  const int size = WideCharToMultiByte(kOem850, WC_NO_BEST_FIT_CHARS, in, in_size, nullptr, 0,
                                       replacement, &used);
  if (size <= 0 || used) return false;
  bytes.resize(static_cast<size_t>(size));
  used = FALSE;
  const int written = WideCharToMultiByte(kOem850, WC_NO_BEST_FIT_CHARS, in, in_size, bytes.data(),
                                          size, replacement, &used);
  return written == size && !used;
}

}  // namespace

size_t AppendFromUtf8(std::string& out, std::string_view valid_utf8) {
  const std::u16string wide = Utf8ToUtf16(valid_utf8);
  std::string bytes;
  if (Narrow(wide, bytes)) {
    out += bytes;
    return 0;
  }
  // Some character has no byte: find which, one character at a time.
  size_t count = 0;
  for (size_t pos = 0; pos < wide.size();) {
    const bool pair = wide[pos] >= 0xD800 && wide[pos] <= 0xDBFF && pos + 1 < wide.size();
    const size_t units = pair ? 2 : 1;
    if (Narrow(wide.substr(pos, units), bytes) && bytes.size() == 1) {
      out += bytes;
    } else {
      out += kAnsiReplacement;
      ++count;
    }
    pos += units;
  }
  return count;
}

void AppendToUtf8(std::string& out, std::string_view bytes) {
  if (bytes.empty()) return;
  const int in_size = static_cast<int>(bytes.size());
  std::u16string wide(bytes.size(), u'\0');
  const int size = MultiByteToWideChar(kOem850, 0, bytes.data(), in_size,
                                       reinterpret_cast<wchar_t*>(wide.data()), in_size);
  if (size <= 0) {
    // Every byte of code page 850 has a character; should Windows still
    // refuse, no byte is dropped.
    for (size_t i = 0; i < bytes.size(); ++i) AppendUtf8(out, 0xFFFD);
    return;
  }
  wide.resize(static_cast<size_t>(size));
  out += Utf16ToUtf8(wide);
}

}  // namespace platform::text::oem
