// Forms as models: a dialog class holds its controls' state and its
// handlers; a presenter (scripted, terminal) shows it and turns the user's
// actions into the same calls a window system would make. Handlers run
// exactly as they would under a real window: a click runs the control's
// handler, and a button with a modal result then closes the modal form.
//
// Setting a property from code (checked, item_index, text) never runs a
// handler; the user actions (Click, Select, Type, Toggle, Step) do. A user
// action on a control that is not Usable() does nothing and answers false.
//
// Ownership: a form owns its controls; a control refers to its form, which
// outlives it. Control names are found without regard to case.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace platform::env {
class File;
}

namespace platform::ui {

enum class ModalResult { kNone, kOk, kCancel, kIgnore, kAbort, kAbortAll, kYes, kNo };

std::string_view ModalResultName(ModalResult result);

class Form;

class Control {
 public:
  enum class Kind {
    kLabel,
    kButton,
    kEdit,
    kMemo,
    kCheckBox,
    kRadioButton,
    kRadioGroup,
    kListBox,
    kUpDown,
    kDatePicker,
    kPicture,
    kGroupBox,
    kPagePreview
  };

  Control(Form& owner, Kind kind, std::string name, std::string caption);
  virtual ~Control() = default;
  Control(const Control&) = delete;
  Control& operator=(const Control&) = delete;

  const std::string& Name() const { return name_; }
  Kind GetKind() const { return kind_; }
  Form& Owner() const { return owner_; }
  // Enabled and visible here and in every enclosing group.
  bool Usable() const;

  std::string caption;
  bool enabled = true;
  bool visible = true;
  std::string parent;  // name of the enclosing group box, empty for the form
  int tag = 0;

 private:
  Form& owner_;
  Kind kind_;
  std::string name_;
};

class Label : public Control {
 public:
  Label(Form& owner, std::string name, std::string caption)
      : Control(owner, Kind::kLabel, std::move(name), std::move(caption)) {}
};

class GroupBox : public Control {
 public:
  GroupBox(Form& owner, std::string name, std::string caption)
      : Control(owner, Kind::kGroupBox, std::move(name), std::move(caption)) {}
};

class Button : public Control {
 public:
  Button(Form& owner, std::string name, std::string caption, ModalResult result)
      : Control(owner, Kind::kButton, std::move(name), std::move(caption)), modal_result(result) {}
  // The user clicks. As on the host platform, a modal result is set on the
  // form first, then the handler runs; the handler may set the form's
  // modal_result back to kNone to keep it open. On a modeless form the
  // result is only recorded.
  bool Click();

  ModalResult modal_result;
  bool is_default = false;  // Enter
  bool is_cancel = false;   // Escape
  std::function<void()> on_click;
};

class Edit : public Control {
 public:
  Edit(Form& owner, std::string name, Kind kind = Kind::kEdit)
      : Control(owner, kind, std::move(name), "") {}
  // The user replaces the content; a read-only edit refuses (false), and
  // max_length cuts the text to that many characters. on_change runs.
  bool Type(std::string_view new_text);

  std::string text;
  size_t max_length = 0;  // characters, 0: no limit
  bool read_only = false;
  bool password = false;
  std::function<void()> on_change;
};

class Memo : public Edit {
 public:
  Memo(Form& owner, std::string name) : Edit(owner, std::move(name), Kind::kMemo) {}
};

class CheckBox : public Control {
 public:
  CheckBox(Form& owner, std::string name, std::string caption)
      : Control(owner, Kind::kCheckBox, std::move(name), std::move(caption)) {}
  bool Toggle();  // the user clicks it

  bool checked = false;
  std::function<void()> on_click;
};

// Radio buttons with the same parent exclude each other.
class RadioButton : public Control {
 public:
  RadioButton(Form& owner, std::string name, std::string caption)
      : Control(owner, Kind::kRadioButton, std::move(name), std::move(caption)) {}
  bool Click();                 // checks it (unchecking the siblings), then the handler runs
  void SetChecked(bool value);  // from code: unchecks the siblings, no handler

  bool checked = false;
  std::function<void()> on_click;
};

class RadioGroup : public Control {
 public:
  RadioGroup(Form& owner, std::string name, std::string caption)
      : Control(owner, Kind::kRadioGroup, std::move(name), std::move(caption)) {}
  bool Select(int index);  // the user picks an item (false when out of range)

  std::vector<std::string> items;
  int item_index = -1;
  std::function<void()> on_click;
};

class ListBox : public Control {
 public:
  struct Item {
    std::string text;
    long long number = 0;  // the value the item carries (Objects[] of a list)
  };

  ListBox(Form& owner, std::string name, bool sorted = false)
      : Control(owner, Kind::kListBox, std::move(name), ""), sorted(sorted) {}

