// The attribute file's objects: a small reader that holds the text to the
// rules of well-formed XML (every element closed in order, attributes
// quoted, entities known) and takes the Kennung of each <Objekt>. A damaged
// file must be told as such, not read in part.
#include <cstring>
#include <stdexcept>
#include <string>
#include <vector>

#include "platform/text/Encoding.h"
#include "vandrasim/PackageCheck.h"

namespace vandrasim {
namespace {

class Reader {
 public:
  explicit Reader(std::string_view s) : s_(s) {}

  std::vector<std::string> Kennungen() {
    Misc();
    if (!At("<")) Fail("kein Wurzelelement");
    Element(0);
    Misc();
    if (pos_ != s_.size()) Fail("Text nach dem Wurzelelement");
    return out_;
  }

 private:
  [[noreturn]] void Fail(const std::string& what) const {
    size_t line = 1;
    for (size_t i = 0; i < pos_ && i < s_.size(); ++i) line += s_[i] == '\n';
    throw std::runtime_error("Zeile " + std::to_string(line) + ": " + what);
  }
  bool At(std::string_view t) const { return s_.substr(pos_, t.size()) == t; }
  void Expect(std::string_view t) {
    if (!At(t)) Fail("\"" + std::string(t) + "\" erwartet");
    pos_ += t.size();
  }
  void Blanks() {
    while (pos_ < s_.size() && std::strchr(" \t\r\n", s_[pos_]) && s_[pos_]) ++pos_;
  }
  void SkipPast(std::string_view end) {
    const size_t e = s_.find(end, pos_);
    if (e == std::string_view::npos) Fail("\"" + std::string(end) + "\" fehlt");
    pos_ = e + end.size();
  }
  void Misc() {
    while (true) {
      Blanks();
      if (At("<?"))
        SkipPast("?>");
      else if (At("<!--"))
        SkipPast("-->");
      else if (At("<!DOCTYPE"))
        SkipPast(">");
      else
        return;
    }
  }
  std::string Name() {
    const size_t b = pos_;
    while (pos_ < s_.size()) {
      const auto c = static_cast<unsigned char>(s_[pos_]);
      if (!(std::isalnum(c) || c == '_' || c == '-' || c == '.' || c == ':' || c >= 0x80)) break;
      ++pos_;
    }
    if (b == pos_) Fail("Name erwartet");
    return std::string(s_.substr(b, pos_ - b));
  }
  std::string Decode(std::string_view raw) {
    std::string out;
    for (size_t i = 0; i < raw.size(); ++i) {
      if (raw[i] == '<') Fail("\"<\" in einem Wert");
      if (raw[i] != '&') {
        out += raw[i];
        continue;
      }
      const size_t semi = raw.find(';', i);
      if (semi == std::string_view::npos || semi - i > 12) Fail("unvollständige Entität");
      const std::string_view e = raw.substr(i + 1, semi - i - 1);
      if (e == "amp")
        out += '&';
      else if (e == "lt")
        out += '<';
      else if (e == "gt")
        out += '>';
      else if (e == "quot")
        out += '"';
      else if (e == "apos")
        out += '\'';
      else if (e.size() > 1 && e[0] == '#') {
        const bool hex = e[1] == 'x' || e[1] == 'X';
        const std::string digits(e.substr(hex ? 2 : 1));
        unsigned long cp = 0;
        size_t used = 0;
        try {
          cp = std::stoul(digits, &used, hex ? 16 : 10);
        } catch (const std::exception&) {
          used = 0;
        }
        if (digits.empty() || used != digits.size() || cp == 0 || cp > 0x10FFFF ||
            (cp >= 0xD800 && cp <= 0xDFFF))
          Fail("ungültiger Zeichenverweis &" + std::string(e) + ";");
        std::u16string u;
        if (cp >= 0x10000) {
          u += static_cast<char16_t>(0xD800 + ((cp - 0x10000) >> 10));
          u += static_cast<char16_t>(0xDC00 + ((cp - 0x10000) & 0x3FF));
        } else {
          u += static_cast<char16_t>(cp);
        }
        out += platform::text::Utf16ToUtf8(u);
      } else {
        Fail("unbekannte Entität &" + std::string(e) + ";");
      }
      i = semi;
    }
    return out;
  }
  void Element(int depth) {
    if (depth > 64) Fail("Elemente zu tief verschachtelt");
    Expect("<");
    const std::string name = Name();
    std::string kennung;
    bool has_kennung = false;
    while (true) {
      const size_t before = pos_;
      Blanks();
      if (At("/>")) {
        pos_ += 2;
        Take(name, has_kennung, kennung);
        return;
      }
      if (At(">")) {
        ++pos_;
        break;
      }
      if (pos_ == before) Fail("Leerzeichen vor dem Attribut erwartet");
      const std::string attr = Name();
      Blanks();
      Expect("=");
      Blanks();
      if (pos_ >= s_.size() || (s_[pos_] != '"' && s_[pos_] != '\''))
        Fail("Wert in Anführungszeichen erwartet");
      const char quote = s_[pos_++];
      const size_t end = s_.find(quote, pos_);
      if (end == std::string_view::npos) Fail("Attributwert nicht beendet");
      std::string value = Decode(s_.substr(pos_, end - pos_));
      pos_ = end + 1;
      if (attr == "Kennung") {
        if (has_kennung) Fail("Attribut Kennung doppelt");
        has_kennung = true;
        kennung = std::move(value);
      }
    }
    Take(name, has_kennung, kennung);
    while (true) {
      if (pos_ >= s_.size()) Fail("Element <" + name + "> nicht geschlossen");
      if (At("</")) {
        pos_ += 2;
        if (Name() != name) Fail("schließendes Tag passt nicht zu <" + name + ">");
        Blanks();
        Expect(">");
        return;
      }
      if (At("<!--")) {
        SkipPast("-->");
      } else if (At("<![CDATA[")) {
        SkipPast("]]>");
      } else if (At("<")) {
        Element(depth + 1);
      } else {
        size_t e = s_.find('<', pos_);
        if (e == std::string_view::npos) e = s_.size();
        Decode(s_.substr(pos_, e - pos_));
        pos_ = e;
      }
    }
  }
  void Take(const std::string& element, bool has_kennung, const std::string& kennung) {
    if (element != "Objekt") return;
    if (!has_kennung) Fail("<Objekt> ohne Kennung");
    out_.push_back(kennung);
  }

  std::string_view s_;
  size_t pos_ = 0;
  std::vector<std::string> out_;
};

}  // namespace

std::vector<std::string> XmlObjectKennungen(std::string_view text) {
  if (!platform::text::IsValidUtf8(text)) throw std::runtime_error("kein gültiges UTF-8");
  return Reader(text).Kennungen();
}

}  // namespace vandrasim
