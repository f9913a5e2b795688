#include "exchange/ImportUndo.h"

#include <algorithm>
#include <map>
#include <set>
#include <unordered_map>
#include <unordered_set>

#include "context/PluginContext.h"
#include "context/ProjectIdentity.h"
#include "dialogs/FormImportJournal.h"
#include "exchange/HostSnapshot.h"
#include "exchange/ImportBases.h"
#include "exchange/ObjectFiles.h"
#include "host/HostApi.h"
#include "host/Tools.h"
#include "photos/tables/Fotoverwaltung.h"
#include "platform/env/Env.h"
#include "platform/text/Strings.h"
#include "platform/ui/Form.h"
#include "platform/ui/Ui.h"
#include "transaction/TransActTools.h"

namespace ImportUndo {
namespace {

using Item = ImportJournal::Item;
using platform::ui::MsgKind;

// The kinds of items, as the journal names them.
constexpr const char* kListe = "liste";
constexpr const char* kPool = "pool";
constexpr const char* kFp = "fp";
constexpr const char* kObjekt = "objekt";
constexpr const char* kFoto = "foto";
constexpr const char* kBild = "bild";
// What an undo names in flux or kept: an identifier stands for its rows
// and its object, which go back together.
constexpr const char* kSchluessel = "schluessel";
// The print of an item that is not there, and of one that cannot be read.
constexpr const char* kAbsent = kNoPicture;
constexpr const char* kUnknown = "?";
// The record of an object given its checked-out identifier back, by id.
constexpr const char* kUmbenannt = "umbenannt";

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

std::string Lines(const std::vector<std::string>& items) {
  std::string text;
  for (size_t i = 0; i < items.size() && i < 20; ++i) text += "\r" + items[i];
  if (items.size() > 20) text += "\r... (" + std::to_string(items.size()) + " insgesamt)";
  return text;
}

// One print of a set of texts, whatever their order.
std::string PrintOf(std::vector<std::string> parts) {
  std::sort(parts.begin(), parts.end());
  std::string joined;
  for (const std::string& part : parts) {
    joined += part;
    joined += '\x1e';
  }
  return HostSnapshot::HashOf(joined);
}

// The rows of the journal's identifiers, grouped as they are compared: the
// rows of TA_LIST filed under an identifier, its pool rows, its
// fingerprint rows.
struct RowPrints {
  std::unordered_map<std::string, std::vector<std::string>> liste, pool, fp;

  RowPrints(const RowsOfKeys& rows, const std::unordered_set<std::string>& keys) {
    for (const TObjectMetadata& row : rows.list) {
      liste[FiledUnder(row, keys)].push_back(RowText(row));
    }
    for (const PoolRow& row : rows.pool) pool[row.Kennung].push_back(std::to_string(row.TID));
    for (const FingerprintRow& row : rows.fingerprints) {
      fp[row.Kennung].push_back(std::to_string(row.TID) + '\x1f' + row.Geometrie + '\x1f' +
                                row.Attribute);
    }
  }

  std::string Of(const std::string& kind, const std::string& K) const {
    const auto& map = kind == kListe ? liste : kind == kPool ? pool : fp;
    const auto found = map.find(K);
    return PrintOf(found == map.end() ? std::vector<std::string>() : found->second);
  }
};

// Disjoint sets of the units that go back or stay together.
class Units {
 public:
  const std::string& Find(const std::string& unit) {
    auto it = parent_.find(unit);
    if (it == parent_.end()) it = parent_.emplace(unit, unit).first;
    if (it->second == unit) return it->second;
    const std::string root = Find(it->second);
    it = parent_.find(unit);
    it->second = root;
    return it->second;
  }
  void Join(const std::string& a, const std::string& b) {
    const std::string ra = Find(a);
    const std::string rb = Find(b);
    if (ra != rb) parent_[ra] = rb;
  }

 private:
  std::unordered_map<std::string, std::string> parent_;
};

std::string KeyUnit(const std::string& K) {
  return std::string("K\x1f") + K;
}
std::string FotoUnit(int32_t id) {
  return "F\x1f" + std::to_string(id);
}
std::string BildUnit(const std::string& name) {
  return "B\x1f" + platform::text::ToLowerAscii(name);
}

// One take-back: reads how things are, decides what goes back, announces
// it in the journal, puts it back, and records what it could not.
class TakeBackRun {
 public:
  TakeBackRun(const std::string& project, const ImportJournal& journal, bool keep_marked_rows)
      : project_(project),
        folder_(ImportJournal::FolderIn(project)),
        journal_(journal),
        keys_(journal.keys.begin(), journal.keys.end()),
        legacy_(keep_marked_rows) {}

  Outcome Run() {
    if (!journal_.snapshot_taken || journal_.committed) return outcome_;
    try {
      Gather();
    } catch (const std::exception& e) {
      outcome_.failed.push_back(std::string("Der Stand des Projekts kann nicht gelesen werden: ") +
                                e.what());
      return outcome_;
    }
    Decide();
    if (!Announce()) return outcome_;
    PutBack();
    if (!outcome_.failed.empty()) Record();
    return outcome_;
  }

 private:
  enum class At { kBefore, kImports, kChanged };

  bool InFlux(const std::string& kind, const std::string& key) const {
    if (journal_.all_in_flux) return true;
    if (journal_.in_flux.count({kind, key})) return true;
    // An identifier's rows and object are named together.
    if (kind == kListe || kind == kPool || kind == kFp || kind == kObjekt) {
      return journal_.in_flux.count({kSchluessel, key}) > 0;
    }
    return false;
  }

  bool KeptBefore(const std::string& kind, const std::string& key) const {
    if (journal_.kept.count({kind, key})) return true;
    if (kind == kListe || kind == kPool || kind == kFp || kind == kObjekt) {
      return journal_.kept.count({kSchluessel, key}) > 0;
    }
    return false;
  }

  // An item against the import's record of it: unchanged since then, or
  // changed by someone else.
  At Compare(const std::string& kind, const std::string& key, const std::string& now,
             const std::string& before) const {
    if (now == before) return At::kBefore;
    if (KeptBefore(kind, key)) return At::kChanged;
    if (InFlux(kind, key)) return At::kImports;
    const auto stand = journal_.stands.find({kind, key});
    return stand != journal_.stands.end() && stand->second == now ? At::kImports : At::kChanged;
  }

