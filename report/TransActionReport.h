// The transaction check report: a summary of the counts over all
// transactions, and on request the text report per transaction, which the
// mapper can save as a text file before handing the project back.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/ui/Form.h"
#include "transaction/TransActTools.h"

namespace TransActionReport {

// The report hook's work: false when the project has no transaction data.
bool MakeTransActionReport();

// Appends one transaction's block, or one section, to the report lines.
void BuildTransactionReport(const TTransactionMetadata& transaction,
                            std::vector<std::string>& report);
void BuildReportSection(const std::string& title, const TObjectMetadataList& rows,
                        std::vector<std::string>& report);
// The whole report text, line by line, dated with the given date text.
std::vector<std::string> BuildReport(const std::string& date_text);

// The save dialog; the chosen path, or empty when cancelled.
std::string GetReportFileName();
// Writes the lines as ANSI text with CR LF, after asking before it
// overwrites; false when nothing was written.
bool SaveReport(const std::string& path, const std::vector<std::string>& report);

}  // namespace TransActionReport

// "Prüfbericht": the counts, taken once when the dialog is made.
class TFormTransActionReport : public platform::ui::Form {
 public:
  TFormTransActionReport();

  void FormCreate();
  void BtnShowReportClick();

  int32_t nDeletedObjects = 0;
  int32_t nNewObjects = 0;
  int32_t nChangedObjects = 0;
  int32_t nImportedObjects = 0;
  int32_t nReadOnlyObjects = 0;

  platform::ui::Label& Label1;
  platform::ui::Label& LabelnTransactions;
  platform::ui::Label& Label2;
  platform::ui::Label& LabelnNewObjects;
  platform::ui::Label& Label3;
  platform::ui::Label& LabelnDeletedObjects;
  platform::ui::Label& Label4;
  platform::ui::Label& LabelnImportedObjects;
  platform::ui::Label& Label5;
  platform::ui::Label& LabelnReadOnlyObjects;
  platform::ui::Label& Label6;
  platform::ui::Label& LabelnChangedObjects;
  platform::ui::Button& BtnShowReport;
  platform::ui::Button& BtnClose;
};

// "Transaktionsbericht": the report text, read-only, with saving.
class TFormPrintReport : public platform::ui::Form {
 public:
  TFormPrintReport();

  void SetReport(std::vector<std::string> lines);
  const std::vector<std::string>& Lines() const { return lines_; }
  void btnSaveClick();

  platform::ui::Memo& RichEditReport;
  platform::ui::Button& btnClose;
  platform::ui::Button& btnSave;

 private:
  std::vector<std::string> lines_;
};
