#include "dialogs/FormCheckInBefunde.h"

#include <algorithm>

#include "host/HostApi.h"
#include "host/Tools.h"
#include "platform/ui/Ui.h"

using platform::ui::Button;
using platform::ui::Label;
using platform::ui::ListBox;
using platform::ui::ModalResult;

TFormCheckInBefunde::TFormCheckInBefunde(const std::vector<DialogTools::CheckInBefund>& befunde,
                                         bool truncated)
    : Form("TFormCheckInBefunde", "Befunde des Check-Ins"),
      Label1(Add<Label>("Label1", "Das Protokoll des Check-Ins nennt Befunde zu diesen Objekten:")),
      lbBefunde(Add<ListBox>("lbBefunde")),
      LabelHinweis(Add<Label>(
          "LabelHinweis",
          truncated ? "Das Protokoll nennt weitere Befunde; sie sind nicht aufgeführt." : "")),
      BtnSelektieren(Add<Button>("BtnSelektieren", "Objekte selektieren", ModalResult::kOk)),
      BtnSchliessen(Add<Button>("BtnSchliessen", "Schließen", ModalResult::kCancel)),
      befunde_(befunde) {
  LabelHinweis.visible = truncated;
  BtnSchliessen.is_cancel = true;
  BtnSelektieren.is_default = true;
  for (size_t i = 0; i < befunde_.size(); ++i) {
    lbBefunde.Add(befunde_[i].Kennung + ": " + befunde_[i].Text, static_cast<long long>(i));
  }
  BtnSelektieren.on_click = [this] { BtnSelektierenClick(); };
}

void TFormCheckInBefunde::BtnSelektierenClick() {
  std::vector<std::string> kennungen;
  if (lbBefunde.item_index >= 0) {
    kennungen.push_back(befunde_[static_cast<size_t>(lbBefunde.item_index)].Kennung);
  } else {
    for (const DialogTools::CheckInBefund& b : befunde_) kennungen.push_back(b.Kennung);
  }
  std::vector<std::string> missing;
  {
    host::UpdateGuard update;
    host::DeselectAll();
    for (const std::string& k : kennungen) {
      const int32_t id = host::IdOfKennung(k);
      if (id > 0) {
        host::AddToSelection(id);
      } else if (std::find(missing.begin(), missing.end(), k) == missing.end()) {
        missing.push_back(k);
      }
    }
  }
  host::Redraw();
  if (!missing.empty()) {
    std::string text = "Diese Objekte des Protokolls gibt es im Projekt nicht:";
    for (const std::string& k : missing) text += "\r" + k;
    platform::ui::MessageBox(platform::ui::MsgKind::kInformation, text);
  }
}

bool CheckInBefundeEnabled() {
  return Tools::ReadIntFromApplicatIni("VANDRA", "CheckInBefunde", 0) > 0;
}
