#include "dialogs/FormVorpruefung.h"

#include <set>

using platform::ui::Button;
using platform::ui::Label;
using platform::ui::ListBox;
using platform::ui::ModalResult;

TFormVorpruefung::TFormVorpruefung(ObjectSelector& selector, bool in_export)
    : Form("TFormVorpruefung", "Vorprüfung der Transaktion"),
      Label1(Add<Label>("Label1", "")),
      lbBefunde(Add<ListBox>("lbBefunde")),
      Label2(Add<Label>("Label2",
                        "Ein Objekt gehört in die Transaktionsliste, wenn ein Objekt seiner "
                        "Objektklasse in der Transaktion ist oder eine freie Kennung der "
                        "Transaktion mit dem Kennungspräfix seiner Objektklasse beginnt.")),
      BtnAuswahl(Add<Button>("BtnAuswahl", "Objekte des Befunds auswählen", ModalResult::kNone)),
      BtnAlle(Add<Button>("BtnAlle", "Objekte aller Befunde auswählen", ModalResult::kNone)),
      BtnWeiter(Add<Button>("BtnWeiter", "Export fortsetzen", ModalResult::kOk)),
      BtnAbbrechen(Add<Button>("BtnAbbrechen", in_export ? "Export abbrechen" : "Schließen",
                               ModalResult::kCancel)),
      selector_(selector) {
  BtnWeiter.visible = in_export;
  BtnAbbrechen.is_cancel = true;
  BtnAbbrechen.is_default = !in_export;
  lbBefunde.on_click = [this] { lbBefundeClick(); };
  BtnAuswahl.on_click = [this] { BtnAuswahlClick(); };
  BtnAlle.on_click = [this] { BtnAlleClick(); };
  UpdateButtons();
}

void TFormVorpruefung::SetLines(const std::string& transaction, std::vector<Line> lines) {
  lines_ = std::move(lines);
  Label1.caption = "Die Vorprüfung der Transaktion " + transaction + " hat " +
                   std::to_string(lines_.size()) + (lines_.size() == 1 ? " Befund" : " Befunde") +
                   " ergeben:";
  lbBefunde.Clear();
  for (size_t i = 0; i < lines_.size(); ++i) {
    lbBefunde.Add(lines_[i].text, static_cast<long long>(i));
  }
  lbBefunde.item_index = lines_.empty() ? -1 : 0;
  UpdateButtons();
}

void TFormVorpruefung::lbBefundeClick() {
  UpdateButtons();
}

void TFormVorpruefung::BtnAuswahlClick() {
  const int index = lbBefunde.item_index;
  if (index < 0 || index >= static_cast<int>(lines_.size())) return;
  selector_.SelectObjects(lines_[static_cast<size_t>(index)].objects);
}

void TFormVorpruefung::BtnAlleClick() {
  std::set<int32_t> seen;
  std::vector<int32_t> ids;
  for (const Line& line : lines_) {
    for (const int32_t id : line.objects) {
      if (seen.insert(id).second) ids.push_back(id);
    }
  }
  selector_.SelectObjects(ids);
}

void TFormVorpruefung::UpdateButtons() {
  const int index = lbBefunde.item_index;
  BtnAuswahl.enabled = index >= 0 && index < static_cast<int>(lines_.size()) &&
                       !lines_[static_cast<size_t>(index)].objects.empty();
  bool any = false;
  for (const Line& line : lines_) any = any || !line.objects.empty();
  BtnAlle.enabled = any;
}
