// kartul-sim's interactive prompt on Linux, through readline.
#include <readline/history.h>
#include <readline/readline.h>
#include <sys/select.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <iostream>
#include <streambuf>
#include <string>
#include <string_view>
#include <vector>

#include "hostsim/Prompt.h"

namespace {

// ---- interactive prompt ------------------------------------------------------

bool g_line_ready = false;
char* g_line = nullptr;
bool g_eof = false;

// Takes the line and gives the terminal back at once, before readline would
// show the next prompt.
void LineHandler(char* line) {
  rl_callback_handler_remove();
  g_line_ready = true;
  g_eof = line == nullptr;
  g_line = line;
}

// What readline may complete the current word with; set before each
// completion, read by the generator.
std::vector<std::string> g_completions;

char* CompletionGenerator(const char* text, int state) {
  static size_t index;
  if (state == 0) index = 0;
  size_t len = std::strlen(text);
  while (index < g_completions.size()) {
    const std::string& n = g_completions[index++];
    if (n.compare(0, len, text) == 0) return strdup(n.c_str());
  }
  return nullptr;
}

// Commands and the kinds of expect and show come from the simulator's
// table; other words are left to readline's file name completion. Readline
// is C: nothing may be thrown through it, so a completion that cannot be
// made is none.
char** Complete(const char* text, int start, int /*end*/) {
  try {
    g_completions = hostsim::Simulator::Completions(std::string_view(rl_line_buffer, start));
  } catch (...) {
    g_completions.clear();
  }
  if (g_completions.empty()) return nullptr;
  rl_attempted_completion_over = 1;
  return rl_completion_matches(text, CompletionGenerator);
}

// The prompt line while timers run: it stays on the terminal as it is
// unless something is to be shown. Then it is taken off the line once, with
// what the user has typed so far, and put back when the timers are done.
class PromptLine {
 public:
  explicit PromptLine(const char* prompt) : prompt_(prompt) {}
  void Take() {
    if (taken_) return;
    taken_ = true;
    typed_ = rl_line_buffer ? rl_line_buffer : "";
    point_ = rl_point;
    rl_clear_visible_line();
    rl_callback_handler_remove();
  }
  void PutBack() {
    if (!taken_) return;
    taken_ = false;
    rl_callback_handler_install(prompt_, LineHandler);
    rl_insert_text(typed_.c_str());
    rl_point = point_;
    rl_redisplay();
  }

 private:
  const char* prompt_;
  bool taken_ = false;
  std::string typed_;
  int point_ = 0;
};

// A stream buffer that takes the prompt line before anything written to it
// reaches the terminal: the simulator's notes and trace from within timers.
class ClaimingBuffer : public std::streambuf {
 public:
  ClaimingBuffer(std::streambuf* target, std::function<void()> claim)
      : target_(target), claim_(std::move(claim)) {}

 protected:
  int overflow(int c) override {
    claim_();
    return c == traits_type::eof() ? traits_type::not_eof(c) : target_->sputc(static_cast<char>(c));
  }
  std::streamsize xsputn(const char* s, std::streamsize n) override {
    claim_();
    return target_->sputn(s, n);
  }
  int sync() override { return target_->pubsync(); }

 private:
  std::streambuf* target_;
  std::function<void()> claim_;
};

// Runs the due timers behind the prompt: nothing is redrawn unless a timer
// (a dialog coming back, a note of the simulator) shows something.
bool RunTimersBehindPrompt(hostsim::Host& host, hostsim::Simulator& sim, PromptLine& line) {
  const std::function<void()> take = [&line] { line.Take(); };
  ClaimingBuffer out(std::cout.rdbuf(), take), err(std::cerr.rdbuf(), take);
  std::streambuf* const cout_buffer = std::cout.rdbuf(&out);
  std::streambuf* const cerr_buffer = std::cerr.rdbuf(&err);
  host.SetTerminalClaim(take);
  struct Restore {
    hostsim::Host& host;
    std::streambuf* cout_buffer;
    std::streambuf* cerr_buffer;
    ~Restore() {
      host.SetTerminalClaim(nullptr);
      std::cout.rdbuf(cout_buffer);
      std::cerr.rdbuf(cerr_buffer);
    }
  } restore{host, cout_buffer, cerr_buffer};
  host.RunDueTimers();
  sim.PollTranscript();
  const bool failed = sim.ReportHookFailure("timer");
  std::cout.flush();
  return failed;
}

// Reads commands with line editing. Readline owns the terminal only while
// the prompt waits; commands (and the plug-in's terminal dialogs) run with
// the terminal as it was. Timers run while the prompt waits.
}  // namespace

int hostsim::Interactive(hostsim::Host& host, hostsim::Simulator& sim) {
  const char* prompt = "kartul> ";
  rl_attempted_completion_function = Complete;
  std::cout << "kartul-sim: type help for the commands, quit or Ctrl-D to leave\n";
  rl_callback_handler_install(prompt, LineHandler);
  PromptLine prompt_line(prompt);
  int number = 0;
  bool failed = false;
  while (true) {
    fd_set fds;
    FD_ZERO(&fds);
    FD_SET(STDIN_FILENO, &fds);
    timeval tv{};
    timeval* timeout = nullptr;
    if (auto due = host.NextTimerDue()) {
      const long ms = std::max<long>(static_cast<long>(due->count()), 0);
      tv.tv_sec = ms / 1000;
      tv.tv_usec = (ms % 1000) * 1000;
      timeout = &tv;
    }
    int ready = select(STDIN_FILENO + 1, &fds, nullptr, nullptr, timeout);
    if (ready > 0 && FD_ISSET(STDIN_FILENO, &fds)) rl_callback_read_char();
    if (!g_line_ready && host.NextTimerDue() && host.NextTimerDue()->count() == 0) {
      if (RunTimersBehindPrompt(host, sim, prompt_line)) failed = true;
      prompt_line.PutBack();
    }
    if (!g_line_ready) continue;
    g_line_ready = false;
    if (g_eof) {
      std::cout << "\n";
      break;
    }
    std::string line = g_line;
    std::free(g_line);
    g_line = nullptr;
    ++number;
    if (line == "quit" || line == "exit") break;
    if (line.find_first_not_of(" \t") != std::string::npos) add_history(line.c_str());
    if (!sim.RunLine(line, "line " + std::to_string(number))) failed = true;
    host.RunDueTimers();
    sim.PollTranscript();
    if (sim.ReportHookFailure("line " + std::to_string(number) + " (timer)")) failed = true;
    rl_callback_handler_install(prompt, LineHandler);
  }
  try {
    host.CloseProject();
  } catch (const std::exception& e) {
    std::cout << "error at close: " << e.what() << "\n";
    return 1;
  }
  if (sim.ReportHookFailure("close")) failed = true;
  return failed ? 1 : 0;
}

