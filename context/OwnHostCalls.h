// The plug-in's own calls into the host that make the host fire hooks back:
// its exports of the project, the rows and identifiers it writes while an
// import runs or is taken back, the identifier it hands the host when it
// assigns one. The hooks must not take that work for the mapper's edits, so
// each such call runs inside one of these scopes, which set the plug-in's
// flags for their life and put back what they found (also when the work
// throws). Only the identifier change itself sets the change-mark flag
// elsewhere: its two hooks set it and clear it, in that order.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

#include "context/PluginState.h"

namespace context {

// The host's writes and exports in this scope mark no change
// (blnDoNotSetChangeFlag): they are the plug-in's work, not the mapper's.
class NoChangeMarks {
 public:
  NoChangeMarks();

 private:
  ScopedFlag flag_;
};

// An import, or its undo, runs: in the builds whose profile says so, the
// deletion hook leaves the transaction list to it (ImportRunning).
class ImportRunning {
 public:
  ImportRunning();

 private:
  std::optional<ScopedFlag> flag_;
};

// Hands the host the object's identifier as the plug-in's own change: the
// identifier hooks the host fires meanwhile stand aside
// (blnChangingKennungInternal). The caller reads back whether it was taken.
void SetOwnKennung(int32_t id, std::string_view kennung);

}  // namespace context
