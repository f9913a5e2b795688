#include "photos/FVTools.h"

#include "context/PluginContext.h"
#include "host/HostApi.h"
#include "host/Tools.h"

PhotoTask& FotoTask() {
  return context::Current().ModuleState<PhotoTask>();
}

TdmFotoverwaltung& EnsureFotoverwaltung() {
  PhotoTask& task = FotoTask();
  if (!task.GlobaldmFotoverwaltung) {
    auto module = std::make_unique<TdmFotoverwaltung>();
    module->OpenPrjDatabase(Tools::MyGetProjectDB());
    module->OpenTables();
    task.GlobaldmFotoverwaltung = std::move(module);
  }
  return *task.GlobaldmFotoverwaltung;
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
