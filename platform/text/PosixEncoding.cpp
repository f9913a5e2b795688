// Code page 850 through iconv, which stops at anything it cannot convert;
// the loops below put the replacement in and carry on behind it.
#include <iconv.h>

#include <cerrno>
#include <memory>
#include <stdexcept>

#include "platform/text/Encoding.h"
#include "platform/text/OemCodePage.h"

namespace platform::text::oem {
namespace {

// One iconv descriptor, closed with the object.
class Iconv {
 public:
  Iconv(const char* to, const char* from) : cd_(iconv_open(to, from)) {
    if (cd_ == reinterpret_cast<iconv_t>(-1)) {
      throw std::runtime_error(std::string("Texte können nicht von ") + from + " nach " + to +
                               " umgewandelt werden: Dem System (iconv) fehlt diese "
                               "Umwandlung.");
    }
  }
  ~Iconv() { iconv_close(cd_); }
  Iconv(const Iconv&) = delete;
  Iconv& operator=(const Iconv&) = delete;

  // Converts as much as it can. Returns the number of bytes of `in`
  // converted; fewer than all when it met something it cannot convert.
  size_t Run(std::string_view in, std::string& out) {
    iconv(cd_, nullptr, nullptr, nullptr, nullptr);
    char* in_ptr = const_cast<char*>(in.data());
    size_t in_left = in.size();
    char buffer[4096];
    while (in_left > 0) {
      char* out_ptr = buffer;
      size_t out_left = sizeof buffer;
      size_t rc = iconv(cd_, &in_ptr, &in_left, &out_ptr, &out_left);
      out.append(buffer, static_cast<size_t>(out_ptr - buffer));
      if (rc == static_cast<size_t>(-1) && errno != E2BIG) break;
    }
    return in.size() - in_left;
  }

 private:
  iconv_t cd_;
};

// The byte count of the valid UTF-8 character a lead byte starts.
size_t CharacterLength(unsigned char lead) {
  return lead < 0x80 ? 1 : lead < 0xE0 ? 2 : lead < 0xF0 ? 3 : 4;
}

}  // namespace

size_t AppendFromUtf8(std::string& out, std::string_view valid_utf8) {
  thread_local std::unique_ptr<Iconv> conv;
  if (!conv) conv = std::make_unique<Iconv>("CP850", "UTF-8");
  size_t count = 0;
  size_t pos = 0;
  while (pos < valid_utf8.size()) {
    pos += conv->Run(valid_utf8.substr(pos), out);
    if (pos >= valid_utf8.size()) break;
    out += kAnsiReplacement;
    ++count;
    pos += CharacterLength(static_cast<unsigned char>(valid_utf8[pos]));
  }
  return count;
}

void AppendToUtf8(std::string& out, std::string_view bytes) {
  thread_local std::unique_ptr<Iconv> conv;
  if (!conv) conv = std::make_unique<Iconv>("UTF-8", "CP850");
  size_t pos = 0;
  while (pos < bytes.size()) {
    pos += conv->Run(bytes.substr(pos), out);
    if (pos >= bytes.size()) break;
    // Every byte of code page 850 has a character; should iconv still stop,
    // the byte is not dropped.
    AppendUtf8(out, 0xFFFD);
    ++pos;
  }
}

}  // namespace platform::text::oem
