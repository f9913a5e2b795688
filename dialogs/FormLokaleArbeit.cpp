#include "dialogs/FormLokaleArbeit.h"

using platform::ui::Button;
using platform::ui::Label;
using platform::ui::ListBox;
using platform::ui::ModalResult;

namespace {

// The controls before the answers, in the order the form shows them.
platform::ui::Button* MergeButton(platform::ui::Form& form, bool can_merge) {
  if (!can_merge) return nullptr;
  return &form.Add<Button>("BtnZusammenfuehren", "Zusammenführen", ModalResult::kOk);
}

}  // namespace

TFormLokaleArbeit::TFormLokaleArbeit(const std::string& package, const std::vector<Line>& lines,
                                     bool can_merge)
    : Form("TFormLokaleArbeit", "Lokale Arbeit im Transaktionspaket"),
      Label1(Add<Label>("Label1", "")),
      lbObjekte(Add<ListBox>("lbObjekte")),
      Label2(Add<Label>(
          "Label2",
          "Lokale Arbeit behalten: diese Objekte werden weder gelöscht noch neu geladen, ihre "
          "Zeilen behalten Status und Änderungsmarke; alle anderen Objekte und die freien "
          "Kennungen des Pakets werden importiert. Paketstand übernehmen: die Objekte mit "
          "\"bei Übernahme ersetzt\" werden durch den Stand des Pakets ersetzt, ihre "
          "Verknüpfungen mit lokalen Fotos bleiben. Die Objekte mit \"bleibt bei jeder "
          "Antwort\" bleiben in beiden Fällen, wie sie sind: eine andere Transaktion hält ihre "
          "Zeile mit gleichem oder höherem Status, oder ihre Kennung ist im Projekt mehrfach "
          "vergeben.")),
      BtnZusammenfuehren(MergeButton(*this, can_merge)),
      BtnBehalten(Add<Button>("BtnBehalten", "Lokale Arbeit behalten", ModalResult::kYes)),
      BtnUebernehmen(Add<Button>("BtnUebernehmen", "Paketstand übernehmen", ModalResult::kNo)),
      BtnAbbrechen(Add<Button>("BtnAbbrechen", "Import abbrechen", ModalResult::kCancel)) {
  Label1.caption = "Im Transaktionspaket " + package +
                   (lines.size() == 1 ? " ist 1 Objekt, an dem"
                                      : " sind " + std::to_string(lines.size()) +
                                            " Objekte, an denen") +
                   " in diesem Projekt gearbeitet wurde:";
  for (const Line& line : lines) {
    lbObjekte.Add(line.Kennung +
                  (line.TID >= 0 ? " (Transaktion " + std::to_string(line.TID) + ")" : "") +
                  ": " + line.what +
                  (line.kept_anyway ? "; bleibt bei jeder Antwort"
                                    : "; bei Behalten unverändert, bei Übernahme ersetzt"));
  }
  lbObjekte.item_index = lines.empty() ? -1 : 0;
  if (BtnZusammenfuehren) {
    Label2.caption =
        "Zusammenführen: was nur auf einer Seite geändert wurde, wird übernommen, Feld für Feld; "
        "nur Felder, die lokal und im Paket verschieden geändert wurden, werden nachgefragt. " +
        Label2.caption;
    BtnZusammenfuehren->is_default = true;
  } else {
    BtnBehalten.is_default = true;
  }
  BtnAbbrechen.is_cancel = true;
}
