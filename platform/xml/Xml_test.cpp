// The XML reader on what a hand-made search for strings got wrong: markup
// inside comments and CDATA sections, attributes in another order, another
// encoding; and on what it must refuse: documents that are not well-formed
// and document type definitions, each with a German reason and its line.
#include "platform/xml/Xml.h"

#include <gtest/gtest.h>

#include <stdexcept>

namespace platform::xml {
namespace {

// Every element as "depth name attr=value ... |text|", in the order they end.
class Recorder : public Visitor {
 public:
  void Start(int depth, const std::string& name, const Attributes& attributes) override {
    std::string line = std::to_string(depth) + " " + name;
    for (const Attribute& a : attributes) line += " " + a.name + "=" + a.value;
    open.push_back(line);
  }
  void End(int, const std::string&, const std::string& text) override {
    lines.push_back(open.back() + " |" + text + "|");
    open.pop_back();
  }
  std::vector<std::string> open, lines;
};

std::vector<std::string> Walked(const std::string& xml) {
  Recorder recorder;
  Walk(xml, "daten.xml", recorder);
  return recorder.lines;
}

std::string Refusal(const std::string& xml) {
  try {
    Walked(xml);
  } catch (const XmlError& e) {
    return e.what();
  }
  return "(angenommen)";
}

TEST(XmlTest, MarkupInCommentsAndCdataIsText) {
  const std::string xml =
      "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
      "<!-- <Objekt Kennung=\"FALSCH\"> -->\n"
      "<Daten>\n"
      "  <Objekt KARTULID=\"7\" Kennung=\"DE-1 &amp; 'A'\">\n"
      "    <Feld Name=\"NAME\"><![CDATA[<Objekt Kennung=\"X\">]]> &lt;b&gt; Ä</Feld>\n"
      "    <Feld Name=\"LEER\"/>\n"
      "  </Objekt>\n"
      "</Daten>\n";
  EXPECT_EQ(Walked(xml), (std::vector<std::string>{
                             "2 Feld Name=NAME |<Objekt Kennung=\"X\"> <b> Ä|",
                             "2 Feld Name=LEER ||",
                             "1 Objekt KARTULID=7 Kennung=DE-1 & 'A' |\n    \n    \n  |",
                             "0 Daten |\n  \n|",
                         }));
}

TEST(XmlTest, LineEndsInCdataSectionsAreLineFeedsAsInText) {
  EXPECT_EQ(Walked("<D><F><![CDATA[a\r\nb\rc\n]]></F><G>a\r\nb\rc&#13;</G></D>"),
            (std::vector<std::string>{"1 F |a\nb\nc\n|", "1 G |a\nb\nc\r|", "0 D ||"}));
}

TEST(XmlTest, TextOfAnotherEncodingComesAsUtf8) {
  const std::string latin1 =
      "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?><D><F N=\"Gr\xFCn\">Stra\xDF"
      "e</F></D>";
  EXPECT_EQ(Walked(latin1), (std::vector<std::string>{"1 F N=Grün |Straße|", "0 D ||"}));
}

TEST(XmlTest, AttributesComeInTheDocumentsOrderWithEveryReferenceResolved) {
  EXPECT_EQ(
      Walked("<D z=\"1\" a=\"x &amp;#38; &#38; &amp; &lt;&#x26;&gt; &quot;&apos;\" m='&#228;'/>"),
      std::vector<std::string>{"0 D z=1 a=x &#38; & & <&> \"' m=\xC3\xA4 ||"});
}

// Records what a walk that wants elements down to depth 1 is told.
class Shallow : public Recorder {
 public:
  int Depth() const override { return 1; }
};

TEST(XmlTest, AWalkToADepthTellsNothingBelowItButChecksIt) {
  Shallow shallow;
  Walk("<D>a<O k=\"1\">b<F>c</F></O>d<O k=\"2\"/></D>", "daten.xml", shallow);
  EXPECT_EQ(shallow.lines, (std::vector<std::string>{"1 O k=1 ||", "1 O k=2 ||", "0 D |ad|"}));
  EXPECT_THROW(Walk("<D><O><F>c</G></O></D>", "daten.xml", shallow), XmlError);
}

// Stops at the second element it is told of.
class Halting : public Recorder {
 public:
  void Start(int depth, const std::string& name, const Attributes& attributes) override {
    if (++seen == 2) throw std::runtime_error("halt at " + name);
    Recorder::Start(depth, name, attributes);
  }
  int seen = 0;
};

TEST(XmlTest, WhatAVisitorThrowsArrivesAsItWasThrownAndEndsTheWalk) {
  Halting halting;
  try {
    Walk("<D><O/><P/><Q/></D>", "daten.xml", halting);
    FAIL();
  } catch (const std::runtime_error& e) {
    EXPECT_STREQ(e.what(), "halt at O");
  }
  EXPECT_TRUE(halting.lines.empty());
  EXPECT_EQ(halting.seen, 2);
}

TEST(XmlTest, FaultsAreToldInGermanWithTheirLine) {
  EXPECT_EQ(Refusal(""), "Die XML-Datei daten.xml ist leer.");
  EXPECT_EQ(
      Refusal("<D>\n<O>\n</D>"),
      "Die XML-Datei daten.xml hat ein Element, das nicht richtig geschlossen ist (Zeile 3).");
  EXPECT_NE(Refusal("<D>\n<O a=\"1\">").find("Zeile 2"), std::string::npos);
  EXPECT_EQ(Refusal("<D>&unbekannt;</D>"),
            "Die XML-Datei daten.xml enthält einen unbekannten Verweis (&...;) (Zeile 1).");
  EXPECT_EQ(Refusal("<D/><E/>"),
            "Die XML-Datei daten.xml hat Inhalt hinter dem Ende des Dokuments (Zeile 1).");
  // An overlong form inside a CDATA section, which libxml2's push parser
  // alone would let through.
  EXPECT_EQ(Refusal("<D>\n<![CDATA[a\xC1\xA2]]></D>"),
            "Die XML-Datei daten.xml enthält Zeichen, die nicht zu ihrer Kodierung passen "
            "(Zeile 2).");
}

TEST(XmlTest, DocumentTypeDefinitionsAreRefused) {
  const std::string bomb =
      "<?xml version=\"1.0\"?><!DOCTYPE d [<!ENTITY a \"aaaaaaaaaa\">"
      "<!ENTITY b \"&a;&a;&a;&a;&a;&a;&a;&a;&a;&a;\">]><d>&b;</d>";
  const std::string expected =
      "Die XML-Datei daten.xml enthält eine Dokumenttypdefinition; solche Dateien werden nicht "
      "gelesen.";
  EXPECT_EQ(Refusal(bomb), expected);
  try {
    WithoutRootChildren(bomb, "daten.xml",
                        [](const std::string&, const Attributes&) { return false; });
    ADD_FAILURE() << "a document type definition was taken";
  } catch (const XmlError& e) {
    EXPECT_EQ(e.what(), expected);
  }
}

TEST(XmlTest, ACopyLeavesOutTheChosenElementsAndKeepsTheRest) {
  const std::string xml =
      "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
      "<Daten Tabelle=\"linfos\">\n"
      "  <!-- Kommentar -->\n"
      "  <Objekt Kennung=\"A\"><Feld Name=\"N\">eins</Feld></Objekt>\n"
      "  <Objekt Kennung=\"B\"><Feld Name=\"N\">zwei &amp; drei</Feld></Objekt>\n"
      "  <Objekt Kennung=\"C\"/>\n"
      "</Daten>\n";
  const std::string copy =
      WithoutRootChildren(xml, "daten.xml", [](const std::string& name, const Attributes& a) {
        const std::string* k = Find(a, "Kennung");
        return name == "Objekt" && k && *k == "B";
      });
  EXPECT_EQ(Walked(copy), (std::vector<std::string>{
                              "2 Feld Name=N |eins|",
                              "1 Objekt Kennung=A ||",
                              "1 Objekt Kennung=C ||",
                              "0 Daten Tabelle=linfos |\n  \n  \n  \n|",
                          }));
  EXPECT_NE(copy.find("<!-- Kommentar -->"), std::string::npos);
  EXPECT_EQ(copy.find("zwei"), std::string::npos);
}

}  // namespace
}  // namespace platform::xml
