// The import run: read the package, gather what the project holds, ask
// about local work, then under the tables' hold plan, write the journal,
// take the snapshot, and change: the host deletes, the tables merge, the
// host loads, links and pictures follow. A failed step undoes the run.
#include "exchange/ImportFuncs.h"

#include <algorithm>
#include <map>
#include <set>
#include <unordered_map>
#include <unordered_set>

#include "context/BuildProfile.h"
#include "context/PluginContext.h"
#include "context/ProjectIdentity.h"
#include "dialogs/FormKonflikte.h"
#include "dialogs/FormLokaleArbeit.h"
#include "dialogs/FotoActions.h"
#include "exchange/HostSnapshot.h"
#include "exchange/ImportBases.h"
#include "exchange/ImportCapture.h"
#include "exchange/ImportJournal.h"
#include "exchange/ImportMergePlan.h"
#include "exchange/ImportPlan.h"
#include "exchange/ImportUndo.h"
#include "exchange/ObjectFiles.h"
#include "exchange/Preflight.h"
#include "host/HostApi.h"
#include "host/Tools.h"
#include "photos/PictureName.h"
#include "photos/tables/Fotoverwaltung.h"
#include "platform/db/Connection.h"
#include "platform/env/Env.h"
#include "platform/text/Encoding.h"
#include "platform/text/Strings.h"
#include "platform/ui/Ui.h"
#include "transaction/TransActTools.h"

using platform::ui::MsgKind;
using namespace TransActTools;

