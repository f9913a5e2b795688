#include "context/PluginContext.h"

#include <memory>

#include "context/BuildIdentity.h"
#include "host/HostApi.h"

namespace context {
namespace {

// Made on first use and gone with the library: a host that unloads the
// plug-in (or refuses it after loading) must not keep its connections.
std::unique_ptr<PluginContext>& Slot() {
  static std::unique_ptr<PluginContext> slot;
  return slot;
}

}  // namespace

PluginContext& Current() {
  std::unique_ptr<PluginContext>& slot = Slot();
  if (!slot) slot = std::make_unique<PluginContext>(ProfileOf(Build::kVD1TransAction2010));
  return *slot;
}

void Start(const BuildProfile& profile) {
  std::unique_ptr<PluginContext>& slot = Slot();
  if (slot) slot->Store().CloseAll();
  slot = std::make_unique<PluginContext>(profile);
}

NoChangeMarks::NoChangeMarks() : flag_(State().blnDoNotSetChangeFlag) {}

ImportRunning::ImportRunning() {
  if (CurrentProfile().import_flag) flag_.emplace(State().ImportRunning);
}

void SetOwnKennung(int32_t id, std::string_view kennung) {
  ScopedFlag internal(State().blnChangingKennungInternal);
  host::SetKennung(id, kennung);
}

}  // namespace context
