// The transaction import: a transaction checked out from the central system
// VANDRA comes into the project as a package (Package.h) in one folder. The
// plug-in merges the package's transaction list, registers the transaction,
// adds its free identifiers and catalogues its photos; the host loads the
// geodata and the attribute data.
//
// Nothing of a mapper's work is lost on the way:
// - the whole package is read and checked before anything changes
//   (ImportPackage.h);
// - objects of the package that carry work of this project (rows marked
//   "UPDATE", "NEW" or "DELETE", links to local photos) are listed, and the
//   mapper keeps that work, takes the package's version, or cancels; a row
//   the merge keeps by rank keeps its object as it is;
// - the links of reloaded objects to local photos come back, and a package
//   picture never takes the place of another photo's picture;
// - all or nothing, the host's objects included: a journal (ImportJournal.h)
//   and a snapshot are written before the first change, a step that fails
//   takes everything back (ImportUndo.h), and an import cut off is taken
//   back when the project is loaded next;
// - other processes are kept off the transaction tables for the length of
//   the import, and no host call is made while a table write is open.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "exchange/ImportPackage.h"

namespace ImportFuncs {

// The import hook's work: true after an import, false when the mapper
// cancels the file dialog or the question, or the import failed (after
// telling why).
bool VD1CustomImportProc();

// The package prefix of any file of the package, lower case; empty when
// the name carries none of the package's tags.
std::string getFilenamePrefix(std::string_view path);

// Whether an imported status N replaces the existing status E.
bool IsHigherState(int32_t N, int32_t E);

}  // namespace ImportFuncs
