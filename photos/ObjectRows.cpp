#include "photos/ObjectRows.h"

#include "context/PluginContext.h"
#include "host/HostApi.h"
#include "photos/FVTools.h"
#include "platform/db/Connection.h"
#include "platform/db/Dialect.h"
#include "platform/text/Strings.h"

using platform::db::Query;

std::vector<ObjectRow> ReadObjectRows(std::string_view table,
                                      const std::unordered_set<int32_t>& ids) {
  std::vector<ObjectRow> rows;
  if (ids.empty()) return rows;
  platform::db::Connection& db = EnsureFotoverwaltung().ProjectConnection();
  Query query(db, "select * from " + platform::db::dialect::QuoteName(std::string(table)));
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
    throw platform::db::DbError("Die Tabelle " + std::string(table) +
                                " des Projekts hat keine Spalte KARTULID.");
  }
  for (; !query.Eof(); query.Next()) {
    if (query.IsNull(id_column)) continue;
    const int32_t id = query.AsInt32(id_column);
    if (!ids.count(id)) continue;
    ObjectRow& row = rows.emplace_back();
    row.table = std::string(table);
    row.KartulID = id;
    for (const int pos : columns) {
      row.fields.emplace_back(query.FieldName(pos), query.IsNull(pos)
                                                        ? std::nullopt
                                                        : std::optional(query.AsString(pos)));
    }
  }
  return rows;
}

bool AppendObjectRows(int32_t id, const std::vector<const ObjectRow*>& rows) {
  if (rows.empty()) return true;
  ScopedFlag no_change_marks(State().blnDoNotSetChangeFlag);
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
