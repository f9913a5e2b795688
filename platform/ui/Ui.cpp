// Message boxes, file dialogs, the cursor and the installed presenter.
#include "platform/ui/Ui.h"

#include <cstdlib>

#include "platform/env/Env.h"
#include "platform/ui/InteractivePresenter.h"
#include "platform/ui/ScriptedPresenter.h"
#include "platform/ui/Transcript.h"

namespace platform::ui {
namespace {

std::unique_ptr<Presenter>& Installed() {
  static std::unique_ptr<Presenter> presenter;
  return presenter;
}

Cursor& TheCursor() {
  static Cursor cursor = Cursor::kDefault;
  return cursor;
}

}  // namespace

std::string_view MsgKindName(MsgKind kind) {
  switch (kind) {
    case MsgKind::kPlain:
      return "plain";
    case MsgKind::kWarning:
      return "warning";
    case MsgKind::kInformation:
      return "information";
    case MsgKind::kError:
      return "error";
    case MsgKind::kConfirmation:
      return "confirmation";
  }
  return "plain";
}

std::string_view MsgKindCaption(MsgKind kind) {
  switch (kind) {
    case MsgKind::kPlain:
      return "Meldung";
    case MsgKind::kWarning:
      return "Warnung";
    case MsgKind::kInformation:
      return "Information";
    case MsgKind::kError:
      return "Fehler";
    case MsgKind::kConfirmation:
      return "Bestätigen";
  }
  return "Meldung";
}

std::string_view MsgButtonsName(MsgButtons buttons) {
  switch (buttons) {
    case MsgButtons::kOk:
      return "OK";
    case MsgButtons::kYesNo:
      return "YesNo";
    case MsgButtons::kOkCancel:
      return "OKCancel";
    case MsgButtons::kYesNoCancel:
      return "YesNoCancel";
  }
  return "OK";
}

std::string_view MsgAnswerName(MsgAnswer answer) {
  switch (answer) {
    case MsgAnswer::kOk:
      return "OK";
    case MsgAnswer::kYes:
      return "Yes";
    case MsgAnswer::kNo:
      return "No";
    case MsgAnswer::kCancel:
      return "Cancel";
  }
  return "OK";
}

bool MsgButtonsOffer(MsgButtons buttons, MsgAnswer answer) {
  switch (buttons) {
    case MsgButtons::kOk:
      return answer == MsgAnswer::kOk;
    case MsgButtons::kYesNo:
      return answer == MsgAnswer::kYes || answer == MsgAnswer::kNo;
    case MsgButtons::kOkCancel:
      return answer == MsgAnswer::kOk || answer == MsgAnswer::kCancel;
    case MsgButtons::kYesNoCancel:
      return answer != MsgAnswer::kOk;
  }
  return false;
}

MsgAnswer SafestAnswer(MsgButtons buttons) {
  if (MsgButtonsOffer(buttons, MsgAnswer::kCancel)) return MsgAnswer::kCancel;
  if (MsgButtonsOffer(buttons, MsgAnswer::kNo)) return MsgAnswer::kNo;
  return MsgAnswer::kOk;
}

MsgAnswer MessageBox(MsgKind kind, std::string_view text, MsgButtons buttons) {
  return CurrentPresenter().ShowMessage(kind, text, buttons);
}

std::string WithDefaultExtension(const FileDialogRequest& request, std::string path) {
  if (request.default_ext.empty() || path.empty()) return path;
  const std::string name = env::NameOf(path);
  if (name.empty() || name.find('.') != std::string::npos) return path;
  std::string ext = request.default_ext;
  if (ext.front() == '.') ext.erase(0, 1);
  return path + "." + ext;
}

std::optional<std::string> FileDialog(const FileDialogRequest& request) {
  return CurrentPresenter().ShowFileDialog(request);
}

Cursor CurrentCursor() {
  return TheCursor();
}
void SetCursor(Cursor cursor) {
  if (TheCursor() == cursor) return;
  TheCursor() = cursor;
  if (Presenter* presenter = InstalledPresenter()) presenter->CursorChanged(cursor);
}

Presenter& CurrentPresenter() {
  if (!Installed()) ChoosePresenterFromEnvironment();
  return *Installed();
}

Presenter* InstalledPresenter() {
  return Installed().get();
}

std::unique_ptr<Presenter> SetPresenter(std::unique_ptr<Presenter> presenter) {
  std::unique_ptr<Presenter> previous = std::move(Installed());
  Installed() = std::move(presenter);
  return previous;
}

void ChoosePresenterFromEnvironment() {
  std::shared_ptr<Transcript> transcript;
  if (const char* path = std::getenv("KARTUL_TRANSCRIPT"); path != nullptr && *path != '\0') {
    transcript = Transcript::ToFile(path);
  }
  if (const char* answers = std::getenv("KARTUL_ANSWERS"); answers != nullptr && *answers != '\0') {
    std::unique_ptr<ScriptedPresenter> scripted = ScriptedPresenter::FromFile(answers, transcript);
    if (const char* limit = std::getenv("KARTUL_WAIT_LIMIT"); limit != nullptr && *limit != '\0') {
      scripted->SetWaitLimitFromSetting("KARTUL_WAIT_LIMIT", limit);
    }
    SetPresenter(std::move(scripted));
  } else {
    SetPresenter(MakeInteractivePresenter(transcript));
  }
}

}  // namespace platform::ui
