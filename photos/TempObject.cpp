#include "photos/TempObject.h"

#include <string>

#include "context/PluginContext.h"

namespace {

// ktSinglePoint of the host's draw types.
constexpr uint8_t kSinglePoint = 6;

}  // namespace

TempObject& TempObject::Current() {
  return context::Current().ModuleState<TempObject>();
}

bool TempObject::StartPlacing(int32_t okl) {
  host::ActivateMap();
  std::string kennung;
  for (int n = 1;; ++n) {
    kennung = "TempObj" + std::to_string(n);
    if (!host::KennungExists(kennung)) break;
  }
  // A point of an earlier capture that nothing removed would stay for good.
  Remove();
  BeginPlacing();
  if (!host::CreateObjectStart(okl, kSinglePoint, kennung)) {
    // Without a placing no hook would ever end it, and every later
    // creation would pass as the dialog's point.
    blnTempObjectCreation = false;
    host::ActivateData();
    return false;
  }
  return true;
}

void TempObject::BeginPlacing() {
  blnTempObjectCreation = true;
  TempObjectKARTULID = -1;
}

bool TempObject::LetCreationPass(host::KennungRequest& R) {
  if (!blnTempObjectCreation) return false;
  R.SetUseDialog(false);
  return true;
}

bool TempObject::ObjectCreated(int32_t id) {
  if (!blnTempObjectCreation) return false;
  TempObjectKARTULID = id;
  blnTempObjectCreation = false;
  host::Redraw();
  return true;
}

void TempObject::Abandoned() {
  if (!blnTempObjectCreation) return;
  TempObjectKARTULID = -1;
  blnTempObjectCreation = false;
}

void TempObject::ProjectLoading() {
  blnTempObjectCreation = false;
}

void TempObject::Remove() {
  if (TempObjectKARTULID > 0) {
    host::DeleteObject(TempObjectKARTULID);
    TempObjectKARTULID = -1;
  }
}

void TempObject::Drop() {
  if (blnTempObjectCreation) {
    // The mapper is still placing: the host gives the placing up (and
    // reports it, which ends it here too); no point comes after the dialog.
    host::CreateObjectFinish();
    blnTempObjectCreation = false;
  }
  Remove();
}
