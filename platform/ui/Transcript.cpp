// Transcript lines and the description of a form's controls.
#include "platform/ui/Transcript.h"

#include "platform/env/Env.h"
#include "platform/text/Encoding.h"
#include "platform/text/Formats.h"

namespace platform::ui {
namespace {

std::string Flags(const Control& control) {
  std::string out;
  if (!control.enabled) out += " disabled";
  if (!control.visible) out += " hidden";
  return out;
}

}  // namespace

namespace {

// Backslash escapes for the characters that would break a transcript line;
// quoted texts also escape their quote and tabs.
std::string Escape(std::string_view text, bool quoted) {
  std::string out;
  for (char c : text) {
    switch (c) {
      case '\\':
        out += "\\\\";
        break;
      case '\r':
        out += "\\r";
        break;
      case '\n':
        out += "\\n";
        break;
      case '"':
        out += quoted ? "\\\"" : "\"";
        break;
      case '\t':
        out += quoted ? "\\t" : "\t";
        break;
      default:
        out += c;
    }
  }
  return out;
}

}  // namespace

std::string Quote(std::string_view text) {
  return "\"" + Escape(text, true) + "\"";
}

std::string EscapeLine(std::string_view text) {
  return Escape(text, false);
}

std::vector<std::string> DescribeControls(const Form& form) {
  std::vector<std::string> lines;
  for (const auto& owned : form.Controls()) {
    const Control& c = *owned;
    std::string head = "  " + c.Name() + " ";
    switch (c.GetKind()) {
      case Control::Kind::kLabel:
        lines.push_back(head + "label " + Quote(c.caption) + Flags(c));
        break;
      case Control::Kind::kGroupBox:
        lines.push_back(head + "group " + Quote(c.caption) + Flags(c));
        break;
      case Control::Kind::kButton: {
        const auto& b = static_cast<const Button&>(c);
        std::string extra;
        if (b.is_default) extra += " default";
        if (b.is_cancel) extra += " cancel";
        lines.push_back(head + "button " + Quote(c.caption) + Flags(c) + extra);
        break;
      }
      case Control::Kind::kEdit:
      case Control::Kind::kMemo: {
        const auto& e = static_cast<const Edit&>(c);
        std::string shown = e.password ? std::string(text::Utf8Length(e.text), '*') : e.text;
        std::string extra;
        if (e.read_only) extra += " read-only";
        if (e.password) extra += " password";
        if (e.max_length > 0) extra += " max " + std::to_string(e.max_length);
        lines.push_back(head + (c.GetKind() == Control::Kind::kMemo ? "memo " : "edit ") +
                        Quote(shown) + Flags(c) + extra);
        break;
      }
      case Control::Kind::kCheckBox: {
        const auto& cb = static_cast<const CheckBox&>(c);
        lines.push_back(head + "checkbox " + (cb.checked ? "[x] " : "[ ] ") + Quote(c.caption) +
                        Flags(c));
        break;
      }
      case Control::Kind::kRadioButton: {
        const auto& rb = static_cast<const RadioButton&>(c);
        lines.push_back(head + "radio " + (rb.checked ? "(*) " : "( ) ") + Quote(c.caption) +
                        Flags(c));
        break;
      }
      case Control::Kind::kRadioGroup: {
        const auto& rg = static_cast<const RadioGroup&>(c);
        lines.push_back(head + "radiogroup " + Quote(c.caption) + Flags(c));
        for (size_t i = 0; i < rg.items.size(); ++i) {
          bool selected = static_cast<int>(i) == rg.item_index;
          lines.push_back(std::string("    ") + (selected ? "(*) #" : "( ) #") + std::to_string(i) +
                          " " + Quote(rg.items[i]));
        }
        break;
      }
      case Control::Kind::kListBox: {
        const auto& lb = static_cast<const ListBox&>(c);
        lines.push_back(head + "list " + std::to_string(lb.items.size()) + " items" +
                        (lb.sorted ? " sorted" : "") + Flags(c));
        for (size_t i = 0; i < lb.items.size(); ++i) {
          bool selected = static_cast<int>(i) == lb.item_index;
          lines.push_back(std::string("    ") + (selected ? "* #" : "  #") + std::to_string(i) +
                          " " + Quote(lb.items[i].text));
        }
        break;
      }
      case Control::Kind::kUpDown: {
        const auto& ud = static_cast<const UpDown&>(c);
        lines.push_back(head + "updown " + std::to_string(ud.position) + " (" +
                        std::to_string(ud.min) + ".." + std::to_string(ud.max) + ")" + Flags(c));
        break;
      }
      case Control::Kind::kDatePicker: {
        const auto& dp = static_cast<const DatePicker&>(c);
        lines.push_back(head + "date " +
                        (dp.date ? text::IsoDate(text::DecodeDate(*dp.date)) : "none") + Flags(c));
        break;
      }
      case Control::Kind::kPicture: {
        const auto& p = static_cast<const Picture&>(c);
        lines.push_back(head + "picture " +
                        (p.HasPicture() ? std::to_string(p.width) + "x" + std::to_string(p.height) +
                                              " " + Quote(p.file)
                                        : std::string("none")) +
                        Flags(c));
        break;
      }
      case Control::Kind::kPagePreview: {
        const auto& pp = static_cast<const PagePreview&>(c);
        lines.push_back(head + "page " + std::to_string(pp.page) + " of " +
                        std::to_string(pp.page_count) + Flags(c));
        // The lines that hold text, each after its line number on the page.
        for (size_t i = 0; i < pp.lines.size(); ++i) {
          if (pp.lines[i].empty()) continue;
          lines.push_back("    " + std::to_string(i + 1) + " " + Quote(pp.lines[i]));
        }
        break;
      }
    }
  }
  return lines;
}

std::shared_ptr<Transcript> Transcript::ToFile(std::string path, env::Env* env) {
  auto transcript = std::make_shared<Transcript>();
  transcript->path_ = std::move(path);
  transcript->env_ = env;
  transcript->to_file_ = true;
  return transcript;
}

std::shared_ptr<Transcript> Transcript::InMemory() {
  return std::make_shared<Transcript>();
}

void Transcript::Line(std::string_view line) {
  std::string text(line);
  text += '\n';
  if (!to_file_) {
    memory_ += text;
    return;
  }
  // Opened for each line, so that the host may read and append in between.
  // A transcript that cannot be written must not stop the dialog it records.
  env::Env& env = env_ != nullptr ? *env_ : env::Env::Current();
  try {
    std::unique_ptr<env::File> file;
    for (int attempt = 0; !file && attempt < 2; ++attempt) {
      try {
        file = env.Open(path_, env::OpenMode::kReadWrite);
      } catch (const env::EnvError& e) {
        if (e.Code() != ENOENT) throw;
        try {
          file = env.Open(path_, env::OpenMode::kCreateNew, 0644);
        } catch (const env::EnvError& again) {
          if (again.Code() != EEXIST) throw;  // made meanwhile by another writer
        }
      }
    }
    if (!file) return;
    // Another writer holds the lock for the length of one line; after a
    // second the line goes in unlocked rather than not at all.
    for (int waited = 0; !file->TryLock(env::LockKind::kExclusive) && waited < 1000; ++waited) {
      env.SleepFor(std::chrono::milliseconds(1));
    }
    file->WriteAt(file->Size(), text.data(), text.size());
  } catch (const env::EnvError&) {
  }
}

void Transcript::Message(MsgKind kind, std::string_view text, MsgButtons buttons) {
  Line("message " + std::string(MsgKindName(kind)) + " " + std::string(MsgButtonsName(buttons)) +
       ": " + EscapeLine(text));
}

void Transcript::Answer(MsgAnswer answer) {
  Line("  answer " + std::string(MsgAnswerName(answer)));
}

void Transcript::FormHeader(const Form& form, std::string_view note) {
  std::string line = "form " + form.class_name + " " + Quote(form.caption);
  if (!note.empty()) line += " (" + std::string(note) + ")";
  Line(line);
}

void Transcript::FormShown(const Form& form, std::string_view note) {
  FormHeader(form, note);
  for (const std::string& line : DescribeControls(form)) Line(line);
}

void Transcript::Action(std::string_view action) {
  Line("  > " + std::string(action));
}

void Transcript::Result(ModalResult result) {
  Line("  result " + std::string(ModalResultName(result)));
}

void Transcript::File(const FileDialogRequest& request, const std::optional<std::string>& path) {
  Line(std::string("file ") + (request.kind == FileDialogRequest::Kind::kSave ? "save " : "open ") +
       Quote(request.filter) + " " + Quote(request.initial_dir) + " " + Quote(request.file_name) +
       " -> " + (path ? Quote(*path) : std::string("cancel")));
}

void Transcript::Unexpected(std::string_view what) {
  Line("UNEXPECTED " + std::string(what));
}

}  // namespace platform::ui
