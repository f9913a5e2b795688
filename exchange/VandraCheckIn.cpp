#include "exchange/VandraCheckIn.h"

#include <memory>

#include "dialogs/FormCheckInBefunde.h"
#include "dialogs/FormCheckInLaeuft.h"
#include "exchange/Package.h"
#include "host/Tools.h"
#include "platform/env/Env.h"
#include "platform/env/Path.h"
#include "platform/process/Process.h"
#include "platform/ui/Ui.h"

namespace VandraCheckIn {
namespace {

namespace env = platform::env;
using DialogTools::CheckInRequest;
using platform::ui::ModalResult;
using platform::ui::MsgAnswer;
using platform::ui::MsgButtons;
using platform::ui::MsgKind;

// A log is read in blocks of this size.
constexpr size_t kLogBlock = 1 << 20;

void ShowError(const std::string& text) {
  platform::ui::MessageBox(MsgKind::kError, text);
}

std::string LogNotFound(const std::string& path) {
  return "Die Logdatei " + path + " konnte nicht gefunden werden!";
}

// Where a file of that name lies, matched without regard to case as the
// host's file system does; nothing when there is none.
std::optional<std::string> Locate(const std::string& path) {
  if (path.empty()) return std::nullopt;
  const std::string folder = env::FolderOf(path);
  auto name = env::FindNoCase(env::Env::Current(), folder, env::NameOf(path));
  if (!name) return std::nullopt;
  return env::JoinPath(folder, *name);
}

// Feeds the log found at `path` to `feed` block by block until it ends or
// `done` says the rest cannot matter; false when there is no log.
template <class Feed, class Done>
bool ReadLogInBlocks(const std::string& path, Feed feed, Done done) {
  const std::optional<std::string> found = Locate(path);
  if (!found) return false;
  std::unique_ptr<env::File> file = env::Env::Current().Open(*found, env::OpenMode::kRead);
  std::string block(kLogBlock, '\0');
  uint64_t offset = 0;
  for (size_t n; !done() && (n = file->ReadAt(offset, block.data(), block.size())) > 0;
       offset += n) {
    feed(std::string_view(block.data(), n));
  }
  return true;
}

// How one run of the program ended.
enum class Ending {
  kNotStarted,  // it could not be started
  kEnded,       // it ended by itself
  kCrashed,     // a signal ended it; `code` is the signal
  kCancelled,   // the mapper cancelled it, and it was ended
};
struct Run {
  Ending ending = Ending::kNotStarted;
  int code = 0;
};

// Runs the program while the mapper sees it run and may cancel it, which
// ends it with what it started.
Run RunProgram(const std::string& program, const std::vector<std::string>& args, bool probe) {
  std::unique_ptr<platform::process::RunningProgram> running =
      platform::process::RunningProgram::Start(program, args);
  if (!running) return {Ending::kNotStarted, 0};
  TFormCheckInLaeuft form(probe, [&running] { return running->Ended(); });
  // However the form closed but by the program's end (Abbrechen, the close
  // box, input that ended), the program is ended with what it started.
  if (form.ShowModal() != ModalResult::kOk || !running->Ended()) {
    running->Stop();
    return {Ending::kCancelled, 0};
  }
  const platform::process::RunningProgram::Ending& how = *running->HowEnded();
  return {how.by_signal ? Ending::kCrashed : Ending::kEnded, how.code};
}

// Whether the package is whole; an incomplete one is told.
bool PackageWhole(const CheckInRequest& r) {
  const std::optional<std::string> why =
      Package::IncompletePackage({Tools::WithBackslash(r.folder), r.prefix});
  if (!why) return true;
  ShowError(*why + "\rEs wird nicht eingecheckt; ein neuer Export ersetzt es.");
  return false;
}

// Removes the log an earlier run left; false (told) when it stays. Every
// spelling of the name goes, since the reader would take any.
bool RemoveOldLog(const CheckInRequest& r) {
  constexpr int kMostSpellings = 16;
  const std::string log = LogFileName(r.folder, r.prefix);
  try {
    for (int i = 0; i < kMostSpellings; ++i) {
      const std::optional<std::string> old = Locate(log);
      if (!old) return true;
      env::Env::Current().Remove(*old);
    }
    ShowError("Die Logdatei " + log + " eines früheren Check-Ins konnte nicht gelöscht werden!");
    return false;
  } catch (const env::EnvError& error) {
    ShowError("Die Logdatei " + log + " eines früheren Check-Ins konnte nicht gelöscht werden:\n" +
              error.what());
    return false;
  }
}

enum class Verdict { kSuccess, kFailure, kCancelled };

// What ended a crashed program: a signal on Linux (a small positive
// number), an exception code on Windows (0xC0000000 and above, negative as
// an int), which is told in hexadecimal as Windows tells it.
std::string CrashText(int code) {
  if (code >= 0) return "Signal " + std::to_string(code);
  char text[32];
  std::snprintf(text, sizeof text, "Ausnahme 0x%08X", static_cast<unsigned>(code));
  return text;
}

// One run of the program and its verdict: a cancelled or crashed run is
// told here; the log decides one that ended by itself.
Verdict RunCheckIn(const CheckInRequest& r, bool probe) {
  const Run run = RunProgram(r.program, CheckInArguments(r, probe), probe);
  switch (run.ending) {
    case Ending::kCancelled:
      ShowError(std::string(probe ? "Der Probe-Checkin" : "Der Checkin") +
                " wurde abgebrochen: das Programm " + r.program + " wurde beendet.");
      return Verdict::kCancelled;
    case Ending::kCrashed:
      ShowError("Das Programm " + r.program + " ist abgestürzt (" + CrashText(run.code) +
                "). Der Lauf gilt als nicht erfolgreich, was auch immer seine Logdatei meldet.");
      return Verdict::kFailure;
    case Ending::kNotStarted:
    case Ending::kEnded:
      break;
  }
  return ProbelaufErfolgreich(r.folder, r.prefix) ? Verdict::kSuccess : Verdict::kFailure;
}

// When the mapper asked for it and the log names objects: offers them for
// selection.
void OfferBefunde(const CheckInRequest& r) {
  if (!CheckInBefundeEnabled()) return;
  bool truncated = false;
  std::optional<std::vector<CheckInLog::Befund>> befunde;
  try {
    befunde = ReadCheckInBefunde(LogFileName(r.folder, r.prefix), truncated);
  } catch (const env::EnvError&) {
    // The verdict already told the mapper the log cannot be read.
    return;
  }
  if (!befunde || befunde->empty()) return;
  TFormCheckInBefunde form(*befunde, truncated);
  form.ShowModal();
}

// A failed run: told, its log shown and its findings offered.
ModalResult Failed(const CheckInRequest& r) {
  ShowError("Der Probe-Checkin war nicht erfolgreich!");
  ShowLogFile(r.editor, r.folder, r.prefix);
  OfferBefunde(r);
  return ModalResult::kCancel;
}

class Rules : public DialogTools::CheckInActions {
 public:
  ModalResult CheckIn(const CheckInRequest& request) override {
    return VandraCheckIn::CheckIn(request);
  }
};

}  // namespace

DialogTools::CheckInActions& Actions() {
  static Rules rules;
  return rules;
}

void StartVandraCheckIn(const std::string& D, const std::string& P) {
  if (Tools::ReadIntFromApplicatIni("VANDRA", "AutoCheckIn", 0) <= 0) return;
  std::unique_ptr<TfrmVandraCheckIn> form;
  try {
    form = std::make_unique<TfrmVandraCheckIn>(Actions());
  } catch (const platform::registry::RegistryError& error) {
    // The package is written; only the hand-over cannot be offered.
    platform::ui::MessageBox(MsgKind::kError,
                             std::string("Der Check-In kann nicht geöffnet werden, weil die "
                                         "Einstellungen nicht lesbar sind:\n") +
                                 error.what());
    return;
  }
  form->strExportDir = platform::env::WithoutTrailingSeparator(D);
  form->strFileNamePrefix = P;
  form->InitControls();
  form->ShowModal();
}

ModalResult CheckIn(const CheckInRequest& r) {
  if (!platform::env::FileExistsNoCase(platform::env::Env::Current(), r.program)) {
    ShowError("Das Programm " + r.program + " konnte nicht gefunden werden!");
    return ModalResult::kAbort;
  }
  if (!PackageWhole(r) || !RemoveOldLog(r)) return ModalResult::kCancel;
  const Verdict probe = RunCheckIn(r, true);
  if (probe == Verdict::kCancelled) return ModalResult::kCancel;
  if (probe == Verdict::kFailure) return Failed(r);
  if (platform::ui::MessageBox(MsgKind::kInformation,
                               "Probe-Checkin erfolgreich durchgeführt! Logdate ansehen?",
                               MsgButtons::kYesNo) == MsgAnswer::kYes) {
    ShowLogFile(r.editor, r.folder, r.prefix);
    platform::ui::MessageBox(MsgKind::kInformation, "Scharfen Checkin starten");
  }
  // The package is looked at again: the mapper may have taken time over
  // the probe's log.
  if (!PackageWhole(r) || !RemoveOldLog(r)) return ModalResult::kCancel;
  const Verdict real = RunCheckIn(r, false);
  if (real == Verdict::kCancelled) return ModalResult::kCancel;
  if (real == Verdict::kFailure) return Failed(r);
  if (platform::ui::MessageBox(MsgKind::kConfirmation,
                               "Checkin erfolgreich durchgeführt! Logdatei ansehen?",
                               MsgButtons::kYesNo) == MsgAnswer::kYes) {
    ShowLogFile(r.editor, r.folder, r.prefix);
  }
  OfferBefunde(r);
  return ModalResult::kOk;
}

std::vector<std::string> CheckInArguments(const CheckInRequest& r, bool probe) {
  std::vector<std::string> args;
  if (probe) args.push_back("-l");
  for (auto [flag, value] :
       {std::pair{"-s", &r.server}, {"-u", &r.user}, {"-p", &r.password}, {"-D", &r.database}}) {
    args.push_back(flag);
    args.push_back(*value);
  }
  args.insert(args.end(), {"-d", r.folder, "-n", r.prefix});
  return args;
}

std::string LogFileName(const std::string& Dir, const std::string& Prefix) {
  return platform::env::JoinPath(Dir, Prefix + ".log");
}

bool ProbelaufErfolgreich(const std::string& Dir, const std::string& Prefix) {
  const std::string path = LogFileName(Dir, Prefix);
  try {
    const std::optional<bool> verdict = ReadCheckInLog(path);
    if (!verdict) {
      ShowError(LogNotFound(path));
      return false;
    }
    return *verdict;
  } catch (const env::EnvError& error) {
    ShowError("Die Logdatei " + path + " konnte nicht gelesen werden:\n" + error.what());
    return false;
  }
}

void ShowLogFile(const std::string& EditorPath, const std::string& Dir, const std::string& Prefix) {
  const std::string path = LogFileName(Dir, Prefix);
  if (!platform::env::FileExistsNoCase(platform::env::Env::Current(), path)) {
    ShowError(LogNotFound(path));
  } else if (!platform::env::FileExistsNoCase(platform::env::Env::Current(), EditorPath)) {
    ShowError("Der Editor " + EditorPath + " konnte nicht gefunden werden!");
  } else {
    Tools::Exec(EditorPath, {path});
  }
}

std::optional<bool> ReadCheckInLog(const std::string& path) {
  CheckInLog::Reader reader;
  if (!ReadLogInBlocks(
          path, [&](std::string_view bytes) { reader.Feed(bytes); },
          [&] { return reader.Decided(); })) {
    return std::nullopt;
  }
  return reader.Finish();
}

std::optional<std::vector<CheckInLog::Befund>> ReadCheckInBefunde(const std::string& path,
                                                                  bool& truncated) {
  CheckInLog::BefundReader reader;
  if (!ReadLogInBlocks(
          path, [&](std::string_view bytes) { reader.Feed(bytes); }, [] { return false; })) {
    return std::nullopt;
  }
  std::vector<CheckInLog::Befund> befunde = reader.Finish();
  truncated = reader.Truncated();
  return befunde;
}

}  // namespace VandraCheckIn