namespace ImportFuncs {
namespace {

constexpr std::string_view kSection = "VD2Transaktionen";
// The host's export of its objects after the load, in the import's folder.
constexpr const char* kLoadedName = "geladen";

void Inform(MsgKind kind, const std::string& text) {
  platform::ui::MessageBox(kind, text);
}

platform::env::Env& CurrentEnv() {
  return platform::env::Env::Current();
}

// A step of the run that failed, with the text for the mapper.
class StepFailed : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

std::string Listed(const std::vector<std::string>& items) {
  std::string text;
  for (size_t i = 0; i < items.size() && i < 20; ++i) text += "\r" + items[i];
  if (items.size() > 20) text += "\r... (" + std::to_string(items.size()) + " insgesamt)";
  return text;
}

// A path the host takes: ANSI, at most 255 characters.
bool HostCanTake(const std::string& path) {
  return platform::text::FitsAnsi(path) &&
         platform::text::Utf8ToAnsi(path).size() <= Package::kMaxHostPath;
}

// The links among the rows that point to photos taken in this project.
template <class Rows, class Each>
void ForEachLocalPhotoLink(const Rows& rows, const std::unordered_set<int32_t>& local, Each each) {
  for (const ObjectRow& row : rows) {
    if (!row.IsPhotoLink()) continue;
    const std::optional<int32_t> photo = row.PhotoID();
    if (photo && local.count(*photo)) each(row);
  }
}

// Per object id, how many of its links point to photos taken in this
// project (catalogue state 3).
std::unordered_map<int32_t, int> LocalPhotoLinks(
    const std::unordered_map<std::string, int32_t>& objects) {
  std::unordered_map<int32_t, int> counts;
  std::unordered_set<int32_t> ids;
  for (const auto& [K, id] : objects) ids.insert(id);
  if (ids.empty()) return counts;
  TdmFotoverwaltung& catalogue = EnsureFotoverwaltung();
  const std::unordered_set<int32_t> local = catalogue.LocalFotoIDs();
  ForEachLocalPhotoLink(catalogue.ReadObjectRows(ObjectRowTable::kPhotoLinks, ids), local,
                        [&](const ObjectRow& link) { ++counts[link.KartulID]; });
  return counts;
}

// What the project holds of the package's objects, with the stamp of the
// transaction tables taken before their rows were read: the run compares
// it under its hold and takes the plan made from this, as the question
// showed it, while no program wrote the tables since.
struct Gathered {
  std::string stamp;
  ImportPlan::ProjectState state;
};

// `kennungen`: the package's (ImportPlan::PackageKennungen).
Gathered GatherState(const std::vector<std::string>& kennungen) {
  Gathered gathered;
  ImportPlan::ProjectState& state = gathered.state;
  gathered.stamp = TransActTools::TablesStamp();
  state.rows = TransActTools::AllRows();
  state.pool = TransActTools::AllPoolRows();
  const std::unordered_set<std::string_view> wanted(kennungen.begin(), kennungen.end());
  // The rows the merge finds by their original identifier may carry another
  // one now (the mapper switched the object): that object is asked for too.
  std::vector<std::string_view> lookups(kennungen.begin(), kennungen.end());
  for (const TObjectMetadata& row : state.rows) {
    if (row.Kennung != row.Originalkennung && wanted.count(row.Originalkennung) &&
        !wanted.count(row.Kennung)) {
      lookups.push_back(row.Kennung);
    }
  }
  state.objects.reserve(lookups.size());
  for (const std::string_view K : lookups) {
    const int32_t id = host::IdOfKennung(K);
    if (id > 0) state.objects.emplace(std::string(K), id);
  }
  state.local_photos = LocalPhotoLinks(state.objects);
  return gathered;
}

// The merge of the objects with local work, where the record knows each of
// them: what the question may offer as "Zusammenführen".
struct Merging {
  ImportMergePlan::Inputs inputs;
  std::vector<ImportMergePlan::ObjectMerge> merges;
  std::vector<ImportMergePlan::Conflict> conflicts;  // as decided
  std::unordered_map<std::string, ImportMergePlan::Way> ways;
};

// The objects with local work a merge takes, where it can take each of
// them; nothing where the build does not merge, an object is unknown to the
// record (imported before there was one) or was switched to another
// identifier: the question is then asked as before. Only the record is read
// here, so that the question comes as quickly as it did.
std::optional<std::vector<std::string>> MergeCandidates(const ImportPlan::Objects& objects,
                                                        const ImportPlan::ProjectState& state) {
  if (!CurrentProfile().import_merges || objects.local_work.empty()) return std::nullopt;
  std::vector<std::string> kennungen;
  for (const ImportPlan::LocalWork& work : objects.local_work) {
    if (!work.kept_anyway) kennungen.push_back(work.Kennung);
  }
  if (kennungen.empty()) return std::nullopt;
  const std::unordered_set<std::string> wanted(kennungen.begin(), kennungen.end());
  for (const TObjectMetadata& row : state.rows) {
    if (row.Kennung != row.Originalkennung &&
        (wanted.count(row.Kennung) || wanted.count(row.Originalkennung))) {
      return std::nullopt;
    }
  }
  size_t known = 0;
  try {
    const std::optional<std::vector<ImportBases::ObjectBase>> record = ImportBases::Read(
        CurrentEnv(), Tools::MyGetProjectDir() + std::string(ImportBases::kFileName));
    if (!record) return std::nullopt;
    for (const ImportBases::ObjectBase& object : *record) known += wanted.count(object.Kennung);
  } catch (const ImportBases::BasesError&) {
    return std::nullopt;  // rewritten by this import
  }
  if (known != wanted.size()) return std::nullopt;
  return kennungen;
}

// After "Zusammenführen": the merge of `kennungen` read from the project
// and the package; nothing, after telling the mapper, when it cannot be.
std::optional<Merging> PlanMerging(const PackageContent& content,
                                   const std::vector<std::string>& kennungen,
                                   const ImportPlan::ProjectState& state) {
  platform::ui::HourglassGuard hourglass;
  Merging merging;
  // The host's export goes into the import's folder, which a load removes
  // should the program be killed meanwhile; it goes again before the
  // conflicts are asked, which may be the end of the import.
  platform::env::Env& env = CurrentEnv();
  const std::string folder = ImportJournal::FolderIn(Tools::MyGetProjectDir());
  struct MadeFolder {
    platform::env::Env& env;
    std::string path;
    ~MadeFolder() {
      try {
        if (!path.empty()) env.RemoveFolder(path);
      } catch (const std::exception&) {
        // Removed at the next load or import.
      }
    }
  } made{env, {}};
  try {
    if (!env.Stat(folder)) {
      env.CreateFolder(folder);
      made.path = folder;
    }
    std::optional<ImportMergePlan::Inputs> inputs = ImportMergePlan::Gather(
        content, kennungen, state.rows, platform::env::JoinPath(folder, "zusammenfuehren"));
    if (!inputs) throw ImportBases::BasesError("Die Aufzeichnung der Importstände fehlt.");
    merging.inputs = std::move(*inputs);
  } catch (const std::exception& e) {
    Inform(MsgKind::kError,
           "Die Objekte können nicht zusammengeführt werden; der Import wird nicht "
           "ausgeführt:\r" +
               std::string(e.what()));
    return std::nullopt;
  }
  merging.merges = ImportMergePlan::Plan(kennungen, merging.inputs);
  merging.conflicts = ImportMergePlan::Conflicts(merging.merges, merging.inputs);
  return merging;
}

// The mapper's decisions of the merge's conflicts; false: cancel.
bool DecideConflicts(const std::string& package, Merging& merging) {
  if (merging.conflicts.empty()) return true;
  std::vector<TFormKonflikte::Line> lines;
  for (const ImportMergePlan::Conflict& c : merging.conflicts) {
    lines.push_back(
        {c.Kennung, c.field, c.local, c.package, c.choice == ImportMergePlan::Side::kPackage});
  }
  TFormKonflikte form(package, std::move(lines));
  if (form.ShowModal() != platform::ui::ModalResult::kOk) return false;
  for (size_t i = 0; i < merging.conflicts.size(); ++i) {
    merging.conflicts[i].choice = form.Lines()[i].take_package ? ImportMergePlan::Side::kPackage
                                                               : ImportMergePlan::Side::kLocal;
  }
  return true;
}

// The mapper's choice for the objects with local work; nothing: cancel.
// `candidates`: what a merge takes (MergeCandidates); `merging`: the merge
// as decided, when the answer is kMerge.
std::optional<ImportPlan::Policy> AskAboutLocalWork(
    const std::string& package, const PackageContent& content, const ImportPlan::Objects& objects,
    const ImportPlan::ProjectState& state,
    const std::optional<std::vector<std::string>>& candidates, std::optional<Merging>& merging) {
  if (objects.local_work.empty()) return ImportPlan::Policy::kTakePackage;
  std::vector<TFormLokaleArbeit::Line> lines;
  for (const ImportPlan::LocalWork& work : objects.local_work) {
    lines.push_back({work.Kennung, work.TID, work.what, work.kept_anyway});
  }
  TFormLokaleArbeit form(package, lines, candidates.has_value());
  switch (form.ShowModal()) {
    case platform::ui::ModalResult::kOk:
      if (!candidates) return std::nullopt;
      merging = PlanMerging(content, *candidates, state);
      if (!merging || !DecideConflicts(package, *merging)) return std::nullopt;
      merging->ways = ImportMergePlan::Ways(merging->merges, merging->inputs, merging->conflicts);
      return ImportPlan::Policy::kMerge;
    case platform::ui::ModalResult::kYes:
      return ImportPlan::Policy::kKeepLocalWork;
    case platform::ui::ModalResult::kNo:
      return ImportPlan::Policy::kTakePackage;
    default:
      return std::nullopt;
  }
}

class ImportRun {
 public:
  // `gathered` and `objects`: what the question was asked from, planned
  // for `planned`.
  ImportRun(const Package::Names& names, const PackageContent& content,
            std::vector<std::string> kennungen, Gathered gathered, ImportPlan::Objects objects,
            ImportPlan::Policy planned, ImportPlan::Policy policy, bool with_photos,
            std::optional<Merging> merging = std::nullopt)
      : names_(names),
        content_(content),
        kennungen_(std::move(kennungen)),
        gathered_(std::move(gathered)),
        objects_(std::move(objects)),
        planned_(planned),
        policy_(policy),
        with_photos_(with_photos),
        merging_(std::move(merging)),
        project_(Tools::MyGetProjectDir()),
        folder_(ImportJournal::FolderIn(project_)) {}

