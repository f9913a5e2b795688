// The XML reader on what a hand-made search for strings got wrong: markup
// inside comments and CDATA sections, attributes in another order, another
// encoding; and on what it must refuse: documents that are not well-formed
// and document type definitions, each with a German reason and its line.
#include "platform/xml/Xml.h"

#include <gtest/gtest.h>

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

TEST(XmlTest, TextOfAnotherEncodingComesAsUtf8) {
  const std::string latin1 =
      "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?><D><F N=\"Gr\xFCn\">Stra\xDF" "e</F></D>";
  EXPECT_EQ(Walked(latin1), (std::vector<std::string>{"1 F N=Grün |Straße|", "0 D ||"}));
}

TEST(XmlTest, FaultsAreToldInGermanWithTheirLine) {
  EXPECT_EQ(Refusal(""), "Die XML-Datei daten.xml ist leer.");
  EXPECT_EQ(Refusal("<D>\n<O>\n</D>"),
            "Die XML-Datei daten.xml hat ein Element, das nicht richtig geschlossen ist (Zeile 3).");
  EXPECT_NE(Refusal("<D>\n<O a=\"1\">").find("Zeile 2"), std::string::npos);
  EXPECT_EQ(Refusal("<D>&unbekannt;</D>"),
            "Die XML-Datei daten.xml enthält einen unbekannten Verweis (&...;) (Zeile 1).");
  EXPECT_EQ(Refusal("<D/><E/>"),
            "Die XML-Datei daten.xml hat Inhalt hinter dem Ende des Dokuments (Zeile 1).");
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
    WithoutRootChildren(bomb, "daten.xml", [](const std::string&, const Attributes&) {
      return false;
    });
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
