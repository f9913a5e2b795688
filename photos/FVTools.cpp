#include "photos/FVTools.h"

#include "context/PluginContext.h"
#include "host/HostApi.h"
#include "host/Tools.h"

PhotoTask& FotoTask() {
  return context::Current().ModuleState<PhotoTask>();
}

void ResetPreFVState() {
  const PhotoTask& task = FotoTask();
  if (task.lngFvKARTULID <= 0) return;
  host::ActivateData();
  if (host::ActiveObject() != task.lngFvKARTULID) host::SetActiveObject(task.lngFvKARTULID);
  if (task.iFvPKeyFoto >= 0) LinkRows::GoTo(task.iFvPKeyFoto);
}

void ResetFVGlobals() {
  PhotoTask& task = FotoTask();
  task.lngFvKARTULID = -1;
  task.blnFotoVerwaltungAktiv = false;
}

void CloseFotoverwaltung() {
  if (FotoTask().lngFvKARTULID > 0) ResetPreFVState();
  ResetFVGlobals();
}