  bool Execute() {
    if (project_.empty()) {
      Inform(MsgKind::kError, "Es ist kein Projekt geöffnet.");
      return false;
    }
    try {
      hold_ = TransActTools::HoldTables();
    } catch (const std::exception& e) {
      Inform(MsgKind::kError,
             "Die Transaktionstabellen werden von einem anderen Programm benutzt; der Import "
             "wird nicht ausgeführt:\r" +
                 std::string(e.what()));
      return false;
    }
    try {
      Plan();
    } catch (const std::exception& e) {
      Inform(MsgKind::kError,
             "Das Projekt kann nicht gelesen werden; der Import wird nicht ausgeführt:\r" +
                 std::string(e.what()));
      return false;
    }
    if (!BeginJournal()) return false;
    std::string failure;
    try {
      Change();
    } catch (const std::exception& e) {
      failure = e.what();
    }
    if (!failure.empty()) {
      ImportUndo::TakeBackFailedImport(project_, journal_, failure);
      return false;
    }
    // The import stands from the record of its end on; removing the journal
    // is its other sign, should the record not be written.
    std::string committed;
    try {
      ImportJournal::AppendStep(project_, "fertig");
    } catch (const std::exception& e) {
      committed = e.what();
    }
    try {
      ImportUndo::Finish(project_);
    } catch (const std::exception& e) {
      if (!committed.empty()) {
        Inform(MsgKind::kError,
               "Der Import ist vollständig, aber seine Journaldatei " +
                   ImportJournal::FileIn(project_) +
                   " kann weder abgeschlossen noch entfernt werden:\r" + committed + "\r" +
                   e.what() +
                   "\rBitte löschen Sie sie, bevor das Projekt neu geladen wird; sonst wird der "
                   "Import dann zurückgenommen.");
      }
    }
    hold_.reset();
    if (!notes_.empty()) {
      std::string text = "Das Transaktionspaket " + names_.D + names_.P + " ist importiert.";
      for (const std::string& note : notes_) text += "\r\r" + note;
      Inform(MsgKind::kWarning, text);
    }
    return true;
  }

 private:
  // ---- Before anything changes -------------------------------------------------------

  void Plan() {
    // Another program may have written the tables while the question was
    // open: then they are read and planned anew, for the answer given. The
    // links to local photos are few and read again.
    bool replan = planned_ != policy_;
    if (TransActTools::TablesStamp() != gathered_.stamp) {
      gathered_ = GatherState(kennungen_);
      replan = true;
    } else {
      std::unordered_map<int32_t, int> photos = LocalPhotoLinks(gathered_.state.objects);
      if (photos != gathered_.state.local_photos) {
        gathered_.state.local_photos = std::move(photos);
        replan = true;
      }
    }
    if (merging_) {
      for (const auto& [K, way] : merging_->ways) {
        if (way.kind == ImportMergePlan::Way::kReload) merge_ways_.reloaded.insert(K);
        if (way.kind == ImportMergePlan::Way::kInPlace) merge_ways_.in_place.insert(K);
      }
    }
    if (replan) objects_ = ImportPlan::PlanObjects(content_, gathered_.state, policy_, merge_ways_);
    notes_ = content_.notes;
    if (!objects_.untouched.empty()) {
      notes_.push_back(
          "Folgende Objekte des Pakets wurden nicht übernommen, weil ihre Kennungen im Projekt "
          "mehrfach vergeben oder mit anderen Kennungen getauscht wurden; Objekte und Zeilen "
          "blieben, wie sie sind:" +
          Listed(objects_.untouched));
    }

    journal_.package = names_.D + names_.P;
    std::unordered_set<std::string> keys;
    for (const std::string& K : kennungen_) {
      if (keys.insert(K).second) journal_.keys.push_back(K);
    }
    for (const FreeKennung& free : content_.kennungen) {
      if (keys.insert(free.Kennung).second) journal_.keys.push_back(free.Kennung);
    }
    for (const auto& [local, K] : objects_.comes_back_as) {
      if (keys.insert(local).second) journal_.keys.push_back(local);
    }
    journal_.before = TransActTools::ReadKeys(keys, gathered_.state.rows, gathered_.state.pool);
    if (content_.has_tid && content_.tid.Transaktion != -1 &&
        !TransActTools::HasTransaction(content_.tid.Transaktion)) {
      journal_.registered = content_.tid.Transaktion;
    }
    journal_.deleted = objects_.deleted;
    for (const ImportPlan::Objects::Rename& r : objects_.renamed) {
      journal_.renamed.push_back({r.id, r.from, r.to});
      if (keys.insert(r.from).second) journal_.keys.push_back(r.from);
    }
    journal_.loaded.assign(objects_.loaded.begin(), objects_.loaded.end());
    std::sort(journal_.loaded.begin(), journal_.loaded.end());
    // Objects the merge writes values into go back from the snapshot, as
    // deleted ones do, should the import be taken back: their rows too.
    if (merging_) PlanValuesInPlace();
    std::unordered_set<int32_t> deleted_ids;
    for (const auto& [K, id] : objects_.deleted) deleted_ids.insert(id);
    for (const ImportJournal::InPlace& object : journal_.in_place) deleted_ids.insert(object.id);
    for (const ObjectRowTable table : {ObjectRowTable::kPhotoLinks, ObjectRowTable::kPlantList}) {
      for (ObjectRow& row : EnsureFotoverwaltung().ReadObjectRows(table, deleted_ids)) {
        journal_.object_rows.push_back(std::move(row));
      }
    }
    if (with_photos_) PlanPhotos();
    if (CurrentProfile().import_merges && (!journal_.loaded.empty() || merging_)) {
      journal_.bases_before = ImportUndo::PicturePrint(BasesPath());
    }

    // Every path the host is handed must fit its 255 characters.
    const std::string snapshot = platform::env::JoinPath(folder_, ImportUndo::kSnapshotName);
    std::vector<std::string> paths;
    if (journal_.bases_before || Preflight::PreflightAsked()) {
      paths.push_back(platform::env::JoinPath(platform::env::JoinPath(folder_, kLoadedName),
                                              "objekte_mpt.shp"));
    }
    if (!objects_.deleted.empty() || !journal_.in_place.empty()) {
      paths.push_back(snapshot + "_mpt.shp");
      paths.push_back(platform::env::JoinPath(platform::env::JoinPath(folder_, "zurueck"),
                                              std::string(ImportUndo::kSnapshotName) + "_mpt.shp"));
    }
    if (FilteredLoad()) {
      for (const ImportFuncs::GeoLayer& layer : content_.layers) {
        paths.push_back(platform::env::JoinPath(platform::env::JoinPath(folder_, "paket"),
                                                platform::env::NameOf(layer.path)));
      }
      if (!content_.xml.empty()) {
        paths.push_back(platform::env::JoinPath(platform::env::JoinPath(folder_, "paket"),
                                                platform::env::NameOf(content_.xml)));
      }
    }
    for (const std::string& path : paths) {
      if (!HostCanTake(path)) {
        throw StepFailed(
            "Der Pfad des Projektordners ist zu lang, um KARTUL die Objekte übergeben zu können "
            "(höchstens 255 Zeichen im Windows-Zeichensatz):\r" +
            path);
      }
    }
  }

