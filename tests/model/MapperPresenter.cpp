// The mapper's answers to boxes and forms (see MapperPresenter.h).
#include "tests/model/MapperPresenter.h"

#include "platform/ui/Transcript.h"

namespace model {
namespace {

using platform::ui::Button;
using platform::ui::CheckBox;
using platform::ui::Form;
using platform::ui::ListBox;
using platform::ui::ModalResult;
using platform::ui::MsgAnswer;
using platform::ui::MsgButtons;
using platform::ui::MsgKind;

ListBox* List(Form& form, const char* name) {
  return dynamic_cast<ListBox*>(form.Find(name));
}

std::string Pick(const char* control, size_t index) {
  return std::string("select ") + control + " #" + std::to_string(index);
}

std::vector<std::string> Items(const ListBox& list) {
  std::vector<std::string> items;
  for (const ListBox::Item& item : list.items) {
    // The choosers take an item trimmed.
    size_t b = item.text.find_first_not_of(' ');
    size_t e = item.text.find_last_not_of(' ');
    items.push_back(b == std::string::npos ? "" : item.text.substr(b, e - b + 1));
  }
  return items;
}

// Map sheets of the "BRB" identifiers in the pools, and one without any.
constexpr const char* kSheets[] = {"3245NO", "3245NW", "3847NO", "2950SW"};

}  // namespace

MapperPresenter::MapperPresenter(Rng& rng, OfferSink on_offer)
    : ScriptedPresenter(std::string_view{}, platform::ui::Transcript::InMemory()),
      rng_(rng),
      on_offer_(std::move(on_offer)) {}

MsgAnswer MapperPresenter::ShowMessage(MsgKind kind, std::string_view text, MsgButtons buttons) {
  boxes_.push_back({kind, std::string(text)});
  std::string answer = "OK";
  if (buttons == MsgButtons::kYesNo || buttons == MsgButtons::kYesNoCancel)
    answer = rng_.Chance(0.9) ? "Yes" : "No";
  Queue({"message " + answer});
  return ScriptedPresenter::ShowMessage(kind, text, buttons);
}

void MapperPresenter::RunModal(Form& form) {
  for (const auto& control : form.Controls()) {
    auto after = [this, &form](std::function<void()> handler) {
      return [this, &form, handler] {
        if (handler) handler();
        AfterHandler(form);
      };
    };
    if (auto* button = dynamic_cast<Button*>(control.get()))
      button->on_click = after(button->on_click);
    else if (auto* list = dynamic_cast<ListBox*>(control.get()))
      list->on_click = after(list->on_click);
    else if (auto* box = dynamic_cast<CheckBox*>(control.get()))
      box->on_click = after(box->on_click);
  }
  rounds_[&form] = 0;
  Offer(form);
  std::vector<std::string> batch = Plan(form, 0);
  batch.insert(batch.begin(), "form " + form.class_name);
  Queue(batch);
  ScriptedPresenter::RunModal(form);
  const std::string& name = form.class_name;
  for (const char* list : {"lbTransActions", "lbTransactions", "lbTID"}) {
    ListBox* tids = List(form, list);
    if (!tids || name == "TformGetKennung") continue;
    target_ = form.modal_result == ModalResult::kOk && tids->item_index >= 0
                  ? std::stoi(tids->SelectedText())
                  : -1;
  }
  if (name == "TFormGetKennungBB" && form.modal_result == ModalResult::kOk) {
    auto* proposal = dynamic_cast<platform::ui::Edit*>(form.Find("EditKennung"));
    if (proposal && on_offer_) on_offer_(form.class_name, "", {proposal->text});
  }
  rounds_.erase(&form);
}

void MapperPresenter::AfterHandler(Form& form) {
  if (form.modal_result != ModalResult::kNone || PendingActions() > 0) return;
  Offer(form);
  Queue(Plan(form, ++rounds_[&form]));
}

void MapperPresenter::Offer(Form& form) {
  if (!on_offer_) return;
  ListBox* kennungen = List(form, "lbKennungen");
  if (!kennungen) return;
  std::string for_kennung;
  if (auto* label = form.Find("lblOriginalKennung")) for_kennung = label->caption;
  on_offer_(form.class_name, for_kennung, Items(*kennungen));
}

void MapperPresenter::Queue(const std::vector<std::string>& lines) {
  std::string script;
  for (const std::string& line : lines) {
    lines_.push_back(line);
    script += line + "\n";
  }
  AddActions(script);
}

std::vector<std::string> MapperPresenter::Plan(Form& form, int round) {
  const std::string& name = form.class_name;
  if (name == "TFormGetTIDAndKennung") return PlanCreationChooser(form, round, "lbTransActions");
  if (name == "TFormGetTIDAndKennungNeu") return PlanCreationChooser(form, round, "lbTransactions");
  if (name == "TFormGetKennungBB") return PlanComposer(form, round);
  if (name == "TFormGetTID") {
    ListBox* tids = List(form, "lbTID");
    if (tids && tids->Count() > 0 && rng_.Chance(0.85))
      return {Pick("lbTID", rng_.Below(static_cast<size_t>(tids->Count()))), "click BtnOK"};
    return {"click BtnCancel"};
  }
  if (name == "TformGetKennung") {
    ListBox* kennungen = List(form, "lbKennungen");
    if (kennungen && kennungen->Count() > 0 && rng_.Chance(0.75))
      return {Pick("lbKennungen", rng_.Below(static_cast<size_t>(kennungen->Count()))),
              "click BtnOK"};
    return {rng_.Chance(0.6) ? "click BtnCancel" : "click Button1"};
  }
  if (name == "TFormLokaleArbeit") {
    ImportQuestion question;
    if (ListBox* listed = List(form, "lbObjekte")) {
      for (const std::string& item : Items(*listed)) {
        question.listed.push_back(item.substr(0, item.find_first_of(" :")));
      }
    }
    const size_t pick = rng_.Below(10);
    question.button = pick < 5 ? "BtnBehalten" : pick < 9 ? "BtnUebernehmen" : "BtnAbbrechen";
    question_ = question;
    return {"click " + question.button};
  }
  // A form the model does not know: its close box.
  return {"close"};
}

std::optional<MapperPresenter::ImportQuestion> MapperPresenter::TakeImportQuestion() {
  std::optional<ImportQuestion> question;
  question.swap(question_);
  return question;
}

std::vector<std::string> MapperPresenter::PlanCreationChooser(Form& form, int round,
                                                              const std::string& transactions) {
  ListBox* tids = List(form, transactions.c_str());
  if (round < 3 && tids && tids->Count() > 1 && rng_.Chance(0.3)) {
    // Another transaction: its identifiers are decided on once shown.
    size_t other = rng_.Below(static_cast<size_t>(tids->Count()) - 1);
    if (static_cast<int>(other) >= tids->item_index) ++other;
    return {Pick(transactions.c_str(), other)};
  }
  if (round < 3 && form.Find("cbAktiviereFilter") && rng_.Chance(0.1)) {
    auto* filter = dynamic_cast<CheckBox*>(form.Find("cbAktiviereFilter"));
    const bool on = rng_.Chance(0.5);
    std::vector<std::string> batch;
    if (filter && filter->checked != on)
      batch.push_back(on ? "check cbAktiviereFilter" : "uncheck cbAktiviereFilter");
    // Unchanged state: the check box's handler does not run; the requery ends the batch.
    batch.push_back(std::string("type EditTKBlatt ") + kSheets[rng_.Below(std::size(kSheets))]);
    batch.push_back("click btnRequery");
    return batch;
  }
  ListBox* kennungen = List(form, "lbKennungen");
  const size_t n = kennungen ? static_cast<size_t>(kennungen->Count()) : 0;
  if (n > 0 && rng_.Chance(0.7)) return {Pick("lbKennungen", rng_.Below(n)), "click BtnOK"};
  if (rng_.Chance(0.6)) {
    // "Keine TID", with an identifier or with the host's.
    if (n > 0 && rng_.Chance(0.5)) return {Pick("lbKennungen", rng_.Below(n)), "click BtnNoTID"};
    return {"click BtnNoTID"};
  }
  return {"click BtnCancel"};
}

std::vector<std::string> MapperPresenter::PlanComposer(Form& form, int round) {
  if (round > 4) return {"click btnStandard"};
  auto* proposal = dynamic_cast<platform::ui::Edit*>(form.Find("EditKennung"));
  const bool proposed = proposal && !proposal->text.empty();
  if (proposed && rng_.Chance(0.8)) return {"click btnOK"};
  if (round == 0 && rng_.Chance(0.15)) return {"click btnStandard"};
  if (rng_.Chance(0.6)) {
    return {"type EditAG AB", "type EditNummer " + std::to_string(rng_.Below(12)),
            std::string("type EditKarte ") + kSheets[rng_.Below(std::size(kSheets))],
            "click btnCalcKennung"};
  }
  // As the fields stand (the project file's last values): proposes and
  // closes, or says what is missing.
  return {"click btnOK"};
}

std::vector<MapperPresenter::Box> MapperPresenter::TakeBoxes() {
  std::vector<Box> boxes;
  boxes.swap(boxes_);
  return boxes;
}

std::optional<int> MapperPresenter::TakeTarget() {
  std::optional<int> target = target_;
  target_.reset();
  return target;
}

std::vector<std::string> MapperPresenter::TakeLines() {
  std::vector<std::string> lines;
  lines.swap(lines_);
  return lines;
}

}  // namespace model
