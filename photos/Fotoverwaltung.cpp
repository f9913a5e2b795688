#include "photos/Fotoverwaltung.h"

#include <climits>
#include <optional>
#include <unordered_set>

#include "context/ProjectStore.h"

using platform::db::Connection;
using platform::db::DbError;
using platform::db::Query;
using platform::db::Table;

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
  ADOTblFotos = std::make_unique<Table>(ProjectConnection(), "Fotos");
  ADOTblFotos->Open();
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

int32_t TdmFotoverwaltung::GetFotoID() {
  // The first row of the table in the order of its key, FotoID, holds the
  // lowest id, whatever order the rows were written in; a new id goes below
  // it. One pass over the ids answers what looking each candidate up would.
  Table& fotos = Fotos();
  std::unordered_set<int32_t> used;
  std::optional<int32_t> lowest;
  for (fotos.First(); !fotos.Eof(); fotos.Next()) {
    try {
      const platform::db::Value value = fotos.FieldByName("FotoID");
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

int32_t TdmFotoverwaltung::FotoWirdVerwendet(int32_t FotoID) {
  Query query(ProjectConnection(),
              "Select count (*) from Objektphotos\r\nwhere PhotoID = " + std::to_string(FotoID));
  return query.Eof() ? 0 : query.AsInt32(0);
}

void TdmFotoverwaltung::InitImportDBaseDB(const std::string& pDBaseDirPath) {
  ADODBaseConnection1.reset();
  ADODBaseConnection1 =
      Connection::Open(context::DBaseConnectionString(pDBaseDirPath, "DBASE III"));
}

std::vector<std::string> TdmFotoverwaltung::TableNames() {
  return ProjectConnection().TableNames();
}
