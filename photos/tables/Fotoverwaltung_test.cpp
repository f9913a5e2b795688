// The catalogue's rows against an independent reader and writer: Python's
// sqlite3 module on the project database file. What the catalogue writes
// another program reads as written (nulls as nulls, texts as UTF-8, dates
// as days), and what another program wrote the catalogue reads back, so
// the row codec is checked in both directions and not against itself.
#include <gtest/gtest.h>

#include <memory>

#include "context/ProjectStore.h"
#include "photos/tables/Fotoverwaltung.h"
#include "platform/db/Connection.h"
#include "platform/db/TestDir.h"

namespace {

using platform::db::Connection;
using platform::db::testing::TestDir;

class FotoverwaltungTest : public testing::Test {
 protected:
  void SetUp() override {
    // The project's database exists before the plug-in meets it.
    ASSERT_EQ(Sqlite("c.execute('create table Notizen (Text text)')\nc.commit()\n"), "");
    module_ = std::make_unique<TdmFotoverwaltung>();
    ASSERT_TRUE(module_->OpenPrjDatabase(file_));
    module_->CreateTableFotos();
    module_->OpenTables();
  }
  void Open() {
    module_ = std::make_unique<TdmFotoverwaltung>();
    ASSERT_TRUE(module_->OpenPrjDatabase(file_));
    module_->OpenTables();
  }
  std::string Sqlite(const std::string& body) {
    return dir_.Python("import sqlite3\nc = sqlite3.connect(" + Quoted(file_) + ")\n" + body);
  }
  static std::string Quoted(const std::string& text) { return "'" + text + "'"; }

