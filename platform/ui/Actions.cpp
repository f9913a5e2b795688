// Parsing of action lines and their effect on a form.
#include "platform/ui/Actions.h"

#include <algorithm>
#include <chrono>
#include <thread>

#include "platform/text/Encoding.h"
#include "platform/text/Formats.h"
#include "platform/text/Strings.h"

namespace platform::ui {

std::optional<Action> ParseAction(std::string_view line, std::string& error) {
  error.clear();
  std::string_view trimmed = text::Trim(line);
  if (trimmed.empty() || trimmed[0] == '#') return std::nullopt;
  Action action;
  action.line = std::string(trimmed);
  size_t pos = 0;
  while (pos < trimmed.size()) {
    char c = trimmed[pos];
    if (c == ' ' || c == '\t') {
      ++pos;
      continue;
    }
    Token token;
    if (c == '"') {
      token.quoted = true;
      ++pos;
      bool closed = false;
      while (pos < trimmed.size()) {
        char d = trimmed[pos++];
        if (d == '"') {
          closed = true;
          break;
        }
        if (d == '\\' && pos < trimmed.size()) {
          char e = trimmed[pos++];
          switch (e) {
            case '"':
              token.text += '"';
              break;
            case '\\':
              token.text += '\\';
              break;
            case 'r':
              token.text += '\r';
              break;
            case 'n':
              token.text += '\n';
              break;
            case 't':
              token.text += '\t';
              break;
            default:
              error = std::string("unknown escape \\") + e;
              return std::nullopt;
          }
        } else {
          token.text += d;
        }
      }
      if (!closed) {
        error = "closing quote missing";
        return std::nullopt;
      }
    } else {
      while (pos < trimmed.size() && trimmed[pos] != ' ' && trimmed[pos] != '\t') {
        token.text += trimmed[pos++];
      }
    }
    action.args.push_back(std::move(token));
  }
  action.verb = text::ToLowerAscii(action.args.front().text);
  action.args.erase(action.args.begin());
  return action;
}

bool IsFormAction(const Action& action) {
  const std::string& v = action.verb;
  return v == "select" || v == "type" || v == "check" || v == "uncheck" || v == "click" ||
         v == "updown" || v == "close" || v == "wait";
}

std::optional<std::string> ApplyFormAction(Form& form, const Action& action) {
  if (action.verb == "close") {
    form.Close(ModalResult::kCancel);
    return std::nullopt;
  }
  if (action.verb == "wait") {
    const std::optional<int32_t> ms =
        action.args.size() == 1 ? text::StrToInt(action.args[0].text) : std::nullopt;
    if (!ms || *ms < 0 || *ms > 600000) return "wait needs a time in ms (0 to 600000)";
    // Time passes as the user waits: a form watching work goes on watching,
    // and may close meanwhile.
    const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(*ms);
    while (std::chrono::steady_clock::now() < until && form.modal_result == ModalResult::kNone) {
      if (form.on_idle) form.on_idle();
      if (form.modal_result != ModalResult::kNone) break;
      const uint32_t step = form.on_idle ? std::max<uint32_t>(1, form.idle_interval_ms) : 10;
      std::this_thread::sleep_for(std::min<std::chrono::steady_clock::duration>(
          std::chrono::milliseconds(step), until - std::chrono::steady_clock::now()));
    }
    return std::nullopt;
  }
  if (action.args.empty()) return action.verb + " needs a control name";
  Control* control = form.Find(action.args[0].text);
  if (control == nullptr)
    return "form " + form.class_name + " has no control " + action.args[0].text;
  if (!control->enabled) return "control " + control->Name() + " is disabled";
  if (!control->Usable()) return "control " + control->Name() + " is not visible";
  const std::string& name = control->Name();
  auto needs = [&](size_t n) -> std::optional<std::string> {
    if (action.args.size() != n + 1) {
      return action.verb + " " + name + " needs " + std::to_string(n) + " argument(s)";
    }
    return std::nullopt;
  };
  auto wrong_kind = [&] { return action.verb + " does not apply to control " + name; };

  if (action.verb == "select") {
    if (auto e = needs(1)) return e;
    const Token& what = action.args[1];
    std::vector<std::string> texts;
    if (auto* lb = dynamic_cast<ListBox*>(control)) {
      for (const auto& item : lb->items) texts.push_back(item.text);
    } else if (auto* rg = dynamic_cast<RadioGroup*>(control)) {
      texts = rg->items;
    } else {
      return wrong_kind();
    }
    int index = -1;
    if (!what.quoted && !what.text.empty() && what.text[0] == '#') {
      auto n = text::StrToInt(std::string_view(what.text).substr(1));
      if (!n || *n < 0 || *n >= static_cast<int>(texts.size())) {
        return "control " + name + " has no item " + what.text;
      }
      index = *n;
    } else {
      for (size_t i = 0; i < texts.size() && index < 0; ++i) {
        if (texts[i] == what.text) index = static_cast<int>(i);
      }
      if (index < 0) return "control " + name + " has no item \"" + what.text + "\"";
    }
    if (auto* lb = dynamic_cast<ListBox*>(control)) {
      lb->Select(index);
    } else {
      static_cast<RadioGroup*>(control)->Select(index);
    }
    return std::nullopt;
  }
  if (action.verb == "type") {
    if (auto e = needs(1)) return e;
    if (auto* edit = dynamic_cast<Edit*>(control)) {
      if (edit->read_only) return "control " + name + " is read-only";
      edit->Type(action.args[1].text);
      return std::nullopt;
    }
    if (auto* picker = dynamic_cast<DatePicker*>(control)) {
      if (action.args[1].text.empty()) {
        picker->date.reset();
        return std::nullopt;
      }
      auto date = text::ParseDate(action.args[1].text);
      if (!date) return "\"" + action.args[1].text + "\" is no date (yyyy-mm-dd or dd.mm.yyyy)";
      picker->date = text::EncodeDate(*date);
      return std::nullopt;
    }
    return wrong_kind();
  }
  if (action.verb == "check" || action.verb == "uncheck") {
    if (auto e = needs(0)) return e;
    bool want = action.verb == "check";
    if (auto* cb = dynamic_cast<CheckBox*>(control)) {
      if (cb->checked != want) cb->Toggle();
      return std::nullopt;
    }
    if (auto* rb = dynamic_cast<RadioButton*>(control)) {
      if (!want) return "a radio button is unchecked only by checking another";
      if (!rb->checked) rb->Click();
      return std::nullopt;
    }
    return wrong_kind();
  }
  if (action.verb == "click") {
    if (auto e = needs(0)) return e;
    if (auto* b = dynamic_cast<Button*>(control)) {
      b->Click();
    } else if (auto* cb = dynamic_cast<CheckBox*>(control)) {
      cb->Toggle();
    } else if (auto* rb = dynamic_cast<RadioButton*>(control)) {
      rb->Click();
    } else {
      return wrong_kind();
    }
    return std::nullopt;
  }
  if (action.verb == "updown") {
    if (auto e = needs(1)) return e;
    auto* ud = dynamic_cast<UpDown*>(control);
    if (ud == nullptr) return wrong_kind();
    const std::string& step = action.args[1].text;
    if (step != "+1" && step != "-1") return "updown takes +1 or -1";
    ud->Step(step == "+1" ? 1 : -1);
    return std::nullopt;
  }
  return "unknown form action " + action.verb;
}

std::string ActionForTranscript(const Form& form, const Action& action) {
  if (action.verb != "type" || action.args.size() < 2) return action.line;
  const auto* edit = dynamic_cast<const Edit*>(form.Find(action.args[0].text));
  if (edit == nullptr || !edit->password) return action.line;
  return "type " + action.args[0].text + " \"" +
         std::string(text::Utf8Length(action.args[1].text), '*') + "\"";
}

}  // namespace platform::ui
