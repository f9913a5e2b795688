#include "plugin/PluginState.h"

// Made on first use: the build's entry runs at library load, possibly before
// the static objects of this file would have been constructed.
PluginState& State() {
  static PluginState state;
  return state;
}

void ResetPluginState() { State() = PluginState{}; }
