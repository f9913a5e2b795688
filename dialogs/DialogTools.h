// What the transaction and identifier dialogs share: filling an identifier
// list from a transaction's free pool, and the warning when nothing fits.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "platform/ui/Form.h"

namespace DialogTools {

// Empties the list and adds every free identifier of the transaction that
// fits the class of the object to be created under the state code and passes
// the extra filter; warns when none was added. Answers the number added.
int FillKennungList(platform::ui::ListBox& list, int32_t tid, int32_t okl,
                    std::string_view state_code,
                    const std::function<bool(const std::string&)>& extra_filter = nullptr);

}  // namespace DialogTools
