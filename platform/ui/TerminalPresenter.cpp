// Text rendering of boxes and forms, and the line-by-line interaction.
#include "platform/ui/TerminalPresenter.h"

#include <fcntl.h>
#include <fnmatch.h>
#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <chrono>
#include <filesystem>

#include "platform/text/Encoding.h"
#include "platform/text/Formats.h"
#include "platform/text/Strings.h"
#include "platform/ui/Actions.h"

namespace platform::ui {
namespace {

std::vector<MsgAnswer> Offered(MsgButtons buttons) {
  std::vector<MsgAnswer> out;
  for (MsgAnswer a : {MsgAnswer::kOk, MsgAnswer::kYes, MsgAnswer::kNo, MsgAnswer::kCancel}) {
    if (MsgButtonsOffer(buttons, a)) out.push_back(a);
  }
  return out;
}

std::optional<MsgAnswer> ParseAnswer(std::string line, MsgButtons buttons) {
  line = text::ToLowerAscii(text::Trim(line));
  if (line.rfind("message ", 0) == 0) line = text::Trim(line.substr(8));
  std::optional<MsgAnswer> answer;
  if (line.empty())
    answer = Offered(buttons).front();
  else if (line == "ok" || line == "o")
    answer = MsgAnswer::kOk;
  else if (line == "yes" || line == "y" || line == "j" || line == "ja")
    answer = MsgAnswer::kYes;
  else if (line == "no" || line == "n" || line == "nein")
    answer = MsgAnswer::kNo;
  else if (line == "cancel" || line == "c" || line == "esc" || line == "abbrechen")
    answer = MsgAnswer::kCancel;
  if (answer && !MsgButtonsOffer(buttons, *answer)) return std::nullopt;
  return answer;
}

std::string Pad(std::string s, size_t width) {
  if (s.size() < width) s += std::string(width - s.size(), ' ');
  return s;
}

std::string State(const Control& c) {
  std::string out;
  if (!c.enabled) out += "  (disabled)";
  if (!c.visible) out += "  (hidden)";
  return out;
}

const char* kFormHelp =
    "  <n>            click / toggle / check control n\n"
    "  <n> <k>        select item k of list n, or step up-down n by +1 / -1,\n"
    "                 or type the rest of the line into edit n\n"
    "  <n> = <text>   type the text into edit n exactly\n"
    "  Enter          press the default button      esc   the cancel button\n"
    "  close          close the window (Cancel)      r     redraw\n"
    "  or an answer-file action: click BtnOK, select lbTID #0, type EditAG \"AB\", ...\n";

// The spinner keeps off the terminal while a box, form or file dialog is on it.
class SpinnerPause {
 public:
  explicit SpinnerPause(BusySpinner& spinner) : spinner_(spinner) { spinner_.Suspend(); }
  ~SpinnerPause() { spinner_.Resume(); }
  SpinnerPause(const SpinnerPause&) = delete;
  SpinnerPause& operator=(const SpinnerPause&) = delete;

