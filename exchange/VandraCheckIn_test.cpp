// The check-in through its dialog: the probe and the real run, their
// verdicts, what the mapper is told and shown. The check-in program here is
// a small shell script that records its arguments and leaves the log the
// test gave it for the probe and for the real run; the editor is a script
// that records the file it was given.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <thread>

#include "dialogs/FrmVandraCheckIn.h"
#include "exchange/VandraCheckIn.h"
#include "host/Tools.h"
#include "platform/process/Process.h"
#include "platform/registry/FileRegistry.h"
#include "platform/registry/Registry.h"
#include "tests/support/ProjectFixture.h"

namespace {

namespace fs = std::filesystem;
using platform::ui::ModalResult;
using Lines = std::vector<std::string>;

class CheckInDialogTest : public testsupport::ProjectFixture {
 protected:
  void SetUp() override {
    ProjectFixture::SetUp();
    package_ = Root() + "/Paket mit Leerzeichen";
    programs_ = Root() + "/programme/";
    fs::create_directories(package_);
    fs::create_directories(programs_);
    program_ = programs_ + "Checkin.exe";
    editor_ = programs_ + "editor";
    Script(program_,
           "printf '%s|' \"$@\" >> calls.txt; echo >> calls.txt\n"
           "log=real.log; [ \"$1\" = -l ] && log=probe.log\n"
           "while [ $# -gt 0 ]; do case $1 in -d) d=$2; shift;; -n) n=$2; shift;; esac; shift; "
           "done\n"
           "[ -f $log ] && cp $log \"$d/$n.log\"\n"
           "exit 0\n");
    Script(editor_, "printf '%s\\n' \"$1\" >> shown.txt\n");
  }