  // ---- How things are ---------------------------------------------------------------

  void Gather() {
    now_rows_ = TransActTools::ReadKeys(keys_);
    for (const auto& [K, id] : journal_.deleted) original_[K] = id;
    for (const auto& [K, ids] : journal_.restored) {
      for (const int32_t id : ids) restored_[K].insert(id);
    }
    for (const std::string& K : journal_.loaded) object_keys_.insert(K);
    for (const auto& [K, id] : journal_.deleted) object_keys_.insert(K);
    for (const std::string& K : object_keys_) {
      const int32_t id = host::IdOfKennung(K);
      object_now_[K] = id > 0 ? id : 0;
    }
    for (const ImportJournal::Rename& r : journal_.renamed) {
      renamed_now_[r.id] = host::KennungOf(r.id);
    }
    for (const ImportJournal::InPlace& object : journal_.in_place) {
      std::vector<std::string>& values = in_place_now_[object.Kennung];
      const int32_t id = host::IdOfKennung(object.Kennung);
      in_place_id_[object.Kennung] = id > 0 ? id : 0;
      const auto restored = restored_.find(object.Kennung);
      if (id != object.id &&
          (id <= 0 || restored == restored_.end() || !restored->second.count(id))) {
        continue;
      }
      host::SetActiveObject(id);
      for (const ImportJournal::InPlace::Value& v : object.values) {
        values.push_back(Tools::MyGetValueByName("linfos", v.field));
      }
    }
    std::unordered_set<int32_t> ids;
    for (const ImportJournal::Foto& foto : journal_.fotos) ids.insert(foto.FotoID);
    if (!ids.empty()) foto_now_ = EnsureFotoverwaltung().FotoRowTexts(ids);
    // Once an undo began, the marks may be its own: the earlier builds'
    // deletion hook marks the objects it takes out. What that undo found
    // changed since it recorded as kept.
    if (legacy_ || (journal_.rows_merged && !journal_.undo_begun)) FindMarkedSince();
  }

  // The identifiers with more rows carrying a change mark now than before
  // the import: the rows the import merges are marked "IGNORED", those it
  // only renames keep their mark, so a mark it did not find is the
  // mapper's or another program's.
  void FindMarkedSince() {
    using Marks = std::map<std::string, int>;
    std::unordered_map<std::string, Marks> was, is;
    for (const TObjectMetadata& row : journal_.before.list) {
      if (row.Changed != TransActTools::kIgnored) ++was[FiledUnder(row, keys_)][row.Changed];
    }
    for (const TObjectMetadata& row : now_rows_.list) {
      if (row.Changed != TransActTools::kIgnored) ++is[FiledUnder(row, keys_)][row.Changed];
    }
    for (const auto& [K, marks] : is) {
      const auto found = was.find(K);
      for (const auto& [mark, count] : marks) {
        const int before = found == was.end() || !found->second.count(mark)
                               ? 0
                               : found->second.at(mark);
        if (count > before) marked_since_.insert(K);
      }
    }
  }

  // The object of K as the journal prints it: its id, and its geometry
  // and attributes where they are asked for and the host hands them over.
  // A record with them that meets a print without them (the host's export
  // failed) does not match: the object cannot be told unchanged, and stays.
  std::string ObjectPrint(const std::string& K, bool with_content) {
    const int32_t id = object_now_[K];
    std::string print = std::to_string(id);
    if (!with_content || id == 0) return print;
    const HostSnapshot::HostObject* object = SnapshotObject(id);
    if (!object) return print;
    return print + ":" + object->geometry + ":" + object->attributes;
  }

  const HostSnapshot::HostObject* SnapshotObject(int32_t id) {
    if (!snapshot_taken_) {
      snapshot_taken_ = true;
      snapshot_.clear();
      try {
        for (HostSnapshot::HostObject& object : HostSnapshot::TakeSnapshot()) {
          const int32_t object_id = object.id;
          snapshot_.emplace(object_id, std::move(object));
        }
      } catch (const std::exception&) {
        // Printed by id alone (ObjectPrint).
        snapshot_.clear();
      }
    }
    const auto found = snapshot_.find(id);
    return found == snapshot_.end() ? nullptr : &found->second;
  }

  bool IsOriginal(const std::string& K, int32_t id) const {
    if (id == 0) return false;
    const auto original = original_.find(K);
    if (original != original_.end() && original->second == id) return true;
    const auto restored = restored_.find(K);
    return restored != restored_.end() && restored->second.count(id) > 0;
  }

  At ObjectState(const std::string& K) {
    const int32_t id = object_now_[K];
    if (IsOriginal(K, id) || (id == 0 && !original_.count(K))) return At::kBefore;
    if (KeptBefore(kObjekt, K)) return At::kChanged;
    if (InFlux(kObjekt, K)) return At::kImports;
    const auto stand = journal_.stands.find({kObjekt, K});
    if (stand == journal_.stands.end()) return At::kChanged;
    const bool with_content = stand->second.find(':') != std::string::npos;
    return ObjectPrint(K, with_content) == stand->second ? At::kImports : At::kChanged;
  }

  // An object the merge wrote into: as before, as the import wrote it (or
  // between, cut off while it wrote), or changed since by someone else.
  At InPlaceState(const ImportJournal::InPlace& object) {
    // Gone while an undo was under way: that undo took it out to load it
    // back from the snapshot.
    if (in_place_id_[object.Kennung] == 0) {
      return InFlux(kObjekt, object.Kennung) && !KeptBefore(kObjekt, object.Kennung) ? At::kImports
                                                                                     : At::kChanged;
    }
    const std::vector<std::string>& now = in_place_now_[object.Kennung];
    if (now.size() != object.values.size()) return At::kChanged;  // another object
    bool before = true;
    for (size_t i = 0; i < now.size(); ++i) {
      const ImportJournal::InPlace::Value& v = object.values[i];
      if (now[i] != v.before && now[i] != v.after) return At::kChanged;
      before = before && now[i] == v.before;
    }
    return before ? At::kBefore : At::kImports;
  }

  At RenameState(const ImportJournal::Rename& r) {
    const std::string& now = renamed_now_[r.id];
    if (now == r.from) return At::kBefore;
    const std::string key = std::to_string(r.id);
    if (journal_.kept.count({kSchluessel, r.to})) return At::kChanged;
    if (now != r.to) return At::kChanged;
    if (InFlux(kObjekt, r.to)) return At::kImports;
    const auto stand = journal_.stands.find({kUmbenannt, key});
    return stand != journal_.stands.end() ? At::kImports : At::kChanged;
  }