  TestDir dir_;
  std::string file_ = dir_.File("projekt.mdb");
  std::unique_ptr<TdmFotoverwaltung> module_;
};

TEST_F(FotoverwaltungTest, RowsItWritesAreReadByAnotherProgramAsWritten) {
  tables::TFotoMetadaten full;
  full.Status = tables::kPhotoLocal;
  full.FotoID = -3;
  full.Kurzname = "Moorbirke am Ufer";
  full.Rechtswert = 4512345;
  full.Hochwert = 5898765;
  full.Blickrichtung = 270;
  full.Aufnahmedatum = 45356.75;  // 2024-03-05, the time of day is no part of the row
  full.Quelle = "Kartierung Süd";
  full.Beschreibung = "Röhricht, 'nass'";
  full.Dateiname = "KTFoto1.jpg";
  tables::TFotoMetadaten bare;
  bare.Status = tables::kPhotoFromVandra;
  bare.FotoID = 17;
  bare.Aufnahmedatum = 1e9;  // no date a statement can hold: null
  module_->AppendFotos({full, bare});
  module_.reset();

  EXPECT_EQ(Sqlite("for r in c.execute('select FotoID, Kurzname, RW, HW, Blickrichtung, "
                   "Aufnahmedatum, Quelle, Bildbeschreibung, PicFileName, IsNew from Fotos "
                   "order by FotoID'):\n    print(r)\n"),
            "(-3, 'Moorbirke am Ufer', 4512345, 5898765, 270, '2024-03-05', 'Kartierung Süd', "
            "\"Röhricht, 'nass'\", 'KTFoto1.jpg', 3)\n"
            "(17, '', None, None, None, None, '', '', '', 2)\n");
}

TEST_F(FotoverwaltungTest, RowsAnotherProgramWroteAreReadBackWithTheirStates) {
  module_.reset();
  ASSERT_EQ(Sqlite("c.execute(\"insert into Fotos (FotoID, Kurzname, RW, Aufnahmedatum, IsNew, "
                   "PicFileName, Quelle, Bildbeschreibung) values "
                   "(-1, 'Eiche', 4500001, '2023-07-01', 3, 'KTFoto1.jpg', 'Q', 'B'), "
                   "(-2, 'Weide', null, null, 3, 'KTFoto2.jpg', '', ''), "
                   "(5, 'Zentrale', null, null, 2, 'Z5.jpg', '', ''), "
                   "(6, 'Neu', null, null, null, null, '', '')\")\n"
                   "c.commit()\n"),
            "");
  Open();

  EXPECT_EQ(module_->LocalFotoIDs(), (std::unordered_set<int32_t>{-1, -2}));
  const std::vector<tables::CatalogueEntry> entries = module_->CatalogueEntries();
  ASSERT_EQ(entries.size(), 4u);
  EXPECT_EQ(entries[3].IsNew, 0);  // a null state reads 0, no known state

  const std::vector<tables::TFotoMetadaten> local = module_->LocalFotos();
  ASSERT_EQ(local.size(), 2u);
  EXPECT_EQ(local[0].FotoID, -1);
  EXPECT_EQ(local[0].Rechtswert, std::optional<int32_t>(4500001));
  EXPECT_EQ(local[0].Hochwert, std::nullopt);
  EXPECT_EQ(local[0].Aufnahmedatum, std::optional<double>(45108));
  EXPECT_EQ(local[0].Dateiname, "KTFoto1.jpg");
  EXPECT_EQ(local[1].Aufnahmedatum, std::nullopt);

  const std::optional<tables::FotoRecord> found = module_->FindFoto(6);
  ASSERT_TRUE(found);
  EXPECT_EQ(found->IsNew, std::nullopt);
  EXPECT_EQ(found->RW, std::nullopt);
  EXPECT_FALSE(module_->FindFoto(99));

  // Only a local photo's row goes, and its picture's name comes back.
  EXPECT_EQ(module_->DeleteLocalFoto(5), std::nullopt);
  EXPECT_EQ(module_->DeleteLocalFoto(-2), std::optional<std::string>("KTFoto2.jpg"));
  EXPECT_TRUE(module_->FileNamedElsewhere(-1, "z5.JPG"));
  EXPECT_FALSE(module_->FileNamedElsewhere(5, "Z5.jpg"));
  module_.reset();
  EXPECT_EQ(Sqlite("print(sorted(r[0] for r in c.execute('select FotoID from Fotos') "
                   "if r[0] is not None))\n"),
            "[-1, 5, 6]\n");
}

TEST_F(FotoverwaltungTest, ObjectRowsAreTheRowsOfTheAskedObjectsAndTellTheirPhoto) {
  module_.reset();
  ASSERT_EQ(Sqlite("c.execute('create table Objektphotos (PKEY integer, KARTULID integer, "
                   "PhotoID integer, Hauptphoto text)')\n"
                   "c.execute(\"insert into Objektphotos values (1, 10, -1, 'WAHR'), "
                   "(2, 11, 5, null), (3, 10, null, 'FALSCH'), (4, null, 7, null)\")\n"
                   "c.execute('create table Pflanzenliste (PKEY integer, KARTULID integer, "
                   "Art text)')\n"
                   "c.execute(\"insert into Pflanzenliste values (1, 10, 'Carex nigra')\")\n"
                   "c.commit()\n"),
            "");
  Open();

  const std::vector<tables::ObjectRow> links =
      module_->ReadObjectRows(tables::ObjectRowTable::kPhotoLinks, {10});
  ASSERT_EQ(links.size(), 2u);
  EXPECT_TRUE(links[0].IsPhotoLink());
  EXPECT_EQ(links[0].PhotoID(), std::optional<int32_t>(-1));
  EXPECT_EQ(links[1].PhotoID(), std::nullopt);
  // Neither the key nor the object id is a field the row carries over.
  EXPECT_EQ(links[0].fields.size(), 2u);
  EXPECT_EQ(module_->FotoWirdVerwendet(-1), 1);

  const std::vector<tables::ObjectRow> plants =
      module_->ReadObjectRows(tables::ObjectRowTable::kPlantList, {10, 11});
  ASSERT_EQ(plants.size(), 1u);
  EXPECT_FALSE(plants[0].IsPhotoLink());
  EXPECT_EQ(
      plants[0].fields,
      (std::vector<std::pair<std::string, std::optional<std::string>>>{{"Art", "Carex nigra"}}));
  EXPECT_EQ(module_->PhotoLinks().size(), 2u);  // rows with an object and a photo
}

}  // namespace
