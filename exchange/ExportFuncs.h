// The transaction export: the changes of one checked-out transaction go out
// as a package (Package.h) into a folder the mapper chooses, for the central
// system VANDRA; the host writes the attribute data and the geodata of the
// objects the export selects, the plug-in everything else.
//
// Every way out leaves the host and the plug-in as they were meant to be:
// the host's update bracket is closed, the change-marking flag is back, and
// the export connection is closed, so the next export opens its own folder.
// A step that fails is told to the mapper once; the export then answers
// false and no check-in starts. Nothing is written before the prefix and the
// paths have been checked.
#pragma once

#include <cstdint>
#include <string>

#include "exchange/Package.h"
#include "transaction/TransActTools.h"

namespace ExportFuncs {

// The export hook's work. True after a finished export and when the mapper
// answers the first question with No; false when a precondition fails, the
// mapper cancels, or a step fails.
bool VD1CustomExportProc();

// The transaction to export: the only one without asking, else the
// mapper's choice; -1 when there is none or the mapper cancelled.
int32_t GetTransaktionsIDExport();
// The save dialog; the chosen path, or empty when cancelled.
std::string getExportName();

// The identifier lists of one export, each in the order the transaction
// list delivers its rows.
struct ExportLists {
  TStringList changed;
  TStringList deleted;
  TStringList photos;  // new and changed together
  TStringList created;
};
// Fills the lists from the transaction's rows and adds the new and changed
// objects to the host's selection (the caller brackets the update).
void CollectExportObjects(int32_t TID, ExportLists& lists);
// Writes the change list of a package being written; false, after telling
// the mapper that no package was written, when it could not be written.
bool WriteChangeList(const std::string& path, const ExportLists& lists);
// The Gauss-Krüger strip from the cursor's easting, or the mapper's choice
// when the easting does not tell it.
int32_t GetGKStreifen();
// Has the host write the attribute data; the host's answer.
bool ExportXMLData(const std::string& path);

// Creates the action table on the export connection of D under its short
// name, fills it and gives it its full name.
void CreateActionList(const Package::Names& names, int32_t TID);
// Inserts the transaction's action rows into table S.
void FillActionList(const Package::Names& names, const std::string& S, int32_t TID);
// Creates the photo table (and the photo folder) and returns its name.
std::string CreateFotoTabelle(const Package::Names& names);
struct PhotoExport {
  // Every picture of a written row is in the photo folder. When not, the
  // mapper has been told that no package was written.
  bool complete = true;
  // The photos whose row the table refused (each told when refused), as
  // the mapper knows them; neither row nor picture is in the package.
  std::vector<std::string> left_out;
};
// Fills the photo table and the photo folder from the photos of the
// identifiers.
PhotoExport ExportFotoTabelle(const Package::Names& names, const TStringList& photo_list);

}  // namespace ExportFuncs
