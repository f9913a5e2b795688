#include "context/OwnHostCalls.h"

#include "context/PluginContext.h"
#include "host/HostApi.h"

namespace context {

NoChangeMarks::NoChangeMarks() : flag_(State().blnDoNotSetChangeFlag) {}

ImportRunning::ImportRunning() {
  if (CurrentProfile().import_flag) flag_.emplace(State().ImportRunning);
}

void SetOwnKennung(int32_t id, std::string_view kennung) {
  ScopedFlag internal(State().blnChangingKennungInternal);
  host::SetKennung(id, kennung);
}

}  // namespace context
