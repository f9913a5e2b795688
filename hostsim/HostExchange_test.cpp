// Geodata and attribute files written by the host, read back by independent
// readers (shapelib's dbfdump and shpdump, Python's xml module) and by the
// host's own import.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "hostsim/HostModel.h"
#include "platform/text/Encoding.h"

namespace fs = std::filesystem;

namespace hostsim {
namespace {

std::string Shell(const std::string& command) {
  std::string out;
  FILE* p = popen(command.c_str(), "r");
  if (!p) return out;
  char buf[4096];
  size_t n;
  while ((n = fread(buf, 1, sizeof buf, p)) > 0) out.append(buf, n);
  int rc = pclose(p);
  if (rc != 0) out += "\n(exit " + std::to_string(rc) + ")";
  return out;
}

class ExchangeTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/hostsim-exchange-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    dir_ = pattern;
    host_.SetNoteSink([this](const std::string& n) { notes_.push_back(n); });
    Open("a");
  }
  void TearDown() override {
    host_.CloseProject();
    host_.SetNoteSink(nullptr);
    fs::remove_all(dir_);
  }
  void Open(const std::string& name) {
    host_.CloseProject();
    Host::CreateProject(dir_ + "/" + name);
    host_.OpenProject(dir_ + "/" + name);
  }
  // A project with an area, a line, a point and a multipoint, all selected
  // but the second area.
  void Fill() {
    int32_t moor = host_.CreateObject(1001, ktFlaeche, {{0, 0}, {100, 0}, {100, 50}, {0, 50}},
                                      "NSG-Großes Moor");
    host_.CreateObject(1009, ktFlaeche, {{0, 0}, {1, 0}, {1, 1}}, "BIO-1");
    int32_t weg = host_.CreateObject(1010, ktLinie, {{0, 0}, {5, 5}, {10, 0}}, "WEG-1");
    int32_t eiche = host_.CreateObject(1004, ktSinglePoint, {{2553000.5, 5712000.25}}, "ND-Eiche");
    int32_t pfl = host_.CreateObject(7660160, ktMultiPoint, {{1, 1}, {2, 2}}, "PFL-1");
    for (int32_t id : {moor, weg, eiche, pfl}) host_.Select(id);
    host_.Activate(moor);
    host_.EnterValue("linfos", "NAME", "Großes \"Moor\" <am> See & Bach");
    host_.EnterValue("linfos", "GESCHUETZT", "WAHR");
    host_.EnterValue("linfos", "BEMERKUNG", "Zeile 1\r\nZeile 2");
    host_.PostRow("linfos");
    host_.Activate(weg);
    host_.EnterValue("linfos", "GESCHUETZT", "FALSCH");
    host_.PostRow("linfos");
  }

  Host& host_ = TheHost();
  std::string dir_;
  std::vector<std::string> notes_;
};

TEST_F(ExchangeTest, ShapefilesOfTheSelectionReadByShapelibTools) {
  Fill();
  std::string base = dir_ + "/out/P1";
  fs::create_directories(dir_ + "/out");
  ASSERT_TRUE(host_.ExportGeodata(base + ".shp", false));
  for (const char* f : {"P1.shp", "P1.shx", "P1.dbf", "P1_lin.shp", "P1_pkt.dbf", "P1_mpt.shp"})
    EXPECT_TRUE(fs::exists(dir_ + "/out/" + f)) << f;
  std::string areas = Shell("dbfdump " + base + ".dbf");
  EXPECT_NE(areas.find("NSG-Gro\xDF"
                       "es Moor"),
            std::string::npos)
      << areas;  // ANSI in the file
  EXPECT_EQ(areas.find("BIO-1"), std::string::npos) << "not selected";
  std::string shapes = Shell("shpdump " + base + ".shp");
  EXPECT_NE(shapes.find("Shapefile Type: Polygon   # of Shapes: 1"), std::string::npos) << shapes;
  EXPECT_NE(shapes.find("nVertices=5"), std::string::npos) << shapes;  // ring closed
  std::string points = Shell("shpdump " + base + "_pkt.shp");
  EXPECT_NE(points.find("2553000.5"), std::string::npos) << points;
  EXPECT_NE(Shell("dbfdump " + base + "_lin.dbf").find("WEG-1"), std::string::npos);
  std::string mpt = Shell("shpdump " + base + "_mpt.shp");
  EXPECT_NE(mpt.find("MultiPoint"), std::string::npos) << mpt;
}

