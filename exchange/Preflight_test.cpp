// The preflight's checks on inputs made by hand, and the readers of the
// host's files that the fingerprints are taken from.
#include "exchange/Preflight.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "dialogs/FormVorpruefung.h"
#include "exchange/HostSnapshot.h"

namespace {

using Preflight::Art;
using Preflight::Finding;
using Preflight::Inputs;

constexpr int32_t kTid = 4711;
constexpr int32_t kFFH = 2, kNSG = 1, kND = 4;

HostSnapshot::HostObject Object(int32_t id, std::string K, int32_t klasse,
                                std::string geometry = "g", std::string attributes = "a") {
  HostSnapshot::HostObject o;
  o.id = id;
  o.Kennung = std::move(K);
  o.Klasse = klasse;
  o.geometry = std::move(geometry);
  o.attributes = std::move(attributes);
  return o;
}

Preflight::ListRow Row(int32_t tid, std::string K, int32_t status, std::string changed) {
  return {tid, K, K, status, std::move(changed)};
}

// A clean checkout: two objects listed and fingerprinted as they are, a
// local photo with its picture and its link, a free identifier.
Inputs Clean() {
  Inputs in;
  in.TID = kTid;
  in.snapshot_taken = true;
  in.objects = {Object(1, "DE-4509-301", kFFH), Object(2, "NSG-0815", kNSG)};
  in.class_names = {{kFFH, "FFH"}, {kNSG, "NSG"}, {kND, "ND"}};
  in.list = {Row(kTid, "DE-4509-301", 1, "IGNORED"), Row(kTid, "NSG-0815", 0, "IGNORED")};
  in.pool = {{kTid, "DE-4509-310"}};
  in.fotos = {{-1, "Tümpel", "KTFoto1.jpg", 3}};
  in.links = {{1, -1}};
  in.pictures = {"ktfoto1.jpg"};
  in.fingerprints_read = true;
  in.stored = {{"DE-4509-301", {kTid, "g", "a"}}, {"NSG-0815", {kTid, "g", "a"}}};
  in.fits = [](int32_t klasse, const std::string& K) {
    return klasse == kFFH && K.rfind("DE-", 0) == 0;
  };
  return in;
}

std::vector<Finding> Of(const std::vector<Finding>& all, Art art) {
  std::vector<Finding> out;
  std::copy_if(all.begin(), all.end(), std::back_inserter(out),
               [art](const Finding& f) { return f.art == art; });
  return out;
}

TEST(PreflightCheck, ACleanCheckoutHasNoFindings) {
  EXPECT_TRUE(Preflight::Check(Clean()).empty());
}

TEST(PreflightCheck, MissingPictureOfALocalPhotoNamesFileAndObjects) {
  Inputs in = Clean();
  in.pictures.clear();
  in.fotos.push_back({501, "Aus VANDRA", "KTFOTO9.JPG", 2});  // not local: not looked for
  in.links.push_back({2, 501});
  const auto found = Of(Preflight::Check(in), Art::kFotodateiFehlt);
  ASSERT_EQ(found.size(), 1u);
  EXPECT_EQ(found[0].text,
            "Foto -1 \"Tümpel\": die Datei \"KTFoto1.jpg\" fehlt im Ordner KTPhotos (verknüpft "
            "mit DE-4509-301)");
  EXPECT_EQ(found[0].objects, std::vector<int32_t>{1});
}

TEST(PreflightCheck, PictureFoundWithoutRegardToCase) {
  Inputs in = Clean();
  in.pictures = {"ktfoto1.jpg"};
  in.fotos[0].PicFileName = "KTFOTO1.JPG";
  EXPECT_TRUE(Of(Preflight::Check(in), Art::kFotodateiFehlt).empty());
}

TEST(PreflightCheck, OddPictureNamesAreNeverLookedForOutsideTheFolder) {
  Inputs in = Clean();
  // The folder holds a file of the same last name; a path must not reach it.
  in.fotos = {{-1, "a", "../ktfoto1.jpg", 3}, {-2, "b", "", 3}, {-3, "c", "sub\\ktfoto1.jpg", 3}};
  in.links = {{1, -1}, {1, -2}, {1, -3}};
  const auto found = Of(Preflight::Check(in), Art::kFotodateiFehlt);
  ASSERT_EQ(found.size(), 3u);
  EXPECT_EQ(found[1].text,
            "Foto -2 \"b\": der Fotokatalog nennt keine Datei (verknüpft mit "
            "DE-4509-301)");
}

TEST(PreflightCheck, CatalogueRowsWithoutLinksAndLinksWithoutRows) {
  Inputs in = Clean();
  in.fotos.push_back({502, "Allein", "KTFOTO2.JPG", 2});
  in.links.push_back({2, 777});
  in.links.push_back({99, 778});  // the object is gone as well
  in.links.push_back({2, 0});     // a link row still being filled
  const auto all = Preflight::Check(in);
  const auto unlinked = Of(all, Art::kFotoOhneVerknuepfung);
  ASSERT_EQ(unlinked.size(), 1u);
  EXPECT_EQ(unlinked[0].text,
            "Foto 502 \"Allein\" (\"KTFOTO2.JPG\") ist mit keinem Objekt verknüpft");
  EXPECT_TRUE(unlinked[0].objects.empty());
  const auto dangling = Of(all, Art::kVerknuepfungOhneFoto);
  ASSERT_EQ(dangling.size(), 2u);
  EXPECT_EQ(dangling[0].text, "NSG-0815: verknüpft mit Foto 777, das im Fotokatalog fehlt");
  EXPECT_EQ(dangling[0].objects, std::vector<int32_t>{2});
  EXPECT_EQ(dangling[1].text, "Objekt #99: verknüpft mit Foto 778, das im Fotokatalog fehlt");
  EXPECT_TRUE(dangling[1].objects.empty());
}

TEST(PreflightCheck, RowsWhoseObjectsAreGoneExceptDeletedOnes) {
  Inputs in = Clean();
  in.objects.pop_back();  // NSG-0815 gone without the plug-in's knowledge
  in.list.push_back(Row(kTid, "DE-4509-302", 3, "DELETE"));  // deleted as it should be
  in.list.push_back(Row(4712, "ND-0042", 1, "IGNORED"));     // another transaction
  const auto found = Of(Preflight::Check(in), Art::kObjektFehlt);
  ASSERT_EQ(found.size(), 1u);
  EXPECT_EQ(found[0].text,
            "NSG-0815 (lesend): in der Transaktionsliste, aber nicht mehr im Projekt");
}

TEST(PreflightCheck, ObjectsOfANeedyClassListedNowhere) {
  Inputs in = Clean();
  in.objects.push_back(Object(3, "DE-9999-001", kFFH));  // class listed in the transaction
  in.objects.push_back(Object(4, "NSG-0900", kNSG));     // class of a listed object as well
  in.objects.push_back(Object(5, "ND-0001", kND));       // no listed ND, no ND identifier free
  in.objects.push_back(Object(6, "ND-0042", kND));       // listed by another transaction
  in.list.push_back(Row(4712, "ND-0042", 1, "IGNORED"));
  const auto found = Of(Preflight::Check(in), Art::kNichtInTransaktion);
  ASSERT_EQ(found.size(), 2u);
  EXPECT_EQ(found[0].text, "DE-9999-001 (FFH): in keiner Transaktion");
  EXPECT_EQ(found[0].objects, std::vector<int32_t>{3});
  EXPECT_EQ(found[1].text, "NSG-0900 (NSG): in keiner Transaktion");
}

TEST(PreflightCheck, AFreeIdentifierThatFitsMakesAClassNeedy) {
  Inputs in = Clean();
  in.list = {Row(kTid, "NSG-0815", 0, "IGNORED")};  // no FFH object listed
  in.objects.erase(in.objects.begin());
  in.objects.push_back(Object(3, "FFH-1", kFFH));
  EXPECT_EQ(Of(Preflight::Check(in), Art::kNichtInTransaktion).size(), 1u);
  in.pool = {{4712, "DE-4509-310"}};  // the pool of another transaction does not count
  EXPECT_TRUE(Of(Preflight::Check(in), Art::kNichtInTransaktion).empty());
}

TEST(PreflightCheck, IdentifiersListedAndFreeButNotDeletedOnes) {
  Inputs in = Clean();
  in.pool.push_back({kTid, "NSG-0815"});
  in.pool.push_back({4712, "NSG-0815"});  // told once
  in.pool.push_back({kTid, "DE-4509-302"});
  in.list.push_back(Row(kTid, "DE-4509-302", 3, "DELETE"));  // freed by the deletion: right
  in.pool.push_back({4712, "ND-0042"});
  in.list.push_back(Row(4712, "ND-0042", 1, "IGNORED"));  // another transaction's own affair
  const auto found = Of(Preflight::Check(in), Art::kGelistetUndFrei);
  ASSERT_EQ(found.size(), 1u);
  EXPECT_EQ(found[0].text,
            "NSG-0815: in der Transaktionsliste (TID 4711) und zugleich frei (TID 4711)");
  EXPECT_EQ(found[0].objects, std::vector<int32_t>{2});
}

TEST(PreflightCheck, ChangesWithoutAMarkAreFoundByTheirFingerprints) {
  Inputs in = Clean();
  in.objects[0].geometry = "moved";
  in.objects[1].attributes = "renamed";
  auto found = Of(Preflight::Check(in), Art::kUnmarkierteAenderung);
  ASSERT_EQ(found.size(), 2u);
  EXPECT_EQ(found[0].text,
            "DE-4509-301 (schreibend): Geometrie seit dem Import geändert, aber als \"IGNORED\" "
            "markiert");
  EXPECT_EQ(found[1].text,
            "NSG-0815 (lesend): Sachdaten seit dem Import geändert, aber als \"IGNORED\" markiert");
  // A marked change is no finding.
  in.list[0].Changed = "UPDATE";
  in.list[1].Changed = "NEW";
  EXPECT_TRUE(Of(Preflight::Check(in), Art::kUnmarkierteAenderung).empty());
}

TEST(PreflightCheck, ASwitchedIdentifierIsComparedUnderItsOriginal) {
  Inputs in = Clean();
  in.objects[0].Kennung = "DE-4509-310";
  in.objects[0].geometry = "moved";
  in.list[0].Kennung = "DE-4509-310";  // KENNUNGO stays DE-4509-301
  const auto found = Of(Preflight::Check(in), Art::kUnmarkierteAenderung);
  ASSERT_EQ(found.size(), 1u);
  EXPECT_EQ(found[0].objects, std::vector<int32_t>{1});
}

TEST(PreflightCheck, ObjectsWithoutFingerprintsAreToldOnce) {
  Inputs in = Clean();
  in.stored.clear();
  const auto found = Preflight::Check(in);
  ASSERT_EQ(found.size(), 1u);
  EXPECT_EQ(found[0].art, Art::kHinweis);
  EXPECT_NE(found[0].text.find("Für 2 Objekte der Transaktion sind keine Fingerabdrücke"),
            std::string::npos);
}

TEST(PreflightCheck, AHostThatCouldNotBeReadLeavesTheObjectChecksOut) {
  Inputs in = Clean();
  in.objects.clear();
  in.snapshot_taken = false;
  in.notes.push_back("Die Datei /p/x.shp ist keine Shape-Datei.");
  const auto found = Preflight::Check(in);
  ASSERT_EQ(found.size(), 1u);
  EXPECT_EQ(found[0].art, Art::kHinweis);
  EXPECT_EQ(found[0].text, "Die Datei /p/x.shp ist keine Shape-Datei.");
}

TEST(PreflightCheck, FindingsComeByKind) {
  Inputs in = Clean();
  in.notes.push_back("Hinweis zuerst gesammelt");
  in.pictures.clear();
  in.fotos.push_back({502, "Allein", "KTFOTO2.JPG", 2});
  const auto found = Preflight::Check(in);
  ASSERT_EQ(found.size(), 3u);
  EXPECT_EQ(found[0].art, Art::kFotodateiFehlt);
  EXPECT_EQ(found[1].art, Art::kFotoOhneVerknuepfung);
  EXPECT_EQ(found[2].art, Art::kHinweis);
}

// ---- The readers of the host's files ---------------------------------------------

std::string BigEndian(uint32_t v) {
  return {static_cast<char>(v >> 24), static_cast<char>(v >> 16), static_cast<char>(v >> 8),
          static_cast<char>(v)};
}

std::string Shapefile(const std::vector<std::string>& contents) {
  std::string bytes = BigEndian(9994) + std::string(96, '\0');
  for (size_t i = 0; i < contents.size(); ++i) {
    bytes += BigEndian(static_cast<uint32_t>(i + 1)) +
             BigEndian(static_cast<uint32_t>(contents[i].size() / 2)) + contents[i];
  }
  return bytes;
}

TEST(HostSnapshotReaders, ShapeRecordsAsTheFileHoldsThem) {
  const std::vector<std::string> records =
      HostSnapshot::ShapeRecords(Shapefile({"abcd", "efghij"}), "/p/o.shp");
  EXPECT_EQ(records, (std::vector<std::string>{"abcd", "efghij"}));
}

TEST(HostSnapshotReaders, DamagedShapefilesAreNamedWithTheirRecord) {
  try {
    std::string bytes = Shapefile({"abcd", "efghij"});
    bytes.resize(bytes.size() - 2);
    HostSnapshot::ShapeRecords(bytes, "/p/o.shp");
    FAIL();
  } catch (const HostSnapshot::SnapshotError& e) {
    EXPECT_STREQ(e.what(), "Die Datei /p/o.shp endet im Datensatz 2.");
  }
  EXPECT_THROW(HostSnapshot::ShapeRecords("kein shape", "/p/o.shp"), HostSnapshot::SnapshotError);
  EXPECT_THROW(HostSnapshot::ShapeRecords(Shapefile({}) + "abc", "/p/o.shp"),
               HostSnapshot::SnapshotError);
}

TEST(HostSnapshotReaders, AttributeFingerprintsIgnoreTheObjectIdOnly) {
  const std::string one =
      "<KartulDaten Tabelle=\"linfos\">\n"
      "  <Objekt Kennung=\"DE&amp;1\" Klasse=\"2\" Typ=\"3\" KARTULID=\"1\">\n"
      "    <Feld Name=\"KARTULID\">1</Feld>\n"
      "    <Feld Name=\"NAME\">Ruhrhänge</Feld>\n"
      "    <Feld Name=\"BEMERKUNG\"/>\n"
      "  </Objekt>\n"
      "  <Objekt Kennung='NSG-0815' Klasse=\"1\" Typ=\"3\" KARTULID=\"2\"/>\n"
      "</KartulDaten>\n";
  const auto a = HostSnapshot::XmlObjects(one, "/p/o.xml");
  ASSERT_EQ(a.size(), 2u);
  EXPECT_EQ(a[0].Kennung, "DE&1");
  EXPECT_EQ(a[0].Klasse, 2);
  EXPECT_EQ(a[0].Typ, 3);
  EXPECT_EQ(a[0].id, 1);
  EXPECT_EQ(a[1].Kennung, "NSG-0815");
  EXPECT_EQ(a[1].id, 2);
  auto first = [](const std::string& xml) {
    return HostSnapshot::XmlObjects(xml, "/p/o.xml").at(0).attributes;
  };
  std::string reloaded = one;
  reloaded.replace(reloaded.find(">1</Feld>"), 9, ">8</Feld>");
  reloaded.replace(reloaded.find("KARTULID=\"1\""), 12, "KARTULID=\"8\"");
  EXPECT_EQ(first(reloaded), a[0].attributes);
  std::string edited = one;
  edited.replace(edited.find("Ruhrhänge"), 10, "Ruhraue");
  EXPECT_NE(first(edited), a[0].attributes);
  std::string reclassed = one;
  reclassed.replace(reclassed.find("Klasse=\"2\""), 10, "Klasse=\"4\"");
  EXPECT_NE(first(reclassed), a[0].attributes);
}

TEST(HostSnapshotReaders, DamagedAttributeFilesAreNamed) {
  try {
    HostSnapshot::XmlObjects("<KartulDaten><Objekt Klasse=\"1\"></Objekt></KartulDaten>",
                             "/p/o.xml");
    FAIL();
  } catch (const HostSnapshot::SnapshotError& e) {
    EXPECT_STREQ(e.what(), "Das Objekt 1 der Attributdatei /p/o.xml hat keine Kennung.");
  }
  try {
    HostSnapshot::XmlObjects("<KartulDaten>\n<Objekt Kennung=\"A\"><Feld Name=\"N\">x</Feld>",
                             "/p/o.xml");
    FAIL();
  } catch (const HostSnapshot::SnapshotError& e) {
    EXPECT_EQ(std::string(e.what()).rfind("Die XML-Datei /p/o.xml ", 0), 0u) << e.what();
    EXPECT_NE(std::string(e.what()).find("(Zeile 2)"), std::string::npos) << e.what();
  }
}

// One object as the host's export writes it: the field texts escaped, a
// carriage return as a reference.
const std::string kAsWritten =
    "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
    "<KartulDaten Tabelle=\"linfos\" Wahr=\"T\" Falsch=\"F\">\n"
    "  <Objekt Kennung=\"DE-4509-301\" Klasse=\"2\" Typ=\"3\" KARTULID=\"1\">\n"
    "    <Feld Name=\"NAME\">Wiese &amp; Weg &lt;S\xC3\xBC"
    "d&gt; \"alt\" ]]&gt;</Feld>\n"
    "    <Feld Name=\"BEMERKUNG\">Zeile 1&#13;\nZeile 2\tTab</Feld>\n"
    "    <Feld Name=\"GESCHUETZT\">T</Feld>\n"
    "    <Feld Name=\"FLAECHE\"></Feld>\n"
    "  </Objekt>\n"
    "</KartulDaten>\n";

TEST(HostSnapshotReaders, FingerprintsStoredBeforeTheParserStillCompare) {
  // What the reader that took the file's text as it stood made of it.
  EXPECT_EQ(HostSnapshot::XmlObjects(kAsWritten, "/p/o.xml").at(0).attributes, "f3c4382942f85ede");
}

TEST(HostSnapshotReaders, TheSameDataWrittenOtherwiseHasTheSameFingerprint) {
  const auto expected = HostSnapshot::XmlObjects(kAsWritten, "/p/o.xml");
  ASSERT_EQ(expected.size(), 1u);
  auto replaced = [](std::string xml, const std::string& from, const std::string& to) {
    const size_t at = xml.find(from);
    EXPECT_NE(at, std::string::npos) << from;
    return xml.replace(at, from.size(), to);
  };
  const std::string latin1 =
      "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?>\n"
      "<KartulDaten Tabelle=\"linfos\">\n"
      "  <Objekt KARTULID=\"1\" Typ=\"3\" Klasse=\"2\" Kennung=\"DE-4509-301\">\n"
      "    <Feld Name=\"NAME\">Wiese &amp; Weg &lt;S\xFC"
      "d&gt; \"alt\" ]]&gt;</Feld>\n"
      "    <Feld Name=\"BEMERKUNG\">Zeile 1&#xD;\nZeile 2&#9;Tab</Feld>\n"
      "    <Feld Name=\"GESCHUETZT\">T</Feld>\n"
      "    <Feld Name=\"FLAECHE\"/>\n"
      "  </Objekt>\n"
      "</KartulDaten>\n";
  const std::string variants[] = {
      // The value as a CDATA section, and with character references.
      replaced(kAsWritten,
               "Wiese &amp; Weg &lt;S\xC3\xBC"
               "d&gt;",
               "<![CDATA[Wiese & Weg <S\xC3\xBC"
               "d>]]>"),
      replaced(kAsWritten, "Wiese &amp; Weg", "Wiese &#38; Weg"),
      // Comments, one of them holding markup of an object.
      replaced(kAsWritten, "  <Objekt", "<!-- <Objekt Kennung=\"FALSCH\"> --><Objekt"),
      replaced(kAsWritten, "T</Feld>", "<!-- x -->T</Feld>"),
      // Another encoding, attributes in another order, an empty element.
      latin1,
  };
  for (const std::string& xml : variants) {
    SCOPED_TRACE(xml);
    const auto objects = HostSnapshot::XmlObjects(xml, "/p/o.xml");
    ASSERT_EQ(objects.size(), 1u);
    EXPECT_EQ(objects[0].Kennung, "DE-4509-301");
    EXPECT_EQ(objects[0].Klasse, 2);
    EXPECT_EQ(objects[0].id, 1);
    EXPECT_EQ(objects[0].attributes, expected[0].attributes);
  }
  // A changed character is a change, however it is written.
  EXPECT_NE(HostSnapshot::XmlObjects(replaced(kAsWritten, "&amp; Weg", "&amp;Weg"), "/p/o.xml")
                .at(0)
                .attributes,
            expected[0].attributes);
}

TEST(HostSnapshotReaders, EachFieldHasAPrintThatHoldsWhereverItIsWrittenOtherwise) {
  const auto all = [](const std::string&) { return true; };
  const auto prints = HostSnapshot::XmlFieldPrints(kAsWritten, "/p/o.xml", all);
  ASSERT_EQ(prints.size(), 1u);
  EXPECT_EQ(prints[0].Kennung, "DE-4509-301");
  EXPECT_EQ(prints[0].Klasse, 2);
  std::vector<std::string> names;
  for (const auto& [name, print] : prints[0].fields) names.push_back(name);
  // The host's object id is no field of the object.
  EXPECT_EQ(names, (std::vector<std::string>{"NAME", "BEMERKUNG", "GESCHUETZT", "FLAECHE"}));
  EXPECT_EQ(prints[0].fields[3].second, HostSnapshot::PrintOf(""));
  EXPECT_EQ(prints[0].fields[2].second, HostSnapshot::PrintOf("T"));
  // The number is the fingerprint the table keeps as text.
  EXPECT_EQ(HostSnapshot::ValueOf(HostSnapshot::HashOf("T")), HostSnapshot::PrintOf("T"));
  EXPECT_EQ(HostSnapshot::ValueOf("no print"), 0u);

  // One field written as CDATA, one changed: only the changed one differs.
  std::string other = kAsWritten;
  other.replace(other.find("Wiese &amp; Weg"), 15, "<![CDATA[Wiese & Weg]]>");
  other.replace(other.find(">T</Feld>"), 9, ">F</Feld>");
  const auto changed = HostSnapshot::XmlFieldPrints(other, "/p/o.xml", all);
  ASSERT_EQ(changed.size(), 1u);
  EXPECT_EQ(changed[0].fields[0], prints[0].fields[0]);
  EXPECT_EQ(changed[0].fields[1], prints[0].fields[1]);
  EXPECT_NE(changed[0].fields[2], prints[0].fields[2]);

  EXPECT_TRUE(HostSnapshot::XmlFieldPrints(kAsWritten, "/p/o.xml", [](const std::string& K) {
                return K != "DE-4509-301";
              }).empty());
  EXPECT_THROW(HostSnapshot::XmlFieldPrints("<KartulDaten><Objekt", "/p/o.xml", all),
               HostSnapshot::SnapshotError);
}

TEST(HostSnapshotReaders, HashTellsBordersAndIsHexadecimal) {
  EXPECT_EQ(HostSnapshot::HashOf("").size(), 16u);
  EXPECT_NE(HostSnapshot::HashOf("ab"), HostSnapshot::HashOf("ba"));
  EXPECT_EQ(HostSnapshot::HashOf("ab"), HostSnapshot::HashOf("ab"));
}

// ---- The list dialog ---------------------------------------------------------------

struct RecordingSelector : TFormVorpruefung::ObjectSelector {
  std::vector<std::vector<int32_t>> calls;
  void SelectObjects(const std::vector<int32_t>& ids) override { calls.push_back(ids); }
};

TEST(FormVorpruefung, SelectsTheObjectsOfTheChosenFindingOrOfAll) {
  RecordingSelector selector;
  TFormVorpruefung form(selector, true);
  form.SetLines("4711 - Ruhraue", {{"Objekt fehlt: A", {}}, {"x: B", {5, 6}}, {"y: C", {6, 7}}});
  EXPECT_EQ(form.Label1.caption,
            "Die Vorprüfung der Transaktion 4711 - Ruhraue hat 3 Befunde ergeben:");
  EXPECT_FALSE(form.BtnAuswahl.enabled);  // the first line has no objects
  EXPECT_TRUE(form.BtnAlle.enabled);
  ASSERT_TRUE(form.lbBefunde.Select(1));
  EXPECT_TRUE(form.BtnAuswahl.enabled);
  form.BtnAuswahl.Click();
  form.BtnAlle.Click();
  ASSERT_EQ(selector.calls.size(), 2u);
  EXPECT_EQ(selector.calls[0], (std::vector<int32_t>{5, 6}));
  EXPECT_EQ(selector.calls[1], (std::vector<int32_t>{5, 6, 7}));
  EXPECT_EQ(form.modal_result, platform::ui::ModalResult::kNone);  // the selection keeps it open
  EXPECT_TRUE(form.BtnWeiter.visible);
  EXPECT_EQ(form.BtnAbbrechen.caption, "Export abbrechen");
}

TEST(FormVorpruefung, FromTheMenuItOnlyCloses) {
  RecordingSelector selector;
  TFormVorpruefung form(selector, false);
  form.SetLines("4711", {{"Hinweis: x", {}}});
  EXPECT_FALSE(form.BtnWeiter.visible);
  EXPECT_FALSE(form.BtnAlle.enabled);
  EXPECT_EQ(form.BtnAbbrechen.caption, "Schließen");
  EXPECT_EQ(form.Label1.caption, "Die Vorprüfung der Transaktion 4711 hat 1 Befund ergeben:");
}

}  // namespace
