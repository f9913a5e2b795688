#include "dialogs/DialogTools.h"

#include "host/Tools.h"
#include "platform/ui/Ui.h"

namespace DialogTools {

std::string TransactionEntry(int32_t tid, std::string_view name) {
  return std::to_string(tid) + " - " + std::string(name);
}

int32_t TIDOfEntry(std::string_view entry) {
  int32_t tid = -1;
  if (!Tools::TryStrToInt(Tools::Trim(Tools::GetToken(entry, '-', 1)), tid)) return -1;
  return tid;
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

}  // namespace DialogTools
