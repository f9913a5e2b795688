#include "dialogs/FormImportJournal.h"

using platform::ui::Button;
using platform::ui::Label;
using platform::ui::ListBox;
using platform::ui::ModalResult;

TFormImportJournal::TFormImportJournal(const std::string& text,
                                       const std::vector<std::string>& items,
                                       bool unfinished)
    : Form("TFormImportJournal", "Importjournal"),
      Label1(Add<Label>("Label1", text)),
      lbPunkte(Add<ListBox>("lbPunkte")),
      Label2(Add<Label>("Label2", "")),
      BtnZuruecknehmen(Add<Button>("BtnZuruecknehmen", "Import zurücknehmen", ModalResult::kYes)),
      BtnSpaeter(Add<Button>("BtnSpaeter", "Später entscheiden", ModalResult::kCancel)),
      BtnBeiseite(Add<Button>("BtnBeiseite", "Journal beiseitelegen", ModalResult::kNo)) {
  for (const std::string& item : items) lbPunkte.Add(item);
  lbPunkte.item_index = items.empty() ? -1 : 0;
  std::string help;
  if (unfinished) {
    BtnSpaeter.caption = "Beim nächsten Laden erneut versuchen";
    help =
        "Beim nächsten Laden erneut versuchen: die Journaldatei bleibt; beim nächsten Laden des "
        "Projekts wird zurückgesetzt, was dann noch so ist, wie der Import es hinterlassen hat, "
        "und was seitdem geändert wurde, bleibt. ";
  } else {
    help =
        "Import zurücknehmen: was der Import hinterlassen hat, wird auf den Stand vor dem Import "
        "gesetzt; was seitdem geändert wurde, bleibt und wird genannt. Später entscheiden: die "
        "Journaldatei bleibt, beim nächsten Laden des Projekts wird erneut gefragt. ";
  }
  help +=
      "Solange die Journaldatei liegt, wird kein weiteres Paket importiert. Journal "
      "beiseitelegen: was halb importiert ist, bleibt so, die Journaldatei wird umbenannt "
      "aufbewahrt und nie angewandt.";
  Label2.caption = help;
  BtnZuruecknehmen.visible = !unfinished;
  BtnZuruecknehmen.is_default = !unfinished;
  BtnSpaeter.is_default = unfinished;
  BtnSpaeter.is_cancel = true;
}
