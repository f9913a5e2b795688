// The lifecycle and identifier rules where the earlier builds differ from
// the full build: each test runs a rule under VD1TransAction (and, where it
// matters, TransactHooks) and, for contrast, under the full build, against a
// real project whose tables are read back with an independent reader.
#include <cstring>
#include <filesystem>

#include "context/BuildIdentity.h"
#include "context/PluginContext.h"
#include "host/ktapi32.h"
#include "platform/env/FaultEnv.h"
#include "tests/support/ProjectFixture.h"
#include "transaction/KennungsTools.h"
#include "transaction/ObjectLifecycle.h"
#include "transaction/TransActTools.h"

namespace {

using testsupport::ListRows;
using testsupport::PoolRows;
using testsupport::ReadDbf;
using testsupport::TableFile;
using Rows = std::vector<std::string>;
using namespace ObjectLifecycle;

class EarlierLifecycleTest : public testsupport::ProjectFixture,
                             public ::testing::WithParamInterface<Build> {
 protected:
  void SetUp() override {
    ProjectFixture::SetUp();
    SelectBuild(GetParam());
    CreateTransactionTables();
    AddTransaction(3, "Ruhrauen");
    AddTransaction(5, "Eifel");
    AddFree(3, "DE-100");
    AddFree(3, "OEK-1");
    AddFree(5, "DE-500");
  }
  void TearDown() override {
    SelectBuild(Build::kVD1TransAction2010);
    ProjectFixture::TearDown();
  }
  bool Full() const { return GetParam() == Build::kVD1TransAction2010; }

  struct Request {
    char buffer[51] = {};
    TGetNewKennung request{buffer, 50, 9};
    host::KennungRequest view =
        *host::KennungRequest::FromHookArgument(reinterpret_cast<intptr_t>(&request));
    explicit Request(const char* proposal) { std::strcpy(buffer, proposal); }
  };
  // Runs the creation chooser; answers whether the host may create.
  bool BeforeCreate(const std::string& klasse, Request& r) {
    return BeforeCreateObjectProc(ClassId(klasse), r.view, 3);
  }
  std::string Vgnr(const std::string& kennung) {
    for (auto& row : ReadDbf(TableFile(ProjectDir(), "TA_LIST"))) {
      if (row["KENNUNG"] == kennung) return row["VGNR"] + " " + row["KARTULID"];
    }
    return "";
  }
};

INSTANTIATE_TEST_SUITE_P(Builds, EarlierLifecycleTest,
                         ::testing::Values(Build::kVD1TransAction, Build::kTransactHooks,
                                           Build::kVD1TransAction2010),
                         [](const auto& info) { return std::string(NameOf(info.param)); });

TEST_P(EarlierLifecycleTest, CreationNeedsOnlyTheTransactionsAndKnowsNoOtherRuleSet) {
  // Neither the second-generation switch nor the state code "BRB" changes
  // the earlier builds' creation: the chooser of the general rule set opens.
  SetApplicatIni("VANDRA II", "VD2Transaktion", "1");
  SetApplicatIni("Config", "Bundesland", "BRB");
  std::filesystem::remove(TableFile(ProjectDir(), "TA_KL"));
  Request r("DE-host");
  if (Full()) {
    // The transaction chosen, the host's identifier kept.
    Answer("form TFormGetTID\nclick BtnOK");
    EXPECT_TRUE(BeforeCreate("FFH", r));
    EXPECT_EQ(r.request.UseDialog, 0);
  } else {
    Answer(
        R"(message OK "Es sind keine Kennungen für die Zieltransaktion und die gewählte Objektklasse definiert!"
form TFormGetTIDAndKennung
click BtnNoTID)");
    EXPECT_TRUE(BeforeCreate("FFH", r));
    EXPECT_EQ(r.request.UseDialog, 1) << "no identifier chosen: the host's own";
    EXPECT_EQ(State().TargetTID, -1);
  }
  ExpectAllAnswered();

  // Without TA_ID the creation goes on with the host's identifier.
  std::filesystem::remove(TableFile(ProjectDir(), "TA_ID"));
  SetApplicatIni("VANDRA II", "VD2Transaktion", "0");
  SetApplicatIni("Config", "Bundesland", "NRW");
  Answer(Full() ? "message OK \"Transaktions- oder Kennungsliste nicht gefunden!\""
                : "message OK \"Transaktionsliste nicht gefunden!\"");
  Request again("DE-host");
  EXPECT_TRUE(BeforeCreate("FFH", again));
  EXPECT_EQ(again.request.UseDialog, 1);
}

TEST_P(EarlierLifecycleTest, DeletionGivesBackForCheckedOutAndNewObjectsOnly) {
  AddRow(3, 1, 1, "DE-1");
  AddRow(3, 2, 2, "DE-2", "NEW");
  AddRow(5, 3, 3, "DE-3", "DELETE");
  // The earlier builds look at no import flag.
  State().ImportRunning = true;
  DeleteFromTransActionListProc(MakeObject("FFH", "DE-1"));
  State().ImportRunning = false;
  for (const char* k : {"DE-2", "DE-3"}) DeleteFromTransActionListProc(MakeObject("FFH", k));
  if (Full()) {
    EXPECT_EQ(ListRows(ProjectDir()), (Rows{"DE-1 3 1 IGNORED DE-1", "DE-3 5 3 DELETE DE-3"}));
    EXPECT_EQ(PoolRows(ProjectDir()),
              (Rows{"3 DE-100", "3 OEK-1", "5 DE-500", "3 DE-2", "5 DE-3"}));
  } else {
    EXPECT_EQ(ListRows(ProjectDir()), (Rows{"DE-1 3 3 DELETE DE-1", "DE-3 5 3 DELETE DE-3"}));
    EXPECT_EQ(PoolRows(ProjectDir()), (Rows{"3 DE-100", "3 OEK-1", "5 DE-500", "3 DE-1", "3 DE-2"}))
        << "a deleted object's identifier does not come back";
  }
}

TEST_P(EarlierLifecycleTest, TheHostsRenameIsRefusedForRowsFoundByTheirCurrentIdentifier) {
  // Switched: entered as DE-7, now DE-7a; another object now bears DE-7.
  AddRow(3, 1, 1, "DE-7a", "UPDATE", "DE-7");
  const int32_t switched = MakeObject("FFH", "DE-7a");
  const int32_t other = MakeObject("FFH", "DE-7");
  for (int32_t id : {switched, other}) {
    if (id == switched || Full()) Answer("message OK");
    BeforeChangeKennung(id);
    host().RenameObject(id, host().FindObject(id)->kennung + "-neu");
    AfterChangeKennung(id);
  }
  EXPECT_EQ(Messages().size(), Full() ? 2u : 1u);
  EXPECT_EQ(Messages()[0],
            "Das Objekt DE-7a ist bereits einer Transaktion zugewiesen. Seine Kennung darf daher "
            "nicht geändert werden.");
  EXPECT_EQ(host().FindObject(switched)->kennung, "DE-7a");
  EXPECT_EQ(host().FindObject(other)->kennung, Full() ? "DE-7" : "DE-7-neu")
      << "the earlier builds know rows by KENNUNG only";
}

TEST_P(EarlierLifecycleTest, AssigningAnObjectWithARowChangesTheRowInPlace) {
  AddRow(5, 77, 2, "DE-500x", "NEW", "DE-5orig");  // process number 4711
  AddFree(3, "DE-102");
  const int32_t id = MakeObject("FFH", "DE-500x");
  const int32_t kept = MakeObject("FFH", "DE-100");
  State().TargetTID = 3;
  Answer(R"(form TformGetKennung
select lbKennungen "DE-102"
click BtnOK)");
  EXPECT_TRUE(AssignObject("DE-500x"));
  EXPECT_TRUE(AssignObject("DE-100"));
  EXPECT_EQ(host().FindObject(id)->kennung, "DE-102");
  EXPECT_EQ(host().FindObject(kept)->kennung, "DE-100");
  EXPECT_EQ(ListRows(ProjectDir()), (Rows{"DE-102 3 2 NEW DE-5orig", "DE-100 3 2 NEW DE-100"}))
      << "the row goes along with the object, its original identifier kept";
  if (Full()) {
    EXPECT_EQ(Vgnr("DE-102"), "-1 " + std::to_string(id));
  } else {
    EXPECT_EQ(Vgnr("DE-102"), "4711 77") << "process number and object id stay";
  }
  EXPECT_EQ(PoolRows(ProjectDir()), (Rows{"3 OEK-1", "5 DE-500", "5 DE-500x"}));
}

TEST_P(EarlierLifecycleTest, ClassPrefixesAndTheClassShortName) {
  using KennungsTools::KennungFitsOKL;
  EXPECT_EQ(KennungsTools::GetOKLShortName(ClassId("ND_GLB")), "ND_GLB");
  EXPECT_TRUE(KennungFitsOKL("FFH", "DE-4711", ""));
  EXPECT_FALSE(KennungFitsOKL("FFH", "de-4711", ""));
  EXPECT_TRUE(KennungFitsOKL("VSG", "DE-1", "NRW"));
  EXPECT_TRUE(KennungFitsOKL("BIO", "BIO-1", ""));
  // The rows beyond NSG, FFH and VSG are the full build's alone; there the
  // class short name is no prefix of its identifiers.
  EXPECT_EQ(KennungFitsOKL("ND_GLB", "NDGLB-12", ""), Full());
  EXPECT_EQ(KennungFitsOKL("ND", "NDGLB-12", ""), !Full());
  EXPECT_EQ(KennungFitsOKL("OEK_TF", "OEK_TF-1", ""), !Full());
  // No state code: "BRB" lets everything fit in the full build only.
  EXPECT_EQ(KennungFitsOKL("FFH", "X-1", "BRB"), Full());
  SetApplicatIni("VANDRA", "NSGPrefixFilter", "1");
  EXPECT_TRUE(KennungFitsOKL("NSG", "NSG-1", ""));
  EXPECT_FALSE(KennungFitsOKL("NSG", "DE-1", ""));
}

// A full disk under the table objects: the rule's writes so far are taken
// back and the mapper is told once, naming the file.
class EarlierFullDiskTest : public testsupport::ProjectFixture {
 protected:
  void SetUp() override {
    ProjectFixture::SetUp();
    SelectBuild(Build::kVD1TransAction);
    CreateTransactionTables();
    AddTransaction(3, "Ruhrauen");
    AddFree(3, "DE-100");
  }
  void TearDown() override {
    SelectBuild(Build::kVD1TransAction2010);
    ProjectFixture::TearDown();
  }
  platform::env::FaultEnv faults_{platform::env::Env::Posix()};
};

TEST_F(EarlierFullDiskTest, ACreationWhosePoolCannotBeWrittenKeepsNoRow) {
  const int32_t id = MakeObject("FFH", "DE-100");
  {
    platform::env::ScopedEnv scoped(faults_);
    faults_.Inject(platform::env::Fault(platform::env::Op::kWrite, ENOSPC).On("TA_KL"));
    State().TargetTID = 3;
    Answer("message OK");
    EXPECT_FALSE(InsertInTransActionListProc(1057, id, 0));
    EXPECT_GT(faults_.Failures(), 0);
  }
  EXPECT_TRUE(ListRows(ProjectDir()).empty()) << "the row written first was taken back";
  EXPECT_EQ(PoolRows(ProjectDir()), (Rows{"3 DE-100"}));
  ASSERT_EQ(Messages().size(), 1u);
  EXPECT_EQ(Messages()[0].rfind("Fehler in den Transaktionstabellen:\\r\\nDie Tabelle ", 0), 0u)
      << Messages()[0];
  EXPECT_NE(Messages()[0].find("TA_KL.DBF kann nicht geschrieben werden"), std::string::npos)
      << Messages()[0];
}

}  // namespace
