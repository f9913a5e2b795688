#include "status/StatusInfo.h"

#include "context/PluginContext.h"
#include "host/HostApi.h"
#include "host/Tools.h"
#include "platform/ui/Ui.h"
#include "transaction/TransActTools.h"

using platform::ui::ModalResult;
using platform::ui::MsgKind;

namespace {

constexpr std::string_view kSection = "VD2Transaktionen";
constexpr std::string_view kSelectStatus = "SelectStatus";

void Warning(std::string_view text) {
  platform::ui::MessageBox(MsgKind::kWarning, text);
}

}  // namespace

namespace StatusInfo {

std::string GetStatusString(int32_t statusID) {
  const bool full = CurrentProfile().status_wording == StatusWording::kSentencePerStatus;
  switch (statusID) {
    case 0:
      return full ? "lesend" : "Lesend";
    case 1:
      return full ? "schreibend" : "Schreibend";
    case 2:
      return full ? "neu" : "Neu";
    case 3:
      return full ? "gelöscht" : "Gelöscht";
    default:
      return "Unbekannt";
  }
}

void DoShowStatusInfo() {
  const int32_t id = host::ActiveObject();
  if (id <= 0) {
    Warning("Es konnte kein aktives Objekt ermittelt werden!");
    return;
  }
  if (!TransActTools::TransactionListExists()) {
    Warning("Es konnte keine Transaktionsliste gefunden werden!");
    return;
  }
  const std::string kennung = Tools::MyGetKennungOfID(id);
  if (!TransActTools::KennungInTransactionList(kennung)) {
    platform::ui::MessageBox(
        MsgKind::kInformation,
        "Das Objekt " + kennung + " ist nicht in der Transaktionsliste eingetragen!");
    return;
  }
  TObjectMetadata row;
  TransActTools::GetObjectMetadata(kennung, row);
  // Line feed before carriage return, as the mappers have always seen it.
  std::string text =
      "Das Objekt " + kennung + " ist in der Transaktion " + std::to_string(row.TID) + "\n\r";
  if (CurrentProfile().status_wording == StatusWording::kLocked) {
    text += "mit dem Status '" + GetStatusString(row.Schreibend) + "' gesperrt.";
  } else if (row.Schreibend == 0) {
    text += "mit dem Status 'lesend' für die Bearbeitung gesperrt.";
  } else if (row.Schreibend == 1) {
    text += "mit dem Status 'schreibend' zur Bearbeitung freigegeben.";
  } else if (row.Schreibend == 2) {
    text += "mit dem Status 'neu' aufgenomen.";
  }
  platform::ui::MessageBox(MsgKind::kInformation, text);
}

void DoSelectByStatus() {
  int32_t index = -1;
  {
    TformGetStatus form;
    if (form.ShowModal() == ModalResult::kOk) index = form.RadioGroup1.item_index;
  }
  if (index < 0) return;
  if (!TransActTools::TransactionListExists()) {
    Warning("Es konnte keine Transaktionsliste gefunden werden!");
    return;
  }
  const TObjectMetadataList rows = TransActTools::GetObjectsByStatus(index, -1);
  if (rows.empty()) {
    Warning("Es gibt keine Objekte mit dem Status " + GetStatusString(index) + ".");
    return;
  }
  {
    host::UpdateGuard update;
    host::DeselectAll();
    for (const TObjectMetadata& row : rows) {
      // An identifier the host no longer knows simply selects nothing.
      host::AddToSelection(host::IdOfKennung(row.Kennung));
    }
  }
  host::Redraw();
}

void DeletePflanzenStatus() {
  if (host::ClassOf(host::ActiveObject()) != kPflanzenlisteKlasse) return;
  if (Tools::MyGetValueByName("Pflanzenliste", "Status") == "e") {
    Tools::MySetValueByName("Pflanzenliste", "Status", "");
  }
}

}  // namespace StatusInfo

TformGetStatus::TformGetStatus()
    : Form("TformGetStatus", "Status angeben"),
      Label1(Add<platform::ui::Label>("Label1", "Geben Sie den Status an, den die zu")),
      Label2(Add<platform::ui::Label>("Label2", "selektierenden Objekte besitzen sollen.")),
      RadioGroup1(Add<platform::ui::RadioGroup>("RadioGroup1", " Status für Selektion ")),
      BtnWeiter(Add<platform::ui::Button>("BtnWeiter", "Weiter", ModalResult::kOk)),
      btnCancel(Add<platform::ui::Button>("btnCancel", "Abbrechen", ModalResult::kCancel)) {
  if (CurrentProfile().status_wording == StatusWording::kSentencePerStatus) {
    RadioGroup1.items = {"lesend gesperrt", "schreibend", "neu"};
  } else {
    RadioGroup1.items = {"Lesend gesperrt", "Schreibend gesperrt", "Neu"};
  }
  BtnWeiter.on_click = [this] { BtnWeiterClick(); };
  btnCancel.is_cancel = true;
  FormCreate();
}

void TformGetStatus::FormCreate() {
  const int32_t stored = Tools::GetRegIntEntry(VandraRegKey(), kSection, kSelectStatus, 0);
  // A stored value that names no item opens on the first, as a fresh user.
  RadioGroup1.item_index =
      stored >= 0 && stored < static_cast<int32_t>(RadioGroup1.items.size()) ? stored : 0;
}

void TformGetStatus::BtnWeiterClick() {
  Tools::SetRegIntEntry(VandraRegKey(), kSection, kSelectStatus, RadioGroup1.item_index);
}
