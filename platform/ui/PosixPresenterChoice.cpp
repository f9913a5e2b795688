// Without windows the user answers at the terminal.
#include "platform/ui/InteractivePresenter.h"
#include "platform/ui/TerminalPresenter.h"

namespace platform::ui {

std::unique_ptr<Presenter> MakeInteractivePresenter(std::shared_ptr<Transcript> transcript) {
  return std::make_unique<TerminalPresenter>(std::move(transcript));
}

}  // namespace platform::ui
