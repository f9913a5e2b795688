// Forms, message boxes and file dialogs as Win32 windows.
#include "platform/ui/WinPresenter.h"
#include "platform/text/WideText.h"

// clang-format off
#include <windows.h>
#include <commctrl.h>
#include <commdlg.h>
// clang-format on

#include <algorithm>
#include <cmath>
#include <exception>
#include <utility>
#include <vector>

#include "platform/text/Formats.h"
#include "platform/ui/ErrorGuard.h"

namespace platform::ui {
namespace {

std::wstring Wide(std::string_view utf8) {
  return text::WideOf(utf8);
}

std::string Narrow(std::wstring_view wide) {
  return text::Utf8OfWide(wide);
}

// Edit controls break lines only with \r\n; a model's text may have bare \n.
std::wstring ForEdit(std::string_view text) {
  std::wstring wide = Wide(text);
  std::wstring out;
  out.reserve(wide.size());
  for (size_t i = 0; i < wide.size(); ++i) {
    if (wide[i] == L'\n' && (i == 0 || wide[i - 1] != L'\r')) out += L'\r';
    out += wide[i];
  }
  return out;
}

std::wstring TextOf(HWND window) {
  const int n = GetWindowTextLengthW(window);
  std::wstring text(static_cast<size_t>(n) + 1, L'\0');
  const int got = GetWindowTextW(window, text.data(), n + 1);
  text.resize(static_cast<size_t>(std::max(got, 0)));
  return text;
}

void SetTextIfChanged(HWND window, const std::wstring& text) {
  if (TextOf(window) != text) SetWindowTextW(window, text.c_str());
}

// The captions the terminal presenter gives the boxes as well.
// The module this code is in: the plug-in's DLL, not the host's program.
HINSTANCE ThisModule() {
  HMODULE module = nullptr;
  GetModuleHandleExW(
      GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
      reinterpret_cast<LPCWSTR>(&ThisModule), &module);
  return module;
}

// Whether the control and every group box around it are visible (enabled).
bool ChainHolds(const Control& control, bool Control::*flag) {
  const Control* c = &control;
  for (int depth = 0; c != nullptr && depth < 32; ++depth) {
    if (!(c->*flag)) return false;
    c = c->parent.empty() ? nullptr : c->Owner().Find(c->parent);
  }
  return true;
}

int Depth(const Control& control) {
  int depth = 0;
  const Control* c = control.parent.empty() ? nullptr : control.Owner().Find(control.parent);
  for (; c != nullptr && depth < 32; ++depth) {
    c = c->parent.empty() ? nullptr : c->Owner().Find(c->parent);
  }
  return depth;
}

// The models' dates (days since 1899-12-30) and the pickers', the
// calendar date alone.
std::optional<SYSTEMTIME> ToSystemTime(double date) {
  const text::Ymd day = text::DecodeDate(std::floor(date));
  if (!text::IsValidDate(day) || day.year < 1601 || day.year > 9999) return std::nullopt;
  SYSTEMTIME time{};
  time.wYear = static_cast<WORD>(day.year);
  time.wMonth = static_cast<WORD>(day.month);
  time.wDay = static_cast<WORD>(day.day);
  return time;
}

std::optional<double> FromSystemTime(const SYSTEMTIME& time) {
  const text::Ymd day{time.wYear, time.wMonth, time.wDay};
  if (!text::IsValidDate(day)) return std::nullopt;
  return text::EncodeDate(day);
}

constexpr int kMargin = 10;
constexpr int kWidth = 400;  // of the content
constexpr int kGap = 6;
constexpr int kIndent = 12;
constexpr int kPictureWidth = 240;
constexpr int kPictureHeight = 180;
constexpr UINT_PTR kRefreshTimer = 1;

}  // namespace

int WinPresenter::ControlId(size_t index, int part) {
  return 0x1000 + static_cast<int>(index) * 0x100 + part;
}

const wchar_t* WinPresenter::WindowClass() {
  return L"#32770";
}

// One form's window; lives while the form is shown.
//
// Its procedure is called from Windows' frames (DispatchMessage, SendMessage,
// IsDialogMessage), which no exception may cross: what the model's handlers
// throw there is caught and handed to Failed. From then on the window takes
// no more actions of the user, the model being in whatever state the
// handler left it.
class WinPresenter::Window {
 public:
  Window(WinPresenter& presenter, Form& form, HWND owner, bool modal);
  ~Window();
  Window(const Window&) = delete;
  Window& operator=(const Window&) = delete;

  HWND Handle() const { return hwnd_; }
  bool Busy() const { return busy_ > 0; }
  void Show();
  // Brings the window in line with the model.
  void Sync();
  // Takes the window away; the model is not touched from then on.
  void Close();
  // A handler failed. A modal form closes as cancelled and keeps the error
  // for RunModal to throw again once its loop has returned; a modeless one
  // lives in the host's loop, where nobody would take the error: it shows
  // the error's text in an error box and closes.
  void Failed(std::exception_ptr error) noexcept;
  // The error a modal form's handler threw, if one did.
  std::exception_ptr TakeError() { return std::exchange(error_, nullptr); }

 private:
  struct Item {
    Control* control = nullptr;
    HWND hwnd = nullptr;
    std::vector<HWND> parts;  // a radio group's items
    std::vector<std::string> shown_items;
    std::wstring shown_text;  // an edit's, as last given to the window
    std::vector<uint8_t> shown_preview;
    int shown_preview_width = -1;
    HBITMAP bitmap = nullptr;
  };

