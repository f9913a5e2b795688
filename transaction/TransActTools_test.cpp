// The transaction tables against real dBase files in a real project folder,
// read back with an independent dBase reader.
#include "transaction/TransActTools.h"

#include <algorithm>
#include <filesystem>
#include <fstream>

#include "context/PluginContext.h"
#include "dialogs/DialogTools.h"
#include "host/Tools.h"
#include "platform/ui/Ui.h"
#include "tests/support/ProjectFixture.h"

namespace {

using namespace TransActTools;
using testsupport::ListRows;
using testsupport::PoolRows;
using testsupport::ReadDbf;
using Rows = std::vector<std::string>;

class TransActToolsTest : public testsupport::ProjectFixture {
 protected:
  void Fill() {
    CreateTransactionTables();
    AddTransaction(3, "Ruhrauen", "Frau Kern");
    AddTransaction(5, "Eifel", "Herr Busch");
    AddRow(3, 11, 0, "DE-11");
    AddRow(3, 12, 1, "DE-12", "UPDATE");
    AddRow(3, 13, 1, "DE-13");
    AddRow(5, 14, 1, "DE-14", "UPDATE");
    AddRow(5, 15, 2, "DE-15", "NEW");
    AddRow(5, 16, 3, "DE-16", "DELETE");
    AddFree(3, "DE-100");
    AddFree(5, "DE-100");
    AddFree(5, "OEK-7");
  }
};

TEST_F(TransActToolsTest, WithoutTransactionListNothingIsOpenedOrAnswered) {
  EXPECT_EQ(GetObjectStatus("DE-1"), -1);
  EXPECT_EQ(GetTIDOfObject("DE-1"), -1);
  EXPECT_FALSE(context::Current().Store().TransactionConnectionOpen());
  EXPECT_FALSE(KennungInTransactionList("DE-1"));
  EXPECT_TRUE(GetObjectsByStatus(1, -1).empty());
  EXPECT_EQ(CountTransactions(), -1);
  EXPECT_TRUE(GetTransactionNames().empty());
  EXPECT_FALSE(context::Current().Store().TransactionConnectionOpen());
}

// The presenter's view of the mouse cursor, beside the scripted answers.
class CursorLog : public platform::ui::Presenter {
 public:
  explicit CursorLog(std::unique_ptr<platform::ui::Presenter> inner) : inner_(std::move(inner)) {}
  platform::ui::MsgAnswer ShowMessage(platform::ui::MsgKind kind, std::string_view text,
                                      platform::ui::MsgButtons buttons) override {
    return inner_->ShowMessage(kind, text, buttons);
  }
  void RunModal(platform::ui::Form& form) override { inner_->RunModal(form); }
  void ShowModeless(platform::ui::Form& form) override { inner_->ShowModeless(form); }
  void CloseModeless(platform::ui::Form& form) override { inner_->CloseModeless(form); }
  std::optional<std::string> ShowFileDialog(
      const platform::ui::FileDialogRequest& request) override {
    return inner_->ShowFileDialog(request);
  }
  void CursorChanged(platform::ui::Cursor cursor) override {
    // Whether the table file exists when the cursor changes tells whether
    // the hourglass covered its making.
    changes.push_back(std::string(cursor == platform::ui::Cursor::kHourglass ? "wait" : "normal") +
                      (std::filesystem::exists(watched) ? "+" : "-"));
  }

  std::string watched;
  std::vector<std::string> changes;

