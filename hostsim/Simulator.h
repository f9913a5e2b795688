// The mapper's side of kartul-sim: runs scenario lines (batch) or typed
// commands (interactive) against the host model, checks expectations, shows
// the hook calls and the dialogs the plug-in reports in its transcript.
#pragma once

#include <chrono>
#include <iosfwd>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "hostsim/HostModel.h"

namespace hostsim {

struct SimOptions {
  bool trace = false;           // print every hook call with its answer
  bool echo = true;             // print each command before running it
  std::string program_dir;      // where the plug-in builds are looked for
  // Where the scenarios' programs are (${BIN}, the status map program);
  // program_dir when empty. The Windows build's are the Linux build's.
  std::string tools_dir;
  std::string temp_dir;         // ${TEMP}
  std::string answers_path;     // empty: no answer file (interactive)
  std::string transcript_path;  // empty: no transcript
  // Virtual time that passes with each command of a batch (timers run then).
  std::chrono::milliseconds step{100};
};

class Simulator {
 public:
  Simulator(Host& host, std::ostream& out, SimOptions options);
  ~Simulator();
  Simulator(const Simulator&) = delete;
  Simulator& operator=(const Simulator&) = delete;

  // Runs one line; false when it failed (the reason is printed). where names
  // the line in messages ("day.kts:12"). A hook that let an exception out
  // fails the line, also under "fails": it is the plug-in's fault, never an
  // expected outcome.
  bool RunLine(std::string_view line, const std::string& where);
  // Runs a scenario to its end or its first failure; returns whether all passed.
  bool RunBatch(std::istream& in, const std::string& name);
  // Reads and prints what the plug-in appended to its transcript; true when
  // an unexpected dialog was among it.
  bool PollTranscript();
  // Prints, hard to miss, an exception a hook let out since the last check
  // (in a timer, say, or at closing); true when there was one. RunLine and
  // RunBatch check after each line themselves and fail it.
  bool ReportHookFailure(const std::string& where);
  // The variables lines may use as ${NAME}.
  std::map<std::string, std::string>& Variables() { return vars_; }
  // The command names, in the order help lists them.
  static std::vector<std::string> CommandNames();
  // Every command and every kind of expect and show with its synopsis and a
  // line on what it does.
  static std::string Help();
  // What may complete the word that follows before (the line up to it): a
  // command at the start (also after fails), a kind after expect or show;
  // nothing where the word is an argument.
  static std::vector<std::string> Completions(std::string_view before);

 private:
  struct Impl;  // its command tables drive dispatch, usage, help and completion
  std::unique_ptr<Impl> impl_;
  std::map<std::string, std::string> vars_;
};

// Splits a line into words: blanks separate, double quotes group, and inside
// quotes \" \\ \r \n \t are escapes. Throws HostError for an open quote.
std::vector<std::string> SplitWords(std::string_view line);
// Where the first n words of the line end (as SplitWords reads them), so
// that the rest can be taken as it is written.
size_t EndOfWords(std::string_view line, size_t n);
// Replaces ${NAME} by its value; throws HostError for an unknown name.
std::string ExpandVariables(std::string_view line, const std::map<std::string, std::string>& vars);

}  // namespace hostsim
