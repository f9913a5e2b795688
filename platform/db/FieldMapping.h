// How the column types of the system's "create table" become dBase fields:
// integers are N(11,0) (N(6,0) and N(4,0) for the short kinds), text is
// C(n) (254 without a size), memo M, dates D, floating-point numbers
// N(20,6), currency N(20,4), numeric(n,m) N(n,m), booleans L.
#pragma once

#include "platform/db/Dialect.h"
#include "platform/dbase/DbfFormat.h"

namespace platform::db {

// The field for a column. Throws DbError for a type dBase has no field for
// (autoincrement, binary data) and for constraints, which dBase fields
// cannot keep.
dbase::FieldSpec DBaseFieldFor(const dialect::ColumnDef& column);

}  // namespace platform::db