 private:
  BusySpinner& spinner_;
};

}  // namespace

TerminalPresenter::TerminalPresenter(std::shared_ptr<Transcript> transcript)
    : in_fd_(0),
      out_fd_(1),
      transcript_(std::move(transcript)),
      idle_timer_([this] { RunIdle(); }, 100),
      spinner_([this](std::string_view text) { Write(text); }) {
  int tty = open("/dev/tty", O_RDWR | O_CLOEXEC);
  if (tty >= 0) {
    in_fd_ = out_fd_ = tty;
    own_fds_ = true;
  }
}

TerminalPresenter::TerminalPresenter(int in_fd, int out_fd, std::shared_ptr<Transcript> transcript)
    : in_fd_(in_fd),
      out_fd_(out_fd),
      transcript_(std::move(transcript)),
      idle_timer_([this] { RunIdle(); }, 100),
      spinner_([this](std::string_view text) { Write(text); }) {}

TerminalPresenter::~TerminalPresenter() {
  spinner_.Stop();  // it writes to the descriptor closed below
  idle_timer_.SetEnabled(false);
  if (own_fds_) close(in_fd_);
}

void TerminalPresenter::Write(std::string_view text) {
  ClaimHostTerminal();
  size_t done = 0;
  while (done < text.size()) {
    ssize_t n = write(out_fd_, text.data() + done, text.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return;
    done += static_cast<size_t>(n);
  }
}

std::optional<std::string> TerminalPresenter::ReadLine(std::string_view prompt, Form* busy) {
  Write(prompt);
  auto last_idle = std::chrono::steady_clock::now();
  for (;;) {
    if (busy != nullptr) {
      const auto now = std::chrono::steady_clock::now();
      if (now - last_idle >= std::chrono::milliseconds(busy->idle_interval_ms)) {
        last_idle = now;
        busy->on_idle();
        // Closed by its work's end: no line is waited for any more.
        if (busy->modal_result != ModalResult::kNone) return std::nullopt;
        ShowChanges(*busy, prompt);
      }
    }
    size_t nl = buffer_.find('\n');
    if (nl != std::string::npos) {
      std::string line = buffer_.substr(0, nl);
      buffer_.erase(0, nl + 1);
      if (!line.empty() && line.back() == '\r') line.pop_back();
      return line;
    }
    if (eof_) {
      if (buffer_.empty()) return std::nullopt;
      std::string line = std::move(buffer_);
      buffer_.clear();
      return line;
    }
    pollfd pfd{in_fd_, POLLIN, 0};
    const int wait_ms = busy != nullptr
                            ? static_cast<int>(std::clamp<uint32_t>(busy->idle_interval_ms, 1, 100))
                            : 100;
    int ready = poll(&pfd, 1, wait_ms);
    if (ready == 0) {
      if (!HostRunsTimers()) RunDueTimers();
      continue;
    }
    if (ready < 0 && errno == EINTR) continue;
    char chunk[1024];
    ssize_t n = read(in_fd_, chunk, sizeof chunk);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      eof_ = true;
      continue;
    }
    buffer_.append(chunk, static_cast<size_t>(n));
  }
}

void TerminalPresenter::ShowChanges(Form& form, std::string_view prompt) {
  const std::string now = Render(form);
  std::string& before = last_render_[&form];
  if (now == before) return;
  auto lines = [](const std::string& text) {
    std::vector<std::string> out;
    size_t pos = 0;
    while (pos < text.size()) {
      size_t nl = text.find('\n', pos);
      if (nl == std::string::npos) nl = text.size();
      out.push_back(text.substr(pos, nl - pos));
      pos = nl + 1;
    }
    return out;
  };
  const std::vector<std::string> old_lines = lines(before);
  std::string changed;
  const std::vector<std::string> new_lines = lines(now);
  for (size_t i = 0; i < new_lines.size(); ++i) {
    if (i >= old_lines.size() || old_lines[i] != new_lines[i]) changed += new_lines[i] + "\n";
  }
  before = now;
  // Over the prompt: the changed lines, then the prompt again.
  Write("\r" + changed + std::string(prompt) + buffer_);
}

MsgAnswer TerminalPresenter::ShowMessage(MsgKind kind, std::string_view text, MsgButtons buttons) {
  SpinnerPause pause(spinner_);
  ++depth_;
  if (transcript_) transcript_->Message(kind, text, buttons);
  std::string box =
      "\n+-- " + std::string(MsgKindCaption(kind)) + " " + std::string(40, '-') + "\n";
  size_t pos = 0;
  // A box breaks its text at CR LF, at LF and at a lone CR alike.
  std::string body;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') continue;
    body += text[i] == '\r' ? '\n' : text[i];
  }
  while (pos <= body.size()) {
    size_t nl = body.find('\n', pos);
    std::string line = body.substr(pos, nl == std::string::npos ? std::string::npos : nl - pos);
    box += "| " + line + "\n";
    if (nl == std::string::npos) break;
    pos = nl + 1;
  }
  std::string choices;
  for (MsgAnswer a : Offered(buttons)) choices += "[" + std::string(MsgAnswerName(a)) + "] ";
  box += "+-- " + choices + "\n";
  Write(box);
  MsgAnswer answer = SafestAnswer(buttons);
  for (;;) {
    auto line = ReadLine("answer> ");
    if (!line) {
      Write("\n(no input: " + std::string(MsgAnswerName(answer)) + ")\n");
      break;
    }
    if (auto parsed = ParseAnswer(*line, buttons)) {
      answer = *parsed;
      break;
    }
    Write("choose one of: " + choices + "\n");
  }
  if (transcript_) transcript_->Answer(answer);
  --depth_;
  return answer;
}

