// The status map of projects made here: the host's exports of their objects
// written as a host writes them (shapefiles with shapelib, the attribute
// file as text) and transaction tables written with the dBase codec. Each
// map is read back by an XML reader of its own (tests/scenarios/map_check.py,
// on Python's xml.etree), so a map that a browser could not read fails.
#include "tools/kartenbild/Kartenbild.h"

#include <gtest/gtest.h>
#include <shapefil.h>
#include <stdlib.h>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "platform/dbase/DbfFile.h"
#include "platform/text/Encoding.h"
#include "platform/text/Markup.h"

namespace kartenbild {
namespace {

namespace fs = std::filesystem;
namespace dbase = platform::dbase;
using platform::text::XmlEscape;

// One object as map_check.py reads it from the drawing.
struct Drawn {
  std::string status, colour, shape, tooltip;
  bool marked = false;
  double x = 0, y = 0;
};

struct Facts {
  std::string title, heading, empty;
  double width = 0, height = 0;
  std::map<std::string, std::pair<std::string, std::string>> legend;  // key: fill, label
  std::map<std::string, Drawn> objects;
  std::vector<std::string> notes;
};

std::string Unescape(const std::string& s) {
  std::string out;
  for (size_t i = 0; i < s.size(); ++i) {
    if (s[i] == '\\' && i + 1 < s.size()) {
      char c = s[++i];
      out.push_back(c == 't' ? '\t' : c == 'n' ? '\n' : c);
    } else {
      out.push_back(s[i]);
    }
  }
  return out;
}

std::vector<std::string> SplitTabs(const std::string& line) {
  std::vector<std::string> parts;
  std::string part;
  std::istringstream in(line);
  while (std::getline(in, part, '\t')) parts.push_back(Unescape(part));
  if (!line.empty() && line.back() == '\t') parts.push_back("");
  return parts;
}

// Runs the XML reader on the map; fails the test when it cannot read it.
Facts ReadMap(const std::string& svg) {
  Facts f;
  const std::string cmd = std::string(VANDRA_PYTHON3) + " " + VANDRA_SOURCE_DIR +
                          "/tests/scenarios/map_check.py dump '" + svg + "' 2>&1";
  FILE* p = popen(cmd.c_str(), "r");
  EXPECT_NE(p, nullptr);
  if (!p) return f;
  std::string text;
  char buffer[4096];
  for (size_t n; (n = fread(buffer, 1, sizeof buffer, p)) > 0;) text.append(buffer, n);
  const int status = pclose(p);
  EXPECT_EQ(status, 0) << "the XML reader refused the map:\n" << text;
  std::istringstream lines(text);
  for (std::string line; std::getline(lines, line);) {
    auto w = SplitTabs(line);
    if (w.empty()) continue;
    if (w[0] == "size") {
      f.width = std::stod(w.at(1));
      f.height = std::stod(w.at(2));
    } else if (w[0] == "title") {
      f.title = w.at(1);
    } else if (w[0] == "heading") {
      f.heading = w.at(1);
    } else if (w[0] == "empty") {
      f.empty = w.at(1);
    } else if (w[0] == "legend") {
      f.legend[w.at(1)] = {w.at(2), w.at(3)};
    } else if (w[0] == "object") {
      Drawn d{w.at(2),           w.at(3), w.at(5), w.at(8), w.at(4) == "1", std::stod(w.at(6)),
              std::stod(w.at(7))};
      f.objects[w.at(1)] = d;
    } else if (w[0] == "note") {
      f.notes.push_back(w.at(1));
    }
  }
  return f;
}

const std::vector<dbase::FieldSpec> kListFields = {
    {"TID", 'N', 11, 0},        {"KARTULID", 'N', 11, 0}, {"VGNR", 'N', 11, 0},
    {"SCHREIBEND", 'N', 11, 0}, {"KENNUNG", 'C', 50, 0},  {"CHANGED", 'C', 15, 0},
    {"KENNUNGO", 'C', 50, 0}};

struct ListEntry {
  int tid;
  int schreibend;
  std::string kennung;
  std::string changed;
};

// An object of the host as its exports give it.
struct HostObject {
  std::string kennung;
  int typ = 0;  // the host's draw type, or 0 for a null shape
  std::vector<std::pair<double, double>> points;
  bool shaped = true;    // in the geodata export
  bool damaged = false;  // its record cannot be read
};

class MapTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string t = (fs::temp_directory_path() / "kartenbild-XXXXXX").string();
    ASSERT_NE(mkdtemp(t.data()), nullptr);
    root_ = t;
    dir_ = root_ + "/projekt/";
    fs::create_directories(dir_);
    fs::create_directories(root_ + "/export");
    std::ofstream(dir_ + "KTProjekt.ktp", std::ios::binary)
        << "[Projekt]\r\nName=Ruhrtal\r\nVerfahren=Verfahren\r\nDatenbank=KTProjekt.db\r\n";
  }
  void TearDown() override {
    std::error_code ignored;
    fs::remove_all(root_, ignored);
  }