TEST_F(ExchangeTest, ALaterExportUnderTheSameNameLeavesNoLayerOfTheEarlierOne) {
  Fill();
  const std::string base = dir_ + "/P";
  ASSERT_TRUE(host_.ExportGeodata(base + ".shp", false));
  host_.DeselectAll();
  host_.Select(host_.IdOf("WEG-1"));
  ASSERT_TRUE(host_.ExportGeodata(base + ".shp", false));
  for (const char* gone : {"_pkt.shp", "_pkt.shx", "_pkt.dbf", "_mpt.shp", "_mpt.dbf"})
    EXPECT_FALSE(fs::exists(base + gone)) << gone;
  EXPECT_NE(Shell("dbfdump " + base + "_lin.dbf").find("WEG-1"), std::string::npos);
  EXPECT_NE(Shell("shpdump " + base + ".shp").find("# of Shapes: 0"), std::string::npos);
}

TEST_F(ExchangeTest, SelectionKeepsItsOrderAndHoldsEachObjectOnce) {
  Fill();
  const std::vector<int32_t> before = host_.Selection();
  for (int32_t id : before) host_.Select(id);
  EXPECT_EQ(host_.Selection(), before);
  host_.Deselect(before[1]);
  host_.Select(before[1]);
  EXPECT_EQ(host_.Selection(), (std::vector<int32_t>{before[0], before[2], before[3], before[1]}));
  host_.DeleteObject(before[0]);
  EXPECT_EQ(host_.Selection(), (std::vector<int32_t>{before[2], before[3], before[1]}));
}

TEST_F(ExchangeTest, ShapefileRoundTripCreatesTheObjectsWithoutHooks) {
  Fill();
  ASSERT_TRUE(host_.ExportGeodata(dir_ + "/P", true));
  Open("b");
  host_.ClearHookLog();
  ASSERT_TRUE(host_.ImportGeodata(dir_ + "/P", true));
  EXPECT_TRUE(host_.HookLog().empty());
  ASSERT_EQ(host_.ObjectIds().size(), 5u);
  const GeoObject* moor = host_.FindObject(host_.IdOf("NSG-Großes Moor"));
  ASSERT_NE(moor, nullptr);
  EXPECT_EQ(moor->typ, ktFlaeche);
  EXPECT_DOUBLE_EQ(host_.Area(moor->id), 5000);
  EXPECT_EQ(moor->geometry.size(), 4u);
  const GeoObject* eiche = host_.FindObject(host_.IdOf("ND-Eiche"));
  EXPECT_EQ(eiche->geometry, (std::vector<Point>{{2553000.5, 5712000.25}}));
  EXPECT_EQ(host_.FindObject(host_.IdOf("PFL-1"))->klasse, 7660160);
  EXPECT_EQ(host_.FindObject(host_.IdOf("WEG-1"))->typ, ktLinie);
  // Again without replacing: the objects stay, a note says so.
  notes_.clear();
  ASSERT_TRUE(host_.ImportGeodata(dir_ + "/P.shp", false));
  EXPECT_EQ(host_.ObjectIds().size(), 5u);
  EXPECT_FALSE(notes_.empty());
}

TEST_F(ExchangeTest, BrokenShapefilesAreRefusedWithoutChange) {
  Fill();
  ASSERT_TRUE(host_.ExportGeodata(dir_ + "/P", true));
  Open("b");
  EXPECT_FALSE(host_.ImportGeodata(dir_ + "/missing", true));
  // Truncate the .shp in the middle of its records.
  auto size = fs::file_size(dir_ + "/P.shp");
  fs::resize_file(dir_ + "/P.shp", size - 20);
  host_.ImportGeodata(dir_ + "/P", true);
  fs::remove(dir_ + "/P.dbf");
  EXPECT_FALSE(host_.ImportGeodata(dir_ + "/P", true));
  std::ofstream(dir_ + "/Q.shp") << "no shapefile at all";
  std::ofstream(dir_ + "/Q.dbf") << "nor a dbf";
  EXPECT_FALSE(host_.ImportGeodata(dir_ + "/Q", true));
  for (int32_t id : host_.ObjectIds()) EXPECT_FALSE(host_.FindObject(id)->kennung.empty());
}