  static INT_PTR CALLBACK Proc(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam) noexcept;
  INT_PTR OnMessage(UINT message, WPARAM wparam, LPARAM lparam);
  void Build();
  HWND Child(const wchar_t* window_class, const std::wstring& text, DWORD style, int id, int x,
             int y, int w, int h);
  // Passes a control's notification to the model; false when it is none
  // the model takes (EN_UPDATE, focus changes, ...).
  bool OnCommand(int id, int code);
  // Gives the model the edits' texts the user changed since the window
  // was last given them: before any other action of the user reaches the
  // model, since text put into a multi-line edit by WM_SETTEXT comes
  // without EN_CHANGE. A text the host changed in the model meanwhile stays.
  void Harvest();
  bool OnNotify(const NMHDR& header, LRESULT& result);
  void PressCancel();
  void SyncItem(Item& item);
  void SyncPicture(Item& item, const Picture& picture);
  Button* DefaultButton() const;
  Button* CancelButton() const;

  WinPresenter& presenter_;
  Form& form_;
  bool modal_;
  std::exception_ptr error_;
  HWND hwnd_ = nullptr;
  HFONT font_ = nullptr;
  HFONT fixed_font_ = nullptr;
  std::vector<Item> items_;
  bool syncing_ = false;
  bool closed_ = false;
  int busy_ = 0;
};

WinPresenter::Window::Window(WinPresenter& presenter, Form& form, HWND owner, bool modal)
    : presenter_(presenter), form_(form), modal_(modal) {
  // An empty dialog template; the controls follow from the model.
  struct alignas(4) Template {
    DLGTEMPLATE dialog;
    WORD menu;
    WORD window_class;
    WORD title;
    WORD padding;
  } dialog_template{};
  dialog_template.dialog.style = WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME;
  if (form.resizable) dialog_template.dialog.style |= WS_THICKFRAME;
  dialog_template.dialog.dwExtendedStyle = WS_EX_CONTROLPARENT | WS_EX_DLGMODALFRAME;
  if (form.stay_on_top) dialog_template.dialog.dwExtendedStyle |= WS_EX_TOPMOST;
  dialog_template.dialog.cx = 100;
  dialog_template.dialog.cy = 50;
  hwnd_ = CreateDialogIndirectParamW(ThisModule(), &dialog_template.dialog, owner, &Window::Proc,
                                     reinterpret_cast<LPARAM>(this));
  if (hwnd_ == nullptr) return;
  font_ = static_cast<HFONT>(GetStockObject(DEFAULT_GUI_FONT));
  fixed_font_ = static_cast<HFONT>(GetStockObject(ANSI_FIXED_FONT));
  try {
    SetWindowTextW(hwnd_, Wide(form.caption).c_str());
    // What the new controls report while they are made is not the user's.
    syncing_ = true;
    Build();
    syncing_ = false;
    Sync();
  } catch (...) {
    // No object will be left to answer the window's messages.
    Close();
    throw;
  }
  if (!modal_) SetTimer(hwnd_, kRefreshTimer, 250, nullptr);
}

WinPresenter::Window::~Window() {
  Close();
  for (Item& item : items_) {
    if (item.bitmap != nullptr) DeleteObject(item.bitmap);
  }
}

void WinPresenter::Window::Close() {
  closed_ = true;
  if (hwnd_ == nullptr) return;
  SetWindowLongPtrW(hwnd_, DWLP_USER, 0);
  if (!modal_) KillTimer(hwnd_, kRefreshTimer);
  DestroyWindow(hwnd_);
  hwnd_ = nullptr;
}

void WinPresenter::Window::Show() {
  if (hwnd_ == nullptr) return;
  ShowWindow(hwnd_, SW_SHOW);
  SetForegroundWindow(hwnd_);
  // The first control that takes the keyboard, as a dialog box starts.
  if (HWND first = GetNextDlgTabItem(hwnd_, nullptr, FALSE)) {
    SendMessageW(hwnd_, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(first), TRUE);
  }
}

HWND WinPresenter::Window::Child(const wchar_t* window_class, const std::wstring& text, DWORD style,
                                 int id, int x, int y, int w, int h) {
  HWND child = CreateWindowExW(0, window_class, text.c_str(), WS_CHILD | WS_VISIBLE | style, x, y,
                               w, h, hwnd_, reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)),
                               ThisModule(), nullptr);
  if (child != nullptr) SendMessageW(child, WM_SETFONT, reinterpret_cast<WPARAM>(font_), FALSE);
  return child;
}

Button* WinPresenter::Window::DefaultButton() const {
  if (Button* button = form_.DefaultButton()) return button;
  for (const auto& control : form_.Controls()) {
    auto* button = dynamic_cast<Button*>(control.get());
    if (button != nullptr &&
        (button->modal_result == ModalResult::kOk || button->modal_result == ModalResult::kYes)) {
      return button;
    }
  }
  return nullptr;
}

Button* WinPresenter::Window::CancelButton() const {
  if (Button* button = form_.CancelButton()) return button;
  for (const auto& control : form_.Controls()) {
    auto* button = dynamic_cast<Button*>(control.get());
    if (button != nullptr && button->modal_result == ModalResult::kCancel) return button;
  }
  return nullptr;
}

