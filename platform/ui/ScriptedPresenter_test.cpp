#include "platform/ui/ScriptedPresenter.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <climits>
#include <filesystem>
#include <fstream>

namespace platform::ui {
namespace {

namespace fs = std::filesystem;

// A chooser like the system's transaction dialogs.
class Chooser : public Form {
 public:
  Chooser() : Form("TFormGetTIDAndKennung", "Kennung für neues Objekt") {
    Add<GroupBox>("GroupBox1", " Transaktion ");
    transactions = &Add<ListBox>("lbTransActions");
    transactions->parent = "GroupBox1";
    kennungen = &Add<ListBox>("lbKennungen", true);
    filter = &Add<CheckBox>("cbAktiviereFilter", "TK-Filter aktivieren");
    tk = &Add<Edit>("EditTKBlatt");
    ok = &Add<Button>("BtnOK", "Kennung übernehmen", ModalResult::kOk);
    Add<Button>("BtnNoTID", "Keine TID", ModalResult::kIgnore);
    Add<Button>("Button1", "Abbrechen", ModalResult::kAbortAll);
    transactions->Add("12 - Nord");
    transactions->Add("13 - Süd");
    transactions->on_click = [this] {
      kennungen->Clear();
      kennungen->Add(transactions->SelectedText().substr(0, 2) + "-B");
      kennungen->Add(transactions->SelectedText().substr(0, 2) + "-A");
      if (transactions->item_index == 1) MessageBox(MsgKind::kWarning, "Achtung:\r\nSüd");
      ok->enabled = kennungen->item_index >= 0;
    };
    kennungen->on_click = [this] { ok->enabled = kennungen->item_index >= 0; };
    ok->enabled = false;
  }
  ListBox* transactions;
  ListBox* kennungen;
  CheckBox* filter;
  Edit* tk;
  Button* ok;
};

class ScriptedTest : public ::testing::Test {
 protected:
  void SetUp() override { SetHostTimerFunctions(nullptr, nullptr); }
  void Install(std::string_view script) {
    transcript_ = Transcript::InMemory();
    auto presenter = std::make_unique<ScriptedPresenter>(script, transcript_);
    presenter_ = presenter.get();
    previous_ = SetPresenter(std::move(presenter));
    restore_ = true;
  }
  void TearDown() override {
    if (restore_) SetPresenter(std::move(previous_));
  }
  bool restore_ = false;
  std::shared_ptr<Transcript> transcript_;
  ScriptedPresenter* presenter_ = nullptr;
  std::unique_ptr<Presenter> previous_;
};

TEST_F(ScriptedTest, MessageBoxesTakeTheScriptedAnswers) {
  Install("# answers\n\nmessage Yes\nmessage No \"Überschreiben?\"\nmessage OK\n");
  EXPECT_EQ(MessageBox(MsgKind::kConfirmation, "Logdatei ansehen?", MsgButtons::kYesNo),
            MsgAnswer::kYes);
  EXPECT_EQ(MessageBox(MsgKind::kConfirmation, "Überschreiben?", MsgButtons::kYesNo),
            MsgAnswer::kNo);
  EXPECT_EQ(MessageBox(MsgKind::kError, "Pfad C:\\x\r\nzwei"), MsgAnswer::kOk);
  EXPECT_TRUE(presenter_->Failures().empty());
  EXPECT_EQ(transcript_->Text(),
            "message confirmation YesNo: Logdatei ansehen?\n  answer Yes\n"
            "message confirmation YesNo: Überschreiben?\n  answer No\n"
            "message error OK: Pfad C:\\\\x\\r\\nzwei\n  answer OK\n");
}

TEST_F(ScriptedTest, UnexpectedMessagesFailAndGetTheSafestAnswer) {
  Install("message Yes \"Andere Frage?\"\n");
  // The expected text differs: the box is unexpected, the answer stays for later.
  EXPECT_EQ(MessageBox(MsgKind::kConfirmation, "Frage?", MsgButtons::kYesNo), MsgAnswer::kNo);
  EXPECT_EQ(presenter_->PendingActions(), 1u);
  EXPECT_EQ(MessageBox(MsgKind::kConfirmation, "Andere Frage?", MsgButtons::kYesNo),
            MsgAnswer::kYes);
  // Nothing left.
  EXPECT_EQ(MessageBox(MsgKind::kWarning, "Warnung"), MsgAnswer::kOk);
  EXPECT_EQ(MessageBox(MsgKind::kWarning, "?", MsgButtons::kYesNoCancel), MsgAnswer::kCancel);
  ASSERT_EQ(presenter_->Failures().size(), 3u);
  EXPECT_EQ(
      presenter_->Failures()[0],
      "message confirmation YesNo: Frage? [next answer, line 1: message Yes \"Andere Frage?\"]");
  EXPECT_EQ(presenter_->Failures()[1], "message warning OK: Warnung [no answer left]");
  EXPECT_NE(transcript_->Text().find("\nUNEXPECTED message warning OK: Warnung [no answer left]\n"),
            std::string::npos);
}

TEST_F(ScriptedTest, AnswerWithoutItsButtonFails) {
  Install("message Yes\nmessage maybe\n");
  EXPECT_EQ(MessageBox(MsgKind::kInformation, "Nur OK"), MsgAnswer::kOk);
  EXPECT_EQ(MessageBox(MsgKind::kConfirmation, "?", MsgButtons::kYesNo), MsgAnswer::kNo);
  EXPECT_EQ(presenter_->Failures().size(), 2u);
  EXPECT_EQ(presenter_->PendingActions(), 0u);
}

TEST_F(ScriptedTest, FormActionsRunTheHandlersAndTheTranscriptShowsEverything) {
  Install(
      "form TFormGetTIDAndKennung\n"
      "select lbTransActions \"13 - Süd\"\n"
      "message OK \"Achtung:\\r\\nSüd\"\n"
      "select lbKennungen #1\n"
      "check cbAktiviereFilter\n"
      "type EditTKBlatt \"3245 NO\"\n"
      "click BtnOK\n");
  Chooser form;
  EXPECT_EQ(form.ShowModal(), ModalResult::kOk);
  EXPECT_EQ(form.kennungen->SelectedText(), "13-B");
  EXPECT_TRUE(form.filter->checked);
  EXPECT_EQ(form.tk->text, "3245 NO");
  EXPECT_TRUE(presenter_->Failures().empty()) << presenter_->Failures()[0];
  EXPECT_EQ(transcript_->Text(),
            "form TFormGetTIDAndKennung \"Kennung für neues Objekt\"\n"
            "  GroupBox1 group \" Transaktion \"\n"
            "  lbTransActions list 2 items\n"
            "      #0 \"12 - Nord\"\n"
            "      #1 \"13 - Süd\"\n"
            "  lbKennungen list 0 items sorted\n"
            "  cbAktiviereFilter checkbox [ ] \"TK-Filter aktivieren\"\n"
            "  EditTKBlatt edit \"\"\n"
            "  BtnOK button \"Kennung übernehmen\" disabled\n"
            "  BtnNoTID button \"Keine TID\"\n"
            "  Button1 button \"Abbrechen\"\n"
            "  > select lbTransActions \"13 - Süd\"\n"
            "message warning OK: Achtung:\\r\\nSüd\n"
            "  answer OK\n"
            "  > select lbKennungen #1\n"
            "  > check cbAktiviereFilter\n"
            "  > type EditTKBlatt \"3245 NO\"\n"
            "  > click BtnOK\n"
            "  result OK\n");
}

TEST_F(ScriptedTest, AbortAllIsItsOwnResult) {
  Install("form TFormGetTIDAndKennung\nclick Button1\n");
  Chooser form;
  EXPECT_EQ(form.ShowModal(), ModalResult::kAbortAll);
  EXPECT_NE(transcript_->Text().find("  result AbortAll\n"), std::string::npos);
}

TEST_F(ScriptedTest, ActionOnADisabledControlFailsAndTheFormGoesOn) {
  Install(
      "form TFormGetTIDAndKennung\nclick BtnOK\nselect lbKennungen \"nope\"\nclick nothing\n"
      "close\n");
  Chooser form;
  EXPECT_EQ(form.ShowModal(), ModalResult::kCancel);
  ASSERT_EQ(presenter_->Failures().size(), 3u);
  EXPECT_EQ(presenter_->Failures()[0],
            "action on form TFormGetTIDAndKennung at answer line 2 (click BtnOK): control BtnOK is "
            "disabled");
  EXPECT_NE(presenter_->Failures()[1].find("has no item \"nope\""), std::string::npos);
  EXPECT_NE(presenter_->Failures()[2].find("has no control nothing"), std::string::npos);
}

TEST_F(ScriptedTest, UnexpectedFormClosesWithCancel) {
  Install("form TFormGetTID\nclick BtnOK\n");
  Chooser form;
  EXPECT_EQ(form.ShowModal(), ModalResult::kCancel);
  ASSERT_EQ(presenter_->Failures().size(), 1u);
  EXPECT_EQ(presenter_->Failures()[0],
            "form TFormGetTIDAndKennung \"Kennung für neues Objekt\" [next answer, line 1: form "
            "TFormGetTID]");
  EXPECT_NE(transcript_->Text().find("\n  result Cancel\n"), std::string::npos);
}

TEST_F(ScriptedTest, FormLeftOpenByTheScriptFails) {
  Install("form TFormGetTIDAndKennung\nselect lbTransActions #0\nmessage OK\n");
  Chooser form;
  EXPECT_EQ(form.ShowModal(), ModalResult::kCancel);
  ASSERT_EQ(presenter_->Failures().size(), 1u);
  EXPECT_NE(presenter_->Failures()[0].find("is still open [next answer, line 3: message OK]"),
            std::string::npos);
  EXPECT_EQ(presenter_->PendingActions(), 1u);
}

// A form that watches work: it closes itself after `rounds` idle calls.
class Working : public Form {
 public:
  explicit Working(int rounds) : Form("TFormArbeit", "Arbeit läuft") {
    Add<Label>("lblStand", "");
    Add<Button>("btnAbbrechen", "Abbrechen", ModalResult::kCancel).is_cancel = true;
    idle_interval_ms = 1;
    on_idle = [this, rounds] {
      if (++idles >= rounds) Close(ModalResult::kOk);
    };
  }
  int idles = 0;
};

TEST_F(ScriptedTest, AFormWatchingWorkNeedsNoAnswerButTakesOne) {
  // Not addressed: the work ends, the form closes itself, the next answer
  // stays for the box it was meant for.
  Install("message OK\n");
  Working done(3);
  EXPECT_EQ(done.ShowModal(), ModalResult::kOk);
  EXPECT_EQ(done.idles, 3);
  EXPECT_EQ(presenter_->PendingActions(), 1u);
  EXPECT_EQ(MessageBox(MsgKind::kInformation, "fertig"), MsgAnswer::kOk);

  // Addressed: the mapper's click ends it before the work does.
  Install("form TFormArbeit\nclick btnAbbrechen\n");
  Working cancelled(1000000);
  EXPECT_EQ(cancelled.ShowModal(), ModalResult::kCancel);
  EXPECT_EQ(cancelled.idles, 0);
  // Addressed without actions: it is waited for all the same.
  Install("form TFormArbeit\n");
  Working waited(2);
  EXPECT_EQ(waited.ShowModal(), ModalResult::kOk);
  // Time let pass before the click: the work goes on being watched, and
  // may end meanwhile (then the click finds the form closed).
  Install("form TFormArbeit\nwait 30\nclick btnAbbrechen\nform TFormArbeit\nwait 1000\n");
  Working later(1000000);
  EXPECT_EQ(later.ShowModal(), ModalResult::kCancel);
  EXPECT_GT(later.idles, 5);
  Working ends(3);
  EXPECT_EQ(ends.ShowModal(), ModalResult::kOk);
  EXPECT_EQ(ends.idles, 3);
  EXPECT_TRUE(presenter_->Failures().empty());
}

// A program that hangs must fail the run, not stall it: the form is
// closed with Cancel once the limit has passed, and the failure names it.
TEST_F(ScriptedTest, AFormWatchingWorkThatNeverEndsFailsAtTheWaitLimit) {
  using std::chrono::milliseconds;
  const auto elapsed = [](auto since) {
    return std::chrono::duration_cast<milliseconds>(std::chrono::steady_clock::now() - since);
  };
  Install("message OK \"weiter\"\n");
  EXPECT_EQ(presenter_->WaitLimit(), ScriptedPresenter::kDefaultWaitLimit);
  presenter_->SetWaitLimit(milliseconds(300));
  Working hangs(INT_MAX);
  auto started = std::chrono::steady_clock::now();
  EXPECT_EQ(hangs.ShowModal(), ModalResult::kCancel);
  EXPECT_GE(elapsed(started), milliseconds(300));
  EXPECT_LT(elapsed(started), milliseconds(10000));
  EXPECT_GT(hangs.idles, 1) << "watched until the limit";
  ASSERT_EQ(presenter_->Failures().size(), 1u);
  EXPECT_EQ(presenter_->Failures()[0],
            "form TFormArbeit \"Arbeit läuft\" did not close by itself within 300 ms "
            "[next answer, line 1: message OK \"weiter\"]");
  EXPECT_NE(transcript_->Text().find("UNEXPECTED form TFormArbeit \"Arbeit läuft\" did not close "
                                     "by itself within 300 ms"),
            std::string::npos);
  EXPECT_EQ(presenter_->PendingActions(), 1u) << "the answer stays for its box";

  // Addressed, but the actions run out before it closes: waited for with
  // the same limit, counted from the last action.
  Install("form TFormArbeit\nwait 200\n");
  presenter_->SetWaitLimit(std::chrono::seconds(1));
  Working addressed(INT_MAX);
  started = std::chrono::steady_clock::now();
  EXPECT_EQ(addressed.ShowModal(), ModalResult::kCancel);
  EXPECT_GE(elapsed(started), milliseconds(1200));
  ASSERT_EQ(presenter_->Failures().size(), 1u);
  EXPECT_EQ(presenter_->Failures()[0],
            "form TFormArbeit \"Arbeit läuft\" did not close by itself within 1 s "
            "[no answer left]");
}

TEST_F(ScriptedTest, TheWaitLimitTouchesNeitherAnsweredFormsNorWorkThatEndsInTime) {
  // The script's own waiting is an answer, however long it is.
  Install("form TFormArbeit\nwait 400\nclick btnAbbrechen\n");
  presenter_->SetWaitLimit(std::chrono::milliseconds(50));
  Working answered(INT_MAX);
  EXPECT_EQ(answered.ShowModal(), ModalResult::kCancel);
  EXPECT_GT(answered.idles, 5);
  // Work that ends before the limit closes its form as ever.
  Working ends(20);
  EXPECT_EQ(ends.ShowModal(), ModalResult::kOk);
  EXPECT_TRUE(presenter_->Failures().empty());
}

TEST_F(ScriptedTest, TheRunsSettingSetsTheWaitLimitInWholeSeconds) {
  Install("");
  presenter_->SetWaitLimitFromSetting("KARTUL_WAIT_LIMIT", "2");
  EXPECT_EQ(presenter_->WaitLimit(), std::chrono::seconds(2));
  for (const char* none : {"0", "-5", "1.5", "zwei", "", "86401"}) {
    presenter_->SetWaitLimitFromSetting("KARTUL_WAIT_LIMIT", none);
    EXPECT_EQ(presenter_->WaitLimit(), std::chrono::seconds(2)) << none;
  }
  ASSERT_EQ(presenter_->Failures().size(), 6u);
  EXPECT_EQ(presenter_->Failures()[0],
            "KARTUL_WAIT_LIMIT=0 is no wait limit (whole seconds, 1 to 86400); the limit "
            "stays 2 s");
  presenter_->SetWaitLimitFromSetting("KARTUL_WAIT_LIMIT", "86400");
  EXPECT_EQ(presenter_->WaitLimit(), ScriptedPresenter::kLongestWaitLimit);
}

TEST_F(ScriptedTest, FileDialogs) {
  Install("file \"/tmp/bericht\"\nfile cancel\nfile \"cancel\"\n");
  FileDialogRequest save{
      FileDialogRequest::Kind::kSave, "", "Textdateien (*.txt)|*.txt", "/tmp", "alt.txt", "txt"};
  EXPECT_EQ(FileDialog(save), "/tmp/bericht.txt");
  EXPECT_EQ(FileDialog(save), std::nullopt);
  EXPECT_EQ(FileDialog(save), "cancel.txt");
  EXPECT_EQ(FileDialog(save), std::nullopt);  // unexpected
  EXPECT_EQ(presenter_->Failures().size(), 1u);
  EXPECT_NE(
      transcript_->Text().find("file save \"Textdateien (*.txt)|*.txt\" \"/tmp\" \"alt.txt\" -> "
                               "\"/tmp/bericht.txt\"\n"),
      std::string::npos);
  EXPECT_NE(transcript_->Text().find("\"alt.txt\" -> cancel\n"), std::string::npos);
}

TEST_F(ScriptedTest, MalformedAnswerLinesAreFailures) {
  Install("message OK \"unterminated\nselect \"a\\q\"\n");
  EXPECT_EQ(presenter_->Failures().size(), 2u);
  EXPECT_NE(presenter_->Failures()[0].find("answer line 1 cannot be read (closing quote missing)"),
            std::string::npos);
}

TEST_F(ScriptedTest, AnswerFileIsReadOnAsTheHostAppends) {
  fs::path file = fs::temp_directory_path() / ("answers_" + std::to_string(getpid()));
  std::ofstream(file) << "message OK\n";
  transcript_ = Transcript::InMemory();
  auto presenter = ScriptedPresenter::FromFile(file.string(), transcript_);
  presenter_ = presenter.get();
  previous_ = SetPresenter(std::move(presenter));
  restore_ = true;
  EXPECT_EQ(MessageBox(MsgKind::kInformation, "eins"), MsgAnswer::kOk);
  std::ofstream(file, std::ios::app) << "message Yes\nmessage No";  // the last line without its end
  EXPECT_EQ(MessageBox(MsgKind::kConfirmation, "zwei", MsgButtons::kYesNo), MsgAnswer::kYes);
  EXPECT_EQ(MessageBox(MsgKind::kConfirmation, "drei", MsgButtons::kYesNo), MsgAnswer::kNo);
  EXPECT_TRUE(presenter_->Failures().empty());
  fs::remove(file);
  EXPECT_EQ(MessageBox(MsgKind::kConfirmation, "vier", MsgButtons::kYesNo), MsgAnswer::kNo);
  EXPECT_EQ(presenter_->Failures().size(), 1u);
}

TEST_F(ScriptedTest, EnvironmentChoosesAnswerFileAndTranscript) {
  fs::path dir = fs::temp_directory_path() / ("presenter_env_" + std::to_string(getpid()));
  fs::create_directories(dir);
  std::ofstream(dir / "answers.txt") << "message No \"Weiter?\"\n";
  setenv("KARTUL_ANSWERS", (dir / "answers.txt").c_str(), 1);
  setenv("KARTUL_TRANSCRIPT", (dir / "transcript.txt").c_str(), 1);
  setenv("KARTUL_WAIT_LIMIT", "7", 1);
  previous_ = SetPresenter(nullptr);
  restore_ = true;
  ChoosePresenterFromEnvironment();
  unsetenv("KARTUL_ANSWERS");
  unsetenv("KARTUL_TRANSCRIPT");
  unsetenv("KARTUL_WAIT_LIMIT");
  auto* scripted = dynamic_cast<ScriptedPresenter*>(&CurrentPresenter());
  ASSERT_NE(scripted, nullptr);
  EXPECT_EQ(scripted->WaitLimit(), std::chrono::seconds(7));
  EXPECT_EQ(MessageBox(MsgKind::kConfirmation, "Weiter?", MsgButtons::kYesNo), MsgAnswer::kNo);
  EXPECT_EQ(MessageBox(MsgKind::kInformation, "Ende"), MsgAnswer::kOk);
  std::ifstream in(dir / "transcript.txt");
  std::string text((std::istreambuf_iterator<char>(in)), {});
  EXPECT_EQ(text,
            "message confirmation YesNo: Weiter?\n  answer No\n"
            "message information OK: Ende\n"
            "UNEXPECTED message information OK: Ende [no answer left]\n  answer OK\n");
  fs::remove_all(dir);
}

// A modeless dialog like the photo dialog.
class Photo : public Form {
 public:
  Photo() : Form("TFormEditFoto", "Objektfoto bearbeiten") {
    kurz = &Add<Edit>("eKurzname");
    auto& ok = Add<Button>("BtnOK", "Foto übernehmen", ModalResult::kNone);
    ok.on_click = [this] {
      if (kurz->text.empty()) {
        MessageBox(MsgKind::kWarning, "Die Eingabedaten sind nicht vollständig!");
        return;
      }
      Close(ModalResult::kOk);
    };
  }
  void FormClose() override { closed = true; }
  Edit* kurz;
  bool closed = false;
};

TEST_F(ScriptedTest, ModelessFormIsActedOnWhenTheLoopIsIdle) {
  Install("message OK \"vorher\"\n");
  Photo photo;
  photo.Show();
  EXPECT_TRUE(photo.Showing());
  EXPECT_EQ(presenter_->ModelessForms().size(), 1u);
  presenter_->RunIdle();  // a message answer is not for the modeless form
  EXPECT_EQ(presenter_->PendingActions(), 1u);
  EXPECT_EQ(MessageBox(MsgKind::kInformation, "vorher"), MsgAnswer::kOk);

  presenter_->AddActions(
      "form TFormEditFoto\n"
      "click BtnOK\n"
      "message OK \"Die Eingabedaten sind nicht vollständig!\"\n"
      "type eKurzname \"Eiche\"\n"
      "click BtnOK\n");
  presenter_->RunIdle();
  EXPECT_FALSE(photo.Showing());
  EXPECT_TRUE(photo.closed);
  EXPECT_EQ(photo.modal_result, ModalResult::kOk);
  EXPECT_TRUE(presenter_->Failures().empty()) << presenter_->Failures()[0];
  EXPECT_TRUE(presenter_->ModelessForms().empty());
  EXPECT_NE(
      transcript_->Text().find("form TFormEditFoto \"Objektfoto bearbeiten\" (modeless)\n"
                               "  > click BtnOK\n"
                               "message warning OK: Die Eingabedaten sind nicht vollständig!\n"
                               "  answer OK\n"
                               "  > type eKurzname \"Eiche\"\n"
                               "  > click BtnOK\n"
                               "form TFormEditFoto \"Objektfoto bearbeiten\" (modeless)\n"
                               "  result OK\n"),
      std::string::npos)
      << transcript_->Text();
}

// The host loop: records the idle timer the presenter hands to it.
struct IdleLoop {
  static inline KartulSimTimerProc proc = nullptr;
  static inline void* context = nullptr;
  static uint32_t Set(uint32_t, KartulSimTimerProc p, void* c) {
    proc = p;
    context = c;
    return 7;
  }
  static void Kill(uint32_t id) {
    if (id == 7) proc = nullptr;
  }
};

TEST_F(ScriptedTest, IdleTimerLivesInTheHostLoopWhileAModelessFormIsOpen) {
  SetHostTimerFunctions(&IdleLoop::Set, &IdleLoop::Kill);
  Install("form TFormEditFoto\ntype eKurzname \"Linde\"\nclick BtnOK\n");
  Photo photo;
  EXPECT_EQ(IdleLoop::proc, nullptr);
  photo.Show();
  ASSERT_NE(IdleLoop::proc, nullptr);
  IdleLoop::proc(IdleLoop::context);  // the host's loop is idle
  EXPECT_FALSE(photo.Showing());
  EXPECT_EQ(photo.kurz->text, "Linde");
  EXPECT_EQ(IdleLoop::proc, nullptr);  // killed with the last modeless form
  SetHostTimerFunctions(nullptr, nullptr);
}

TEST_F(ScriptedTest, DestroyedModelessFormIsForgotten) {
  Install("");
  {
    Photo photo;
    photo.Show();
    EXPECT_EQ(presenter_->ModelessForms().size(), 1u);
  }
  EXPECT_TRUE(presenter_->ModelessForms().empty());
  presenter_->AddActions("form TFormEditFoto\nclick BtnOK\n");
  presenter_->RunIdle();
  EXPECT_EQ(presenter_->PendingActions(), 2u);
}

}  // namespace
}  // namespace platform::ui