TEST_F(ExchangeTest, XmlOfTheSelectionReadByPython) {
  Fill();
  std::string file = dir_ + "/P.xml";
  ASSERT_TRUE(host_.ExportXml(file, false, false, "Ja", "Nein"));
  std::string script =
      "import sys, xml.etree.ElementTree as E\n"
      "r = E.parse(sys.argv[1]).getroot()\n"
      "for o in r.findall('Objekt'):\n"
      "  fs = {f.get('Name'): f.text or '' for f in o.findall('Feld')}\n"
      "  print(o.get('Kennung'), o.get('Klasse'), repr(fs.get('NAME')), fs.get('GESCHUETZT'), "
      "repr(fs.get('BEMERKUNG')))\n";
  std::string py = dir_ + "/read.py";
  std::ofstream(py) << script;
  std::string out = Shell(std::string(VANDRA_PYTHON3) + " " + py + " " + file);
  EXPECT_EQ(out,
            "NSG-Großes Moor 1001 'Großes \"Moor\" <am> See & Bach' Ja 'Zeile 1\\r\\nZeile 2'\n"
            "WEG-1 1010 None Nein None\n"
            "ND-Eiche 1004 None None None\n"
            "PFL-1 7660160 None None None\n");
}

TEST_F(ExchangeTest, XmlRoundTripCreatesAndFillsObjects) {
  Fill();
  ASSERT_TRUE(host_.ExportXml(dir_ + "/P.xml", true, true, "T", "F"));
  ASSERT_TRUE(host_.ExportGeodata(dir_ + "/P", true));
  Open("b");
  ASSERT_TRUE(host_.ImportGeodata(dir_ + "/P", true));
  ASSERT_TRUE(host_.ImportXml(dir_ + "/P.xml", true));
  ASSERT_EQ(host_.ObjectIds().size(), 5u);
  host_.Activate(host_.IdOf("NSG-Großes Moor"));
  EXPECT_EQ(host_.Value("linfos", "NAME"), "Großes \"Moor\" <am> See & Bach");
  EXPECT_EQ(host_.Value("linfos", "GESCHUETZT"), "WAHR");
  EXPECT_EQ(host_.Value("linfos", "BEMERKUNG"), "Zeile 1\r\nZeile 2");
  host_.Activate(host_.IdOf("WEG-1"));
  EXPECT_EQ(host_.Value("linfos", "GESCHUETZT"), "FALSCH");
  // Attributes alone create an object without geometry under its identifier.
  Open("c");
  ASSERT_TRUE(host_.ImportXml(dir_ + "/P.xml", true));
  EXPECT_EQ(host_.ObjectIds().size(), 5u);
  EXPECT_TRUE(host_.FindObject(host_.IdOf("ND-Eiche"))->geometry.empty());
  Open("d");
  ASSERT_TRUE(host_.ImportXml(dir_ + "/P.xml", false));
  EXPECT_TRUE(host_.ObjectIds().empty());
}

TEST_F(ExchangeTest, BrokenXmlChangesNothing) {
  Fill();
  host_.Activate(host_.IdOf("WEG-1"));
  std::vector<std::string> bad = {
      "",
      "<KartulDaten Tabelle=\"linfos\">",
      "<KartulDaten Tabelle=\"linfos\"><Objekt Kennung=\"WEG-1\"><Feld "
      "Name=\"NAME\">x</Objekt></KartulDaten>",
      "<KartulDaten Tabelle=\"linfos\"><Objekt Kennung=\"WEG-1\"><Feld "
      "Name=\"NAME\">&bogus;</Feld></Objekt></KartulDaten>",
      "<Andere Tabelle=\"linfos\"/>",
      "<KartulDaten Tabelle=\"Fotos\"/>",
      "<KartulDaten Tabelle=\"linfos\"><Objekt Kennung=\"WEG-1\"><Feld "
      "Name=\"NAME\">&#0;</Feld></Objekt></KartulDaten>",
      // Entities of a document type definition are never expanded.
      "<!DOCTYPE KartulDaten [<!ENTITY e \"x\">]><KartulDaten Tabelle=\"linfos\"><Objekt "
      "Kennung=\"WEG-1\"><Feld Name=\"NAME\">&e;</Feld></Objekt></KartulDaten>",
  };
  for (const auto& text : bad) {
    std::ofstream(dir_ + "/bad.xml", std::ios::trunc) << text;
    EXPECT_FALSE(host_.ImportXml(dir_ + "/bad.xml", true)) << text;
  }
  EXPECT_EQ(host_.Value("linfos", "NAME"), std::nullopt);
  EXPECT_FALSE(host_.ImportXml(dir_ + "/none.xml", true));
  // Unknown fields and wrong values are skipped with a note, the rest taken.
  std::ofstream(dir_ + "/odd.xml", std::ios::trunc)
      << "<?xml version=\"1.0\"?><!-- c --><KartulDaten Tabelle='linfos' Wahr='J' Falsch='N'>"
         "<Objekt Kennung='WEG-1'><Feld Name='Nix'>1</Feld><Feld "
         "Name='GESCHUETZT'>vielleicht</Feld>"
         "<Feld Name='NAME'><![CDATA[a<b]]>&#228;</Feld></Objekt>"
         "<Objekt Kennung='NEU-1' Klasse='4711'/></KartulDaten>";
  notes_.clear();
  EXPECT_TRUE(host_.ImportXml(dir_ + "/odd.xml", true));
  host_.Activate(host_.IdOf("WEG-1"));
  EXPECT_EQ(host_.Value("linfos", "NAME"), "a<bä");
  EXPECT_EQ(host_.IdOf("NEU-1"), 0);
  EXPECT_GE(notes_.size(), 3u);
}