void WinPresenter::Window::Build() {
  const auto& controls = form_.Controls();
  items_.resize(controls.size());
  Button* default_button = DefaultButton();
  int y = kMargin;
  // Group boxes still open, with their tops: closed (sized round their
  // controls) at the first control that is not inside.
  std::vector<std::pair<size_t, int>> open_groups;
  auto inside = [&](const Control& c, const Control& group) {
    for (const Control* p = &c; p != nullptr && !p->parent.empty();) {
      p = form_.Find(p->parent);
      if (p == &group) return true;
    }
    return false;
  };
  for (size_t i = 0; i < controls.size(); ++i) {
    Control& c = *controls[i];
    while (!open_groups.empty() && !inside(c, *controls[open_groups.back().first])) {
      const auto [group, top] = open_groups.back();
      open_groups.pop_back();
      y += 4;
      const int depth = Depth(*controls[group]);
      SetWindowPos(items_[group].hwnd, nullptr, 0, 0, kWidth - 2 * depth * kIndent, y - top,
                   SWP_NOMOVE | SWP_NOZORDER);
      y += kGap;
    }
    Item& item = items_[i];
    item.control = &c;
    const int depth = Depth(c);
    const int x = kMargin + depth * kIndent;
    const int w = kWidth - 2 * depth * kIndent;
    const int id = ControlId(i);
    // Radio buttons of one parent in a row form one group, as the model has them.
    const bool continues_radios = c.GetKind() == Control::Kind::kRadioButton && i > 0 &&
                                  controls[i - 1]->GetKind() == Control::Kind::kRadioButton &&
                                  controls[i - 1]->parent == c.parent;
    const DWORD group = continues_radios ? 0 : WS_GROUP;
    int h = 22;
    switch (c.GetKind()) {
      case Control::Kind::kLabel: {
        const int lines =
            1 + static_cast<int>(std::count(c.caption.begin(), c.caption.end(), '\n'));
        h = 16 * lines;
        item.hwnd =
            Child(L"STATIC", Wide(c.caption), SS_LEFT | SS_NOPREFIX | group, id, x, y, w, h);
        break;
      }
      case Control::Kind::kGroupBox:
        item.hwnd = Child(L"BUTTON", Wide(c.caption), BS_GROUPBOX | group, id, x, y, w, 20);
        open_groups.emplace_back(i, y);
        y += 20;
        continue;
      case Control::Kind::kButton: {
        const bool is_default = &c == default_button;
        h = 26;
        item.hwnd = Child(L"BUTTON", Wide(c.caption),
                          (is_default ? BS_DEFPUSHBUTTON : BS_PUSHBUTTON) | WS_TABSTOP | group, id,
                          x, y, std::min(w, 160), h);
        if (is_default) SendMessageW(hwnd_, DM_SETDEFID, static_cast<WPARAM>(id), 0);
        break;
      }
      case Control::Kind::kEdit:
      case Control::Kind::kMemo: {
        const auto& edit = static_cast<const Edit&>(c);
        DWORD style = WS_BORDER | WS_TABSTOP | group;
        if (c.GetKind() == Control::Kind::kMemo) {
          style |= ES_MULTILINE | ES_WANTRETURN | ES_AUTOVSCROLL | WS_VSCROLL;
          h = 90;
        } else {
          style |= ES_AUTOHSCROLL;
          h = 22;
        }
        if (edit.password) style |= ES_PASSWORD;
        item.hwnd = Child(L"EDIT", L"", style, id, x, y, w, h);
        if (edit.max_length > 0) {
          SendMessageW(item.hwnd, EM_SETLIMITTEXT, static_cast<WPARAM>(edit.max_length), 0);
        }
        break;
      }
      case Control::Kind::kCheckBox:
        item.hwnd =
            Child(L"BUTTON", Wide(c.caption), BS_AUTOCHECKBOX | WS_TABSTOP | group, id, x, y, w, h);
        break;
      case Control::Kind::kRadioButton:
        item.hwnd = Child(L"BUTTON", Wide(c.caption), BS_AUTORADIOBUTTON | WS_TABSTOP | group, id,
                          x, y, w, h);
        break;
      case Control::Kind::kRadioGroup: {
        const auto& radio_group = static_cast<const RadioGroup&>(c);
        h = 24 + 22 * static_cast<int>(radio_group.items.size()) + 4;
        item.hwnd = Child(L"BUTTON", Wide(c.caption), BS_GROUPBOX | WS_GROUP, id, x, y, w, h);
        for (size_t k = 0; k < radio_group.items.size(); ++k) {
          item.parts.push_back(Child(L"BUTTON", Wide(radio_group.items[k]),
                                     BS_AUTORADIOBUTTON | WS_TABSTOP | (k == 0 ? WS_GROUP : 0),
                                     ControlId(i, static_cast<int>(k) + 1), x + kIndent,
                                     y + 20 + 22 * static_cast<int>(k), w - 2 * kIndent, 22));
        }
        break;
      }
      case Control::Kind::kListBox:
        h = 110;
        item.hwnd =
            Child(L"LISTBOX", L"",
                  LBS_NOTIFY | LBS_NOINTEGRALHEIGHT | WS_VSCROLL | WS_BORDER | WS_TABSTOP | group,
                  id, x, y, w, h);
        break;
      case Control::Kind::kUpDown: {
        const auto& up_down = static_cast<const UpDown&>(c);
        HWND buddy = nullptr;
        if (Control* associate = form_.Find(up_down.associate)) {
          const auto at = std::find_if(controls.begin(), controls.end(),
                                       [&](const auto& o) { return o.get() == associate; });
          const size_t k = static_cast<size_t>(at - controls.begin());
          if (k < i) buddy = items_[k].hwnd;
        }
        // Beside its edit when that came before it; else a row of its own.
        item.hwnd = Child(UPDOWN_CLASSW, L"",
                          UDS_ARROWKEYS | UDS_NOTHOUSANDS | (buddy ? UDS_ALIGNRIGHT : 0) | group,
                          id, x, y, 20, h);
        if (buddy != nullptr) {
          SendMessageW(item.hwnd, UDM_SETBUDDY, reinterpret_cast<WPARAM>(buddy), 0);
          continue;
        }
        break;
      }
      case Control::Kind::kDatePicker:
        item.hwnd =
            Child(DATETIMEPICK_CLASSW, L"", DTS_SHORTDATEFORMAT | DTS_SHOWNONE | WS_TABSTOP | group,
                  id, x, y, std::min(w, 160), h);
        break;
      case Control::Kind::kPicture:
        h = kPictureHeight;
        item.hwnd = Child(L"STATIC", L"", SS_BITMAP | SS_CENTERIMAGE | WS_BORDER | group, id, x, y,
                          kPictureWidth, h);
        break;
      case Control::Kind::kPagePreview:
        h = 260;
        item.hwnd = Child(
            L"EDIT", L"",
            ES_MULTILINE | ES_READONLY | WS_VSCROLL | WS_HSCROLL | WS_BORDER | WS_TABSTOP | group,
            id, x, y, w, h);
        if (item.hwnd != nullptr) {
          SendMessageW(item.hwnd, WM_SETFONT, reinterpret_cast<WPARAM>(fixed_font_), FALSE);
        }
        break;
    }
    y += h + kGap;
  }
  while (!open_groups.empty()) {
    const auto [group, top] = open_groups.back();
    open_groups.pop_back();
    y += 4;
    const int depth = Depth(*controls[group]);
    SetWindowPos(items_[group].hwnd, nullptr, 0, 0, kWidth - 2 * depth * kIndent, y - top,
                 SWP_NOMOVE | SWP_NOZORDER);
    y += kGap;
  }
  RECT frame{0, 0, kWidth + 2 * kMargin, y + kMargin - kGap};
  AdjustWindowRectEx(&frame, static_cast<DWORD>(GetWindowLongPtrW(hwnd_, GWL_STYLE)), FALSE,
                     static_cast<DWORD>(GetWindowLongPtrW(hwnd_, GWL_EXSTYLE)));
  const int width = frame.right - frame.left;
  const int height = frame.bottom - frame.top;
  // Centred over the owner, else the screen's work area.
  RECT around{};
  HWND owner = GetWindow(hwnd_, GW_OWNER);
  if (owner == nullptr || !GetWindowRect(owner, &around)) {
    SystemParametersInfoW(SPI_GETWORKAREA, 0, &around, 0);
  }
  const int left = std::max(0L, around.left + (around.right - around.left - width) / 2);
  const int top = std::max(0L, around.top + (around.bottom - around.top - height) / 2);
  SetWindowPos(hwnd_, nullptr, left, top, width, height, SWP_NOZORDER | SWP_NOACTIVATE);
}

