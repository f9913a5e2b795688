#include "photos/tables/Fotoverwaltung.h"

#include <climits>
#include <optional>
#include <unordered_set>

#include "context/PluginContext.h"
#include "context/ProjectStore.h"
#include "host/HostApi.h"
#include "host/Tools.h"
#include "platform/db/Dialect.h"
#include "platform/text/Formats.h"
#include "platform/text/Strings.h"

using platform::db::Connection;
using platform::db::DbError;
using platform::db::Query;
using platform::db::SqlText;
using platform::db::Table;
using platform::db::Value;
using tables::CatalogueEntry;
using tables::FotoRecord;
using tables::kPhotoLocal;
using tables::ObjectRow;
using tables::PhotoLink;
using tables::TFotoMetadaten;

namespace {

// The catalogue in the project database.
constexpr std::string_view kFotoTable = "Fotos";
// The host's link table between objects and photos, and its table of the
// plants an object lists: both with rows per object.
constexpr std::string_view kLinkTable = "Objektphotos";
constexpr std::string_view kPlantTable = "Pflanzenliste";

// The columns the catalogue's users read and write.
constexpr const char* kFotoColumns[] = {"FotoID",        "Kurzname",        "RW",     "HW",
                                        "Blickrichtung", "Aufnahmedatum",   "Quelle", "IsNew",
                                        "PicFileName",   "Bildbeschreibung"};

// A whole row, its columns in the order the readers take them by position.
constexpr std::string_view kSelectRow =
    "select FotoID, Kurzname, RW, HW, Blickrichtung, Aufnahmedatum, Quelle, IsNew, PicFileName, "
    "Bildbeschreibung from Fotos";

std::string NumberOrNull(const std::optional<int32_t>& v) {
  return v ? std::to_string(*v) : std::string("null");
}

std::string InsertSql(const TFotoMetadaten& foto) {
  std::string date = foto.Aufnahmedatum ? platform::text::StatementDate(*foto.Aufnahmedatum) : "";
  if (date.empty()) date = "null";
  return "insert into Fotos (FotoID,Kurzname,RW,HW,Blickrichtung,Aufnahmedatum,Quelle,"
         "Bildbeschreibung,PicFileName,IsNew) values (" +
         std::to_string(foto.FotoID) + ",'" + SqlText(foto.Kurzname) + "'," +
         NumberOrNull(foto.Rechtswert) + "," + NumberOrNull(foto.Hochwert) + "," +
         NumberOrNull(foto.Blickrichtung) + "," + date + ",'" + SqlText(foto.Quelle) + "','" +
         SqlText(foto.Beschreibung) + "','" + SqlText(foto.Dateiname) + "'," +
         std::to_string(foto.Status) + ")";
}

// A whole-number column's value from the dialog's text; null for nothing.
Value WholeNumber(const std::optional<std::string>& text, const char* column) {
  if (!text) return Value();
  const std::optional<int32_t> value = platform::text::StrToInt(platform::text::Trim(*text));
  if (!value) {
    throw DbError("Die Spalte " + std::string(column) +
                  " der Tabelle Fotos nimmt nur ganze Zahlen: \"" + *text + "\"");
  }
  return Value(*value);
}

std::optional<std::string> TextOrNull(const Query& q, int pos) {
  if (q.IsNull(pos)) return std::nullopt;
  return q.AsString(pos);
}

std::optional<int32_t> NumberOf(const Query& q, int pos) {
  if (q.IsNull(pos)) return std::nullopt;
  return q.AsInt32(pos);
}

// A date the driver cannot decode is none.
std::optional<double> DateOf(const Query& q, int pos) {
  if (q.IsNull(pos)) return std::nullopt;
  try {
    return q.AsDateTime(pos);
  } catch (const DbError&) {
    return std::nullopt;
  }
}

}  // namespace

namespace tables {

bool ObjectRow::IsPhotoLink() const {
  return table == kLinkTable;
}

std::optional<int32_t> ObjectRow::PhotoID() const {
  for (const auto& [field, value] : fields) {
    if (!platform::text::EqualsIgnoreCase(field, "PhotoID") || !value) continue;
    if (const std::optional<int32_t> number = platform::text::StrToInt(*value)) return number;
  }
  return std::nullopt;
}

bool IsLinkTable(std::string_view host_table) {
  return host_table == kLinkTable;
}

}  // namespace tables