namespace {

// The picture's preview as characters of growing ink, two preview rows to a
// line (a character cell is about twice as high as wide), at most 32 wide.
std::string PreviewText(const Picture& p, const std::string& indent) {
  static constexpr char kInk[] = "@%#*+=-:. ";
  if (p.preview.empty() || p.preview_width <= 0 || p.preview_height <= 0) return "";
  const int columns = std::min(32, p.preview_width);
  const int lines = std::max(1, std::min(16, p.preview_height * columns / p.preview_width / 2));
  std::string out;
  for (int line = 0; line < lines; ++line) {
    out += indent + "|";
    const int y = line * p.preview_height / lines;
    for (int col = 0; col < columns; ++col) {
      const int x = col * p.preview_width / columns;
      const uint8_t grey = p.preview[static_cast<size_t>(y * p.preview_width + x)];
      out += kInk[grey * 9 / 255];
    }
    out += "|\n";
  }
  return out;
}

// A page of the preview inside a frame as wide as the page's lines can be.
std::string PageText(const PagePreview& pp) {
  size_t width = 0;
  for (const std::string& line : pp.lines) width = std::max(width, text::Utf8Length(line));
  std::string out = "    +" + std::string(width + 2, '-') + "+\n";
  for (const std::string& line : pp.lines) {
    out += "    | " + line + std::string(width - text::Utf8Length(line), ' ') + " |\n";
  }
  out += "    +" + std::string(width + 2, '-') + "+\n";
  return out;
}

}  // namespace