  std::string BeforePicture(const ImportJournal::Picture& picture) const {
    if (!picture.before.empty()) return picture.before;
    if (picture.backup.empty()) return kAbsent;
    const std::optional<std::string> backup = ImportJournal::PathIn(project_, picture.backup);
    return backup ? PrintOrUnknown(*backup) : kUnknown;
  }

  // A picture that cannot be read matches no record: it is not put back
  // over, and is named.
  static std::string PrintOrUnknown(const std::string& path) {
    try {
      return PicturePrint(path);
    } catch (const platform::env::EnvError&) {
      return kUnknown;
    }
  }

  // ---- What goes back ------------------------------------------------------------------

  void Decide() {
    const RowPrints now(now_rows_, keys_);
    const RowPrints before(journal_.before, keys_);
    Units units;
    std::unordered_set<std::string> changed;  // units with an item changed since
    std::unordered_set<std::string> touched;  // units with an item not as before
    const auto note = [&](const std::string& unit, At at) {
      if (at == At::kChanged) changed.insert(unit);
      if (at != At::kBefore) touched.insert(unit);
    };

    // Rows that tie identifiers together tie their units.
    for (const RowsOfKeys* rows : {&journal_.before, static_cast<const RowsOfKeys*>(&now_rows_)}) {
      for (const TObjectMetadata& row : rows->list) {
        if (keys_.count(row.Kennung) && keys_.count(row.Originalkennung)) {
          units.Join(KeyUnit(row.Kennung), KeyUnit(row.Originalkennung));
        }
      }
    }
    for (const ImportJournal::Rename& r : journal_.renamed) {
      units.Join(KeyUnit(r.from), KeyUnit(r.to));
    }
    for (const std::string& K : keys_) {
      for (const char* kind : {kListe, kPool, kFp}) {
        At at = Compare(kind, K, now.Of(kind, K), before.Of(kind, K));
        if (at == At::kImports && kind == std::string(kListe) && marked_since_.count(K)) {
          at = At::kChanged;
        }
        note(KeyUnit(K), at);
      }
    }
    for (const std::string& K : object_keys_) note(KeyUnit(K), ObjectState(K));
    for (const ImportJournal::InPlace& object : journal_.in_place) {
      const At at = InPlaceState(object);
      note(KeyUnit(object.Kennung), at);
      if (at == At::kImports) in_place_written_.insert(object.Kennung);
    }
    for (const ImportJournal::Rename& r : journal_.renamed) note(KeyUnit(r.to), RenameState(r));

    for (const ImportJournal::Foto& foto : journal_.fotos) {
      if (!foto.Datei.empty()) {
        units.Join(FotoUnit(foto.FotoID), BildUnit(ImportJournal::PictureName(foto.Datei)));
      }
      const auto found = foto_now_.find(foto.FotoID);
      const std::string print =
          found == foto_now_.end() ? std::string(kAbsent) : HostSnapshot::HashOf(found->second);
      note(FotoUnit(foto.FotoID),
           Compare(kFoto, std::to_string(foto.FotoID), print, kAbsent));
    }
    for (const ImportJournal::Picture& picture : journal_.pictures) {
      const std::optional<std::string> path = ImportJournal::PathIn(project_, picture.path);
      if (!path) {
        outside_.push_back(picture.path);
        continue;
      }
      // A picture still as before needs no backup: a copy of the project
      // may have caught the one without the other. Without a print of the
      // old picture only the backup tells, and a picture in flux simply
      // goes back.
      At at = At::kImports;
      if (!picture.before.empty() || !InFlux(kBild, picture.path) ||
          KeptBefore(kBild, picture.path)) {
        at = Compare(kBild, picture.path, PrintOrUnknown(*path), BeforePicture(picture));
      }
      note(BildUnit(picture.path), at);
      if (at == At::kBefore) pictures_as_before_.insert(&picture);
    }

    std::unordered_set<std::string> kept_roots, touched_roots;
    for (const std::string& unit : changed) kept_roots.insert(units.Find(unit));
    for (const std::string& unit : touched) touched_roots.insert(units.Find(unit));
    const auto decide = [&](const std::string& unit, const std::string& kind,
                            const std::string& key, const std::string& name) {
      const std::string& root = units.Find(unit);
      if (kept_roots.count(root)) {
        if (!KeptBefore(kind, key)) new_kept_.emplace_back(kind, key);
        outcome_.kept.push_back(name);
        return false;
      }
      if (touched_roots.count(root)) flux_items_.emplace_back(kind, key);
      return true;
    };
    for (const std::string& K : journal_.keys) {
      if (decide(KeyUnit(K), kSchluessel, K, "Kennung " + K)) restore_keys_.insert(K);
    }
    for (const ImportJournal::Foto& foto : journal_.fotos) {
      const std::string name = "Foto " + std::to_string(foto.FotoID) +
                               (foto.Datei.empty() ? "" : " (" + foto.Datei + ")");
      if (decide(FotoUnit(foto.FotoID), kFoto, std::to_string(foto.FotoID), name)) {
        restore_fotos_.push_back(foto.FotoID);
      }
    }
    for (const ImportJournal::Picture& picture : journal_.pictures) {
      if (!ImportJournal::PathIn(project_, picture.path)) continue;
      // One as before needs nothing, and may lack its backup.
      if (decide(BildUnit(picture.path), kBild, picture.path, "Bild " + picture.path) &&
          !pictures_as_before_.count(&picture)) {
        restore_pictures_.push_back(&picture);
      }
    }
    std::sort(outcome_.kept.begin(), outcome_.kept.end());
  }

