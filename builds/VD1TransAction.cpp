// Entry of the VD1TransAction build: selects its profile when the host loads the
// library. Its export list (VD1TransAction.map) names the hooks the host sees.
#include "context/BuildIdentity.h"
#include "plugin/hooks.h"

namespace {

__attribute__((constructor)) void Load() {
  PluginLoaded(ProfileOf(Build::kVD1TransAction));
}

}  // namespace
