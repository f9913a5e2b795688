// The lifecycle rules row by row: every event against a real project with
// transaction tables, the rows of TA_LIST and TA_KL read back with an
// independent reader, dialogs answered by script.
#include "transaction/ObjectLifecycle.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>

#include "context/PluginContext.h"
#include "host/Tools.h"
#include "host/ktapi32.h"
#include "platform/env/FaultEnv.h"
#include "tests/support/ProjectFixture.h"
#include "transaction/KennungsTools.h"
#include "transaction/TransActTools.h"

namespace {

using testsupport::ListRows;
using testsupport::PoolRows;
using Rows = std::vector<std::string>;
using namespace ObjectLifecycle;

class LifecycleTest : public testsupport::ProjectFixture {
 protected:
  void SetUp() override {
    ProjectFixture::SetUp();
    CreateTransactionTables();
    AddTransaction(3, "Ruhrauen");
    AddTransaction(5, "Eifel");
    AddFree(3, "DE-100");
    AddFree(3, "DE-101");
    AddFree(3, "OEK-1");
    AddFree(5, "DE-500");
  }

  // The host's create request, and the façade's view of it that the hook
  // hands to the rule.
  struct Request {
    char buffer[51] = {};
    TGetNewKennung request{buffer, 50, 9};
    host::KennungRequest view =
        *host::KennungRequest::FromHookArgument(reinterpret_cast<intptr_t>(&request));
    explicit Request(const char* proposal) { std::strcpy(buffer, proposal); }
  };

  // The mapper creates an object of the class: the plug-in chooses, the
  // host creates under the request's identifier, the plug-in records it.
  int32_t Create(const std::string& klasse, const char* proposal, bool* allowed = nullptr) {
    Request r(proposal);
    const bool ok = BeforeCreateObjectProc(ClassId(klasse), r.view, 3);
    if (allowed != nullptr) *allowed = ok;
    if (!ok) return 0;
    const int32_t id = MakeObject(klasse, r.buffer);
    InsertInTransActionListProc(1057, id, 0);
    last_use_dialog_ = r.request.UseDialog;
    return id;
  }

