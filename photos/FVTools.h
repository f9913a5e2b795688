// The state of a running photo task, and what ends one: the host put back as
// the task found it (ResetPreFVState), and the globals reset (ResetFVGlobals,
// CloseFotoverwaltung). The state is the plug-in context's, one per loaded
// library; a task runs from ProcessFoto until its dialog closes or the
// project does. The data module the task works with is the plug-in's one
// (photos/Fotoverwaltung.h), which the export and the import open too.
#pragma once

#include <cstdint>
#include <memory>

#include "dialogs/FormEditFoto.h"
#include "photos/tables/Fotoverwaltung.h"

struct PhotoTask {
  // What the dialog has the rules do (the photo intake); before the
  // dialog, which calls it to the end of its life.
  std::unique_ptr<DialogTools::FotoActions> actions;
  // The one photo dialog, created on the first task of a project.
  std::unique_ptr<TFormEditFoto> fvControlForm;
  // A photo task is running (its dialog is open); ProcessFoto stands aside.
  bool blnFotoVerwaltungAktiv = false;
  // Host id of the object active when the task began; -1 none.
  int32_t lngFvKARTULID = -1;
  // PKEY of the link row the dialog was opened on; -1 none.
  int32_t iFvPKeyFoto = -1;
  // PhotoID of that row, 0 none.
  int32_t iFvFotoID = 0;
};

// The photo task of the loaded library.
PhotoTask& FotoTask();

// Puts the host back where the task began: the data view, the object, the
// link row.
void ResetPreFVState();
void ResetFVGlobals();
// Ends the task.
void CloseFotoverwaltung();
