// The Win32 presenter against a real window system (under test: wine with
// its null graphics driver, which has windows but no screen). A helper
// thread plays the user: it waits for the dialog, reads the controls back
// through the Win32 API, answers, and the test checks what the model got.
#include "platform/ui/WinPresenter.h"

#include <gtest/gtest.h>

// clang-format off
#include <windows.h>
#include <commctrl.h>
// clang-format on
// Ui.h's MessageBox, not the Win32 macro.
#undef MessageBox

#include <atomic>
#include <functional>
#include <stdexcept>
#include <thread>

#include "platform/ui/ErrorGuard.h"
#include "platform/ui/Timer.h"

namespace platform::ui {
namespace {

std::wstring TextOf(HWND window) {
  wchar_t text[512] = {};
  GetWindowTextW(window, text, 512);
  return text;
}

std::wstring ClassOf(HWND window) {
  wchar_t name[64] = {};
  GetClassNameW(window, name, 64);
  return name;
}

int CALLBACK CountTrueType(const LOGFONTW*, const TEXTMETRICW*, DWORD type, LPARAM count) {
  if ((type & TRUETYPE_FONTTYPE) != 0) ++*reinterpret_cast<int*>(count);
  return 1;
}

// Whether this window system has a TrueType font to lay text out with.
// Debian's 32-bit wine, unpacked under qemu-i386 without FreeType, has
// none: there an edit control crashes inside wine's own uniscribe
// (ScriptString_pSize) and a message box never comes back. Windows and
// wine64 have them.
bool TextLaidOut() {
  static const bool laid_out = [] {
    HDC screen = GetDC(nullptr);
    LOGFONTW any{};
    any.lfCharSet = DEFAULT_CHARSET;
    int count = 0;
    EnumFontFamiliesExW(screen, &any, &CountTrueType, reinterpret_cast<LPARAM>(&count), 0);
    ReleaseDC(nullptr, screen);
    return count > 0;
  }();
  return laid_out;
}

#define SKIP_WITHOUT_TEXT()                                                                   \
  if (!TextLaidOut())                                                                         \
  GTEST_SKIP() << "no TrueType font in this wine (the 32-bit one here has no FreeType): its " \
                  "edit controls and message boxes fail inside wine itself"

// Waits on a thread of its own for the top-level dialog with the caption
// and hands it to `answer`. When none comes, the test thread's loop gets a
// quit, which ends a modal loop, so a failing test does not hang.
class User {
 public:
  User(std::wstring caption, std::function<void(HWND)> answer)
      : test_thread_(GetCurrentThreadId()),
        thread_([this, caption = std::move(caption), answer = std::move(answer)] {
          // By the clock, not by a count of naps, which a loaded machine
          // stretches; a dialog that comes is answered at once.
          const ULONGLONG until = GetTickCount64() + 60000;
          while (GetTickCount64() < until) {
            HWND dialog = FindWindowW(WinPresenter::WindowClass(), caption.c_str());
            if (dialog != nullptr && IsWindowVisible(dialog)) {
              found_ = true;
              answer(dialog);
              return;
            }
            Sleep(20);
          }
          PostThreadMessageW(test_thread_, WM_QUIT, 0, 0);
        }) {}
  ~User() {
    if (thread_.joinable()) thread_.join();
  }
  bool Found() {
    if (thread_.joinable()) thread_.join();
    // A quit posted for a dialog that never came is not the next test's.
    MSG msg;
    while (PeekMessageW(&msg, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE)) {
    }
    return found_;
  }

