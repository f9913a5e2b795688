#include "exchange/ImportPackage.h"

#include <algorithm>
#include <array>
#include <map>
#include <set>
#include <string_view>
#include <type_traits>
#include <unordered_map>
#include <unordered_set>

#include "context/PluginContext.h"
#include "dialogs/FotoActions.h"
#include "exchange/AttributeXml.h"
#include "exchange/ObjectFiles.h"
#include "host/HostApi.h"
#include "photos/PictureName.h"
#include "platform/db/Connection.h"
#include "platform/db/Dialect.h"
#include "platform/geodata/ShapeFiles.h"
#include "platform/text/Encoding.h"
#include "platform/text/Strings.h"
#include "platform/ui/Jpeg.h"
#include "platform/xml/Xml.h"
#include "transaction/TransActTools.h"

using platform::db::DbError;
using platform::db::Query;
using platform::db::dialect::QuoteName;

namespace ImportFuncs {
namespace {

// The photo list's columns, in the order the export writes them.
constexpr std::array<std::string_view, 9> kPhotoColumns = {
    "PhotoID", "Kurzname", "Datei", "RW", "HW", "Richtung", "Datum", "Quelle", "Beschr"};

platform::env::Env& CurrentEnv() {
  return platform::env::Env::Current();
}

// A refusal of the package, with the text for the mapper.
class Refused : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// The folder's entries, sorted: package files are matched without regard to
// case, and "the first in sorted order" must be the same on every run.
class Folder {
 public:
  explicit Folder(const std::string& path) : path_(path) {
    try {
      entries_ = CurrentEnv().ListFolder(path);
    } catch (const platform::env::EnvError& e) {
      throw Refused("Der Ordner " + path + " kann nicht gelesen werden:\r" + e.what());
    }
    std::sort(entries_.begin(), entries_.end());
  }

  // The entry that is `name` without regard to case: nothing when there is
  // none; refused when it is no regular file (a link, a folder, a device).
  std::optional<std::string> File(const std::string& name) const {
    for (const std::string& entry : entries_) {
      if (platform::text::EqualsIgnoreCase(entry, name)) {
        CheckRegular(entry);
        return entry;
      }
    }
    return std::nullopt;
  }

  // The same for a folder.
  std::optional<std::string> Subfolder(const std::string& name) const {
    for (const std::string& entry : entries_) {
      if (!platform::text::EqualsIgnoreCase(entry, name)) continue;
      const auto st = CurrentEnv().LinkStatus(platform::env::JoinPath(path_, entry));
      if (st && st->IsFolder()) return entry;
      throw Refused("Im Transaktionspaket ist \"" + platform::env::JoinPath(path_, entry) +
                    "\" kein gewöhnlicher Ordner (eine Verknüpfung oder eine Datei); das Paket "
                    "wird nicht importiert.");
    }
    return std::nullopt;
  }

  void CheckRegular(const std::string& entry) const {
    const std::string path = platform::env::JoinPath(path_, entry);
    std::optional<platform::env::FileStatus> st;
    try {
      st = CurrentEnv().LinkStatus(path);
    } catch (const platform::env::EnvError& e) {
      throw Refused("Die Datei " + path + " kann nicht gelesen werden:\r" + e.what());
    }
    if (!st || !st->IsRegular()) {
      throw Refused("Im Transaktionspaket ist \"" + path +
                    "\" keine gewöhnliche Datei (eine Verknüpfung, ein Ordner oder ein Gerät); "
                    "das Paket wird nicht importiert.");
    }
  }

  const std::vector<std::string>& Entries() const { return entries_; }

