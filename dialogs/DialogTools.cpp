#include "dialogs/DialogTools.h"

#include "platform/ui/Ui.h"
#include "transaction/KennungsTools.h"
#include "transaction/TransActTools.h"

namespace DialogTools {

int FillKennungList(platform::ui::ListBox& list, int32_t tid, int32_t okl,
                    std::string_view state_code,
                    const std::function<bool(const std::string&)>& extra_filter) {
  const std::string short_name = KennungsTools::GetOKLShortName(okl);
  list.updating = true;
  list.Clear();
  for (std::string& K : TransActTools::GetFittingFreeKennungen(short_name, tid, state_code)) {
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