  // Names in the journal what this undo puts back (it may be anywhere
  // between until the undo ends) and what it keeps. Nothing changes when
  // that cannot be written and the journal does not say it already.
  bool Announce() {
    std::string records = ImportJournal::Record({"beginn"});
    for (const Item& item : new_kept_) {
      records += ImportJournal::Record({"behalten", item.first, item.second});
    }
    if (!journal_.all_in_flux) {
      for (const Item& item : flux_items_) {
        records += ImportJournal::Record({"fluss", item.first, item.second});
      }
    }
    try {
      ImportJournal::Append(project_, records);
      announced_ = true;
    } catch (const std::exception& e) {
      // While the import's changes are in flux as a whole, the journal
      // already says all this undo could say.
      if (journal_.all_in_flux && new_kept_.empty()) return true;
      outcome_.failed.push_back("Die Journaldatei " + ImportJournal::FileIn(project_) +
                                " kann nicht fortgeschrieben werden; es wurde nichts "
                                "zurückgesetzt: " +
                                e.what());
      return false;
    }
    return true;
  }

  // ---- Putting back ----------------------------------------------------------------------

  void PutBack() {
    try {
      PutObjectsBack();
    } catch (const std::exception& e) {
      outcome_.failed.push_back(std::string("Die Objekte des Projekts: ") + e.what());
    }
    try {
      const std::unique_ptr<TablesHold> hold = TransActTools::HoldTables();
      RowsOfKeys before = journal_.before;
      std::erase_if(before.list,
                    [&](const TObjectMetadata& row) { return !Holds(row, restore_keys_); });
      std::erase_if(before.pool,
                    [&](const PoolRow& row) { return !restore_keys_.count(row.Kennung); });
      std::erase_if(before.fingerprints,
                    [&](const FingerprintRow& row) { return !restore_keys_.count(row.Kennung); });
      if (!TransActTools::RestoreKeys(restore_keys_, before, journal_.registered)) {
        outcome_.kept.push_back("Transaktion " + std::to_string(*journal_.registered) +
                                " (Zeilen der Transaktionstabellen gehören zu ihr)");
      }
    } catch (const std::exception& e) {
      outcome_.failed.push_back(std::string("Die Transaktionstabellen: ") + e.what());
    }
    try {
      EnsureFotoverwaltung().RemoveFotos(restore_fotos_);
    } catch (const std::exception& e) {
      outcome_.failed.push_back(std::string("Der Fotokatalog: ") + e.what());
    }
    PutPicturesBack();
    PutBasesBack();
    for (const std::string& path : outside_) {
      outcome_.failed.push_back("Das Bild " + path +
                                " liegt nicht in diesem Projektordner und wurde nicht angerührt.");
    }
  }

  // The host: the package's objects out, the deleted ones in again.
  void PutObjectsBack() {
    const context::ImportRunning running;
    const context::NoChangeMarks no_change_marks;
    // Objects given their checked-out identifier back get the other again.
    std::vector<std::string> not_renamed;
    for (const ImportJournal::Rename& r : journal_.renamed) {
      if (!restore_keys_.count(r.to) || host::IdOfKennung(r.to) != r.id) continue;
      context::SetOwnKennung(r.id, r.from);
      if (host::KennungOf(r.id) != r.from) not_renamed.push_back(r.to);
    }
    if (!not_renamed.empty()) {
      outcome_.failed.push_back("Diese Objekte konnten ihre Kennung nicht zurückerhalten: " +
                                Listed(not_renamed));
    }
    std::vector<std::string> not_removed;
    for (const std::string& K : journal_.loaded) {
      if (!restore_keys_.count(K)) continue;
      const int32_t id = host::IdOfKennung(K);
      if (id <= 0 || IsOriginal(K, id)) continue;
      host::DeleteObject(id);
      if (host::IdOfKennung(K) > 0) not_removed.push_back(K);
    }

    // An object the merge wrote values into goes back from the snapshot as
    // a deleted one does: the host can set no field to null again.
    std::vector<std::pair<std::string, int32_t>> taken_out = journal_.deleted;
    for (const ImportJournal::InPlace& object : journal_.in_place) {
      if (!in_place_written_.count(object.Kennung) || !restore_keys_.count(object.Kennung)) {
        continue;
      }
      taken_out.emplace_back(object.Kennung, object.id);
      const int32_t id = host::IdOfKennung(object.Kennung);
      if (id > 0) host::DeleteObject(id);
      if (host::IdOfKennung(object.Kennung) > 0) not_removed.push_back(object.Kennung);
    }
    if (!not_removed.empty()) {
      outcome_.failed.push_back("Diese Objekte des Pakets konnten nicht entfernt werden: " +
                                Listed(not_removed));
    }
    std::unordered_set<std::string> missing;
    for (const auto& [K, id] : taken_out) {
      if (restore_keys_.count(K) && host::IdOfKennung(K) <= 0) missing.insert(K);
    }
    if (missing.empty()) return;
    const std::string snapshot = platform::env::JoinPath(folder_, kSnapshotName);
    const std::string back = platform::env::JoinPath(folder_, "zurueck");
    try {
      if (!CurrentEnv().Stat(back)) CurrentEnv().CreateFolder(back);
      const ObjectFiles::Copy copy =
          ObjectFiles::CopyObjects(snapshot, snapshot + ".xml", back,
                                   [&](const std::string& K) { return missing.count(K) > 0; });
      if (!ObjectFiles::LayersOf(copy.base).empty()) host::ImportGeodaten(copy.base, 10, -1);
      host::ImportDataXML(copy.xml, true);
    } catch (const std::exception& e) {
      outcome_.failed.push_back(
          std::string("Die gesicherten Objekte können nicht gelesen werden:\r") + e.what());
    }
    std::vector<std::string> lost;
    std::map<int32_t, std::vector<const ObjectRow*>> rows_of;
    for (const ObjectRow& row : journal_.object_rows) rows_of[row.KartulID].push_back(&row);
    std::vector<std::string> rows_lost;
    std::string records;
    for (const auto& [K, old_id] : taken_out) {
      if (!missing.count(K)) continue;
      const int32_t id = host::IdOfKennung(K);
      if (id <= 0) {
        lost.push_back(K);
        continue;
      }
      restored_[K].insert(id);
      records += ImportJournal::Record({"zurueck", K, std::to_string(id)});
      const auto rows = rows_of.find(old_id);
      if (rows != rows_of.end() && !AppendObjectRows(id, rows->second)) rows_lost.push_back(K);
    }
    try {
      if (!records.empty()) ImportJournal::Append(project_, records);
    } catch (const std::exception&) {
      // Without the record a later undo takes the object for the import's
      // and loads it back once more.
    }
    if (!lost.empty()) {
      outcome_.failed.push_back("Diese Objekte konnten nicht wiederhergestellt werden: " +
                                Listed(lost));
    }
    if (!rows_lost.empty()) {
      outcome_.failed.push_back(
          "Die Foto-Verknüpfungen und Pflanzenlisten dieser Objekte konnten nicht "
          "wiederhergestellt werden: " +
          Listed(rows_lost));
    }
  }

