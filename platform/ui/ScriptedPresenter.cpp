// Answering dialogs from a script.
#include "platform/ui/ScriptedPresenter.h"

#include <algorithm>
#include <chrono>
#include <iostream>
#include <thread>

#include "platform/env/Env.h"
#include "platform/text/Strings.h"

namespace platform::ui {
namespace {

std::optional<MsgAnswer> AnswerFromName(std::string_view name) {
  for (MsgAnswer a : {MsgAnswer::kOk, MsgAnswer::kYes, MsgAnswer::kNo, MsgAnswer::kCancel}) {
    if (text::EqualsIgnoreCase(MsgAnswerName(a), name)) return a;
  }
  return std::nullopt;
}

// "120 s", or "250 ms" where the limit is no whole number of seconds.
std::string LimitText(std::chrono::milliseconds limit) {
  if (limit.count() % 1000 == 0) return std::to_string(limit.count() / 1000) + " s";
  return std::to_string(limit.count()) + " ms";
}

// Keeps a counter raised while a modal box or form is being answered.
struct DepthGuard {
  int& depth;
  explicit DepthGuard(int& d) : depth(d) { ++depth; }
  ~DepthGuard() { --depth; }
};

}  // namespace

std::unique_ptr<ScriptedPresenter> ScriptedPresenter::FromFile(
    std::string path, std::shared_ptr<Transcript> transcript, env::Env* env) {
  auto presenter = std::make_unique<ScriptedPresenter>(std::string_view{}, std::move(transcript));
  presenter->path_ = std::move(path);
  presenter->env_ = env;
  return presenter;
}

ScriptedPresenter::ScriptedPresenter(std::string_view script,
                                     std::shared_ptr<Transcript> transcript)
    : transcript_(std::move(transcript)), idle_timer_([this] { RunIdle(); }, 10) {
  AddActions(script);
}

ScriptedPresenter::~ScriptedPresenter() {
  idle_timer_.SetEnabled(false);
}

void ScriptedPresenter::AddActions(std::string_view script) {
  size_t pos = 0;
  while (pos < script.size()) {
    size_t nl = script.find('\n', pos);
    if (nl == std::string_view::npos) nl = script.size();
    AddLine(script.substr(pos, nl - pos));
    pos = nl + 1;
  }
}

void ScriptedPresenter::SetWaitLimitFromSetting(std::string_view name, std::string_view seconds) {
  const std::optional<int32_t> value = text::StrToInt(seconds);
  if (!value || *value < 1 || *value > kLongestWaitLimit.count()) {
    Fail(std::string(name) + "=" + std::string(seconds) +
             " is no wait limit (whole seconds, 1 to " + std::to_string(kLongestWaitLimit.count()) +
             "); the limit stays " + LimitText(wait_limit_),
         false);
    return;
  }
  wait_limit_ = std::chrono::seconds(*value);
}

void ScriptedPresenter::AddLine(std::string_view line) {
  ++line_number_;
  std::string error;
  std::optional<Action> action = ParseAction(line, error);
  if (!error.empty()) {
    Fail("answer line " + std::to_string(line_number_) + " cannot be read (" + error +
             "): " + std::string(line),
         false);
    return;
  }
  if (!action) return;
  action->line_number = line_number_;
  queue_.push_back(std::move(*action));
}

void ScriptedPresenter::ReadMore() {
  if (!path_) return;
  env::Env& env = env_ != nullptr ? *env_ : env::Env::Current();
  std::string data;
  try {
    std::unique_ptr<env::File> file = env.Open(*path_, env::OpenMode::kRead);
    char buffer[4096];
    size_t n;
    while ((n = file->ReadAt(static_cast<uint64_t>(offset_) + data.size(), buffer, sizeof buffer)) >
           0) {
      data.append(buffer, n);
    }
  } catch (const env::EnvError&) {
    // Not there yet, or not readable now: the next answer needed reads again.
    // What was read up to an error is kept, as the host only ever appends.
  }
  // The host is waiting for this call while an answer is needed, so a last
  // line without its line end is complete as well.
  offset_ += static_cast<long long>(data.size());
  AddActions(data);
}

const Action* ScriptedPresenter::Peek() {
  if (queue_.empty()) ReadMore();
  return queue_.empty() ? nullptr : &queue_.front();
}

void ScriptedPresenter::Pop() {
  if (!queue_.empty()) queue_.pop_front();
}

size_t ScriptedPresenter::PendingActions() {
  ReadMore();
  return queue_.size();
}

std::string ScriptedPresenter::Expectation() {
  const Action* next = Peek();
  if (next == nullptr) return "no answer left";
  return "next answer, line " + std::to_string(next->line_number) + ": " + next->line;
}

void ScriptedPresenter::Fail(const std::string& what, bool with_expectation) {
  std::string text = with_expectation ? what + " [" + Expectation() + "]" : what;
  failures_.push_back(text);
  if (transcript_) transcript_->Unexpected(text);
  std::cerr << "UNEXPECTED " << text << std::endl;
}

MsgAnswer ScriptedPresenter::ShowMessage(MsgKind kind, std::string_view text, MsgButtons buttons) {
  DepthGuard depth(modal_depth_);
  if (!in_idle_) modeless_target_ = nullptr;
  if (transcript_) transcript_->Message(kind, text, buttons);
  std::string described = "message " + std::string(MsgKindName(kind)) + " " +
                          std::string(MsgButtonsName(buttons)) + ": " + EscapeLine(text);
  MsgAnswer answer = SafestAnswer(buttons);
  const Action* next = Peek();
  if (next == nullptr || next->verb != "message") {
    Fail(described);
  } else if (next->args.empty() || next->args.size() > 2 || !AnswerFromName(next->args[0].text)) {
    Fail(
        "answer line " + std::to_string(next->line_number) + " is no message answer: " + next->line,
        false);
    Pop();
  } else if (next->args.size() == 2 && next->args[1].text != text) {
    Fail(described);  // left for the box it was meant for
  } else if (!MsgButtonsOffer(buttons, *AnswerFromName(next->args[0].text))) {
    std::string line = next->line;
    Pop();
    Fail(described + " [the box has no button for line: " + line + "]", false);
  } else {
    answer = *AnswerFromName(next->args[0].text);
    Pop();
  }
  if (transcript_) transcript_->Answer(answer);
  return answer;
}

void ScriptedPresenter::RunModal(Form& form) {
  DepthGuard depth(modal_depth_);
  if (!in_idle_) modeless_target_ = nullptr;
  if (transcript_) transcript_->FormShown(form);
  const Action* next = Peek();
  if (next == nullptr || next->verb != "form" || next->args.size() != 1 ||
      next->args[0].text != form.class_name) {
    if (form.on_idle) {
      WaitUntilClosed(form);
    } else {
      Fail("form " + form.class_name + " " + Quote(form.caption));
      form.Close(ModalResult::kCancel);
    }
  } else {
    Pop();
    while (form.modal_result == ModalResult::kNone) {
      next = Peek();
      if (next == nullptr || !IsFormAction(*next)) {
        if (form.on_idle) {
          WaitUntilClosed(form);
          break;
        }
        Fail("form " + form.class_name + " " + Quote(form.caption) + " is still open");
        form.Close(ModalResult::kCancel);
        break;
      }
      Action action = *next;
      Pop();
      if (transcript_) transcript_->Action(ActionForTranscript(form, action));
      if (auto error = ApplyFormAction(form, action)) {
        Fail("action on form " + form.class_name + " at answer line " +
                 std::to_string(action.line_number) + " (" + action.line + "): " + *error,
             false);
      }
    }
  }
  if (transcript_) transcript_->Result(form.modal_result);
}

void ScriptedPresenter::WaitUntilClosed(Form& form) {
  using Clock = std::chrono::steady_clock;
  const Clock::time_point deadline = Clock::now() + wait_limit_;
  while (form.modal_result == ModalResult::kNone) {
    form.on_idle();
    if (form.modal_result != ModalResult::kNone) break;
    const Clock::time_point now = Clock::now();
    if (now >= deadline) {
      // Cancel, as for any form nobody answered: the rule that opened it
      // ends the work it watched.
      Fail("form " + form.class_name + " " + Quote(form.caption) +
           " did not close by itself within " + LimitText(wait_limit_));
      form.Close(ModalResult::kCancel);
      break;
    }
    std::this_thread::sleep_for(std::min<Clock::duration>(
        std::chrono::milliseconds(std::max<uint32_t>(1, form.idle_interval_ms)), deadline - now));
  }
}

void ScriptedPresenter::ShowModeless(Form& form) {
  if (std::find(modeless_.begin(), modeless_.end(), &form) != modeless_.end()) return;
  modeless_.push_back(&form);
  if (transcript_) transcript_->FormShown(form, "modeless");
  idle_timer_.SetEnabled(true);
}

void ScriptedPresenter::CloseModeless(Form& form) {
  auto it = std::find(modeless_.begin(), modeless_.end(), &form);
  if (it == modeless_.end()) return;
  modeless_.erase(it);
  if (modeless_target_ == &form) modeless_target_ = nullptr;
  if (transcript_) {
    transcript_->FormHeader(form, "modeless");
    transcript_->Result(form.modal_result);
  }
  if (modeless_.empty()) idle_timer_.SetEnabled(false);
}

void ScriptedPresenter::RunIdle() {
  if (modal_depth_ > 0 || in_idle_) return;
  in_idle_ = true;
  while (const Action* next = Peek()) {
    if (next->verb == "form" && next->args.size() == 1) {
      auto it = std::find_if(modeless_.begin(), modeless_.end(),
                             [&](Form* f) { return f->class_name == next->args[0].text; });
      if (it == modeless_.end()) break;
      modeless_target_ = *it;
      Pop();
      if (transcript_) transcript_->FormHeader(*modeless_target_, "modeless");
      continue;
    }
    if (modeless_target_ == nullptr || !IsFormAction(*next)) break;
    Action action = *next;
    Pop();
    Form& form = *modeless_target_;
    if (transcript_) transcript_->Action(ActionForTranscript(form, action));
    if (auto error = ApplyFormAction(form, action)) {
      Fail("action on form " + form.class_name + " at answer line " +
               std::to_string(action.line_number) + " (" + action.line + "): " + *error,
           false);
    }
  }
  in_idle_ = false;
}

std::optional<std::string> ScriptedPresenter::ShowFileDialog(const FileDialogRequest& request) {
  DepthGuard depth(modal_depth_);
  if (!in_idle_) modeless_target_ = nullptr;
  std::optional<std::string> chosen;
  const Action* next = Peek();
  if (next == nullptr || next->verb != "file" || next->args.size() != 1) {
    std::string what = std::string("file ") +
                       (request.kind == FileDialogRequest::Kind::kSave ? "save " : "open ") +
                       Quote(request.filter) + " " + Quote(request.initial_dir) + " " +
                       Quote(request.file_name);
    Fail(what);
  } else {
    if (next->args[0].quoted || next->args[0].text != "cancel") {
      chosen = WithDefaultExtension(request, next->args[0].text);
    }
    Pop();
  }
  if (transcript_) transcript_->File(request, chosen);
  return chosen;
}

}  // namespace platform::ui
