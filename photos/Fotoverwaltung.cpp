#include "photos/Fotoverwaltung.h"

#include "context/PluginContext.h"
#include "context/ProjectStore.h"
#include "host/Tools.h"

// An empty request asks nothing of the connection, which need not be open.

using platform::db::Connection;
using platform::db::DbError;
using platform::db::Table;
using tables::FotoRecord;
using tables::TFotoMetadaten;
namespace catalogue = tables::catalogue;

namespace {

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

void TdmFotoverwaltung::OpenTables() {
  ADOTblFotos = catalogue::OpenTable(ProjectConnection());
}

void TdmFotoverwaltung::CreateTableFotos() {
  catalogue::Create(ProjectConnection());
}

void TdmFotoverwaltung::InitImportDBaseDB(const std::string& pDBaseDirPath) {
  ADODBaseConnection1.reset();
  ADODBaseConnection1 =
      Connection::Open(context::DBaseConnectionString(pDBaseDirPath, "DBASE III"));
}

std::vector<std::string> TdmFotoverwaltung::TableNames() {
  return ProjectConnection().TableNames();
}

std::vector<std::string> TdmFotoverwaltung::MissingFotoColumns(const std::string& table) {
  return catalogue::MissingColumns(ProjectConnection(), table);
}

int32_t TdmFotoverwaltung::GetFotoID() {
  return catalogue::NewFotoID(Fotos());
}

std::vector<CatalogueEntry> TdmFotoverwaltung::CatalogueEntries() {
  return catalogue::Entries(ProjectConnection());
}

std::unordered_set<int32_t> TdmFotoverwaltung::LocalFotoIDs() {
  return catalogue::LocalFotoIDs(ProjectConnection());
}

std::vector<TFotoMetadaten> TdmFotoverwaltung::LocalFotos() {
  return catalogue::LocalFotos(ProjectConnection());
}

std::optional<FotoRecord> TdmFotoverwaltung::FindFoto(int32_t FotoID) {
  return catalogue::Find(ProjectConnection(), FotoID);
}

void TdmFotoverwaltung::PostFoto(const FotoRecord& row) {
  catalogue::Post(Fotos(), row);
}

std::vector<std::string> TdmFotoverwaltung::PicFileNames() {
  return catalogue::PicFileNames(ProjectConnection());
}

void TdmFotoverwaltung::AppendFotos(const std::vector<TFotoMetadaten>& fotos) {
  if (fotos.empty()) return;
  catalogue::Append(ProjectConnection(), fotos);
}

void TdmFotoverwaltung::RemoveFotos(const std::vector<int32_t>& ids) {
  if (ids.empty()) return;
  catalogue::Remove(ProjectConnection(), ids);
}

std::unordered_map<int32_t, std::string> TdmFotoverwaltung::FotoRowTexts(
    const std::unordered_set<int32_t>& ids) {
  if (ids.empty()) return {};
  return catalogue::RowTexts(ProjectConnection(), ids);
}

std::optional<std::string> TdmFotoverwaltung::DeleteLocalFoto(int32_t FotoID) {
  std::optional<std::string> file = catalogue::DeleteLocal(ProjectConnection(), FotoID);
  // The table object reads the row gone from now on.
  if (file) Fotos().Refresh();
  return file;
}

bool TdmFotoverwaltung::FileNamedElsewhere(int32_t FotoID, const std::string& file) {
  return catalogue::FileNamedElsewhere(ProjectConnection(), FotoID, file);
}

int32_t TdmFotoverwaltung::FotoWirdVerwendet(int32_t FotoID) {
  return catalogue::LinkCount(ProjectConnection(), FotoID);
}

std::vector<PhotoLink> TdmFotoverwaltung::PhotoLinks() {
  return catalogue::Links(ProjectConnection());
}

std::vector<ObjectRow> TdmFotoverwaltung::ReadObjectRows(ObjectRowTable table,
                                                         const std::unordered_set<int32_t>& ids) {
  if (ids.empty()) return {};
  return catalogue::ObjectRows(ProjectConnection(), table, ids);
}