namespace {

// The plug-in's one data module, held by the plug-in context.
struct DataModule {
  std::unique_ptr<TdmFotoverwaltung> module;
};

}  // namespace

std::unique_ptr<TdmFotoverwaltung>& GlobaldmFotoverwaltung() {
  return context::Current().ModuleState<DataModule>().module;
}

TdmFotoverwaltung& EnsureFotoverwaltung() {
  std::unique_ptr<TdmFotoverwaltung>& global = GlobaldmFotoverwaltung();
  if (!global) {
    auto module = std::make_unique<TdmFotoverwaltung>();
    module->OpenPrjDatabase(Tools::MyGetProjectDB());
    module->OpenTables();
    global = std::move(module);
  }
  return *global;
}

TdmFotoverwaltung::~TdmFotoverwaltung() {
  ClosePrjDatabase();
}

bool TdmFotoverwaltung::OpenPrjDatabase(const std::string& strDBName) {
  ClosePrjDatabase();
  try {
    ADOConnectionProjekt = Connection::Open(context::DatabaseConnectionString(strDBName));
  } catch (const DbError&) {
    ADOConnectionProjekt.reset();
  }
  return ADOConnectionProjekt != nullptr;
}

void TdmFotoverwaltung::ClosePrjDatabase() {
  try {
    ADOTblFotos.reset();
    ADOConnectionProjekt.reset();
  } catch (...) {
  }
}

Connection& TdmFotoverwaltung::ProjectConnection() {
  if (!ADOConnectionProjekt) throw DbError("Die Projektdatenbank ist nicht geöffnet.");
  return *ADOConnectionProjekt;
}

Table& TdmFotoverwaltung::Fotos() {
  if (!ADOTblFotos || !ADOTblFotos->IsOpen()) {
    throw DbError("Die Tabelle Fotos ist nicht geöffnet.");
  }
  return *ADOTblFotos;
}

Connection& TdmFotoverwaltung::ImportConnection() {
  if (!ADODBaseConnection1) throw DbError("Der Ordner der Fotoliste ist nicht geöffnet.");
  return *ADODBaseConnection1;
}

void TdmFotoverwaltung::InitImportDBaseDB(const std::string& pDBaseDirPath) {
  ADODBaseConnection1.reset();
  ADODBaseConnection1 =
      Connection::Open(context::DBaseConnectionString(pDBaseDirPath, "DBASE III"));
}

std::vector<std::string> TdmFotoverwaltung::TableNames() {
  return ProjectConnection().TableNames();
}

void TdmFotoverwaltung::OpenTables() {
  ADOTblFotos = std::make_unique<Table>(ProjectConnection(), std::string(kFotoTable));
  ADOTblFotos->Open();
}

bool TdmFotoverwaltung::IsFotosTable(std::string_view table) {
  return platform::text::EqualsIgnoreCase(table, kFotoTable);
}

void TdmFotoverwaltung::CreateTableFotos() {
  Connection& c = ProjectConnection();
  c.Execute(
      "create table Fotos\r\n"
      " (FotoID integer, \r\n"
      "Kurzname text(50), \r\n"
      "RW integer, \r\n"
      "HW integer, \r\n"
      "Blickrichtung integer, \r\n"
      "Aufnahmedatum date, \r\n"
      "Quelle text(255), \r\n"
      "IsNew integer, \r\n"
      "PicFileName text(50), \r\n"
      "Bildbeschreibung memo) ");
  c.Execute(
      "Create unique index PrimaryKey on Fotos\r\n"
      "(FotoID) with primary");
}

std::vector<std::string> TdmFotoverwaltung::MissingFotoColumns(const std::string& table) {
  Query query(ProjectConnection(), "select * from \"" + table + "\" where 1 = 0");
  std::vector<std::string> missing;
  for (const char* column : kFotoColumns) {
    bool found = false;
    for (int i = 0; i < query.FieldCount() && !found; ++i) {
      found = platform::text::EqualsIgnoreCase(query.FieldName(i), column);
    }
    if (!found) missing.emplace_back(column);
  }
  return missing;
}

// ---- The catalogue ---------------------------------------------------------------------

