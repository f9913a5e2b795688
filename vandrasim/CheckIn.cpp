// The check-in run (CheckIn.h): the command line, the store, the package
// check and the log, in that order.
#include "vandrasim/CheckIn.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <map>

#include "platform/ini/IniFile.h"
#include "platform/text/Encoding.h"
#include "platform/text/Strings.h"

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
  for (char c : prefix)
    if (c == '/' || static_cast<unsigned char>(c) < 0x20) return false;
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
  if (v == "warten") return TestBehaviour::kWait;
  if (v == "leerzeichen") return TestBehaviour::kTrailingBlank;
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

}  // namespace

void Store::Record(const std::string& database, int64_t transaktion, const std::string& prefix,
                   const std::string& user, const std::string& package_folder,
                   const std::vector<std::string>& files) const {
  const std::string target = JoinPath(DatabaseFolder(database), std::to_string(transaktion));
  MakeFolders(env_, target);
  std::vector<platform::env::CopyJob> jobs;
  const std::string base = package_folder + "/";
  for (const std::string& file : files) {
    const std::string rel = file.compare(0, base.size(), base) == 0 ? file.substr(base.size())
                                                                    : platform::env::NameOf(file);
    const std::string to = JoinPath(target, rel);
    MakeFolders(env_, platform::env::FolderOf(to));
    jobs.push_back({file, to});
  }
  const std::vector<std::string> errors = platform::env::CopyFiles(env_, jobs);
  for (size_t i = 0; i < errors.size(); ++i) {
    if (!errors[i].empty()) throw EnvError(EIO, "copy", jobs[i].from + ": " + errors[i]);
  }
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
  while (cl.folder.size() > 1 && cl.folder.back() == '/') cl.folder.pop_back();
  if (cl.folder.empty() || !PrefixIsUsable(cl.prefix)) {
    err << "checkin: Ordner oder Präfix kann keine Logdatei benennen\n";
    return 2;
  }
  const PackageNames names{cl.folder, cl.prefix};
  const std::string log = JoinPath(cl.folder, names.LogName());
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
    if (behaviour == TestBehaviour::kCrash) std::abort();
    if (std::optional<std::string> refused = store.Login(cl.user, cl.password, cl.database))
      findings.push_back({FindingKind::kSachdaten, *refused});
  }

  if (findings.empty()) {
    PackageReport report = CheckPackage(env, names);
    findings = std::move(report.findings);
    if (report.transaktion) {
      header.push_back("Transaktion: " + std::to_string(*report.transaktion));
      try {
        std::unique_ptr<platform::env::File> lock = store.LockRecord();
        if (!lock) {
          findings.push_back({FindingKind::kSachdaten,
                              "Server " + cl.server + ": belegt, bitte später erneut versuchen"});
        } else if (store.CheckedIn(cl.database, *report.transaktion)) {
          findings.push_back({FindingKind::kSachdaten,
                              "Transaktion " + std::to_string(*report.transaktion) +
                                  " wurde bereits eingecheckt und wird nicht erneut angenommen"});
        } else if (!cl.probe && findings.empty()) {
          store.Record(cl.database, *report.transaktion, cl.prefix, cl.user, cl.folder,
                       report.files);
          header.push_back("Transaktion " + std::to_string(*report.transaktion) +
                           " eingecheckt in Datenbank " + cl.database);
        }
      } catch (const EnvError& e) {
        findings.push_back(
            {FindingKind::kSachdaten, "Server " + cl.server + ": Transaktion " +
                                          std::to_string(*report.transaktion) +
                                          " konnte nicht gespeichert werden: " + e.what()});
      }
    }
  }

  const int exit_code = findings.empty() ? 0 : 1;
  if (behaviour == TestBehaviour::kNoLog) return exit_code;
  if (behaviour == TestBehaviour::kWait) env.SleepFor(std::chrono::seconds(store.WaitSeconds()));
  const std::string text = LogText(header, findings, behaviour == TestBehaviour::kTrailingBlank);
  return WriteLog(env, log, text, err) != 0 ? 1 : exit_code;
}

}  // namespace vandrasim