 private:
  DWORD test_thread_;
  std::atomic<bool> found_{false};
  std::thread thread_;
};

class Survey : public Form {
 public:
  Survey() : Form("TFormSurvey", "Erfassung Ü") {
    Add<Label>("Label1", "Kurzname:");
    Add<GroupBox>("GroupBox1", " Objekt ");
    name = &Add<Edit>("eName");
    name->parent = "GroupBox1";
    name->text = "alt";
    note = &Add<Memo>("mNote");
    note->text = "eins\nzwei";
    note->parent = "GroupBox1";
    filter = &Add<CheckBox>("cbFilter", "Filter");
    filter->checked = true;
    first = &Add<RadioButton>("rbErste", "Erste");
    second = &Add<RadioButton>("rbZweite", "Zweite");
    second->SetChecked(true);
    kind = &Add<RadioGroup>("rgArt", "Art");
    kind->items = {"Baum", "Strauch", "Hecke"};
    kind->item_index = 1;
    list = &Add<ListBox>("lbListe", true);
    list->Add("Nord");
    list->Add("Ost");
    list->Add("Mitte");
    list->item_index = 2;
    count = &Add<Edit>("eAnzahl");
    count->text = "5";
    up_down = &Add<UpDown>("udAnzahl", "eAnzahl", 0, 9);
    up_down->position = 5;
    date = &Add<DatePicker>("dpDatum");
    date->date = 45306;  // 2024-01-15
    page = &Add<PagePreview>("ppSeite");
    page->lines = {"Bericht", "", "Seite 1"};
    ok = &Add<Button>("BtnOK", "OK", ModalResult::kOk);
    ok->is_default = true;
    auto& cancel = Add<Button>("BtnCancel", "Abbrechen", ModalResult::kCancel);
    cancel.is_cancel = true;
    ok->on_click = [this] { name_at_ok = name->text; };
    list->on_click = [this] { ++list_clicks; };
  }
  int Index(const Control* control) const {
    for (size_t i = 0; i < Controls().size(); ++i) {
      if (Controls()[i].get() == control) return static_cast<int>(i);
    }
    return -1;
  }
  Edit* name;
  Memo* note;
  CheckBox* filter;
  RadioButton* first;
  RadioButton* second;
  RadioGroup* kind;
  ListBox* list;
  Edit* count;
  UpDown* up_down;
  DatePicker* date;
  PagePreview* page;
  Button* ok;
  std::string name_at_ok;
  int list_clicks = 0;
};

class WinPresenterTest : public ::testing::Test {
 protected:
  void SetUp() override {
    HWND probe = CreateWindowExW(0, L"STATIC", L"", WS_POPUP, 0, 0, 1, 1, nullptr, nullptr, nullptr,
                                 nullptr);
    if (probe == nullptr) {
      GTEST_SKIP() << "no windows can be made here (no window station or graphics driver)";
    }
    DestroyWindow(probe);
    transcript_ = Transcript::InMemory();
    auto presenter = std::make_unique<WinPresenter>(transcript_);
    presenter_ = presenter.get();
    previous_ = SetPresenter(std::move(presenter));
    installed_ = true;
  }
  void TearDown() override {
    if (installed_) SetPresenter(std::move(previous_));
  }
  HWND Item(HWND dialog, const Survey& form, const Control* control, int part = 0) {
    return GetDlgItem(dialog, WinPresenter::ControlId(form.Index(control), part));
  }

