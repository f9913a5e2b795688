#include "platform/ui/TerminalPresenter.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <fcntl.h>

#include <functional>

namespace platform::ui {
namespace {

// Feeds the presenter's input through a pipe and collects its output.
class TerminalTest : public ::testing::Test {
 protected:
  void SetUp() override {
    SetHostTimerFunctions(nullptr, nullptr);
    ASSERT_EQ(pipe(in_), 0);
    ASSERT_EQ(pipe(out_), 0);
    fcntl(out_[0], F_SETFL, O_NONBLOCK);
    transcript_ = Transcript::InMemory();
    presenter_ = std::make_unique<TerminalPresenter>(in_[0], out_[1], transcript_);
  }
  void TearDown() override {
    for (int fd : {in_[0], in_[1], out_[0], out_[1]}) close(fd);
  }
  void Type(const std::string& text, bool end = true) {
    ASSERT_EQ(write(in_[1], text.data(), text.size()), static_cast<ssize_t>(text.size()));
    if (end) {
      close(in_[1]);
      in_[1] = open("/dev/null", O_RDONLY);
    }
  }
  std::string Output() {
    std::string out;
    char buffer[4096];
    ssize_t n;
    while ((n = read(out_[0], buffer, sizeof buffer)) > 0)
      out.append(buffer, static_cast<size_t>(n));
    return out;
  }
  int in_[2];
  int out_[2];
  std::shared_ptr<Transcript> transcript_;
  std::unique_ptr<TerminalPresenter> presenter_;
};

// A form that watches work: its label counts the idle calls, and it closes
// itself after `rounds` of them.
class Counting : public Form {
 public:
  explicit Counting(int rounds) : Form("TFormArbeit", "Arbeit läuft") {
    Label& stand = Add<Label>("lblStand", "Runde 0");
    Add<Button>("btnAbbrechen", "Abbrechen", ModalResult::kCancel).is_cancel = true;
    idle_interval_ms = 1;
    on_idle = [this, &stand, rounds] {
      stand.caption = "Runde " + std::to_string(++idles);
      if (idles >= rounds) Close(ModalResult::kOk);
    };
  }
  int idles = 0;
};

TEST_F(TerminalTest, AFormWatchingWorkShowsItsProgressAndClosesItself) {
  // Shown as the plug-in shows it, through the installed presenter.
  auto show = [this](Form& form) {
    std::unique_ptr<Presenter> previous = SetPresenter(std::move(presenter_));
    const ModalResult result = form.ShowModal();
    presenter_.reset(static_cast<TerminalPresenter*>(SetPresenter(std::move(previous)).release()));
    return result;
  };
  Counting form(3);
  EXPECT_EQ(show(form), ModalResult::kOk);  // no input comes
  const std::string out = Output();
  EXPECT_NE(out.find("lblStand                 Runde 0"), std::string::npos) << out;
  EXPECT_NE(out.find("\r1  lblStand                 Runde 2\n"), std::string::npos) << out;
  EXPECT_EQ(out.find("no input"), std::string::npos) << out;

  // The mapper cancels while it works.
  Type("esc\n", false);
  Counting long_work(1000000);
  EXPECT_EQ(show(long_work), ModalResult::kCancel);
  // And when the input ends, it is cancelled as any form is.
  Type("");
  Counting orphan(1000000);
  EXPECT_EQ(show(orphan), ModalResult::kCancel);
}

TEST_F(TerminalTest, MessageBoxAnswersFromShortForms) {
  Type("vielleicht\nj\n\nn\n");
  EXPECT_EQ(
      presenter_->ShowMessage(MsgKind::kConfirmation, "Logdatei ansehen?", MsgButtons::kYesNo),
      MsgAnswer::kYes);
  EXPECT_EQ(presenter_->ShowMessage(MsgKind::kConfirmation, "Noch einmal?", MsgButtons::kYesNo),
            MsgAnswer::kYes);  // Enter: the first button
  EXPECT_EQ(presenter_->ShowMessage(MsgKind::kWarning, "Nein geht nicht", MsgButtons::kOk),
            MsgAnswer::kOk);
  // Input ended: the safest answer.
  EXPECT_EQ(presenter_->ShowMessage(MsgKind::kConfirmation, "Ende?", MsgButtons::kYesNo),
            MsgAnswer::kNo);
  std::string out = Output();
  EXPECT_NE(out.find("+-- Bestätigen"), std::string::npos);
  EXPECT_NE(out.find("| Logdatei ansehen?"), std::string::npos);
  EXPECT_NE(out.find("choose one of: [Yes] [No]"), std::string::npos);
  EXPECT_NE(transcript_->Text().find("message warning OK: Nein geht nicht\n  answer OK\n"),
            std::string::npos);
}

// A host that holds the terminal while its loop runs, and keeps what was
// written before it was first asked for it.
class TerminalLoop : public HostTimers {
 public:
  explicit TerminalLoop(std::function<std::string()> written) : written_(std::move(written)) {}
  bool RunsTimers() override { return false; }
  uint32_t SetTimer(uint32_t, KartulSimTimerProc, void*) override { return 0; }
  void KillTimer(uint32_t) override {}
  void ClaimTerminal() override {
    if (claims++ == 0) unasked = written_();
  }

