// The status map of projects made here: a project database in the host's
// schema and transaction tables written with the dBase codec. Each map is
// read back by an XML reader of its own (tests/scenarios/map_check.py, on
// Python's xml.etree), so a map that a browser could not read fails.
#include "tools/kartenbild/Kartenbild.h"

#include <gtest/gtest.h>
#include <sqlite3.h>
#include <stdlib.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "platform/dbase/DbfFile.h"

namespace kartenbild {
namespace {

namespace fs = std::filesystem;
namespace dbase = platform::dbase;

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

class MapTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string t = (fs::temp_directory_path() / "kartenbild-XXXXXX").string();
    ASSERT_NE(mkdtemp(t.data()), nullptr);
    root_ = t;
    dir_ = root_ + "/projekt/";
    fs::create_directories(dir_);
    std::ofstream(dir_ + "KTProjekt.ktp", std::ios::binary)
        << "[Projekt]\r\nName=Ruhrtal\r\nVerfahren=Verfahren\r\nDatenbank=KTProjekt.db\r\n";
    ASSERT_EQ(sqlite3_open((dir_ + "KTProjekt.db").c_str(), &db_), SQLITE_OK);
    Sql("CREATE TABLE KT_OBJEKTE (ID INTEGER PRIMARY KEY AUTOINCREMENT, KENNUNG TEXT NOT NULL "
        "UNIQUE, KLASSE INTEGER NOT NULL, TYP INTEGER NOT NULL, GEOMETRIE TEXT NOT NULL)");
  }
  void TearDown() override {
    sqlite3_close(db_);
    std::error_code ignored;
    fs::remove_all(root_, ignored);
  }

  void Sql(const std::string& sql) {
    char* error = nullptr;
    ASSERT_EQ(sqlite3_exec(db_, sql.c_str(), nullptr, nullptr, &error), SQLITE_OK)
        << (error ? error : "") << "\n"
        << sql;
  }
  // typ: 1 multipoint, 2 line, 3 area, 4 text, 5 decoline, 6 point.
  void Object(const std::string& kennung, int typ, const std::string& geometry) {
    sqlite3_stmt* s = nullptr;
    ASSERT_EQ(sqlite3_prepare_v2(db_,
                                 "INSERT INTO KT_OBJEKTE (KENNUNG, KLASSE, TYP, GEOMETRIE) "
                                 "VALUES (?1, 1001, ?2, ?3)",
                                 -1, &s, nullptr),
              SQLITE_OK);
    sqlite3_bind_text(s, 1, kennung.data(), static_cast<int>(kennung.size()), SQLITE_TRANSIENT);
    sqlite3_bind_int(s, 2, typ);
    sqlite3_bind_text(s, 3, geometry.data(), static_cast<int>(geometry.size()), SQLITE_TRANSIENT);
    EXPECT_EQ(sqlite3_step(s), SQLITE_DONE);
    sqlite3_finalize(s);
  }
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
    const std::string svg = root_ + "/karte.svg";
    MapSummary s = WriteMapFile(dir_, svg);
    if (summary) *summary = s;
    return ReadMap(svg);
  }

  std::string root_, dir_;
  sqlite3* db_ = nullptr;
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
  Object("KAPUTT", 3, "0 0,zehn 0");
  Object("ZU-KURZ", 2, "5 5");
  Object("FALSCHER-TYP", 9, "1 1");
  std::vector<ListEntry> list = {{4711, 1, "GUT", "IGNORED"}};
  for (int i = 0; i < 12; ++i) list.push_back({4711, 3, "WEG-" + std::to_string(i), "DELETE"});
  list.push_back({4711, 0, "VERSCHWUNDEN", "IGNORED"});
  List(list);
  Transactions({{4711, "Ruhraue"}, {4712, "Eifelwiesen"}});
  MapSummary summary;
  Facts f = Map(&summary);
  EXPECT_EQ(f.title, "Transaktionen 4711 - Ruhraue; 4712 - Eifelwiesen");
  EXPECT_EQ(f.objects.size(), 1u);
  EXPECT_EQ(summary.objects, 4u);
  EXPECT_EQ(summary.not_drawn, 3u);
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
  EXPECT_NE(f.notes[2].find("KAPUTT (KTProjekt.db, KT_OBJEKTE, ID 2, Feld GEOMETRIE: keine "
                            "Koordinatenliste)"),
            std::string::npos)
      << f.notes[2];
  EXPECT_NE(f.notes[2].find("ZU-KURZ (KTProjekt.db, KT_OBJEKTE, ID 3, Feld GEOMETRIE: 1 "
                            "Koordinatenpaare, eine Linie braucht 2)"),
            std::string::npos);
  EXPECT_NE(f.notes[2].find("FALSCHER-TYP (KTProjekt.db, KT_OBJEKTE, ID 4, Feld TYP"),
            std::string::npos);
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
  try {
    WriteMapFile(root_ + "/nichts", root_ + "/k.svg");
    FAIL() << "a folder without a project";
  } catch (const MapError& e) {
    EXPECT_NE(std::string(e.what()).find("KTProjekt.ktp fehlt"), std::string::npos) << e.what();
  }

  auto t = dbase::DbfFile::Create(dir_ + "TA_LIST.dbf", dbase::Flavor::kDBase3,
                                  {{"TID", 'N', 11, 0}, {"KENNUNG", 'C', 50, 0}});
  t.reset();
  try {
    WriteMapFile(dir_, root_ + "/k.svg");
    FAIL() << "a list without SCHREIBEND";
  } catch (const MapError& e) {
    EXPECT_EQ(std::string(e.what()),
              "Die Transaktionsliste " + dir_ + "TA_LIST.dbf hat kein Feld SCHREIBEND.");
  }

  std::ofstream(dir_ + "TA_LIST.dbf", std::ios::binary | std::ios::trunc) << "kein dBase";
  try {
    WriteMapFile(dir_, root_ + "/k.svg");
    FAIL() << "a damaged list";
  } catch (const MapError& e) {
    EXPECT_EQ(std::string(e.what()).rfind("Die Transaktionsliste " + dir_ +
                                              "TA_LIST.dbf kann "
                                              "nicht gelesen werden: ",
                                          0),
              0u)
        << e.what();
  }
  EXPECT_FALSE(fs::exists(root_ + "/k.svg"));
  EXPECT_FALSE(fs::exists(root_ + "/k.svg.tmp"));
}