void WinPresenter::Window::Sync() {
  if (closed_ || hwnd_ == nullptr) return;
  syncing_ = true;
  SetTextIfChanged(hwnd_, Wide(form_.caption));
  for (Item& item : items_) {
    if (item.hwnd != nullptr) SyncItem(item);
  }
  syncing_ = false;
}

void WinPresenter::Window::SyncItem(Item& item) {
  Control& c = *item.control;
  const bool shown = ChainHolds(c, &Control::visible);
  const bool enabled = ChainHolds(c, &Control::enabled);
  auto show = [&](HWND window) {
    if ((IsWindowVisible(window) != FALSE) != shown) ShowWindow(window, shown ? SW_SHOW : SW_HIDE);
    if ((IsWindowEnabled(window) != FALSE) != enabled) EnableWindow(window, enabled);
  };
  show(item.hwnd);
  for (HWND part : item.parts) show(part);
  switch (c.GetKind()) {
    case Control::Kind::kLabel:
    case Control::Kind::kGroupBox:
    case Control::Kind::kButton:
      SetTextIfChanged(item.hwnd, Wide(c.caption));
      break;
    case Control::Kind::kEdit:
    case Control::Kind::kMemo: {
      const auto& edit = static_cast<const Edit&>(c);
      item.shown_text = ForEdit(edit.text);
      SetTextIfChanged(item.hwnd, item.shown_text);
      const bool read_only = (GetWindowLongPtrW(item.hwnd, GWL_STYLE) & ES_READONLY) != 0;
      if (read_only != edit.read_only) SendMessageW(item.hwnd, EM_SETREADONLY, edit.read_only, 0);
      break;
    }
    case Control::Kind::kCheckBox:
      SetTextIfChanged(item.hwnd, Wide(c.caption));
      SendMessageW(item.hwnd, BM_SETCHECK,
                   static_cast<const CheckBox&>(c).checked ? BST_CHECKED : BST_UNCHECKED, 0);
      break;
    case Control::Kind::kRadioButton:
      SetTextIfChanged(item.hwnd, Wide(c.caption));
      SendMessageW(item.hwnd, BM_SETCHECK,
                   static_cast<const RadioButton&>(c).checked ? BST_CHECKED : BST_UNCHECKED, 0);
      break;
    case Control::Kind::kRadioGroup: {
      const auto& radio_group = static_cast<const RadioGroup&>(c);
      SetTextIfChanged(item.hwnd, Wide(c.caption));
      for (size_t k = 0; k < item.parts.size(); ++k) {
        if (k < radio_group.items.size())
          SetTextIfChanged(item.parts[k], Wide(radio_group.items[k]));
        SendMessageW(item.parts[k], BM_SETCHECK,
                     static_cast<int>(k) == radio_group.item_index ? BST_CHECKED : BST_UNCHECKED,
                     0);
      }
      break;
    }
    case Control::Kind::kListBox: {
      const auto& list = static_cast<const ListBox&>(c);
      std::vector<std::string> texts;
      texts.reserve(list.items.size());
      for (const auto& entry : list.items) texts.push_back(entry.text);
      if (texts != item.shown_items) {
        SendMessageW(item.hwnd, WM_SETREDRAW, FALSE, 0);
        SendMessageW(item.hwnd, LB_RESETCONTENT, 0, 0);
        for (const std::string& text : texts) {
          SendMessageW(item.hwnd, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(Wide(text).c_str()));
        }
        SendMessageW(item.hwnd, WM_SETREDRAW, TRUE, 0);
        InvalidateRect(item.hwnd, nullptr, TRUE);
        item.shown_items = std::move(texts);
      }
      if (SendMessageW(item.hwnd, LB_GETCURSEL, 0, 0) != list.item_index) {
        SendMessageW(item.hwnd, LB_SETCURSEL, static_cast<WPARAM>(list.item_index), 0);
      }
      break;
    }
    case Control::Kind::kUpDown: {
      const auto& up_down = static_cast<const UpDown&>(c);
      SendMessageW(item.hwnd, UDM_SETRANGE32, static_cast<WPARAM>(up_down.min),
                   static_cast<LPARAM>(up_down.max));
      SendMessageW(item.hwnd, UDM_SETPOS32, 0, static_cast<LPARAM>(up_down.position));
      break;
    }
    case Control::Kind::kDatePicker: {
      const auto& picker = static_cast<const DatePicker&>(c);
      SYSTEMTIME shown_time{};
      const bool has = SendMessageW(item.hwnd, DTM_GETSYSTEMTIME, 0,
                                    reinterpret_cast<LPARAM>(&shown_time)) == GDT_VALID;
      const std::optional<SYSTEMTIME> wanted =
          picker.date ? ToSystemTime(*picker.date) : std::nullopt;
      if (!wanted) {
        if (has) SendMessageW(item.hwnd, DTM_SETSYSTEMTIME, GDT_NONE, 0);
      } else if (!has || shown_time.wYear != wanted->wYear || shown_time.wMonth != wanted->wMonth ||
                 shown_time.wDay != wanted->wDay) {
        SendMessageW(item.hwnd, DTM_SETSYSTEMTIME, GDT_VALID, reinterpret_cast<LPARAM>(&*wanted));
      }
      break;
    }
    case Control::Kind::kPicture:
      SyncPicture(item, static_cast<const Picture&>(c));
      break;
    case Control::Kind::kPagePreview: {
      const auto& preview = static_cast<const PagePreview&>(c);
      std::string text;
      for (size_t k = 0; k < preview.lines.size(); ++k) {
        if (k > 0) text += "\r\n";
        text += preview.lines[k];
      }
      SetTextIfChanged(item.hwnd, Wide(text));
      break;
    }
  }
}

