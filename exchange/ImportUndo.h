// Taking an import back, from its journal (ImportJournal.h): when a step of
// the import fails, and when a project is loaded with the journal of an
// import that was cut off. The project is put back as it was before the
// import: the package's objects are removed from the host, the objects the
// import deleted are loaded again from the snapshot with their photo links
// and plant-list rows, the rows of the transaction tables that hold the
// package's identifiers are what they were (rows other writers added
// meanwhile stay), the catalogue rows the import appended go, and the
// pictures it wrote are the old ones again. Each step can be run again: an
// undo that could not finish leaves the journal for the next try.
#pragma once

#include <string>
#include <vector>

#include "exchange/ImportJournal.h"

namespace ImportUndo {

// The import's snapshot of the host's objects, in the import's folder.
inline constexpr const char* kSnapshotName = "objekte";
// The copy of the old pictures the import replaces.
inline constexpr const char* kPictureBackups = "bilder";

// Puts the project back. Answers what could not be put back, one text each,
// naming the object, table, photo or file; empty when all was.
std::vector<std::string> Undo(const ImportJournal& journal);

// Removes the journal (first: from then on the import stands) and the
// import's folder, with the temporary files of the journal's writes.
// Throws EnvError when the journal cannot go.
void Finish(const std::string& project_dir);

// Whether the current project holds the journal of an import that is not
// taken back yet.
bool JournalLeft();

// At project load: undoes an import cut off in this project and tells the
// mapper what happened and what could not be put back. Does nothing when
// there is no journal; removes a folder of the import that outlived it.
void RecoverCutImport();

}  // namespace ImportUndo
