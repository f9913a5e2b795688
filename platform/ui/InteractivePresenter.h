// The presenter a user answers, where no answer file does: the platform's
// own, chosen by the build (PosixPresenterChoice.cpp: the terminal;
// WinPresenterChoice.cpp: Win32 windows).
#pragma once

#include <memory>

#include "platform/ui/Transcript.h"
#include "platform/ui/Ui.h"

namespace platform::ui {

std::unique_ptr<Presenter> MakeInteractivePresenter(std::shared_ptr<Transcript> transcript);

}  // namespace platform::ui