  // The values the merge writes into objects that stay, each with the one
  // it replaces, for an undo to put back.
  void PlanValuesInPlace() {
    std::vector<std::string> keys(merge_ways_.in_place.begin(), merge_ways_.in_place.end());
    std::sort(keys.begin(), keys.end());
    for (const std::string& K : keys) {
      const ImportMergePlan::Way& way = merging_->ways.at(K);
      const auto object = gathered_.state.objects.find(K);
      if (way.writes.empty() || object == gathered_.state.objects.end()) continue;
      ImportJournal::InPlace& in_place = journal_.in_place.emplace_back();
      in_place.Kennung = K;
      in_place.id = object->second;
      host::SetActiveObject(in_place.id);
      for (const auto& [field, text] : way.writes) {
        in_place.values.push_back({field, Tools::MyGetValueByName("linfos", field), text});
      }
    }
  }

  void PlanPhotos() {
    const std::string T = project_ + "KTPhotos";
    std::vector<std::string> pictures;
    if (CurrentEnv().Stat(T)) pictures = CurrentEnv().ListFolder(T);
    photos_ = ImportPlan::PlanPhotos(content_, EnsureFotoverwaltung().CatalogueEntries(), pictures);
    for (const tables::TFotoMetadaten& foto : photos_.rows) {
      journal_.fotos.push_back({foto.FotoID, foto.Dateiname});
    }
    // The journal names them relative to the project folder: a copy of the
    // folder must never reach into this one.
    for (const ImportPlan::PhotoPlan::Copy& copy : photos_.copies) {
      ImportJournal::Picture& picture = journal_.pictures.emplace_back();
      picture.path = ImportJournal::PictureName(copy.replaces ? copy.present : copy.to);
      picture.before = ImportUndo::kNoPicture;
      if (copy.replaces) {
        picture.backup = ImportJournal::BackupName(copy.present);
        picture.before = ImportUndo::PicturePrint(platform::env::JoinPath(T, copy.present));
      }
    }
    if (!photos_.unusable.empty()) {
      std::string text =
          "Folgende Fotos der Fotoliste haben keinen gültigen Dateinamen "
          "(höchstens " +
          std::to_string(kPicFileNameWidth) + " Zeichen, ohne Pfad) und wurden nicht importiert:";
      for (const std::string& name : photos_.unusable) text += "\r\"" + name + "\"";
      notes_.push_back(text);
    }
    if (!photos_.kept.empty()) {
      notes_.push_back(
          "Folgende Fotodateien werden von anderen Fotos des Projekts verwendet und wurden nicht "
          "überschrieben:" +
          Listed(photos_.kept));
    }
    // The row that came in is the first the package holds of its id.
    std::unordered_map<int32_t, const tables::TFotoMetadaten*> delivered;
    for (const tables::TFotoMetadaten& foto : content_.fotos) delivered.emplace(foto.FotoID, &foto);
    std::vector<std::string> renamed;
    for (const tables::TFotoMetadaten& foto : photos_.rows) {
      const auto first = delivered.find(foto.FotoID);
      if (first != delivered.end() && first->second->Dateiname != foto.Dateiname) {
        renamed.push_back(std::to_string(foto.FotoID) + ": " + first->second->Dateiname + " -> " +
                          foto.Dateiname);
      }
    }
    if (!renamed.empty()) {
      notes_.push_back(
          "Folgende Fotos des Pakets haben den Dateinamen eines anderen Fotos des Projekts und "
          "wurden unter einem eigenen Namen abgelegt:" +
          Listed(renamed));
    }
  }

  // Whether the host gets a copy of the package without the kept objects.
  bool FilteredLoad() const {
    for (const ImportFuncs::GeoLayer& layer : content_.layers) {
      for (const std::string& K : layer.ids) {
        if (objects_.kept.count(K)) return true;
      }
    }
    for (const std::string& K : content_.xml_ids) {
      if (objects_.kept.count(K)) return true;
    }
    return false;
  }

  // The journal, then the snapshot; nothing of the project has changed
  // when this fails.
  bool BeginJournal() {
    platform::env::Env& env = CurrentEnv();
    try {
      ImportUndo::Finish(project_);  // a folder left by an earlier run
      journal_.project_id = ProjectIdentity::Ensure(project_);
      env.CreateFolder(folder_);
      journal_.Write(project_);
      // Room for what an undo that cannot finish must record, should the
      // disk fill meanwhile.
      WriteReserve(ImportUndo::ReserveSize(journal_));
    } catch (const std::exception& e) {
      Inform(MsgKind::kError,
             "Die Journaldatei des Imports kann nicht geschrieben werden; der Import wird nicht "
             "ausgeführt:\r" +
                 std::string(e.what()));
      try {
        ImportUndo::Finish(project_);
      } catch (const std::exception&) {
      }
      return false;
    }
    try {
      TakeSnapshot();
      ImportJournal::AppendStep(project_, "schnappschuss");
      journal_.snapshot_taken = true;
      journal_.all_in_flux = true;
    } catch (const std::exception& e) {
      Inform(MsgKind::kError,
             "Der Stand des Projekts kann vor dem Import nicht gesichert werden; der Import wird "
             "nicht ausgeführt, das Projekt ist unverändert:\r" +
                 std::string(e.what()));
      try {
        ImportUndo::Finish(project_);
      } catch (const std::exception&) {
      }
      return false;
    }
    return true;
  }