TEST_F(MapTest, AFailedMapLeavesTheEarlierOneAsItWas) {
  Object("NSG-1", 3, "0 0,1 0,1 1");
  const std::string svg = root_ + "/karte.svg";
  WriteMapFile(dir_, svg);
  std::ifstream in(svg);
  const std::string before((std::istreambuf_iterator<char>(in)), {});
  std::ofstream(dir_ + "TA_LIST.dbf", std::ios::binary) << "kaputt";
  EXPECT_THROW(WriteMapFile(dir_, svg), MapError);
  std::ifstream again(svg);
  EXPECT_EQ(std::string((std::istreambuf_iterator<char>(again)), {}), before);
  EXPECT_FALSE(fs::exists(svg + ".tmp"));

  try {
    WriteMapFile(dir_, root_ + "/fehlt/karte.svg");
    FAIL() << "a folder that does not exist";
  } catch (const MapError& e) {
    EXPECT_NE(std::string(e.what()).find("der Ordner " + root_ + "/fehlt fehlt"), std::string::npos)
        << e.what();
  }
}

TEST(XmlEscapeTest, MarkupIsReferencedAndWhatXmlCannotHoldIsReplaced) {
  EXPECT_EQ(XmlEscape("a<b>&\"c'"), "a&lt;b&gt;&amp;&quot;c&apos;");
  EXPECT_EQ(XmlEscape("x\ty\nz\r"), "x&#9;y&#10;z&#13;");
  EXPECT_EQ(XmlEscape("Öl ß €"), "Öl ß €");
  EXPECT_EQ(XmlEscape("\x01"), "\xEF\xBF\xBD");
  EXPECT_EQ(XmlEscape("\xC3"), "\xEF\xBF\xBD") << "a sequence cut short";
  EXPECT_EQ(XmlEscape("\xC0\xAF"), "\xEF\xBF\xBD\xEF\xBF\xBD") << "an overlong form";
  EXPECT_EQ(XmlEscape("\xED\xA0\x80"), "\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD") << "a surrogate";
  EXPECT_EQ(XmlEscape("\xC2\x81"), "\xC2\x81") << "the code page's undefined byte 0x81";
  EXPECT_EQ(XmlEscape("\xF0\x9F\x8C\xB3"), "\xF0\x9F\x8C\xB3");
}

}  // namespace
}  // namespace kartenbild
