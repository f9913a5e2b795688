// The parts a host is made of, wired in the one order their references
// allow: the plug-in host first (every part fires hooks or leaves notes
// through it), then the event loop, the table cursors, the project over
// them, and the exchange over the project and the tables. Host owns one
// HostParts; the kt* functions of libktapi32.so reach TheHost()'s through
// PartsOf. Nothing of this is exported from the library.
#pragma once

#include "hostsim/EventLoop.h"
#include "hostsim/Exchange.h"
#include "hostsim/HostModel.h"
#include "hostsim/PluginHost.h"
#include "hostsim/Project.h"
#include "hostsim/TableCursors.h"

namespace hostsim {

struct HostParts {
  HostParts()
      : loop(plugin), tables(plugin), project(plugin, tables), exchange(project, tables, plugin) {}

  PluginHost plugin;
  EventLoop loop;
  TableCursors tables;
  Project project;
  Exchange exchange;
};

HostParts& PartsOf(Host& host);

}  // namespace hostsim
