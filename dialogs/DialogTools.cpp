#include "dialogs/DialogTools.h"

#include "host/Tools.h"
#include "platform/text/Strings.h"
#include "platform/ui/Ui.h"

namespace DialogTools {

std::string TransactionEntry(int32_t tid, std::string_view name) {
  return std::to_string(tid) + " - " + std::string(name);
}

int32_t TIDOfEntry(std::string_view entry) {
  return platform::text::StrToInt(platform::text::Trim(Tools::GetToken(entry, '-', 1)))
      .value_or(-1);
}

int FillKennungList(platform::ui::ListBox& list, KennungPool& pool, int32_t tid, int32_t okl,
                    std::string_view state_code,
                    const std::function<bool(const std::string&)>& extra_filter) {
  list.updating = true;
  list.Clear();
  for (std::string& K : pool.FittingFreeKennungen(tid, okl, state_code)) {
    if (extra_filter && !extra_filter(K)) continue;
    list.Add(std::move(K));
  }
  list.updating = false;
  if (list.Count() == 0) {
    platform::ui::MessageBox(
        platform::ui::MsgKind::kWarning,
        "Es sind keine Kennungen für die Zieltransaktion und die gewählte Objektklasse definiert!");
  }
  return list.Count();
}

TKFilterSettings TKFilterSettings::Load() {
  TKFilterSettings settings;
  settings.tk_blatt = Tools::ReadStringFromProjectIni("Kennungsliste", "TK-Blatt", "");
  const int32_t filter_aktiv =
      platform::text::StrToInt(Tools::ReadStringFromProjectIni("Kennungsliste", "FilterAktiv", "0"))
          .value_or(0);
  settings.aktiv = filter_aktiv > 0;
  return settings;
}

void TKFilterSettings::Save() const {
  Tools::WriteStringToProjectIni("Kennungsliste", "TK-Blatt", platform::text::Trim(tk_blatt));
  Tools::WriteStringToProjectIni("Kennungsliste", "FilterAktiv", aktiv ? "1" : "0");
}

bool TKFilterSettings::Passes(const std::string& kennung) const {
  if (!aktiv) return true;
  return platform::text::Trim(Tools::GetToken(kennung, '-', 2)) == tk_blatt;
}

}  // namespace DialogTools
