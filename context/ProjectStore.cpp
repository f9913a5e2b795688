#include "context/ProjectStore.h"

#include "host/HostApi.h"
#include "host/Tools.h"
#include "platform/env/Path.h"

using platform::db::Connection;

namespace context {
namespace {

constexpr std::string_view kProvider = "Provider=Microsoft.Jet.OLEDB.4.0;Data Source=";

}  // namespace

std::string DBaseConnectionString(std::string_view directory, std::string_view version) {
  return std::string(kProvider) + platform::env::WithoutTrailingSeparator(std::string(directory)) +
         ";" + "Extended Properties=" + std::string(version) + ";";
}

std::string DatabaseConnectionString(std::string_view file) {
  return std::string(kProvider) + std::string(file) + ";" + "Persist Security Info=False";
}

ProjectPaths& ProjectStore::Paths() {
  std::string reported = host::ProjectDir();
  if (!paths_ || paths_->Reported() != reported) {
    paths_ = std::make_unique<ProjectPaths>(std::move(reported));
  }
  return *paths_;
}

Connection& ProjectStore::TransactionConnection() {
  const std::string& dir = Paths().Dir();
  if (transaction_ && transaction_dir_ != dir) transaction_.reset();
  if (!transaction_) {
    transaction_ = Connection::Open(DBaseConnectionString(dir, "DBASE III"));
    transaction_dir_ = dir;
  }
  return *transaction_;
}

platform::db::KeyedTable& ProjectStore::ProjectTable(
    std::string_view file_name, const std::vector<platform::db::KeyDef>& keys) {
  const std::string& dir = Paths().Dir();
  if (tables_dir_ != dir) {
    tables_.clear();
    tables_dir_ = dir;
  }
  auto it = tables_.find(file_name);
  if (it == tables_.end()) {
    it = tables_
             .emplace(std::string(file_name),
                      std::make_unique<platform::db::KeyedTable>(dir, std::string(file_name), keys))
             .first;
  }
  return *it->second;
}

Connection& ProjectStore::VerfahrenConnection() {
  const std::string db = Tools::MyGetVerfahrenDB();
  if (verfahren_ && verfahren_db_ != db) verfahren_.reset();
  if (!verfahren_) {
    verfahren_ = Connection::Open(DatabaseConnectionString(db));
    verfahren_db_ = db;
  }
  return *verfahren_;
}

Connection& ProjectStore::ImportConnection(std::string_view directory) {
  import_.reset();
  import_ = Connection::Open(DBaseConnectionString(directory, "DBASE IV"));
  return *import_;
}

Connection& ProjectStore::ExportConnection(std::string_view directory) {
  // An export that ended by an error leaves its connection behind; the next
  // export must still write into its own folder.
  const std::string wanted = platform::env::WithoutTrailingSeparator(std::string(directory));
  if (export_ && export_->DataSource() != wanted) export_.reset();
  if (!export_) export_ = Connection::Open(DBaseConnectionString(directory, "DBASE IV"));
  return *export_;
}

void ProjectStore::CloseExportConnection() {
  export_.reset();
}

void ProjectStore::CloseImportConnection() {
  import_.reset();
}

void ProjectStore::CloseProject() {
  paths_.reset();
  tables_.clear();
  tables_dir_.clear();
  transaction_.reset();
  transaction_dir_.clear();
  export_.reset();
}

void ProjectStore::CloseAll() {
  paths_.reset();
  tables_.clear();
  tables_dir_.clear();
  transaction_.reset();
  transaction_dir_.clear();
  verfahren_.reset();
  verfahren_db_.clear();
  import_.reset();
  export_.reset();
}

}  // namespace context
