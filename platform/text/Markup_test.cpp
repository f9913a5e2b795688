#include "platform/text/Markup.h"

#include <gtest/gtest.h>

#include "platform/xml/Xml.h"

namespace platform::text {
namespace {

TEST(Markup, MarkupIsReferencedAndWhatXmlCannotHoldIsReplaced) {
  EXPECT_EQ(XmlEscape("a<b>&\"c'"), "a&lt;b&gt;&amp;&quot;c&apos;");
  EXPECT_EQ(XmlEscape("x\ty\nz\r"), "x&#9;y&#10;z&#13;");
  EXPECT_EQ(XmlEscape("Öl ß €"), "Öl ß €");
  EXPECT_EQ(XmlEscape("\x01"), "\xEF\xBF\xBD");
  EXPECT_EQ(XmlEscape("\x7F"), "\xEF\xBF\xBD");
  EXPECT_EQ(XmlEscape("\xC3"), "\xEF\xBF\xBD") << "a sequence cut short";
  EXPECT_EQ(XmlEscape("\xC0\xAF"), "\xEF\xBF\xBD\xEF\xBF\xBD") << "an overlong form";
  EXPECT_EQ(XmlEscape("\xED\xA0\x80"), "\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD") << "a surrogate";
  EXPECT_EQ(XmlEscape("\xEF\xBF\xBE"), "\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD") << "U+FFFE";
  EXPECT_EQ(XmlEscape("\xC2\x81"), "\xC2\x81") << "the code page's undefined byte 0x81";
  EXPECT_EQ(XmlEscape("\xF0\x9F\x8C\xB3"), "\xF0\x9F\x8C\xB3");
  EXPECT_EQ(XmlEscape(std::string("a\0b", 3)),
            "a\xEF\xBF\xBD"
            "b");
}

// What a parser reads back, as attribute and as element text: the text
// itself wherever XML can hold it.
class Reader : public xml::Visitor {
 public:
  void Start(int, const std::string&, const xml::Attributes& attributes) override {
    if (const std::string* v = xml::Find(attributes, "v")) attribute = *v;
  }
  void End(int, const std::string&, const std::string& text) override { content = text; }
  std::string attribute;
  std::string content;
};

TEST(Markup, AParserReadsTheSameTextBackInAttributesAndContent) {
  for (const std::string text :
       {"Moor am See", "a<b>&c", "\"'\"'", "  zwei  Blanks  ", "Zeile\nZeile\r\nTab\t!",
        "]]> und <![CDATA[", "Größe € \u0081 \U0001F333", "&amp; schon escaped", ""}) {
    const std::string escaped = XmlEscape(text);
    for (const char quote : {'"', '\''}) {
      const std::string doc =
          std::string("<r v=") + quote + escaped + quote + ">" + escaped + "</r>";
      Reader reader;
      xml::Walk(doc, "test.xml", reader);
      EXPECT_EQ(reader.attribute, text) << doc;
      EXPECT_EQ(reader.content, text) << doc;
    }
  }
}

}  // namespace
}  // namespace platform::text
