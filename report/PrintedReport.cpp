// The printed check report: the bands placed on pages, the print dialog and
// the preview that turns the pages.
#include "report/PrintedReport.h"

#include <algorithm>

#include "host/Tools.h"
#include "platform/env/Env.h"
#include "platform/env/Path.h"
#include "platform/print/PdfWriter.h"
#include "platform/ui/Ui.h"
#include "transaction/TransActTools.h"

using platform::print::Align;
using platform::print::Document;
using platform::print::Font;
using platform::print::PageLayout;
using platform::print::TextItem;
using platform::ui::MsgButtons;
using platform::ui::MsgKind;

namespace TransActionReport {
namespace {

constexpr const char* kTitle = "VANDRA-Transaktions-Prüfbericht";
// Indents of a list's title and of its identifiers, and the width of the
// captions before the name and the owner.
constexpr double kSectionIndent = 14;
constexpr double kDetailIndent = 34;
constexpr double kCaptionWidth = 100;

// Places the bands line by line, opening a page (with its footer) when the
// next band does not fit.
class Paginator {
 public:
  Paginator(const ReportData& data, const PageLayout& layout) : data_(data) {
    document_.title = kTitle;
    document_.layout = layout;
  }

  Document Take() && {
    if (document_.pages.empty()) NewPage();
    const int count = static_cast<int>(document_.pages.size());
    for (int page = 0; page < count; ++page) Footer(page);
    return std::move(document_);
  }

  void ReportHeader() {
    NewPage();
    const PageLayout& l = Layout();
    Place({l.margin_left, top_ + l.title_size, l.PrintableWidth(), kTitle, Font::kTitle,
           Align::kLeft});
    top_ += l.title_line;
    Blank();
    Line("Datum: " + data_.date, Font::kBody, 0);
    Blank();
    Blank();
  }

  void Group(const ReportGroup& group) {
    group_ = &group;
    // The header, with the first list's title and first line, on one page.
    const ReportSection* first = group.sections.empty() ? nullptr : &group.sections.front();
    const int keep = 4 + (first != nullptr ? 1 + (first->kennungen.empty() ? 0 : 1) : 0);
    if (!Fits(keep) && !PageIsEmpty()) NewPage();
    Line("Transaktionsnummer: " + group.tid, Font::kBold, 0);
    Captioned("Name:", group.name);
    Captioned("Gebietsbetreuer:", group.owner);
    Blank();
    for (const ReportSection& section : group.sections) Section(section);
    Blank();
    group_ = nullptr;
  }

 private:
  const PageLayout& Layout() const { return document_.layout; }

  bool Fits(int lines) const { return top_ + lines * Layout().body_line <= Layout().BodyBottom(); }
  // Nothing placed yet: a band too high for any page goes here all the same,
  // rather than opening page after page.
  bool PageIsEmpty() const { return top_ <= Layout().margin_top; }
  // A new page when the lines do not fit on this one.
  void MakeRoom(int lines) {
    if (!Fits(lines) && !PageIsEmpty()) Continue();
  }

  void NewPage() {
    document_.pages.emplace_back();
    top_ = Layout().margin_top;
  }

  // A new page inside a group or list says what it continues.
  void Continue() {
    NewPage();
    if (group_ != nullptr) {
      Line("Transaktionsnummer: " + group_->tid + " (Fortsetzung)", Font::kBold, 0);
    }
    if (section_ != nullptr) SectionTitle(*section_, " (Fortsetzung)");
  }

  void Place(TextItem item) { document_.pages.back().items.push_back(std::move(item)); }

  double Baseline() const { return top_ + Layout().body_size; }

  void Line(const std::string& text, Font font, double indent) {
    MakeRoom(1);
    const PageLayout& l = Layout();
    Place({l.margin_left + indent, Baseline(), l.PrintableWidth() - indent, text, font,
           Align::kLeft});
    top_ += l.body_line;
  }