  // typ: 1 multipoint, 2 line, 3 area, 4 text, 5 decoline, 6 point.
  void Object(const std::string& kennung, int typ, const std::string& geometry) {
    HostObject o{kennung, typ, {}};
    std::istringstream pairs(geometry);
    for (std::string pair; std::getline(pairs, pair, ',');) {
      std::istringstream xy(pair);
      double x = 0, y = 0;
      xy >> x >> y;
      o.points.emplace_back(x, y);
    }
    objects_.push_back(o);
  }
  // An area whose record in the geodata cannot be read.
  void Damaged(const std::string& kennung) {
    Object(kennung, 3, "0 0,1 0,1 1");
    objects_.back().damaged = true;
  }
  // A shape without vertices.
  void NullShape(const std::string& kennung) { objects_.push_back({kennung, 0, {}}); }
  // An object the attribute file lists and the geodata lacks.
  void WithoutGeometry(const std::string& kennung) { objects_.push_back({kennung, 3, {}, false}); }

  // The host's exports: the layers of the geodata (areas and null shapes
  // under the base name, always) and the attribute file of every object.
  void Export() {
    const std::string base = root_ + "/export/objekte";
    for (const char* ext : {".shp", ".shx", ".dbf", "_lin.shp", "_lin.shx", "_lin.dbf", "_pkt.shp",
                            "_pkt.shx", "_pkt.dbf", "_mpt.shp", "_mpt.shx", "_mpt.dbf", ".xml"})
      fs::remove(base + ext);
    struct LayerOf {
      const char* suffix;
      int type;
      std::vector<int> typs;
    };
    const LayerOf layers[] = {{"", SHPT_POLYGON, {0, 3}},
                              {"_lin", SHPT_ARC, {2, 5}},
                              {"_pkt", SHPT_POINT, {4, 6}},
                              {"_mpt", SHPT_MULTIPOINT, {1}}};
    for (const LayerOf& layer : layers) {
      std::vector<const HostObject*> in;
      for (const HostObject& o : objects_) {
        if (o.shaped && std::count(layer.typs.begin(), layer.typs.end(), o.typ)) in.push_back(&o);
      }
      if (in.empty() && *layer.suffix) continue;
      const std::string name = base + layer.suffix;
      SHPHandle shp = SHPCreate(name.c_str(), layer.type);
      DBFHandle dbf = DBFCreate(name.c_str());
      ASSERT_TRUE(shp && dbf);
      DBFAddField(dbf, "KENNUNG", FTString, 50, 0);
      DBFAddField(dbf, "KLASSE", FTInteger, 10, 0);
      DBFAddField(dbf, "TYP", FTInteger, 3, 0);
      DBFAddField(dbf, "KARTULID", FTInteger, 10, 0);
      std::vector<int> damaged;
      for (const HostObject* o : in) {
        std::vector<double> xs, ys;
        for (const auto& [x, y] : o->points) {
          xs.push_back(x);
          ys.push_back(y);
        }
        if (layer.type == SHPT_POLYGON && !xs.empty()) {
          xs.push_back(xs.front());
          ys.push_back(ys.front());
        }
        SHPObject* shape =
            SHPCreateSimpleObject(o->typ == 0 ? SHPT_NULL : layer.type, static_cast<int>(xs.size()),
                                  xs.data(), ys.data(), nullptr);
        const int record = SHPWriteObject(shp, -1, shape);
        SHPDestroyObject(shape);
        DBFWriteStringAttribute(dbf, record, 0, platform::text::Utf8ToAnsi(o->kennung).c_str());
        DBFWriteIntegerAttribute(dbf, record, 1, 1001);
        DBFWriteIntegerAttribute(dbf, record, 2, o->typ);
        DBFWriteIntegerAttribute(dbf, record, 3, record + 1);
        if (o->damaged) damaged.push_back(record);
      }
      SHPClose(shp);
      DBFClose(dbf);
      // The index sends a damaged record beyond the end of the shapes.
      for (const int record : damaged) {
        std::fstream shx(name + ".shx", std::ios::in | std::ios::out | std::ios::binary);
        shx.seekp(100 + 8 * record);
        shx.put('\x7f');
      }
    }
    std::ofstream xml(base + ".xml", std::ios::binary);
    xml << "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<KartulDaten Tabelle=\"linfos\" "
           "Wahr=\"T\" Falsch=\"F\">\n";
    int id = 0;
    for (const HostObject& o : objects_) {
      // The map's own escaping: what XML cannot hold becomes U+FFFD, and the
      // object so another one than the geodata's (which is drawn all the same).
      xml << "  <Objekt Kennung=\"" << XmlEscape(o.kennung) << "\" Klasse=\"1001\" Typ=\"" << o.typ
          << "\" KARTULID=\"" << ++id << "\">\n  </Objekt>\n";
    }
    xml << "</KartulDaten>\n";
  }
  std::string Base() const { return root_ + "/export/objekte"; }

