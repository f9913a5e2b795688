#include "plugin/PluginState.h"

namespace {
PluginState state;
}

PluginState& State() { return state; }

void ResetPluginState() { state = PluginState{}; }
