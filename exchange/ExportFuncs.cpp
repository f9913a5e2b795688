#include "exchange/ExportFuncs.h"

#include <set>
#include <unordered_map>

#include "context/PluginContext.h"
#include "dialogs/FormGetGKStreifen.h"
#include "dialogs/FormGetTID.h"
#include "exchange/Preflight.h"
#include "exchange/StagedPackage.h"
#include "exchange/VandraCheckIn.h"
#include "host/HostApi.h"
#include "host/Tools.h"
#include "photos/EnsureDataBase.h"
#include "photos/PictureName.h"
#include "photos/tables/Fotoverwaltung.h"
#include "platform/db/Connection.h"
#include "platform/dbase/DbfFile.h"
#include "platform/env/Env.h"
#include "platform/text/Encoding.h"
#include "platform/text/Formats.h"
#include "platform/ui/Ui.h"

using platform::db::DbError;
using platform::db::InOneWrite;
using platform::ui::MsgButtons;
using platform::ui::MsgKind;
using namespace TransActTools;

namespace ExportFuncs {
namespace {

constexpr std::string_view kSection = "VD2Transaktionen";

void Inform(MsgKind kind, const std::string& text) {
  platform::ui::MessageBox(kind, text);
}

// Said with every refusal once the package has begun to be written: the
// mapper must not look for one.
constexpr std::string_view kNoPackage = "Es wurde kein Paket geschrieben.";

void Refuse(const std::string& why) {
  Inform(MsgKind::kError, why + "\r" + std::string(kNoPackage));
}

// A path as the mapper knows it: a file of the staging folder is named by
// its place in the package's folder.
std::string Shown(const std::string& path) {
  const std::string folder = platform::env::FolderOf(path);
  if (folder.size() > Package::kStagingSuffix.size() && folder.ends_with(Package::kStagingSuffix)) {
    return platform::env::JoinPath(platform::env::FolderOf(folder), platform::env::NameOf(path));
  }
  return path;
}

// Removes a table file of the folder (and its memo file) when there is one,
// found without regard to case as the driver finds it.
void RemoveTableFile(const std::string& D, const std::string& table) {
  platform::env::Env& env = platform::env::Env::Current();
  const std::optional<std::string> file = platform::env::FindNoCase(env, D, table + ".dbf");
  if (file) platform::dbase::DbfFile::Remove(platform::env::JoinPath(D, *file), env);
}

// The checks that must pass before anything of the package is written.
bool PackageCanBeWritten(const Package::Names& names) {
  if (names.P.find(' ') != std::string::npos) {
    Inform(MsgKind::kInformation, "Der Name der Exportdatei darf kein Leerzeichen enthalten!");
    return false;
  }
  if (!Package::PrefixIsFileName(names.P)) {
    Inform(MsgKind::kInformation, "Aus dem Namen der Exportdatei \"" + names.P +
                                      "\" lässt sich kein gültiger Dateiname bilden!");
    return false;
  }
  // The host takes the geodata path as ANSI text of at most 255 characters:
  // a longer one, or one with a character the code page lacks, would land
  // somewhere else or nowhere. It is given the path in the staging folder,
  // which is longer by the folder's name.
  const std::string shp = names.ShpFile();
  if (!platform::text::FitsAnsi(shp)) {
    Inform(
        MsgKind::kInformation,
        "Der Pfad der Exportdateien enthält Zeichen, die KARTUL nicht verarbeiten kann:\r" + shp);
    return false;
  }
  const size_t staged = platform::text::Utf8ToAnsi(names.Staged().ShpFile()).size();
  const size_t extra = staged - platform::text::Utf8ToAnsi(shp).size();
  if (staged > Package::kMaxHostPath) {
    Inform(MsgKind::kInformation, "Der Pfad der Exportdateien ist zu lang (höchstens " +
                                      std::to_string(Package::kMaxHostPath - extra) +
                                      " Zeichen):\r" + shp);
    return false;
  }
  return true;
}

// The action table's identifier column is narrower than an identifier may
// be; one cut short would name another object, so the run stops before it
// writes anything.
bool ActionRowsFit(int32_t TID) {
  std::string overlong;
  for (const TObjectMetadata& row : TransActTools::ExportRows(TID)) {
    for (const Package::ActionRow& action : Package::ActionRowsOf(row)) {
      if (platform::text::Utf8Length(action.Kennung) > Package::kActionKennungWidth) {
        overlong += "\r" + action.Kennung;
      }
    }
  }
  if (overlong.empty()) return true;
  Inform(MsgKind::kError, "Folgende Kennungen sind länger als " +
                              std::to_string(Package::kActionKennungWidth) +
                              " Zeichen und können nicht exportiert werden:" + overlong);
  return false;
}

bool WriteTid(const Package::Names& names, int32_t TID, bool anything_selected) {
  const BuildProfile& profile = CurrentProfile();
  int32_t strip = 0;
  if (!anything_selected) {
    strip = profile.strip_when_nothing_selected;
  } else if (!profile.strip_by_state || !Tools::CheckBundesland({"NRW", "BRB", "RLP"})) {
    strip = GetGKStreifen();
  }
  try {
    Package::WriteTidFile(names.TidFile(), TID, strip);
  } catch (const std::exception& error) {
    Refuse("Die Datei " + Shown(names.TidFile()) + " konnte nicht geschrieben werden!\r" +
           error.what());
    return false;
  }
  return true;
}

// The host's two exports, with change marking off while they run.
bool ExportHostData(const Package::Names& names) {
  const context::NoChangeMarks no_change_marks;
  if (!ExportXMLData(names.XmlFile())) {
    Refuse("Die Attributdaten konnten nicht exportiert werden:\r" + Shown(names.XmlFile()));
    return false;
  }
  if (!host::ExportGeodaten(names.ShpFile(), 10, false, 0)) {
    Refuse("Die Geodaten konnten nicht exportiert werden:\r" + Shown(names.ShpFile()));
    return false;
  }
  return true;
}

// Closes the export connection on every way out of the run.
struct ExportConnectionScope {
  ~ExportConnectionScope() { CloseExportConnection(); }
};

int QuelleWidth() {
  return CurrentProfile().quelle_width;
}

// The catalogue's photos taken in this project, read once per run.
std::unordered_map<int32_t, tables::TFotoMetadaten> LocalPhotos(TdmFotoverwaltung& module) {
  std::unordered_map<int32_t, tables::TFotoMetadaten> photos;
  for (tables::TFotoMetadaten& foto : module.LocalFotos()) {
    const int32_t id = foto.FotoID;
    photos.emplace(id, std::move(foto));
  }
  return photos;
}

// Photo ids of each object's links, in the order the link table delivers them.
std::unordered_map<int32_t, std::vector<int32_t>> PhotoLinks(TdmFotoverwaltung& module) {
  std::unordered_map<int32_t, std::vector<int32_t>> links;
  for (const PhotoLink& link : module.PhotoLinks()) links[link.KartulID].push_back(link.PhotoID);
  return links;
}

struct PhotoRun {
  const Package::Names& names;
  std::string photo_dir;         // the project's KTPhotos, with delimiter
  std::set<std::string> copied;  // pictures to copy in this run
  std::vector<platform::env::CopyJob> copies;
  std::set<int32_t> refused;            // photos whose row the table refused
  std::vector<std::string> left_out;    // the same, as the mapper knows them
  std::vector<std::string> not_copied;  // pictures that could not be copied
};

std::string PhotoShown(const tables::TFotoMetadaten& foto) {
  return "\"" + foto.Kurzname + "\" (FotoID " + std::to_string(foto.FotoID) + ", " +
         foto.Dateiname + ")";
}

// The reason the photo table cannot take the row, or nothing.
std::optional<std::string> RowRefusal(const PhotoRun& run, const tables::TFotoMetadaten& foto) {
  // Cut, it would tell the central system another source.
  if (platform::text::Utf8Length(foto.Quelle) > static_cast<size_t>(QuelleWidth())) {
    return "Die Quelle des Fotos \"" + foto.Kurzname + "\" (FotoID " +
           std::to_string(foto.FotoID) + ") ist länger als " + std::to_string(QuelleWidth()) +
           " Zeichen. Das Foto wird nicht exportiert.";
  }
  try {
    OpenExportConnection(run.names.D)
        .Execute(Package::InsertPhotoSql(run.names.PhotoTable(), foto));
  } catch (const DbError& e) {
    return std::string(e.what());
  }
  return std::nullopt;
}

// A photo whose row is refused stays out with its picture, so that the
// package holds no picture without its row; the others go on. Told once,
// however many exported objects show the photo.
void ExportFoto(PhotoRun& run, const tables::TFotoMetadaten& foto) {
  if (run.refused.count(foto.FotoID)) return;
  if (const std::optional<std::string> refusal = RowRefusal(run, foto)) {
    run.refused.insert(foto.FotoID);
    run.left_out.push_back(PhotoShown(foto));
    Inform(MsgKind::kPlain, *refusal);
    return;
  }
  if (!run.copied.insert(foto.Dateiname).second) return;
  platform::env::Env& env = platform::env::Env::Current();
  const std::optional<std::string> source =
      UsablePictureName(foto.Dateiname)
          ? platform::env::FindNoCase(env, run.photo_dir, foto.Dateiname)
          : std::nullopt;
  if (!source) {
    run.not_copied.push_back(foto.Dateiname);
    return;
  }
  run.copies.push_back(
      {run.photo_dir + *source, platform::env::JoinPath(run.names.PhotoFolder(), foto.Dateiname)});
}

// A copy left by an earlier export is replaced: the picture may have been
// replaced since. The folder is synced once for all copies.
void CopyPictures(PhotoRun& run) {
  const std::vector<std::string> errors =
      platform::env::CopyFiles(platform::env::Env::Current(), run.copies);
  for (size_t i = 0; i < errors.size(); ++i) {
    if (!errors[i].empty()) run.not_copied.push_back(platform::env::NameOf(run.copies[i].to));
  }
}

}  // namespace

int32_t GetTransaktionsIDExport() {
  if (!TransactionIDTableExists()) return -1;
  const TNumberedStringList entries = GetTransactionNames();
  if (entries.empty()) return -1;
  if (entries.size() == 1) return entries.front().Number;
  TFormGetTID form;
  form.BtnCancel.caption = "Abbrechen";
  for (const TNumberedString& entry : entries) form.lbTID.Add(entry.Text, entry.Number);
  form.lbTID.item_index = 0;
  if (form.ShowModal() != platform::ui::ModalResult::kOk || form.lbTID.item_index < 0) return -1;
  return entries[static_cast<size_t>(form.lbTID.item_index)].Number;
}

std::string getExportName() {
  const std::string key = VandraRegKey();
  platform::ui::FileDialogRequest request;
  request.kind = platform::ui::FileDialogRequest::Kind::kSave;
  request.filter = "Alle Dateien (*.*)|*.*";
  request.initial_dir =
      Tools::GetRegStringEntry(key, kSection, "ExportPath", Tools::MyGetProjectDir());
  request.file_name =
      Package::PrefixOf(Tools::GetRegStringEntry(key, kSection, "FileNamePrefix", ""));
  const std::optional<std::string> path = platform::ui::FileDialog(request);
  if (!path || path->empty()) return {};
  Tools::SetRegStringEntry(key, kSection, "ExportPath", platform::env::FolderOf(*path));
  return *path;
}

void CollectExportObjects(int32_t TID, ExportLists& lists) {
  for (const TObjectMetadata& row : TransActTools::ExportRows(TID)) {
    const std::string& K = row.Kennung;
    const std::string& M = row.Changed;
    if (row.Schreibend != kLesend) {
      if (M == kNew) {
        lists.created.push_back(K);
        lists.photos.push_back(K);
      } else if (M == kUpdate) {
        lists.changed.push_back(K);
        lists.photos.push_back(K);
      } else if (M == kDelete) {
        lists.deleted.push_back(K);
      }
    }
    if ((row.Schreibend == kSchreibend || row.Schreibend == kNeu) && (M == kUpdate || M == kNew)) {
      const int32_t id = host::IdOfKennung(K);
      if (id > 0) host::AddToSelection(id);
    }
  }
}

bool WriteChangeList(const std::string& path, const ExportLists& lists) {
  platform::env::Env& env = platform::env::Env::Current();
  try {
    platform::env::ReplaceFile(env, env.ResolveLinks(path),
                               Package::ChangeListText(Package::ChangeListLines(
                                   lists.changed, lists.deleted, lists.created)));
  } catch (const platform::env::EnvError& error) {
    Refuse("Die Datei " + Shown(path) + " konnte nicht geschrieben werden!\r" + error.Reason());
    return false;
  }
  return true;
}

int32_t GetGKStreifen() {
  std::string first = "0";
  if (const std::optional<host::MapPoint> cursor = host::CursorCoordinates()) {
    const std::string easting = platform::text::FloatToStr(cursor->x);
    if (!easting.empty()) first = easting.substr(0, 1);
  }
  if (first[0] >= '1' && first[0] <= '9') return first[0] - '0';
  // A negative or zero easting, or none, does not tell the strip.
  const std::string key = VandraRegKey();
  TFormGetGKStreifen form;
  const int32_t stored = Tools::GetRegIntEntry(key, kSection, "GK-Streifen", 2);
  const int32_t items = static_cast<int32_t>(form.RadioGroup1.items.size());
  form.RadioGroup1.item_index = stored - 2 >= 0 && stored - 2 < items ? stored - 2 : 0;
  form.ShowModal();
  const int32_t strip = (form.RadioGroup1.item_index >= 0 ? form.RadioGroup1.item_index : 0) + 2;
  Tools::SetRegIntEntry(key, kSection, "GK-Streifen", strip);
  return strip;
}

bool ExportXMLData(const std::string& path) {
  platform::env::Env& env = platform::env::Env::Current();
  try {
    if (env.Stat(path)) env.Remove(path);
  } catch (const platform::env::EnvError&) {
    // The host's own write then tells whether the file could be replaced.
  }
  if (!CurrentProfile().xml_export_truth_values) return host::ExportDataXML(path, false, true);
  return host::ExportDataXMLEx(path, false, true,
                               Tools::ReadStringFromApplicatIni("Config", "TrueValue", "T"),
                               Tools::ReadStringFromApplicatIni("Config", "FalseValue", "F"));
}

void CreateActionList(const Package::Names& names, int32_t TID) {
  const std::string F = names.ActionTable();
  const std::string S = CurrentProfile().action_table_full_name ? F : names.ActionTableShort();
  RemoveTableFile(names.D, F);
  if (S != F) RemoveTableFile(names.D, S);
  OpenExportConnection(names.D).Execute(Package::CreateActionTableSql(S));
  FillActionList(names, S, TID);
  if (S != F) {
    platform::env::Env::Current().Rename(names.D + S + ".dbf", names.D + F + ".dbf");
  }
}

void FillActionList(const Package::Names& names, const std::string& S, int32_t TID) {
  platform::db::Connection& connection = OpenExportConnection(names.D);
  InOneWrite(connection, [&] {
    for (const TObjectMetadata& row : TransActTools::ExportRows(TID)) {
      for (const Package::ActionRow& action : Package::ActionRowsOf(row)) {
        connection.Execute(Package::InsertActionSql(S, action));
      }
    }
  });
}

std::string CreateFotoTabelle(const Package::Names& names) {
  platform::env::Env& env = platform::env::Env::Current();
  if (!env.Stat(names.PhotoFolder())) env.CreateFolder(names.PhotoFolder());
  RemoveTableFile(names.D, names.PhotoTable());
  OpenExportConnection(names.D).Execute(
      Package::CreatePhotoTableSql(names.PhotoTable(), QuelleWidth()));
  return names.PhotoTable();
}

PhotoExport ExportFotoTabelle(const Package::Names& names, const TStringList& photo_list) {
  CreateFotoTabelle(names);
  TdmFotoverwaltung& module = EnsureFotoverwaltung();
  const auto photos = LocalPhotos(module);
  const auto links = PhotoLinks(module);
  PhotoRun run{names, FotoDir(), {}, {}, {}, {}, {}};
  InOneWrite(OpenExportConnection(names.D), [&] {
    for (const std::string& K : photo_list) {
      const int32_t id = host::IdOfKennung(K);
      if (id <= 0) continue;
      const auto linked = links.find(id);
      if (linked == links.end()) continue;
      for (const int32_t photo_id : linked->second) {
        const auto foto = photos.find(photo_id);
        if (foto != photos.end()) ExportFoto(run, foto->second);
      }
    }
  });
  CopyPictures(run);
  PhotoExport result;
  result.left_out = std::move(run.left_out);
  if (!run.not_copied.empty()) {
    // A row without its picture would pass as a whole package.
    std::string text = "Folgende Fotodateien konnten nicht in den Ordner " +
                       Shown(names.PhotoFolder()) + " kopiert werden:";
    for (const std::string& name : run.not_copied) text += "\r" + name;
    Refuse(text + "\rOhne sie wäre das Paket unvollständig.");
    result.complete = false;
  }
  return result;
}

namespace {

// Writes the whole package into the staging folder; false after telling the
// mapper why nothing was written.
bool WriteStaged(const Package::Names& staged, int32_t TID, std::vector<std::string>& left_out) {
  host::DeselectAll();
  ExportLists lists;
  {
    host::UpdateGuard update;
    CollectExportObjects(TID, lists);
  }
  if (!WriteChangeList(staged.ChangeListFile(), lists)) return false;
  if (!WriteTid(staged, TID, host::SelectedCount() >= 1)) return false;
  if (!ExportHostData(staged)) return false;
  ExportConnectionScope connection_scope;
  OpenExportConnection(staged.D);
  CreateActionList(staged, TID);
  PhotoExport photos = ExportFotoTabelle(staged, lists.photos);
  left_out = std::move(photos.left_out);
  return photos.complete;
}

}  // namespace

bool VD1CustomExportProc() {
  if (platform::ui::MessageBox(
          MsgKind::kConfirmation,
          "Bitte überprüfen Sie Konsistenz und Einheit des Raumbezugssystems \rund führen Sie vor "
          "einem Transaktions-Export eine Projekt-Datenpflege durch!\r\rDatenpflege bereits "
          "durchgeführt?",
          MsgButtons::kYesNo) != platform::ui::MsgAnswer::kYes) {
    return true;
  }
  if (!TransactionListExists()) {
    Inform(MsgKind::kInformation,
           "Das Projekt enthält keine Transaktionsdaten. Daher kann kein Export durchgeführt "
           "werden!");
    return false;
  }
  const int32_t TID = GetTransaktionsIDExport();
  if (TID < 0) {
    Inform(MsgKind::kError, "Es konnte keine Transaktionsnummer ermittelt werden!");
    return false;
  }
  // Only when applicat.ini asks for it; the mapper may stop here.
  if (!Preflight::BeforeExport(TID)) return false;
  const std::string path = getExportName();
  if (path.empty()) return false;
  const Package::Names names{Tools::WithBackslash(platform::env::FolderOf(path)),
                             Package::PrefixOf(platform::env::NameOf(path))};
  if (!PackageCanBeWritten(names) || !ActionRowsFit(TID)) return false;
  Tools::SetRegStringEntry(VandraRegKey(), kSection, "FileNamePrefix", names.P);
  if (const std::optional<std::string> why = Package::IncompletePackage(names)) {
    Inform(MsgKind::kInformation,
           *why + "\r\rDie Reste werden entfernt, das Paket wird neu geschrieben.");
  }

  std::vector<std::string> left_out;
  {
    // The hourglass ends with the writing: the check-in dialog waits for
    // the mapper.
    platform::ui::HourglassGuard hourglass;
    // The package is written whole beside its folder and then moved in, its
    // .tid last, so that a cut export never leaves one that passes as whole.
    std::optional<StagedPackage::Staging> staging;
    try {
      staging.emplace(names);
    } catch (const platform::env::EnvError& error) {
      Refuse("Das Paket kann im Ordner " + names.D + " nicht angelegt werden:\r" + error.what());
      return false;
    }
    try {
      if (!WriteStaged(staging->Staged(), TID, left_out)) return false;
    } catch (const std::exception& error) {
      // The staged files go with the staging; the package's folder is as it
      // was.
      Refuse("Beim Schreiben des Pakets ist ein Fehler aufgetreten:\r" +
             std::string(error.what()));
      return false;
    }
    try {
      staging->Commit();
    } catch (const std::exception& error) {
      Inform(MsgKind::kError,
             staging->Begun()
                 ? "Das Paket konnte nicht vollständig in den Ordner " + names.D +
                       " gebracht werden:\r" + error.what() +
                       "\rEs ist unvollständig und kann so nicht eingecheckt werden; ein neuer "
                       "Export ersetzt es."
                 : "Das Paket konnte nicht in den Ordner " + names.D + " gebracht werden:\r" +
                       error.what() + "\rDer Ordner ist unverändert. " + std::string(kNoPackage));
      return false;
    }
  }
  if (!left_out.empty()) {
    std::string text = "Das Paket ist geschrieben, ohne diese Fotos:";
    for (const std::string& photo : left_out) text += "\r" + photo;
    Inform(MsgKind::kWarning, text);
  }

  VandraCheckIn::StartVandraCheckIn(names.D, names.P);
  return true;
}

}  // namespace ExportFuncs
