// The hand-over of an exported package to the central system's check-in
// program. The export calls StartVandraCheckIn as its last step; the
// check-in dialog (TfrmVandraCheckIn) does the rest.
#pragma once

#include <string>

#include "dialogs/FrmVandraCheckIn.h"

namespace VandraCheckIn {

// Offers the check-in of the package in folder D (ending with the path
// delimiter) under prefix P when applicat.ini's VANDRA/AutoCheckIn is above
// 0 (the check-in dialog, shown modally); does nothing otherwise. A registry
// that cannot be read is reported instead of the dialog.
void StartVandraCheckIn(const std::string& D, const std::string& P);

// What the check-in dialog has the rules do: tell an incomplete package
// (Package::IncompletePackage), and run the program while the mapper sees
// it run (TFormCheckInLaeuft) and may cancel it, which ends the program
// with its process group. One instance for the life of the library.
DialogTools::CheckInActions& Actions();

}  // namespace VandraCheckIn