  // Adds an item, at the end or (sorted) at its place in alphabetical order
  // without regard to ASCII case; returns its index. The selection stays on
  // its item.
  int Add(std::string text, long long number = 0);
  void Clear();
  int Count() const { return static_cast<int>(items.size()); }
  // The first item with exactly this text (case-sensitive), or -1.
  int IndexOf(std::string_view text) const;
  // The selected item's text, empty when none is selected.
  std::string SelectedText() const;
  bool Select(int index);  // the user clicks an item (false when out of range)

  std::vector<Item> items;
  int item_index = -1;
  bool sorted;
  bool updating = false;  // display updates suspended while filling
  std::function<void()> on_click;
};

// An up-down bound to an edit, whose text it sets to its position.
class UpDown : public Control {
 public:
  UpDown(Form& owner, std::string name, std::string associate, int min, int max)
      : Control(owner, Kind::kUpDown, std::move(name), ""),
        associate(std::move(associate)),
        min(min),
        max(max) {}
  // The user clicks up (+1) or down (-1): the position is taken from the
  // associated edit's text when that is a number (as the platform's buddy
  // control does), moved within min..max, written back, then on_click runs.
  bool Step(int delta);

  std::string associate;
  int min;
  int max;
  int position = 0;
  std::function<void()> on_click;
};

class DatePicker : public Control {
 public:
  DatePicker(Form& owner, std::string name)
      : Control(owner, Kind::kDatePicker, std::move(name), "") {}
  // Days since 1899-12-30; none when the picker shows no date (a date
  // picker whose check box is cleared).
  std::optional<double> date;
};

class Picture : public Control {
 public:
  Picture(Form& owner, std::string name) : Control(owner, Kind::kPicture, std::move(name), "") {}
  // Reads and decodes a JPEG picture (Jpeg.h): its size and a small preview.
  // False, no picture and the reason in `error` when the file is missing,
  // empty, truncated, too large, damaged or no JPEG.
  bool LoadFromFile(const std::string& path);
  // The same from a file the caller opened (and keeps open); `name` is the
  // file the picture shows and the error names.
  bool LoadFromFile(env::File& opened, const std::string& name);
  void ClearPicture();
  bool HasPicture() const { return width > 0 && height > 0; }

  std::string file;
  int width = 0;
  int height = 0;
  // Why the last load gave no picture; empty after a good one.
  std::string error;
  // Grey values, row by row; empty without a picture.
  int preview_width = 0;
  int preview_height = 0;
  std::vector<uint8_t> preview;
};

// A print preview's page, as lines of characters (the page's text placed on
// a grid); the form that owns it turns the pages.
class PagePreview : public Control {
 public:
  PagePreview(Form& owner, std::string name)
      : Control(owner, Kind::kPagePreview, std::move(name), "") {}

  std::vector<std::string> lines;
  int page = 0;  // from 1; 0 when there is no page
  int page_count = 0;
};

class Form {
 public:
  Form(std::string class_name, std::string caption);
  virtual ~Form();
  Form(const Form&) = delete;
  Form& operator=(const Form&) = delete;

  template <class T, class... Args>
  T& Add(Args&&... args) {
    auto control = std::make_unique<T>(*this, std::forward<Args>(args)...);
    T& ref = *control;
    controls_.push_back(std::move(control));
    return ref;
  }

  // The control of that name (without regard to case), or null.
  Control* Find(std::string_view name) const;
  // The control of that name and class; throws std::out_of_range when there
  // is none and std::bad_cast when it is of another class.
  template <class T>
  T& Get(std::string_view name) const {
    return dynamic_cast<T&>(FindOrThrow(name));
  }
  // The buttons Enter and Escape press, or null.
  Button* DefaultButton() const;
  Button* CancelButton() const;
  const std::vector<std::unique_ptr<Control>>& Controls() const { return controls_; }

  // Shows the form modally through the presenter and returns its result:
  // FormShow runs, the presenter runs the modal loop until modal_result is
  // set, FormClose runs.
  ModalResult ShowModal();
  // Shows the form without waiting (FormShow runs); it stays open until
  // closed. Showing an open modeless form again only brings it to the front.
  void Show();
  // Ends a modal showing with the result, or closes a modeless form (FormClose runs).
  void Close(ModalResult result = ModalResult::kCancel);
  bool Showing() const { return showing_; }
  bool Modal() const { return modal_; }

  const std::string class_name;
  std::string caption;
  bool resizable = false;
  bool stay_on_top = false;
  ModalResult modal_result = ModalResult::kNone;

  // A form that watches work going on (a program running) sets on_idle:
  // while it is shown modally, the presenter calls it about every
  // idle_interval_ms as long as it waits for the user, and it may close the
  // form (Close) when the work is done. Such a form needs no answer: a
  // presenter without one for it waits until it closes itself.
  std::function<void()> on_idle;
  uint32_t idle_interval_ms = 100;

 protected:
  // The window events, as the form classes override them.
  virtual void FormShow() {}
  virtual void FormClose() {}

 private:
  friend class Presenter;
  Control& FindOrThrow(std::string_view name) const;
  std::vector<std::unique_ptr<Control>> controls_;
  bool showing_ = false;
  bool modal_ = false;
};

}  // namespace platform::ui