int32_t TdmFotoverwaltung::GetFotoID() {
  // The first row of the table in the order of its key, FotoID, holds the
  // lowest id, whatever order the rows were written in; a new id goes below
  // it. One pass over the ids answers what looking each candidate up would.
  Table& fotos = Fotos();
  std::unordered_set<int32_t> used;
  std::optional<int32_t> lowest;
  for (fotos.First(); !fotos.Eof(); fotos.Next()) {
    try {
      const Value value = fotos.FieldByName("FotoID");
      if (value.IsNull()) continue;
      const int32_t fid = value.AsInt32();
      used.insert(fid);
      if (!lowest || fid < *lowest) lowest = fid;
    } catch (const DbError&) {
    }
  }
  int64_t id = lowest ? int64_t{*lowest} - 1 : -1;
  // An id at the very bottom of the range leaves none below it: start over
  // from -1 then.
  if (id >= 0 || id < INT32_MIN) id = -1;
  while (used.count(static_cast<int32_t>(id)) != 0) {
    if (--id < INT32_MIN) throw DbError("Die Tabelle Fotos hat keine freie Foto-ID mehr.");
  }
  return static_cast<int32_t>(id);
}

std::vector<CatalogueEntry> TdmFotoverwaltung::CatalogueEntries() {
  std::vector<CatalogueEntry> rows;
  Query query(ProjectConnection(), "select FotoID, PicFileName, IsNew, Kurzname from Fotos");
  for (; !query.Eof(); query.Next()) {
    if (query.IsNull(0)) continue;
    rows.push_back({query.AsInt32(0), query.AsString(1), query.IsNull(2) ? 0 : query.AsInt32(2),
                    query.AsString(3)});
  }
  return rows;
}

std::unordered_set<int32_t> TdmFotoverwaltung::LocalFotoIDs() {
  std::unordered_set<int32_t> ids;
  for (const CatalogueEntry& entry : CatalogueEntries()) {
    if (entry.IsNew == kPhotoLocal) ids.insert(entry.FotoID);
  }
  return ids;
}

std::vector<TFotoMetadaten> TdmFotoverwaltung::LocalFotos() {
  std::vector<TFotoMetadaten> fotos;
  Query query(ProjectConnection(), kSelectRow);
  for (; !query.Eof(); query.Next()) {
    if (query.IsNull(7) || query.AsInt32(7) != kPhotoLocal) continue;
    TFotoMetadaten& foto = fotos.emplace_back();
    foto.Status = kPhotoLocal;
    foto.FotoID = query.AsInt32(0);
    foto.Kurzname = query.AsString(1);
    foto.Rechtswert = NumberOf(query, 2);
    foto.Hochwert = NumberOf(query, 3);
    foto.Blickrichtung = NumberOf(query, 4);
    foto.Aufnahmedatum = DateOf(query, 5);
    foto.Quelle = query.AsString(6);
    foto.Dateiname = query.AsString(8);
    foto.Beschreibung = query.AsString(9);
  }
  return fotos;
}

std::optional<FotoRecord> TdmFotoverwaltung::FindFoto(int32_t FotoID) {
  // By statement, so that what another program wrote since the table was
  // opened is seen.
  Query q(ProjectConnection(),
          std::string(kSelectRow) + " where FotoID = " + std::to_string(FotoID));
  if (q.Eof()) return std::nullopt;
  FotoRecord row;
  row.FotoID = q.AsInt32(0);
  row.Kurzname = q.AsString(1);
  row.RW = TextOrNull(q, 2);
  row.HW = TextOrNull(q, 3);
  row.Blickrichtung = TextOrNull(q, 4);
  row.Aufnahmedatum = DateOf(q, 5);
  row.Quelle = q.AsString(6);
  if (!q.IsNull(7)) {
    try {
      row.IsNew = q.AsInt32(7);
    } catch (const DbError&) {
    }
  }
  row.PicFileName = q.AsString(8);
  row.Bildbeschreibung = q.AsString(9);
  return row;
}