  void WriteReserve(uint64_t size) {
    std::unique_ptr<platform::env::File> file =
        CurrentEnv().Open(platform::env::JoinPath(folder_, ImportUndo::kReserveName),
                          platform::env::OpenMode::kTruncate);
    const std::string block(64 * 1024, ' ');
    for (uint64_t at = 0; at < size; at += block.size()) {
      file->WriteAt(at, block.data(), static_cast<size_t>(std::min<uint64_t>(block.size(), size - at)));
    }
  }

  void TakeSnapshot() {
    platform::env::Env& env = CurrentEnv();
    if (!objects_.deleted.empty() || !journal_.in_place.empty()) {
      const std::string base = platform::env::JoinPath(folder_, ImportUndo::kSnapshotName);
      switch (HostSnapshot::ExportProject(base)) {
        case HostSnapshot::ExportRefused::kGeodata:
          throw StepFailed("KARTUL konnte die Geodaten des Projekts nicht nach " + base +
                           ".shp exportieren.");
        case HostSnapshot::ExportRefused::kAttributes:
          throw StepFailed("KARTUL konnte die Attributdaten des Projekts nicht nach " + base +
                           ".xml exportieren.");
        case HostSnapshot::ExportRefused::kNone:
          break;
      }
    }
    std::vector<platform::env::CopyJob> backups;
    if (journal_.bases_before && *journal_.bases_before != ImportUndo::kNoPicture) {
      backups.push_back({BasesPath(), ImportUndo::BasesBackupIn(project_)});
    }
    for (const ImportJournal::Picture& picture : journal_.pictures) {
      if (!picture.backup.empty()) {
        backups.push_back({*ImportJournal::PathIn(project_, picture.path),
                           *ImportJournal::PathIn(project_, picture.backup)});
      }
    }
    if (!backups.empty()) {
      if (!journal_.pictures.empty()) {
        env.CreateFolder(platform::env::JoinPath(folder_, ImportUndo::kPictureBackups));
      }
      std::vector<std::string> failed;
      for (const std::string& error : platform::env::CopyFiles(env, backups)) {
        if (!error.empty()) failed.push_back(error);
      }
      if (!failed.empty()) throw StepFailed("Sichern:" + Listed(failed));
    }
  }

  // ---- The changes -------------------------------------------------------------------------

  void Change() {
    // The deletion hook of the full build leaves the list alone meanwhile;
    // the earlier builds set no such flag.
    const context::ImportRunning running;
    TransActTools::CreateTransactionList("TA_LIST");
    TransActTools::CreateKennungList();
    TransActTools::CreateTransactionIDTable();
    hold_->TakeNewTables();

    DeleteObjects();
    RenameObjects();
    // The rows as they are now: a deletion or identifier hook may have
    // written them meanwhile.
    std::optional<ImportPlan::ProjectState> now;
    if (TransActTools::TablesStamp() != gathered_.stamp) {
      now.emplace();
      now->rows = TransActTools::AllRows();
      now->pool = TransActTools::AllPoolRows();
    }
    const ImportPlan::ProjectState& rows = now ? *now : gathered_.state;
    const ImportChanges changes = ImportPlan::PlanMerge(
        content_, rows.rows, rows.pool, objects_,
        content_.has_tid && TransActTools::HasTransaction(content_.tid.Transaktion));
    TransActTools::ApplyImport(changes);
    // From here on a change mark in the package's rows is not the import's:
    // a later take-back keeps the rows the mapper marks should it run
    // after a kill.
    ImportJournal::AppendStep(project_, "zeilen");
    journal_.rows_merged = true;
    LoadObjects();
    if (policy_ == ImportPlan::Policy::kTakePackage) RestoreLocalPhotoLinks();
    if (merging_) CarryObjectRows();
    TransActTools::AddFreeKennungen(ImportPlan::PlanFreeKennungen(
        content_, TransActTools::AllPoolRows(), TransActTools::ListedKennungen(),
        [](const std::string& K) { return host::KennungExists(K); }));
    CopyPhotos();
    RecordLoad();
    // After the record: what it holds of a reloaded object is the package's
    // version as loaded, and the local values written now are local work.
    if (merging_) WriteMerged();
  }

  void DeleteObjects() {
    std::vector<std::string> stayed;
    for (const auto& [K, id] : objects_.deleted) {
      host::DeleteObject(id);
      if (host::IdOfKennung(K) == id) stayed.push_back(K);
    }
    if (!stayed.empty()) {
      throw StepFailed("KARTUL hat diese Objekte nicht gelöscht:" + Listed(stayed));
    }
  }

  // Objects whose rows another transaction keeps get back the identifier
  // the merge gives their rows back.
  void RenameObjects() {
    std::vector<std::string> refused;
    for (const ImportPlan::Objects::Rename& r : objects_.renamed) {
      context::SetOwnKennung(r.id, r.to);
      if (host::KennungOf(r.id) != r.to) refused.push_back(r.from + " -> " + r.to);
    }
    if (!refused.empty()) {
      throw StepFailed("KARTUL hat diesen Objekten ihre Kennung nicht zurückgegeben:" +
                       Listed(refused));
    }
  }