void WinPresenter::Window::SyncPicture(Item& item, const Picture& picture) {
  if (picture.preview == item.shown_preview && picture.preview_width == item.shown_preview_width) {
    return;
  }
  item.shown_preview = picture.preview;
  item.shown_preview_width = picture.preview_width;
  HBITMAP bitmap = nullptr;
  const int w = picture.preview_width;
  const int h = picture.preview_height;
  if (picture.HasPicture() && w > 0 && h > 0 &&
      picture.preview.size() >= static_cast<size_t>(w) * static_cast<size_t>(h)) {
    // The grey values as a top-down 32-bit bitmap, which every static shows.
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = w;
    info.bmiHeader.biHeight = -h;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    bitmap = CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    if (bitmap != nullptr && bits != nullptr) {
      auto* pixels = static_cast<uint32_t*>(bits);
      for (size_t p = 0; p < static_cast<size_t>(w) * static_cast<size_t>(h); ++p) {
        const uint32_t grey = picture.preview[p];
        pixels[p] = grey | (grey << 8) | (grey << 16);
      }
    }
  }
  auto previous = reinterpret_cast<HBITMAP>(
      SendMessageW(item.hwnd, STM_SETIMAGE, IMAGE_BITMAP, reinterpret_cast<LPARAM>(bitmap)));
  // The static may have shown a copy of its own, which is its to free.
  if (previous != nullptr && previous != item.bitmap) DeleteObject(previous);
  if (item.bitmap != nullptr) DeleteObject(item.bitmap);
  item.bitmap = bitmap;
}

