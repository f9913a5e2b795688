// The record of every message box, form and file dialog shown, appended to
// the file named by KARTUL_TRANSCRIPT (or kept in memory for tests). The host
// stand-in reads the lines beginning with "message" and "UNEXPECTED"; the
// format is described in docs/host-standin.md ("Dialog answers and
// transcripts").
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/ui/Form.h"
#include "platform/ui/Ui.h"

namespace platform::env {
class Env;
}

namespace platform::ui {

class Transcript {
 public:
  // Appends to the file (created when missing) through `env`, or
  // Env::Current() when none is given; each line is written at once, whole,
  // under the file's exclusive lock, so that the builds of one host writing
  // to one transcript never interleave within a line.
  static std::shared_ptr<Transcript> ToFile(std::string path, env::Env* env = nullptr);
  static std::shared_ptr<Transcript> InMemory();

  void Message(MsgKind kind, std::string_view text, MsgButtons buttons);
  void Answer(MsgAnswer answer);
  // "form <Class> "<caption>"" with an optional note, then the control states.
  void FormShown(const Form& form, std::string_view note = {});
  void FormHeader(const Form& form, std::string_view note = {});
  void Action(std::string_view action);
  void Result(ModalResult result);
  void File(const FileDialogRequest& request, const std::optional<std::string>& path);
  // "UNEXPECTED <what>".
  void Unexpected(std::string_view what);
  void Line(std::string_view line);

  // Everything written so far (in-memory transcripts only).
  const std::string& Text() const { return memory_; }

 private:
  std::string path_;
  env::Env* env_ = nullptr;
  std::string memory_;
  bool to_file_ = false;
};

// A text in double quotes with \" \\ \r \n \t escaped.
std::string Quote(std::string_view text);
// A message text on one line: \r \n \\ escaped.
std::string EscapeLine(std::string_view text);
// The state lines of a form's controls, each indented by two blanks.
std::vector<std::string> DescribeControls(const Form& form);

}  // namespace platform::ui