  void LoadObjects() {
    std::string base = content_.geodata;
    std::string xml = content_.xml;
    if (FilteredLoad()) {
      const std::string to = platform::env::JoinPath(folder_, "paket");
      CurrentEnv().CreateFolder(to);
      const ObjectFiles::Copy copy = ObjectFiles::CopyObjects(
          base, xml, to, [&](const std::string& K) { return !objects_.kept.count(K); });
      base = base.empty() ? base : copy.base;
      xml = copy.xml;
    }
    if (!base.empty() && !host::ImportGeodaten(base, 10, -1)) {
      throw StepFailed("Die Geodaten konnten nicht geladen werden:\r" + base);
    }
    if (!xml.empty() && !host::ImportDataXML(xml, true)) {
      throw StepFailed("Die Attributdaten konnten nicht geladen werden:\r" + xml);
    }
    std::vector<std::string> missing;
    for (const std::string& K : journal_.loaded) {
      if (host::IdOfKennung(K) <= 0) missing.push_back(K);
    }
    if (!missing.empty()) {
      throw StepFailed("KARTUL hat diese Objekte des Pakets nicht geladen:" + Listed(missing));
    }
  }

  // The links of the objects loaded anew to photos taken in this project.
  void RestoreLocalPhotoLinks() {
    std::map<int32_t, std::vector<const ObjectRow*>> links;
    const bool any = std::any_of(journal_.object_rows.begin(), journal_.object_rows.end(),
                                 [](const ObjectRow& row) { return row.IsPhotoLink(); });
    if (any) {
      ForEachLocalPhotoLink(journal_.object_rows, EnsureFotoverwaltung().LocalFotoIDs(),
                            [&](const ObjectRow& row) { links[row.KartulID].push_back(&row); });
    }
    std::vector<std::string> refused;
    for (const auto& [K, old_id] : objects_.deleted) {
      const auto found = links.find(old_id);
      if (found == links.end()) continue;
      const auto back = objects_.comes_back_as.find(K);
      const std::string& now = back == objects_.comes_back_as.end() ? K : back->second;
      if (!AppendObjectRows(host::IdOfKennung(now), found->second)) refused.push_back(K);
    }
    if (!refused.empty()) {
      throw StepFailed(
          "KARTUL hat die Verknüpfungen dieser Objekte mit lokalen Fotos nicht "
          "angenommen:" +
          Listed(refused));
    }
  }

  // The photo links and plant-list rows of the objects the merge reloads go
  // with them to the package's object: what the mapper attached stays.
  void CarryObjectRows() {
    std::unordered_map<int32_t, std::vector<const ObjectRow*>> rows;
    for (const ObjectRow& row : journal_.object_rows) rows[row.KartulID].push_back(&row);
    std::vector<std::string> refused;
    for (const auto& [K, old_id] : objects_.deleted) {
      if (!merge_ways_.reloaded.count(K)) continue;
      const auto found = rows.find(old_id);
      if (found == rows.end()) continue;
      if (!AppendObjectRows(host::IdOfKennung(K), found->second)) refused.push_back(K);
    }
    if (!refused.empty()) {
      throw StepFailed(
          "KARTUL hat die Foto-Verknüpfungen und Pflanzenlisten dieser Objekte nicht "
          "angenommen:" +
          Listed(refused));
    }
  }

  // The winning values of the other side written into each merged object,
  // read back as the host holds them; the rows of objects a local value
  // survives in keep "UPDATE", so that the next export sends them.
  void WriteMerged() {
    std::vector<std::string> refused;
    std::vector<std::string> keys;
    for (const auto& [K, way] : merging_->ways) keys.push_back(K);
    std::sort(keys.begin(), keys.end());
    {
      const context::NoChangeMarks no_change_marks;
      for (const std::string& K : keys) {
        const ImportMergePlan::Way& way = merging_->ways.at(K);
        if (way.kind == ImportMergePlan::Way::kKeepLocal || way.writes.empty()) continue;
        host::SetActiveObject(host::IdOfKennung(K));
        bool taken = true;
        for (const auto& [field, text] : way.writes) {
          taken = Tools::MySetValueByName("linfos", field, text) && taken;
        }
        taken = host::PostRecord("linfos") && taken;
        for (const auto& [field, text] : way.writes) {
          taken = taken && Tools::MyGetValueByName("linfos", field) == text;
        }
        if (!taken) refused.push_back(K);
      }
    }
    if (!refused.empty()) {
      throw StepFailed("KARTUL hat die zusammengeführten Werte dieser Objekte nicht angenommen:" +
                       Listed(refused));
    }
    for (const std::string& K : keys) {
      const ImportMergePlan::Way& way = merging_->ways.at(K);
      if (way.kind != ImportMergePlan::Way::kKeepLocal && way.local_survives) {
        TransActTools::UpdateChangedFlag(K, TransActTools::kUpdate);
      }
    }
    notes_.push_back(MergeSummary(keys));
  }

  // What the merge did, for the mapper's end message.
  std::string MergeSummary(const std::vector<std::string>& keys) const {
    int merged = 0, from_local = 0, from_package = 0;
    std::vector<std::string> unwritable;
    std::unordered_set<std::string> field_by_field;
    for (const ImportMergePlan::ObjectMerge& merge : merging_->merges) {
      if (merge.result.outcome == ImportMerge::Outcome::kMerged ||
          merge.result.outcome == ImportMerge::Outcome::kConflict) {
        field_by_field.insert(merge.versions.Kennung);
      }
    }
    for (const std::string& K : keys) {
      const ImportMergePlan::Way& way = merging_->ways.at(K);
      if (!field_by_field.count(K)) continue;
      ++merged;
      from_local += way.from_local;
      from_package += way.from_package;
      for (const std::string& field : way.unwritable) unwritable.push_back(K + ", " + field);
    }
    const auto fields = [](int n) { return std::to_string(n) + (n == 1 ? " Feld" : " Felder"); };
    std::string text = "Zusammengeführt: " + std::to_string(merged) +
                       (merged == 1 ? " Objekt" : " Objekte") + "; " + fields(from_package) +
                       " aus dem Paket, " + fields(from_local) + " lokal behalten.";
    if (!merging_->conflicts.empty()) {
      std::vector<std::string> decided;
      for (const ImportMergePlan::Conflict& c : merging_->conflicts) {
        decided.push_back(
            c.Kennung + ", " + (c.field.empty() ? "das Objekt" : c.field) + ": " +
            (c.choice == ImportMergePlan::Side::kPackage ? "aus dem Paket" : "lokal behalten"));
      }
      text += "\rKonflikte:" + Listed(decided);
    }
    std::vector<std::string> dropped;
    for (const ImportMergePlan::ObjectMerge& merge : merging_->merges) {
      if (merge.result.outcome != ImportMerge::Outcome::kReadOnlyConflict) continue;
      const ImportMergePlan::Way& way = merging_->ways.at(merge.versions.Kennung);
      if (way.kind != ImportMergePlan::Way::kReload) continue;
      for (const ImportMerge::Field& field : merge.versions.fields) {
        if (field.name == ImportMerge::kKennung || field.name == ImportMerge::kPlants ||
            !ImportMerge::ChangedLocally(field)) {
          continue;
        }
        dropped.push_back(
            merge.versions.Kennung + ", " + field.name + ": " +
            ImportMergePlan::LocalText(merging_->inputs, merge.versions.Kennung, field.name));
      }
    }
    if (!dropped.empty()) {
      text +=
          "\rDas Paket führt diese Objekte nur lesend; ihre lokalen Änderungen wurden "
          "verworfen:" +
          Listed(dropped);
    }
    if (!unwritable.empty()) {
      text +=
          "\rDiese Werte des Pakets kann KARTUL nicht aufnehmen (Zeichen außerhalb des "
          "Windows-Zeichensatzes); die lokalen Werte blieben:" +
          Listed(unwritable);
    }
    return text;
  }

