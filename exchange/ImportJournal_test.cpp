// The import's journal: what it holds comes back as written, whatever the
// texts hold; a step line cut by a kill is no step; a plan without its end,
// or a line that is not the journal's, is refused with a reason.
#include "exchange/ImportJournal.h"

#include <gtest/gtest.h>

#include "platform/env/Path.h"

namespace {

ImportJournal SampleJournal() {
  ImportJournal j;
  j.package = "/pakete/ab\tc\\d/abcdef";
  j.keys = {"DE-1", "Ä'\n\r"};
  j.before.list_exists = true;
  j.before.pool_exists = true;
  j.before.list = {{7, 11, 90001, 1, "DE-1", "UPDATE", "DE-0"}};
  j.before.pool = {{7, "Ä'\n\r"}};
  j.before.fingerprints = {{7, "DE-1", "0123456789abcdef", "fedcba9876543210"}};
  j.registered = 7;
  j.deleted = {{"DE-1", 42}};
  j.loaded = {"DE-1", "DE-2"};
  j.renamed = {{43, "X", "DE-3"}};
  ObjectRow row;
  row.table = "Objektphotos";
  row.KartulID = 42;
  row.fields = {{"PhotoID", "-1"}, {"Hauptphoto", std::nullopt}, {"Bemerkung", "\\N"}};
  j.object_rows = {row};
  j.project_id = "0123456789abcdef0123456789abcdef";
  j.fotos = {{501, "a.jpg"}, {-3, "b c.jpg"}};
  j.pictures = {{"KTPhotos/a.jpg", "", "-"},
                {"KTPhotos/b.jpg", "TA_IMPORT.tmp/bilder/b.jpg", "123:00aa00aa00aa00aa"}};
  j.bases_before = "96:0123456789abcdef";
  j.in_place = {{"DE-2", 42, {{"NAME", "Aue", "Aue\tam Bach"}, {"BEM", "", "neu"}}}};
  return j;
}

void ExpectSameJournal(const ImportJournal& a, const ImportJournal& b) {
  EXPECT_EQ(a.version, b.version);
  EXPECT_EQ(a.project_id, b.project_id);
  EXPECT_EQ(a.package, b.package);
  EXPECT_EQ(a.keys, b.keys);
  EXPECT_EQ(a.before.list_exists, b.before.list_exists);
  EXPECT_EQ(a.before.ids_exists, b.before.ids_exists);
  ASSERT_EQ(a.before.list.size(), b.before.list.size());
  EXPECT_EQ(a.before.list[0].Originalkennung, b.before.list[0].Originalkennung);
  EXPECT_EQ(a.before.list[0].Vorgangsnummer, b.before.list[0].Vorgangsnummer);
  EXPECT_EQ(a.before.pool, b.before.pool);
  EXPECT_EQ(a.before.fingerprints, b.before.fingerprints);
  EXPECT_EQ(a.registered, b.registered);
  EXPECT_EQ(a.deleted, b.deleted);
  EXPECT_EQ(a.loaded, b.loaded);
  EXPECT_EQ(a.renamed, b.renamed);
  EXPECT_EQ(a.object_rows, b.object_rows);
  EXPECT_EQ(a.fotos, b.fotos);
  EXPECT_EQ(a.pictures, b.pictures);
  EXPECT_EQ(a.bases_before, b.bases_before);
  EXPECT_EQ(a.in_place, b.in_place);
  EXPECT_EQ(a.snapshot_taken, b.snapshot_taken);
}

TEST(ImportJournalTest, WhatIsWrittenComesBackWhateverTheTextsHold) {
  ImportJournal j = SampleJournal();
  std::string error;
  std::optional<ImportJournal> read = ImportJournal::Parse(j.Text(), error);
  ASSERT_TRUE(read) << error;
  ExpectSameJournal(*read, j);
  EXPECT_FALSE(read->snapshot_taken);

  // The step appended after the plan; one cut by a kill counts for nothing.
  const std::string with_step = j.Text() + "schritt\tschnappschuss\n";
  read = ImportJournal::Parse(with_step, error);
  ASSERT_TRUE(read);
  EXPECT_TRUE(read->snapshot_taken);
  read = ImportJournal::Parse(j.Text() + "schritt\tschnapp", error);
  ASSERT_TRUE(read);
  EXPECT_FALSE(read->snapshot_taken);
}

TEST(ImportJournalTest, AnIncompleteOrForeignJournalIsRefusedWithItsReason) {
  const std::string text = SampleJournal().Text();
  std::string error;
  EXPECT_FALSE(ImportJournal::Parse(text.substr(0, text.size() / 2), error));
  EXPECT_EQ(error, "Der Plan endet vor seinem Ende.");
  EXPECT_FALSE(ImportJournal::Parse("", error));
  EXPECT_EQ(error, "Die Datei ist leer.");
  EXPECT_FALSE(ImportJournal::Parse("[Transaktionsdaten]\n", error));
  EXPECT_EQ(error, "Die erste Zeile ist keine Kopfzeile eines Importjournals.");
  std::string bad = text;
  bad.replace(bad.find("geloescht\tDE-1\t42"), 17, "geloescht\tDE-1\tzz");
  EXPECT_FALSE(ImportJournal::Parse(bad, error));
  EXPECT_NE(error.find("ist nicht lesbar"), std::string::npos) << error;
}

TEST(ImportJournalTest, AnUndoCountsOnceItEndsAndWhatItWasPuttingBackStaysInFlux) {
  const std::string plan = SampleJournal().Text();
  std::string error;
  std::optional<ImportJournal> read = ImportJournal::Parse(plan + "schritt\tschnappschuss\n", error);
  ASSERT_TRUE(read) << error;
  EXPECT_TRUE(read->all_in_flux) << "changes began: everything is the import's";

  // An undo that could not finish records how it left each item.
  const std::string ended = plan +
                            "schritt\tschnappschuss\n"
                            "beginn\n"
                            "stand\tliste\tDE-1\t00aa\n"
                            "zurueck\tDE-1\t77\n"
                            "abschluss\n";
  read = ImportJournal::Parse(ended, error);
  ASSERT_TRUE(read) << error;
  EXPECT_FALSE(read->all_in_flux);
  EXPECT_TRUE(read->in_flux.empty());
  EXPECT_EQ(read->stands.at({"liste", "DE-1"}), "00aa");
  EXPECT_EQ(read->restored.at("DE-1"), std::set<int32_t>{77});

  // The next undo is cut off: what it named is in flux, its records are
  // none, what it kept stays kept, the earlier records hold.
  read = ImportJournal::Parse(ended +
                                  "beginn\n"
                                  "behalten\tschluessel\tDE-2\n"
                                  "fluss\tschluessel\tDE-1\n"
                                  "stand\tliste\tDE-1\t00bb\n"
                                  "abschl",
                              error);
  ASSERT_TRUE(read) << error;
  EXPECT_EQ(read->in_flux, (std::set<ImportJournal::Item>{{"schluessel", "DE-1"}}));
  EXPECT_EQ(read->kept, (std::set<ImportJournal::Item>{{"schluessel", "DE-2"}}));
  EXPECT_EQ(read->stands.at({"liste", "DE-1"}), "00aa");

  EXPECT_FALSE(ImportJournal::Parse(plan + "stand\tliste\tDE-1\t00aa\n", error))
      << "a record outside an undo";
  EXPECT_FALSE(ImportJournal::Parse(plan + "schritt\tfertig\n", error) ->all_in_flux);
  EXPECT_TRUE(ImportJournal::Parse(plan + "schritt\tfertig\n", error)->committed);
}

TEST(ImportJournalTest, AJournalOfAnEarlierVersionIsReadAndOneWithoutItsProjectRefused) {
  ImportJournal old = SampleJournal();
  old.version = 1;
  old.project_id.clear();
  old.fotos = {{501, ""}};
  old.pictures = {{"/p/KTPhotos/a.jpg", "/p/TA_IMPORT.tmp/bilder/a.jpg", ""}};
  old.bases_before.reset();  // no record of bases yet
  old.in_place.clear();
  const std::string text = old.Text();
  EXPECT_EQ(text.substr(0, text.find('\n')), "VANDRA-IMPORT\t1");
  EXPECT_EQ(text.find("projekt"), std::string::npos);
  std::string error;
  std::optional<ImportJournal> read = ImportJournal::Parse(text, error);
  ASSERT_TRUE(read) << error;
  ExpectSameJournal(*read, old);
  // Earlier versions appended no undo.
  EXPECT_FALSE(ImportJournal::Parse(text + "beginn\n", error));

  std::string anonymous = SampleJournal().Text();
  anonymous.erase(anonymous.find("projekt"), anonymous.find("paket") - anonymous.find("projekt"));
  EXPECT_FALSE(ImportJournal::Parse(anonymous, error));
  EXPECT_EQ(error, "Das Journal nennt sein Projekt nicht.");
}

TEST(ImportJournalTest, ItsPathsReachNothingOutsideThePicturesAndTheImportsFolder) {
  EXPECT_EQ(ImportJournal::PathIn("/p/", ImportJournal::PictureName("a b.jpg")),
            platform::env::JoinPath(platform::env::JoinPath("/p/", "KTPhotos"), "a b.jpg"));
  EXPECT_TRUE(ImportJournal::PathIn("/p/", ImportJournal::BackupName("a.jpg")));
  for (const char* name : {"/p/KTPhotos/a.jpg", "KTPhotos/../TA_LIST.dbf", "TA_LIST.dbf",
                           "KTPhotos/x/a.jpg", "TA_IMPORT.tmp/objekte.shp", "KTPhotos/"}) {
    EXPECT_FALSE(ImportJournal::PathIn("/p/", name)) << name;
  }
}

}  // namespace