 private:
  std::string path_;
  std::vector<std::string> entries_;
};

std::optional<int32_t> NumberOrNone(const Query& query, int pos) {
  if (pos < 0 || query.IsNull(pos)) return std::nullopt;
  return query.AsInt32(pos);
}

std::string TextAt(const Query& query, int pos) {
  return pos < 0 ? std::string() : query.AsString(pos);
}

// Where each photo column is in the query; nothing when the list has
// another shape. Found by name, the columns may come in any order; taken
// by position, they must come exactly in the export's order.
std::optional<std::array<int, 9>> PhotoColumnPositions(const Query& query) {
  std::array<int, 9> positions{};
  const int count = query.FieldCount();
  if (CurrentProfile().photo_list_by_column_name) {
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
  if (!CurrentProfile().photo_texts_converted) return text;
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
    tables::TFotoMetadaten& foto = content.fotos.emplace_back();
    foto.Status = tables::kPhotoFromVandra;
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

// A note naming what a table holds more than once.
template <class Key, class Rows, class KeyOf>
void NoteTwice(const Rows& rows, KeyOf key_of, const std::string& intro, PackageContent& content) {
  using Seen = std::conditional_t<std::is_same_v<Key, std::string>, std::string_view, Key>;
  std::unordered_set<Seen> seen;
  seen.reserve(rows.size());
  std::set<Key> twice;
  for (const auto& row : rows) {
    const Key& key = key_of(row);
    if (!seen.insert(key).second) twice.insert(key);
  }
  if (twice.empty()) return;
  std::string text = intro;
  for (const Key& key : twice) {
    if constexpr (std::is_same_v<Key, std::string>) {
      text += "\r" + key;
    } else {
      text += "\r" + std::to_string(key);
    }
  }
  content.notes.push_back(text);
}

void ReadGeodata(const Folder& folder, const Package::Names& names, PackageContent& content) {
  const std::optional<std::string> main_layer = folder.File(names.P + ".shp");
  if (!main_layer) {
    if (!content.rows.empty()) {
      throw Refused("Die Geodaten des Transaktionspakets fehlen:\r" + names.D + names.P + ".shp");
    }
    return;
  }
  content.geodata = names.D + main_layer->substr(0, main_layer->size() - 4);
  for (const std::string& path : ObjectFiles::LayersOf(content.geodata)) {
    folder.CheckRegular(platform::env::NameOf(path));
    try {
      platform::geodata::ShapeLayer read =
          platform::geodata::ReadLayer(CurrentEnv(), path, "KENNUNG", "KLASSE");
      content.layers.push_back({path, std::move(read.ids), std::move(read.classes)});
    } catch (const platform::geodata::GeodataError& e) {
      throw Refused(e.what());
    }
  }
}

void ReadAttributes(const Folder& folder, const Package::Names& names, PackageContent& content) {
  const std::optional<std::string> file = folder.File(names.P + ".xml");
  if (!file) return;
  content.xml = names.D + *file;
  try {
    const std::string bytes = platform::env::ReadFile(CurrentEnv(), content.xml);
    for (AttributeXml::Object& object : AttributeXml::ReadObjects(bytes, content.xml, false)) {
      content.xml_ids.push_back(std::move(object.Kennung));
      content.xml_classes.push_back(object.Klasse);
    }
  } catch (const platform::env::EnvError& e) {
    throw Refused("Die Datei " + content.xml + " kann nicht gelesen werden:\r" + e.what());
  } catch (const platform::xml::XmlError& e) {
    throw Refused(e.what());
  }
}

// Up to 20 lines of a list, then their count, after its intro.
void AddGroup(std::string& text, const std::string& intro, const std::vector<std::string>& items) {
  if (items.empty()) return;
  if (!text.empty()) text += "\r\r";
  text += intro;
  for (size_t i = 0; i < items.size() && i < 20; ++i) text += "\r" + items[i];
  if (items.size() > 20) text += "\r... (" + std::to_string(items.size()) + " insgesamt)";
}

// dBase's memo and index files: only these beside a missing table show that
// it was written. Another package whose prefix is P + "kl" puts its own
// .shp, .xml and .tid there, which say nothing of this package.
constexpr std::array<std::string_view, 6> kTableCompanions = {".dbt", ".fpt", ".cdx",
                                                              ".mdx", ".ndx", ".idx"};

std::optional<std::string> CompanionWithoutTable(const Folder& folder, const std::string& table) {
  if (folder.File(table + ".dbf")) return std::nullopt;
  for (const std::string& entry : folder.Entries()) {
    for (const std::string_view extension : kTableCompanions) {
      if (platform::text::EqualsIgnoreCase(entry, table + std::string(extension))) return entry;
    }
  }
  return std::nullopt;
}

bool HoldsPictures(const std::string& path) {
  const Folder folder(path);
  const std::vector<std::string>& entries = folder.Entries();
  return std::any_of(entries.begin(), entries.end(), [](const std::string& name) {
    return platform::text::EndsWithIgnoreCase(name, ".jpg");
  });
}

// The parts of a package make its objects only together, and a part left
// out goes unnoticed on the way in: without the list the objects would
// come in outside every transaction, without the attribute file the
// objects loaded anew (the project's own among them, deleted first) would
// lose their attributes, without the photo list its pictures would not
// come in at all. A table whose memo or index file lies there was written,
// and is missing as much. Tables that nothing shows belong to the package
// may be left out, as a checkout without photos leaves its photo list.
void CheckComplete(const Folder& folder, const Package::Names& names,
                   const PackageContent& content) {
  const std::string& D = names.D;
  const std::string& P = names.P;
  const bool shaped = std::any_of(content.layers.begin(), content.layers.end(),
                                  [](const GeoLayer& layer) { return !layer.ids.empty(); });
  std::vector<std::string> missing;
  if (!content.has_list && (shaped || !content.xml_ids.empty())) {
    missing.push_back("Die Transaktionsliste " + D + P +
                      "t.dbf fehlt; die Objekte der Geo- und Attributdaten kämen außerhalb "
                      "jeder Transaktion ins Projekt.");
  } else if (const auto companion = CompanionWithoutTable(folder, P + "t")) {
    missing.push_back("Die Transaktionsliste " + D + P + "t.dbf fehlt, ihre Datei " + D +
                      *companion + " liegt aber im Paket.");
  }
  if (content.xml.empty() && shaped) {
    missing.push_back("Die Attributdaten " + D + P +
                      ".xml fehlen; die Objekte der Geodaten kämen ohne ihre Attribute ins "
                      "Projekt, die schon vorhandenen verlören sie.");
  }
  if (const auto companion = CompanionWithoutTable(folder, P + "kl")) {
    missing.push_back("Die Liste der freien Kennungen " + D + P + "kl.dbf fehlt, ihre Datei " + D +
                      *companion + " liegt aber im Paket.");
  }
  if (!folder.File(P + "pc.dbf")) {
    const std::optional<std::string> photos = folder.Subfolder(P + "_Fotos");
    if (photos && HoldsPictures(D + *photos)) {
      missing.push_back("Die Fotoliste " + D + P + "pc.dbf fehlt, der Ordner " + D + *photos +
                        " enthält aber Bilder; ohne sie kämen die Fotos nicht ins Projekt.");
    } else if (const auto companion = CompanionWithoutTable(folder, P + "pc")) {
      missing.push_back("Die Fotoliste " + D + P + "pc.dbf fehlt, ihre Datei " + D + *companion +
                        " liegt aber im Paket.");
    }
  }
  if (missing.empty()) return;
  std::string text = "Das Transaktionspaket ist unvollständig:";
  for (const std::string& line : missing) text += "\r" + line;
  throw Refused(text);
}

// The list and the data must name the same objects, each whole: the import
// deletes the project's copy of every object it loads. An object the list
// does not name would come in outside every transaction (an identifier
// damaged on the way is one of these, its listed object then without
// geometry); a listed one without its geometry or its attribute row would
// come back as half of itself. A deletion needs no geometry, but must be
// there in one of the two to be found and deleted.
void CheckListedObjects(const PackageContent& content, const std::string& list_file) {
  if (!content.has_list) return;
  // What the package holds of each identifier, in one table: a package of
  // a hundred thousand objects is checked in moments.
  struct Held {
    bool listed = false;
    int32_t status = 0;  // of the row that holds: the last of an identifier
    bool geometry = false;
    bool attributes = false;
    bool named = false;  // in the message already
  };
  std::unordered_map<std::string_view, Held> objects;
  objects.reserve(content.rows.size() + content.xml_ids.size());
  for (const TTransaktionslistenDaten& R : content.rows) {
    Held& held = objects[R.Kennung];
    held.listed = true;
    held.status = R.Schreibend;
  }
  std::vector<std::string> unlisted;
  const auto unless_listed = [&unlisted](const std::string& K, Held& held, const std::string& file,
                                         const char* unit, size_t i) {
    if (held.listed || held.named) return;
    held.named = true;
    unlisted.push_back(K + " (" + platform::env::NameOf(file) + ", " + unit + " " +
                       std::to_string(i + 1) + ")");
  };
  for (const GeoLayer& layer : content.layers) {
    for (size_t i = 0; i < layer.ids.size(); ++i) {
      Held& held = objects[layer.ids[i]];
      held.geometry = true;
      unless_listed(layer.ids[i], held, layer.path, "Datensatz", i);
    }
  }
  for (size_t i = 0; i < content.xml_ids.size(); ++i) {
    Held& held = objects[content.xml_ids[i]];
    held.attributes = true;
    unless_listed(content.xml_ids[i], held, content.xml, "Objekt", i);
  }

  std::vector<std::string> missing, no_geometry, no_attributes;
  for (const TTransaktionslistenDaten& R : content.rows) {
    Held& held = objects.find(R.Kennung)->second;
    if (held.named) continue;
    held.named = true;
    if (!held.geometry && !held.attributes) {
      missing.push_back(R.Kennung);
    } else if (held.status == TransActTools::kGeloescht) {
      continue;
    } else if (!held.geometry) {
      no_geometry.push_back(R.Kennung);
    } else if (!held.attributes) {
      no_attributes.push_back(R.Kennung);
    }
  }
  std::string text;
  AddGroup(text,
           "Die Geo- und Attributdaten des Transaktionspakets enthalten nicht jedes Objekt seiner "
           "Transaktionsliste; es fehlen:",
           missing);
  AddGroup(text,
           "Folgende Objekte der Transaktionsliste kommen ohne Geometrie; die Geodaten " +
               content.geodata + ".shp enthalten sie nicht:",
           no_geometry);
  AddGroup(text,
           "Folgende Objekte der Transaktionsliste kommen ohne Attributdaten; die Datei " +
               content.xml + " enthält sie nicht:",
           no_attributes);
  AddGroup(text,
           "Folgende Objekte der Geo- und Attributdaten sind nicht in der Transaktionsliste " +
               list_file + "; sie kämen außerhalb jeder Transaktion ins Projekt:",
           unlisted);
  if (!text.empty()) throw Refused(text);
}

// Every object must be of a class the host knows: it skips any other when
// it loads, and the object the import deleted for it would be gone.
void CheckClasses(const PackageContent& content) {
  std::map<int32_t, std::vector<std::string_view>> used;
  std::unordered_set<std::string_view> shaped;
  for (const GeoLayer& layer : content.layers) {
    for (size_t i = 0; i < layer.classes.size(); ++i)
      used[layer.classes[i]].push_back(layer.ids[i]);
    shaped.reserve(shaped.size() + layer.ids.size());
    shaped.insert(layer.ids.begin(), layer.ids.end());
  }
  // An object of the attribute file alone is made from its class there.
  for (size_t i = 0; i < content.xml_ids.size(); ++i) {
    if (!shaped.count(content.xml_ids[i]) && content.xml_classes[i] != 0) {
      used[content.xml_classes[i]].push_back(content.xml_ids[i]);
    }
  }
  std::string unknown;
  for (const auto& [klasse, kennungen] : used) {
    if (host::ClassShortName(klasse, 0)) continue;
    unknown += "\r" + std::to_string(klasse) + ":";
    for (size_t i = 0; i < kennungen.size() && i < 5; ++i) {
      unknown += ' ';
      unknown += kennungen[i];
    }
    if (kennungen.size() > 5) unknown += " ... (" + std::to_string(kennungen.size()) + ")";
  }
  if (!unknown.empty()) {
    throw Refused(
        "Das Transaktionspaket enthält Objekte von Objektklassen, die dieses Projekt "
        "nicht kennt; KARTUL würde sie nicht laden:" +
        unknown);
  }
}

void ReadPictures(const Folder& folder, const Package::Names& names, PackageContent& content) {
  const std::optional<std::string> photos = folder.Subfolder(names.P + "_Fotos");
  if (!photos) return;
  const std::string S = names.D + *photos;
  content.photo_folder = S;
  const Folder pictures(S);
  platform::env::Env& env = CurrentEnv();
  std::vector<std::string> damaged;
  for (const std::string& name : pictures.Entries()) {
    if (!platform::text::EndsWithIgnoreCase(name, ".jpg")) continue;
    pictures.CheckRegular(name);
    PackagePicture& picture = content.pictures.emplace_back();
    picture.name = name;
    picture.path = platform::env::JoinPath(S, name);
    try {
      std::unique_ptr<platform::env::File> file =
          env.Open(picture.path, platform::env::OpenMode::kRead);
      picture.status = file->Status();
      if (!picture.status.IsRegular()) pictures.CheckRegular(name);
      const platform::ui::JpegPicture header = platform::ui::ReadJpegHeader(*file, name);
      if (!header.ok) {
        picture.damage = header.error;
        damaged.push_back(header.error);
      }
    } catch (const platform::env::EnvError& e) {
      throw Refused("Die Bilddatei " + picture.path + " kann nicht gelesen werden:\r" + e.what());
    }
  }
  if (!damaged.empty()) {
    std::string text =
        "Folgende Bilddateien des Pakets sind keine lesbaren JPEG-Bilder; ihre "
        "Fotos wurden trotzdem übernommen:";
    for (const std::string& line : damaged) text += "\r" + line;
    content.notes.push_back(text);
  }
}

void NoteFotosWithoutPicture(PackageContent& content) {
  if (!content.has_photos) return;
  std::unordered_set<std::string> present;
  for (const PackagePicture& picture : content.pictures) {
    present.insert(platform::text::ToLowerAscii(picture.name));
  }
  std::vector<std::string> missing;
  for (const tables::TFotoMetadaten& foto : content.fotos) {
    if (UsablePictureName(foto.Dateiname) &&
        !present.count(platform::text::ToLowerAscii(foto.Dateiname))) {
      missing.push_back(std::to_string(foto.FotoID) + " (" + foto.Dateiname + ")");
    }
  }
  if (missing.empty()) return;
  std::string text = "Folgende Fotos der Fotoliste haben keine Bilddatei im Paket:";
  for (size_t i = 0; i < missing.size() && i < 20; ++i) text += "\r" + missing[i];
  if (missing.size() > 20) text += "\r... (" + std::to_string(missing.size()) + " insgesamt)";
  content.notes.push_back(text);
}

}  // namespace

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
  // Read or refused, the package's files are closed when this returns.
  struct ImportConnectionScope {
    ~ImportConnectionScope() { TransActTools::CloseImportConnection(); }
  } connection_scope;
  try {
    const Folder folder(D);
    // An export cut off leaves a package without its .tid, or its staging
    // folder: taken for a whole one, half a package would come in. A
    // checkout without its .tid (none of the files only the export writes)
    // still comes in, as it always did, with the message about its number.
    if (const std::optional<std::string> why = Package::IncompletePackage(names)) {
      const bool exported =
          folder.Subfolder(P + std::string(Package::kStagingSuffix)).has_value() ||
          folder.File(names.ChangeListFile().substr(D.size())).has_value() ||
          folder.File(names.ActionTable() + ".dbf").has_value() ||
          folder.File(names.ActionTableShort() + ".dbf").has_value();
      if (exported) throw Refused(*why);
    }
    platform::db::Connection& connection = TransActTools::OpenImportConnection(D);
    std::string list_file;
    if (const auto file = folder.File(P + "t.dbf")) {
      reading = D + *file;
      list_file = reading;
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
      NoteTwice<std::string>(
          content.rows,
          [](const TTransaktionslistenDaten& R) -> const std::string& { return R.Kennung; },
          "Die Transaktionsliste " + reading +
              " nennt folgende Kennungen mehrfach; es gilt jeweils die letzte Zeile:",
          content);
    }
    if (const auto file = folder.File(P + ".tid")) {
      reading = D + *file;
      content.has_tid = true;
      content.tid = Package::ReadTidFile(D + *file);
    }
    reading.clear();
    ReadGeodata(folder, names, content);
    ReadAttributes(folder, names, content);
    CheckComplete(folder, names, content);
    CheckListedObjects(content, list_file);
    CheckClasses(content);
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
    if (const auto file = folder.File(P + "kl.dbf")) {
      reading = D + *file;
      Query query(connection, "select TID, Kennung from " + QuoteName(P + "kl"));
      for (; !query.Eof(); query.Next()) {
        content.kennungen.push_back({query.AsInt32(0), query.AsString(1)});
      }
      NoteTwice<std::string>(
          content.kennungen,
          [](const FreeKennung& free) -> const std::string& { return free.Kennung; },
          "Die Liste der freien Kennungen " + reading +
              " nennt folgende Kennungen mehrfach; sie werden einmal übernommen:",
          content);
    }
    if (const auto file = folder.File(P + "pc.dbf")) {
      reading = D + *file;
      folder.File(P + "pc.dbt");  // a memo file that is a link refuses the package too
      content.has_photos = true;
      ReadPhotoList(connection, P + "pc", content, D + *file);
      NoteTwice<int32_t>(
          content.fotos,
          [](const tables::TFotoMetadaten& foto) -> const int32_t& { return foto.FotoID; },
          "Die Fotoliste " + reading +
              " nennt folgende Foto-IDs mehrfach; es gilt jeweils die erste Zeile:",
          content);
    }
    reading.clear();
    ReadPictures(folder, names, content);
    NoteFotosWithoutPicture(content);
  } catch (const Refused& e) {
    error = e.what();
    return std::nullopt;
  } catch (const std::exception& e) {
    error = reading.empty() ? std::string(e.what())
                            : "Die Datei " + reading + " kann nicht gelesen werden:\r" + e.what();
    return std::nullopt;
  }
  return content;
}

}  // namespace ImportFuncs
