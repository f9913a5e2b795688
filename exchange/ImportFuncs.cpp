#include "exchange/ImportFuncs.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <map>
#include <set>
#include <unordered_map>
#include <unordered_set>

#include "context/PluginContext.h"
#include "exchange/Preflight.h"
#include "host/HostApi.h"
#include "host/Tools.h"
#include "photos/FVTools.h"
#include "platform/db/Connection.h"
#include "platform/db/Dialect.h"
#include "platform/env/Env.h"
#include "platform/text/Encoding.h"
#include "platform/text/Strings.h"
#include "platform/ui/Ui.h"

using platform::db::DbError;
using platform::db::InOneWrite;
using platform::db::Query;
using platform::db::SqlText;
using platform::db::dialect::QuoteName;
using platform::ui::MsgKind;
using namespace TransActTools;

namespace ImportFuncs {
namespace {

constexpr std::string_view kSection = "VD2Transaktionen";

// The photo list's columns, in the order the export writes them.
constexpr std::array<std::string_view, 9> kPhotoColumns = {
    "PhotoID", "Kurzname", "Datei", "RW", "HW", "Richtung", "Datum", "Quelle", "Beschr"};

void Inform(MsgKind kind, const std::string& text) {
  platform::ui::MessageBox(kind, text);
}

platform::env::Env& CurrentEnv() {
  return platform::env::Env::Current();
}

bool IsFile(const std::string& path) {
  const auto status = CurrentEnv().Stat(path);
  return status && status->IsRegular();
}

// The real name of a package file in D, or nothing.
std::optional<std::string> PackageFile(const std::string& D, const std::string& name) {
  return platform::env::FindNoCase(CurrentEnv(), D, name);
}

// The package's photo folder, found without regard to case as its files are.
std::optional<std::string> PhotoFolderOf(const Package::Names& names) {
  platform::env::Env& env = CurrentEnv();
  const std::string wanted = names.P + "_Fotos";
  std::vector<std::string> entries;
  try {
    entries = env.ListFolder(names.D);
  } catch (const platform::env::EnvError&) {
    return std::nullopt;
  }
  std::sort(entries.begin(), entries.end());
  for (const std::string& entry : entries) {
    if (!platform::text::EqualsIgnoreCase(entry, wanted)) continue;
    const auto status = env.Stat(names.D + entry);
    if (status && status->IsFolder()) return names.D + entry;
  }
  return std::nullopt;
}

std::optional<int32_t> NumberOrNone(const Query& query, int pos) {
  if (pos < 0 || query.IsNull(pos)) return std::nullopt;
  return query.AsInt32(pos);
}

std::string TextAt(const Query& query, int pos) {
  return pos < 0 ? std::string() : query.AsString(pos);
}

// Where each photo column is in the query; nothing when the list has
// another shape. The earlier build finds the columns by name, the others
// take them by position and so need them exactly in the export's order.
std::optional<std::array<int, 9>> PhotoColumnPositions(const Query& query) {
  std::array<int, 9> positions{};
  const int count = query.FieldCount();
  if (CurrentProfile().build == Build::kVD1TransAction) {
    for (size_t i = 0; i < kPhotoColumns.size(); ++i) {
      positions[i] = -1;
      for (int pos = 0; pos < count; ++pos) {
        if (platform::text::EqualsIgnoreCase(query.FieldName(pos), kPhotoColumns[i])) {
          positions[i] = pos;
          break;
        }
      }
      if (positions[i] < 0) return std::nullopt;
    }
    return positions;
  }
  if (count != static_cast<int>(kPhotoColumns.size())) return std::nullopt;
  for (int pos = 0; pos < count; ++pos) {
    if (!platform::text::EqualsIgnoreCase(query.FieldName(pos), kPhotoColumns[pos]))
      return std::nullopt;
    positions[pos] = pos;
  }
  return positions;
}

std::string PhotoText(std::string text) {
  if (CurrentProfile().build == Build::kVD1TransAction) return text;
  return ConvertOemUmlauts(std::move(text));
}

void ReadPhotoList(platform::db::Connection& connection, const std::string& table,
                   PackageContent& content, const std::string& file) {
  Query query(connection, "select * from " + QuoteName(table));
  const std::optional<std::array<int, 9>> at = PhotoColumnPositions(query);
  if (!at) {
    std::string expected;
    for (const std::string_view column : kPhotoColumns)
      expected += (expected.empty() ? "" : ", ") + std::string(column);
    throw DbError("Die Fotoliste " + file + " hat nicht die erwarteten Spalten (" + expected +
                  ").");
  }
  const std::array<int, 9>& p = *at;
  for (; !query.Eof(); query.Next()) {
    Package::TFotoMetadaten& foto = content.fotos.emplace_back();
    foto.Status = 2;
    foto.FotoID = query.AsInt32(p[0]);
    foto.Kurzname = PhotoText(TextAt(query, p[1]));
    foto.Dateiname = PhotoText(TextAt(query, p[2]));
    foto.Rechtswert = NumberOrNone(query, p[3]);
    foto.Hochwert = NumberOrNone(query, p[4]);
    foto.Blickrichtung = NumberOrNone(query, p[5]);
    if (!query.IsNull(p[6])) foto.Aufnahmedatum = query.AsDateTime(p[6]);
    foto.Quelle = PhotoText(TextAt(query, p[7]));
    foto.Beschreibung = PhotoText(TextAt(query, p[8]));
  }
}

// ---- Putting the project back -----------------------------------------------------

// The transaction tables (and the fingerprints) as they were before the
// import: each file's bytes, or that it was missing.
class TableSnapshot {
 public:
  TableSnapshot() {
    for (const char* table : {"TA_LIST", "TA_ID", "TA_KL", "TA_FP"}) {
      Saved& saved = saved_.emplace_back();
      saved.path = TransactionTablePath(table);
      if (IsFile(saved.path)) {
        saved.content = platform::env::ReadFile(CurrentEnv(), saved.path);
      }
    }
  }
  // Puts the files back; the text of what could not be put back, or empty.
  std::string Restore() noexcept {
    std::string failed;
    platform::env::Env& env = CurrentEnv();
    for (const Saved& saved : saved_) {
      try {
        if (saved.content) {
          platform::env::ReplaceFile(env, saved.path, *saved.content);
        } else if (env.Stat(saved.path)) {
          env.Remove(saved.path);
        }
      } catch (const std::exception& e) {
        failed += std::string("\r") + e.what();
      }
    }
    // The connection may hold a table the import created and that is gone
    // now; the next statement opens the folder afresh.
    context::Current().Store().CloseProject();
    return failed;
  }