  bool installed_ = false;
  std::shared_ptr<Transcript> transcript_;
  WinPresenter* presenter_ = nullptr;
  std::unique_ptr<Presenter> previous_;
};

TEST_F(WinPresenterTest, FormIsADialogOfWin32ControlsThatShowTheModel) {
  SKIP_WITHOUT_TEXT();
  Survey form;
  struct Seen {
    std::vector<std::wstring> classes;
    std::vector<int> ids;  // children in window order, which is the tab order
    std::wstring label, name, note, page, list_first;
    LRESULT filter = 0, first = 0, second = 0, kind1 = 0, list_count = 0, list_selection = 0;
    LRESULT up_down = 0;
    SYSTEMTIME date{};
    LRESULT date_valid = -1;
    bool ok_is_default = false;
  } seen;
  User user(L"Erfassung Ü", [&](HWND dialog) {
    for (HWND child = GetWindow(dialog, GW_CHILD); child != nullptr;
         child = GetWindow(child, GW_HWNDNEXT)) {
      seen.ids.push_back(GetDlgCtrlID(child));
      seen.classes.push_back(ClassOf(child));
    }
    seen.label = TextOf(Item(dialog, form, form.Controls()[0].get()));
    seen.name = TextOf(Item(dialog, form, form.name));
    seen.note = TextOf(Item(dialog, form, form.note));
    seen.page = TextOf(Item(dialog, form, form.page));
    seen.filter = SendMessageW(Item(dialog, form, form.filter), BM_GETCHECK, 0, 0);
    seen.first = SendMessageW(Item(dialog, form, form.first), BM_GETCHECK, 0, 0);
    seen.second = SendMessageW(Item(dialog, form, form.second), BM_GETCHECK, 0, 0);
    seen.kind1 = SendMessageW(Item(dialog, form, form.kind, 2), BM_GETCHECK, 0, 0);
    HWND list = Item(dialog, form, form.list);
    seen.list_count = SendMessageW(list, LB_GETCOUNT, 0, 0);
    seen.list_selection = SendMessageW(list, LB_GETCURSEL, 0, 0);
    wchar_t item[64] = {};
    SendMessageW(list, LB_GETTEXT, 0, reinterpret_cast<LPARAM>(item));
    seen.list_first = item;
    seen.up_down = SendMessageW(Item(dialog, form, form.up_down), UDM_GETPOS32, 0, 0);
    seen.date_valid = SendMessageW(Item(dialog, form, form.date), DTM_GETSYSTEMTIME, 0,
                                   reinterpret_cast<LPARAM>(&seen.date));
    seen.ok_is_default = LOWORD(SendMessageW(dialog, DM_GETDEFID, 0, 0)) ==
                         WinPresenter::ControlId(form.Index(form.ok));
    // Escape: the cancel button.
    PostMessageW(dialog, WM_COMMAND, IDCANCEL, 0);
  });
  EXPECT_EQ(form.ShowModal(), ModalResult::kCancel);
  ASSERT_TRUE(user.Found());

  // One control per model control (the radio group's items after it), in model order.
  ASSERT_EQ(seen.classes.size(), form.Controls().size() + form.kind->items.size());
  std::vector<std::wstring> kinds = {L"Static", L"Button",          L"Edit",
                                     L"Edit",   L"Button",          L"Button",
                                     L"Button", L"Button",          L"Button",
                                     L"Button", L"Button",          L"ListBox",
                                     L"Edit",   L"msctls_updown32", L"SysDateTimePick32",
                                     L"Edit",   L"Button",          L"Button"};
  for (size_t i = 0; i < kinds.size() && i < seen.classes.size(); ++i) {
    EXPECT_EQ(_wcsicmp(seen.classes[i].c_str(), kinds[i].c_str()), 0) << "child " << i;
  }
  EXPECT_TRUE(std::is_sorted(seen.ids.begin(), seen.ids.end()));
  EXPECT_EQ(seen.label, L"Kurzname:");
  EXPECT_EQ(seen.name, L"alt");
  EXPECT_EQ(seen.note, L"eins\r\nzwei");
  EXPECT_EQ(seen.page, L"Bericht\r\n\r\nSeite 1");
  EXPECT_EQ(seen.filter, BST_CHECKED);
  EXPECT_EQ(seen.first, BST_UNCHECKED);
  EXPECT_EQ(seen.second, BST_CHECKED);
  EXPECT_EQ(seen.kind1, BST_CHECKED);
  EXPECT_EQ(seen.list_count, 3);
  EXPECT_EQ(seen.list_first, L"Mitte");  // the model's sorted order
  EXPECT_EQ(seen.list_selection, 2);
  EXPECT_EQ(seen.up_down, 5);
  EXPECT_EQ(seen.date_valid, GDT_VALID);
  EXPECT_EQ(seen.date.wYear, 2024);
  EXPECT_EQ(seen.date.wMonth, 1);
  EXPECT_EQ(seen.date.wDay, 15);
  EXPECT_TRUE(seen.ok_is_default);
  EXPECT_NE(transcript_->Text().find("form TFormSurvey \"Erfassung Ü\"\n"), std::string::npos);
  EXPECT_NE(transcript_->Text().find("  result Cancel\n"), std::string::npos);
}

TEST_F(WinPresenterTest, UserActionsReachTheModelBeforeTheDialogCloses) {
  SKIP_WITHOUT_TEXT();
  Survey form;
  User user(L"Erfassung Ü", [&](HWND dialog) {
    SendMessageW(Item(dialog, form, form.name), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(L"Linde"));
    // A multi-line edit reports no change for WM_SETTEXT; the model gets it all the same.
    SendMessageW(Item(dialog, form, form.note), WM_SETTEXT, 0,
                 reinterpret_cast<LPARAM>(L"drei\r\nvier"));
    SendMessageW(Item(dialog, form, form.filter), BM_CLICK, 0, 0);
    SendMessageW(Item(dialog, form, form.first), BM_CLICK, 0, 0);
    SendMessageW(Item(dialog, form, form.kind, 3), BM_CLICK, 0, 0);
    HWND list = Item(dialog, form, form.list);
    SendMessageW(list, LB_SETCURSEL, 0, 0);
    SendMessageW(dialog, WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(list), LBN_SELCHANGE),
                 reinterpret_cast<LPARAM>(list));
    // The up arrow, as the control reports it.
    HWND up_down = Item(dialog, form, form.up_down);
    NMUPDOWN step{};
    step.hdr.hwndFrom = up_down;
    step.hdr.idFrom = static_cast<UINT_PTR>(GetDlgCtrlID(up_down));
    step.hdr.code = UDN_DELTAPOS;
    step.iPos = 5;
    step.iDelta = 1;
    SendMessageW(dialog, WM_NOTIFY, step.hdr.idFrom, reinterpret_cast<LPARAM>(&step));
    SendMessageW(Item(dialog, form, form.ok), BM_CLICK, 0, 0);
  });
  EXPECT_EQ(form.ShowModal(), ModalResult::kOk);
  ASSERT_TRUE(user.Found());
  EXPECT_EQ(form.name->text, "Linde");
  EXPECT_EQ(form.name_at_ok, "Linde");  // there when the button's handler ran
  EXPECT_EQ(form.note->text, "drei\r\nvier");
  EXPECT_FALSE(form.filter->checked);
  EXPECT_TRUE(form.first->checked);
  EXPECT_FALSE(form.second->checked);
  EXPECT_EQ(form.kind->item_index, 2);
  EXPECT_EQ(form.list->item_index, 0);
  EXPECT_EQ(form.list_clicks, 1);
  EXPECT_EQ(form.up_down->position, 6);
  EXPECT_EQ(form.count->text, "6");
  EXPECT_EQ(form.date->date, 45306);
}

TEST_F(WinPresenterTest, DisabledControlRefusesAndCloseBoxCancels) {
  SKIP_WITHOUT_TEXT();
  Survey form;
  form.name->enabled = false;
  form.name->parent.clear();
  bool enabled_in_window = true;
  User user(L"Erfassung Ü", [&](HWND dialog) {
    HWND name = Item(dialog, form, form.name);
    enabled_in_window = IsWindowEnabled(name) != FALSE;
    // Text forced into it anyway does not reach the model.
    SendMessageW(name, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(L"fremd"));
    PostMessageW(dialog, WM_CLOSE, 0, 0);
  });
  EXPECT_EQ(form.ShowModal(), ModalResult::kCancel);
  ASSERT_TRUE(user.Found());
  EXPECT_FALSE(enabled_in_window);
  EXPECT_EQ(form.name->text, "alt");
}

TEST_F(WinPresenterTest, PictureShowsTheModelsPreviewAsABitmap) {
  Form form("TFormFoto", "Foto");
  auto& picture = form.Add<Picture>("Image1");
  picture.file = "linde.jpg";
  picture.width = 640;
  picture.height = 480;
  picture.preview_width = 4;
  picture.preview_height = 3;
  picture.preview.assign(12, 200);
  form.Add<Button>("BtnOK", "OK", ModalResult::kOk);
  BITMAP shown{};
  User user(L"Foto", [&](HWND dialog) {
    HWND image = GetDlgItem(dialog, WinPresenter::ControlId(0));
    auto bitmap = reinterpret_cast<HBITMAP>(SendMessageW(image, STM_GETIMAGE, IMAGE_BITMAP, 0));
    if (bitmap != nullptr) GetObjectW(bitmap, sizeof shown, &shown);
    SendMessageW(GetDlgItem(dialog, WinPresenter::ControlId(1)), BM_CLICK, 0, 0);
  });
  EXPECT_EQ(form.ShowModal(), ModalResult::kOk);
  ASSERT_TRUE(user.Found());
  EXPECT_EQ(shown.bmWidth, 4);
  EXPECT_EQ(shown.bmHeight, 3);
}

TEST_F(WinPresenterTest, MessageBoxShowsTextAndCaptionAndTakesTheButtonPressed) {
  SKIP_WITHOUT_TEXT();
  std::wstring text;
  User user(L"Bestätigen", [&](HWND box) {
    for (HWND child = GetWindow(box, GW_CHILD); child != nullptr;
         child = GetWindow(child, GW_HWNDNEXT)) {
      if (_wcsicmp(ClassOf(child).c_str(), L"Static") == 0 && !TextOf(child).empty()) {
        text = TextOf(child);
      }
    }
    SendMessageW(GetDlgItem(box, IDNO), BM_CLICK, 0, 0);
  });
  EXPECT_EQ(
      MessageBox(MsgKind::kConfirmation, "Überschreiben?\nJa oder nein", MsgButtons::kYesNoCancel),
      MsgAnswer::kNo);
  ASSERT_TRUE(user.Found());
  EXPECT_EQ(text, L"Überschreiben?\r\nJa oder nein");
  EXPECT_EQ(transcript_->Text(),
            "message confirmation YesNoCancel: Überschreiben?\\nJa oder nein\n  answer No\n");
}

TEST_F(WinPresenterTest, ModelessFormLivesInTheCallersLoopUntilItsHandlerClosesIt) {
  SKIP_WITHOUT_TEXT();
  Survey form;
  form.ok->on_click = [&] { form.Close(ModalResult::kOk); };
  form.Show();
  HWND dialog = FindWindowW(WinPresenter::WindowClass(), L"Erfassung Ü");
  ASSERT_NE(dialog, nullptr);
  EXPECT_TRUE(IsWindowVisible(dialog));
  // The host changes the model; the window follows.
  form.name->text = "vom Host";
  SendMessageW(dialog, WM_TIMER, 1, 0);
  EXPECT_EQ(TextOf(Item(dialog, form, form.name)), L"vom Host");
  SendMessageW(Item(dialog, form, form.name), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(L"Eiche"));
  EXPECT_EQ(form.name->text, "Eiche");
  SendMessageW(Item(dialog, form, form.ok), BM_CLICK, 0, 0);
  EXPECT_FALSE(form.Showing());
  EXPECT_FALSE(IsWindow(dialog));
  EXPECT_NE(transcript_->Text().find("form TFormSurvey \"Erfassung Ü\" (modeless)\n  result OK\n"),
            std::string::npos);
  // Shown again, it gets a new window.
  form.Show();
  EXPECT_NE(FindWindowW(WinPresenter::WindowClass(), L"Erfassung Ü"), nullptr);
  form.Close();
  EXPECT_EQ(FindWindowW(WinPresenter::WindowClass(), L"Erfassung Ü"), nullptr);
}

// Errors of the handlers below Windows' frames. Each is caught in the
// window or timer procedure: the process lives on to check what follows.

// The error a database gives while a dialog is open.
class DatabaseError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// A form whose handlers fail.
class Failing : public Form {
 public:
  Failing() : Form("TFormAuswahl", "Auswahl prüfen") {
    list = &Add<ListBox>("lbObjekte");
    list->Add("Eiche");
    list->Add("Linde");
    list->on_click = [] { throw DatabaseError("Tabelle TA_LIST gesperrt"); };
    ok = &Add<Button>("BtnOK", "OK", ModalResult::kOk);
    ok->on_click = [] { throw std::runtime_error("Datenbank nicht erreichbar"); };
    auto& cancel = Add<Button>("BtnCancel", "Abbrechen", ModalResult::kCancel);
    cancel.is_cancel = true;
  }
  ListBox* list;
  Button* ok;
};

// A window of the host's, active, that a modal form takes as its owner.
class HostWindow {
 public:
  HostWindow()
      : hwnd_(CreateWindowExW(0, L"STATIC", L"KARTUL", WS_POPUP | WS_VISIBLE, 0, 0, 640, 480,
                              nullptr, nullptr, nullptr, nullptr)) {
    SetForegroundWindow(hwnd_);
    SetActiveWindow(hwnd_);
  }
  ~HostWindow() {
    if (IsWindow(hwnd_)) DestroyWindow(hwnd_);
  }
  HWND Handle() const { return hwnd_; }