  int last_use_dialog_ = -1;
};

TEST_F(LifecycleTest, CreationTakesTheChosenTransactionAndIdentifier) {
  Answer(R"(form TFormGetTIDAndKennung
select lbKennungen "DE-101"
click BtnOK)");
  const int32_t id = Create("FFH", "FFH-proposal");
  EXPECT_EQ(host().FindObject(id)->kennung, "DE-101");
  EXPECT_EQ(last_use_dialog_, 0);
  EXPECT_EQ(ListRows(ProjectDir()), (Rows{"DE-101 3 2 NEW DE-101"}));
  EXPECT_EQ(PoolRows(ProjectDir()), (Rows{"3 DE-100", "3 OEK-1", "5 DE-500"}));
  // The chooser listed only identifiers fitting the class, sorted.
  EXPECT_NE(Shown().find("DE-100"), std::string::npos);
  EXPECT_EQ(Shown().find("\"OEK-1\""), std::string::npos) << Shown();
}

TEST_F(LifecycleTest, CreationInAnotherTransactionRefillsTheIdentifiers) {
  Answer(R"(form TFormGetTIDAndKennung
select lbTransActions "5 - Eifel"
select lbKennungen "DE-500"
click BtnOK)");
  Create("FFH", "x");
  EXPECT_EQ(ListRows(ProjectDir()), (Rows{"DE-500 5 2 NEW DE-500"}));
}

TEST_F(LifecycleTest, AbbrechenCancelsAndKeineTidKeepsTheIdentifierWithoutRow) {
  Answer("form TFormGetTIDAndKennung\nclick BtnCancel");
  bool allowed = true;
  Create("FFH", "x", &allowed);
  EXPECT_FALSE(allowed);

  Answer(R"(form TFormGetTIDAndKennung
select lbKennungen "DE-100"
click BtnNoTID)");
  const int32_t id = Create("FFH", "x", &allowed);
  EXPECT_TRUE(allowed);
  EXPECT_EQ(host().FindObject(id)->kennung, "DE-100");
  EXPECT_EQ(State().TargetTID, -1);
  EXPECT_TRUE(ListRows(ProjectDir()).empty());
  EXPECT_EQ(PoolRows(ProjectDir()).size(), 4u) << "the identifier stays in the pool";
}

TEST_F(LifecycleTest, ClassWithoutFittingIdentifiersWarnsInTheDialog) {
  Answer(
      R"(message OK "Es sind keine Kennungen für die Zieltransaktion und die gewählte Objektklasse definiert!"
form TFormGetTIDAndKennung
click BtnNoTID)");
  bool allowed = false;
  const int32_t id = Create("OEK_TF", "OEKTF-host", &allowed);
  ASSERT_TRUE(allowed);
  EXPECT_EQ(last_use_dialog_, 1) << "no identifier selected: the host's own handling";
  EXPECT_EQ(host().FindObject(id)->kennung, "OEKTF-host");
}

TEST_F(LifecycleTest, WithoutPoolTheHostHandlesTheIdentifier) {
  std::filesystem::remove(ProjectDir() + "TA_KL.dbf");
  Answer("message OK \"Transaktions- oder Kennungsliste nicht gefunden!\"");
  Create("FFH", "DE-host");
  EXPECT_EQ(last_use_dialog_, 1);
  EXPECT_TRUE(ListRows(ProjectDir()).empty());
}

TEST_F(LifecycleTest, WithoutTransactionsTheProposalIsSettled) {
  TransActTools::OpenTransactionConnection().Execute("delete from TA_ID");
  const int32_t id = Create("FFH", "DE-host");
  EXPECT_EQ(last_use_dialog_, 0);
  EXPECT_EQ(host().FindObject(id)->kennung, "DE-host");
  EXPECT_TRUE(ListRows(ProjectDir()).empty());
}

TEST_F(LifecycleTest, WithoutTransactionListCreationGoesOnUnrecorded) {
  std::filesystem::remove(ProjectDir() + "TA_LIST.dbf");
  State().TargetTID = 3;
  EXPECT_FALSE(InsertInTransActionListProc(1057, MakeObject("FFH", "DE-1"), 0));
}

TEST_F(LifecycleTest, SecondGenerationModeAsksNothingWithOneTransaction) {
  SetApplicatIni("VANDRA II", "VD2Transaktion", "1");
  TransActTools::OpenTransactionConnection().Execute("delete from TA_ID where TID = 5");
  const int32_t id = Create("FFH", "DE-host");
  EXPECT_EQ(last_use_dialog_, 0);
  EXPECT_EQ(host().FindObject(id)->kennung, "DE-host");
  EXPECT_EQ(ListRows(ProjectDir()), (Rows{"DE-host 3 2 NEW DE-host"}));
}

TEST_F(LifecycleTest, CreationUnderTheIdentifierOfAnotherObjectsRowLeavesTheRowAlone) {
  // A read-only object deleted in the host keeps its row; the host proposes
  // its identifier for the next object of the class.
  AddRow(3, 77, 0, "NSG-1");
  SetApplicatIni("VANDRA II", "VD2Transaktion", "1");
  Answer(R"(form TFormGetTID
select lbTID "5 - Eifel"
click BtnOK
message OK "Die Kennung NSG-1 ist bereits in der Transaktionsliste eingetragen. Das Objekt wird keiner Transaktion zugewiesen.")");
  const int32_t id = Create("NSG", "NSG-1");
  EXPECT_EQ(host().FindObject(id)->kennung, "NSG-1") << "the host's creation stands";
  EXPECT_EQ(ListRows(ProjectDir()), (Rows{"NSG-1 3 0 IGNORED NSG-1"}));
  EXPECT_EQ(PoolRows(ProjectDir()).size(), 4u);
}

TEST_F(LifecycleTest, DeletedCheckedOutObjectCreatedAgainIsAnUpdate) {
  AddRow(3, 1, 3, "DE-7", "DELETE");
  AddFree(3, "DE-7");
  State().TargetTID = 3;
  InsertInTransActionListProc(1057, MakeObject("FFH", "DE-7"), 0);
  EXPECT_EQ(ListRows(ProjectDir()), (Rows{"DE-7 3 1 UPDATE DE-7"}));
  EXPECT_EQ(PoolRows(ProjectDir()).size(), 4u) << "DE-7 left the pool";
}

TEST_F(LifecycleTest, CreationUnderAnIdentifierWithARowKeepsItsOriginal) {
  // The row of a deleted checked-out object entered under another identifier.
  AddRow(5, 1, 3, "DE-8", "DELETE", "DE-8alt");
  State().TargetTID = 3;
  InsertInTransActionListProc(1057, MakeObject("FFH", "DE-8"), 0);
  EXPECT_EQ(ListRows(ProjectDir()), (Rows{"DE-8 3 1 UPDATE DE-8alt"}));
}

TEST_F(LifecycleTest, CreationWithoutTargetChangesNoRow) {
  AddRow(5, 1, 1, "DE-8");
  State().TargetTID = -1;
  EXPECT_FALSE(InsertInTransActionListProc(1057, MakeObject("FFH", "DE-8"), 0));
  EXPECT_EQ(ListRows(ProjectDir()), (Rows{"DE-8 5 1 IGNORED DE-8"}));
}

TEST_F(LifecycleTest, EditsMarkOnlyUnchangedRows) {
  const Rows marks = {"IGNORED", "NEW", "UPDATE", "DELETE"};
  Rows expected;
  int n = 0;
  for (const std::string& mark : marks) {
    const std::string kennung = "DE-" + std::to_string(++n);
    AddRow(3, n, 0, kennung, mark);
    host().Activate(MakeObject("FFH", kennung));
    SetChangedFlag();
    expected.push_back(kennung + " 3 0 " + (mark == "IGNORED" ? "UPDATE" : mark) + " " + kennung);
  }
  host().Activate(MakeObject("FFH", "DE-ohne-Zeile"));
  SetChangedFlag();
  EXPECT_EQ(ListRows(ProjectDir()), expected);
}

TEST_F(LifecycleTest, GeometryOfReadOnlyObjectsIsVetoed) {
  AddRow(3, 1, 0, "DE-1");
  AddRow(3, 2, 1, "DE-2");
  Answer(
      "message OK \"Das Objekt ist lesend gesperrt. Seine Geometrie darf nicht verändert "
      "werden!\"");
  EXPECT_FALSE(CheckStatus(MakeObject("FFH", "DE-1")));
  EXPECT_TRUE(CheckStatus(MakeObject("FFH", "DE-2")));
  EXPECT_TRUE(CheckStatus(MakeObject("FFH", "DE-3"))) << "not in the list";
}

TEST_F(LifecycleTest, DeletionByStatus) {
  AddRow(3, 1, 1, "DE-1");
  AddRow(3, 2, 2, "DE-2", "NEW");
  AddRow(5, 3, 3, "DE-3", "DELETE");
  AddRow(3, 4, 0, "DE-4");
  for (const char* kennung : {"DE-1", "DE-2", "DE-3", "DE-4", "DE-5"}) {
    const int32_t id = MakeObject("FFH", kennung);
    EXPECT_TRUE(DeleteFromTransActionListProc(id));
  }
  EXPECT_EQ(ListRows(ProjectDir()),
            (Rows{"DE-1 3 3 DELETE DE-1", "DE-3 5 3 DELETE DE-3", "DE-4 3 0 IGNORED DE-4"}));
  EXPECT_EQ(PoolRows(ProjectDir()),
            (Rows{"3 DE-100", "3 DE-101", "3 OEK-1", "5 DE-500", "3 DE-1", "3 DE-2", "5 DE-3"}));
  // Deleting the deleted object again returns nothing twice.
  DeleteFromTransActionListProc(MakeObject("FFH", "DE-3b"));
  EXPECT_EQ(PoolRows(ProjectDir()).size(), 7u);
}

TEST_F(LifecycleTest, DeletionDuringAnImportLeavesTheList) {
  AddRow(3, 1, 1, "DE-1");
  State().ImportRunning = true;
  DeleteFromTransActionListProc(MakeObject("FFH", "DE-1"));
  EXPECT_EQ(ListRows(ProjectDir()), (Rows{"DE-1 3 1 IGNORED DE-1"}));
}

TEST_F(LifecycleTest, ASwitchedObjectThatIsDeletedIsMarkedDelete) {
  AddRow(3, 1, 1, "DE-101", "UPDATE", "DE-1");
  DeleteFromTransActionListProc(MakeObject("FFH", "DE-101"));
  EXPECT_EQ(ListRows(ProjectDir()), (Rows{"DE-101 3 3 DELETE DE-1"}));
}

TEST_F(LifecycleTest, NewObjectDeletedAndCreatedAgainGetsAFreshRow) {
  AddRow(3, 1, 2, "DE-9", "NEW");
  const int32_t first = MakeObject("FFH", "DE-9");
  DeleteFromTransActionListProc(first);
  host().DeleteObject(first);
  EXPECT_TRUE(ListRows(ProjectDir()).empty());
  State().TargetTID = 3;
  InsertInTransActionListProc(1057, MakeObject("FFH", "DE-9b"), 0);
  host().RenameObject(host().IdOf("DE-9b"), "DE-9");
  InsertInTransActionListProc(1057, host().IdOf("DE-9"), 0);
  EXPECT_EQ(ListRows(ProjectDir()), (Rows{"DE-9b 3 2 NEW DE-9b", "DE-9 3 2 NEW DE-9"}));
}

TEST_F(LifecycleTest, SwitchGivesTheObjectAFreeIdentifier) {
  AddRow(3, 1, 1, "DE-1");
  AddRow(3, 2, 2, "DE-2", "NEW");
  const int32_t checked_out = MakeObject("FFH", "DE-1");
  const int32_t created = MakeObject("FFH", "DE-2");
  host().Activate(checked_out);
  Answer(R"(form TformGetKennung
select lbKennungen "DE-100"
click BtnOK)");
  SwitchKennung();
  host().Activate(created);
  Answer(R"(form TformGetKennung
select lbKennungen "DE-1"
click BtnOK)");
  SwitchKennung();
  EXPECT_EQ(host().FindObject(checked_out)->kennung, "DE-100");
  EXPECT_EQ(host().FindObject(created)->kennung, "DE-1");
  EXPECT_EQ(ListRows(ProjectDir()), (Rows{"DE-100 3 1 UPDATE DE-1", "DE-1 3 2 NEW DE-2"}));
  EXPECT_EQ(PoolRows(ProjectDir()), (Rows{"3 DE-101", "3 OEK-1", "5 DE-500", "3 DE-2"}));
  EXPECT_EQ(host().Selection(), (std::vector<int32_t>{created}));
  EXPECT_FALSE(State().blnChangingKennungInternal);
}

TEST_F(LifecycleTest, SwitchIsRefusedWhereItCannotBe) {
  AddRow(3, 1, 0, "DE-1");
  AddRow(3, 2, 3, "DE-2", "DELETE");
  Answer(R"(message OK "Kein aktives Objekt gefunden!"
message OK "Es konnte keine Transaktion für das Objekt ermittelt werden!"
message OK "Das Objekt muss schreibend gesperrt oder neu sein!"
message OK "Das Objekt muss schreibend gesperrt oder neu sein!")");
  SwitchKennung();  // nothing is active in a fresh project
  host().Activate(MakeObject("FFH", "DE-9"));
  SwitchKennung();
  host().Activate(MakeObject("FFH", "DE-1"));
  SwitchKennung();
  host().Activate(MakeObject("FFH", "DE-2"));
  SwitchKennung();
  EXPECT_EQ(ListRows(ProjectDir()), (Rows{"DE-1 3 0 IGNORED DE-1", "DE-2 3 3 DELETE DE-2"}));
}

TEST_F(LifecycleTest, SwitchWithoutFittingIdentifiersWarnsAndChangesNothing) {
  AddRow(5, 1, 1, "OEK-9");
  host().Activate(MakeObject("OEK", "OEK-9"));
  Answer("message OK \"Es sind keine gültigen Kennungen für die Zieltransaktion definiert!\"");
  SwitchKennung();
  EXPECT_EQ(host().FindObject(host().IdOf("OEK-9"))->kennung, "OEK-9");
  EXPECT_EQ(ListRows(ProjectDir()), (Rows{"OEK-9 5 1 IGNORED OEK-9"}));
}

TEST_F(LifecycleTest, ChoosersTellAbortFromNotTaking) {
  Answer("form TformGetKennung\nselect lbKennungen #0\nclick Button1");
  EXPECT_EQ(GetFreeKennung("DE-1", 3, MakeObject("FFH", "DE-1")), "-1");
  Answer("form TformGetKennung\nselect lbKennungen #0\nclick BtnCancel");
  EXPECT_EQ(GetFreeKennung("DE-1", 3, host().IdOf("DE-1")), "");
  Answer("form TformGetKennung\nclick BtnOK");
  EXPECT_EQ(GetFreeKennung("DE-1", 3, host().IdOf("DE-1")), "") << "nothing selected";
  host().SetCurrentClass(ClassId("OEK_TF"));
  Answer("message OK");
  EXPECT_EQ(GetNewKennung("x", 3, "NRW"), "-1") << "an empty list aborts the assignment";
}

TEST_F(LifecycleTest, CollectingForAnAssignmentSkipsCheckedOutObjects) {
  AddRow(3, 1, 0, "DE-0");
  AddRow(3, 2, 1, "DE-1");
  AddRow(3, 3, 2, "DE-2", "NEW");
  AddRow(3, 4, 3, "DE-3", "DELETE");
  CreateListToAssign("DE-2");
  EXPECT_FALSE(State().ListToAssign) << "outside an assignment nothing is collected";
  State().ListToAssign = std::make_unique<std::vector<std::string>>();
  for (const char* kennung : {"DE-0", "DE-1", "DE-2", "DE-3", "DE-4"}) CreateListToAssign(kennung);
  EXPECT_EQ(*State().ListToAssign, (Rows{"DE-2", "DE-3", "DE-4"}));
}

TEST_F(LifecycleTest, AssigningKeepsFreeIdentifiersAndAsksForOthers) {
  AddRow(5, 3, 2, "DE-500x", "NEW", "DE-5orig");
  AddFree(3, "DE-102");
  MakeObject("FFH", "DE-100");
  MakeObject("FFH", "DE-500x");
  MakeObject("FFH", "DE-7");
  State().TargetTID = 3;
  EXPECT_TRUE(AssignObject("DE-100")) << "free in the target's pool: kept";
  Answer(R"(form TformGetKennung
select lbKennungen "DE-101"
click BtnOK)");
  EXPECT_TRUE(AssignObject("DE-500x"));
  Answer("form TformGetKennung\nclick Button1");
  EXPECT_FALSE(AssignObject("DE-7")) << "Abbrechen stops the assignment";
  EXPECT_EQ(ListRows(ProjectDir()), (Rows{"DE-101 3 2 NEW DE-5orig", "DE-100 3 2 NEW DE-100"}));
  EXPECT_EQ(host().IdOf("DE-101"), 2) << "the object got the chosen identifier";
  EXPECT_EQ(PoolRows(ProjectDir()), (Rows{"3 OEK-1", "5 DE-500", "3 DE-102", "5 DE-500x"}));
  EXPECT_FALSE(State().blnChangingKennungInternal);
}

TEST_F(LifecycleTest, BrbWithoutPoolComposesTheIdentifier) {
  SetApplicatIni("Config", "Bundesland", "BRB");
  TransActTools::OpenTransactionConnection().Execute("delete from TA_KL");
  TransActTools::OpenTransactionConnection().Execute("delete from TA_ID where TID = 5");
  Answer(R"(form TFormGetKennungBB
type EditAG "AB"
type EditNummer "7"
type EditKarte "3847no"
click btnOK)");
  const int32_t id = Create("BIO", "host");
  const std::string kennung = host().FindObject(id)->kennung;
  EXPECT_EQ(kennung.size(), 18u);
  EXPECT_EQ(kennung.substr(0, 2), "AB");
  EXPECT_EQ(kennung.substr(4), "007-3847NO0001");
  EXPECT_EQ(ListRows(ProjectDir()), (Rows{kennung + " 3 2 NEW " + kennung}));
  EXPECT_EQ(Tools::ReadStringFromProjectIni("BRB", "Kartenblatt", ""), "3847NO");
}

TEST_F(LifecycleTest, BrbChooserFiltersByMapSheet) {
  SetApplicatIni("Config", "Bundesland", "BRB");
  AddFree(3, "BB-3245NO-0001");
  AddFree(3, "BB-3245NW-0001");
  Answer(R"(form TFormGetTIDAndKennungNeu
type EditTKBlatt "3245NO"
check cbAktiviereFilter
click btnRequery
select lbKennungen #0
click BtnOK)");
  const int32_t id = Create("BIO", "host");
  EXPECT_EQ(host().FindObject(id)->kennung, "BB-3245NO-0001");
  EXPECT_EQ(Tools::ReadStringFromProjectIni("Kennungsliste", "TK-Blatt", ""), "3245NO");
  EXPECT_EQ(Tools::ReadStringFromProjectIni("Kennungsliste", "FilterAktiv", ""), "1");
  // The next creation offers the same filter again.
  ClearShown();
  Answer(R"(message OK
form TFormGetTIDAndKennungNeu
click BtnCancel
form TFormGetTID
click BtnCancel
form TFormGetKennungBB
click btnStandard)");
  bool allowed = true;
  Create("BIO", "host", &allowed);
  EXPECT_FALSE(allowed);
  EXPECT_NE(Shown().find("3245NO"), std::string::npos) << Shown();
}

// ---- One row per identifier, and no failure taken for success ----------------

TEST_F(LifecycleTest, AnObjectAssignedOntoADeletedRowsIdentifierTakesTheRowOver) {
  AddRow(3, 8, 3, "DE-8", "DELETE", "DE-8orig");
  AddFree(3, "DE-8");  // given back when its object was deleted
  const int32_t id = MakeObject("FFH", "DE-7");
  State().TargetTID = 3;
  Answer(R"(form TformGetKennung
select lbKennungen "DE-8"
click BtnOK)");
  EXPECT_TRUE(AssignObject("DE-7"));
  EXPECT_EQ(host().FindObject(id)->kennung, "DE-8");
  EXPECT_EQ(ListRows(ProjectDir()), (Rows{"DE-8 3 1 UPDATE DE-8orig"}))
      << "as if the deleted object were created again, never a second row";
  EXPECT_EQ(PoolRows(ProjectDir()), (Rows{"3 DE-100", "3 DE-101", "3 OEK-1", "5 DE-500"}));
}

TEST_F(LifecycleTest, ChoosersNeverOfferWhatAnObjectCarriesOrARowHolds) {
  AddRow(3, 1, 1, "DE-1");
  AddRow(3, 8, 3, "DE-100", "DELETE");  // DE-100 is also in the pool
  AddFree(3, "DE-102");
  MakeObject("FFH", "DE-101");  // taken with "Keine TID": still in the pool
  host().Activate(MakeObject("FFH", "DE-1"));
  Answer(R"(form TformGetKennung
select lbKennungen "DE-102"
click BtnOK)");
  SwitchKennung();
  const std::string shown = Shown();
  EXPECT_EQ(shown.find("\"DE-100\""), std::string::npos) << "a row holds it: " << shown;
  EXPECT_EQ(shown.find("\"DE-101\""), std::string::npos) << "an object carries it: " << shown;
  EXPECT_EQ(ListRows(ProjectDir()), (Rows{"DE-102 3 1 UPDATE DE-1", "DE-100 3 3 DELETE DE-100"}));

  // A new object may take over the deleted object's identifier, as its
  // re-creation would; the carried one is still not offered.
  ClearShown();
  Answer(R"(form TFormGetTIDAndKennung
select lbKennungen "DE-100"
click BtnOK)");
  Create("FFH", "x");
  EXPECT_EQ(Shown().find("\"DE-101\""), std::string::npos) << Shown();
  EXPECT_EQ(ListRows(ProjectDir()), (Rows{"DE-102 3 1 UPDATE DE-1", "DE-100 3 1 UPDATE DE-100"}));
}

TEST_F(LifecycleTest, NoObjectWithARowIsAssignedOntoAnotherRowsIdentifier) {
  AddRow(5, 2, 2, "DE-2", "NEW");
  AddRow(3, 8, 3, "DE-100", "DELETE");
  MakeObject("FFH", "DE-2");
  State().TargetTID = 3;
  Answer(R"(form TformGetKennung
select lbKennungen "DE-101"
click BtnOK)");
  EXPECT_TRUE(AssignObject("DE-2"));
  EXPECT_EQ(Shown().find("\"DE-100\""), std::string::npos) << Shown();
  EXPECT_EQ(ListRows(ProjectDir()), (Rows{"DE-101 3 2 NEW DE-2", "DE-100 3 3 DELETE DE-100"}));
}

TEST_F(LifecycleTest, ANewObjectAssignedUnderAnotherIdentifierGivesItsOwnBack) {
  AddRow(5, 2, 2, "DE-500x", "NEW");
  const int32_t id = MakeObject("FFH", "DE-500x");
  State().TargetTID = 3;
  Answer(R"(form TformGetKennung
select lbKennungen "DE-100"
click BtnOK)");
  EXPECT_TRUE(AssignObject("DE-500x"));
  EXPECT_EQ(host().FindObject(id)->kennung, "DE-100");
  EXPECT_EQ(ListRows(ProjectDir()), (Rows{"DE-100 3 2 NEW DE-500x"}));
  // As a switch gives it back: never in neither list.
  EXPECT_EQ(PoolRows(ProjectDir()), (Rows{"3 DE-101", "3 OEK-1", "5 DE-500", "5 DE-500x"}));
}

TEST_F(LifecycleTest, AnAssignmentFailingAtAnyWriteTakesBackEveryObject) {
  const int32_t renamed = MakeObject("FFH", "DE-7");
  const int32_t kept = MakeObject("FFH", "DE-100");
  platform::env::FaultEnv faults(platform::env::Env::Posix());
  platform::env::ScopedEnv scoped(faults);
  context::Current().Store().CloseAll();
  auto sorted = [](Rows rows) {
    std::sort(rows.begin(), rows.end());
    return rows;
  };
  const Rows list = ListRows(ProjectDir());
  const Rows pool = sorted(PoolRows(ProjectDir()));
  for (int after = 0;; ++after) {
    // The chooser of the first object comes before any write.
    ClearShown();
    Answer(R"(form TformGetKennung
select lbKennungen "DE-101"
click BtnOK
message OK)");
    const int failures = faults.Failures();
    faults.Inject(
        platform::env::Fault(platform::env::Op::kWrite, ENOSPC).On("/TA_").After(after).Times(1));
    State().TargetTID = 3;
    AssignObjects({"DE-7", "DE-100"});
    faults.Clear();
    if (faults.Failures() == failures) {
      // Every write of the assignment has had its turn.
      EXPECT_GE(after, 4);
      EXPECT_EQ(ListRows(ProjectDir()), (Rows{"DE-101 3 2 NEW DE-101", "DE-100 3 2 NEW DE-100"}));
      ClearShown();
      break;
    }
    ASSERT_EQ(Messages().size(), 1u) << "write " << after + 1 << ":\n" << Shown();
    EXPECT_NE(Messages()[0].find("Auf dem Datenträger ist kein Platz mehr frei"), std::string::npos)
        << Messages()[0];
    EXPECT_EQ(ListRows(ProjectDir()), list) << "write " << after + 1;
    EXPECT_EQ(sorted(PoolRows(ProjectDir())), pool) << "write " << after + 1;
    EXPECT_EQ(host().FindObject(renamed)->kennung, "DE-7") << "write " << after + 1;
    EXPECT_EQ(host().FindObject(kept)->kennung, "DE-100");
  }
}

TEST_F(LifecycleTest, TheComposedProposalSkipsIdentifiersARowHolds) {
  std::string nummer = "7";
  std::string blatt = "3847NO";
  const std::string stem = "AB26007-3847NO";
  AddRow(3, 8, 3, stem + "0001", "DELETE");
  MakeObject("BIO", stem + "0002");
  const KennungsTools::KennungBBProposal proposal =
      KennungsTools::ProposeKennungBB("AB", nummer, blatt, 2026);
  ASSERT_TRUE(proposal.ok) << proposal.message;
  EXPECT_EQ(proposal.kennung, stem + "0003");
}

TEST_F(LifecycleTest, AFailedWriteLeavesTheTablesAsTheyWereAndIsToldOnce) {
  // A pool that the driver cannot read: the creation's second write fails.
  std::ofstream(ProjectDir() + "TA_KL.dbf", std::ios::binary | std::ios::trunc) << "kein dBase";
  State().TargetTID = 3;
  Answer("message OK");
  EXPECT_FALSE(InsertInTransActionListProc(1057, MakeObject("FFH", "DE-100"), 0));
  EXPECT_TRUE(ListRows(ProjectDir()).empty()) << "the row written first was taken back";
  ASSERT_EQ(Messages().size(), 1u);
  EXPECT_NE(Messages()[0].find("TA_KL"), std::string::npos) << Messages()[0];
  EXPECT_NE(Shown().find("message plain"), std::string::npos);
}

// A full disk while the rows are written: the statements the rule made
// before the failing one are taken back, and the mapper is told once.
class FullDiskTest : public LifecycleTest {
 protected:
  void FailWritesOf(const std::string& file) {
    faults_.Inject(platform::env::Fault(platform::env::Op::kWrite, ENOSPC).On(file));
    // The tables open anew, through the failing seam.
    context::Current().Store().CloseAll();
  }
  platform::env::FaultEnv faults_{platform::env::Env::Posix()};
  platform::env::ScopedEnv scoped_{faults_};
};

TEST_F(FullDiskTest, ASwitchThatCannotRenameTheRowLeavesTablesAndHostAsTheyWere) {
  AddRow(3, 1, 1, "DE-1");
  const int32_t id = MakeObject("FFH", "DE-1");
  host().Activate(id);
  const Rows list = ListRows(ProjectDir());
  const Rows pool = PoolRows(ProjectDir());
  FailWritesOf("TA_LIST");
  Answer(R"(form TformGetKennung
select lbKennungen "DE-100"
click BtnOK
message OK)");
  SwitchKennung();
  EXPECT_GT(faults_.Failures(), 0);
  EXPECT_EQ(host().FindObject(id)->kennung, "DE-1") << "the host's identifier is put back";
  EXPECT_EQ(ListRows(ProjectDir()), list);
  EXPECT_EQ(PoolRows(ProjectDir()), pool) << "DE-1 went into the pool first and out again";
  ASSERT_EQ(Messages().size(), 1u);
  EXPECT_EQ(Messages()[0].rfind("Fehler in den Transaktionstabellen:", 0), 0u) << Messages()[0];
  EXPECT_NE(Messages()[0].find("TA_LIST.dbf"), std::string::npos) << Messages()[0];
}

TEST_F(FullDiskTest, ADeletionThatCannotMarkTheRowGivesNothingBackToThePool) {
  AddRow(3, 1, 1, "DE-1");
  const int32_t id = MakeObject("FFH", "DE-1");
  const Rows pool = PoolRows(ProjectDir());
  FailWritesOf("TA_LIST");
  Answer("message OK");
  DeleteFromTransActionListProc(id);
  EXPECT_EQ(ListRows(ProjectDir()), (Rows{"DE-1 3 1 IGNORED DE-1"}));
  EXPECT_EQ(PoolRows(ProjectDir()), pool);
  EXPECT_EQ(Messages().size(), 1u);
}

TEST_F(FullDiskTest, ACreationWhosePoolCannotBeWrittenKeepsNoRow) {
  FailWritesOf("TA_KL");
  State().TargetTID = 3;
  Answer("message OK");
  EXPECT_FALSE(InsertInTransActionListProc(1057, MakeObject("FFH", "DE-100"), 0));
  EXPECT_TRUE(ListRows(ProjectDir()).empty());
  EXPECT_EQ(PoolRows(ProjectDir()).size(), 4u);
}

}  // namespace
