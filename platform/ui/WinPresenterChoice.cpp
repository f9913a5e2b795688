// On Windows the user answers in dialog windows.
#include "platform/ui/InteractivePresenter.h"
#include "platform/ui/WinPresenter.h"

namespace platform::ui {

std::unique_ptr<Presenter> MakeInteractivePresenter(std::shared_ptr<Transcript> transcript) {
  return std::make_unique<WinPresenter>(std::move(transcript));
}

}  // namespace platform::ui
