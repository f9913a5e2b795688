// What sets the three deliverables apart at run time. Each build's entry file
// selects its profile when the library is loaded; the subsystem code is
// compiled once and branches on the profile where the builds differ. Tests
// select whichever profile they exercise.
#pragma once

#include <string>
#include <string_view>

#include "host/HostApi.h"

enum class Build { kVD1TransAction2010, kVD1TransAction, kTransactHooks };

struct BuildProfile {
  Build build;
  // The deliverable's name, e.g. "VD1TransAction2010".
  std::string_view name;
  // Current-user registry key that holds the section "VD2Transaktionen".
  std::string_view registry_key;
  // Text arguments of hooks arrive as UTF-16 (full build) or ANSI.
  host::TextForm hook_texts;
  // The transaction tables are table objects with named indexes
  // ("TA_LIST.DBF" ...) rather than reached through SQL.
  bool keyed_transaction_tables;
};

const BuildProfile& ProfileOf(Build build);