  void CopyPhotos() {
    if (!with_photos_ || !content_.has_photos) return;
    platform::env::Env& env = CurrentEnv();
    const std::string T = project_ + "KTPhotos";
    if (!env.Stat(T)) env.CreateFolder(T);
    std::vector<platform::env::CopyJob> jobs;
    for (size_t i = 0; i < photos_.copies.size(); ++i) {
      const ImportPlan::PhotoPlan::Copy& copy = photos_.copies[i];
      platform::env::CopyJob& job = jobs.emplace_back();
      job.from = copy.picture->path;
      job.to = *ImportJournal::PathIn(project_, journal_.pictures[i].path);
      job.expect = copy.picture->status;
    }
    std::vector<std::string> failed;
    for (const std::string& error : platform::env::CopyFiles(env, jobs)) {
      if (!error.empty()) failed.push_back(error);
    }
    if (!failed.empty())
      throw StepFailed("Die Fotos konnten nicht kopiert werden:" + Listed(failed));
    EnsureFotoverwaltung().AppendFotos(photos_.rows);
  }

  // What is kept of the objects as the host loaded them: with the preflight
  // asked for, their fingerprints (for it to find changes made without a
  // mark); where the re-import merges, the record of their bases. One
  // export of the host serves both.
  void RecordLoad() {
    std::vector<std::pair<std::string, int32_t>> kennungen;
    for (const TTransaktionslistenDaten& R : content_.rows) {
      if (!objects_.kept.count(R.Kennung)) kennungen.emplace_back(R.Kennung, R.TID);
    }
    const bool fingerprints = Preflight::PreflightAsked() && !kennungen.empty();
    const bool bases = journal_.bases_before.has_value();
    if (!fingerprints && !bases) return;
    const std::unordered_set<std::string> loaded(journal_.loaded.begin(), journal_.loaded.end());
    const auto wanted = [&loaded](const std::string& K) { return loaded.count(K) > 0; };
    const HostSnapshot::Snapshot snapshot = HostSnapshot::TakeSnapshot(
        bases ? std::function<bool(const std::string&)>(wanted) : nullptr,
        platform::env::JoinPath(folder_, kLoadedName));
    if (fingerprints) HostSnapshot::StoreFingerprints(kennungen, snapshot.objects);
    if (bases) RecordBases(snapshot, wanted);
  }

  std::string BasesPath() const { return project_ + std::string(ImportBases::kFileName); }

  // The record of bases with the entries of the objects loaded now in place
  // of those of the objects this import replaced or deleted.
  void RecordBases(const HostSnapshot::Snapshot& snapshot,
                   const std::function<bool(const std::string&)>& wanted) {
    platform::env::Env& env = CurrentEnv();
    const std::string path = BasesPath();
    std::vector<ImportBases::ObjectBase> record;
    try {
      if (std::optional<std::vector<ImportBases::ObjectBase>> read = ImportBases::Read(env, path)) {
        record = std::move(*read);
      }
    } catch (const ImportBases::BasesError& e) {
      notes_.push_back(
          "Die Aufzeichnung der Importstände war nicht lesbar und wurde neu angelegt; Objekte "
          "früherer Importe werden beim nächsten Import wie Objekte ohne Aufzeichnung "
          "behandelt:\r" +
          std::string(e.what()));
    }
    std::unordered_map<std::string, int32_t> tids;
    for (const TTransaktionslistenDaten& R : content_.rows) tids.emplace(R.Kennung, R.TID);
    std::vector<std::pair<std::string, int32_t>> loaded;
    for (const std::string& K : journal_.loaded) {
      const auto tid = tids.find(K);
      loaded.emplace_back(K, tid == tids.end() ? 0 : tid->second);
    }
    std::unordered_map<int32_t, std::string> kennung_of;
    for (const HostSnapshot::HostObject& object : snapshot.objects) {
      if (wanted(object.Kennung)) kennung_of.emplace(object.id, object.Kennung);
    }
    std::unordered_set<int32_t> ids;
    for (const auto& [id, K] : kennung_of) ids.insert(id);
    const std::vector<ObjectRow> plant_rows =
        EnsureFotoverwaltung().ReadObjectRows(ObjectRowTable::kPlantList, ids);
    std::unordered_map<std::string, std::vector<const ObjectRow*>> plants_of;
    for (const ObjectRow& row : plant_rows) plants_of[kennung_of[row.KartulID]].push_back(&row);
    std::unordered_map<std::string, uint64_t> plants;
    for (const auto& [K, rows] : plants_of) plants.emplace(K, ImportBases::PlantsPrint(rows));

    const ImportBases::PackagePrints package = ImportBases::ReadPackagePrints(content_, wanted);
    std::unordered_set<std::string> replaced(journal_.loaded.begin(), journal_.loaded.end());
    for (const auto& [K, id] : objects_.deleted) replaced.insert(K);
    std::vector<ImportBases::ObjectBase> entries = ImportBases::Capture(
        loaded, package.fields, package.shapes, snapshot.fields, snapshot.objects, plants);
    if (merging_ && !merge_ways_.in_place.empty()) {
      std::vector<std::pair<std::string, int32_t>> settled;
      for (const std::string& K : merge_ways_.in_place) {
        const auto tid = tids.find(K);
        settled.emplace_back(K, tid == tids.end() ? 0 : tid->second);
        replaced.insert(K);
      }
      std::sort(settled.begin(), settled.end());
      for (ImportBases::ObjectBase& entry : ImportMergePlan::Settled(merging_->inputs, settled)) {
        entries.push_back(std::move(entry));
      }
    }
    ImportBases::Write(env, path,
                       ImportBases::Replace(std::move(record), replaced, std::move(entries)));
  }