  void Captioned(const std::string& caption, const std::string& value) {
    MakeRoom(1);
    const PageLayout& l = Layout();
    Place({l.margin_left, Baseline(), kCaptionWidth, caption, Font::kBody, Align::kLeft});
    Place({l.margin_left + kCaptionWidth, Baseline(), l.PrintableWidth() - kCaptionWidth, value,
           Font::kBody, Align::kLeft});
    top_ += l.body_line;
  }

  // An empty line, never at the top of a page.
  void Blank() {
    if (top_ > Layout().margin_top && Fits(1)) top_ += Layout().body_line;
  }

  void SectionTitle(const ReportSection& section, const std::string& suffix) {
    const PageLayout& l = Layout();
    const double count_width = 90;
    Place({l.margin_left + kSectionIndent, Baseline(),
           l.PrintableWidth() - kSectionIndent - count_width, section.title + suffix, Font::kBold,
           Align::kLeft});
    Place({l.margin_left + l.PrintableWidth(), Baseline(), count_width,
           "Anzahl: " + std::to_string(section.kennungen.size()), Font::kBody, Align::kRight});
    top_ += l.body_line;
  }

  void Section(const ReportSection& section) {
    // The title with its first line, or a new page for both.
    MakeRoom(section.kennungen.empty() ? 1 : 2);
    SectionTitle(section, "");
    section_ = &section;
    for (const std::string& kennung : section.kennungen) Line(kennung, Font::kBody, kDetailIndent);
    section_ = nullptr;
    Blank();
  }

  void Footer(int page) {
    const PageLayout& l = Layout();
    auto& items = document_.pages[static_cast<size_t>(page)].items;
    const double half = l.PrintableWidth() / 2;
    items.push_back({l.margin_left, l.FooterBaseline(), half - 40, "Prüfbericht vom " + data_.date,
                     Font::kBody, Align::kLeft});
    items.push_back({l.margin_left + half, l.FooterBaseline(), 80,
                     "- " + std::to_string(page + 1) + " -", Font::kBody, Align::kCenter});
  }

  const ReportData& data_;
  Document document_;
  double top_ = 0;
  const ReportGroup* group_ = nullptr;
  const ReportSection* section_ = nullptr;
};

std::vector<std::string> Kennungen(const TObjectMetadataList& rows) {
  std::vector<std::string> out;
  out.reserve(rows.size());
  for (const TObjectMetadata& row : rows) out.push_back(row.Kennung);
  return out;
}

}  // namespace

ReportData CollectReport(const std::string& date_text) {
  using namespace TransActTools;
  ReportData data;
  data.date = date_text;
  for (const TTransactionMetadata& transaction : GetTransactions()) {
    ReportGroup group;
    group.tid = std::to_string(transaction.ID);
    group.name = transaction.Name;
    group.owner = transaction.Owner;
    group.sections.push_back(
        {"neue Objekte:", Kennungen(GetObjectsByStatus(kNeu, transaction.ID))});
    group.sections.push_back(
        {"gelöschte Objekte:", Kennungen(GetObjectsByStatus(kGeloescht, transaction.ID))});
    group.sections.push_back({"geänderte Objekte:", Kennungen(GetChangedObjects(transaction.ID))});
    data.groups.push_back(std::move(group));
  }
  return data;
}

Document LayoutReport(const ReportData& data, const PageLayout& layout) {
  Paginator paginator(data, layout);
  paginator.ReportHeader();
  for (const ReportGroup& group : data.groups) paginator.Group(group);
  return std::move(paginator).Take();
}

bool PrintReport(const Document& document, const std::string& proposed_name) {
  platform::env::Env& env = platform::env::Env::Current();
  platform::ui::FileDialogRequest request;
  request.kind = platform::ui::FileDialogRequest::Kind::kSave;
  request.title = "Drucken in Datei";
  request.filter = "PDF-Dateien (*.pdf)|*.pdf";
  request.default_ext = "pdf";
  request.initial_dir =
      Tools::ReadStringFromProjectIni("Transaktionsdaten", "PrintFolder", Tools::MyGetProjectDir());
  request.file_name = proposed_name;
  const std::optional<std::string> chosen = platform::ui::FileDialog(request);
  if (!chosen || chosen->empty()) return false;
  // A dialog answers a full path; a bare name is taken in the folder it showed.
  std::string path = *chosen;
  if (!platform::env::IsAbsolutePath(path) && !request.initial_dir.empty()) {
    path = platform::env::JoinPath(request.initial_dir, path);
  }
  // A name without a folder leaves the next dialog in its default folder.
  const bool has_folder = platform::env::NameOf(path) != path;
  Tools::WriteStringToProjectIni(
      "Transaktionsdaten", "PrintFolder",
      has_folder ? platform::env::WithTrailingSeparator(platform::env::FolderOf(path)) : "");
  if (env.Stat(path) &&
      platform::ui::MessageBox(MsgKind::kConfirmation,
                               "Die Ausgabedatei existiert bereits. Überschreiben?",
                               MsgButtons::kYesNo) != platform::ui::MsgAnswer::kYes) {
    return false;
  }
  try {
    platform::ui::HourglassGuard hourglass;
    platform::print::PrintToPdf(env, path, document);
  } catch (const platform::env::EnvError&) {
    platform::ui::MessageBox(MsgKind::kError,
                             "Die Datei " + path + " konnte nicht geschrieben werden!");
    return false;
  } catch (const platform::print::PrintError& error) {
    platform::ui::MessageBox(MsgKind::kError, "Der Prüfbericht konnte nicht gedruckt werden (" +
                                                  path + "): " + error.what());
    return false;
  }
  return true;
}

}  // namespace TransActionReport

