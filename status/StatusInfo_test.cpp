// Status display and selection against a real project.
#include "status/StatusInfo.h"

#include <unistd.h>

#include <cstdlib>

#include "context/BuildIdentity.h"
#include "context/PluginContext.h"
#include "host/Tools.h"
#include "tests/support/ProjectFixture.h"

namespace {

using namespace StatusInfo;

class StatusTest : public testsupport::ProjectFixture {
 protected:
  void Fill() {
    CreateTransactionTables();
    AddTransaction(3, "A");
    AddTransaction(5, "B");
    int n = 0;
    for (int status : {0, 1, 2, 3, 7}) {
      const std::string kennung = "DE-S" + std::to_string(status);
      AddRow(3, ++n, status, kennung);
      ids_[status] = MakeObject("FFH", kennung);
    }
    AddRow(5, 9, 2, "DE-N5", "NEW");
    ids_[9] = MakeObject("FFH", "DE-N5");
  }
  std::map<int, int32_t> ids_;
};

TEST(StatusStringTest, WordsOfTheBuilds) {
  SelectBuild(Build::kVD1TransAction2010);
  EXPECT_EQ(GetStatusString(0), "lesend");
  EXPECT_EQ(GetStatusString(3), "gelöscht");
  EXPECT_EQ(GetStatusString(-1), "Unbekannt");
  SelectBuild(Build::kTransactHooks);
  EXPECT_EQ(GetStatusString(1), "Schreibend");
  EXPECT_EQ(GetStatusString(3), "Gelöscht");
  SelectBuild(Build::kVD1TransAction2010);
}

TEST_F(StatusTest, MessagesForEachStatus) {
  Fill();
  Answer("message OK\nmessage OK\nmessage OK\nmessage OK\nmessage OK");
  for (int status : {0, 1, 2, 3, 7}) {
    host().Activate(ids_[status]);
    DoShowStatusInfo();
  }
  EXPECT_EQ(Messages(),
            (std::vector<std::string>{
                "Das Objekt DE-S0 ist in der Transaktion 3\\n\\rmit dem Status 'lesend' für die "
                "Bearbeitung gesperrt.",
                "Das Objekt DE-S1 ist in der Transaktion 3\\n\\rmit dem Status 'schreibend' zur "
                "Bearbeitung freigegeben.",
                "Das Objekt DE-S2 ist in der Transaktion 3\\n\\rmit dem Status 'neu' aufgenomen.",
                "Das Objekt DE-S3 ist in der Transaktion 3\\n\\r",
                "Das Objekt DE-S7 ist in der Transaktion 3\\n\\r"}));
  EXPECT_NE(Shown().find("message information"), std::string::npos);
}

TEST_F(StatusTest, EarlierBuildsSayGesperrtForEveryStatus) {
  Fill();
  SelectBuild(Build::kVD1TransAction);
  Answer("message OK");
  host().Activate(ids_[2]);
  DoShowStatusInfo();
  EXPECT_EQ(Messages().back(),
            "Das Objekt DE-S2 ist in der Transaktion 3\\n\\rmit dem Status 'Neu' gesperrt.");
}

TEST_F(StatusTest, WarningsWithoutObjectListOrRow) {
  Answer(R"(message OK "Es konnte kein aktives Objekt ermittelt werden!"
message OK "Es konnte keine Transaktionsliste gefunden werden!"
message OK "Das Objekt DE-X ist nicht in der Transaktionsliste eingetragen!")");
  DoShowStatusInfo();  // nothing is active in a fresh project
  host().Activate(MakeObject("FFH", "DE-X"));
  DoShowStatusInfo();
  CreateTransactionTables();
  DoShowStatusInfo();
}

TEST_F(StatusTest, SelectionByStatusSpansTransactionsAndIsRemembered) {
  Fill();
  Answer(R"(form TformGetStatus
select RadioGroup1 "neu"
click BtnWeiter)");
  DoSelectByStatus();
  EXPECT_EQ(host().Selection(), (std::vector<int32_t>{ids_[2], ids_[9]}));
  EXPECT_EQ(host().UpdateDepth(), 0);
  EXPECT_EQ(Tools::GetRegIntEntry(VandraRegKey(), "VD2Transaktionen", "SelectStatus", 0), 2);

  TformGetStatus again;
  EXPECT_EQ(again.RadioGroup1.item_index, 2) << "opens on the last choice";

  Answer(R"(form TformGetStatus
select RadioGroup1 #0
click btnCancel)");
  DoSelectByStatus();
  EXPECT_EQ(Tools::GetRegIntEntry(VandraRegKey(), "VD2Transaktionen", "SelectStatus", 0), 2)
      << "cancelling keeps the stored choice";
  EXPECT_EQ(host().Selection().size(), 2u);
}

TEST_F(StatusTest, NoObjectsWithTheStatus) {
  CreateTransactionTables();
  AddRow(3, 1, 1, "DE-1");
  Answer(R"(form TformGetStatus
click BtnWeiter
message OK "Es gibt keine Objekte mit dem Status lesend.")");
  DoSelectByStatus();
}

TEST_F(StatusTest, AStoredChoiceOutOfRangeOpensOnTheFirstItem) {
  Tools::SetRegIntEntry(VandraRegKey(), "VD2Transaktionen", "SelectStatus", 9);
  TformGetStatus form;
  EXPECT_EQ(form.RadioGroup1.item_index, 0);
  EXPECT_EQ(form.RadioGroup1.items[0], "lesend gesperrt");
}

}  // namespace

namespace {

// The status services never look for the transaction list in the program's
// working folder: without a project there is none.
TEST_F(StatusTest, WithoutAProjectTheWorkingFolderIsNotLookedAt) {
  Fill();
  char* saved = getcwd(nullptr, 0);
  ASSERT_EQ(chdir(ProjectDir().c_str()), 0) << "TA_LIST.dbf lies in the working folder";
  host().CloseProject();
  Answer(
      "form TformGetStatus\nclick BtnWeiter\n"
      "message OK \"Es konnte keine Transaktionsliste gefunden werden!\"");
  DoSelectByStatus();
  ASSERT_EQ(chdir(saved), 0);
  std::free(saved);
  host().OpenProject(ProjectDir());
}

}  // namespace