 private:
  std::unique_ptr<platform::ui::Presenter> inner_;
};

TEST_F(TransActToolsTest, ATableIsMadeUnderTheHourglassAndAnExistingOneShowsNothing) {
  auto* log = new CursorLog(platform::ui::SetPresenter(nullptr));
  platform::ui::SetPresenter(std::unique_ptr<platform::ui::Presenter>(log));
  log->watched = ProjectDir() + "TA_KL.dbf";
  CreateKennungList();
  EXPECT_EQ(log->changes, (Rows{"wait-", "normal+"}));
  log->changes.clear();
  CreateKennungList();
  log->watched = ProjectDir() + "TA_LIST.dbf";
  CreateTransactionList("TA_LIST");
  CreateTransactionList("TA_LIST");
  EXPECT_EQ(log->changes, (Rows{"wait-", "normal+"}));
}

TEST_F(TransActToolsTest, TablesAreCreatedOnceWithTheirColumns) {
  CreateTransactionTables();
  for (const char* file : {"TA_LIST.dbf", "TA_ID.dbf", "TA_KL.dbf"}) {
    EXPECT_TRUE(std::filesystem::exists(ProjectDir() + file)) << file;
  }
  AddTransaction(1, "A");
  CreateTransactionTables();  // again: the existing tables and rows stay
  EXPECT_EQ(CountTransactions(), 1);
  const std::string fields =
      testsupport::RunCommand("dbfdump -h '" + ProjectDir() + "TA_LIST.dbf'");
  for (const char* column :
       {"TID", "KARTULID", "VGNR", "SCHREIBEND", "KENNUNG", "CHANGED", "KENNUNGO"}) {
    EXPECT_NE(fields.find(column), std::string::npos) << column << " in " << fields;
  }
}

TEST_F(TransActToolsTest, RowsAreFoundByIdentifierExactly) {
  Fill();
  EXPECT_TRUE(KennungInTransactionList("DE-12"));
  EXPECT_FALSE(KennungInTransactionList("de-12")) << "identifiers compare case-sensitively";
  EXPECT_FALSE(KennungInTransactionList("DE-1"));
  EXPECT_EQ(GetObjectStatus("DE-15"), 2);
  EXPECT_EQ(GetObjectStatus("DE-99"), -1);
  EXPECT_EQ(GetTIDOfObject("DE-14"), 5);
  EXPECT_EQ(GetChangedFlag("DE-16"), "DELETE");
  EXPECT_EQ(GetChangedFlag("DE-99"), "");
  EXPECT_EQ(GetOriginalKennung("DE-11"), "DE-11");

  TObjectMetadata record;
  record.Kennung = "unberührt";
  EXPECT_FALSE(GetObjectMetadata("DE-99", record));
  EXPECT_EQ(record.Kennung, "unberührt");
  ASSERT_TRUE(GetObjectMetadata("DE-12", record));
  EXPECT_EQ(record.TID, 3);
  EXPECT_EQ(record.KartulID, 12);
  EXPECT_EQ(record.Vorgangsnummer, 4711);
  EXPECT_EQ(record.Schreibend, 1);
  EXPECT_EQ(record.Changed, "UPDATE");
  EXPECT_EQ(record.Kennung, "DE-12");
}

TEST_F(TransActToolsTest, StatusListsAndCountsFilterByTransactionOnlyWhenGiven) {
  Fill();
  auto kennungen = [](const TObjectMetadataList& list) {
    Rows result;
    for (const TObjectMetadata& row : list) result.push_back(row.Kennung);
    return result;
  };
  EXPECT_EQ(kennungen(GetObjectsByStatus(1, -1)), (Rows{"DE-12", "DE-13", "DE-14"}));
  EXPECT_EQ(kennungen(GetObjectsByStatus(1, 5)), (Rows{"DE-14"}));
  EXPECT_EQ(kennungen(GetObjectsByStatus(1, 0)), Rows{});
  EXPECT_EQ(kennungen(GetChangedObjects(-1)), (Rows{"DE-12", "DE-14"}));
  EXPECT_EQ(kennungen(GetChangedObjects(3)), (Rows{"DE-12"}));
  EXPECT_EQ(CountObjectsByStatus(1, -1), 3);
  EXPECT_EQ(CountObjectsByStatus(1, 3), 2);
  EXPECT_EQ(CountObjectsByStatus(7, -1), 0);
  EXPECT_EQ(CountChangedObjects(-1), 2);
  EXPECT_EQ(CountChangedObjects(5), 1);
  EXPECT_EQ(CountTransactions(), 2);
  const TObjectMetadataList deleted = GetObjectsByStatus(3, -1);
  ASSERT_EQ(deleted.size(), 1u);
  EXPECT_EQ(deleted[0].Originalkennung, "DE-16");
  EXPECT_EQ(deleted[0].KartulID, 16);
}

TEST_F(TransActToolsTest, SavingInsertsWithTheIdentifierAsOriginalAndUpdatesInPlace) {
  Fill();
  TObjectMetadata record{5, 20, -1, 2, "DE-20", "NEW", "wird ignoriert"};
  SaveObjectMetadata(record);
  record.Changed = "UPDATE";
  record.Schreibend = 1;
  record.Originalkennung = "DE-20";
  SaveObjectMetadata(record);
  const Rows rows = ListRows(ProjectDir());
  EXPECT_EQ(rows.back(), "DE-20 5 1 UPDATE DE-20");
  EXPECT_EQ(rows.size(), 7u) << "the second save updated the row";
  auto raw = ReadDbf(ProjectDir() + "TA_LIST.dbf");
  EXPECT_EQ(raw.back()["VGNR"], "-1");
  EXPECT_EQ(raw.back()["KARTULID"], "20");
}

TEST_F(TransActToolsTest, SavingARowWhoseIdentifierWasSwitchedUpdatesIt) {
  Fill();
  AddRow(3, 30, 1, "DE-31", "UPDATE", "DE-30");  // switched from DE-30 to DE-31
  SaveObjectMetadata({3, 30, 4711, 3, "DE-31", "DELETE", "DE-30"});
  const Rows rows = ListRows(ProjectDir());
  EXPECT_EQ(std::count(rows.begin(), rows.end(), "DE-31 3 3 DELETE DE-30"), 1);
  EXPECT_EQ(rows.size(), 7u) << "no second row for the same identifier";
}

TEST_F(TransActToolsTest, RenamingMarksOnlyCheckedOutRowsAsChanged) {
  Fill();
  UpdateKennungInTransactionList("DE-15", "DE-150");
  UpdateKennungInTransactionList("DE-13", "DE-130");
  UpdateKennungInTransactionList("DE-99", "DE-990");
  const Rows rows = ListRows(ProjectDir());
  EXPECT_EQ(rows[2], "DE-130 3 1 UPDATE DE-13");
  EXPECT_EQ(rows[4], "DE-150 5 2 NEW DE-15");
  EXPECT_EQ(rows.size(), 6u);
  UpdateChangedFlag("DE-11", "UPDATE");
  DeleteTransactionListRow("DE-150");
  EXPECT_EQ(ListRows(ProjectDir())[0], "DE-11 3 0 UPDATE DE-11");
  EXPECT_EQ(ListRows(ProjectDir()).size(), 5u);
}

TEST_F(TransActToolsTest, QuotesInValuesAreStoredAndFound) {
  Fill();
  SaveObjectMetadata({3, 40, -1, 2, "O'Brien-1", "NEW", ""});
  EXPECT_TRUE(KennungInTransactionList("O'Brien-1"));
  EXPECT_EQ(GetObjectStatus("O'Brien-1"), 2);
  SetFreeKennung(3, "it's");
  EXPECT_TRUE(KennungIsValid("it's", 3));
  DeleteFreeKennung("it's");
  EXPECT_FALSE(KennungIsValid("it's", 3));
  EXPECT_TRUE(Messages().empty());
}

TEST_F(TransActToolsTest, ThePoolGivesAndTakesIdentifiers) {
  Fill();
  EXPECT_EQ(GetFreeKennungen(5), (Rows{"DE-100", "OEK-7"}));
  EXPECT_TRUE(KennungIsValid("DE-100", 3));
  EXPECT_FALSE(KennungIsValid("OEK-7", 3));
  EXPECT_FALSE(KennungListIsEmpty());

  SetFreeKennung(0, "DE-0");
  SetFreeKennung(-1, "DE-0");
  SetFreeKennung(3, "DE-100");  // the pool of 3 already holds it
  SetFreeKennung(3, "DE-101");
  EXPECT_EQ(PoolRows(ProjectDir()), (Rows{"3 DE-100", "5 DE-100", "5 OEK-7", "3 DE-101"}));

  DeleteFreeKennung("DE-100");
  EXPECT_EQ(PoolRows(ProjectDir()), (Rows{"5 OEK-7", "3 DE-101"}))
      << "an identifier leaves the pools of all transactions";
  DeleteFreeKennung("OEK-7");
  DeleteFreeKennung("DE-101");
  EXPECT_TRUE(KennungListIsEmpty());
}

TEST_F(TransActToolsTest, FittingIdentifiersFollowTheClassPrefix) {
  Fill();
  AddFree(5, "de-101");
  EXPECT_EQ(GetFittingFreeKennungen("FFH", 5, "NRW"), (Rows{"DE-100"}));
  EXPECT_EQ(GetFittingFreeKennungen("OEK", 5, ""), (Rows{"OEK-7"}));
  EXPECT_EQ(GetFittingFreeKennungen("FFH", 5, "BRB"), (Rows{"DE-100", "OEK-7", "de-101"}));
  EXPECT_EQ(GetFittingFreeKennungen("", 5, "NRW"), (Rows{"DE-100", "OEK-7", "de-101"}));
}

TEST_F(TransActToolsTest, BrbKeepsEveryIdentifier) {
  Fill();
  SetApplicatIni("Config", "Bundesland", "BRB");
  EXPECT_TRUE(KennungIsValid("in-keinem-Pool", 3));
}

TEST_F(TransActToolsTest, TransactionsInTableOrderWithTheirEntries) {
  Fill();
  const TTransactionMetadataList list = GetTransactions();
  ASSERT_EQ(list.size(), 2u);
  EXPECT_EQ(list[1].ID, 5);
  EXPECT_EQ(list[1].Name, "Eifel");
  EXPECT_EQ(list[1].Owner, "Herr Busch");
  const TNumberedStringList names = GetTransactionNames();
  ASSERT_EQ(names.size(), 2u);
  EXPECT_EQ(names[0].Text, "3 - Ruhrauen");
  EXPECT_EQ(names[0].Number, 3);
  EXPECT_EQ(DialogTools::TIDOfEntry(names[1].Text), 5);
  EXPECT_EQ(DialogTools::TIDOfEntry(" 12 - Name-mit-Strich"), 12);
  EXPECT_EQ(DialogTools::TIDOfEntry("kein Eintrag"), -1);
}

TEST_F(TransActToolsTest, AFailedCommandThrowsTheDriversTextAndShowsNothing) {
  Fill();
  const std::vector<std::string> before = ListRows(ProjectDir());
  TObjectMetadata row;
  row.TID = 3;
  row.Kennung = std::string(51, 'X');  // one character more than KENNUNG holds
  try {
    SaveObjectMetadata(row);
    ADD_FAILURE() << "an identifier longer than its field was stored";
  } catch (const platform::db::DbError& e) {
    EXPECT_NE(std::string(e.what()).find("KENNUNG"), std::string::npos) << e.what();
  }
  EXPECT_TRUE(Messages().empty()) << "the rule that issued the command tells the mapper";
  EXPECT_EQ(ListRows(ProjectDir()), before);
  EXPECT_EQ(GetObjectStatus("DE-11"), 0) << "the connection still works";
}

TEST_F(TransActToolsTest, TheConnectionServesOnlyItsProject) {
  Fill();
  EXPECT_EQ(GetObjectStatus("DE-11"), 0);
  const std::string other = Root() + "/zweites/";
  hostsim::Host::CreateProject(other);
  host().OpenProject(other);
  EXPECT_EQ(GetObjectStatus("DE-11"), -1);
  CreateTransactionTables();
  AddTransaction(9, "Anderes Projekt");
  EXPECT_EQ(CountTransactions(), 1);
  host().OpenProject(ProjectDir());
  EXPECT_EQ(CountTransactions(), 2) << "back in the first project, its own tables";
}

TEST_F(TransActToolsTest, TheTableFilesAreThoseOfTheProjectOpenNow) {
  Fill();
  EXPECT_EQ(TransactionTablePath("TA_LIST"), ProjectDir() + "TA_LIST.dbf");
  EXPECT_TRUE(TransactionListExists());
  const std::string other = Root() + "/zweites/";
  hostsim::Host::CreateProject(other);
  host().OpenProject(other);
  EXPECT_EQ(TransactionTablePath("TA_LIST"), other + "TA_LIST.dbf");
  EXPECT_EQ(TransactionTablePath("TA_KL"), other + "TA_KL.dbf");
  EXPECT_FALSE(TransactionListExists()) << "the second project has no transaction data";
  EXPECT_FALSE(KennungListExists());
  CreateTransactionList("TA_LIST");
  EXPECT_TRUE(std::filesystem::exists(other + "TA_LIST.dbf"));
  EXPECT_TRUE(TransactionListExists());
  EXPECT_FALSE(KennungListExists());

  host().OpenProject(ProjectDir());
  EXPECT_EQ(TransactionTablePath("TA_KL"), ProjectDir() + "TA_KL.dbf");
  EXPECT_TRUE(KennungListExists());
  std::filesystem::remove(ProjectDir() + "TA_KL.dbf");
  EXPECT_FALSE(KennungListExists()) << "whether a file is there is looked at every time";

  host().CloseProject();
  EXPECT_EQ(TransactionTablePath("TA_LIST"), "");
  EXPECT_FALSE(TransactionListExists());
  EXPECT_EQ(GetObjectStatus("DE-11"), -1);
  host().OpenProject(ProjectDir());
}

TEST_F(TransActToolsTest, AListWrittenInOtherLettersIsFound) {
  CreateTransactionTables();
  AddRow(3, 11, 1, "DE-11");
  context::Current().Store().CloseAll();
  std::filesystem::rename(ProjectDir() + "TA_LIST.dbf", ProjectDir() + "ta_list.DBF");
  EXPECT_TRUE(TransactionListExists());
  EXPECT_EQ(GetObjectStatus("DE-11"), 1);
}

TEST_F(TransActToolsTest, AQueryOnADamagedListIsAnError) {
  std::filesystem::create_directories(ProjectDir());
  std::ofstream(ProjectDir() + "TA_LIST.dbf", std::ios::binary) << std::string(40, '\x03');
  EXPECT_THROW(GetObjectStatus("DE-1"), platform::db::DbError);
}

}  // namespace
