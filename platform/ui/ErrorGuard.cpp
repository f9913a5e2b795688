// The text of a caught error, and its error box.
#include "platform/ui/ErrorGuard.h"

#include <new>

#include "platform/ui/Ui.h"

namespace platform::ui {

std::string ErrorText(const std::exception_ptr& error) {
  if (!error) return "";
  try {
    std::rethrow_exception(error);
  } catch (const std::bad_alloc&) {
    return std::string(kOutOfMemoryText);
  } catch (const std::exception& e) {
    return e.what();
  } catch (...) {
    return "Unbekannter Fehler im Plug-in.";
  }
}

void ShowError(const std::exception_ptr& error, Presenter* presenter) noexcept {
  if (!error) return;
  try {
    Presenter& shown_by = presenter != nullptr ? *presenter : CurrentPresenter();
    shown_by.ShowMessage(MsgKind::kError, ErrorText(error), MsgButtons::kOk);
  } catch (...) {
    // Nothing is left to tell the mapper with.
  }
}

}  // namespace platform::ui
