// Forms as models: a dialog class holds its controls' state and its
// handlers; a presenter (scripted, terminal) shows it and turns the user's
// actions into the same calls a window system would make. Handlers run
// exactly as they would under a real window: a click runs the control's
// handler, and a button with a modal result then closes the modal form.
//
// Setting a property from code (checked, item_index, text) never runs a
// handler; the user actions (Click, Select, Type, Toggle) do.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace platform::ui {

enum class ModalResult { kNone, kOk, kCancel, kIgnore, kAbort, kAbortAll, kYes, kNo };

std::string_view ModalResultName(ModalResult result);

class Form;

class Control {
 public:
  enum class Kind {
    kLabel, kButton, kEdit, kMemo, kCheckBox, kRadioButton, kRadioGroup,
    kListBox, kUpDown, kDatePicker, kPicture, kGroupBox
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
  // The user clicks: the handler runs, then a modal result closes the form.
  void Click();

  ModalResult modal_result;
  bool is_default = false;  // Enter
  bool is_cancel = false;   // Escape
  std::function<void()> on_click;
};

class Edit : public Control {
 public:
  Edit(Form& owner, std::string name, Kind kind = Kind::kEdit)
      : Control(owner, kind, std::move(name), "") {}
  // The user types a new content; max_length and read_only apply.
  void Type(std::string_view new_text);

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
  void Toggle();  // the user clicks it

  bool checked = false;
  std::function<void()> on_click;
};

// Radio buttons with the same parent exclude each other.
class RadioButton : public Control {
 public:
  RadioButton(Form& owner, std::string name, std::string caption)
      : Control(owner, Kind::kRadioButton, std::move(name), std::move(caption)) {}
  void Click();
  void SetChecked(bool value);  // from code: unchecks the siblings, no handler

  bool checked = false;
  std::function<void()> on_click;
};

class RadioGroup : public Control {
 public:
  RadioGroup(Form& owner, std::string name, std::string caption)
      : Control(owner, Kind::kRadioGroup, std::move(name), std::move(caption)) {}
  void Select(int index);  // the user picks an item

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

  // Adds an item, in order or at its sorted place; returns its index.
  int Add(std::string text, long long number = 0);
  void Clear();
  int Count() const { return static_cast<int>(items.size()); }
  int IndexOf(std::string_view text) const;
  // The selected item's text, empty when none is selected.
  std::string SelectedText() const;
  void Select(int index);  // the user clicks an item

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
        associate(std::move(associate)), min(min), max(max) {}
  void Step(int delta);  // the user clicks up (+1) or down (-1)

  std::string associate;
  int min;
  int max;
  int position = 0;
};

class DatePicker : public Control {
 public:
  DatePicker(Form& owner, std::string name) : Control(owner, Kind::kDatePicker, std::move(name), "") {}
  double date = 0;  // days since 1899-12-30
};

class Picture : public Control {
 public:
  Picture(Form& owner, std::string name) : Control(owner, Kind::kPicture, std::move(name), "") {}
  // Loads a JPEG picture; false (and no picture) when it cannot be read.
  bool LoadFromFile(const std::string& path);
  void ClearPicture();
  bool HasPicture() const { return width > 0 && height > 0; }

  std::string file;
  int width = 0;
  int height = 0;
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

  Control* Find(std::string_view name) const;
  template <class T>
  T& Get(std::string_view name) const {
    return dynamic_cast<T&>(FindOrThrow(name));
  }
  const std::vector<std::unique_ptr<Control>>& Controls() const { return controls_; }

  // Shows the form modally through the presenter and returns its result.
  ModalResult ShowModal();
  // Shows the form without waiting; it stays open until closed.
  void Show();
  // Ends a modal showing with the result, or closes a modeless form.
  void Close(ModalResult result = ModalResult::kCancel);
  bool Showing() const { return showing_; }

  const std::string class_name;
  std::string caption;
  bool resizable = false;
  bool stay_on_top = false;
  ModalResult modal_result = ModalResult::kNone;

 protected:
  // The window events, as the form classes override them.
  virtual void FormShow() {}
  virtual void FormClose() {}

 private:
  friend class Presenter;
  Control& FindOrThrow(std::string_view name) const;
  std::vector<std::unique_ptr<Control>> controls_;
  bool showing_ = false;
};

}  // namespace platform::ui