  void List(const std::vector<ListEntry>& entries, const std::vector<uint32_t>& deleted = {}) {
    auto t = dbase::DbfFile::Create(dir_ + "TA_LIST.dbf", dbase::Flavor::kDBase3, kListFields);
    t->BeginWrite();
    for (const auto& e : entries) {
      uint32_t r = t->Append();
      t->Write(r, 0, dbase::Cell::Integer(e.tid));
      t->Write(r, 1, dbase::Cell::Integer(static_cast<int64_t>(r) + 1));
      t->Write(r, 2, dbase::Cell::Integer(-1));
      t->Write(r, 3, dbase::Cell::Integer(e.schreibend));
      t->Write(r, 4, dbase::Cell::Text(e.kennung));
      t->Write(r, 5, dbase::Cell::Text(e.changed));
      t->Write(r, 6, dbase::Cell::Text(e.kennung));
    }
    for (uint32_t r : deleted) t->Delete(r);
    t->Commit();
  }
  void Transactions(const std::vector<std::pair<int, std::string>>& rows) {
    auto t =
        dbase::DbfFile::Create(dir_ + "TA_ID.dbf", dbase::Flavor::kDBase3,
                               {{"TID", 'N', 11, 0}, {"NAME", 'C', 75, 0}, {"OWNER", 'C', 75, 0}});
    t->BeginWrite();
    for (const auto& [tid, name] : rows) {
      uint32_t r = t->Append();
      t->Write(r, 0, dbase::Cell::Integer(tid));
      t->Write(r, 1, dbase::Cell::Text(name));
      t->Write(r, 2, dbase::Cell::Text("Frau Kern"));
    }
    t->Commit();
  }
  Facts Map(MapSummary* summary = nullptr) {
    Export();
    const std::string svg = root_ + "/karte.svg";
    MapSummary s = WriteMapFile(dir_, Base(), svg);
    if (summary) *summary = s;
    return ReadMap(svg);
  }