std::string TerminalPresenter::Render(const Form& form) const {
  std::string out = "\n+== " + form.caption + "  [" + form.class_name + "]\n";
  int number = 0;
  for (const auto& owned : form.Controls()) {
    const Control& c = *owned;
    ++number;
    std::string indent = c.parent.empty() ? "" : "  ";
    std::string head =
        Pad(std::to_string(number), 3) + indent + Pad(c.Name(), 24 - indent.size()) + " ";
    switch (c.GetKind()) {
      case Control::Kind::kLabel:
        out += head + c.caption + State(c) + "\n";
        break;
      case Control::Kind::kGroupBox:
        out += head + "-- " + std::string(text::Trim(c.caption)) + " --" + State(c) + "\n";
        break;
      case Control::Kind::kButton: {
        const auto& b = static_cast<const Button&>(c);
        // A button without caption shows a glyph on screen, "..." for a chooser.
        out += head + "[ " + (c.caption.empty() ? std::string("...") : c.caption) + " ]" +
               (b.is_default ? "  (Enter)" : "") + (b.is_cancel ? "  (esc)" : "") + State(c) + "\n";
        break;
      }
      case Control::Kind::kEdit:
      case Control::Kind::kMemo: {
        const auto& e = static_cast<const Edit&>(c);
        std::string shown =
            e.password ? std::string(text::Utf8Length(e.text), '*') : EscapeLine(e.text);
        out += head + "_" + shown + "_" + (e.read_only ? "  (read-only)" : "") + State(c) + "\n";
        break;
      }
      case Control::Kind::kCheckBox:
        out += head + (static_cast<const CheckBox&>(c).checked ? "[x] " : "[ ] ") + c.caption +
               State(c) + "\n";
        break;
      case Control::Kind::kRadioButton:
        out += head + (static_cast<const RadioButton&>(c).checked ? "(*) " : "( ) ") + c.caption +
               State(c) + "\n";
        break;
      case Control::Kind::kRadioGroup: {
        const auto& rg = static_cast<const RadioGroup&>(c);
        out += head + std::string(text::Trim(c.caption)) + State(c) + "\n";
        for (size_t i = 0; i < rg.items.size(); ++i) {
          out += std::string(29, ' ') + (static_cast<int>(i) == rg.item_index ? "(*) " : "( ) ") +
                 std::to_string(i + 1) + ") " + rg.items[i] + "\n";
        }
        break;
      }
      case Control::Kind::kListBox: {
        const auto& lb = static_cast<const ListBox&>(c);
        out += head + "list, " + std::to_string(lb.items.size()) + " items" + State(c) + "\n";
        for (size_t i = 0; i < lb.items.size(); ++i) {
          out += std::string(27, ' ') + (static_cast<int>(i) == lb.item_index ? "> " : "  ") +
                 std::to_string(i + 1) + ") " + lb.items[i].text + "\n";
        }
        break;
      }
      case Control::Kind::kUpDown: {
        const auto& ud = static_cast<const UpDown&>(c);
        out += head + "<+/-> " + std::to_string(ud.position) + " (" + std::to_string(ud.min) +
               ".." + std::to_string(ud.max) + ")" + State(c) + "\n";
        break;
      }
      case Control::Kind::kDatePicker: {
        const auto& dp = static_cast<const DatePicker&>(c);
        out += head + (dp.date ? text::DateToStr(text::DecodeDate(*dp.date)) : "(no date)") +
               State(c) + "\n";
        break;
      }
      case Control::Kind::kPicture: {
        const auto& p = static_cast<const Picture&>(c);
        out += head +
               (p.HasPicture() ? "picture " + std::to_string(p.width) + "x" +
                                     std::to_string(p.height) + " " + p.file
                : p.error.empty() ? std::string("(no picture)")
                                  : "(no picture: " + p.error + ")") +
               State(c) + "\n";
        if (p.HasPicture() && p.visible) out += PreviewText(p, std::string(head.size(), ' '));
        break;
      }
      case Control::Kind::kPagePreview: {
        const auto& pp = static_cast<const PagePreview&>(c);
        out += head + "page " + std::to_string(pp.page) + " of " + std::to_string(pp.page_count) +
               State(c) + "\n";
        if (pp.visible) out += PageText(pp);
        break;
      }
    }
  }
  return out;
}

