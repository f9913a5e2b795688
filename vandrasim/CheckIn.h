// checkin: a stand-in for the central system VANDRA's check-in program.
// The plug-in's check-in dialog starts it twice after an export, first as a
// probe, then for real, and judges each run only from the log it leaves
// next to the package.
//
// Command line (each flag and each value its own argument; a value may be
// empty or hold blanks):
//     checkin [-l] -s SERVER -u USER -p PASSWORD -D DATABASE -d FOLDER -n PREFIX
// -l makes the run a probe. FOLDER is the package folder (no trailing
// delimiter), PREFIX the package prefix.
//
// The server is a store folder:
//     SERVER/checkin.ini
//         [Nutzer]         one key per user: <user>=<password>
//         [Datenbanken]    one key per database: <database>=1 (any value)
//         [Test]           Verhalten=keinlog|absturz|absturznachlog|warten|leerzeichen|minuseins
//                          Sekunden=<n>   (how long "warten" waits; 5 when missing)
//     SERVER/eingecheckt/<database>/transaktionen.txt
//         one line per checked-in package, UTF-8, fields separated by a tab:
//         <transaction> <prefix> <yyyy-mm-dd hh:mm:ss> <user>
//     SERVER/eingecheckt/<database>/<transaction>/
//         a copy of the package's files as they were checked in (its photos
//         in <prefix>_Fotos/)
//     SERVER/checkin.lock
//         taken while a run tidies the store, and while it looks at and
//         writes the record, so two runs at once cannot both check in one
//         transaction
// The ini file follows the Windows profile rules: users and databases are
// found without regard to case, values are trimmed. A database's folder
// name is its name with every character but letters, digits, '-' and '_'
// written as %XX.
//
// Test behaviours ([Test] Verhalten):
//   keinlog         checks as usual but writes no log, and so records nothing
//   absturz         crashes (System.h) before checking anything: no log, nothing recorded
//   absturznachlog  a real run that finds nothing writes its log, then
//                   crashes before it records
//   warten          waits Sekunden seconds before writing the log
//   leerzeichen     ends the line "Sachdatenfehler: N" with a blank
//   minuseins       runs as usual, but ends with exit code -1 whatever it
//                   found (255 on Linux, 0xFFFFFFFF on Windows, where it is
//                   no exception's status): only the log tells how it went
//
// The log, FOLDER/PREFIX.log, is Windows-1252 with CR LF line ends: a few
// header lines, one line per finding, then exactly one line
// "Sachdatenfehler: N" and one "Grafikfehler: N". No other line begins with
// either word. It replaces an earlier log whole (written beside it and
// renamed over it), so a reader never sees half a log. The password goes
// nowhere: not into the log, the store or any message.
//
// Crash contract (a kill at any moment):
//  - A package is recorded only after its log, saying no findings, has
//    been written: every line of transaktionen.txt has had its log. The
//    copy of the package is made in <transaction>.kopie, renamed to
//    <transaction> and then the record line is added (the record file
//    replaced whole), so a record line always has its whole copy.
//  - What a cut run leaves (a .kopie folder, a copy without its record
//    line, temporary files of the record and of the log) is removed when
//    the program next runs on the store and the package.
//  - A package that is recorded is taken again as a success when it comes
//    again unchanged (the same files with the same content as the copy):
//    a hand-over cut after its record but before the caller saw its end
//    can be repeated. A changed package of a recorded transaction is
//    refused.
//
// Exit code: 0 when nothing was found, 1 with findings (or when the log
// could not be written), 2 when the command line is wrong; -1 under the
// test behaviour "minuseins".
#pragma once

#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "platform/env/Env.h"
#include "vandrasim/PackageCheck.h"

namespace vandrasim {

struct CommandLine {
  bool probe = false;
  std::string server;
  std::string user;
  std::string password;
  std::string database;
  std::string folder;
  std::string prefix;
};

struct ParsedCommandLine {
  std::optional<CommandLine> line;  // nothing when the command line is wrong
  std::string error;                // why; never holds a value given
  // The folder and prefix, when given, so that even a wrong command line
  // leaves a log.
  std::optional<std::string> folder;
  std::optional<std::string> prefix;
};

// `args` without the program's name.
ParsedCommandLine ParseCommandLine(const std::vector<std::string>& args);

// Whether a prefix can name the log beside the package: not empty, no path
// delimiter, no control character, not "." or "..".
bool PrefixIsUsable(const std::string& prefix);

// The log's text (Windows-1252, CR LF): the lines, then the two marker
// lines with the counts of the findings. Control characters within a line
// become '?', and a line that would begin with a marker word is indented,
// so nothing a package or a caller holds can forge a line.
std::string LogText(const std::vector<std::string>& header, const std::vector<Finding>& findings,
                    bool blank_after_sachdaten = false);

enum class TestBehaviour {
  kNone,
  kNoLog,
  kCrash,
  kCrashAfterLog,
  kWait,
  kTrailingBlank,
  kExitMinusOne,
};

// The store a SERVER argument names.
class Store {
 public:
  Store(platform::env::Env& env, std::string folder);

  std::string IniPath() const;
  bool Reachable() const;
  // Nothing when the user is known with this password and the database is
  // known; else the finding's text.
  std::optional<std::string> Login(const std::string& user, const std::string& password,
                                   const std::string& database) const;
  TestBehaviour Behaviour() const;
  int WaitSeconds() const;

  std::string DatabaseFolder(const std::string& database) const;
  std::string RecordFile(const std::string& database) const;
  bool CheckedIn(const std::string& database, int64_t transaktion) const;
  // Whether the copy kept for the recorded transaction holds exactly these
  // files (paths under `package_folder`), byte for byte.
  bool SamePackage(const std::string& database, int64_t transaktion,
                   const std::string& package_folder, const std::vector<std::string>& files) const;
  // Copies the files (paths under `package_folder`) into the transaction's
  // folder and then adds the record line, the step that makes the check-in
  // count. Throws EnvError.
  void Record(const std::string& database, int64_t transaktion, const std::string& prefix,
              const std::string& user, const std::string& package_folder,
              const std::vector<std::string>& files) const;
  // Removes what cut runs left in the store: copies being made, copies
  // without a record line, temporary files of the record files. Call with
  // the lock held. Throws EnvError.
  void Tidy() const;
  // The lock on the record, held while the returned file lives; nothing
  // when another run holds it beyond the wait.
  std::unique_ptr<platform::env::File> LockRecord() const;

 private:
  platform::env::Env& env_;
  std::string folder_;
};

// One run of the program: `args` without the program's name; messages for
// the caller go to `err`. Answers the exit code.
int RunCheckIn(platform::env::Env& env, const std::vector<std::string>& args, std::ostream& err);

}  // namespace vandrasim