  std::string root_, dir_;
  std::vector<HostObject> objects_;
};

std::string Colour(Status s) {
  return std::string(StatusColour(s));
}

TEST_F(MapTest, EachStatusIsDrawnInItsLegendColourAndChangeMarksAreOutlined) {
  Object("NSG-0815", 3, "0 0,100 0,100 100");               // lesend
  Object("DE-4509-301", 3, "200 0,300 0,300 100,200 100");  // schreibend, changed
  Object("DE-4509-302", 2, "0 200,100 300");                // schreibend, unchanged line
  Object("DE-4509-311", 3, "400 0,500 0,500 100");          // neu
  Object("ND-0042", 6, "50 400");                           // gelöscht, yet still in the host
  Object("PFL-Wiese", 6, "150 400");                        // in no transaction
  Object("X-9", 1, "250 400,260 410");                      // a status code no one knows
  Object("WEG-1", 5, "300 300,400 350");                    // new line
  List({{4711, 0, "NSG-0815", "IGNORED"},
        {4711, 1, "DE-4509-301", "UPDATE"},
        {4711, 1, "DE-4509-302", "IGNORED"},
        {4711, 2, "DE-4509-311", "NEW"},
        {4712, 3, "ND-0042", "DELETE"},
        {4711, 7, "X-9", "IGNORED"},
        {4711, 2, "WEG-1", "NEW"}});
  Transactions({{4711, "Ruhraue bei Hattingen"}});

  MapSummary summary;
  Facts f = Map(&summary);
  ASSERT_EQ(f.objects.size(), 8u);
  struct Want {
    const char* kennung;
    Status status;
    bool marked;
    const char* shape;
  };
  const Want wants[] = {{"NSG-0815", Status::kLesend, false, "polygon"},
                        {"DE-4509-301", Status::kSchreibend, true, "polygon"},
                        {"DE-4509-302", Status::kSchreibend, false, "polyline"},
                        {"DE-4509-311", Status::kNeu, true, "polygon"},
                        {"ND-0042", Status::kGeloescht, true, "circle"},
                        {"PFL-Wiese", Status::kOhne, false, "circle"},
                        {"X-9", Status::kUnbekannt, false, "circle"},
                        {"WEG-1", Status::kNeu, true, "polyline"}};
  for (const Want& w : wants) {
    SCOPED_TRACE(w.kennung);
    const Drawn& d = f.objects.at(w.kennung);
    EXPECT_EQ(d.status, StatusWord(w.status));
    EXPECT_EQ(d.colour, Colour(w.status));
    EXPECT_EQ(d.colour, f.legend.at(d.status).first) << "the legend shows another colour";
    EXPECT_EQ(d.marked, w.marked);
    EXPECT_EQ(d.shape, w.shape);
  }
  // Every status has a colour of its own.
  std::set<std::string> colours;
  for (size_t i = 0; i < kStatusCount; ++i) colours.insert(Colour(static_cast<Status>(i)));
  EXPECT_EQ(colours.size(), kStatusCount);

  EXPECT_EQ(f.title, "Transaktion 4711 - Ruhraue bei Hattingen");
  EXPECT_EQ(f.heading, f.title);
  EXPECT_EQ(f.legend.at("schreibend").second, "schreibend (2)");
  EXPECT_EQ(f.legend.at("neu").second, "neu (2)");
  EXPECT_EQ(f.legend.at("ohne Transaktion").second, "ohne Transaktion (1)");
  EXPECT_EQ(f.legend.at("aenderungsmarke").second, "mit Änderungsmarke (4)");
  EXPECT_EQ(f.objects.at("DE-4509-301").tooltip,
            "DE-4509-301\nschreibend, Änderungsmarke UPDATE, Transaktion 4711");
  EXPECT_EQ(f.objects.at("PFL-Wiese").tooltip, "PFL-Wiese\nohne Transaktion");
  EXPECT_EQ(summary.drawn, 8u);
  EXPECT_EQ(summary.marked, 4u);
  EXPECT_EQ(summary.by_status[static_cast<size_t>(Status::kUnbekannt)], 1u);
}

