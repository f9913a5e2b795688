// The rows the host keeps per object in its tables "Objektphotos" and
// "Pflanzenliste": the links to photos and the plant list. The host drops
// them with the object, and its geodata and attribute files do not carry
// them; the import reads them from the project database before it deletes
// objects and appends them again, through the host's table cursor, to the
// object loaded anew (its new id) or put back.
//
// Reading throws platform::db::DbError; appending answers false when the
// host refuses a row or a field.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_set>
#include <utility>
#include <vector>

// One row of such a table: every field but the row's key and the object
// id, as text (null where the row has no value).
struct ObjectRow {
  std::string table;
  int32_t KartulID = 0;
  std::vector<std::pair<std::string, std::optional<std::string>>> fields;
  bool operator==(const ObjectRow&) const = default;
};

// The host's tables with rows per object that the import must carry over.
inline constexpr std::string_view kObjectRowTables[] = {"Objektphotos", "Pflanzenliste"};

// The rows of `table` whose object is one of `ids`, in the table's order.
std::vector<ObjectRow> ReadObjectRows(std::string_view table,
                                      const std::unordered_set<int32_t>& ids);

// Appends the rows to the object `id` (its rows become the host's data
// view). Change marks stay off meanwhile: the rows are the object's own,
// not an edit of the mapper's. False when the host refused one; the rows
// before it are appended.
bool AppendObjectRows(int32_t id, const std::vector<const ObjectRow*>& rows);