void TdmFotoverwaltung::PostFoto(const FotoRecord& row) {
  // Through the table object, which stores dates as the project database
  // keeps them.
  Table& fotos = Fotos();
  fotos.Refresh();
  if (fotos.Locate("FotoID", Value(row.FotoID))) {
    fotos.Edit();
  } else {
    fotos.Append();
  }
  try {
    fotos.SetFieldByName("FotoID", Value(row.FotoID));
    fotos.SetFieldByName("RW", WholeNumber(row.RW, "RW"));
    fotos.SetFieldByName("HW", WholeNumber(row.HW, "HW"));
    fotos.SetFieldByName("PicFileName", Value(row.PicFileName));
    fotos.SetFieldByName("Kurzname", Value(row.Kurzname));
    fotos.SetFieldByName("Aufnahmedatum", row.Aufnahmedatum ? Value(*row.Aufnahmedatum) : Value());
    fotos.SetFieldByName("Blickrichtung", WholeNumber(row.Blickrichtung, "Blickrichtung"));
    fotos.SetFieldByName("Quelle", Value(row.Quelle));
    fotos.SetFieldByName("Bildbeschreibung", Value(row.Bildbeschreibung));
    fotos.SetFieldByName("IsNew", row.IsNew ? Value(*row.IsNew) : Value());
    fotos.Post();
  } catch (...) {
    fotos.Cancel();
    throw;
  }
}

std::vector<std::string> TdmFotoverwaltung::PicFileNames() {
  std::vector<std::string> names;
  Query q(ProjectConnection(), "select PicFileName from Fotos where PicFileName is not null");
  for (; !q.Eof(); q.Next()) names.push_back(q.AsString(0));
  return names;
}

void TdmFotoverwaltung::AppendFotos(const std::vector<TFotoMetadaten>& fotos) {
  if (fotos.empty()) return;
  Connection& db = ProjectConnection();
  platform::db::InOneWrite(db, [&] {
    for (const TFotoMetadaten& foto : fotos) db.Execute(InsertSql(foto));
  });
}

void TdmFotoverwaltung::RemoveFotos(const std::vector<int32_t>& ids) {
  if (ids.empty()) return;
  Connection& db = ProjectConnection();
  platform::db::InOneWrite(db, [&] {
    for (const int32_t id : ids) {
      db.Execute("delete from Fotos where FotoID = " + std::to_string(id));
    }
  });
}

std::unordered_map<int32_t, std::string> TdmFotoverwaltung::FotoRowTexts(
    const std::unordered_set<int32_t>& ids) {
  std::unordered_map<int32_t, std::string> texts;
  if (ids.empty()) return texts;
  Query query(ProjectConnection(), kSelectRow);
  for (; !query.Eof(); query.Next()) {
    if (query.IsNull(0) || !ids.count(query.AsInt32(0))) continue;
    std::string& text = texts[query.AsInt32(0)];
    for (int i = 0; i < query.FieldCount(); ++i) {
      // A null and an empty text differ; the unit separator keeps fields apart.
      text += query.IsNull(i) ? std::string("\x1e") : query.AsString(i);
      text += '\x1f';
    }
  }
  return texts;
}

std::optional<std::string> TdmFotoverwaltung::DeleteLocalFoto(int32_t FotoID) {
  Connection& db = ProjectConnection();
  std::string file;
  {
    Query row(db, "select IsNew, PicFileName from Fotos where FotoID = " + std::to_string(FotoID));
    if (row.Eof()) return std::nullopt;
    if (row.IsNull(0) || row.AsInt32(0) != kPhotoLocal) return std::nullopt;
    file = row.AsString(1);
  }
  db.Execute("delete from Fotos where FotoID = " + std::to_string(FotoID));
  Fotos().Refresh();
  return file;
}

bool TdmFotoverwaltung::FileNamedElsewhere(int32_t FotoID, const std::string& file) {
  Query query(ProjectConnection(), "select count(*) from Fotos where FotoID <> " +
                                       std::to_string(FotoID) +
                                       " and lower(PicFileName) = lower('" + SqlText(file) + "')");
  return !query.Eof() && query.AsInt64(0) > 0;
}

// ---- The links, by statement -----------------------------------------------------------

int32_t TdmFotoverwaltung::FotoWirdVerwendet(int32_t FotoID) {
  Query query(ProjectConnection(),
              "Select count (*) from Objektphotos\r\nwhere PhotoID = " + std::to_string(FotoID));
  return query.Eof() ? 0 : query.AsInt32(0);
}

