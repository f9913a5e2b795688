// The exported hooks. Until the procedure behind a hook is built, the hook
// answers true and does nothing.
#include "plugin/hooks.h"

extern "C" {
#define VANDRA_DEFINE_HOOK(name) \
  int16_t name(intptr_t, intptr_t, uint16_t) { return kHookTrue; }
VANDRA_HOOK_LIST(VANDRA_DEFINE_HOOK)
#undef VANDRA_DEFINE_HOOK
}

void PluginLoaded(Build build) { SelectBuild(build); }
void PluginUnloaded() {}