  void PutPicturesBack() {
    platform::env::Env& env = CurrentEnv();
    std::map<std::string, std::set<std::string>> by_folder;
    for (const ImportJournal::Picture* picture : restore_pictures_) {
      const std::string path = *ImportJournal::PathIn(project_, picture->path);
      try {
        if (!picture->backup.empty()) {
          const std::optional<std::string> backup =
              ImportJournal::PathIn(project_, picture->backup);
          if (!backup) {
            throw platform::env::EnvError(ENOENT, "read", picture->backup);
          }
          platform::env::CopyFile(env, *backup, path);
        } else if (env.LinkStatus(path)) {
          env.Remove(path);
        }
      } catch (const platform::env::EnvError& e) {
        outcome_.failed.push_back("Das Bild " + path +
                                  " konnte nicht zurückgesetzt werden: " + e.what());
      }
    }
    // A copy cut off leaves its temporary file beside the picture, whatever
    // the picture is now: no reader takes it for anything but litter.
    for (const ImportJournal::Picture& picture : journal_.pictures) {
      const std::optional<std::string> path = ImportJournal::PathIn(project_, picture.path);
      if (path) by_folder[platform::env::FolderOf(*path)].insert(platform::env::NameOf(*path));
    }
    for (const auto& [folder, names] : by_folder) RemoveTemporaries(folder, names);
  }

  // The record of bases as before for the objects that go back; those that
  // stay as the import left them keep the entries it wrote. Without the old
  // record (a copy of the project may lack it) the objects that go back
  // lose their entries: a re-import then asks about them as it did before
  // there was a record, and nothing merges against a wrong base.
  void PutBasesBack() {
    if (!journal_.bases_before) return;
    platform::env::Env& env = CurrentEnv();
    const std::string path = project_ + std::string(ImportBases::kFileName);
    const std::string& before = *journal_.bases_before;
    try {
      if (PicturePrint(path) == before) return;
      std::unordered_set<std::string> imported(journal_.loaded.begin(), journal_.loaded.end());
      for (const auto& [K, id] : journal_.deleted) imported.insert(K);
      std::vector<ImportBases::ObjectBase> now;
      try {
        now = ImportBases::Read(env, path).value_or(std::vector<ImportBases::ObjectBase>());
      } catch (const ImportBases::BasesError&) {
        // Damaged: none of its entries can be trusted.
      }
      std::vector<ImportBases::ObjectBase> stays;
      std::unordered_set<std::string> staying;
      for (ImportBases::ObjectBase& object : now) {
        if (imported.count(object.Kennung) && !restore_keys_.count(object.Kennung)) {
          staying.insert(object.Kennung);
          stays.push_back(std::move(object));
        }
      }
      std::optional<std::vector<ImportBases::ObjectBase>> old;
      if (before == kAbsent) {
        old.emplace();
      } else {
        const std::string backup = BasesBackupIn(project_);
        try {
          if (PicturePrint(backup) == before) old = ImportBases::Read(env, backup);
        } catch (const ImportBases::BasesError&) {
        }
      }
      std::vector<ImportBases::ObjectBase> result;
      if (old) {
        result = ImportBases::Replace(std::move(*old), staying, std::move(stays));
      } else {
        // The entries of `now` that are no import's are as they were.
        for (ImportBases::ObjectBase& object : now) {
          if (!imported.count(object.Kennung)) result.push_back(std::move(object));
        }
        for (ImportBases::ObjectBase& object : stays) result.push_back(std::move(object));
      }
      if (result.empty() && (before == kAbsent || !old)) {
        if (env.LinkStatus(path)) env.Remove(path);
      } else {
        ImportBases::Write(env, path, result);
      }
    } catch (const std::exception& e) {
      outcome_.failed.push_back("Die Aufzeichnung der Importstände " + path +
                                " konnte nicht zurückgesetzt werden: " + e.what());
    }
  }

  // ---- What this undo leaves ---------------------------------------------------------

  // Records every item this undo touched that is not as it was before: the
  // next take-back puts back only what still is so.
  void Record() {
    // The space kept for these records.
    try {
      const std::string reserve = platform::env::JoinPath(folder_, kReserveName);
      if (CurrentEnv().LinkStatus(reserve)) CurrentEnv().Remove(reserve);
    } catch (const platform::env::EnvError&) {
    }
    std::string records = announced_ ? std::string() : ImportJournal::Record({"beginn"});
    try {
      records += Stands();
    } catch (const std::exception& e) {
      outcome_.failed.push_back(std::string("Der Stand nach dem Zurücksetzen kann nicht gelesen "
                                            "werden: ") +
                                e.what());
      outcome_.unrecorded = true;
      return;
    }
    records += ImportJournal::Record({"abschluss"});
    try {
      ImportJournal::Append(project_, records);
    } catch (const std::exception&) {
      outcome_.unrecorded = true;
    }
  }

  std::string Stands() {
    std::string records;
    const auto stand = [&records](const std::string& kind, const std::string& key,
                                  const std::string& print) {
      records += ImportJournal::Record({"stand", kind, key, print});
    };
    const RowsOfKeys rows = TransActTools::ReadKeys(keys_);
    const RowPrints now(rows, keys_);
    const RowPrints before(journal_.before, keys_);
    for (const std::string& K : journal_.keys) {
      if (!restore_keys_.count(K)) continue;
      for (const char* kind : {kListe, kPool, kFp}) {
        const std::string print = now.Of(kind, K);
        if (print != before.Of(kind, K)) stand(kind, K, print);
      }
    }
    bool content = false;
    for (const std::string& K : object_keys_) {
      if (!restore_keys_.count(K)) continue;
      const int32_t id = host::IdOfKennung(K);
      object_now_[K] = id > 0 ? id : 0;
      if (IsOriginal(K, object_now_[K]) || (object_now_[K] == 0 && !original_.count(K))) continue;
      if (!content) {
        // Objects left half done are few; their content tells edits the
        // rows' marks do not.
        snapshot_taken_ = false;
        content = true;
      }
      stand(kObjekt, K, ObjectPrint(K, object_now_[K] != 0));
    }
    for (const ImportJournal::Rename& r : journal_.renamed) {
      if (restore_keys_.count(r.to) && host::KennungOf(r.id) == r.to) {
        stand(kUmbenannt, std::to_string(r.id), r.to);
      }
    }
    std::unordered_set<int32_t> ids(restore_fotos_.begin(), restore_fotos_.end());
    for (const auto& [id, text] : EnsureFotoverwaltung().FotoRowTexts(ids)) {
      stand(kFoto, std::to_string(id), HostSnapshot::HashOf(text));
    }
    for (const ImportJournal::Picture* picture : restore_pictures_) {
      const std::string print = PicturePrint(*ImportJournal::PathIn(project_, picture->path));
      if (print != BeforePicture(*picture)) stand(kBild, picture->path, print);
    }
    return records;
  }

