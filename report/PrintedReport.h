// The check report as the VD1TransAction build prints it: a banded report
// laid out on pages (the report's title and date on the first page, a group
// per transaction with its three lists, a footer on every page), shown in a
// print preview that pages through it and prints it to a PDF file.
#pragma once

#include <string>
#include <vector>

#include "platform/print/PrintDocument.h"
#include "platform/ui/Form.h"

namespace TransActionReport {

// One list of a transaction: its title ("neue Objekte:") and identifiers.
struct ReportSection {
  std::string title;
  std::vector<std::string> kennungen;
};

// One transaction's group.
struct ReportGroup {
  std::string tid;
  std::string name;
  std::string owner;
  std::vector<ReportSection> sections;
};

struct ReportData {
  std::string date;  // as the user's settings write a short date
  std::vector<ReportGroup> groups;
};

// The report's content from the transaction tables, in the order of the
// text report.
ReportData CollectReport(const std::string& date_text);

// The bands laid out on pages. A group that does not fit on a page goes on
// with its header repeated "(Fortsetzung)", and so does a list; a group's
// header or a list's title never stands alone at the foot of a page.
platform::print::Document LayoutReport(const ReportData& data,
                                       const platform::print::PageLayout& layout = {});

// The print-to-file dialog and the PDF written; false when cancelled, not
// overwritten or failed (the mapper is told why).
bool PrintReport(const platform::print::Document& document, const std::string& proposed_name);

}  // namespace TransActionReport

// The print preview: one page at a time, turned with the page buttons,
// printed to a PDF file.
class TFormPrintPreview : public platform::ui::Form {
 public:
  // `proposed_name` is the file name the print dialog proposes.
  TFormPrintPreview(platform::print::Document document, std::string proposed_name);

  // Shows the page (from 1), kept within the document.
  void ShowPage(int page);
  int PageNumber() const { return page_; }
  int PageCount() const;
  const platform::print::Document& Document() const { return document_; }

  void BtnPrevPageClick();
  void BtnNextPageClick();
  void BtnPrintClick();

  platform::ui::PagePreview& Preview;
  platform::ui::Label& LabelPage;
  platform::ui::Button& BtnPrevPage;
  platform::ui::Button& BtnNextPage;
  platform::ui::Button& BtnPrint;
  platform::ui::Button& BtnClose;

 private:
  platform::print::Document document_;
  std::string proposed_name_;
  int page_ = 0;
};