TEST_F(ExchangeTest, XmlOfAnotherLayoutIsReadAsTheSameData) {
  Fill();
  // Another writer's file: declared in ISO-8859-1, attributes in another
  // order, references for markup and letters, a CDATA section, comments that
  // hold markup of an object and a field.
  std::ofstream(dir_ + "/anders.xml", std::ios::trunc | std::ios::binary)
      << "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?>\n"
         "<!-- <Objekt Kennung=\"WEG-1\"><Feld Name=\"NAME\">falsch</Feld></Objekt> -->\n"
         "<KartulDaten Falsch=\"nein\" Wahr=\"ja\" Tabelle=\"linfos\">\n"
         "  <Objekt Typ=\"6\" Klasse=\"1004\" Kennung=\"ND-Gro\xDF\x65 Linde\">\n"
         "    <Feld Name=\"NAME\">Linde &amp; Eiche &#x3C;alt&#62; \xC4hre</Feld>\n"
         "    <Feld Name=\"BEMERKUNG\"><![CDATA[<Feld Name=\"NAME\">]]> bleibt</Feld>\n"
         "    <!-- <Feld Name=\"GESCHUETZT\">nein</Feld> -->\n"
         "    <Feld Name=\"GESCHUETZT\">ja</Feld>\n"
         "  </Objekt>\n"
         "</KartulDaten>\n";
  notes_.clear();
  ASSERT_TRUE(host_.ImportXml(dir_ + "/anders.xml", true));
  EXPECT_TRUE(notes_.empty()) << notes_.front();
  host_.Activate(host_.IdOf("WEG-1"));
  EXPECT_EQ(host_.Value("linfos", "NAME"), std::nullopt) << "a comment is no object";
  const int32_t linde = host_.IdOf("ND-Große Linde");
  ASSERT_GT(linde, 0);
  EXPECT_EQ(host_.FindObject(linde)->typ, ktSinglePoint);
  host_.Activate(linde);
  EXPECT_EQ(host_.Value("linfos", "NAME"), "Linde & Eiche <alt> Ähre");
  EXPECT_EQ(host_.Value("linfos", "BEMERKUNG"), "<Feld Name=\"NAME\"> bleibt");
  EXPECT_EQ(host_.Value("linfos", "GESCHUETZT"), "WAHR");
}

TEST_F(ExchangeTest, XmlObjectsUnderIdentifiersOutsideWindows1252AreNotCreated) {
  std::ofstream(dir_ + "/cjk.xml", std::ios::trunc)
      << "<KartulDaten Tabelle='linfos'><Objekt Kennung='ND-\xE4\xB8\xAD' Klasse='1004'/>"
         "<Objekt Kennung='ND-Linde' Klasse='1004'/></KartulDaten>";
  notes_.clear();
  EXPECT_TRUE(host_.ImportXml(dir_ + "/cjk.xml", true));
  EXPECT_EQ(host_.IdOf("ND-\u4E2D"), 0);
  EXPECT_GT(host_.IdOf("ND-Linde"), 0);
  ASSERT_EQ(notes_.size(), 1u);
  EXPECT_NE(notes_[0].find("without a usable identifier"), std::string::npos) << notes_[0];
}

}  // namespace
}  // namespace hostsim
