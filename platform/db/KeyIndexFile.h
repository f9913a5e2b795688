// An index of one field of a large dBase table, kept in a file beside the
// table, so that the next process to open the table finds a record through
// it without reading every record first: "<table file>.<FIELD>.vkx" (for
// example TA_LIST.dbf.KENNUNG.vkx). Only this driver writes and reads such
// files; no other program takes them for an index of its own (Jet's dBase
// driver reads .inf, .ndx and .mdx, OGR .ind and .idm). Deleting one is
// always safe: the index is then built from the records, and written anew.
//
// Other programs change the table without knowing of the file, so it is
// never taken on trust. It is taken only when
// - the table has the size, modification time, header (record count, change
//   count, date) and record length it had when the index was written, and
//   the field the same name, type, length and place;
// - it was written well after the table last changed: within one tick of a
//   coarse file clock a later change would not move the time;
// - a sample of records spread over the table, the last ones among them,
//   holds the bytes it held then, and the key the index gives each;
// - each of its pages adds up to its sum when it is read, and every number
//   read to the others (ColumnIndex::Attach): a lookup reads and checks a
//   few pages, not the whole file;
// - it was written with this build's hash function.
// Otherwise the caller builds the index from the records. What the index
// answers is checked against the records as well (the callers check the
// records of each answer), so that a file that passes all this and still
// lies is found out and dropped.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "platform/db/ColumnIndex.h"
#include "platform/dbase/DbfFile.h"
#include "platform/env/Env.h"

namespace platform::db::key_index {

// The key the index gives a record, as its builder takes it (nothing for a
// null value or a deleted record).
using KeyOfRecord = std::function<std::optional<std::string>(uint32_t rec)>;

// Tables with fewer records are indexed from their records each time:
// reading them costs less than reading the file, and no file is written.
uint32_t MinRecords();
void SetMinRecords(uint32_t records);

// The index file of `field` of `table`.
std::string PathFor(const dbase::DbfFile& table, int field);

// Fills `index` from the file when it describes the table as it stands; a
// statement must be open on the table. `kind` names how the builder makes
// keys of values (files of another kind are not taken). False, with the
// index empty, when the file is missing or not taken; never throws on a bad
// file.
bool Load(const dbase::DbfFile& table, int field, std::string_view kind, const KeyOfRecord& key_of,
          ColumnIndex& index);

// Writes the index of the table as it stands to the file (through a
// temporary file and a rename, so a reader never sees half of it); a
// statement must be open on the table. Does nothing while the records in
// memory are not the disk's, or when the table changed too recently to be
// told apart from a later change. False when nothing was written; never
// throws: the file only saves time.
bool Save(const dbase::DbfFile& table, int field, std::string_view kind, const KeyOfRecord& key_of,
          const ColumnIndex& index) noexcept;

// Removes the index files of the table at `table_path` (its fields' and
// any left half written); for a table that goes. Never throws: a file left
// behind matches no table.
void RemoveFor(env::Env& env, const std::string& table_path) noexcept;

}  // namespace platform::db::key_index