  void Script(const std::string& path, const std::string& body) {
    std::ofstream(path) << "#!/bin/sh\ncd \"$(dirname \"$0\")\"\n" << body;
    fs::permissions(path, fs::perms::owner_all);
  }
  // What the program leaves as the log of the probe and of the real run;
  // nothing given: no log at all.
  void Logs(const std::string& probe, const std::string& real) {
    if (!probe.empty()) std::ofstream(programs_ + "probe.log") << probe;
    if (!real.empty()) std::ofstream(programs_ + "real.log") << real;
  }
  Lines FileLines(const std::string& path) {
    Lines lines;
    std::ifstream in(path);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
  }
  Lines Calls() { return FileLines(programs_ + "calls.txt"); }
  // The editor runs on its own; its calls are read once it has recorded
  // as many as expected (or after a generous wait, to fail then).
  Lines EditorCalls(size_t expected) {
    const std::string path = programs_ + "shown.txt";
    for (int i = 0; i < 500 && FileLines(path).size() < expected; ++i) {
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return FileLines(path);
  }
  std::string LogPath() const { return package_ + "/VANDRA.log"; }

  std::unique_ptr<TfrmVandraCheckIn> Dialog() {
    auto form = std::make_unique<TfrmVandraCheckIn>(VandraCheckIn::Actions());
    form->strExportDir = package_;
    form->strFileNamePrefix = "VANDRA";
    form->InitControls();
    return form;
  }
  // The dialog filled as the mapper would, then Start.
  ModalResult Start(const std::string& answers, bool store = false) {
    auto form = Dialog();
    form->EditUserName.Type("Karla Kartiererin");
    form->EditPassword.Type("geheim mit Blank");
    form->EditDBServer.Type("vandra-db");
    form->EditDatabase.Type("");
    form->editProgrammpfad.Type(program_);
    form->EditEditorPath.Type(editor_);
    if (store != form->cbStoreLogin.checked) form->cbStoreLogin.Toggle();
    Answer(answers);
    form->btnStart.Click();
    return form->modal_result;
  }
  std::string Stored(std::string_view ident) {
    return platform::registry::RegIniFile("Vandra",
                                          platform::registry::RegIniFile::Access::kReadOnly)
        .ReadString("AutoCheckIn", ident, "<fehlt>");
  }

  std::string package_;
  std::string programs_;
  std::string program_;
  std::string editor_;
};

const char* kClean = "Prüfung\r\nSachdatenfehler: 0\r\nGrafikfehler: 0\r\n";
const char* kFindings = "Objekt DE-1: fehlt\r\nSachdatenfehler: 1\r\nGrafikfehler: 0\r\n";

TEST_F(CheckInDialogTest, ProbeThenRealRunWithTheArgumentsWholeAndTheLogShown) {
  Logs(kClean, kClean);
  EXPECT_EQ(Start("message Yes \"Probe-Checkin erfolgreich durchgeführt! Logdate ansehen?\"\n"
                  "message OK \"Scharfen Checkin starten\"\n"
                  "message Yes \"Checkin erfolgreich durchgeführt! Logdatei ansehen?\"\n"),
            ModalResult::kOk);
  const std::string tail =
      "-s|vandra-db|-u|Karla Kartiererin|-p|geheim mit Blank|-D||-d|" + package_ + "|-n|VANDRA|";
  EXPECT_EQ(Calls(), (Lines{"-l|" + tail, tail}));
  EXPECT_EQ(EditorCalls(2), (Lines{LogPath(), LogPath()}));
  EXPECT_EQ(Messages(), (Lines{"Probe-Checkin erfolgreich durchgeführt! Logdate ansehen?",
                               "Scharfen Checkin starten",
                               "Checkin erfolgreich durchgeführt! Logdatei ansehen?"}));
}

TEST_F(CheckInDialogTest, AFailedProbeNeverStartsTheRealRun) {
  Logs(kFindings, kClean);
  EXPECT_EQ(Start("message OK \"Der Probe-Checkin war nicht erfolgreich!\"\n"),
            ModalResult::kCancel);
  EXPECT_EQ(Calls().size(), 1u);
  EXPECT_EQ(EditorCalls(1), Lines{LogPath()});
}

TEST_F(CheckInDialogTest, AFailedRealRunIsReportedAsTheProbeIs) {
  Logs(kClean, kFindings);
  EXPECT_EQ(Start("message No\nmessage OK \"Der Probe-Checkin war nicht erfolgreich!\"\n"),
            ModalResult::kCancel);
  EXPECT_EQ(Calls().size(), 2u);
  EXPECT_EQ(EditorCalls(1), Lines{LogPath()});
}

TEST_F(CheckInDialogTest, ARunWithoutALogFailsEvenWhenAnEarlierLogSaidNoErrors) {
  std::ofstream(LogPath()) << kClean;
  const std::string missing = "Die Logdatei " + LogPath() + " konnte nicht gefunden werden!";
  EXPECT_EQ(Start("message OK \"" + missing + "\"\n" +
                  "message OK \"Der Probe-Checkin war nicht erfolgreich!\"\n" + "message OK \"" +
                  missing + "\"\n"),
            ModalResult::kCancel);
  EXPECT_FALSE(fs::exists(LogPath()));
  EXPECT_TRUE(EditorCalls(0).empty());
}

TEST_F(CheckInDialogTest, ACrashedRunFailsWhateverItsLogSays) {
  Logs(kClean, kClean);
  Script(program_,
         "log=real.log; [ \"$1\" = -l ] && log=probe.log\n"
         "while [ $# -gt 0 ]; do case $1 in -d) d=$2; shift;; -n) n=$2; shift;; esac; shift; "
         "done\n"
         "cp $log \"$d/$n.log\"\n"
         "[ $log = real.log ] && kill -SEGV $$\n"
         "exit 0\n");
  EXPECT_EQ(Start("message No\n"
                  "message OK \"Das Programm " +
                  program_ +
                  " ist abgestürzt (Signal 11). Der Lauf gilt als nicht erfolgreich, was auch "
                  "immer seine Logdatei meldet.\"\n"
                  "message OK \"Der Probe-Checkin war nicht erfolgreich!\"\n"),
            ModalResult::kCancel);
  EXPECT_EQ(EditorCalls(1), Lines{LogPath()}) << "the clean log is shown all the same";
}

TEST_F(CheckInDialogTest, AHangingRunIsShownAndEndedWhenTheMapperCancels) {
  Script(program_, "echo $$ > pid.txt\nsleep 600\n");
  const auto started = std::chrono::steady_clock::now();
  EXPECT_EQ(Start("form TFormCheckInLaeuft\nwait 300\nclick btnAbbrechen\n"
                  "message OK \"Der Probe-Checkin wurde abgebrochen: das Programm " +
                  program_ + " wurde beendet.\"\n"),
            ModalResult::kCancel);
  EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(30));
  // The program's process is gone, and no real run followed.
  pid_t pid = 0;
  std::ifstream(programs_ + "pid.txt") >> pid;
  ASSERT_GT(pid, 0);
  std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
  std::string line;
  EXPECT_TRUE(!std::getline(stat, line) || line.find(") Z ") != std::string::npos) << line;
  EXPECT_FALSE(fs::exists(LogPath()));
}

// A scripted run whose program hangs and whose script never answers the
// wait dialog: the run fails once the presenter's limit has passed, naming
// the dialog, and the program is ended with the helper it started.
TEST_F(CheckInDialogTest, AHangingRunNobodyAnswersFailsAtTheWaitLimitAndIsEnded) {
  Script(program_, "sleep 600 &\necho $$ $! > pids.txt\nwait\n");
  presenter_->SetWaitLimit(std::chrono::seconds(1));
  const auto started = std::chrono::steady_clock::now();
  EXPECT_EQ(Start("message OK \"Der Probe-Checkin wurde abgebrochen: das Programm " + program_ +
                  " wurde beendet.\"\n"),
            ModalResult::kCancel);
  EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(30));
  ASSERT_EQ(presenter_->Failures().size(), 1u);
  EXPECT_EQ(presenter_->Failures()[0],
            "form TFormCheckInLaeuft \"VANDRA Check-In läuft\" did not close by itself within "
            "1 s [next answer, line 1: message OK \"Der Probe-Checkin wurde abgebrochen: das "
            "Programm " +
                program_ + " wurde beendet.\"]");
  pid_t program = 0, helper = 0;
  std::ifstream(programs_ + "pids.txt") >> program >> helper;
  ASSERT_GT(helper, 0);
  // Gone, or a zombie of init's for the moment a kill takes.
  for (const pid_t pid : {program, helper}) {
    bool gone = false;
    for (int i = 0; i < 500 && !gone; ++i) {
      std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
      std::string line;
      gone = !std::getline(stat, line) || line.find(") Z ") != std::string::npos;
      if (!gone) std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    EXPECT_TRUE(gone) << pid << " still runs";
  }
  ClearShown();  // the failure was the point
}

TEST_F(CheckInDialogTest, AnIncompletePackageIsNeverHandedOver) {
  std::ofstream(package_ + "/VANDRA_rp.txt") << "Geänderte Objekte (0)\r\n";
  EXPECT_EQ(Start("message OK \"Im Ordner " + package_ +
                  " liegt ein unvollständiges Paket \\\"VANDRA\\\": die Datei VANDRA.tid "
                  "fehlt, die ein Paket als letzte bekommt (VANDRA_rp.txt ist da).\\rEs wird "
                  "nicht eingecheckt; ein neuer Export ersetzt es.\"\n"),
            ModalResult::kCancel);
  EXPECT_TRUE(Calls().empty());
  // With its .tid the package is whole.
  std::ofstream(package_ + "/VANDRA.tid") << "[Transaktionsdaten]\r\nTransaktion=1\r\n";
  Logs(kFindings, "");
  EXPECT_EQ(Start("message OK \"Der Probe-Checkin war nicht erfolgreich!\"\n"),
            ModalResult::kCancel);
  EXPECT_EQ(Calls().size(), 1u);
}

TEST_F(CheckInDialogTest, AMissingProgramAbortsAfterTheSettingsAreStored) {
  program_ = programs_ + "fehlt/Checkin.exe";
  EXPECT_EQ(
      Start("message OK \"Das Programm " + program_ + " konnte nicht gefunden werden!\"\n", true),
      ModalResult::kAbort);
  EXPECT_EQ(Stored("StoreLoginParams"), "1");
  EXPECT_EQ(Stored("UserName"), "Karla Kartiererin");
  EXPECT_EQ(Stored("Password"), "geheim mit Blank");
  EXPECT_EQ(Stored("DBServer"), "vandra-db");
  EXPECT_EQ(Stored("Datenbank"), "");
  EXPECT_EQ(Stored("ProgramPath"), program_);
  EXPECT_EQ(Stored("EditorPath"), editor_);
  // The password lies in a file only its owner may read.
  struct stat st {};
  ASSERT_EQ(stat(platform::registry::RegistryFilePath().c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0600u);

  // The next dialog proposes what was stored.
  auto form = Dialog();
  EXPECT_TRUE(form->cbStoreLogin.checked);
  EXPECT_EQ(form->EditUserName.text, "Karla Kartiererin");
  EXPECT_EQ(form->EditPassword.text, "geheim mit Blank");
  EXPECT_EQ(form->editProgrammpfad.text, program_);
  EXPECT_EQ(form->EditImportDir.text, package_);
  EXPECT_EQ(form->EditTransaktionsname.text, "VANDRA");
}

TEST_F(CheckInDialogTest, WithoutStoringTheLoginIsForgottenAndTheLogonNameProposed) {
  program_ = programs_ + "fehlt";
  Start("message OK\n", true);
  Start("message OK\n", false);
  EXPECT_EQ(Stored("StoreLoginParams"), "0");
  EXPECT_EQ(Stored("UserName"), "");
  EXPECT_EQ(Stored("Password"), "");
  auto form = Dialog();
  EXPECT_FALSE(form->cbStoreLogin.checked);
  EXPECT_EQ(form->EditUserName.text, Tools::GetCurrentUserName());
  EXPECT_EQ(form->EditPassword.text, "");
}

TEST_F(CheckInDialogTest, AMissingEditorIsNamed) {
  Logs(kFindings, "");
  editor_ = programs_ + "kein Editor";
  EXPECT_EQ(Start("message OK \"Der Probe-Checkin war nicht erfolgreich!\"\n"
                  "message OK \"Der Editor " +
                  editor_ + " konnte nicht gefunden werden!\"\n"),
            ModalResult::kCancel);
}

TEST_F(CheckInDialogTest, ChoosersFilterForTheirFilesAndTakeTheChoice) {
  auto form = Dialog();
  Answer("file \"" + program_ + "\"\nfile cancel\n");
  form->btnSetProgramDir.Click();
  form->BtnSetEditorName.Click();
  EXPECT_EQ(form->editProgrammpfad.text, program_);
  EXPECT_EQ(form->EditEditorPath.text, "");
  const std::string shown = Shown();
  EXPECT_NE(shown.find("Checkin.exe|Checkin.exe"), std::string::npos) << shown;
  EXPECT_NE(shown.find("Ausführbare Dateien (*.exe)|*.exe"), std::string::npos) << shown;
}

TEST_F(CheckInDialogTest, TheTypedPasswordStaysOutOfTheTranscript) {
  Logs(kFindings, "");
  Answer(
      "form TfrmVandraCheckIn\n"
      "type EditPassword \"Tür zu 7\"\n"
      "type editProgrammpfad \"" +
      program_ +
      "\"\n"
      "click btnStart\n"
      "message OK\nmessage OK\n");
  VandraCheckIn::StartVandraCheckIn(package_ + "/", "VANDRA");  // switched off: nothing
  SetApplicatIni("VANDRA", "AutoCheckIn", "1");
  VandraCheckIn::StartVandraCheckIn(package_ + "/", "VANDRA");
  EXPECT_EQ(Shown().find("Tür zu"), std::string::npos) << Shown();
  EXPECT_NE(Shown().find("type EditPassword \"********\""), std::string::npos) << Shown();
  ASSERT_EQ(Calls().size(), 1u);
  EXPECT_NE(Calls()[0].find("|-p|Tür zu 7|"), std::string::npos);
  EXPECT_NE(Calls()[0].find("|-d|" + package_ + "|"), std::string::npos);
}

TEST_F(CheckInDialogTest, ALogLargerThanABlockIsReadToItsMarkers) {
  // One line of several megabytes, the markers after it.
  {
    std::ofstream out(LogPath(), std::ios::binary);
    out << std::string(3 << 20, 'x') << "\r\nSachdatenfehler: 0\r\nGrafikfehler: 0\r\n";
  }
  EXPECT_EQ(VandraCheckIn::ReadCheckInLog(LogPath()), std::optional<bool>(true));
  EXPECT_EQ(VandraCheckIn::ReadCheckInLog(package_ + "/fehlt.log"), std::nullopt);
}

TEST_F(CheckInDialogTest, WhenAskedForTheObjectsOfTheFindingsAreOfferedForSelection) {
  const int32_t a = MakeObject("FFH", "DE-4509-301");
  const int32_t b = MakeObject("NSG", "NSG-0815");
  const std::string log =
      "Objekt DE-4509-301: fehlt in den Geodaten\r\nObjekt NSG-0815: gelöscht\r\n"
      "Objekt DE-9999: unbekannt\r\nSachdatenfehler: 1\r\nGrafikfehler: 2\r\n";
  Logs(log, "");
  editor_ = "";
  // Not asked for: nothing more than the failure.
  Start("message OK \"Der Probe-Checkin war nicht erfolgreich!\"\nmessage OK\n");
  ExpectAllAnswered();
  EXPECT_EQ(Shown().find("TFormCheckInBefunde"), std::string::npos);

  SetApplicatIni("VANDRA", "CheckInBefunde", "1");
  ClearShown();
  Start(
      "message OK \"Der Probe-Checkin war nicht erfolgreich!\"\nmessage OK\n"
      "form TFormCheckInBefunde\nclick BtnSelektieren\n"
      "message OK \"Diese Objekte des Protokolls gibt es im Projekt nicht:\\rDE-9999\"\n");
  EXPECT_NE(Shown().find("\"DE-4509-301: fehlt in den Geodaten\""), std::string::npos) << Shown();
  EXPECT_EQ(host().Selection(), (std::vector<int32_t>{a, b}));

  // One finding chosen: only its object.
  Start(
      "message OK \"Der Probe-Checkin war nicht erfolgreich!\"\nmessage OK\n"
      "form TFormCheckInBefunde\nselect lbBefunde #1\nclick BtnSelektieren\n");
  EXPECT_EQ(host().Selection(), (std::vector<int32_t>{b}));
}

// The check-in on a platform whose programs are started by a service of its
// own: a program that leaves a clean log and ends after a few looks, or
// never ends at all.
class PlatformProcesses : public platform::process::Processes {
 public:
  using RunningProgram = platform::process::RunningProgram;

  class Program : public RunningProgram {
   public:
    Program(PlatformProcesses& owner, int looks) : owner_(owner), looks_(looks) {}
    bool Ended() override {
      if (!ending_ && looks_ >= 0 && --looks_ < 0) ending_ = Ending{false, 0};
      return ending_.has_value();
    }
    const std::optional<Ending>& HowEnded() const override { return ending_; }
    void Stop(int) override {
      owner_.calls.push_back("stop");
      ending_ = Ending{true, 15};
    }

   private:
    PlatformProcesses& owner_;
    int looks_;  // below 0: runs until stopped
    std::optional<Ending> ending_;
  };

  PlatformProcesses(std::string log, int looks) : log_(std::move(log)), looks_(looks) {}

  bool ExecAndWait(const std::string& program, const std::vector<std::string>&) override {
    calls.push_back("wait " + program);
    return true;
  }
  std::unique_ptr<RunningProgram> Start(const std::string& program,
                                        const std::vector<std::string>& args) override {
    std::string call = "watch " + program;
    for (const std::string& arg : args) call += "|" + arg;
    calls.push_back(call);
    std::ofstream(log_) << kClean;
    return std::make_unique<Program>(*this, looks_);
  }
  bool Exec(const std::string& program, const std::vector<std::string>& args) override {
    calls.push_back("show " + program + "|" + (args.empty() ? "" : args[0]));
    return true;
  }
  std::string CurrentUserName() override { return "kartiererin"; }
  std::string HomeFolder() override { return "/home/kartiererin"; }

  std::vector<std::string> calls;

 private:
  std::string log_;
  int looks_;
};

TEST_F(CheckInDialogTest, TheRunsTheirWaitAndTheEditorGoThroughThePlatformsProcesses) {
  PlatformProcesses platform(LogPath(), 3);
  platform::process::ScopedProcesses scoped(platform);
  EXPECT_EQ(Start("message Yes \"Probe-Checkin erfolgreich durchgeführt! Logdate ansehen?\"\n"
                  "message OK \"Scharfen Checkin starten\"\n"
                  "message Yes \"Checkin erfolgreich durchgeführt! Logdatei ansehen?\"\n"),
            ModalResult::kOk);
  ExpectAllAnswered();
  const std::string tail =
      "|-s|vandra-db|-u|Karla Kartiererin|-p|geheim mit Blank|-D||-d|" + package_ + "|-n|VANDRA";
  EXPECT_EQ(platform.calls,
            (Lines{"watch " + program_ + "|-l" + tail, "show " + editor_ + "|" + LogPath(),
                   "watch " + program_ + tail, "show " + editor_ + "|" + LogPath()}));
  EXPECT_TRUE(Calls().empty()) << "the script itself never ran";
  EXPECT_EQ(Dialog()->EditUserName.text, "kartiererin") << "the platform's logon name proposed";
}

TEST_F(CheckInDialogTest, ARunThePlatformCannotEndByItselfIsStoppedThroughIt) {
  PlatformProcesses platform(LogPath(), -1);
  platform::process::ScopedProcesses scoped(platform);
  EXPECT_EQ(Start("form TFormCheckInLaeuft\nclick btnAbbrechen\n"
                  "message OK \"Der Probe-Checkin wurde abgebrochen: das Programm " +
                  program_ + " wurde beendet.\"\n"),
            ModalResult::kCancel);
  ExpectAllAnswered();
  ASSERT_EQ(platform.calls.size(), 2u);
  EXPECT_EQ(platform.calls[1], "stop");
}

}  // namespace
