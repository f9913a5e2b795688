// The check-in run (CheckIn.h): the command line, the store, the package
// check and the log, in that order.
#include "vandrasim/CheckIn.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <map>
#include <set>

#include "platform/env/Path.h"
#include "platform/ini/IniFile.h"
#include "platform/text/Encoding.h"
#include "platform/text/Strings.h"
#include "vandrasim/System.h"

namespace vandrasim {

using platform::env::EnvError;
using platform::env::JoinPath;

namespace {

constexpr std::string_view kSach = "Sachdatenfehler";
constexpr std::string_view kGrafik = "Grafikfehler";
constexpr int kLockWaitMs = 30000;

}  // namespace

ParsedCommandLine ParseCommandLine(const std::vector<std::string>& args) {
  ParsedCommandLine parsed;
  std::map<char, std::string> values;
  bool probe = false;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    // Only the flags this program knows are ever repeated in a message: any
    // other argument may be part of a password split by a caller that
    // quoted nothing, so it is told by its place.
    const bool flag_shape = a.size() == 2 && a[0] == '-';
    if (a == "-l") {
      if (probe && parsed.error.empty()) parsed.error = "Schalter -l doppelt";
      probe = true;
      continue;
    }
    if (flag_shape && std::string_view("suDdnp").find(a[1]) != std::string_view::npos) {
      if (i + 1 >= args.size()) {
        if (parsed.error.empty()) parsed.error = "Schalter " + a + " ohne Wert";
        continue;
      }
      if (values.count(a[1]) && parsed.error.empty()) parsed.error = "Schalter " + a + " doppelt";
      values[a[1]] = args[++i];
      continue;
    }
    if (parsed.error.empty()) {
      parsed.error =
          (flag_shape ? "unbekannter Schalter: Argument Nr. " : "unerwartetes Argument Nr. ") +
          std::to_string(i + 1);
    }
  }
  if (values.count('d')) parsed.folder = values['d'];
  if (values.count('n')) parsed.prefix = values['n'];
  for (char f : std::string_view("suDpdn")) {
    if (!values.count(f) && parsed.error.empty())
      parsed.error = std::string("Schalter -") + f + " fehlt";
  }
  if (!parsed.error.empty()) return parsed;
  CommandLine line;
  line.probe = probe;
  line.server = values['s'];
  line.user = values['u'];
  line.password = values['p'];
  line.database = values['D'];
  line.folder = values['d'];
  line.prefix = values['n'];
  parsed.line = std::move(line);
  return parsed;
}

bool PrefixIsUsable(const std::string& prefix) {
  if (prefix.empty() || prefix == "." || prefix == "..") return false;
  // A separator of either platform would make the log's name a path, and
  // on Windows a colon names a drive or another stream of a file.
  if (platform::env::HoldsAnySeparator(prefix)) return false;
  for (char c : prefix)
    if (c == ':' || static_cast<unsigned char>(c) < 0x20) return false;
  return true;
}

std::string LogText(const std::vector<std::string>& header, const std::vector<Finding>& findings,
                    bool blank_after_sachdaten) {
  size_t sach = 0, grafik = 0;
  std::vector<std::string> lines = header;
  for (const Finding& f : findings) {
    (f.kind == FindingKind::kGrafik ? grafik : sach) += 1;
    lines.push_back(f.text);
  }
  std::string out;
  for (std::string line : lines) {
    for (char& c : line)
      if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) c = '?';
    const std::string_view first = platform::text::TrimLeft(line);
    if (first.substr(0, kSach.size()) == kSach || first.substr(0, kGrafik.size()) == kGrafik)
      line = "  " + line;
    out += platform::text::Utf8ToAnsi(line) + "\r\n";
  }
  out += std::string(kSach) + ": " + std::to_string(sach) + (blank_after_sachdaten ? " " : "") +
         "\r\n";
  out += std::string(kGrafik) + ": " + std::to_string(grafik) + "\r\n";
  return out;
}

// ---- the store ------------------------------------------------------------------

Store::Store(platform::env::Env& env, std::string folder) : env_(env), folder_(std::move(folder)) {}

std::string Store::IniPath() const {
  return JoinPath(folder_, "checkin.ini");
}

bool Store::Reachable() const {
  if (folder_.empty()) return false;
  auto st = env_.Stat(IniPath());
  return st && st->IsRegular();
}