TEST_F(MapTest, TheMapIsScaledToThePageWithNorthUp) {
  Object("SUED-WEST", 6, "2575000 5695000");
  Object("NORD-OST", 6, "2576000 5697000");
  Object("MITTE", 3, "2575400 5695900,2575600 5695900,2575600 5696100");
  Facts f = Map();
  const Drawn& sw = f.objects.at("SUED-WEST");
  const Drawn& ne = f.objects.at("NORD-OST");
  EXPECT_LT(sw.x, ne.x) << "east is to the right";
  EXPECT_GT(sw.y, ne.y) << "north is up";
  // The longer side (2 km north-south) spans the drawing's 900 pixels.
  EXPECT_NEAR(sw.y - ne.y, 900, 0.2);
  EXPECT_NEAR(ne.x - sw.x, 450, 0.2);
  for (const auto& [k, d] : f.objects) {
    EXPECT_GT(d.x, 0) << k;
    EXPECT_LT(d.x, f.width) << k;
    EXPECT_GT(d.y, 0) << k;
    EXPECT_LT(d.y, f.height) << k;
  }
}

TEST_F(MapTest, OddIdentifiersAndNamesAreEscaped) {
  const std::string odd[] = {"A&B<\"x\">",  "O'Brien", "Tab\there",
                             "Zeile\nzwei", "]]>--",   "Ähre-Öl-ß"};
  int i = 0;
  for (const auto& k : odd) Object(k, 6, std::to_string(i++ * 10) + " 0");
  Object(std::string("Steuer\x01zeichen"), 6, "100 0");
  // The list holds its identifiers in the Windows code page; they meet the
  // host's as the same text.
  List({{1, 1, "A&B<\"x\">", "UPDATE"}, {1, 0, "O'Brien", "IGNORED"}, {1, 2, "Ähre-Öl-ß", "NEW"}});
  Transactions({{1, "Wiese & Weg <Süd> \"alt\""}});
  Facts f = Map();
  for (const auto& k : odd) {
    ASSERT_TRUE(f.objects.count(k)) << k;
    EXPECT_EQ(f.objects.at(k).tooltip.substr(0, k.size()), k);
  }
  EXPECT_TRUE(f.objects.count("Steuer\xEF\xBF\xBDzeichen"))
      << "a control character XML cannot hold";
  EXPECT_EQ(f.objects.at("A&B<\"x\">").status, "schreibend");
  EXPECT_TRUE(f.objects.at("A&B<\"x\">").marked);
  EXPECT_EQ(f.objects.at("O'Brien").status, "lesend");
  EXPECT_EQ(f.objects.at("Ähre-Öl-ß").status, "neu");
  EXPECT_EQ(f.title, "Transaktion 1 - Wiese & Weg <Süd> \"alt\"");
}

TEST_F(MapTest, AProjectWithoutObjectsOrTransactionTablesStillGivesAMapSayingSo) {
  MapSummary summary;
  Facts f = Map(&summary);
  EXPECT_EQ(f.title, "Keine Transaktionsdaten");
  EXPECT_EQ(f.empty, "Das Projekt enthält keine Objekte.");
  ASSERT_EQ(f.notes.size(), 1u);
  EXPECT_NE(f.notes[0].find("TA_LIST.dbf fehlt"), std::string::npos);
  EXPECT_TRUE(f.objects.empty());
  EXPECT_EQ(f.legend.size(), 6u) << "five statuses and the change mark";
  EXPECT_FALSE(summary.has_transaction_list);

  // Objects, but no tables: all of them outside any transaction.
  Object("NSG-1", 3, "0 0,1 0,1 1");
  f = Map();
  EXPECT_EQ(f.objects.at("NSG-1").status, "ohne Transaktion");
  EXPECT_TRUE(f.empty.empty());

  // The list, but no TA_ID: the names are unknown and the map says so.
  List({{4711, 1, "NSG-1", "IGNORED"}});
  f = Map();
  EXPECT_EQ(f.title, "Transaktion unbekannt");
  ASSERT_EQ(f.notes.size(), 1u);
  EXPECT_NE(f.notes[0].find("TA_ID.dbf fehlt"), std::string::npos);
  EXPECT_EQ(f.objects.at("NSG-1").status, "schreibend");
}