  std::string project_;
  std::string folder_;
  const ImportJournal& journal_;
  std::unordered_set<std::string> keys_;
  // A journal of an earlier version recorded no undo: rows marked since
  // the import tell the mapper's work, as they do once the import merged
  // its rows (journal_.rows_merged).
  bool legacy_;
  bool announced_ = false;
  Outcome outcome_;
  std::unordered_set<std::string> marked_since_;

  RowsOfKeys now_rows_;
  std::unordered_map<std::string, int32_t> original_;  // K -> id before the import
  std::unordered_map<std::string, std::set<int32_t>> restored_;
  std::set<std::string> object_keys_;
  std::unordered_map<std::string, int32_t> object_now_;
  std::unordered_map<int32_t, std::string> renamed_now_;
  std::unordered_map<int32_t, std::string> foto_now_;
  bool snapshot_taken_ = false;
  std::unordered_map<int32_t, HostSnapshot::HostObject> snapshot_;
  std::vector<std::string> outside_;

  std::vector<Item> flux_items_;
  std::vector<Item> new_kept_;
  std::unordered_set<std::string> restore_keys_;
  std::vector<int32_t> restore_fotos_;
  std::vector<const ImportJournal::Picture*> restore_pictures_;
  std::set<const ImportJournal::Picture*> pictures_as_before_;
  std::unordered_map<std::string, std::vector<std::string>> in_place_now_;  // K -> values now
  std::unordered_map<std::string, int32_t> in_place_id_;                    // K -> id now, 0 none
  std::unordered_set<std::string> in_place_written_;
};

}  // namespace

std::string PicturePrint(const std::string& path) {
  platform::env::Env& env = CurrentEnv();
  const std::optional<platform::env::FileStatus> st = env.LinkStatus(path);
  if (!st) return kAbsent;
  // A link or a folder in its place is something else than any picture.
  if (!st->IsRegular()) return "kein Bild";
  const std::string bytes = platform::env::ReadFile(env, path);
  return std::to_string(bytes.size()) + ":" + HostSnapshot::HashOf(bytes);
}

std::string BasesBackupIn(const std::string& project_dir) {
  return platform::env::JoinPath(ImportJournal::FolderIn(project_dir),
                                 std::string(ImportBases::kFileName));
}

uint64_t ReserveSize(const ImportJournal& journal) {
  // A record for each item is the most an undo that put nothing back
  // writes; mostly an identifier differs in one of its tables.
  uint64_t size = 4096;
  for (const std::string& K : journal.keys) size += K.size() + 40;
  size += journal.deleted.size() * 60 + journal.fotos.size() * 40;
  for (const ImportJournal::Picture& picture : journal.pictures) size += picture.path.size() + 60;
  return std::min<uint64_t>(size, uint64_t{16} << 20);
}

Outcome TakeBack(const std::string& project_dir, const ImportJournal& journal,
                 bool keep_marked_rows) {
  return TakeBackRun(project_dir, journal, keep_marked_rows).Run();
}

void Finish(const std::string& project_dir) {
  platform::env::Env& env = CurrentEnv();
  const std::string journal = ImportJournal::FileIn(project_dir);
  if (env.LinkStatus(journal)) {
    env.Remove(journal);
    env.SyncFolder(project_dir);
  }
  // The temporary files of the journal's writes and of the record's (only
  // an import writes it, under the lock its caller holds) before the
  // folder: a load finds what is left of an import by the folder alone.
  RemoveTemporaries(project_dir,
                    {platform::env::NameOf(journal), std::string(ImportBases::kFileName)});
  try {
    RemoveTree(ImportJournal::FolderIn(project_dir));
  } catch (const platform::env::EnvError&) {
    // The next project load tries again; nothing reads the folder.
  }
}

namespace {

// What a journal found in the project came to.
enum class Found {
  kNone,  // there was none
  kLeft,  // it stays (another program's, or the mapper's decision, or half undone)
  kGone,  // taken back, set aside, or finished
};

std::string PackageText(const std::string& package) {
  return package.empty() ? std::string("eines Transaktionspakets")
                         : "des Transaktionspakets " + package;
}

// Puts the journal and the import's folder aside under names with
// `suffix`, where no load or import acts on them; an older one set aside
// so goes. Answers the journal's new path. Throws EnvError.
std::string SetAside(const std::string& project, const std::string& suffix) {
  platform::env::Env& env = CurrentEnv();
  const std::string journal = ImportJournal::FileIn(project);
  const std::string to = journal + suffix;
  env.Rename(journal, to);
  env.SyncFolder(project);
  const std::string folder = ImportJournal::FolderIn(project);
  if (env.LinkStatus(folder)) {
    try {
      RemoveTree(folder + suffix);
      env.Rename(folder, folder + suffix);
    } catch (const platform::env::EnvError&) {
      // The folder alone is no journal: the next load removes it.
    }
  }
  return to;
}

// What the import's plan touches, for a mapper who decides without a
// record of what is left.
std::vector<std::string> PlanSummary(const ImportJournal& journal) {
  std::vector<std::string> items;
  const auto add = [&items](size_t count, const std::string& what) {
    if (count > 0) items.push_back(std::to_string(count) + " " + what);
  };
  add(journal.loaded.size(), "Objekte, die der Import aus dem Paket lädt");
  add(journal.deleted.size(), "Objekte des Projekts, die der Import ersetzt");
  add(journal.keys.size(), "Kennungen, deren Zeilen in den Transaktionstabellen der Import ändert");
  add(journal.fotos.size(), "Fotos, die der Import in den Fotokatalog aufnimmt");
  add(journal.pictures.size(), "Bilder, die der Import in KTPhotos schreibt");
  return items;
}

// Sets the journal aside when the mapper confirms it, knowing what stays
// half done. True when it is set aside.
bool ConfirmSetAside(const std::string& project, const std::string& package,
                     const std::vector<std::string>& half_done) {
  const std::string path = ImportJournal::FileIn(project);
  const std::string text =
      "Soll die Journaldatei " + path + " beiseitegelegt werden? Der Import " +
      PackageText(package) +
      " wird dann nie zurückgenommen, und Folgendes bleibt so, wie er oder sein Zurücksetzen "
      "es hinterlassen haben:" +
      Lines(half_done) + "\rDie Datei wird als " + path + ".beiseite aufbewahrt.";
  if (platform::ui::MessageBox(MsgKind::kConfirmation, text, platform::ui::MsgButtons::kYesNo) !=
      platform::ui::MsgAnswer::kYes) {
    return false;
  }
  try {
    SetAside(project, ".beiseite");
  } catch (const platform::env::EnvError& e) {
    platform::ui::MessageBox(MsgKind::kError,
                             "Die Journaldatei kann nicht beiseitegelegt werden:\r" +
                                 std::string(e.what()));
    return false;
  }
  return true;
}

// Tells the mapper what a take-back did. `lead` opens every text;
// `restored` is said when the project is as before the import again.
Found Conclude(const std::string& project, const ImportJournal& journal, const Outcome& outcome,
               const std::string& lead, const std::string& restored, MsgKind kind,
               bool legacy) {
  const std::string path = ImportJournal::FileIn(project);
  if (outcome.failed.empty()) {
    try {
      Finish(project);
    } catch (const platform::env::EnvError& e) {
      platform::ui::MessageBox(
          MsgKind::kError,
          lead + "Der Import ist zurückgenommen, aber seine Journaldatei " + path +
              " kann nicht entfernt werden:\r" + e.what() +
              "\rBeim nächsten Laden wird verglichen und nichts mehr geändert.");
      return Found::kLeft;
    }
    if (outcome.kept.empty() && !legacy) {
      platform::ui::MessageBox(kind, lead + restored);
    } else if (outcome.kept.empty()) {
      platform::ui::MessageBox(kind, lead + "Der Import ist zurückgenommen.");
    } else {
      platform::ui::MessageBox(
          MsgKind::kWarning,
          lead +
              "Der Import ist zurückgenommen, bis auf Folgendes, das seit dem Import geändert "
              "wurde und so bleibt, wie es ist:" +
              Lines(outcome.kept));
    }
    return Found::kGone;
  }
  std::string text = lead +
                     "Folgendes konnte nicht auf den Stand vor dem Import zurückgesetzt werden "
                     "und steht halb importiert:" +
                     Lines(outcome.failed);
  if (!outcome.kept.empty()) {
    text += "\rSeit dem Import geändert und so belassen: " + Listed(outcome.kept) + ".";
  }
  text += "\rDie Journaldatei " + path + " bleibt.";
  if (outcome.unrecorded) {
    text +=
        " Sie konnte nicht festhalten, wie das Zurücksetzen das Projekt hinterlassen hat: beim "
        "nächsten Laden wird alles, was es berührt hat, auf den Stand vor dem Import gesetzt, "
        "auch was bis dahin daran geändert wird.";
  }
  TFormImportJournal form(text, outcome.failed, true);
  const platform::ui::ModalResult result = form.ShowModal();
  host::Redraw();
  if (result == platform::ui::ModalResult::kNo &&
      ConfirmSetAside(project, journal.package, outcome.failed)) {
    return Found::kGone;
  }
  return Found::kLeft;
}

void TellBusy(const std::string& project, bool at_import) {
  std::string package;
  try {
    std::string error;
    const std::optional<ImportJournal> journal = ImportJournal::Parse(
        platform::env::ReadFile(CurrentEnv(), ImportJournal::FileIn(project)), error);
    if (journal) package = journal->package;
  } catch (const platform::env::EnvError&) {
    // No journal yet: the other import is still reading its package.
  }
  std::string text = "Ein anderes Programm importiert gerade " +
                     (package.empty() ? std::string("ein Transaktionspaket")
                                      : "das Transaktionspaket " + package) +
                     " in dieses Projekt.";
  text += at_import ? " Solange es importiert, wird kein weiteres Paket importiert."
                    : " Seine Journaldatei " + ImportJournal::FileIn(project) +
                          " bleibt unberührt; das Projekt ist erst vollständig, wenn dieser "
                          "Import endet.";
  platform::ui::MessageBox(MsgKind::kInformation, text);
}

// Whatever a journal in the project calls for, with the lock answer the
// caller got (and holds, when taken).
Found HandleJournal(const std::string& project, platform::env::LockAnswer answer,
                    bool at_import) {
  platform::env::Env& env = CurrentEnv();
  const std::string path = ImportJournal::FileIn(project);
  if (answer == platform::env::LockAnswer::kBusy) {
    if (!env.LinkStatus(path)) return Found::kNone;
    TellBusy(project, at_import);
    return Found::kLeft;
  }
  if (!env.LinkStatus(path)) {
    // An import that went through may have left its folder when it ended.
    if (answer == platform::env::LockAnswer::kTaken &&
        env.LinkStatus(ImportJournal::FolderIn(project))) {
      try {
        Finish(project);
      } catch (const platform::env::EnvError&) {
      }
    }
    return Found::kNone;
  }
  std::string error;
  std::optional<ImportJournal> journal;
  try {
    journal = ImportJournal::Parse(platform::env::ReadFile(env, path), error);
  } catch (const platform::env::EnvError& e) {
    error = e.what();
  }
  if (!journal) {
    std::string kept = path + ".beschaedigt";
    try {
      kept = SetAside(project, ".beschaedigt");
    } catch (const platform::env::EnvError&) {
    }
    platform::ui::MessageBox(
        MsgKind::kError,
        "In diesem Projekt wurde ein Import unterbrochen, aber seine Journaldatei ist nicht "
        "lesbar:\r" +
            error +
            "\rDas Projekt kann nicht auf den Stand vor dem Import zurückgesetzt werden; bitte "
            "prüfen Sie die Transaktionstabellen, die Objekte und die Fotos. Die Datei liegt als " +
            kept + " vor.");
    return Found::kGone;
  }
  if (journal->committed || !journal->snapshot_taken) {
    // Nothing to take back: the import went through, or it changed nothing.
    try {
      Finish(project);
    } catch (const platform::env::EnvError&) {
      return Found::kLeft;
    }
    return Found::kGone;
  }
  const std::string package = PackageText(journal->package);
  std::string problem;
  const std::optional<std::string> id = ProjectIdentity::Read(project, problem);
  if (journal->version != 1 && id && *id != journal->project_id) {
    std::string to;
    try {
      to = SetAside(project, ".fremd");
    } catch (const platform::env::EnvError& e) {
      platform::ui::MessageBox(MsgKind::kError,
                               "Die Journaldatei " + path + " eines Imports " + package +
                                   " gehört zu einem anderen Projekt und wird hier nicht "
                                   "angewandt; sie kann nicht beiseitegelegt werden:\r" +
                                   e.what());
      return Found::kLeft;
    }
    platform::ui::MessageBox(MsgKind::kWarning,
                             "Die Journaldatei " + path + " eines Imports " + package +
                                 " gehört zu einem anderen Projekt; sie wurde hier nicht "
                                 "angewandt und liegt nun als " +
                                 to + " vor. Dieses Projekt wurde nicht verändert.");
    return Found::kGone;
  }
  const bool legacy = journal->version == 1;
  const bool unconfirmed = legacy || !id;
  if (unconfirmed || answer == platform::env::LockAnswer::kNoLocks) {
    std::string text = "In diesem Projekt liegt die Journaldatei " + path +
                       " eines unterbrochenen Imports " + package + ". ";
    if (legacy) {
      text +=
          "Sie stammt von einer früheren Version des Plug-ins und nennt ihr Projekt nicht; ob "
          "sie zu diesem Projekt gehört und was seit dem Import geändert wurde, lässt sich nicht "
          "sicher feststellen. Beim Zurücknehmen bleiben Zeilen, deren Änderungsmarke seit dem "
          "Import gesetzt wurde, mit ihren Objekten, wie sie sind; Bilder außerhalb dieses "
          "Projektordners werden nicht angerührt.";
    } else if (!id) {
      text += "Die Kennung dieses Projekts (" + std::string(ProjectIdentity::kFileName) +
              ") fehlt oder ist nicht lesbar, so dass sich nicht feststellen lässt, ob die "
              "Journaldatei zu diesem Projekt gehört." +
              (problem.empty() ? std::string() : " " + problem);
    } else {
      text +=
          "Der Projektordner liegt auf einem Dateisystem ohne Sperren; ob ein anderes Programm "
          "diesen Import gerade noch ausführt, lässt sich nicht feststellen. Nehmen Sie ihn nur "
          "zurück, wenn kein anderes Programm dieses Projekt geöffnet hat.";
    }
    const std::vector<std::string> summary = PlanSummary(*journal);
    TFormImportJournal form(text, summary, false);
    switch (form.ShowModal()) {
      case platform::ui::ModalResult::kYes:
        break;
      case platform::ui::ModalResult::kNo:
        return ConfirmSetAside(project, journal->package, summary) ? Found::kGone : Found::kLeft;
      default:
        return Found::kLeft;
    }
    if (unconfirmed) {
      try {
        journal->Adopt(project, ProjectIdentity::Ensure(project));
      } catch (const std::exception& e) {
        platform::ui::MessageBox(MsgKind::kError,
                                 "Die Journaldatei " + path +
                                     " kann nicht diesem Projekt zugeordnet werden; es wurde "
                                     "nichts zurückgenommen:\r" +
                                     e.what());
        return Found::kLeft;
      }
    }
  }
  platform::ui::HourglassGuard hourglass;
  const Outcome outcome = TakeBack(project, *journal, legacy);
  return Conclude(project, *journal, outcome, "Der Import " + package + " wurde unterbrochen. ",
                  "Das Projekt ist wieder wie vor dem Import: seine Objekte, die "
                  "Transaktionstabellen, der Fotokatalog und die Bilder in KTPhotos.",
                  MsgKind::kInformation, legacy);
}

}  // namespace

void RecoverAtLoad() {
  const std::string project = Tools::MyGetProjectDir();
  if (project.empty()) return;
  platform::env::Env& env = CurrentEnv();
  // The common case stays quick: no journal, no folder, no lock file made.
  if (!env.LinkStatus(ImportJournal::FileIn(project)) &&
      !env.LinkStatus(ImportJournal::FolderIn(project))) {
    return;
  }
  platform::env::LockAnswer answer = platform::env::LockAnswer::kTaken;
  const std::unique_ptr<ImportLock> lock = ImportLock::Try(project, answer);
  HandleJournal(project, answer, false);
}

std::unique_ptr<ImportLock> PrepareImport() {
  const std::string project = Tools::MyGetProjectDir();
  if (project.empty()) {
    platform::ui::MessageBox(MsgKind::kError, "Es ist kein Projekt geöffnet.");
    return nullptr;
  }
  platform::env::LockAnswer answer = platform::env::LockAnswer::kTaken;
  std::unique_ptr<ImportLock> lock;
  try {
    lock = ImportLock::Try(project, answer);
  } catch (const platform::env::EnvError& e) {
    platform::ui::MessageBox(MsgKind::kError,
                             "Die Sperrdatei des Imports kann nicht angelegt werden; der Import "
                             "wird nicht ausgeführt:\r" +
                                 std::string(e.what()));
    return nullptr;
  }
  if (answer == platform::env::LockAnswer::kBusy) {
    TellBusy(project, true);
    return nullptr;
  }
  if (HandleJournal(project, answer, true) == Found::kLeft) return nullptr;
  return lock;
}

void TakeBackFailedImport(const std::string& project_dir, const ImportJournal& journal,
                          const std::string& failure) {
  const Outcome outcome = TakeBack(project_dir, journal);
  Conclude(project_dir, journal, outcome, "Der Import ist fehlgeschlagen:\r" + failure + "\r",
           "Das Projekt ist wie vor dem Import: seine Objekte, die Transaktionstabellen, der "
           "Fotokatalog und die Bilder in KTPhotos.",
           MsgKind::kError, false);
}

}  // namespace ImportUndo
