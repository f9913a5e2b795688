// The guard of the callbacks: what the work threw comes back whole, its
// text as the mapper reads it, and its box, which nothing escapes.
#include "platform/ui/ErrorGuard.h"

#include <gtest/gtest.h>

#include <new>
#include <stdexcept>

#include "platform/ui/ScriptedPresenter.h"
#include "platform/ui/Transcript.h"
#include "platform/ui/Ui.h"

namespace platform::ui {
namespace {

TEST(ErrorGuard, CaughtHandsBackWhatTheWorkThrewAndNothingWhenItReturns) {
  int ran = 0;
  EXPECT_EQ(Caught([&] { ++ran; }), nullptr);
  EXPECT_EQ(ran, 1);
  const std::exception_ptr error = Caught([] { throw std::out_of_range("Kennung fehlt"); });
  ASSERT_NE(error, nullptr);
  EXPECT_THROW(std::rethrow_exception(error), std::out_of_range) << "its own type, not a copy";
  EXPECT_NE(Caught([] { throw 42; }), nullptr) << "anything thrown";
}

TEST(ErrorGuard, AnErrorsTextIsItsWhatOrAGermanStandIn) {
  EXPECT_EQ(ErrorText(Caught([] { throw std::runtime_error("Datenbank nicht erreichbar"); })),
            "Datenbank nicht erreichbar");
  EXPECT_EQ(ErrorText(Caught([] { throw 42; })), "Unbekannter Fehler im Plug-in.");
  EXPECT_EQ(ErrorText(Caught([] { throw std::bad_alloc(); })),
            "Der Arbeitsspeicher reicht nicht aus. Der Vorgang wurde abgebrochen.");
  EXPECT_EQ(ErrorText(nullptr), "");
}

// A presenter whose boxes fail, as one writing its transcript to a full disk.
class FailingBoxes : public Presenter {
 public:
  MsgAnswer ShowMessage(MsgKind, std::string_view, MsgButtons) override {
    ++boxes;
    throw std::runtime_error("Protokoll nicht schreibbar");
  }
  void RunModal(Form&) override {}
  void ShowModeless(Form&) override {}
  void CloseModeless(Form&) override {}
  std::optional<std::string> ShowFileDialog(const FileDialogRequest&) override { return {}; }
  int boxes = 0;
};

TEST(ErrorGuard, TheErrorIsShownInAnErrorBoxWhoseOwnFailureGoesNoFurther) {
  auto transcript = Transcript::InMemory();
  auto previous =
      SetPresenter(std::make_unique<ScriptedPresenter>("message OK\nmessage OK\n", transcript));
  ShowError(Caught([] { throw std::runtime_error("Tabelle TA_LIST gesperrt"); }));
  ShowError(nullptr);  // no error: no box
  EXPECT_EQ(transcript->Text(), "message error OK: Tabelle TA_LIST gesperrt\n  answer OK\n");

  FailingBoxes failing;
  ShowError(Caught([] { throw 42; }), &failing);
  EXPECT_EQ(failing.boxes, 1) << "the presenter given, not the installed one";
  EXPECT_EQ(transcript->Text(), "message error OK: Tabelle TA_LIST gesperrt\n  answer OK\n");
  SetPresenter(std::move(previous));
}

}  // namespace
}  // namespace platform::ui
