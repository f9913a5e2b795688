// The check report: counts, the text per transaction against a stored
// expected file, and saving with its overwrite question.
#include "report/TransActionReport.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "host/Tools.h"
#include "platform/env/FaultEnv.h"
#include "tests/support/ProjectFixture.h"

namespace {

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

class ReportTest : public testsupport::ProjectFixture {
 protected:
  void Fill() {
    CreateTransactionTables();
    AddTransaction(3, "Ruhrauen", "Frau Kern");
    AddTransaction(5, "Eifel Süd", "Herr Busch");
    AddTransaction(8, "Ohne Objekte", "niemand");
    AddRow(3, 1, 0, "DE-1");
    AddRow(3, 2, 1, "DE-2", "UPDATE");
    AddRow(3, 3, 1, "DE-3");
    AddRow(3, 4, 2, "DE-4", "NEW");
    AddRow(3, 5, 3, "DE-5", "DELETE");
    AddRow(5, 6, 2, "ÖK-6", "NEW");
    AddRow(5, 7, 2, "DE-7", "NEW");
    AddRow(5, 8, 1, "DE-8", "UPDATE");
  }
};

TEST_F(ReportTest, WithoutTransactionDataThereIsNoReport) {
  Answer(
      "message OK \"Das Projekt enthält keine Transaktionsdaten. Daher kann kein Prüfbericht "
      "erstellt werden!\"");
  EXPECT_FALSE(TransActionReport::MakeTransActionReport());
}

TEST_F(ReportTest, SummaryCountsDeletedObjectsAsImportedToo) {
  Fill();
  TFormTransActionReport form;
  EXPECT_EQ(form.LabelnTransactions.caption, "3");
  EXPECT_EQ(form.LabelnNewObjects.caption, "3");
  EXPECT_EQ(form.LabelnDeletedObjects.caption, "1");
  EXPECT_EQ(form.LabelnImportedObjects.caption, "4");
  EXPECT_EQ(form.LabelnReadOnlyObjects.caption, "1");
  EXPECT_EQ(form.LabelnChangedObjects.caption, "2");
}

TEST_F(ReportTest, NoChangesNoTextReport) {
  CreateTransactionTables();
  AddTransaction(3, "A");
  AddRow(3, 1, 0, "DE-1");
  AddRow(3, 2, 1, "DE-2");
  Answer(R"(form TFormTransActionReport
click BtnShowReport
message OK "Die Transaktionsdaten wurden nicht geändert. Ein Prüfbericht wird nicht erstellt."
click BtnClose)");
  EXPECT_TRUE(TransActionReport::MakeTransActionReport());
}

TEST_F(ReportTest, TextMatchesTheStoredReportAndIsSavedAsAnsi) {
  Fill();
  const std::vector<std::string> report = TransActionReport::BuildReport("08.12.2026");
  const std::string path = Root() + "/bericht.txt";
  ASSERT_TRUE(TransActionReport::SaveReport(path, report));
  EXPECT_EQ(ReadFile(path),
            ReadFile(std::string(VANDRA_SOURCE_DIR) + "/report/testdata/report_expected.txt"));
}

TEST_F(ReportTest, SavingAsksBeforeOverwritingAndRemembersTheName) {
  Fill();
  const std::string path = Root() + "/alt.txt";
  std::ofstream(path) << "alter Bericht";
  Answer("file \"" + path +
         "\"\nmessage No \"Die Ausgabedatei existiert bereits. Überschreiben?\"");
  TFormPrintReport form;
  form.SetReport({"Zeile"});
  form.btnSave.Click();
  EXPECT_EQ(ReadFile(path), "alter Bericht");
  EXPECT_EQ(Tools::ReadStringFromProjectIni("Transaktionsdaten", "ReportFileName", ""), path);

  Answer("file \"" + path + "\"\nmessage Yes");
  form.btnSave.Click();
  EXPECT_EQ(ReadFile(path), "Zeile\r\n");

  Answer("file cancel");
  form.btnSave.Click();
}

TEST_F(ReportTest, AnUnwritableFileIsReported) {
  Answer("message OK");
  EXPECT_FALSE(TransActionReport::SaveReport(Root() + "/gibts/nicht/bericht.txt", {"x"}));
  ASSERT_EQ(Messages().size(), 1u);
  EXPECT_NE(Messages()[0].find("konnte nicht geschrieben werden"), std::string::npos);
}

TEST_F(ReportTest, AFullDiskLeavesTheOldReportWholeAndIsReported) {
  const std::string path = Root() + "/bericht.txt";
  std::ofstream(path) << "alter Bericht";
  const auto entries = [&] {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(Root())) {
      names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
  };
  const std::vector<std::string> before = entries();
  platform::env::FaultEnv full(platform::env::Env::Posix());
  full.Inject(platform::env::Fault(platform::env::Op::kWrite, ENOSPC).On("bericht"));
  platform::env::ScopedEnv scoped(full);
  Answer("message Yes\nmessage OK");
  EXPECT_FALSE(TransActionReport::SaveReport(path, {"neue Zeile"}));
  EXPECT_EQ(full.Failures(), 1);
  EXPECT_EQ(ReadFile(path), "alter Bericht");
  EXPECT_EQ(Messages().back(), "Die Datei " + path + " konnte nicht geschrieben werden!");
  EXPECT_EQ(entries(), before) << "no temporary file left behind";
}

TEST_F(ReportTest, ShowingTheReportBuildsItWithTodaysDate) {
  Fill();
  Answer(R"(form TFormTransActionReport
click BtnShowReport
form TFormPrintReport
click btnClose
click BtnClose)");
  EXPECT_TRUE(TransActionReport::MakeTransActionReport());
  EXPECT_NE(Shown().find("form TFormPrintReport \"Transaktionsbericht\""), std::string::npos);
}

}  // namespace