std::vector<PhotoLink> TdmFotoverwaltung::PhotoLinks() {
  std::vector<PhotoLink> links;
  Query query(ProjectConnection(), "select KARTULID,PhotoID from Objektphotos");
  for (; !query.Eof(); query.Next()) {
    if (query.IsNull(0) || query.IsNull(1)) continue;
    links.push_back({query.AsInt32(0), query.AsInt32(1)});
  }
  return links;
}

std::vector<ObjectRow> TdmFotoverwaltung::ReadObjectRows(ObjectRowTable which,
                                                         const std::unordered_set<int32_t>& ids) {
  const std::string_view table = which == ObjectRowTable::kPhotoLinks ? kLinkTable : kPlantTable;
  std::vector<ObjectRow> rows;
  if (ids.empty()) return rows;
  Query query(ProjectConnection(),
              "select * from " + platform::db::dialect::QuoteName(std::string(table)));
  int id_column = -1;
  std::vector<int> columns;
  for (int pos = 0; pos < query.FieldCount(); ++pos) {
    const std::string name = query.FieldName(pos);
    if (platform::text::EqualsIgnoreCase(name, "KARTULID")) {
      id_column = pos;
    } else if (!platform::text::EqualsIgnoreCase(name, "PKEY")) {
      columns.push_back(pos);
    }
  }
  if (id_column < 0) {
    throw DbError("Die Tabelle " + std::string(table) + " des Projekts hat keine Spalte KARTULID.");
  }
  for (; !query.Eof(); query.Next()) {
    if (query.IsNull(id_column)) continue;
    const int32_t id = query.AsInt32(id_column);
    if (!ids.count(id)) continue;
    ObjectRow& row = rows.emplace_back();
    row.table = std::string(table);
    row.KartulID = id;
    for (const int pos : columns) {
      row.fields.emplace_back(query.FieldName(pos), TextOrNull(query, pos));
    }
  }
  return rows;
}

// ---- The links, through the host's cursor ----------------------------------------------

namespace LinkRows {

int32_t CurrentPhotoID() {
  int32_t photo_id = 0;
  if (!Tools::MyGetIntValueByNameEx(kLinkTable, "PhotoID", photo_id)) photo_id = 0;
  return photo_id;
}

int32_t CurrentPKey() {
  return Tools::MyGetIntValueByName(kLinkTable, "PKEY");
}

void PostCurrent() {
  host::PostRecord(kLinkTable);
}

bool Walk(const std::function<bool()>& here) {
  host::TableFirst(kLinkTable);
  for (int step = 0; step < kMaxLinkRows && !host::TableEOF(kLinkTable); ++step) {
    if (here()) return true;
    host::TableNext(kLinkTable);
  }
  return false;
}

void GoTo(int32_t pkey) {
  Walk([pkey] { return CurrentPKey() == pkey; });
}

void ClearOtherMainPhotos(int32_t pkey) {
  host::DisableControls(kLinkTable);
  struct Enable {
    ~Enable() { host::EnableControls(kLinkTable); }
  } enable;
  Walk([pkey] {
    if (CurrentPKey() != pkey) Tools::MySetValueByName(kLinkTable, "Hauptphoto", "FALSCH");
    return false;
  });
  // The mapper stays on the row being edited.
  GoTo(pkey);
}

void LinkPhoto(int32_t pkey, int32_t FotoID) {
  // A dialog opened on a row not stored yet (-1) takes the first row
  // without a photo, which that row is once stored.
  const bool found = Walk([pkey] {
    const int32_t row_key = CurrentPKey();
    return row_key == pkey || (pkey == -1 && CurrentPhotoID() == 0);
  });
  if (!found) host::AppendRecord(kLinkTable);
  Tools::MySetValueByName(kLinkTable, "PhotoID", std::to_string(FotoID));
}

void Refresh() {
  host::TableRefresh(kLinkTable);
}

}  // namespace LinkRows

bool AppendObjectRows(int32_t id, const std::vector<const ObjectRow*>& rows) {
  if (rows.empty()) return true;
  const context::NoChangeMarks no_change_marks;
  host::EnsureData(id);
  for (const ObjectRow* row : rows) {
    if (!host::AppendRecord(row->table)) return false;
    for (const auto& [field, value] : row->fields) {
      if (value && !host::SetValueByName(row->table, field, *value)) return false;
    }
    host::PostRecord(row->table);
  }
  return true;
}
