// The type words are the platform engine's and their synonyms, lower case
// as the dialect layer hands them over.
#include "platform/db/FieldMapping.h"

#include "platform/text/Strings.h"

namespace platform::db {

dbase::FieldSpec DBaseFieldFor(const dialect::ColumnDef& col) {
  dbase::FieldSpec f;
  f.name = col.name;
  const std::string& t = col.type;
  if (t == "integer" || t == "int" || t == "long" || t == "integer4") {
    f.type = 'N';
    f.length = 11;
  } else if (t == "smallint" || t == "short" || t == "integer2") {
    f.type = 'N';
    f.length = 6;
  } else if (t == "byte" || t == "tinyint" || t == "integer1") {
    f.type = 'N';
    f.length = 4;
  } else if (t == "char" || t == "text" || t == "varchar" || t == "character" || t == "string" ||
             t == "alphanumeric" || t == "nchar" || t == "nvarchar") {
    f.type = 'C';
    f.length = col.size < 0 ? 254 : col.size;
  } else if (t == "memo" || t == "longtext" || t == "longchar" || t == "note" || t == "ntext") {
    f.type = 'M';
  } else if (t == "date" || t == "datetime" || t == "time" || t == "timestamp") {
    f.type = 'D';
  } else if (t == "double" || t == "float" || t == "real" || t == "single" || t == "number" ||
             t == "float8" || t == "float4") {
    f.type = 'N';
    f.length = 20;
    f.decimals = 6;
  } else if (t == "numeric" || t == "decimal") {
    f.type = 'N';
    f.length = col.size < 0 ? 18 : col.size;
    f.decimals = col.scale < 0 ? 0 : col.scale;
  } else if (t == "currency" || t == "money") {
    f.type = 'N';
    f.length = 20;
    f.decimals = 4;
  } else if (t == "bit" || t == "logical" || t == "yesno" || t == "boolean" || t == "logical1") {
    f.type = 'L';
  } else if (t == "autoincrement" || t == "counter" || t == "identity") {
    throw DbError("dBase-Tabellen haben keine Felder mit automatischer Nummer: " + col.name + ".");
  } else {
    dialect::RefuseColumnType(col);
  }
  const std::string rest = text::ToLowerAscii(col.rest);
  if (!rest.empty() && rest != "null" && rest != "not null") {
    throw DbError("dBase-Felder kennen keine Einschränkungen: " + col.name + " " + col.rest + ".");
  }
  return f;
}

}  // namespace platform::db