  const Package::Names& names_;
  const PackageContent& content_;
  const std::vector<std::string> kennungen_;  // ImportPlan::PackageKennungen(content_)
  Gathered gathered_;
  ImportPlan::Objects objects_;
  ImportPlan::Policy planned_;
  ImportPlan::Policy policy_;
  bool with_photos_;
  // With Policy::kMerge: the merge as the mapper decided it.
  std::optional<Merging> merging_;
  ImportPlan::MergeWays merge_ways_;
  std::string project_;
  std::string folder_;
  std::unique_ptr<TablesHold> hold_;
  ImportPlan::PhotoPlan photos_;
  ImportJournal journal_;
  std::vector<std::string> notes_;
};

}  // namespace

std::string getFilenamePrefix(std::string_view path) {
  const std::string N = platform::text::ToLowerAscii(platform::env::NameOf(std::string(path)));
  const std::string stem = N.substr(0, N.find('.'));
  auto contains = [&N](std::string_view tag) { return N.find(tag) != std::string::npos; };
  if (contains(".xml") || contains(".log") || contains(".tid")) return stem;
  for (const char* tag : {"df.", "dp.", "dl.", "tp.", "al.", "xf.", "pc.", "kl."}) {
    if (contains(tag)) return stem.size() >= 2 ? stem.substr(0, stem.size() - 2) : std::string();
  }
  if (contains("t.")) return stem.empty() ? std::string() : stem.substr(0, stem.size() - 1);
  return {};
}

bool IsHigherState(int32_t N, int32_t E) {
  switch (E) {
    case kSchreibend:
      return false;
    case kLesend:
      return N == kSchreibend;
    case kNeu:
      return N == kLesend || N == kSchreibend;
    default:
      return N != kGeloescht;
  }
}

bool VD1CustomImportProc() {
  // The import's lock for its whole run: no other import, and no load of
  // the project in another program, takes its journal for a cut one. A
  // journal left in the project is dealt with first, as at a load; while
  // one stays, no other import mixes with it.
  const std::unique_ptr<ImportLock> lock = ImportUndo::PrepareImport();
  if (!lock) return false;

  const std::string key = VandraRegKey();
  platform::ui::FileDialogRequest request;
  request.kind = platform::ui::FileDialogRequest::Kind::kOpen;
  request.initial_dir = Tools::GetRegStringEntry(key, kSection, "ImportDir", "");
  const std::optional<std::string> path = platform::ui::FileDialog(request);
  if (!path || path->empty()) return false;

  const Package::Names names{Tools::WithBackslash(platform::env::FolderOf(*path)),
                             getFilenamePrefix(*path)};
  Tools::SetRegStringEntry(key, kSection, "ImportDir", names.D);

  std::optional<PackageContent> content;
  std::vector<std::string> kennungen;
  Gathered gathered;
  ImportPlan::Objects objects;
  std::optional<std::vector<std::string>> candidates;
  {
    platform::ui::HourglassGuard hourglass;
    std::string error;
    content = ReadPackage(names, error);
    if (!content) {
      Inform(MsgKind::kError, "Das Transaktionspaket wird nicht importiert:\r" + error);
      return false;
    }
    try {
      kennungen = ImportPlan::PackageKennungen(*content);
      gathered = GatherState(kennungen);
      objects =
          ImportPlan::PlanObjects(*content, gathered.state, ImportPlan::Policy::kKeepLocalWork);
      candidates = MergeCandidates(objects, gathered.state);
    } catch (const std::exception& e) {
      Inform(MsgKind::kError,
             "Das Projekt kann nicht gelesen werden; der Import wird nicht ausgeführt:\r" +
                 std::string(e.what()));
      return false;
    }
  }
  std::optional<Merging> merging;
  const std::optional<ImportPlan::Policy> policy =
      AskAboutLocalWork(names.D + names.P, *content, objects, gathered.state, candidates, merging);
  if (!policy) return false;
  if (*policy != ImportPlan::Policy::kMerge) merging.reset();
  if (!content->has_tid || content->tid.Transaktion == -1) {
    Inform(MsgKind::kError, "Die Transaktions-ID wurde nicht korrekt übermittelt!");
  }
  bool with_photos = content->has_photos;
  if (with_photos && content->photo_folder &&
      *content->photo_folder == Tools::MyGetProjectDir() + "KTPhotos") {
    Inform(MsgKind::kError,
           "Das Transaktions- und das KARTUL-Projektverzeichnis müssen voneinander getrennt sein "
           "um Fotos zu importieren!");
    with_photos = false;
  }

  platform::ui::HourglassGuard hourglass;
  // Without local work both answers plan alike.
  const ImportPlan::Policy planned =
      objects.local_work.empty() ? *policy : ImportPlan::Policy::kKeepLocalWork;
  const bool done = ImportRun(names, *content, std::move(kennungen), std::move(gathered),
                              std::move(objects), planned, *policy, with_photos, std::move(merging))
                        .Execute();
  host::ActivateMap();
  host::Redraw();
  return done;
}

}  // namespace ImportFuncs
