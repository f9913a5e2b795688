// The import's journal: what it holds comes back as written, whatever the
// texts hold; a step line cut by a kill is no step; a plan without its end,
// or a line that is not the journal's, is refused with a reason.
#include "exchange/ImportJournal.h"

#include <gtest/gtest.h>

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
  j.fotos = {501, -3};
  j.pictures = {{"/p/KTPhotos/a.jpg", ""}, {"/p/KTPhotos/b.jpg", "/p/TA_IMPORT.tmp/bilder/b.jpg"}};
  return j;
}

void ExpectSameJournal(const ImportJournal& a, const ImportJournal& b) {
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

}  // namespace