 private:
  HWND hwnd_;
};

// The static text of a message box.
std::wstring BoxText(HWND box) {
  std::wstring text;
  for (HWND child = GetWindow(box, GW_CHILD); child != nullptr;
       child = GetWindow(child, GW_HWNDNEXT)) {
    if (_wcsicmp(ClassOf(child).c_str(), L"Static") == 0 && !TextOf(child).empty()) {
      text = TextOf(child);
    }
  }
  return text;
}

TEST_F(WinPresenterTest, AModalFormsHandlerErrorClosesItAsCancelledAndIsThrownAfterItsLoop) {
  HostWindow host;
  ASSERT_EQ(GetActiveWindow(), host.Handle());
  struct Case {
    const char* name;
    std::function<void(HWND)> provoke;
    std::string expected;
  };
  const std::vector<Case> cases = {
      {"click",
       [](HWND dialog) {
         SendMessageW(GetDlgItem(dialog, WinPresenter::ControlId(1)), BM_CLICK, 0, 0);
       },
       "Datenbank nicht erreichbar"},
      {"selection",
       [](HWND dialog) {
         HWND list = GetDlgItem(dialog, WinPresenter::ControlId(0));
         SendMessageW(list, LB_SETCURSEL, 1, 0);
         SendMessageW(dialog, WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(list), LBN_SELCHANGE),
                      reinterpret_cast<LPARAM>(list));
       },
       "Tabelle TA_LIST gesperrt"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Failing form;
    HWND seen_owner = nullptr;
    bool owner_disabled_meanwhile = false;
    User user(L"Auswahl prüfen", [&](HWND dialog) {
      seen_owner = GetWindow(dialog, GW_OWNER);
      owner_disabled_meanwhile = !IsWindowEnabled(host.Handle());
      c.provoke(dialog);
    });
    std::string thrown;
    bool window_gone_when_thrown = false;
    bool owner_enabled_when_thrown = false;
    try {
      form.ShowModal();
      ADD_FAILURE() << "the handler's error was not thrown again";
    } catch (const std::runtime_error& e) {
      thrown = e.what();
      window_gone_when_thrown =
          FindWindowW(WinPresenter::WindowClass(), L"Auswahl prüfen") == nullptr;
      owner_enabled_when_thrown = IsWindowEnabled(host.Handle()) != FALSE;
    }
    ASSERT_TRUE(user.Found());
    EXPECT_EQ(thrown, c.expected);
    EXPECT_EQ(seen_owner, host.Handle());
    EXPECT_TRUE(owner_disabled_meanwhile);
    EXPECT_TRUE(window_gone_when_thrown) << "thrown once the window is gone";
    EXPECT_TRUE(owner_enabled_when_thrown);
    EXPECT_EQ(form.modal_result, ModalResult::kCancel);
    EXPECT_FALSE(form.Showing());
  }
  // The error's own type reaches the caller, not a copy of its text.
  Failing form;
  User user(L"Auswahl prüfen", [&](HWND dialog) { cases[1].provoke(dialog); });
  EXPECT_THROW(form.ShowModal(), DatabaseError);
  ASSERT_TRUE(user.Found());
  const std::string transcript = transcript_->Text();
  size_t results = 0;
  for (size_t at = transcript.find("  result Cancel\n"); at != std::string::npos;
       at = transcript.find("  result Cancel\n", at + 1)) {
    ++results;
  }
  EXPECT_EQ(results, 3u) << transcript;
}

// What a hook does with a form's error (plugin/hooks.cpp): its guard catches
// what ShowModal threw again and shows it in an error box. The box comes
// once the form's window and its loop are gone, not from inside a window
// procedure, and the error's text reaches it whole.
bool HookGuard(Form& form, Presenter& boxes) noexcept {
  if (std::exception_ptr error = Caught([&] { form.ShowModal(); })) {
    ShowError(error, &boxes);
    return false;
  }
  return true;
}

// Where the window system cannot show a box: what it was asked, and what
// the screen held meanwhile.
class BoxWitness : public Presenter {
 public:
  explicit BoxWitness(HWND owner) : owner_(owner) {}
  MsgAnswer ShowMessage(MsgKind kind, std::string_view text, MsgButtons) override {
    error_box = kind == MsgKind::kError;
    box_text.assign(text);
    form_gone_at_box = FindWindowW(WinPresenter::WindowClass(), L"Auswahl prüfen") == nullptr;
    owner_enabled_at_box = IsWindowEnabled(owner_) != FALSE;
    return MsgAnswer::kOk;
  }
  void RunModal(Form&) override {}
  void ShowModeless(Form&) override {}
  void CloseModeless(Form&) override {}
  std::optional<std::string> ShowFileDialog(const FileDialogRequest&) override { return {}; }
  bool error_box = false;
  std::string box_text;
  bool form_gone_at_box = false;
  bool owner_enabled_at_box = false;

