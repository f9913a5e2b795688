#include "report/TransActionReport.h"

#include "context/PluginContext.h"
#include "host/Tools.h"
#include "platform/env/Env.h"
#include "platform/text/Encoding.h"
#include "platform/text/Formats.h"
#include "platform/ui/Ui.h"
#include "report/PrintedReport.h"

using platform::ui::ModalResult;
using platform::ui::MsgButtons;
using platform::ui::MsgKind;
using namespace TransActTools;

namespace TransActionReport {

bool MakeTransActionReport() {
  if (!TransactionListExists()) {
    platform::ui::MessageBox(MsgKind::kInformation,
                             "Das Projekt enthält keine Transaktionsdaten. Daher kann kein "
                             "Prüfbericht erstellt werden!");
    return false;
  }
  TFormTransActionReport form;
  form.ShowModal();
  return true;
}

void BuildReportSection(const std::string& title, const TObjectMetadataList& rows,
                        std::vector<std::string>& report) {
  report.push_back(title + " (" + std::to_string(rows.size()) + "):");
  for (const TObjectMetadata& row : rows) report.push_back("\t" + row.Kennung);
  report.emplace_back();
}

void BuildTransactionReport(const TTransactionMetadata& transaction,
                            std::vector<std::string>& report) {
  report.push_back("Transaktionsnummer: " + std::to_string(transaction.ID));
  report.push_back("Name: " + transaction.Name);
  report.push_back("Gebietsbetreuer: " + transaction.Owner);
  report.emplace_back();
  BuildReportSection("neue Objekte", GetObjectsByStatus(kNeu, transaction.ID), report);
  BuildReportSection("gelöschte Objekte", GetObjectsByStatus(kGeloescht, transaction.ID), report);
  BuildReportSection("geänderte Objekte", GetChangedObjects(transaction.ID), report);
  report.emplace_back();
  report.emplace_back();
}

std::vector<std::string> BuildReport(const std::string& date_text) {
  std::vector<std::string> report = {"VANDRA-Transaktions-Prüfbericht", "", "Datum: " + date_text,
                                     "", ""};
  for (const TTransactionMetadata& transaction : GetTransactions()) {
    BuildTransactionReport(transaction, report);
  }
  report.insert(report.end(), 3, std::string());
  return report;
}

std::string GetReportFileName() {
  platform::ui::FileDialogRequest request;
  request.kind = platform::ui::FileDialogRequest::Kind::kSave;
  request.default_ext = "txt";
  request.filter = "Textdateien (*.txt)|*.txt";
  request.file_name = Tools::ReadStringFromProjectIni("Transaktionsdaten", "ReportFileName", "");
  const std::optional<std::string> path = platform::ui::FileDialog(request);
  if (!path) return {};
  Tools::WriteStringToProjectIni("Transaktionsdaten", "ReportFileName", *path);
  return *path;
}

bool SaveReport(const std::string& path, const std::vector<std::string>& report) {
  platform::env::Env& env = platform::env::Env::Current();
  if (env.Stat(path) &&
      platform::ui::MessageBox(MsgKind::kConfirmation,
                               "Die Ausgabedatei existiert bereits. Überschreiben?",
                               MsgButtons::kYesNo) != platform::ui::MsgAnswer::kYes) {
    return false;
  }
  std::string text;
  for (const std::string& line : report) text += platform::text::Utf8ToAnsi(line) + "\r\n";
  // A safe replace, so that a failed write never leaves the mapper with half
  // a report in place of the old one; a link is written where it points.
  try {
    platform::env::ReplaceFile(env, env.ResolveLinks(path), text);
  } catch (const platform::env::EnvError&) {
    platform::ui::MessageBox(MsgKind::kError,
                             "Die Datei " + path + " konnte nicht geschrieben werden!");
    return false;
  }
  return true;
}

}  // namespace TransActionReport

