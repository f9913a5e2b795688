// Fuzz target for the dBase codec and the virtual-table module over it. The
// input is a table file and its memo file: two bytes (little-endian) give
// the length of the .dbf part, the rest is the .dbt. Whatever the bytes, the
// codec must answer with a value or a DbaseError, never crash or hang, and
// a table it cannot read must stay as it was. The files live in an
// in-memory Env of their own for each input: nothing is written to disk.
//
// Beyond not crashing, a table that opens must keep these promises (a
// broken one aborts the run):
// - behind the records it counts, the file ends or an end mark stands: a
//   table read short would let an append overwrite what it does not count;
// - an append leaves every record it held as the handle saw it (a repair of
//   a killed writer's statement made on disk as in memory);
// - a NUL in a text and a fraction for a whole-number field are refused;
// - a second spelling of the table's name is an error, not a choice.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "platform/db/Connection.h"
#include "platform/dbase/DbfFile.h"
#include "platform/env/MemEnv.h"

namespace {

using platform::dbase::Cell;
using platform::dbase::DbaseError;
using platform::dbase::DbfFile;

void WriteFile(platform::env::Env& env, const std::string& path, const uint8_t* data, size_t size) {
  env.Open(path, platform::env::OpenMode::kTruncate)->WriteAt(0, data, size);
}

void Require(bool ok, const char* promise) {
  if (ok) return;
  std::fprintf(stderr, "broken promise: %s\n", promise);
  std::abort();
}

// A record as the handle holds it: its deletion flag and every field's bytes.
std::string RecordImage(const DbfFile& table, uint32_t rec) {
  std::string image(1, table.IsDeleted(rec) ? '*' : ' ');
  for (size_t field = 0; field < table.Fields().size(); ++field) {
    image += table.Raw(rec, static_cast<int>(field));
  }
  return image;
}

// The write must be refused with a DbaseError.
template <class Write>
void RequireRefused(Write&& write, const char* promise) {
  try {
    write();
  } catch (const DbaseError&) {
    return;
  }
  Require(false, promise);
}

uint32_t Le(const std::string& bytes, size_t at, int n) {
  uint32_t v = 0;
  for (int i = n - 1; i >= 0; --i) v = v << 8 | static_cast<unsigned char>(bytes[at + i]);
  return v;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 2) return 0;
  const size_t dbf_size = std::min<size_t>(size - 2, data[0] | data[1] << 8);
  platform::env::MemEnv env;
  platform::env::ScopedEnv scoped(env);
  const std::string dir = "/fuzz";
  const std::string path = dir + "/F.dbf";
  env.CreateFolder(dir);
  WriteFile(env, path, data + 2, dbf_size);
  WriteFile(env, dir + "/F.dbt", data + 2 + dbf_size, size - 2 - dbf_size);

  try {
    auto table = DbfFile::Open(path, true, env);
    table->BeginRead();
    const uint32_t count = table->RecordCount();
    {
      const std::string bytes = platform::env::ReadFile(env, path);
      const uint64_t end = Le(bytes, 8, 2) + static_cast<uint64_t>(count) * Le(bytes, 10, 2);
      Require(end >= bytes.size() || static_cast<unsigned char>(bytes[end]) == 0x1A,
              "behind the counted records the file ends or an end mark stands");
    }
    std::vector<std::string> before;
    for (uint32_t rec = 0; rec < count; ++rec) {
      before.push_back(RecordImage(*table, rec));
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
      const int f = static_cast<int>(field);
      const auto& field_def = table->Fields()[field];
      if (field_def.type == 'C' || field_def.type == 'M') {
        RequireRefused([&] { table->Write(rec, f, Cell::Text(std::string("a\0b", 3))); },
                       "a NUL in a text is refused");
      }
      if ((field_def.type == 'N' || field_def.type == 'F') && field_def.decimals == 0) {
        RequireRefused([&] { table->Write(rec, f, Cell::Real(0.5)); },
                       "a fraction for a whole-number field is refused");
      }
      try {
        table->Write(rec, f,
                     field_def.type == 'C' || field_def.type == 'M' ? Cell::Text("x")
                     : field_def.type == 'D'                        ? Cell::MakeDate({2024, 3, 5})
                                                                    : Cell::Integer(1));
      } catch (const DbaseError&) {
      }
    }
    table->Commit();
    table.reset();
    auto again = DbfFile::Open(path, false, env);
    again->BeginRead();
    Require(again->RecordCount() == count + 1, "an append adds one record");
    for (uint32_t r = 0; r < count; ++r) {
      Require(RecordImage(*again, r) == before[r], "an append leaves the records it held");
    }
    again->EndRead();
  } catch (const DbaseError&) {
  }

  // The same file through SQL: a scan and an indexed lookup on each column.
  const std::string source = "Data Source=" + dir + ";Extended Properties=DBASE IV;";
  try {
    auto c = platform::db::Connection::Open(source);
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

  // A second spelling of the name: no statement picks one of the two.
  WriteFile(env, dir + "/f.DBF", data + 2, dbf_size);
  try {
    auto c = platform::db::Connection::Open(source);
    platform::db::Query all(*c, "select * from F");
    Require(false, "a second spelling of a table's name is an error");
  } catch (const platform::db::DbError& e) {
    Require(std::string(e.what()).find("passen beide zum Namen") != std::string::npos,
            "a second spelling of a table's name is an error");
  }
  return 0;
}