 private:
  HWND owner_;
};

TEST_F(WinPresenterTest, AModalFormsErrorReachesTheCallersGuardWhichShowsItsGermanBox) {
  HostWindow host;
  Failing form;
  User clicks(L"Auswahl prüfen", [&](HWND dialog) {
    SendMessageW(GetDlgItem(dialog, WinPresenter::ControlId(1)), BM_CLICK, 0, 0);
  });
  if (!TextLaidOut()) {
    BoxWitness witness(host.Handle());
    EXPECT_FALSE(HookGuard(form, witness));
    ASSERT_TRUE(clicks.Found());
    EXPECT_TRUE(witness.error_box);
    EXPECT_EQ(witness.box_text, "Datenbank nicht erreichbar");
    EXPECT_TRUE(witness.form_gone_at_box) << "the box came while the form's window was there";
    EXPECT_TRUE(witness.owner_enabled_at_box);
    EXPECT_EQ(form.modal_result, ModalResult::kCancel);
    return;
  }
  std::wstring box_text;
  bool form_gone_at_box = false;
  HWND box_owner = nullptr;
  User answers(L"Fehler", [&](HWND box) {
    box_text = BoxText(box);
    form_gone_at_box = FindWindowW(WinPresenter::WindowClass(), L"Auswahl prüfen") == nullptr;
    box_owner = GetWindow(box, GW_OWNER);
    SendMessageW(GetDlgItem(box, IDOK), BM_CLICK, 0, 0);
  });
  EXPECT_FALSE(HookGuard(form, *presenter_));
  ASSERT_TRUE(clicks.Found());
  ASSERT_TRUE(answers.Found()) << "the guard's box never came";
  EXPECT_EQ(box_text, L"Datenbank nicht erreichbar");
  EXPECT_TRUE(form_gone_at_box) << "the box came while the form's window was there";
  // The host's window, active again, waits for the box; not the form's gone one.
  EXPECT_EQ(box_owner, host.Handle());
  EXPECT_EQ(form.modal_result, ModalResult::kCancel);
  // The form's result first: the box is the caller's, after the form.
  EXPECT_NE(transcript_->Text().find("  result Cancel\n"
                                     "message error OK: Datenbank nicht erreichbar\n"
                                     "  answer OK\n"),
            std::string::npos)
      << transcript_->Text();
}

TEST_F(WinPresenterTest, AModelessFormsHandlerErrorIsShownInAGermanErrorBoxAndTheFormCloses) {
  SKIP_WITHOUT_TEXT();
  Failing form;
  form.Show();
  HWND dialog = FindWindowW(WinPresenter::WindowClass(), L"Auswahl prüfen");
  ASSERT_NE(dialog, nullptr);
  std::wstring box_text;
  bool form_window_there_meanwhile = false;
  User user(L"Fehler", [&](HWND box) {
    box_text = BoxText(box);
    form_window_there_meanwhile = IsWindow(dialog) != FALSE;
    SendMessageW(GetDlgItem(box, IDOK), BM_CLICK, 0, 0);
  });
  // The host's loop hands the click to the window; the box waits on this thread.
  SendMessageW(GetDlgItem(dialog, WinPresenter::ControlId(1)), BM_CLICK, 0, 0);
  ASSERT_TRUE(user.Found());
  EXPECT_EQ(box_text, L"Datenbank nicht erreichbar");
  EXPECT_TRUE(form_window_there_meanwhile) << "the box belongs to the form's error";
  EXPECT_FALSE(form.Showing());
  EXPECT_FALSE(IsWindow(dialog));
  EXPECT_EQ(form.modal_result, ModalResult::kCancel);
  EXPECT_NE(transcript_->Text().find("message error OK: Datenbank nicht erreichbar\n  answer OK\n"
                                     "form TFormAuswahl \"Auswahl prüfen\" (modeless)\n"
                                     "  result Cancel\n"),
            std::string::npos)
      << transcript_->Text();
  // The presenter goes on: the form shows again.
  form.Show();
  EXPECT_TRUE(form.Showing());
  EXPECT_NE(FindWindowW(WinPresenter::WindowClass(), L"Auswahl prüfen"), nullptr);
  form.Close();
}

// Fails on its first tick only, so that one box comes.
struct FailingTick {
  std::atomic<int> runs{0};
  static void Proc(void* context) {
    if (++static_cast<FailingTick*>(context)->runs == 1) {
      throw std::runtime_error("Zeitgeber: Projekt geschlossen");
    }
  }
};

TEST_F(WinPresenterTest, ATimersErrorIsShownAndTheTimerRunsOnButNotInsideItsBox) {
  SKIP_WITHOUT_TEXT();
  FailingTick tick;
  std::wstring box_text;
  int runs_at_box = -1, runs_later = -1;
  User user(L"Fehler", [&](HWND box) {
    box_text = BoxText(box);
    runs_at_box = tick.runs;
    // The box's loop dispatches the timer's messages meanwhile.
    Sleep(300);
    runs_later = tick.runs;
    SendMessageW(GetDlgItem(box, IDOK), BM_CLICK, 0, 0);
  });
  HostTimers& loop = HostTimers::Default();
  const uint32_t id = loop.SetTimer(10, &FailingTick::Proc, &tick);
  ASSERT_GT(id, 0u);
  const ULONGLONG until = GetTickCount64() + 60000;
  while (tick.runs < 3 && GetTickCount64() < until) {
    MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&message);
  }
  loop.KillTimer(id);
  ASSERT_TRUE(user.Found());
  EXPECT_EQ(box_text, L"Zeitgeber: Projekt geschlossen");
  EXPECT_EQ(runs_at_box, 1);
  EXPECT_EQ(runs_later, 1) << "not run again while its error is shown";
  EXPECT_GE(tick.runs, 3) << "the timer runs on after its error";
  EXPECT_NE(transcript_->Text().find("message error OK: Zeitgeber: Projekt geschlossen\n"),
            std::string::npos);
}

