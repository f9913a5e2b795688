// The transaction tables of the earlier builds: files made from field
// definitions, found by key and by the range of a TID, changed in place,
// shared with the SQL of the import and the export; read back with an
// independent dBase reader.
#include "transaction/tables/TransactionStore.h"

#include <filesystem>
#include <fstream>

#include "context/BuildIdentity.h"
#include "context/PluginContext.h"
#include "platform/db/Connection.h"
#include "tests/support/ProjectFixture.h"
#include "transaction/ObjectLifecycle.h"
#include "transaction/TransActTools.h"

namespace {

using namespace TransActTools;
using testsupport::ListRows;
using testsupport::PoolRows;
using Rows = std::vector<std::string>;

class EarlierTablesTest : public testsupport::ProjectFixture {
 protected:
  void SetUp() override {
    ProjectFixture::SetUp();
    SelectBuild(Build::kVD1TransAction);
  }
  void TearDown() override {
    SelectBuild(Build::kVD1TransAction2010);
    ProjectFixture::TearDown();
  }
  void Fill() {
    CreateTransactionTables();
    AddTransaction(3, "Ruhrauen", "Frau Kern");
    AddTransaction(5, "Eifel", "Herr Busch");
    AddRow(3, 11, 0, "DE-11");
    AddRow(3, 12, 1, "DE-12", "UPDATE");
    AddRow(5, 13, 1, "DE-13");
    AddRow(5, 15, 2, "DE-15", "NEW");
    AddFree(5, "DE-500");
    AddFree(3, "DE-100");
    AddFree(5, "OEK-7");
  }
  // Name, type and width of each field, from the file's own header.
  Rows FieldsOf(const std::string& file) {
    std::ifstream in(ProjectDir() + file, std::ios::binary);
    std::string bytes((std::istreambuf_iterator<char>(in)), {});
    Rows fields;
    for (size_t at = 32; at + 32 <= bytes.size() && bytes[at] != '\x0d'; at += 32) {
      fields.push_back(std::string(bytes.c_str() + at) + " " + bytes[at + 11] + " " +
                       std::to_string(static_cast<unsigned char>(bytes[at + 16])));
    }
    return fields;
  }
};

TEST_F(EarlierTablesTest, TablesAreMadeFromFieldDefinitionsUnderTheirCapitalNames) {
  CreateTransactionTables();
  for (const char* file : {"TA_LIST.DBF", "TA_ID.DBF", "TA_KL.DBF"}) {
    EXPECT_TRUE(std::filesystem::exists(ProjectDir() + file)) << file;
  }
  EXPECT_FALSE(std::filesystem::exists(ProjectDir() + "TA_LIST.dbf"));
  EXPECT_EQ(FieldsOf("TA_LIST.DBF"),
            (Rows{"TID N 11", "KARTULID N 11", "VGNR N 11", "SCHREIBEND N 11", "KENNUNG C 50",
                  "CHANGED C 15", "KENNUNGO C 50"}));
  EXPECT_EQ(FieldsOf("TA_KL.DBF"), (Rows{"TID N 11", "KENNUNG C 50"}));
  EXPECT_EQ(FieldsOf("TA_ID.DBF"), (Rows{"TID N 11", "NAME C 75", "OWNER C 75"}));
  EXPECT_EQ(TransactionTablePath("TA_KL"), ProjectDir() + "TA_KL.DBF");
  EXPECT_TRUE(TransactionListExists());
}

TEST_F(EarlierTablesTest, KeysRangesAndRowsChangedInPlace) {
  Fill();
  EXPECT_EQ(GetObjectStatus("DE-12"), 1);
  EXPECT_EQ(GetObjectStatus("de-12"), -1) << "identifiers compare case-sensitively";
  EXPECT_EQ(GetTIDOfObject("DE-13"), 5);
  EXPECT_EQ(GetChangedFlag("DE-15"), "NEW");
  EXPECT_EQ(GetFreeKennungen(5), (Rows{"DE-500", "OEK-7"}));  // the pool in table order
  EXPECT_EQ(GetFittingFreeKennungen("FFH", 5, ""), (Rows{"DE-500"}));
  EXPECT_TRUE(KennungIsValid("DE-100", 3));
  EXPECT_FALSE(KennungIsValid("DE-100", 5));
  EXPECT_EQ(GetObjectsByStatus(1, -1).size(), 2u);
  EXPECT_EQ(GetObjectsByStatus(1, 5).size(), 1u);
  EXPECT_EQ(CountChangedObjects(-1), 1);
  EXPECT_EQ(CountTransactions(), 2);

  // In place: the rows keep their places in the file.
  UpdateKennungInTransactionList("DE-13", "DE-13a");
  UpdateChangedFlag("DE-11", "UPDATE");
  TObjectMetadata R{5, 99, -1, 3, "DE-12", "DELETE", "DE-12"};
  SaveObjectMetadata(R);
  DeleteTransactionListRow("DE-15");
  EXPECT_EQ(ListRows(ProjectDir()),
            (Rows{"DE-11 3 0 UPDATE DE-11", "DE-12 5 3 DELETE DE-12", "DE-13a 5 1 UPDATE DE-13"}));
  // A row the SQL side adds is found by key at once.
  AddRow(7, 17, 2, "NSG-17", "NEW");
  EXPECT_EQ(GetTIDOfObject("NSG-17"), 7);
}

TEST_F(EarlierTablesTest, AnIdentifierReturnsToAPoolOnlyWhenNoPoolHoldsIt) {
  Fill();
  EXPECT_FALSE(SetFreeKennung(3, "DE-500")) << "held by the pool of transaction 5";
  EXPECT_FALSE(SetFreeKennung(0, "DE-1"));
  EXPECT_TRUE(SetFreeKennung(3, "DE-1"));
  EXPECT_FALSE(SetFreeKennung(3, "DE-1"));
  EXPECT_EQ(PoolRows(ProjectDir()), (Rows{"5 DE-500", "3 DE-100", "5 OEK-7", "3 DE-1"}));
  // The full build keeps an identifier per transaction.
  SelectBuild(Build::kVD1TransAction2010);
  EXPECT_TRUE(SetFreeKennung(3, "DE-500"));
}

TEST_F(EarlierTablesTest, TheTableObjectsAreThoseOfTheProjectOpenNow) {
  Fill();
  EXPECT_EQ(GetObjectStatus("DE-12"), 1);
  EXPECT_EQ(TransactionTablePath("TA_LIST"), ProjectDir() + "TA_LIST.DBF");
  const std::string other = Root() + "/zweites/";
  hostsim::Host::CreateProject(other);
  host().OpenProject(other);
  EXPECT_FALSE(TransactionListExists());
  EXPECT_EQ(GetObjectStatus("DE-12"), -1);
  CreateTransactionList("TA_LIST");
  EXPECT_EQ(TransactionTablePath("TA_LIST"), other + "TA_LIST.DBF");
  EXPECT_EQ(TransactionTablePath("TA_FP"), other + "TA_FP.dbf");
  EXPECT_EQ(GetObjectStatus("DE-12"), -1) << "the second project's list is empty";

  host().OpenProject(ProjectDir());
  EXPECT_EQ(GetObjectStatus("DE-12"), 1) << "back in the first project, its own rows";
  host().CloseProject();
  EXPECT_FALSE(TransactionListExists());
  EXPECT_EQ(TransactionTablePath("TA_LIST"), "");
  host().OpenProject(ProjectDir());
}

TEST_F(EarlierTablesTest, ATransactionTableWithoutNamesListsThemAsUnbekannt) {
  auto c = platform::db::Connection::Open("Data Source=" + ProjectDir() +
                                          ";Extended Properties=DBASE III;");
  c->Execute("create table TA_ID (TID integer, OWNER char(75))");
  c->Execute("insert into TA_ID (TID,OWNER) values (8,'Frau Kern')");
  const TNumberedStringList names = GetTransactionNames();
  ASSERT_EQ(names.size(), 1u);
  EXPECT_EQ(names[0].Text, "8 - unbekannt");
  EXPECT_EQ(names[0].Number, 8);
  EXPECT_EQ(GetTransactions()[0].Owner, "Frau Kern");
}

TEST_F(EarlierTablesTest, ADamagedListIsToldByNameAndVetoesTheGeometryChange) {
  Fill();
  const int32_t id = MakeObject("FFH", "DE-12");
  std::filesystem::resize_file(ProjectDir() + "TA_LIST.DBF", 40);
  context::Current().Store().CloseProject();  // as after loading the project again
  Answer("message OK");
  EXPECT_FALSE(ObjectLifecycle::CheckStatus(id));
  ASSERT_EQ(Messages().size(), 1u);
  EXPECT_NE(Messages()[0].find("Die Tabelle " + ProjectDir() + "TA_LIST.DBF ist beschädigt"),
            std::string::npos)
      << Messages()[0];
  // A missing pool is no error: nothing is offered.
  std::filesystem::remove(ProjectDir() + "TA_KL.DBF");
  EXPECT_TRUE(GetFreeKennungen(5).empty());
}

// Both makes read TA_LIST's rows with one codec each; a list another program
// wrote, with numbers left empty, reads the same through either: an empty
// number is -1 where every row is read and 0 where a rule asks for a row,
// as the system reads them.
class ListRowCodecTest : public testsupport::ProjectFixture,
                         public testing::WithParamInterface<Build> {
 protected:
  void SetUp() override {
    ProjectFixture::SetUp();
    SelectBuild(GetParam());
  }
  void TearDown() override {
    SelectBuild(Build::kVD1TransAction2010);
    ProjectFixture::TearDown();
  }
};

TEST_P(ListRowCodecTest, AListAnotherProgramWroteReadsTheSameThroughEitherMake) {
  CreateTransactionTables();
  const std::string file = TransactionTablePath("TA_LIST");
  const std::string script =
      "import sys, dbf\n"
      "t = dbf.Table(sys.argv[1], codepage='cp1252')\n"
      "t.open(mode=dbf.READ_WRITE)\n"
      "t.append((3, 11, 7, 1, 'DE-11', 'UPDATE', 'DE-11'))\n"
      "t.append((3, None, None, 2, 'NSG-Süd', 'NEW', 'NSG-Süd'))\n"
      "t.append((5, 13, 1, None, 'DE-13', '', 'DE-12'))\n"
      "t.close()\n";
  const std::string py = ProjectDir() + "write.py";
  std::ofstream(py) << script;
  ASSERT_EQ(testsupport::RunCommand(std::string(VANDRA_PYTHON3) + " '" + py + "' '" + file + "'"),
            "");

  const auto text = [](const TObjectMetadata& r) {
    return std::to_string(r.TID) + " " + std::to_string(r.KartulID) + " " +
           std::to_string(r.Vorgangsnummer) + " " + std::to_string(r.Schreibend) + " " + r.Kennung +
           " " + r.Changed + " " + r.Originalkennung;
  };
  Rows all;
  for (const TObjectMetadata& r : AllRows()) all.push_back(text(r));
  EXPECT_EQ(all, (Rows{"3 11 7 1 DE-11 UPDATE DE-11", "3 -1 -1 2 NSG-Süd NEW NSG-Süd",
                       "5 13 1 -1 DE-13  DE-12"}));

  TObjectMetadata record;
  ASSERT_TRUE(GetObjectMetadata("NSG-Süd", record));
  EXPECT_EQ(text(record), "3 0 0 2 NSG-Süd NEW NSG-Süd");
  Rows changed;
  for (const TObjectMetadata& r : GetObjectsByStatus(kSchreibend, 3)) changed.push_back(text(r));
  EXPECT_EQ(changed, (Rows{"3 11 7 1 DE-11 UPDATE DE-11"}));
  Rows exported;
  for (const TObjectMetadata& r : ExportRows(5)) {
    exported.push_back(r.Kennung + " " + r.Originalkennung + " " + std::to_string(r.Schreibend) +
                       " " + r.Changed);
  }
  EXPECT_EQ(exported, (Rows{"DE-13 DE-12 0 "}));
}

INSTANTIATE_TEST_SUITE_P(BothMakes, ListRowCodecTest,
                         testing::Values(Build::kVD1TransAction2010, Build::kVD1TransAction),
                         [](const auto& info) { return std::string(NameOf(info.param)); });

}  // namespace
