#include "tests/support/ProjectFixture.h"

#include <stdlib.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <filesystem>
#include <sstream>

#include "context/BuildIdentity.h"
#include "context/PluginContext.h"
#include "photos/TempObject.h"
#include "platform/db/Connection.h"
#include "platform/ini/IniFile.h"
#include "platform/ui/Transcript.h"
#include "transaction/TransActTools.h"

namespace testsupport {
namespace fs = std::filesystem;

std::string MakeTempDir() {
  std::string pattern = (fs::temp_directory_path() / "vandra-test-XXXXXX").string();
  if (mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
  return pattern;
}

void RemoveTree(const std::string& path) {
  std::error_code error;
  fs::remove_all(path, error);
}

std::string RunCommand(const std::string& command) {
  std::string output;
  FILE* pipe = popen(command.c_str(), "r");
  if (pipe == nullptr) return output;
  std::array<char, 4096> buffer{};
  size_t n = 0;
  while ((n = fread(buffer.data(), 1, buffer.size(), pipe)) > 0) output.append(buffer.data(), n);
  pclose(pipe);
  return output;
}

std::vector<std::map<std::string, std::string>> ReadDbf(const std::string& path) {
  // One record per line, fields separated by the unit separator, the field
  // names first; dbfread leaves deleted records out by itself.
  const std::string script =
      "import sys, dbfread\n"
      "t = dbfread.DBF(sys.argv[1], encoding='cp1252', char_decode_errors='strict')\n"
      "out = sys.stdout.buffer\n"
      "out.write('\\x1f'.join(t.field_names).encode() + b'\\n')\n"
      "for r in t:\n"
      "    out.write('\\x1f'.join('' if v is None else str(v) for v in r.values()).encode() + "
      "b'\\n')\n";
  // Written once per test program, and its folder removed when it ends.
  struct ScriptFile {
    explicit ScriptFile(const std::string& text) {
      FILE* out = std::fopen(file.c_str(), "w");
      if (out != nullptr) {
        std::fputs(text.c_str(), out);
        std::fclose(out);
      }
    }
    ~ScriptFile() { RemoveTree(folder); }
    ScriptFile(const ScriptFile&) = delete;
    ScriptFile& operator=(const ScriptFile&) = delete;
    std::string folder = MakeTempDir();
    std::string file = folder + "/readdbf.py";
  };
  static const ScriptFile script_file(script);
  const std::string command =
      std::string(VANDRA_PYTHON3) + " " + script_file.file + " '" + path + "' 2>&1";
  std::istringstream lines(RunCommand(command));
  std::vector<std::string> names;
  std::vector<std::map<std::string, std::string>> rows;
  std::string line;
  auto split = [](const std::string& text) {
    std::vector<std::string> parts;
    size_t start = 0;
    for (size_t i = 0; i <= text.size(); ++i) {
      if (i == text.size() || text[i] == '\x1f') {
        parts.push_back(text.substr(start, i - start));
        start = i + 1;
      }
    }
    return parts;
  };
  if (std::getline(lines, line)) names = split(line);
  while (std::getline(lines, line)) {
    const std::vector<std::string> values = split(line);
    std::map<std::string, std::string> row;
    for (size_t i = 0; i < names.size() && i < values.size(); ++i) row[names[i]] = values[i];
    rows.push_back(std::move(row));
  }
  return rows;
}

std::string TableFile(const std::string& project_dir, const std::string& table) {
  // The earlier builds write the file names in capitals.
  const std::string upper = project_dir + table + ".DBF";
  return std::filesystem::exists(upper) ? upper : project_dir + table + ".dbf";
}

std::vector<std::string> ListRows(const std::string& project_dir) {
  std::vector<std::string> rows;
  for (auto& row : ReadDbf(TableFile(project_dir, "TA_LIST"))) {
    rows.push_back(row["KENNUNG"] + " " + row["TID"] + " " + row["SCHREIBEND"] + " " +
                   row["CHANGED"] + " " + row["KENNUNGO"]);
  }
  return rows;
}

std::vector<std::string> PoolRows(const std::string& project_dir) {
  std::vector<std::string> rows;
  for (auto& row : ReadDbf(TableFile(project_dir, "TA_KL"))) {
    rows.push_back(row["TID"] + " " + row["KENNUNG"]);
  }
  return rows;
}

void ProjectFixture::SetUp() {
  root_ = MakeTempDir();
  project_dir_ = root_ + "/projekt/";
  setenv("KARTUL_REGISTRY", (root_ + "/registry.reg").c_str(), 1);
  hostsim::Host::CreateProject(project_dir_);
  host().OpenProject(project_dir_);
  SelectBuild(Build::kVD1TransAction2010);
  ResetPluginState();
  // The temporary point is the photo rules' state, not a flag of the
  // context: a placing a test left would let the next test's creations pass.
  TempObject::Current() = TempObject();
  context::Current().Store().CloseAll();
  transcript_ = platform::ui::Transcript::InMemory();
  auto presenter = std::make_unique<platform::ui::ScriptedPresenter>("", transcript_);
  presenter_ = presenter.get();
  platform::ui::SetPresenter(std::move(presenter));
}

void ProjectFixture::TearDown() {
  ExpectAllAnswered();
  context::Current().Store().CloseAll();
  host().CloseProject();
  platform::ui::SetPresenter(nullptr);
  presenter_ = nullptr;
  RemoveTree(root_);
}

void ProjectFixture::Answer(const std::string& script) {
  presenter_->AddActions(script);
}

std::string ProjectFixture::Shown() const {
  return transcript_->Text();
}

void ProjectFixture::ClearShown() {
  transcript_ = platform::ui::Transcript::InMemory();
  auto presenter = std::make_unique<platform::ui::ScriptedPresenter>("", transcript_);
  presenter_ = presenter.get();
  platform::ui::SetPresenter(std::move(presenter));
}

std::vector<std::string> ProjectFixture::Messages() const {
  std::vector<std::string> messages;
  std::istringstream lines(transcript_->Text());
  std::string line;
  while (std::getline(lines, line)) {
    if (line.rfind("message ", 0) != 0) continue;
    const size_t colon = line.find(": ");
    messages.push_back(colon == std::string::npos ? line : line.substr(colon + 2));
  }
  return messages;
}

void ProjectFixture::ExpectAllAnswered() {
  if (presenter_ == nullptr) return;
  EXPECT_TRUE(presenter_->Failures().empty())
      << "dialogs nobody expected:\n"
      << [&] {
           std::string all;
           for (const std::string& f : presenter_->Failures()) all += f + "\n";
           return all;
         }();
  EXPECT_EQ(presenter_->PendingActions(), 0u) << "answers left unused";
}

void ProjectFixture::SetApplicatIni(const std::string& section, const std::string& key,
                                    const std::string& value) {
  platform::ini::IniFile(host().ProcedureDir() + "applicat.ini").WriteString(section, key, value);
}

void ProjectFixture::CreateTransactionTables() {
  TransActTools::CreateTransactionList("TA_LIST");
  TransActTools::CreateKennungList();
  TransActTools::CreateTransactionIDTable();
}

void ProjectFixture::AddTransaction(int tid, const std::string& name, const std::string& owner) {
  TransActTools::OpenTransactionConnection().Execute(
      "insert into TA_ID (TID,NAME,OWNER) values (" + std::to_string(tid) + ",'" +
      platform::db::SqlText(name) + "','" + platform::db::SqlText(owner) + "')");
}

void ProjectFixture::AddRow(int tid, int kartulid, int schreibend, const std::string& kennung,
                            const std::string& changed, const std::string& kennungo) {
  TransActTools::OpenTransactionConnection().Execute(
      "insert into TA_LIST (TID,KARTULID,VGNR,SCHREIBEND,KENNUNG,KENNUNGO,CHANGED) values (" +
      std::to_string(tid) + "," + std::to_string(kartulid) + ",4711," + std::to_string(schreibend) +
      ",'" + platform::db::SqlText(kennung) + "','" +
      platform::db::SqlText(kennungo.empty() ? kennung : kennungo) + "','" +
      platform::db::SqlText(changed) + "')");
}

void ProjectFixture::AddFree(int tid, const std::string& kennung) {
  TransActTools::OpenTransactionConnection().Execute("insert into TA_KL (TID,KENNUNG) values (" +
                                                     std::to_string(tid) + ",'" +
                                                     platform::db::SqlText(kennung) + "')");
}

int32_t ProjectFixture::ClassId(const std::string& short_name) {
  const hostsim::ObjectClass* klasse = host().FindClass(short_name);
  if (klasse == nullptr) throw std::runtime_error("no class " + short_name);
  return klasse->id;
}

std::string ProjectFixture::HostObjects() {
  std::map<int32_t, std::string> kennung_of;
  for (const int32_t id : host().ObjectIds()) kennung_of[id] = host().FindObject(id)->kennung;
  std::map<std::string, std::string> lines;
  for (const int32_t id : host().ObjectIds()) {
    const hostsim::GeoObject& o = *host().FindObject(id);
    std::string line = o.kennung + " " + std::to_string(o.klasse) + " " +
                       std::to_string(static_cast<int>(o.typ));
    for (const hostsim::Point& p : o.geometry) {
      line += " (" + std::to_string(p.x) + "," + std::to_string(p.y) + ")";
    }
    lines[o.kennung] = line;
  }
  for (const char* table : {"linfos", "Objektphotos", "Pflanzenliste"}) {
    std::map<std::string, std::vector<std::string>> rows;
    for (const auto& row : host().StoredRows(table)) {
      const auto id = row.find("KARTULID");
      if (id == row.end()) continue;
      const auto kennung = kennung_of.find(std::stoi(id->second));
      std::string text;
      for (const auto& [field, value] : row) {
        if (field == "KARTULID" || field == "PKEY") continue;
        text += field + "=" + value + ";";
      }
      rows[kennung == kennung_of.end() ? "#" + id->second : kennung->second].push_back(text);
    }
    for (auto& [kennung, texts] : rows) {
      std::sort(texts.begin(), texts.end());
      for (const std::string& text : texts) lines[kennung] += std::string(" | ") + table + ": " + text;
    }
  }
  std::string all;
  for (const auto& [kennung, line] : lines) all += line + "\n";
  return all;
}

int32_t ProjectFixture::MakeObject(const std::string& class_short_name,
                                   const std::string& kennung) {
  const int32_t klasse = ClassId(class_short_name);
  const double x = 3400000 + 100.0 * static_cast<double>(host().ObjectIds().size());
  return host().CreateObject(klasse, ktFlaeche,
                             {{x, 5800000}, {x + 50, 5800000}, {x + 50, 5800040}, {x, 5800040}},
                             kennung);
}

}  // namespace testsupport