std::optional<std::string> Store::Login(const std::string& user, const std::string& password,
                                        const std::string& database) const {
  platform::ini::IniFile ini(IniPath());
  // The ini file trims what it reads, so a user name is taken trimmed too;
  // a name the file could not hold as a key is no user of it.
  const std::string name(platform::text::Trim(user));
  const bool key_shape = !name.empty() && name.find_first_of("=[]\r\n") == std::string::npos;
  if (!key_shape || !ini.ValueExists("Nutzer", name) ||
      ini.ReadString("Nutzer", name, "") != password) {
    return "Anmeldung: Nutzer \"" + user + "\" unbekannt oder Passwort falsch";
  }
  const std::string db(platform::text::Trim(database));
  if (db.empty() || db.find_first_of("=[]\r\n") != std::string::npos ||
      !ini.ValueExists("Datenbanken", db)) {
    return "Anmeldung: Datenbank \"" + database + "\" ist auf dem Server nicht bekannt";
  }
  return std::nullopt;
}

TestBehaviour Store::Behaviour() const {
  platform::ini::IniFile ini(IniPath());
  const std::string v = platform::text::ToLowerAscii(ini.ReadString("Test", "Verhalten", ""));
  if (v == "keinlog") return TestBehaviour::kNoLog;
  if (v == "absturz") return TestBehaviour::kCrash;
  if (v == "absturznachlog") return TestBehaviour::kCrashAfterLog;
  if (v == "warten") return TestBehaviour::kWait;
  if (v == "leerzeichen") return TestBehaviour::kTrailingBlank;
  if (v == "minuseins") return TestBehaviour::kExitMinusOne;
  return TestBehaviour::kNone;
}

int Store::WaitSeconds() const {
  platform::ini::IniFile ini(IniPath());
  return std::clamp(ini.ReadInteger("Test", "Sekunden", 5), 0, 3600);
}

std::string Store::DatabaseFolder(const std::string& database) const {
  std::string name;
  for (unsigned char c : platform::text::Trim(database)) {
    if (std::isalnum(c) && c < 0x80) {
      name += static_cast<char>(c);
    } else if (c == '-' || c == '_') {
      name += static_cast<char>(c);
    } else {
      char hex[4];
      std::snprintf(hex, sizeof hex, "%%%02X", c);
      name += hex;
    }
  }
  return JoinPath(JoinPath(folder_, "eingecheckt"), name);
}

std::string Store::RecordFile(const std::string& database) const {
  return JoinPath(DatabaseFolder(database), "transaktionen.txt");
}

bool Store::CheckedIn(const std::string& database, int64_t transaktion) const {
  std::string text;
  try {
    text = platform::env::ReadFile(env_, RecordFile(database));
  } catch (const EnvError& e) {
    if (e.Code() == ENOENT) return false;
    throw;
  }
  const std::string wanted = std::to_string(transaktion) + "\t";
  size_t pos = 0;
  while (pos < text.size()) {
    size_t end = text.find('\n', pos);
    if (end == std::string::npos) end = text.size();
    if (text.compare(pos, wanted.size(), wanted) == 0) return true;
    pos = end + 1;
  }
  return false;
}

