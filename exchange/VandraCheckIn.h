// The hand-over of an exported package to the central system's check-in
// program, and the verdict on each run. The export calls StartVandraCheckIn
// as its last step; the check-in dialog (TfrmVandraCheckIn) collects the
// login, the database and the programs, and on "Start" has CheckIn run:
// the probe (-l), and when its log reports no errors, the real run.
//
// The log decides a run that ended by itself: before each run the
// package's old log is removed, so that a program that could not start
// leaves no log and the run counts as failed instead of being judged by an
// earlier log. A program that ended by a signal (crashed, or was killed)
// failed, whatever its log says. While a run goes on the mapper sees it
// (TFormCheckInLaeuft) and may cancel it, which ends the program with its
// process group; a cancelled run failed too. A package that is incomplete
// (a cut export) is told and never handed over.
//
// The arguments go to the program as a real argument vector, so values
// with blanks stay whole and an empty value is an empty argument. The
// password appears only in the program's arguments.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "dialogs/FrmVandraCheckIn.h"
#include "exchange/CheckInLog.h"

namespace VandraCheckIn {

// Offers the check-in of the package in folder D (ending with the path
// delimiter) under prefix P when applicat.ini's VANDRA/AutoCheckIn is above
// 0 (the check-in dialog, shown modally); does nothing otherwise. A registry
// that cannot be read is reported instead of the dialog.
void StartVandraCheckIn(const std::string& D, const std::string& P);

// What the check-in dialog has the rules do. One instance for the life of
// the library.
DialogTools::CheckInActions& Actions();

// The check-in as the dialog's "Start" asks for it: the program's presence,
// the package whole, the probe and its verdict, the question about its log,
// the real run and its verdict, the log shown and its findings offered.
// Answers the dialog's result: OK after a successful real run, Cancel after
// a failed or cancelled run, Abort when the program is missing.
platform::ui::ModalResult CheckIn(const DialogTools::CheckInRequest& request);

// The program's arguments for one run: the probe flag, then server, user,
// password, database, package folder and prefix, each flag and each value
// an argument of its own.
std::vector<std::string> CheckInArguments(const DialogTools::CheckInRequest& request, bool probe);
// The log of the package: prefix + ".log" in the package's folder.
std::string LogFileName(const std::string& Dir, const std::string& Prefix);

// Whether the package's log reports zero attribute and zero geometry
// errors; a missing or unreadable log is told and counts as failure.
bool ProbelaufErfolgreich(const std::string& Dir, const std::string& Prefix);
// Opens the log in the editor, without waiting for it; a missing log or
// editor is told.
void ShowLogFile(const std::string& EditorPath, const std::string& Dir, const std::string& Prefix);

// Whether the log file reports a run without errors; nothing when it cannot
// be found. Reads in blocks and stops as soon as the verdict is settled.
// Throws EnvError when the log exists but cannot be read.
std::optional<bool> ReadCheckInLog(const std::string& path);
// The findings about objects the log names; nothing when it cannot be
// found. `truncated` tells when more were named than kept. Throws EnvError
// when the log exists but cannot be read.
std::optional<std::vector<CheckInLog::Befund>> ReadCheckInBefunde(const std::string& path,
                                                                  bool& truncated);

}  // namespace VandraCheckIn
