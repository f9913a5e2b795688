// The user actions of the answer file and of the terminal, one per line:
//
//   message OK|Yes|No|Cancel ["expected exact text"]
//   form <FormClassName>
//   select <control> "<item text>"  |  select <control> #<index>
//   type <control> "<text>"
//   check <control>  |  uncheck <control>  |  click <control>
//   updown <control> +1|-1
//   close
//   wait <ms>   (time passes on the open form; a form watching work goes on)
//   file "<path>"  |  file cancel
//
// Arguments with blanks go in double quotes with the escapes \" \\ \r \n \t.
// Blank lines and lines starting with # are no actions.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/ui/Form.h"

namespace platform::ui {

struct Token {
  std::string text;
  bool quoted = false;
};

struct Action {
  std::string verb;  // lower case
  std::vector<Token> args;
  std::string line;  // as written, trimmed
  int line_number = 0;
};

// Splits a line into words and quoted arguments. Nothing for a blank or
// comment line; `error` receives the reason when the line is malformed.
std::optional<Action> ParseAction(std::string_view line, std::string& error);

// select, type, check, uncheck, click, updown, close, wait: actions on a form.
bool IsFormAction(const Action& action);

// Applies a form action as the user would; returns why it could not be
// applied (no such control, disabled, hidden, read-only, wrong kind, no
// such item), or nothing when it was.
std::optional<std::string> ApplyFormAction(Form& form, const Action& action);

// The action as a transcript may keep it: the line as written, except that
// text typed into a password edit of the form is shown as one "*" per
// character.
std::string ActionForTranscript(const Form& form, const Action& action);

}  // namespace platform::ui