bool TerminalPresenter::Apply(Form& form, const std::string& raw, bool modeless) {
  std::string line(text::Trim(raw));
  std::string lower = text::ToLowerAscii(line);
  auto report = [&](const Action& action, const std::optional<std::string>& error) {
    if (error)
      Write("  ! " + *error + "\n");
    else if (transcript_)
      transcript_->Action(ActionForTranscript(form, action));
  };
  if (line.empty()) {
    if (Button* b = form.DefaultButton(); b != nullptr && b->Usable()) {
      b->Click();
      if (transcript_) transcript_->Action("click " + b->Name());
    } else {
      Write(Render(form));
    }
    return true;
  }
  if (lower == "?" || lower == "help") {
    Write(std::string(kFormHelp) +
          (modeless ? "  host           back to the host, the form stays open\n" : ""));
    return true;
  }
  if (lower == "r") {
    Write(Render(form));
    return true;
  }
  if (modeless && lower == "host") return false;
  if (lower == "esc") {
    if (Button* b = form.CancelButton(); b != nullptr && b->Usable()) {
      b->Click();
      if (transcript_) transcript_->Action("click " + b->Name());
    } else {
      form.Close(ModalResult::kCancel);
      if (transcript_) transcript_->Action("close");
    }
    return true;
  }
  if (std::isdigit(static_cast<unsigned char>(line[0]))) {
    size_t end = 0;
    while (end < line.size() && std::isdigit(static_cast<unsigned char>(line[end]))) ++end;
    auto number = text::StrToInt(line.substr(0, end));
    const auto& controls = form.Controls();
    if (!number || *number < 1 || *number > static_cast<int>(controls.size())) {
      Write("  ! no control " + line.substr(0, end) + "\n");
      return true;
    }
    Control& c = *controls[static_cast<size_t>(*number - 1)];
    std::string rest(text::TrimLeft(line.substr(end)));
    Action action;
    action.line = line;
    action.args.push_back(Token{c.Name(), false});
    if (!rest.empty() && rest[0] == '=') {
      std::string value = rest.substr(1);
      if (!value.empty() && value[0] == ' ') value.erase(0, 1);
      action.verb = "type";
      action.args.push_back(Token{value, true});
    } else if (rest.empty()) {
      action.verb = "click";
      if (c.GetKind() == Control::Kind::kListBox || c.GetKind() == Control::Kind::kRadioGroup ||
          c.GetKind() == Control::Kind::kEdit || c.GetKind() == Control::Kind::kMemo ||
          c.GetKind() == Control::Kind::kUpDown || c.GetKind() == Control::Kind::kDatePicker) {
        Write("  ! control " + std::to_string(*number) + " needs a value (see ?)\n");
        return true;
      }
    } else if (c.GetKind() == Control::Kind::kListBox ||
               c.GetKind() == Control::Kind::kRadioGroup) {
      auto k = text::StrToInt(rest);
      action.verb = "select";
      action.args.push_back(Token{"#" + std::to_string(k ? *k - 1 : -1), false});
    } else if (c.GetKind() == Control::Kind::kUpDown) {
      action.verb = "updown";
      action.args.push_back(Token{rest == "+" || rest == "+1"   ? "+1"
                                  : rest == "-" || rest == "-1" ? "-1"
                                                                : rest,
                                  false});
    } else {
      action.verb = "type";
      action.args.push_back(Token{rest, true});
    }
    std::string described = action.verb + " " + c.Name();
    if (action.args.size() > 1) {
      described += " " + (action.args[1].quoted ? Quote(action.args[1].text) : action.args[1].text);
    }
    action.line = described;
    auto error = ApplyFormAction(form, action);
    if (error)
      Write("  ! " + *error + "\n");
    else if (transcript_)
      transcript_->Action(ActionForTranscript(form, action));
    return true;
  }
  std::string error;
  std::optional<Action> action = ParseAction(line, error);
  if (!action) {
    Write("  ! " + (error.empty() ? std::string("nothing to do") : error) + "\n");
    return true;
  }
  if (!IsFormAction(*action)) {
    Write("  ! not an action on this form (see ?)\n");
    return true;
  }
  report(*action, ApplyFormAction(form, *action));
  return true;
}

void TerminalPresenter::Interact(Form& form, bool modeless) {
  ++depth_;
  std::string shown = Render(form);
  Write(shown);
  last_render_[&form] = shown;
  for (;;) {
    bool open = modeless ? form.Showing() : form.modal_result == ModalResult::kNone;
    if (!open) break;
    auto line = ReadLine(form.class_name + "> ", !modeless && form.on_idle ? &form : nullptr);
    if (!line) {
      if (!modeless && form.modal_result == ModalResult::kNone) {
        Write("\n(no input: the form closes with Cancel)\n");
        form.Close(ModalResult::kCancel);
      } else if (!modeless) {
        Write("\n");
      }
      break;
    }
    if (!Apply(form, *line, modeless)) break;
    open = modeless ? form.Showing() : form.modal_result == ModalResult::kNone;
    if (open) {
      std::string now = Render(form);
      if (now != last_render_[&form]) Write(now);
      last_render_[&form] = now;
    }
  }
  --depth_;
}

void TerminalPresenter::RunModal(Form& form) {
  SpinnerPause pause(spinner_);
  if (transcript_) transcript_->FormShown(form);
  Interact(form, false);
  last_render_.erase(&form);
  if (transcript_) transcript_->Result(form.modal_result);
}

