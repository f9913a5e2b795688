#include "exchange/ImportUndo.h"

#include <map>
#include <set>
#include <unordered_map>
#include <unordered_set>

#include "context/PluginContext.h"
#include "exchange/ObjectFiles.h"
#include "host/HostApi.h"
#include "host/Tools.h"
#include "photos/FVTools.h"
#include "platform/env/Env.h"
#include "platform/text/Strings.h"
#include "platform/ui/Ui.h"
#include "transaction/TransactionStore.h"

namespace ImportUndo {
namespace {

platform::env::Env& CurrentEnv() {
  return platform::env::Env::Current();
}

// Whether `entry` is a temporary file that a write of `name` left behind
// (the name, a dot and six characters of the temporary file's own).
bool TemporaryOf(const std::string& entry, const std::string& name) {
  if (entry.size() != name.size() + 7 || entry.compare(0, name.size(), name) != 0 ||
      entry[name.size()] != '.') {
    return false;
  }
  for (size_t i = name.size() + 1; i < entry.size(); ++i) {
    const unsigned char c = static_cast<unsigned char>(entry[i]);
    if (!std::isalnum(c)) return false;
  }
  return true;
}

void RemoveTemporaries(const std::string& folder, const std::set<std::string>& names) {
  platform::env::Env& env = CurrentEnv();
  std::vector<std::string> entries;
  try {
    entries = env.ListFolder(folder);
  } catch (const platform::env::EnvError&) {
    return;
  }
  for (const std::string& entry : entries) {
    for (const std::string& name : names) {
      if (!TemporaryOf(entry, name)) continue;
      try {
        env.Remove(platform::env::JoinPath(folder, entry));
      } catch (const platform::env::EnvError&) {
        // Harmless: no reader takes it for anything.
      }
      break;
    }
  }
}

void RemoveTree(const std::string& path) {
  platform::env::Env& env = CurrentEnv();
  const std::optional<platform::env::FileStatus> st = env.LinkStatus(path);
  if (!st) return;
  if (!st->IsFolder()) {
    env.Remove(path);
    return;
  }
  for (const std::string& entry : env.ListFolder(path)) {
    RemoveTree(platform::env::JoinPath(path, entry));
  }
  env.RemoveFolder(path);
}

std::string Listed(const std::vector<std::string>& items) {
  std::string text;
  for (size_t i = 0; i < items.size() && i < 20; ++i) text += (i ? ", " : "") + items[i];
  if (items.size() > 20) text += " ... (" + std::to_string(items.size()) + " insgesamt)";
  return text;
}

// The host: the package's objects out, the deleted ones in again.
void UndoObjects(const ImportJournal& journal, const std::string& folder,
                 std::vector<std::string>& failed) {
  std::optional<ScopedFlag> running;
  if (CurrentProfile().import_flag) running.emplace(State().ImportRunning);
  ScopedFlag no_change_marks(State().blnDoNotSetChangeFlag);
  // Objects given their checked-out identifier back get the other again.
  std::vector<std::string> not_renamed;
  for (const ImportJournal::Rename& r : journal.renamed) {
    if (host::IdOfKennung(r.to) != r.id) continue;
    {
      ScopedFlag internal(State().blnChangingKennungInternal);
      host::SetKennung(r.id, r.from);
    }
    if (host::KennungOf(r.id) != r.from) not_renamed.push_back(r.to);
  }
  if (!not_renamed.empty()) {
    failed.push_back("Diese Objekte konnten ihre Kennung nicht zurückerhalten: " +
                     Listed(not_renamed));
  }
  std::unordered_map<std::string, int32_t> originals(journal.deleted.begin(),
                                                     journal.deleted.end());
  std::vector<std::string> not_removed;
  for (const std::string& K : journal.loaded) {
    const int32_t id = host::IdOfKennung(K);
    if (id <= 0) continue;
    const auto original = originals.find(K);
    if (original != originals.end() && original->second == id) continue;
    host::DeleteObject(id);
    if (host::IdOfKennung(K) > 0) not_removed.push_back(K);
  }
  if (!not_removed.empty()) {
    failed.push_back("Diese Objekte des Pakets konnten nicht entfernt werden: " +
                     Listed(not_removed));
  }

  std::unordered_set<std::string> missing;
  for (const auto& [K, id] : journal.deleted) {
    if (host::IdOfKennung(K) <= 0) missing.insert(K);
  }
  if (missing.empty()) return;
  const std::string snapshot = platform::env::JoinPath(folder, kSnapshotName);
  const std::string back = platform::env::JoinPath(folder, "zurueck");
  try {
    if (!CurrentEnv().Stat(back)) CurrentEnv().CreateFolder(back);
    const ObjectFiles::Copy copy =
        ObjectFiles::CopyObjects(snapshot, snapshot + ".xml", back,
                                 [&](const std::string& K) { return missing.count(K) > 0; });
    if (!ObjectFiles::LayersOf(copy.base).empty()) host::ImportGeodaten(copy.base, 10, -1);
    host::ImportDataXML(copy.xml, true);
  } catch (const std::exception& e) {
    failed.push_back(std::string("Die gesicherten Objekte können nicht gelesen werden:\r") +
                     e.what());
  }
  std::vector<std::string> lost;
  std::map<int32_t, std::vector<const ObjectRow*>> rows_of;
  for (const ObjectRow& row : journal.object_rows) rows_of[row.KartulID].push_back(&row);
  std::vector<std::string> rows_lost;
  for (const auto& [K, old_id] : journal.deleted) {
    if (!missing.count(K)) continue;
    const int32_t id = host::IdOfKennung(K);
    if (id <= 0) {
      lost.push_back(K);
      continue;
    }
    const auto rows = rows_of.find(old_id);
    if (rows != rows_of.end() && !AppendObjectRows(id, rows->second)) rows_lost.push_back(K);
  }
  if (!lost.empty()) {
    failed.push_back("Diese Objekte konnten nicht wiederhergestellt werden: " + Listed(lost));
  }
  if (!rows_lost.empty()) {
    failed.push_back(
        "Die Foto-Verknüpfungen und Pflanzenlisten dieser Objekte konnten nicht wiederhergestellt "
        "werden: " +
        Listed(rows_lost));
  }
}

void UndoPictures(const ImportJournal& journal, std::vector<std::string>& failed) {
  platform::env::Env& env = CurrentEnv();
  std::map<std::string, std::set<std::string>> by_folder;
  for (const ImportJournal::Picture& picture : journal.pictures) {
    try {
      if (!picture.backup.empty()) {
        platform::env::CopyFile(env, picture.backup, picture.path);
      } else if (env.LinkStatus(picture.path)) {
        env.Remove(picture.path);
      }
    } catch (const platform::env::EnvError& e) {
      failed.push_back("Das Bild " + picture.path +
                       " konnte nicht zurückgesetzt werden: " + e.what());
    }
    by_folder[platform::env::FolderOf(picture.path)].insert(platform::env::NameOf(picture.path));
  }
  for (const auto& [folder, names] : by_folder) RemoveTemporaries(folder, names);
}

}  // namespace

std::vector<std::string> Undo(const ImportJournal& journal) {
  std::vector<std::string> failed;
  const std::string project = Tools::MyGetProjectDir();
  const std::string folder = ImportJournal::FolderIn(project);
  // Before the snapshot, the import had changed nothing.
  if (!journal.snapshot_taken) return failed;
  try {
    UndoObjects(journal, folder, failed);
  } catch (const std::exception& e) {
    failed.push_back(std::string("Die Objekte des Projekts: ") + e.what());
  }
  TransactionStore& store = TransactionStore::Current();
  try {
    const std::unique_ptr<TransactionStore::Hold> hold = store.HoldTables();
    const std::unordered_set<std::string> keys(journal.keys.begin(), journal.keys.end());
    store.RestoreKeys(keys, journal.before);
    if (journal.registered) store.RemoveTransaction(*journal.registered);
  } catch (const std::exception& e) {
    failed.push_back(std::string("Die Transaktionstabellen: ") + e.what());
  }
  try {
    EnsureFotoverwaltung().RemoveFotos(journal.fotos);
  } catch (const std::exception& e) {
    failed.push_back(std::string("Der Fotokatalog: ") + e.what());
  }
  UndoPictures(journal, failed);
  return failed;
}

void Finish(const std::string& project_dir) {
  platform::env::Env& env = CurrentEnv();
  const std::string journal = ImportJournal::FileIn(project_dir);
  if (env.LinkStatus(journal)) {
    env.Remove(journal);
    env.SyncFolder(project_dir);
  }
  try {
    RemoveTree(ImportJournal::FolderIn(project_dir));
  } catch (const platform::env::EnvError&) {
    // The next project load tries again; nothing reads the folder.
  }
  RemoveTemporaries(project_dir, {platform::env::NameOf(journal)});
}

bool JournalLeft() {
  const std::string project = Tools::MyGetProjectDir();
  return !project.empty() && CurrentEnv().LinkStatus(ImportJournal::FileIn(project)).has_value();
}

void RecoverCutImport() {
  const std::string project = Tools::MyGetProjectDir();
  if (project.empty()) return;
  platform::env::Env& env = CurrentEnv();
  const std::string path = ImportJournal::FileIn(project);
  if (!env.LinkStatus(path)) {
    // An import that went through may have left its folder when it ended.
    if (env.LinkStatus(ImportJournal::FolderIn(project))) Finish(project);
    return;
  }
  std::string error;
  std::optional<ImportJournal> journal;
  try {
    journal = ImportJournal::Parse(platform::env::ReadFile(env, path), error);
  } catch (const platform::env::EnvError& e) {
    error = e.what();
  }
  if (!journal) {
    const std::string kept = path + ".beschaedigt";
    try {
      env.Rename(path, kept);
    } catch (const platform::env::EnvError&) {
    }
    platform::ui::MessageBox(
        platform::ui::MsgKind::kError,
        "In diesem Projekt wurde ein Import unterbrochen, aber seine Journaldatei ist nicht "
        "lesbar:\r" +
            error +
            "\rDas Projekt kann nicht auf den Stand vor dem Import zurückgesetzt werden; bitte "
            "prüfen Sie die Transaktionstabellen, die Objekte und die Fotos. Die Datei liegt als " +
            kept + " vor.");
    return;
  }
  platform::ui::HourglassGuard hourglass;
  const std::vector<std::string> failed = Undo(*journal);
  if (failed.empty()) {
    Finish(project);
    platform::ui::MessageBox(
        platform::ui::MsgKind::kInformation,
        "Der Import des Transaktionspakets " + journal->package +
            " wurde unterbrochen. Das Projekt ist wieder wie vor dem Import: seine Objekte, "
            "die Transaktionstabellen, der Fotokatalog und die Bilder in KTPhotos.");
    return;
  }
  std::string text = "Der Import des Transaktionspakets " + journal->package +
                     " wurde unterbrochen. Folgendes konnte nicht auf den Stand vor dem Import "
                     "zurückgesetzt werden:";
  for (const std::string& line : failed) text += "\r" + line;
  text += "\rDie Journaldatei " + path +
          " bleibt; beim nächsten Laden des Projekts wird es erneut versucht.";
  platform::ui::MessageBox(platform::ui::MsgKind::kError, text);
  host::Redraw();
}

}  // namespace ImportUndo
