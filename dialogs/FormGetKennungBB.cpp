#include "dialogs/FormGetKennungBB.h"

#include "host/HostApi.h"
#include "host/Tools.h"
#include "platform/text/Formats.h"
#include "platform/text/Strings.h"
#include "platform/ui/Ui.h"

using platform::ui::Button;
using platform::ui::Edit;
using platform::ui::Label;
using platform::ui::ModalResult;
using platform::ui::MsgKind;
using platform::ui::UpDown;

TFormGetKennungBB::TFormGetKennungBB(DialogTools::KennungComposer& composer)
    : Form("TFormGetKennungBB", "Objektkennung eingeben"),
      Label1(Add<Label>("Label1", "Auftraggeber:")),
      EditAG(Add<Edit>("EditAG")),
      Label3(Add<Label>("Label3", "Nummer:")),
      EditNummer(Add<Edit>("EditNummer")),
      UpDownNummer(Add<UpDown>("UpDownNummer", "EditNummer", 0, 999)),
      Label2(Add<Label>("Label2", "Blattnummer:")),
      EditKarte(Add<Edit>("EditKarte")),
      Label4(Add<Label>("Label4", "Neue Kennung:")),
      EditKennung(Add<Edit>("EditKennung")),
      btnCalcKennung(Add<Button>("btnCalcKennung", "...", ModalResult::kNone)),
      btnOK(Add<Button>("btnOK", "Weiter", ModalResult::kNone)),
      btnStandard(Add<Button>("btnStandard", "Abbruch", ModalResult::kCancel)),
      year(platform::text::DecodeDate(platform::text::Now()).year),
      composer_(composer) {
  EditAG.max_length = 2;
  btnOK.is_default = true;
  btnStandard.is_cancel = true;
  btnCalcKennung.on_click = [this] { btnCalcKennungClick(); };
  btnOK.on_click = [this] { btnOKClick(); };
}

void TFormGetKennungBB::FormShow() {
  EditAG.text = Tools::ReadStringFromProjectIni("BRB", "AG", "");
  EditNummer.text =
      std::string(platform::text::Trim(Tools::ReadStringFromProjectIni("BRB", "Nummer", "000")));
  if (const std::optional<int32_t> position = platform::text::StrToInt(EditNummer.text)) {
    UpDownNummer.position = *position;
  }
  EditKarte.text = Tools::ReadStringFromProjectIni("BRB", "Kartenblatt", "");
}

bool TFormGetKennungBB::Propose() {
  const DialogTools::KennungComposer::Proposal proposal =
      composer_.Propose(EditAG.text, EditNummer.text, EditKarte.text, year);
  if (!proposal.ok) {
    platform::ui::MessageBox(MsgKind::kError, proposal.message);
    return false;
  }
  EditKennung.text = proposal.kennung;
  return true;
}

void TFormGetKennungBB::btnCalcKennungClick() {
  Propose();
}

void TFormGetKennungBB::btnOKClick() {
  if (platform::text::Trim(EditKennung.text).empty()) {
    if (Propose()) SaveAndClose();
    return;
  }
  if (composer_.SyntaxOK(EditKennung.text)) {
    if (host::KennungExists(EditKennung.text)) {
      platform::ui::MessageBox(MsgKind::kError, "Die Kennung existiert bereits im Projekt!");
      return;
    }
    SaveAndClose();
    return;
  }
  platform::ui::MessageBox(MsgKind::kWarning,
                           "Die Syntax der Kennung ist nicht korrekt!\r\n"
                           "Ein neuer Vorschlag wird berechnet.");
  Propose();
}

void TFormGetKennungBB::SaveAndClose() {
  Tools::WriteStringToProjectIni("BRB", "AG", EditAG.text);
  Tools::WriteStringToProjectIni("BRB", "Nummer", EditNummer.text);
  Tools::WriteStringToProjectIni("BRB", "Kartenblatt", EditKarte.text);
  Close(ModalResult::kOk);
}
