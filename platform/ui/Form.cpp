// The form model's behaviour: what a user action does to a control, and how a
// form opens and closes through the presenter.
#include "platform/ui/Form.h"

#include <stdexcept>

#include "platform/text/Encoding.h"
#include "platform/text/Strings.h"
#include "platform/ui/Jpeg.h"
#include "platform/ui/Ui.h"

namespace platform::ui {

std::string_view ModalResultName(ModalResult result) {
  switch (result) {
    case ModalResult::kNone:
      return "None";
    case ModalResult::kOk:
      return "OK";
    case ModalResult::kCancel:
      return "Cancel";
    case ModalResult::kIgnore:
      return "Ignore";
    case ModalResult::kAbort:
      return "Abort";
    case ModalResult::kAbortAll:
      return "AbortAll";
    case ModalResult::kYes:
      return "Yes";
    case ModalResult::kNo:
      return "No";
  }
  return "None";
}

Control::Control(Form& owner, Kind kind, std::string name, std::string caption)
    : caption(std::move(caption)), owner_(owner), kind_(kind), name_(std::move(name)) {}

bool Control::Usable() const {
  if (!enabled || !visible) return false;
  if (parent.empty()) return true;
  const Control* group = owner_.Find(parent);
  return group == nullptr || group == this || group->Usable();
}

bool Button::Click() {
  if (!Usable()) return false;
  Form& form = Owner();
  if (modal_result != ModalResult::kNone) form.modal_result = modal_result;
  if (on_click) {
    auto handler = on_click;  // the handler may replace itself
    handler();
  }
  return true;
}

bool Edit::Type(std::string_view new_text) {
  if (!Usable() || read_only) return false;
  text =
      max_length > 0 ? std::string(text::Utf8Prefix(new_text, max_length)) : std::string(new_text);
  if (on_change) {
    auto handler = on_change;
    handler();
  }
  return true;
}

bool CheckBox::Toggle() {
  if (!Usable()) return false;
  checked = !checked;
  if (on_click) {
    auto handler = on_click;
    handler();
  }
  return true;
}

void RadioButton::SetChecked(bool value) {
  if (value) {
    for (const auto& control : Owner().Controls()) {
      if (control.get() == this || control->GetKind() != Kind::kRadioButton) continue;
      auto* sibling = static_cast<RadioButton*>(control.get());
      if (sibling->parent == parent) sibling->checked = false;
    }
  }
  checked = value;
}

bool RadioButton::Click() {
  if (!Usable()) return false;
  SetChecked(true);
  if (on_click) {
    auto handler = on_click;
    handler();
  }
  return true;
}

bool RadioGroup::Select(int index) {
  if (!Usable() || index < 0 || index >= static_cast<int>(items.size())) return false;
  item_index = index;
  if (on_click) {
    auto handler = on_click;
    handler();
  }
  return true;
}

int ListBox::Add(std::string text, long long number) {
  int at = Count();
  if (sorted) {
    at = 0;
    while (at < Count() &&
           text::CompareIgnoreCase(items[static_cast<size_t>(at)].text, text) <= 0) {
      ++at;
    }
  }
  items.insert(items.begin() + at, Item{std::move(text), number});
  if (item_index >= at) ++item_index;
  return at;
}

void ListBox::Clear() {
  items.clear();
  item_index = -1;
}

int ListBox::IndexOf(std::string_view text) const {
  for (int i = 0; i < Count(); ++i) {
    if (items[static_cast<size_t>(i)].text == text) return i;
  }
  return -1;
}

std::string ListBox::SelectedText() const {
  if (item_index < 0 || item_index >= Count()) return "";
  return items[static_cast<size_t>(item_index)].text;
}

bool ListBox::Select(int index) {
  if (!Usable() || index < 0 || index >= Count()) return false;
  item_index = index;
  if (on_click) {
    auto handler = on_click;
    handler();
  }
  return true;
}

bool UpDown::Step(int delta) {
  if (!Usable()) return false;
  auto* buddy = dynamic_cast<Edit*>(Owner().Find(associate));
  if (buddy != nullptr) {
    if (auto typed = text::StrToInt(text::Trim(buddy->text))) position = *typed;
  }
  long long next = static_cast<long long>(position) + delta;
  if (next < min) next = min;
  if (next > max) next = max;
  position = static_cast<int>(next);
  if (buddy != nullptr) buddy->text = std::to_string(position);
  if (on_click) {
    auto handler = on_click;
    handler();
  }
  return true;
}

namespace {

bool TakePicture(Picture& control, JpegPicture picture, const std::string& path) {
  control.ClearPicture();
  if (!picture.ok) {
    control.error = std::move(picture.error);
    return false;
  }
  control.width = picture.width;
  control.height = picture.height;
  control.preview_width = picture.preview_width;
  control.preview_height = picture.preview_height;
  control.preview = std::move(picture.preview);
  control.file = path;
  return true;
}

}  // namespace

bool Picture::LoadFromFile(const std::string& path) {
  return TakePicture(*this, ReadJpeg(env::Env::Current(), path), path);
}

bool Picture::LoadFromFile(env::File& opened, const std::string& name) {
  return TakePicture(*this, ReadJpeg(opened, name), name);
}

void Picture::ClearPicture() {
  file.clear();
  width = 0;
  height = 0;
  error.clear();
  preview_width = 0;
  preview_height = 0;
  preview.clear();
}

Form::Form(std::string class_name, std::string caption)
    : class_name(std::move(class_name)), caption(std::move(caption)) {}

Form::~Form() {
  if (showing_ && !modal_) {
    showing_ = false;
    if (Presenter* presenter = InstalledPresenter()) presenter->CloseModeless(*this);
  }
}

Control* Form::Find(std::string_view name) const {
  for (const auto& control : controls_) {
    if (text::EqualsIgnoreCase(control->Name(), name)) return control.get();
  }
  return nullptr;
}

Control& Form::FindOrThrow(std::string_view name) const {
  Control* control = Find(name);
  if (control == nullptr) {
    throw std::out_of_range("form " + class_name + " has no control " + std::string(name));
  }
  return *control;
}

Button* Form::DefaultButton() const {
  for (const auto& control : controls_) {
    if (auto* button = dynamic_cast<Button*>(control.get()); button && button->is_default)
      return button;
  }
  return nullptr;
}

Button* Form::CancelButton() const {
  for (const auto& control : controls_) {
    if (auto* button = dynamic_cast<Button*>(control.get()); button && button->is_cancel)
      return button;
  }
  return nullptr;
}

ModalResult Form::ShowModal() {
  if (showing_) throw std::logic_error("form " + class_name + " is already showing");
  modal_ = true;
  showing_ = true;
  modal_result = ModalResult::kNone;
  struct Reset {
    Form& form;
    ~Reset() {
      form.showing_ = false;
      form.modal_ = false;
    }
  } reset{*this};
  FormShow();
  // A FormShow that closes the form at once ends the showing before the loop.
  if (modal_result == ModalResult::kNone) CurrentPresenter().RunModal(*this);
  showing_ = false;
  FormClose();
  return modal_result;
}

void Form::Show() {
  if (showing_) {
    if (!modal_) CurrentPresenter().ShowModeless(*this);
    return;
  }
  modal_ = false;
  showing_ = true;
  modal_result = ModalResult::kNone;
  FormShow();
  if (showing_) CurrentPresenter().ShowModeless(*this);
}

void Form::Close(ModalResult result) {
  if (!showing_) return;
  if (modal_) {
    modal_result = result == ModalResult::kNone ? ModalResult::kCancel : result;
    return;
  }
  showing_ = false;
  modal_result = result;
  if (Presenter* presenter = InstalledPresenter()) presenter->CloseModeless(*this);
  FormClose();
}

}  // namespace platform::ui