INT_PTR CALLBACK WinPresenter::Window::Proc(HWND hwnd, UINT message, WPARAM wparam,
                                            LPARAM lparam) noexcept {
  if (message == WM_INITDIALOG) {
    SetWindowLongPtrW(hwnd, DWLP_USER, lparam);
    reinterpret_cast<Window*>(lparam)->hwnd_ = hwnd;
    return FALSE;  // the focus is set once the controls are there
  }
  auto* self = reinterpret_cast<Window*>(GetWindowLongPtrW(hwnd, DWLP_USER));
  if (self == nullptr) return FALSE;
  ++self->busy_;
  // Taken as handled when it failed: what the handler began is not for
  // the dialog manager to finish.
  INT_PTR handled = TRUE;
  if (std::exception_ptr error =
          Caught([&] { handled = self->OnMessage(message, wparam, lparam); })) {
    self->Failed(std::move(error));
  }
  --self->busy_;
  return handled;
}

void WinPresenter::Window::Failed(std::exception_ptr error) noexcept {
  if (modal_) {
    // A later error (while the window goes) follows from the first.
    if (!error_) error_ = std::move(error);
    closed_ = true;
    form_.modal_result = ModalResult::kCancel;
    return;
  }
  closed_ = true;
  // The box runs a message loop of its own: the refresh would reach the
  // model meanwhile.
  if (hwnd_ != nullptr) KillTimer(hwnd_, kRefreshTimer);
  ShowError(error, &presenter_);
  if (std::exception_ptr again = Caught([this] { form_.Close(ModalResult::kCancel); })) {
    ShowError(again, &presenter_);
  }
}

INT_PTR WinPresenter::Window::OnMessage(UINT message, WPARAM wparam, LPARAM lparam) {
  switch (message) {
    case WM_COMMAND:
      if (syncing_ || closed_) return TRUE;
      // Only after an action of the user: a notification of the control
      // alone (EN_UPDATE before EN_CHANGE) must not put the model's old
      // text back meanwhile.
      Harvest();
      if (!closed_ && OnCommand(LOWORD(wparam), HIWORD(wparam)) && !closed_) Sync();
      return TRUE;
    case WM_NOTIFY: {
      if (syncing_ || closed_) return FALSE;
      Harvest();
      if (closed_) return FALSE;
      LRESULT result = 0;
      if (!OnNotify(*reinterpret_cast<const NMHDR*>(lparam), result)) return FALSE;
      if (!closed_) {
        Sync();
        SetWindowLongPtrW(hwnd_, DWLP_MSGRESULT, result);
      }
      return TRUE;
    }
    case WM_CLOSE:
      // The close box: the form closes with Cancel, whatever its buttons.
      if (!closed_) {
        Harvest();
        form_.Close(ModalResult::kCancel);
      }
      return TRUE;
    case WM_TIMER:
      if (wparam == kRefreshTimer) {
        if (!closed_) {
          Harvest();
          Sync();
        }
        return TRUE;
      }
      return FALSE;
    case WM_DESTROY:
      // Destroyed by others (Close leaves the procedure first): by
      // DestroyWindow elsewhere, or with its owner. The form closes as
      // cancelled, which ends a modal loop waiting for it.
      hwnd_ = nullptr;
      if (!closed_) {
        closed_ = true;
        form_.Close(ModalResult::kCancel);
      }
      return FALSE;
    default:
      return FALSE;
  }
}

void WinPresenter::Window::PressCancel() {
  Button* cancel = CancelButton();
  if (cancel != nullptr && cancel->Usable()) {
    cancel->Click();
  } else {
    form_.Close(ModalResult::kCancel);
  }
}

void WinPresenter::Window::Harvest() {
  for (Item& item : items_) {
    if (item.control == nullptr || item.hwnd == nullptr) continue;
    const Control::Kind kind = item.control->GetKind();
    if (kind != Control::Kind::kEdit && kind != Control::Kind::kMemo) continue;
    std::wstring now = TextOf(item.hwnd);
    if (now == item.shown_text) continue;
    item.shown_text = std::move(now);
    static_cast<Edit&>(*item.control).Type(Narrow(item.shown_text));
    if (closed_) return;
  }
}

bool WinPresenter::Window::OnCommand(int id, int code) {
  if (id == IDCANCEL) {  // Escape
    PressCancel();
    return true;
  }
  if (id == IDOK) {  // Enter without a default button in the window
    if (Button* button = DefaultButton()) button->Click();
    return true;
  }
  const int index = (id - 0x1000) / 0x100;
  const int part = (id - 0x1000) % 0x100;
  if (id < 0x1000 || index >= static_cast<int>(items_.size())) return false;
  Item& item = items_[static_cast<size_t>(index)];
  if (item.control == nullptr) return false;
  Control& c = *item.control;
  switch (c.GetKind()) {
    case Control::Kind::kButton:
      if (code != BN_CLICKED) return false;
      static_cast<Button&>(c).Click();
      return true;
    case Control::Kind::kCheckBox:
      if (code != BN_CLICKED) return false;
      static_cast<CheckBox&>(c).Toggle();
      return true;
    case Control::Kind::kRadioButton:
      if (code != BN_CLICKED) return false;
      // A click on the radio button already checked changes nothing.
      if (!static_cast<RadioButton&>(c).checked) static_cast<RadioButton&>(c).Click();
      return true;
    case Control::Kind::kRadioGroup:
      if (code != BN_CLICKED || part == 0) return false;
      if (static_cast<RadioGroup&>(c).item_index != part - 1) {
        static_cast<RadioGroup&>(c).Select(part - 1);
      }
      return true;
    case Control::Kind::kEdit:
    case Control::Kind::kMemo:
      return code == EN_CHANGE;  // given to the model by Harvest before
    case Control::Kind::kListBox:
      if (code != LBN_SELCHANGE) return false;
      static_cast<ListBox&>(c).Select(
          static_cast<int>(SendMessageW(item.hwnd, LB_GETCURSEL, 0, 0)));
      return true;
    default:
      return false;
  }
}