namespace {

void MakeFolders(platform::env::Env& env, const std::string& folder) {
  if (auto st = env.Stat(folder); st && st->IsFolder()) return;
  const std::string parent = platform::env::FolderOf(folder);
  if (parent != folder && parent != "." && parent != "/") MakeFolders(env, parent);
  try {
    env.CreateFolder(folder);
  } catch (const EnvError& e) {
    if (e.Code() != EEXIST) throw;
  }
}

std::string Clean(const std::string& text) {
  std::string out = text;
  for (char& c : out)
    if (static_cast<unsigned char>(c) < 0x20) c = ' ';
  return out;
}

// The copy being made of a transaction's package, until it is whole.
constexpr std::string_view kCopying = ".kopie";

// A file's path below the package folder, as the store keeps it: its parts
// joined by "/" on every platform, as FilesBelow lists the copy.
std::string Relative(const std::string& package_folder, const std::string& file) {
  const std::optional<std::string> below = platform::env::PortableBelow(package_folder, file);
  return below ? *below : platform::env::NameOf(file);
}

bool IsFolder(platform::env::Env& env, const std::string& path) {
  const std::optional<platform::env::FileStatus> status = env.LinkStatus(path);
  return status && status->IsFolder();
}

// Removes a file, or a folder with all it holds; links are not followed.
void RemoveTree(platform::env::Env& env, const std::string& path) {
  if (!env.LinkStatus(path)) return;
  if (IsFolder(env, path)) {
    for (const std::string& name : env.ListFolder(path)) RemoveTree(env, JoinPath(path, name));
    env.RemoveFolder(path);
  } else {
    env.Remove(path);
  }
}

// A temporary file that a safe replace of `file` left: "<file>.XXXXXX".
bool IsTemporaryOf(const std::string& name, const std::string& file) {
  if (name.size() != file.size() + 7 || name.compare(0, file.size(), file) != 0 ||
      name[file.size()] != '.') {
    return false;
  }
  return std::all_of(name.begin() + static_cast<std::ptrdiff_t>(file.size()) + 1, name.end(),
                     [](char c) { return std::isalnum(static_cast<unsigned char>(c)) != 0; });
}

// The files below a folder, as paths relative to it.
void FilesBelow(platform::env::Env& env, const std::string& folder, const std::string& rel,
                std::set<std::string>& out) {
  for (const std::string& name : env.ListFolder(folder)) {
    const std::string path = JoinPath(folder, name);
    const std::string inner = rel.empty() ? name : rel + "/" + name;
    if (IsFolder(env, path)) {
      FilesBelow(env, path, inner, out);
    } else {
      out.insert(inner);
    }
  }
}

bool SameContent(platform::env::Env& env, const std::string& a, const std::string& b) {
  std::unique_ptr<platform::env::File> fa = env.Open(a, platform::env::OpenMode::kRead);
  std::unique_ptr<platform::env::File> fb = env.Open(b, platform::env::OpenMode::kRead);
  if (fa->Size() != fb->Size()) return false;
  std::string ba(1 << 16, '\0'), bb(1 << 16, '\0');
  for (uint64_t at = 0;;) {
    const size_t na = fa->ReadAt(at, ba.data(), ba.size());
    const size_t nb = fb->ReadAt(at, bb.data(), bb.size());
    if (na != nb || ba.compare(0, na, bb, 0, nb) != 0) return false;
    if (na == 0) return true;
    at += na;
  }
}

std::set<std::string> RecordedTransactions(const std::string& records) {
  std::set<std::string> recorded;
  size_t pos = 0;
  while (pos < records.size()) {
    size_t end = records.find('\n', pos);
    if (end == std::string::npos) end = records.size();
    const std::string line = records.substr(pos, end - pos);
    recorded.insert(line.substr(0, line.find('\t')));
    pos = end + 1;
  }
  return recorded;
}

std::string ReadIfThere(platform::env::Env& env, const std::string& path) {
  try {
    return platform::env::ReadFile(env, path);
  } catch (const EnvError& e) {
    if (e.Code() != ENOENT) throw;
  }
  return {};
}

}  // namespace

bool Store::SamePackage(const std::string& database, int64_t transaktion,
                        const std::string& package_folder,
                        const std::vector<std::string>& files) const {
  const std::string kept = JoinPath(DatabaseFolder(database), std::to_string(transaktion));
  if (!IsFolder(env_, kept)) return false;
  std::set<std::string> stored;
  FilesBelow(env_, kept, "", stored);
  std::set<std::string> given;
  for (const std::string& file : files) {
    const std::string rel = Relative(package_folder, file);
    if (!given.insert(rel).second) continue;
    if (!stored.count(rel) || !SameContent(env_, file, JoinPath(kept, rel))) return false;
  }
  return given == stored;
}

void Store::Tidy() const {
  const std::string root = JoinPath(folder_, "eingecheckt");
  std::vector<std::string> databases;
  try {
    databases = env_.ListFolder(root);
  } catch (const EnvError& e) {
    if (e.Code() == ENOENT) return;
    throw;
  }
  for (const std::string& database : databases) {
    const std::string folder = JoinPath(root, database);
    if (!IsFolder(env_, folder)) continue;
    const std::set<std::string> recorded =
        RecordedTransactions(ReadIfThere(env_, JoinPath(folder, "transaktionen.txt")));
    bool removed = false;
    for (const std::string& entry : env_.ListFolder(folder)) {
      const std::string path = JoinPath(folder, entry);
      const bool digits = !entry.empty() && std::all_of(entry.begin(), entry.end(), [](char c) {
        return c >= '0' && c <= '9';
      });
      const bool copying = entry.size() > kCopying.size() && entry.ends_with(kCopying);
      if (copying || IsTemporaryOf(entry, "transaktionen.txt") ||
          (digits && IsFolder(env_, path) && !recorded.count(entry))) {
        RemoveTree(env_, path);
        removed = true;
      }
    }
    if (removed) env_.SyncFolder(folder);
  }
}