TFormPrintPreview::TFormPrintPreview(platform::print::Document document, std::string proposed_name)
    : Form("TFormPrintPreview", "Seitenansicht: Transaktionsbericht"),
      Preview(Add<platform::ui::PagePreview>("Preview")),
      LabelPage(Add<platform::ui::Label>("LabelPage", "")),
      BtnPrevPage(Add<platform::ui::Button>("BtnPrevPage", "< Vorherige Seite",
                                            platform::ui::ModalResult::kNone)),
      BtnNextPage(Add<platform::ui::Button>("BtnNextPage", "Nächste Seite >",
                                            platform::ui::ModalResult::kNone)),
      BtnPrint(
          Add<platform::ui::Button>("BtnPrint", "Drucken...", platform::ui::ModalResult::kNone)),
      BtnClose(Add<platform::ui::Button>("BtnClose", "Schließen", platform::ui::ModalResult::kOk)),
      document_(std::move(document)),
      proposed_name_(std::move(proposed_name)) {
  resizable = true;
  BtnNextPage.is_default = true;
  BtnClose.is_cancel = true;
  BtnPrevPage.on_click = [this] { BtnPrevPageClick(); };
  BtnNextPage.on_click = [this] { BtnNextPageClick(); };
  BtnPrint.on_click = [this] { BtnPrintClick(); };
  ShowPage(1);
}

int TFormPrintPreview::PageCount() const {
  return static_cast<int>(document_.pages.size());
}

void TFormPrintPreview::ShowPage(int page) {
  page_ = std::clamp(page, PageCount() > 0 ? 1 : 0, PageCount());
  Preview.page = page_;
  Preview.page_count = PageCount();
  Preview.lines = page_ > 0 ? platform::print::PageAsText(document_, static_cast<size_t>(page_ - 1))
                            : std::vector<std::string>{};
  LabelPage.caption = "Seite " + std::to_string(page_) + " von " + std::to_string(PageCount());
  BtnPrevPage.enabled = page_ > 1;
  BtnNextPage.enabled = page_ < PageCount();
}

void TFormPrintPreview::BtnPrevPageClick() {
  ShowPage(page_ - 1);
}

void TFormPrintPreview::BtnNextPageClick() {
  ShowPage(page_ + 1);
}

void TFormPrintPreview::BtnPrintClick() {
  TransActionReport::PrintReport(document_, proposed_name_);
}