 private:
  struct Saved {
    std::string path;
    std::optional<std::string> content;
  };
  std::vector<Saved> saved_;
};

// Pictures of KTPhotos that the import replaced or added, to be put back
// when a later step fails.
struct PictureUndo {
  std::vector<std::pair<std::string, std::string>> replaced;  // path, old bytes
  std::vector<std::string> added;

  void Restore() noexcept {
    platform::env::Env& env = CurrentEnv();
    for (const auto& [path, bytes] : replaced) {
      try {
        platform::env::ReplaceFile(env, path, bytes);
      } catch (const std::exception&) {
        // The catalogue rows are back; a picture that cannot be put back
        // keeps the package's copy.
      }
    }
    for (const std::string& path : added) {
      try {
        env.Remove(path);
      } catch (const std::exception&) {
      }
    }
  }
};

// ---- The steps --------------------------------------------------------------------

struct ListedRow {
  int32_t TID = -1;
  int32_t Schreibend = -1;
};

void ImportTransActionList(const PackageContent& content) {
  CreateTransactionList("TA_LIST");
  CreateKennungList();
  if (!content.has_list) return;
  platform::db::Connection& connection = OpenTransactionConnection();
  // The first row of each original identifier, as the lookups by KENNUNGO
  // would find it; read once, kept up to date by the merge.
  std::unordered_map<std::string, ListedRow> listed;
  {
    Query query(connection, "select KENNUNGO,TID,SCHREIBEND from TA_LIST");
    for (; !query.Eof(); query.Next()) {
      listed.emplace(query.AsString(0), ListedRow{query.AsInt32(1), query.AsInt32(2)});
    }
  }
  std::unordered_set<std::string> pooled;
  {
    Query query(connection, "select KENNUNG from TA_KL");
    for (; !query.Eof(); query.Next()) pooled.insert(query.AsString(0));
  }
  InOneWrite(connection, [&] {
    for (const TTransaktionslistenDaten& R : content.rows) {
      const std::string K = SqlText(R.Kennung);
      const std::string M = SqlText(R.changed);
      // The object comes in again with the package's geodata.
      const int32_t id = host::IdOfKennung(R.Kennung);
      if (id > 0) host::DeleteObject(id);
      const auto found = listed.find(R.Kennung);
      const int32_t T = found == listed.end() ? -1 : found->second.TID;
      if (T < 0) {
        connection.Execute(
            "insert into TA_LIST (TID,KARTULID,VGNR,SCHREIBEND,KENNUNG,KENNUNGO,CHANGED) values (" +
            std::to_string(R.TID) + "," + std::to_string(R.KartulID) + "," + std::to_string(R.VNr) +
            "," + std::to_string(R.Schreibend) + ",'" + K + "','" + K + "','" + M + "')");
        listed[R.Kennung] = {R.TID, R.Schreibend};
      } else if (T == R.TID || IsHigherState(R.Schreibend, found->second.Schreibend)) {
        connection.Execute("update TA_LIST set " +
                           (T == R.TID ? std::string() : "TID = " + std::to_string(R.TID) + ",") +
                           "KARTULID = " + std::to_string(R.KartulID) +
                           ",VGNR = " + std::to_string(R.VNr) +
                           ",SCHREIBEND = " + std::to_string(R.Schreibend) + ",CHANGED = '" + M +
                           "',KENNUNG = '" + K + "' where KENNUNGO = '" + K + "'");
        found->second = {R.TID, R.Schreibend};
      } else {
        connection.Execute("update TA_LIST set KENNUNG = '" + K + "' where KENNUNGO = '" + K + "'");
      }
      if (pooled.count(R.Kennung)) {
        DeleteFreeKennung(R.Kennung);
        pooled.erase(R.Kennung);
      }
    }
  });
}

void ImportTransActionNumbers(const PackageContent& content) {
  CreateTransactionIDTable();
  const Package::TidData& tid = content.tid;
  if (!content.has_tid || tid.Transaktion == -1) {
    Inform(MsgKind::kError, "Die Transaktions-ID wurde nicht korrekt übermittelt!");
    return;
  }
  platform::db::Connection& connection = OpenTransactionConnection();
  const Query query(connection,
                    "select TID from TA_ID \r\nwhere TID = " + std::to_string(tid.Transaktion));
  if (!query.Eof()) return;
  connection.Execute("insert into TA_ID (TID,NAME,OWNER) values (" +
                     std::to_string(tid.Transaktion) + ",'" + SqlText(tid.Name) + "','" +
                     SqlText(tid.Owner) + "')");
}

// The host's two loads; false, after telling the mapper, when one failed.
bool LoadHostData(const PackageContent& content) {
  if (!content.geodata.empty() && !host::ImportGeodaten(content.geodata, 10, -1)) {
    Inform(MsgKind::kError, "Die Geodaten konnten nicht geladen werden:\r" + content.geodata);
    return false;
  }
  if (!content.xml.empty() && !host::ImportDataXML(content.xml, true)) {
    Inform(MsgKind::kError, "Die Attributdaten konnten nicht geladen werden:\r" + content.xml);
    return false;
  }
  return true;
}

void ImportKennungList(const PackageContent& content) {
  CreateKennungList();
  if (content.kennungen.empty()) return;
  platform::db::Connection& connection = OpenTransactionConnection();
  std::unordered_set<std::string> pooled;
  {
    Query query(connection, "select KENNUNG from TA_KL");
    for (; !query.Eof(); query.Next()) pooled.insert(query.AsString(0));
  }
  InOneWrite(connection, [&] {
    for (const FreeKennung& free : content.kennungen) {
      if (pooled.count(free.Kennung) || host::KennungExists(free.Kennung)) continue;
      connection.Execute("insert into TA_KL(TID,KENNUNG) values (" + std::to_string(free.TID) +
                         ",'" + SqlText(free.Kennung) + "')");
      pooled.insert(free.Kennung);
    }
  });
}

// A picture name the catalogue can hold and that stays inside KTPhotos.
bool UsablePictureName(const std::string& name) {
  return !name.empty() && name.find('/') == std::string::npos &&
         name.find('\\') == std::string::npos && name.find("..") == std::string::npos &&
         platform::text::Utf8Length(name) <= kPicFileNameWidth;
}

std::string InsertFotoSql(const Package::TFotoMetadaten& foto) {
  auto number = [](const std::optional<int32_t>& v) {
    return v ? std::to_string(*v) : std::string("null");
  };
  std::string date = foto.Aufnahmedatum ? Package::DateLiteral(*foto.Aufnahmedatum) : "";
  if (date.empty()) date = "null";
  return "insert into Fotos (FotoID,Kurzname,RW,HW,Blickrichtung,Aufnahmedatum,Quelle,"
         "Bildbeschreibung,PicFileName,IsNew) values (" +
         std::to_string(foto.FotoID) + ",'" + SqlText(foto.Kurzname) + "'," +
         number(foto.Rechtswert) + "," + number(foto.Hochwert) + "," + number(foto.Blickrichtung) +
         "," + date + ",'" + SqlText(foto.Quelle) + "','" + SqlText(foto.Beschreibung) + "','" +
         SqlText(foto.Dateiname) + "'," + std::to_string(foto.Status) + ")";
}

// Copies the package's pictures and appends the new photo rows, the rows in
// one write. Throws what fails; the pictures replaced or added so far are in
// `undo`.
void ImportFotos(const Package::Names& names, const PackageContent& content, PictureUndo& undo) {
  if (!content.has_photos) return;
  platform::env::Env& env = CurrentEnv();
  const std::optional<std::string> S = PhotoFolderOf(names);
  const std::string T = Tools::MyGetProjectDir() + "KTPhotos";
  if (S && *S == T) {
    Inform(MsgKind::kError,
           "Das Transaktions- und das KARTUL-Projektverzeichnis müssen voneinander getrennt sein "
           "um Fotos zu importieren!");
    return;
  }
  if (!env.Stat(T)) env.CreateFolder(T);

  TdmFotoverwaltung& module = EnsureFotoverwaltung();
  platform::db::Connection& catalogue = module.ProjectConnection();
  std::unordered_set<int32_t> catalogued;
  // Which photos use each picture, by the lower-case name.
  std::map<std::string, std::set<int32_t>> users;
  {
    Query query(catalogue, "select FotoID, PicFileName from Fotos");
    for (; !query.Eof(); query.Next()) {
      if (query.IsNull(0)) continue;
      catalogued.insert(query.AsInt32(0));
      users[platform::text::ToLowerAscii(query.AsString(1))].insert(query.AsInt32(0));
    }
  }
  // The package's own claim on each picture: the photos naming it.
  std::map<std::string, std::set<int32_t>> package_users;
  std::vector<std::string> skipped;
  std::vector<const Package::TFotoMetadaten*> rows;
  for (const Package::TFotoMetadaten& foto : content.fotos) {
    if (!UsablePictureName(foto.Dateiname)) {
      skipped.push_back(foto.Dateiname);
      continue;
    }
    package_users[platform::text::ToLowerAscii(foto.Dateiname)].insert(foto.FotoID);
    if (catalogued.insert(foto.FotoID).second) rows.push_back(&foto);
  }
  if (!skipped.empty()) {
    std::string text = "Folgende Fotos der Fotoliste haben keinen gültigen Dateinamen (höchstens " +
                       std::to_string(kPicFileNameWidth) +
                       " Zeichen, ohne Pfad) und werden nicht importiert:";
    for (const std::string& name : skipped) text += "\r\"" + name + "\"";
    Inform(MsgKind::kError, text);
  }

  std::vector<platform::env::CopyJob> copies;
  std::vector<std::string> kept;
  if (S) {
    std::vector<std::string> entries = env.ListFolder(*S);
    std::sort(entries.begin(), entries.end());
    for (const std::string& name : entries) {
      if (!platform::text::EndsWithIgnoreCase(name, ".jpg") || !UsablePictureName(name)) continue;
      const std::string from = platform::env::JoinPath(*S, name);
      if (!IsFile(from)) continue;
      const std::optional<std::string> present = platform::env::FindNoCase(env, T, name);
      const std::string to = platform::env::JoinPath(T, present ? *present : name);
      if (present) {
        // Only a picture of the package's own photos may be replaced: one
        // that another photo of the catalogue shows stays.
        const auto used = users.find(platform::text::ToLowerAscii(name));
        const auto claimed = package_users.find(platform::text::ToLowerAscii(name));
        bool foreign = false;
        if (used != users.end()) {
          for (const int32_t id : used->second) {
            if (claimed == package_users.end() || !claimed->second.count(id)) foreign = true;
          }
        }
        if (foreign) {
          kept.push_back(name);
          continue;
        }
        undo.replaced.emplace_back(to, platform::env::ReadFile(env, to));
      } else {
        undo.added.push_back(to);
      }
      copies.push_back({from, to});
    }
  }

  InOneWrite(catalogue, [&] {
    for (const Package::TFotoMetadaten* foto : rows) catalogue.Execute(InsertFotoSql(*foto));
    const std::vector<std::string> errors = platform::env::CopyFiles(env, copies);
    std::string failed;
    for (size_t i = 0; i < errors.size(); ++i) {
      if (!errors[i].empty()) failed += "\r" + errors[i];
    }
    if (!failed.empty()) {
      throw platform::env::EnvError(EIO, "Fotos kopieren", T + failed);
    }
  });
  if (!kept.empty()) {
    std::string text =
        "Folgende Fotodateien werden von anderen Fotos des Projekts verwendet und wurden nicht "
        "überschrieben:";
    for (const std::string& name : kept) text += "\r" + name;
    Inform(MsgKind::kWarning, text);
  }
}

// With the preflight asked for, the package's objects as the host loaded
// them, for the preflight to find changes made without a mark.
void ImportFingerprints(const PackageContent& content) {
  std::vector<std::pair<std::string, int32_t>> kennungen;
  for (const TTransaktionslistenDaten& R : content.rows) kennungen.emplace_back(R.Kennung, R.TID);
  Preflight::StoreImportFingerprints(kennungen);
}

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

std::string ConvertOemUmlauts(std::string text) {
  static const std::array<std::pair<std::string_view, std::string_view>, 7> kTable = {{
      {"\u201E", "ä"},
      {"\u017D", "Ä"},
      {"\u201D", "ö"},
      {"\u2122", "Ö"},
      {"\u0081", "ü"},
      {"\u0161", "Ü"},
      {"\u00E1", "ß"},
  }};
  for (const auto& [from, to] : kTable) {
    for (size_t at = text.find(from); at != std::string::npos;
         at = text.find(from, at + to.size())) {
      text.replace(at, from.size(), to);
    }
  }
  return text;
}

std::optional<PackageContent> ReadPackage(const Package::Names& names, std::string& error) {
  PackageContent content;
  const std::string& D = names.D;
  const std::string& P = names.P;
  if (P.empty()) {
    error = "Die gewählte Datei gehört zu keinem Transaktionspaket.";
    return std::nullopt;
  }
  std::string reading;  // the file being read, for the message
  try {
    platform::db::Connection& connection = OpenImportConnection(D);
    if (const auto file = PackageFile(D, P + "t.dbf")) {
      reading = D + *file;
      content.has_list = true;
      Query query(connection,
                  "select KENNUNG,TID,KARTULID,VGNR,SCHREIBEND from " + QuoteName(P + "t"));
      for (; !query.Eof(); query.Next()) {
        TTransaktionslistenDaten& R = content.rows.emplace_back();
        R.Kennung = query.AsString(0);
        R.TID = query.AsInt32(1);
        R.KartulID = query.AsInt32(2);
        R.VNr = query.AsInt32(3);
        R.Schreibend = query.AsInt32(4);
      }
    }
    if (const auto file = PackageFile(D, P + ".tid")) {
      reading = D + *file;
      content.has_tid = true;
      content.tid = Package::ReadTidFile(D + *file);
    }
    if (const auto file = PackageFile(D, P + ".shp")) {
      content.geodata = D + file->substr(0, file->size() - 4);
    } else if (!content.rows.empty()) {
      error = "Die Geodaten des Transaktionspakets fehlen:\r" + D + P + ".shp";
      return std::nullopt;
    }
    if (const auto file = PackageFile(D, P + ".xml")) content.xml = D + *file;
    for (const std::string& path : {content.geodata + ".shp", content.xml}) {
      if (path.size() > 4 && (!platform::text::FitsAnsi(path) ||
                              platform::text::Utf8ToAnsi(path).size() > Package::kMaxHostPath)) {
        error =
            "Der Pfad des Transaktionspakets kann an KARTUL nicht übergeben werden "
            "(höchstens 255 Zeichen im Windows-Zeichensatz):\r" +
            path;
        return std::nullopt;
      }
    }
    if (const auto file = PackageFile(D, P + "kl.dbf")) {
      reading = D + *file;
      Query query(connection, "select TID, Kennung from " + QuoteName(P + "kl"));
      for (; !query.Eof(); query.Next()) {
        content.kennungen.push_back({query.AsInt32(0), query.AsString(1)});
      }
    }
    if (const auto file = PackageFile(D, P + "pc.dbf")) {
      reading = D + *file;
      content.has_photos = true;
      ReadPhotoList(connection, P + "pc", content, D + *file);
    }
  } catch (const std::exception& e) {
    error = reading.empty() ? std::string(e.what())
                            : "Die Datei " + reading + " kann nicht gelesen werden:\r" + e.what();
    return std::nullopt;
  }
  return content;
}

bool VD1CustomImportProc() {
  const std::string key = VandraRegKey();
  platform::ui::FileDialogRequest request;
  request.kind = platform::ui::FileDialogRequest::Kind::kOpen;
  request.initial_dir = Tools::GetRegStringEntry(key, kSection, "ImportDir", "");
  const std::optional<std::string> path = platform::ui::FileDialog(request);
  if (!path || path->empty()) return false;

  const Package::Names names{Tools::WithBackslash(platform::env::FolderOf(*path)),
                             getFilenamePrefix(*path)};
  Tools::SetRegStringEntry(key, kSection, "ImportDir", names.D);

  platform::ui::HourglassGuard hourglass;
  std::string error;
  const std::optional<PackageContent> content = ReadPackage(names, error);
  if (!content) {
    Inform(MsgKind::kError, "Das Transaktionspaket wird nicht importiert:\r" + error);
    return false;
  }

  // The earlier build lets the deletion hook see the import's deletions.
  std::optional<ScopedFlag> running;
  if (CurrentProfile().build != Build::kVD1TransAction) running.emplace(State().ImportRunning);
  TableSnapshot tables;
  PictureUndo pictures;
  bool done = false;
  std::string failure;
  try {
    ImportTransActionList(*content);
    ImportTransActionNumbers(*content);
    if (LoadHostData(*content)) {
      ImportKennungList(*content);
      ImportFotos(names, *content, pictures);
      ImportFingerprints(*content);
      done = true;
    }
  } catch (const std::exception& e) {
    failure = e.what();
  }
  if (!done) {
    pictures.Restore();
    const std::string not_restored = tables.Restore();
    if (!failure.empty()) {
      Inform(MsgKind::kError,
             "Der Import ist fehlgeschlagen; Transaktionstabellen und Fotokatalog sind wie vor "
             "dem Import:\r" +
                 failure + not_restored);
    } else if (!not_restored.empty()) {
      Inform(MsgKind::kError,
             "Die Transaktionstabellen konnten nicht zurückgesetzt werden:" + not_restored);
    }
  }
  host::ActivateMap();
  host::Redraw();
  return done;
}

}  // namespace ImportFuncs
