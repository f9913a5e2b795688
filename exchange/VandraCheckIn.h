// The hand-over of an exported package to the central system's check-in
// program. The export calls StartVandraCheckIn as its last step; the
// check-in dialog (TfrmVandraCheckIn) does the rest.
#pragma once

#include <string>

namespace VandraCheckIn {

// Offers the check-in of the package in folder D (ending with the path
// delimiter) under prefix P when applicat.ini's VANDRA/AutoCheckIn is above
// 0 (the check-in dialog, shown modally); does nothing otherwise. A registry
// that cannot be read is reported instead of the dialog.
void StartVandraCheckIn(const std::string& D, const std::string& P);

}  // namespace VandraCheckIn
