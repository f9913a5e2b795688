// Fuzz target for the dBase codec and the virtual-table module over it. The
// input is a table file and its memo file: two bytes (little-endian) give
// the length of the .dbf part, the rest is the .dbt. Whatever the bytes, the
// codec must answer with a value or a DbaseError, never crash or hang, and
// a table it cannot read must stay as it was. The files live in an
// in-memory Env of their own for each input: nothing is written to disk.
#include <cstddef>
#include <cstdint>
#include <string>

#include "platform/db/Connection.h"
#include "platform/dbase/DbfFile.h"
#include "platform/env/MemEnv.h"

namespace {

void WriteFile(platform::env::Env& env, const std::string& path, const uint8_t* data, size_t size) {
  env.Open(path, platform::env::OpenMode::kTruncate)->WriteAt(0, data, size);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using platform::dbase::DbaseError;
  using platform::dbase::DbfFile;
  if (size < 2) return 0;
  const size_t dbf_size = std::min<size_t>(size - 2, data[0] | data[1] << 8);
  platform::env::MemEnv env;
  platform::env::ScopedEnv scoped(env);
  const std::string dir = "/fuzz";
  env.CreateFolder(dir);
  WriteFile(env, dir + "/F.dbf", data + 2, dbf_size);
  WriteFile(env, dir + "/F.dbt", data + 2 + dbf_size, size - 2 - dbf_size);

  try {
    auto table = DbfFile::Open(dir + "/F.dbf", true, env);
    table->BeginRead();
    for (uint32_t rec = 0; rec < table->RecordCount(); ++rec) {
      for (size_t field = 0; field < table->Fields().size(); ++field) {
        try {
          table->Read(rec, static_cast<int>(field));
        } catch (const DbaseError&) {
        }
      }
    }
    table->EndRead();
    // A table that opens takes a new record of its own kind.
    table->BeginWrite();
    const uint32_t rec = table->Append();
    for (size_t field = 0; field < table->Fields().size(); ++field) {
      try {
        const char type = table->Fields()[field].type;
        table->Write(rec, static_cast<int>(field),
                     type == 'C' || type == 'M' ? platform::dbase::Cell::Text("x")
                     : type == 'D'              ? platform::dbase::Cell::MakeDate({2024, 3, 5})
                                                : platform::dbase::Cell::Integer(1));
      } catch (const DbaseError&) {
      }
    }
    table->Commit();
  } catch (const DbaseError&) {
  }

  // The same file through SQL: a scan and an indexed lookup on each column.
  try {
    auto c =
        platform::db::Connection::Open("Data Source=" + dir + ";Extended Properties=DBASE IV;");
    platform::db::Query all(*c, "select * from F");
    for (int i = 0; i < all.FieldCount(); ++i) {
      try {
        platform::db::Query q(*c,
                              "select count(*) from F where \"" + all.FieldName(i) + "\" = 'x'");
      } catch (const platform::db::DbError&) {
      }
    }
  } catch (const platform::db::DbError&) {
  }
  return 0;
}
