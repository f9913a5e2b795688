#include "dialogs/FormKonflikte.h"

using platform::ui::Button;
using platform::ui::Label;
using platform::ui::ListBox;
using platform::ui::ModalResult;

namespace {

std::string Quoted(const std::string& value) {
  return value.empty() ? "(leer)" : "\"" + value + "\"";
}

}  // namespace

TFormKonflikte::TFormKonflikte(const std::string& package, std::vector<Line> lines)
    : Form("TFormKonflikte", "Konflikte beim Zusammenführen"),
      Label1(Add<Label>("Label1", "")),
      lbKonflikte(Add<ListBox>("lbKonflikte")),
      BtnLokal(Add<Button>("BtnLokal", "Lokal behalten", ModalResult::kNone)),
      BtnPaket(Add<Button>("BtnPaket", "Paket übernehmen", ModalResult::kNone)),
      BtnAlleLokal(Add<Button>("BtnAlleLokal", "Alle lokal behalten", ModalResult::kNone)),
      BtnAllePaket(
          Add<Button>("BtnAllePaket", "Alle aus dem Paket übernehmen", ModalResult::kNone)),
      BtnOK(Add<Button>("BtnOK", "Zusammenführen", ModalResult::kOk)),
      BtnAbbrechen(Add<Button>("BtnAbbrechen", "Import abbrechen", ModalResult::kCancel)),
      lines_(std::move(lines)) {
  Label1.caption = "Im Transaktionspaket " + package + " " +
                   (lines_.size() == 1 ? "ist 1 Änderung"
                                       : "sind " + std::to_string(lines_.size()) + " Änderungen") +
                   " lokal und im Paket verschieden. Alles andere wird zusammengeführt:";
  BtnLokal.on_click = [this] { Decide(false, false); };
  BtnPaket.on_click = [this] { Decide(false, true); };
  BtnAlleLokal.on_click = [this] { Decide(true, false); };
  BtnAllePaket.on_click = [this] { Decide(true, true); };
  BtnOK.is_default = true;
  BtnAbbrechen.is_cancel = true;
  Show();
  lbKonflikte.item_index = lines_.empty() ? -1 : 0;
}

void TFormKonflikte::Show() {
  const int selected = lbKonflikte.item_index;
  lbKonflikte.Clear();
  for (const Line& line : lines_) {
    const std::string what = line.field.empty() ? "das Objekt" : line.field;
    lbKonflikte.Add(line.Kennung + ", " + what + ": lokal " +
                    (line.field.empty() ? line.local : Quoted(line.local)) + ", im Paket " +
                    (line.field.empty() ? line.package : Quoted(line.package)) + " -> " +
                    (line.take_package ? "Paket" : "lokal"));
  }
  lbKonflikte.item_index = selected;
}

void TFormKonflikte::Decide(bool all, bool take_package) {
  if (all) {
    for (Line& line : lines_) line.take_package = take_package;
  } else if (lbKonflikte.item_index >= 0 &&
             lbKonflikte.item_index < static_cast<int>(lines_.size())) {
    lines_[static_cast<size_t>(lbKonflikte.item_index)].take_package = take_package;
  }
  Show();
}