TEST_F(MapTest, RowsWithoutObjectsAndUndrawableObjectsAreNamedInNotes) {
  Object("GUT", 3, "0 0,10 0,10 10");
  Damaged("KAPUTT");
  Object("ZU-KURZ", 2, "5 5");
  NullShape("LEER");
  WithoutGeometry("OHNE");
  std::vector<ListEntry> list = {{4711, 1, "GUT", "IGNORED"}};
  for (int i = 0; i < 12; ++i) list.push_back({4711, 3, "WEG-" + std::to_string(i), "DELETE"});
  list.push_back({4711, 0, "VERSCHWUNDEN", "IGNORED"});
  List(list);
  Transactions({{4711, "Ruhraue"}, {4712, "Eifelwiesen"}});
  MapSummary summary;
  Facts f = Map(&summary);
  EXPECT_EQ(f.title, "Transaktionen 4711 - Ruhraue; 4712 - Eifelwiesen");
  EXPECT_EQ(f.objects.size(), 1u);
  EXPECT_EQ(summary.objects, 5u);
  EXPECT_EQ(summary.not_drawn, 4u);
  EXPECT_EQ(summary.listed_absent, 13u);
  ASSERT_EQ(f.notes.size(), 3u);
  EXPECT_EQ(f.notes[0],
            "Gelöscht, im Projekt nicht mehr vorhanden (12): WEG-0, WEG-1, WEG-10, WEG-11, WEG-2, "
            "WEG-3, WEG-4, WEG-5, WEG-6, WEG-7 und 2 weitere");
  EXPECT_EQ(f.notes[1],
            "In der Transaktionsliste, aber nicht im Projekt (1): VERSCHWUNDEN (lesend)");
  // A long note runs over lines of its own, not off the page.
  std::ifstream in(root_ + "/karte.svg");
  const std::string svg((std::istreambuf_iterator<char>(in)), {});
  size_t lines = 0;
  for (size_t at = svg.find("<tspan"); at != std::string::npos; at = svg.find("<tspan", at + 1))
    ++lines;
  EXPECT_GT(lines, f.notes.size()) << "no note runs over more than one line";
  // Each named by the file of the host's export and the record (a shape
  // counted from 1), or as missing from the geodata.
  EXPECT_NE(f.notes[2].find("KAPUTT (objekte.shp, Form 2: nicht lesbar)"), std::string::npos)
      << f.notes[2];
  EXPECT_NE(f.notes[2].find("ZU-KURZ (objekte_lin.shp, Form 1: 1 Koordinatenpaare, eine Linie "
                            "braucht 2)"),
            std::string::npos);
  EXPECT_NE(f.notes[2].find("LEER (objekte.shp, Form 3: keine Geometrie)"), std::string::npos);
  EXPECT_NE(f.notes[2].find("OHNE (ohne Geometrie)"), std::string::npos);
}

TEST_F(MapTest, AnUndrawableObjectOfTheListIsNoRowWithoutObject) {
  // The object is there; only its geometry cannot be drawn.
  Damaged("KAPUTT");
  WithoutGeometry("OHNE");
  List({{4711, 1, "KAPUTT", "UPDATE"}, {4711, 0, "OHNE", "IGNORED"}});
  MapSummary summary;
  Facts f = Map(&summary);
  EXPECT_EQ(summary.not_drawn, 2u);
  EXPECT_EQ(summary.listed_absent, 0u);
  ASSERT_EQ(f.notes.size(), 2u) << "TA_ID.dbf is missing, and the undrawn objects";
  EXPECT_EQ(f.notes[1].rfind("Nicht gezeichnet, ohne zeichenbare Geometrie (2): ", 0), 0u)
      << f.notes[1];
}