TFormTransActionReport::TFormTransActionReport()
    : Form("TFormTransActionReport", "Prüfbericht"),
      Label1(Add<platform::ui::Label>("Label1", "Anzahl der Transaktionen:")),
      LabelnTransactions(Add<platform::ui::Label>("LabelnTransactions", "")),
      Label2(Add<platform::ui::Label>("Label2", "Anzahl neu erzeugter Objekte:")),
      LabelnNewObjects(Add<platform::ui::Label>("LabelnNewObjects", "")),
      Label3(Add<platform::ui::Label>("Label3", "Anzahl gelöschter Objekte:")),
      LabelnDeletedObjects(Add<platform::ui::Label>("LabelnDeletedObjects", "")),
      Label4(Add<platform::ui::Label>("Label4", "Anzahl importierter Objekte (schreibend):")),
      LabelnImportedObjects(Add<platform::ui::Label>("LabelnImportedObjects", "")),
      Label5(Add<platform::ui::Label>("Label5", "Anzahl importierter Objekte (lesend):")),
      LabelnReadOnlyObjects(Add<platform::ui::Label>("LabelnReadOnlyObjects", "")),
      Label6(Add<platform::ui::Label>("Label6", "Anzahl geänderter Objekte:")),
      LabelnChangedObjects(Add<platform::ui::Label>("LabelnChangedObjects", "")),
      BtnShowReport(
          Add<platform::ui::Button>("BtnShowReport", "Prüfbericht anzeigen ", ModalResult::kNone)),
      BtnClose(Add<platform::ui::Button>("BtnClose", "S&chließen", ModalResult::kOk)) {
  BtnShowReport.on_click = [this] { BtnShowReportClick(); };
  FormCreate();
}

void TFormTransActionReport::FormCreate() {
  platform::ui::HourglassGuard hourglass;
  nDeletedObjects = CountObjectsByStatus(kGeloescht, -1);
  nNewObjects = CountObjectsByStatus(kNeu, -1);
  nChangedObjects = CountChangedObjects(-1);
  nImportedObjects = CountObjectsByStatus(kSchreibend, -1) + nDeletedObjects;
  nReadOnlyObjects = CountObjectsByStatus(kLesend, -1);
  LabelnTransactions.caption = std::to_string(CountTransactions());
  LabelnNewObjects.caption = std::to_string(nNewObjects);
  LabelnDeletedObjects.caption = std::to_string(nDeletedObjects);
  LabelnImportedObjects.caption = std::to_string(nImportedObjects);
  LabelnReadOnlyObjects.caption = std::to_string(nReadOnlyObjects);
  LabelnChangedObjects.caption = std::to_string(nChangedObjects);
}

void TFormTransActionReport::BtnShowReportClick() {
  if (nDeletedObjects + nNewObjects + nChangedObjects == 0) {
    platform::ui::MessageBox(
        MsgKind::kInformation,
        "Die Transaktionsdaten wurden nicht geändert. Ein Prüfbericht wird nicht erstellt.");
    return;
  }
  const platform::text::Ymd today = platform::text::DecodeDate(platform::text::Now());
  const std::string date = platform::text::DateToStr(today);
  if (CurrentProfile().report == ReportKind::kPrintPreview) {
    // A printed report offers no text to save.
    platform::print::Document document;
    {
      platform::ui::HourglassGuard hourglass;
      document = TransActionReport::LayoutReport(TransActionReport::CollectReport(date));
    }
    TFormPrintPreview preview(std::move(document),
                              "Prüfbericht " + platform::text::IsoDate(today) + ".pdf");
    preview.ShowModal();
    return;
  }
  TFormPrintReport report;
  report.SetReport(TransActionReport::BuildReport(date));
  report.ShowModal();
}

TFormPrintReport::TFormPrintReport()
    : Form("TFormPrintReport", "Transaktionsbericht"),
      RichEditReport(Add<platform::ui::Memo>("RichEditReport")),
      btnClose(Add<platform::ui::Button>("btnClose", "Schließen", ModalResult::kOk)),
      btnSave(Add<platform::ui::Button>("btnSave", "Speichern", ModalResult::kNone)) {
  RichEditReport.read_only = true;
  btnSave.on_click = [this] { btnSaveClick(); };
}

void TFormPrintReport::SetReport(std::vector<std::string> lines) {
  lines_ = std::move(lines);
  RichEditReport.text.clear();
  for (const std::string& line : lines_) RichEditReport.text += line + "\n";
}

void TFormPrintReport::btnSaveClick() {
  const std::string path = TransActionReport::GetReportFileName();
  if (path.empty()) return;
  TransActionReport::SaveReport(path, lines_);
}