bool WinPresenter::Window::OnNotify(const NMHDR& header, LRESULT& result) {
  const int id = static_cast<int>(header.idFrom);
  const int index = (id - 0x1000) / 0x100;
  if (id < 0x1000 || index >= static_cast<int>(items_.size())) return false;
  if (items_[static_cast<size_t>(index)].control == nullptr) return false;
  Control& c = *items_[static_cast<size_t>(index)].control;
  if (header.code == UDN_DELTAPOS && c.GetKind() == Control::Kind::kUpDown) {
    const auto& change = reinterpret_cast<const NMUPDOWN&>(header);
    static_cast<UpDown&>(c).Step(change.iDelta > 0 ? 1 : -1);
    result = TRUE;  // the model moved it; the control keeps out
    return true;
  }
  if (header.code == DTN_DATETIMECHANGE && c.GetKind() == Control::Kind::kDatePicker) {
    const auto& change = reinterpret_cast<const NMDATETIMECHANGE&>(header);
    auto& picker = static_cast<DatePicker&>(c);
    if (!picker.Usable()) return true;
    if (change.dwFlags == GDT_NONE) {
      picker.date.reset();
    } else if (auto date = FromSystemTime(change.st)) {
      picker.date = *date;
    }
    return true;
  }
  return false;
}

WinPresenter::WinPresenter(std::shared_ptr<Transcript> transcript)
    : transcript_(std::move(transcript)) {
  INITCOMMONCONTROLSEX classes{sizeof classes, ICC_UPDOWN_CLASS | ICC_DATE_CLASSES};
  InitCommonControlsEx(&classes);
}

WinPresenter::~WinPresenter() = default;

void WinPresenter::FreeRetired() {
  std::erase_if(retired_, [](const auto& window) { return !window->Busy(); });
}

MsgAnswer WinPresenter::ShowMessage(MsgKind kind, std::string_view text, MsgButtons buttons) {
  if (transcript_) transcript_->Message(kind, text, buttons);
  UINT type = MB_SETFOREGROUND;
  switch (kind) {
    case MsgKind::kPlain:
      break;
    case MsgKind::kWarning:
      type |= MB_ICONWARNING;
      break;
    case MsgKind::kInformation:
      type |= MB_ICONINFORMATION;
      break;
    case MsgKind::kError:
      type |= MB_ICONERROR;
      break;
    case MsgKind::kConfirmation:
      type |= MB_ICONQUESTION;
      break;
  }
  switch (buttons) {
    case MsgButtons::kOk:
      type |= MB_OK;
      break;
    case MsgButtons::kYesNo:
      type |= MB_YESNO;
      break;
    case MsgButtons::kOkCancel:
      type |= MB_OKCANCEL;
      break;
    case MsgButtons::kYesNoCancel:
      type |= MB_YESNOCANCEL;
      break;
  }
  // The host's window, or the dialog this box comes from, waits for it.
  const int pressed = MessageBoxW(GetActiveWindow(), ForEdit(text).c_str(),
                                  Wide(MsgKindCaption(kind)).c_str(), type);
  MsgAnswer answer = SafestAnswer(buttons);
  switch (pressed) {
    case IDOK:
      answer = MsgAnswer::kOk;
      break;
    case IDYES:
      answer = MsgAnswer::kYes;
      break;
    case IDNO:
      answer = MsgAnswer::kNo;
      break;
    case IDCANCEL:
      answer = MsgAnswer::kCancel;
      break;
    default:
      break;
  }
  if (!MsgButtonsOffer(buttons, answer)) answer = SafestAnswer(buttons);
  if (transcript_) transcript_->Answer(answer);
  return answer;
}