// Ends a test's modal loop with a quit should it wait for ever, and says so.
class Watchdog {
 public:
  explicit Watchdog(DWORD ms)
      : test_thread_(GetCurrentThreadId()),
        done_(CreateEventW(nullptr, TRUE, FALSE, nullptr)),
        thread_([this, ms] {
          if (WaitForSingleObject(done_, ms) == WAIT_TIMEOUT) {
            fired_ = true;
            PostThreadMessageW(test_thread_, WM_QUIT, 0, 0);
          }
        }) {}
  ~Watchdog() {
    SetEvent(done_);
    thread_.join();
    CloseHandle(done_);
    MSG msg;
    while (PeekMessageW(&msg, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE)) {
    }
  }
  bool Fired() const { return fired_; }

 private:
  DWORD test_thread_;
  HANDLE done_;
  std::atomic<bool> fired_{false};
  std::thread thread_;
};

// What the timer procedure below destroys: the dialog itself, or its owner.
std::atomic<bool> g_destroy_owner{false};
std::atomic<HWND> g_owner_seen{nullptr};

// A timer of the host's, run by the modal loop, destroying the dialog
// behind the presenter's back.
void CALLBACK DestroyTheDialog(HWND, UINT, UINT_PTR id, DWORD) {
  HWND dialog = FindWindowW(WinPresenter::WindowClass(), L"Auswahl prüfen");
  if (dialog == nullptr || !IsWindowVisible(dialog)) return;
  ::KillTimer(nullptr, id);
  g_owner_seen = GetWindow(dialog, GW_OWNER);
  DestroyWindow(g_destroy_owner ? GetWindow(dialog, GW_OWNER) : dialog);
}

