// The plug-in's flags: what steers re-entry and hand-over between hooks,
// one copy per loaded library (in the plug-in context), gathered here so
// that nothing else keeps hook state in globals of its own.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

struct PluginState {
  // Suppresses change marking while an identifier change or an export runs.
  bool blnDoNotSetChangeFlag = false;
  // Identifier of the object before the host changes it.
  std::string strOldKennung;
  // UpdateKennungPreCorrection ran its first half and waits for the second.
  bool blnBeforeChangeKennungDone = false;
  // The plug-in itself is setting an identifier; identifier hooks stand aside.
  bool blnChangingKennungInternal = false;
  // Identifiers collected during an assignment run; null outside one.
  std::unique_ptr<std::vector<std::string>> ListToAssign;
  // Ids of the selected objects, collected by the same walk while an
  // earlier build's switch or release looks for them; null otherwise.
  std::unique_ptr<std::vector<int32_t>> SelectedObjects;
  // An import is in progress; deletions leave the transaction list alone.
  bool ImportRunning = false;
  // Target transaction of the next object entered by creation or assignment.
  int32_t TargetTID = 0;
};

// Sets a flag for its lifetime and puts back the value it found, also when
// the work in between throws: the nested hooks must never see a stale flag,
// and an outer holder of the same flag (an export around its host calls)
// must not lose it to an inner one.
class ScopedFlag {
 public:
  explicit ScopedFlag(bool& flag) : flag_(flag), before_(flag) { flag_ = true; }
  ~ScopedFlag() { flag_ = before_; }
  ScopedFlag(const ScopedFlag&) = delete;
  ScopedFlag& operator=(const ScopedFlag&) = delete;

 private:
  bool& flag_;
  bool before_;
};