void WinPresenter::RunModal(Form& form) {
  FreeRetired();
  if (transcript_) transcript_->FormShown(form);
  HWND owner = GetActiveWindow();
  std::exception_ptr error;
  {
    Window window(*this, form, owner, true);
    if (window.Handle() == nullptr) {
      // No window to be had (no desktop): the form cannot be answered.
      form.Close(ModalResult::kCancel);
    } else {
      const bool owner_was_enabled = owner != nullptr && IsWindowEnabled(owner);
      if (owner_was_enabled) EnableWindow(owner, FALSE);
      window.Show();
      ULONGLONG last_idle = GetTickCount64();
      // Until the form has its result, or its window is gone.
      while (form.modal_result == ModalResult::kNone && window.Handle() != nullptr) {
        if (form.on_idle) {
          const DWORD interval = std::max<DWORD>(1, form.idle_interval_ms);
          const ULONGLONG now = GetTickCount64();
          if (now - last_idle >= interval) {
            last_idle = now;
            // Called here, not from a window procedure; its error still ends
            // the loop as a handler's does, so that the owner is enabled
            // again and the window gone before it is thrown again.
            if (std::exception_ptr failed = Caught([&] {
                  form.on_idle();
                  window.Sync();
                })) {
              window.Failed(std::move(failed));
            }
            continue;
          }
          MsgWaitForMultipleObjectsEx(0, nullptr, static_cast<DWORD>(interval - (now - last_idle)),
                                      QS_ALLINPUT, MWMO_INPUTAVAILABLE);
        } else {
          WaitMessage();
        }
        MSG msg;
        while (form.modal_result == ModalResult::kNone && window.Handle() != nullptr &&
               PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
          if (msg.message == WM_QUIT) {
            // The host is ending: leave the quit for its own loop.
            PostQuitMessage(static_cast<int>(msg.wParam));
            form.Close(ModalResult::kCancel);
            break;
          }
          if (!IsDialogMessageW(window.Handle(), &msg)) {
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
          }
        }
      }
      // Its window went without a result.
      if (form.modal_result == ModalResult::kNone) form.Close(ModalResult::kCancel);
      // Before the window goes, so that the owner gets the activation back;
      // an owner that went took the window with it.
      if (owner_was_enabled && IsWindow(owner)) EnableWindow(owner, TRUE);
    }
    error = window.TakeError();
  }
  if (transcript_) transcript_->Result(form.modal_result);
  // Out of Windows' frames: the code that showed the form takes the error
  // (a hook's guard shows it and answers as usual).
  if (error) std::rethrow_exception(error);
}

void WinPresenter::ShowModeless(Form& form) {
  FreeRetired();
  if (auto it = modeless_.find(&form); it != modeless_.end()) {
    SetForegroundWindow(it->second->Handle());
    return;
  }
  if (transcript_) transcript_->FormShown(form, "modeless");
  // Known before it is shown: a handler failing at once closes it through
  // CloseModeless.
  auto& window = modeless_[&form];
  try {
    window = std::make_unique<Window>(*this, form, GetActiveWindow(), false);
  } catch (...) {
    modeless_.erase(&form);
    throw;
  }
  window->Show();
}

void WinPresenter::CloseModeless(Form& form) {
  auto it = modeless_.find(&form);
  if (it == modeless_.end()) return;
  std::unique_ptr<Window> window = std::move(it->second);
  modeless_.erase(it);
  window->Close();
  // Closed from its own handler, which is still on the stack: the object
  // goes later.
  if (window->Busy()) retired_.push_back(std::move(window));
  if (transcript_) {
    transcript_->FormHeader(form, "modeless");
    transcript_->Result(form.modal_result);
  }
}

std::optional<std::string> WinPresenter::ShowFileDialog(const FileDialogRequest& request) {
  // "Text (*.txt)|*.txt" becomes the pairs of strings, each ending in a null,
  // the list ending in two.
  std::wstring filter = Wide(request.filter);
  std::replace(filter.begin(), filter.end(), L'|', L'\0');
  if (!filter.empty()) filter.append(2, L'\0');
  std::vector<wchar_t> file(32768, L'\0');
  const std::wstring proposed = Wide(request.file_name);
  std::copy_n(proposed.begin(), std::min(proposed.size(), file.size() - 1), file.begin());
  const std::wstring title = Wide(request.title);
  const std::wstring initial = Wide(request.initial_dir);
  std::wstring ext = Wide(request.default_ext);
  if (!ext.empty() && ext.front() == L'.') ext.erase(0, 1);

  OPENFILENAMEW dialog{};
  dialog.lStructSize = sizeof dialog;
  dialog.hwndOwner = GetActiveWindow();
  dialog.lpstrFilter = filter.empty() ? nullptr : filter.c_str();
  dialog.nFilterIndex = 1;
  dialog.lpstrFile = file.data();
  dialog.nMaxFile = static_cast<DWORD>(file.size());
  dialog.lpstrInitialDir = initial.empty() ? nullptr : initial.c_str();
  dialog.lpstrTitle = title.empty() ? nullptr : title.c_str();
  dialog.lpstrDefExt = ext.empty() ? nullptr : ext.c_str();
  // The plug-in asks itself before it overwrites, in its own words.
  dialog.Flags = OFN_EXPLORER | OFN_NOCHANGEDIR | OFN_PATHMUSTEXIST | OFN_HIDEREADONLY;
  const bool open = request.kind == FileDialogRequest::Kind::kOpen;
  if (open) dialog.Flags |= OFN_FILEMUSTEXIST;
  const BOOL chosen_one = open ? GetOpenFileNameW(&dialog) : GetSaveFileNameW(&dialog);
  std::optional<std::string> chosen;
  if (chosen_one) chosen = WithDefaultExtension(request, Narrow(file.data()));
  if (transcript_) transcript_->File(request, chosen);
  return chosen;
}

void WinPresenter::CursorChanged(Cursor cursor) {
  // IDC_WAIT and IDC_ARROW, whose macros are the narrow names without UNICODE.
  const WORD shape = cursor == Cursor::kHourglass ? 32514 : 32512;
  ::SetCursor(LoadCursorW(nullptr, MAKEINTRESOURCEW(shape)));
}

}  // namespace platform::ui