  std::string unasked;
  int claims = 0;

 private:
  std::function<std::string()> written_;
};

TEST_F(TerminalTest, TheTerminalIsClaimedFromTheHostBeforeAnythingIsWritten) {
  TerminalLoop host([this] { return Output(); });
  ScopedHostTimers scoped(host);
  Type("j\n");
  presenter_->ShowMessage(MsgKind::kConfirmation, "Logdatei ansehen?", MsgButtons::kYesNo);
  EXPECT_GE(host.claims, 1);
  EXPECT_EQ(host.unasked, "");
  EXPECT_NE(Output().find("Logdatei ansehen?"), std::string::npos);
}

TEST_F(TerminalTest, MessageBoxBreaksItsTextAtEveryKindOfLineEnd) {
  Type("\n");
  presenter_->ShowMessage(MsgKind::kConfirmation, "eins \rzwei\r\rdrei\r\nvier\nfünf",
                          MsgButtons::kYesNo);
  EXPECT_NE(Output().find("| eins \n| zwei\n| \n| drei\n| vier\n| fünf\n+--"), std::string::npos);
}

class Gk : public Form {
 public:
  Gk() : Form("TFormGetGKStreifen", "GK-Streifen ") {
    group = &Add<RadioGroup>("RadioGroup1", " Gauß-Krüger-Streifen des Projekts ");
    group->items = {"Gauß-Krüger 2er Streifen", "Gauß-Krüger 3erStreifen"};
    group->item_index = 0;
    name = &Add<Edit>("EditName");
    auto& ok = Add<Button>("BitBtn1", "OK", ModalResult::kOk);
    ok.is_default = true;
  }
  RadioGroup* group;
  Edit* name;
};

TEST_F(TerminalTest, FormShortFormsAndEnterForTheDefaultButton) {
  Type("1 2\n2 =  zwei Worte\n9\nclick Nothing\n\n");
  Gk form;
  // RunModal as ShowModal would, without installing the presenter.
  presenter_->RunModal(form);
  EXPECT_EQ(form.modal_result, ModalResult::kOk);
  EXPECT_EQ(form.group->item_index, 1);
  EXPECT_EQ(form.name->text, " zwei Worte");
  std::string out = Output();
  EXPECT_NE(out.find("+== GK-Streifen   [TFormGetGKStreifen]"), std::string::npos);
  EXPECT_NE(out.find("(*) 2) Gauß-Krüger 3erStreifen"), std::string::npos);
  EXPECT_NE(out.find("! no control 9"), std::string::npos);
  EXPECT_NE(out.find("! form TFormGetGKStreifen has no control Nothing"), std::string::npos);
  EXPECT_NE(
      transcript_->Text().find("  > select RadioGroup1 #1\n  > type EditName \" zwei Worte\"\n"
                               "  > click BitBtn1\n  result OK\n"),
      std::string::npos)
      << transcript_->Text();
}

TEST_F(TerminalTest, APasswordTypedEitherWayIsMaskedOnScreenAndInTheTranscript) {
  Type("2 = Tür zu\ntype Kennwort \"noch geheimer\"\n\n");
  Gk form;
  form.name->password = true;
  Edit& other = form.Add<Edit>("Kennwort");
  other.password = true;
  presenter_->RunModal(form);
  EXPECT_EQ(form.name->text, "Tür zu");
  EXPECT_EQ(other.text, "noch geheimer");
  const std::string shown = transcript_->Text() + Output();
  EXPECT_EQ(shown.find("Tür"), std::string::npos) << shown;
  EXPECT_EQ(shown.find("geheim"), std::string::npos) << shown;
  EXPECT_NE(shown.find("> type EditName \"******\""), std::string::npos) << shown;
  EXPECT_NE(shown.find("> type Kennwort \"*************\""), std::string::npos) << shown;
}

TEST_F(TerminalTest, FormClosesWithCancelWhenTheInputEnds) {
  Type("1 1\n");
  Gk form;
  TerminalPresenter* raw = presenter_.get();
  auto previous = SetPresenter(std::move(presenter_));
  EXPECT_EQ(form.ShowModal(), ModalResult::kCancel);
  EXPECT_EQ(form.group->item_index, 0);
  presenter_.reset(static_cast<TerminalPresenter*>(SetPresenter(std::move(previous)).release()));
  EXPECT_EQ(presenter_.get(), raw);
}

TEST_F(TerminalTest, APictureShowsItsSizeAndPreviewOrWhyThereIsNone) {
  Type("");
  Form form("TFormEditFoto", "Objektfoto bearbeiten");
  Picture& image = form.Add<Picture>("Image1");
  Picture& other = form.Add<Picture>("Image2");
  image.file = "a.jpg";
  image.width = 800;
  image.height = 200;
  image.preview_width = 4;
  image.preview_height = 1;
  image.preview = {0, 100, 200, 255};
  other.error = "Die Bilddatei \"b.jpg\" ist leer.";
  presenter_->RunModal(form);
  const std::string out = Output();
  EXPECT_NE(out.find("picture 800x200 a.jpg\n"), std::string::npos) << out;
  EXPECT_NE(out.find("|@*: |\n"), std::string::npos) << "dark to light: " << out;
  EXPECT_NE(out.find("(no picture: Die Bilddatei \"b.jpg\" ist leer.)"), std::string::npos) << out;
}

TEST_F(TerminalTest, FileDialogJoinsTheFolderAndAddsTheExtension) {
  Type("bericht\n\ncancel\n");
  FileDialogRequest save{
      FileDialogRequest::Kind::kSave, "", "Textdateien (*.txt)|*.txt", "/tmp", "alt.txt", "txt"};
  EXPECT_EQ(presenter_->ShowFileDialog(save), "/tmp/bericht.txt");
  EXPECT_EQ(presenter_->ShowFileDialog(save), "/tmp/alt.txt");
  EXPECT_EQ(presenter_->ShowFileDialog(save), std::nullopt);
  EXPECT_EQ(presenter_->ShowFileDialog(save), std::nullopt);  // input ended
}

// A preview of two pages, turned by its default button, as the report's is.
class TwoPages : public Form {
 public:
  TwoPages()
      : Form("TFormPages", "Seitenansicht"),
        preview(Add<PagePreview>("Preview")),
        next(Add<Button>("BtnNextPage", "Nächste Seite >", ModalResult::kNone)),
        close(Add<Button>("BtnClose", "Schließen", ModalResult::kOk)) {
    next.is_default = true;
    next.on_click = [this] { Turn(2); };
    Turn(1);
  }
  void Turn(int page) {
    preview.page = page;
    preview.page_count = 2;
    preview.lines = {"Prüfbericht", "", "Seite " + std::to_string(page), ""};
    next.enabled = page < 2;
  }
  PagePreview& preview;
  Button& next;
  Button& close;
};

TEST_F(TerminalTest, APreviewShowsItsPageFramedAndAgainAfterTurning) {
  TwoPages form;
  Type("\n3\n");  // Enter: the next page; then the close button
  presenter_->RunModal(form);
  EXPECT_EQ(form.modal_result, ModalResult::kOk);
  const std::string out = Output();
  EXPECT_NE(out.find("Preview                  page 1 of 2\n"
                     "    +-------------+\n"
                     "    | Prüfbericht |\n"
                     "    |             |\n"
                     "    | Seite 1     |\n"),
            std::string::npos)
      << out;
  EXPECT_NE(out.find("page 2 of 2\n"), std::string::npos) << out;
  EXPECT_NE(out.find("    | Seite 2     |\n"), std::string::npos) << out;
  // The transcript holds the page's lines that carry text, by line number.
  const std::string& shown = transcript_->Text();
  EXPECT_NE(shown.find("  Preview page 1 of 2\n    1 \"Prüfbericht\"\n    3 \"Seite 1\"\n"),
            std::string::npos)
      << shown;
}

}  // namespace
}  // namespace platform::ui