void Store::Record(const std::string& database, int64_t transaktion, const std::string& prefix,
                   const std::string& user, const std::string& package_folder,
                   const std::vector<std::string>& files) const {
  const std::string final_copy = JoinPath(DatabaseFolder(database), std::to_string(transaktion));
  const std::string target = final_copy + std::string(kCopying);
  RemoveTree(env_, target);
  MakeFolders(env_, target);
  std::vector<platform::env::CopyJob> jobs;
  for (const std::string& file : files) {
    const std::string to = JoinPath(target, Relative(package_folder, file));
    MakeFolders(env_, platform::env::FolderOf(to));
    jobs.push_back({file, to});
  }
  const std::vector<std::string> errors = platform::env::CopyFiles(env_, jobs);
  for (size_t i = 0; i < errors.size(); ++i) {
    if (!errors[i].empty()) throw EnvError(EIO, "copy", jobs[i].from + ": " + errors[i]);
  }
  // The copy is whole; only now it takes the transaction's name. A copy of
  // a run cut before its record line is in the way no longer.
  RemoveTree(env_, final_copy);
  env_.Rename(target, final_copy);
  env_.SyncFolder(DatabaseFolder(database));
  std::string records;
  try {
    records = platform::env::ReadFile(env_, RecordFile(database));
  } catch (const EnvError& e) {
    if (e.Code() != ENOENT) throw;
  }
  if (!records.empty() && records.back() != '\n') records += '\n';
  const std::tm now = env_.LocalNow();
  char when[64];
  std::snprintf(when, sizeof when, "%04d-%02d-%02d %02d:%02d:%02d", now.tm_year + 1900,
                now.tm_mon + 1, now.tm_mday, now.tm_hour, now.tm_min, now.tm_sec);
  records +=
      std::to_string(transaktion) + "\t" + Clean(prefix) + "\t" + when + "\t" + Clean(user) + "\n";
  platform::env::ReplaceFile(env_, RecordFile(database), records);
}

std::unique_ptr<platform::env::File> Store::LockRecord() const {
  std::unique_ptr<platform::env::File> lock =
      env_.Open(JoinPath(folder_, "checkin.lock"), platform::env::OpenMode::kTruncate);
  if (!platform::env::LockWithin(env_, *lock, platform::env::LockKind::kExclusive, kLockWaitMs))
    return nullptr;
  return lock;
}

// ---- the run ------------------------------------------------------------------------

namespace {

int WriteLog(platform::env::Env& env, const std::string& path, const std::string& text,
             std::ostream& err) {
  try {
    platform::env::ReplaceFile(env, path, text);
    return 0;
  } catch (const EnvError& e) {
    err << "checkin: Logdatei kann nicht geschrieben werden: " << e.what() << "\n";
    return 1;
  }
}

// Temporary files of the log that a cut run left beside the package.
void RemoveTemporaryLogs(platform::env::Env& env, const std::string& folder,
                         const std::string& log_name, std::ostream& err) {
  try {
    for (const std::string& entry : env.ListFolder(folder)) {
      if (IsTemporaryOf(entry, log_name)) env.Remove(JoinPath(folder, entry));
    }
  } catch (const EnvError& e) {
    err << "checkin: Reste eines früheren Laufs bleiben: " << e.what() << "\n";
  }
}

void TidyStore(const Store& store, std::ostream& err) {
  try {
    std::unique_ptr<platform::env::File> lock = store.LockRecord();
    if (lock) store.Tidy();
  } catch (const EnvError& e) {
    err << "checkin: Reste früherer Läufe im Speicher bleiben: " << e.what() << "\n";
  }
}

}  // namespace

