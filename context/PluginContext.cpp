#include "context/PluginContext.h"

#include <memory>

namespace context {
namespace {

std::unique_ptr<PluginContext>& Slot() {
  // Never destroyed at unload: connections closing after the loader tore
  // down what they use would crash the host on its way out.
  static auto* slot = new std::unique_ptr<PluginContext>();
  return *slot;
}

}  // namespace

PluginContext& Current() {
  std::unique_ptr<PluginContext>& slot = Slot();
  if (!slot) slot = std::make_unique<PluginContext>(Build::kVD1TransAction2010);
  return *slot;
}

void Start(Build build) {
  std::unique_ptr<PluginContext>& slot = Slot();
  if (slot) slot->Store().CloseAll();
  slot = std::make_unique<PluginContext>(build);
}

}  // namespace context