TEST_F(WinPresenterTest, AModalLoopWhoseWindowIsDestroyedFromOutsideEndsAsCancelled) {
  for (const bool owner_goes : {false, true}) {
    SCOPED_TRACE(owner_goes ? "its owner destroyed" : "the dialog destroyed");
    HostWindow host;
    Failing form;
    form.ok->on_click = nullptr;
    g_destroy_owner = owner_goes;
    g_owner_seen = nullptr;
    const UINT_PTR timer = ::SetTimer(nullptr, 0, 20, &DestroyTheDialog);
    ASSERT_NE(timer, 0u);
    ModalResult result = ModalResult::kNone;
    {
      Watchdog watchdog(60000);
      result = form.ShowModal();
      EXPECT_FALSE(watchdog.Fired()) << "the loop waited on for a window that was gone";
    }
    ::KillTimer(nullptr, timer);
    EXPECT_EQ(g_owner_seen.load(), host.Handle());
    EXPECT_EQ(result, ModalResult::kCancel);
    EXPECT_FALSE(form.Showing());
    EXPECT_EQ(FindWindowW(WinPresenter::WindowClass(), L"Auswahl prüfen"), nullptr);
    EXPECT_EQ(IsWindow(host.Handle()) != FALSE, !owner_goes);
  }
}

}  // namespace
}  // namespace platform::ui