int RunCheckIn(platform::env::Env& env, const std::vector<std::string>& args, std::ostream& err) {
  const ParsedCommandLine parsed = ParseCommandLine(args);
  if (!parsed.line) {
    err << "checkin: " << parsed.error << "\n"
        << "Aufruf: checkin [-l] -s SERVER -u NUTZER -p PASSWORT -D DATENBANK -d ORDNER -n "
           "PRAEFIX\n";
    if (parsed.folder && parsed.prefix && !parsed.folder->empty() &&
        PrefixIsUsable(*parsed.prefix)) {
      WriteLog(env, JoinPath(*parsed.folder, *parsed.prefix + ".log"),
               LogText({"VANDRA Check-In"}, {{FindingKind::kSachdaten, "Aufruf: " + parsed.error}}),
               err);
    }
    return 2;
  }
  CommandLine cl = *parsed.line;
  // Named without a trailing delimiter, but one given is no reason to fail.
  cl.folder = platform::env::WithoutTrailingSeparator(cl.folder);
  if (cl.folder.empty() || !PrefixIsUsable(cl.prefix)) {
    err << "checkin: Ordner oder Präfix kann keine Logdatei benennen\n";
    return 2;
  }
  const PackageNames names{cl.folder, cl.prefix};
  const std::string log = JoinPath(cl.folder, names.LogName());
  RemoveTemporaryLogs(env, cl.folder, names.LogName(), err);
  std::vector<std::string> header = {
      cl.probe ? "VANDRA Check-In (Probelauf)" : "VANDRA Check-In",
      "Paket: " + JoinPath(cl.folder, cl.prefix),
      "Datenbank: " + cl.database + " auf " + cl.server + ", Nutzer: " + cl.user};
  std::vector<Finding> findings;

  const Store store(env, cl.server);
  TestBehaviour behaviour = TestBehaviour::kNone;
  if (!store.Reachable()) {
    findings.push_back({FindingKind::kSachdaten,
                        "Server " + cl.server + ": nicht erreichbar (keine Datei checkin.ini)"});
  } else {
    behaviour = store.Behaviour();
    if (behaviour == TestBehaviour::kCrash) sys::Crash();
    TidyStore(store, err);
    if (std::optional<std::string> refused = store.Login(cl.user, cl.password, cl.database))
      findings.push_back({FindingKind::kSachdaten, *refused});
  }
  auto log_text = [&] {
    return LogText(header, findings, behaviour == TestBehaviour::kTrailingBlank);
  };
  auto exit_code = [&](int code) { return behaviour == TestBehaviour::kExitMinusOne ? -1 : code; };

  if (findings.empty()) {
    PackageReport report = CheckPackage(env, names);
    findings = std::move(report.findings);
    if (report.transaktion) {
      const std::string number = std::to_string(*report.transaktion);
      header.push_back("Transaktion: " + number);
      try {
        std::unique_ptr<platform::env::File> lock = store.LockRecord();
        if (!lock) {
          findings.push_back({FindingKind::kSachdaten,
                              "Server " + cl.server + ": belegt, bitte später erneut versuchen"});
        } else if (store.CheckedIn(cl.database, *report.transaktion)) {
          if (findings.empty() &&
              store.SamePackage(cl.database, *report.transaktion, cl.folder, report.files)) {
            // The same hand-over again, after a run whose end the caller
            // did not see.
            header.push_back("Transaktion " + number +
                             " ist mit diesem Paket bereits in Datenbank " + cl.database +
                             " eingecheckt");
          } else {
            findings.push_back({FindingKind::kSachdaten,
                                "Transaktion " + number +
                                    " wurde bereits eingecheckt und wird nicht erneut angenommen"});
          }
        } else if (!cl.probe && findings.empty()) {
          // The log comes before the record, so that a recorded check-in
          // always has its log; without a log nothing is recorded.
          header.push_back("Transaktion " + number + " wird in Datenbank " + cl.database +
                           " eingecheckt");
          if (behaviour == TestBehaviour::kNoLog) return 0;
          if (WriteLog(env, log, log_text(), err) != 0) return exit_code(1);
          if (behaviour == TestBehaviour::kCrashAfterLog) sys::Crash();
          store.Record(cl.database, *report.transaktion, cl.prefix, cl.user, cl.folder,
                       report.files);
          header.back() = "Transaktion " + number + " eingecheckt in Datenbank " + cl.database;
        }
      } catch (const EnvError& e) {
        findings.push_back(
            {FindingKind::kSachdaten, "Server " + cl.server + ": Transaktion " + number +
                                          " konnte nicht gespeichert werden: " + e.what()});
      }
    }
  }

  if (behaviour == TestBehaviour::kNoLog) return findings.empty() ? 0 : 1;
  if (behaviour == TestBehaviour::kWait) env.SleepFor(std::chrono::seconds(store.WaitSeconds()));
  if (WriteLog(env, log, log_text(), err) != 0) return exit_code(1);
  return exit_code(findings.empty() ? 0 : 1);
}

}  // namespace vandrasim