void TerminalPresenter::ShowModeless(Form& form) {
  SpinnerPause pause(spinner_);
  bool known = std::find(modeless_.begin(), modeless_.end(), &form) != modeless_.end();
  if (!known) {
    modeless_.push_back(&form);
    if (transcript_) transcript_->FormShown(form, "modeless");
    idle_timer_.SetEnabled(true);
  }
  if (depth_ == 0) {
    Write("(modeless window; \"host\" returns to the host and leaves it open)\n");
    Interact(form, true);
  }
}

void TerminalPresenter::CloseModeless(Form& form) {
  auto it = std::find(modeless_.begin(), modeless_.end(), &form);
  if (it == modeless_.end()) return;
  modeless_.erase(it);
  last_render_.erase(&form);
  if (transcript_) {
    transcript_->FormHeader(form, "modeless");
    transcript_->Result(form.modal_result);
  }
  if (modeless_.empty()) idle_timer_.SetEnabled(false);
}

void TerminalPresenter::CursorChanged(Cursor cursor) {
  if (cursor == Cursor::kHourglass) {
    spinner_.Start();
  } else {
    spinner_.Stop();
  }
}

void TerminalPresenter::RunIdle() {
  if (depth_ > 0 || eof_) return;
  for (Form* form : std::vector<Form*>(modeless_)) {
    if (std::find(modeless_.begin(), modeless_.end(), form) == modeless_.end()) continue;
    if (Render(*form) != last_render_[form]) Interact(*form, true);
  }
}

std::optional<std::string> TerminalPresenter::ShowFileDialog(const FileDialogRequest& request) {
  SpinnerPause pause(spinner_);
  ++depth_;
  namespace fs = std::filesystem;
  bool save = request.kind == FileDialogRequest::Kind::kSave;
  std::string out = std::string("\n+-- ") + (save ? "Save file" : "Open file") +
                    (request.title.empty() ? "" : ": " + request.title) + "\n";
  out += "| filter: " + request.filter + "\n| folder: " + request.initial_dir + "\n";
  if (!request.file_name.empty()) out += "| name:   " + request.file_name + "\n";
  // Show the files of the folder that fit the filter's patterns.
  std::vector<std::string> patterns;
  std::vector<std::string> parts;
  size_t start = 0;
  while (start <= request.filter.size()) {
    size_t bar = request.filter.find('|', start);
    parts.push_back(
        request.filter.substr(start, bar == std::string::npos ? std::string::npos : bar - start));
    if (bar == std::string::npos) break;
    start = bar + 1;
  }
  for (size_t i = 1; i < parts.size(); i += 2) {
    size_t p = 0;
    while (p <= parts[i].size()) {
      size_t semi = parts[i].find(';', p);
      patterns.push_back(
          parts[i].substr(p, semi == std::string::npos ? std::string::npos : semi - p));
      if (semi == std::string::npos) break;
      p = semi + 1;
    }
  }
  std::error_code ec;
  int listed = 0;
  if (!request.initial_dir.empty()) {
    for (const auto& entry : fs::directory_iterator(request.initial_dir, ec)) {
      std::string name = entry.path().filename().string();
      bool fits = patterns.empty();
      for (const auto& pattern : patterns)
        fits = fits || fnmatch(pattern.c_str(), name.c_str(), FNM_CASEFOLD) == 0;
      if (!fits) continue;
      if (listed++ < 20) out += "|   " + name + "\n";
    }
  }
  out += "+-- a path (relative to the folder), Enter for the proposed name, or \"cancel\"\n";
  Write(out);
  std::optional<std::string> chosen;
  auto line = ReadLine("file> ");
  if (line) {
    std::string typed(text::Trim(*line));
    if (typed.empty()) typed = request.file_name;
    if (!typed.empty() && text::ToLowerAscii(typed) != "cancel") {
      if (typed[0] != '/' && !request.initial_dir.empty()) {
        typed = (fs::path(request.initial_dir) / typed).string();
      }
      chosen = WithDefaultExtension(request, typed);
    }
  }
  if (transcript_) transcript_->File(request, chosen);
  --depth_;
  return chosen;
}

}  // namespace platform::ui
