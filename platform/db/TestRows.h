// Test helper: every row of a query as texts, null shown as "<null>", for
// comparing whole results at once. Used by the driver's tests only.
#pragma once

#include <string>
#include <vector>

#include "platform/db/Connection.h"

namespace platform::db::testing {

using Rows = std::vector<std::vector<std::string>>;

inline Rows All(Connection& c, const std::string& sql) {
  Query q(c, sql);
  Rows rows;
  for (; !q.Eof(); q.Next()) {
    std::vector<std::string> row;
    for (int i = 0; i < q.FieldCount(); ++i) row.push_back(q.IsNull(i) ? "<null>" : q.AsString(i));
    rows.push_back(row);
  }
  return rows;
}

}  // namespace platform::db::testing