TEST_F(MapTest, CoordinatesThatAreNoNumbersAreNotDrawnAndMoveNothing) {
  Object("GUT", 6, "100 100");
  Object("WEIT", 6, "200 300");
  objects_.push_back({"NAN", 6, {{std::nan(""), 5}}});
  objects_.push_back({"INF", 2, {{0, 0}, {HUGE_VAL, 1}}});
  MapSummary summary;
  Facts f = Map(&summary);
  EXPECT_EQ(summary.drawn, 2u);
  EXPECT_EQ(summary.not_drawn, 2u);
  ASSERT_EQ(f.notes.size(), 2u) << "TA_LIST.dbf is missing, and the undrawn objects";
  EXPECT_NE(f.notes[1].find("NAN (objekte_pkt.shp, Form 3: Koordinaten, die keine Zahlen sind)"),
            std::string::npos)
      << f.notes[1];
  EXPECT_NE(f.notes[1].find("INF (objekte_lin.shp, Form 1:"), std::string::npos) << f.notes[1];
  // The two points span the drawing as they would alone.
  EXPECT_NEAR(f.objects.at("GUT").y - f.objects.at("WEIT").y, 900, 0.2);
}

TEST_F(MapTest, AnObjectOfSeveralPartsIsDrawnPartByPart) {
  Object("WEG-1", 2, "0 0,10 0");
  Export();
  // Rewritten by hand: a line of two parts, as a host may write one.
  const std::string base = Base() + "_lin";
  SHPHandle shp = SHPCreate(base.c_str(), SHPT_ARC);
  double x[] = {0, 10, 20, 30}, y[] = {0, 0, 10, 10};
  int starts[] = {0, 2};
  SHPObject* two = SHPCreateObject(SHPT_ARC, -1, 2, starts, nullptr, 4, x, y, nullptr, nullptr);
  SHPWriteObject(shp, -1, two);
  SHPDestroyObject(two);
  SHPClose(shp);
  const std::string svg = root_ + "/karte.svg";
  WriteMapFile(dir_, Base(), svg);
  EXPECT_EQ(ReadMap(svg).objects.at("WEG-1").shape, "polyline");
  std::ifstream in(svg);
  const std::string text((std::istreambuf_iterator<char>(in)), {});
  size_t lines = 0;
  for (size_t at = text.find("<polyline class=\"form\""); at != std::string::npos;
       at = text.find("<polyline class=\"form\"", at + 1))
    ++lines;
  EXPECT_EQ(lines, 2u);
}

TEST_F(MapTest, TheFirstLiveRowOfAnIdentifierGivesItsStatus) {
  Object("DOPPELT", 3, "0 0,10 0,10 10");
  Object("ENTFERNT", 3, "20 0,30 0,30 10");
  // The deleted record of ENTFERNT is no row; of DOPPELT's two rows the
  // first counts, as the status display finds it.
  List({{1, 2, "ENTFERNT", "NEW"}, {1, 0, "DOPPELT", "IGNORED"}, {1, 1, "DOPPELT", "UPDATE"}}, {0});
  Facts f = Map();
  EXPECT_EQ(f.objects.at("DOPPELT").status, "lesend");
  EXPECT_FALSE(f.objects.at("DOPPELT").marked);
  EXPECT_EQ(f.objects.at("ENTFERNT").status, "ohne Transaktion");
}

