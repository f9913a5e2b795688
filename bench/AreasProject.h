// A project of the host stand-in for the benchmarks that need many objects
// in one transaction: opened with its own settings and a scripted
// presenter, the photo catalogue and folder made, `count` FFH areas
// "DE-000000" ... drawn in a grid, and the transaction tables created with
// the transaction `tid` in TA_ID. What goes into TA_LIST is the
// benchmark's own business.
#pragma once

#include <stdlib.h>

#include <cstdio>
#include <memory>
#include <string>

#include "bench/BenchFolder.h"
#include "hostsim/HostModel.h"
#include "photos/EnsureDataBase.h"
#include "platform/db/Connection.h"
#include "platform/ui/ScriptedPresenter.h"
#include "transaction/TransActTools.h"

namespace bench {

inline std::string AreaKennung(int i) {
  char buffer[32];
  std::snprintf(buffer, sizeof buffer, "DE-%06d", i);
  return buffer;
}

// Answers the folder the project lies in (as "<root>/projekt") and the
// presenter it installed.
inline std::string MakeAreasProject(int count, int tid,
                                    platform::ui::ScriptedPresenter** presenter = nullptr) {
  const std::string root = NewBenchFolder();
  setenv("KARTUL_REGISTRY", (root + "/registry.reg").c_str(), 1);
  auto scripted = std::make_unique<platform::ui::ScriptedPresenter>();
  if (presenter != nullptr) *presenter = scripted.get();
  platform::ui::SetPresenter(std::move(scripted));
  hostsim::Host::CreateProject(root + "/projekt");
  hostsim::Host& host = hostsim::TheHost();
  host.OpenProject(root + "/projekt");
  EnsureTableFotos();
  EnsureSubDirFotos();

  const int32_t klasse = host.FindClass("FFH")->id;
  for (int i = 0; i < count; ++i) {
    const double x = 2500000 + 100.0 * (i % 1000), y = 5600000 + 100.0 * (i / 1000);
    host.CreateObject(klasse, ktFlaeche, {{x, y}, {x + 50, y}, {x + 50, y + 50}}, AreaKennung(i));
  }
  using namespace TransActTools;
  CreateTransactionList("TA_LIST");
  CreateKennungList();
  CreateTransactionIDTable();
  OpenTransactionConnection().Execute("insert into TA_ID (TID,NAME,OWNER) values (" +
                                      std::to_string(tid) + ",'Gross','Betreuer')");
  return root;
}

}  // namespace bench