TEST_F(MapTest, WhatCannotBeReadIsToldByFileAndField) {
  Export();
  try {
    WriteMapFile(root_ + "/nichts", Base(), root_ + "/k.svg");
    FAIL() << "a folder without a project";
  } catch (const MapError& e) {
    EXPECT_NE(std::string(e.what()).find("KTProjekt.ktp fehlt"), std::string::npos) << e.what();
  }

  auto t = dbase::DbfFile::Create(dir_ + "TA_LIST.dbf", dbase::Flavor::kDBase3,
                                  {{"TID", 'N', 11, 0}, {"KENNUNG", 'C', 50, 0}});
  t.reset();
  try {
    WriteMapFile(dir_, Base(), root_ + "/k.svg");
    FAIL() << "a list without SCHREIBEND";
  } catch (const MapError& e) {
    EXPECT_EQ(std::string(e.what()),
              "Die Transaktionsliste " + dir_ + "TA_LIST.dbf hat kein Feld SCHREIBEND.");
  }

  std::ofstream(dir_ + "TA_LIST.dbf", std::ios::binary | std::ios::trunc) << "kein dBase";
  try {
    WriteMapFile(dir_, Base(), root_ + "/k.svg");
    FAIL() << "a damaged list";
  } catch (const MapError& e) {
    EXPECT_EQ(std::string(e.what()).rfind("Die Transaktionsliste " + dir_ +
                                              "TA_LIST.dbf kann "
                                              "nicht gelesen werden: ",
                                          0),
              0u)
        << e.what();
  }
  fs::remove(dir_ + "TA_LIST.dbf");

  // The host's exports: missing, not well-formed, without the identifier.
  auto refusal = [&] {
    try {
      WriteMapFile(dir_, Base(), root_ + "/k.svg");
    } catch (const MapError& e) {
      return std::string(e.what());
    }
    return std::string("(gezeichnet)");
  };
  fs::remove(Base() + ".xml");
  EXPECT_EQ(refusal(), "Die Attributdatei " + Base() + ".xml fehlt.");
  std::ofstream(Base() + ".xml", std::ios::binary) << "<KartulDaten>\n<Objekt Kennung=\"A\">";
  EXPECT_EQ(refusal().rfind("Die XML-Datei " + Base() + ".xml ", 0), 0u) << refusal();
  std::ofstream(Base() + ".xml", std::ios::binary | std::ios::trunc)
      << "<KartulDaten><Objekt Klasse=\"1\"/></KartulDaten>";
  EXPECT_EQ(refusal(), "Das Objekt 1 der Attributdatei " + Base() + ".xml hat keine Kennung.");
  Export();
  fs::remove(Base() + ".shp");
  EXPECT_EQ(refusal(), "Die Geodaten " + Base() + ".shp fehlen.");
  Export();
  fs::remove(Base() + ".dbf");
  EXPECT_EQ(refusal(), "Die Datei " + Base() + ".dbf der Geodaten fehlt.");
  EXPECT_FALSE(fs::exists(root_ + "/k.svg"));
  EXPECT_FALSE(fs::exists(root_ + "/k.svg.tmp"));
}

TEST_F(MapTest, AFailedMapLeavesTheEarlierOneAsItWas) {
  Object("NSG-1", 3, "0 0,1 0,1 1");
  Export();
  const std::string svg = root_ + "/karte.svg";
  WriteMapFile(dir_, Base(), svg);
  std::ifstream in(svg);
  const std::string before((std::istreambuf_iterator<char>(in)), {});
  std::ofstream(dir_ + "TA_LIST.dbf", std::ios::binary) << "kaputt";
  EXPECT_THROW(WriteMapFile(dir_, Base(), svg), MapError);
  std::ifstream again(svg);
  EXPECT_EQ(std::string((std::istreambuf_iterator<char>(again)), {}), before);
  EXPECT_FALSE(fs::exists(svg + ".tmp"));

  try {
    WriteMapFile(dir_, Base(), root_ + "/fehlt/karte.svg");
    FAIL() << "a folder that does not exist";
  } catch (const MapError& e) {
    EXPECT_NE(std::string(e.what()).find("der Ordner " + root_ + "/fehlt fehlt"), std::string::npos)
        << e.what();
  }
}

}  // namespace
}  // namespace kartenbild
