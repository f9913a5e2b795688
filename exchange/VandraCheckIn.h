// The hand-over of an exported package to the central system's check-in
// program. The export calls StartVandraCheckIn as its last step; what the
// check-in does with the package is the check-in dialog's business.
#pragma once

#include <string>

namespace VandraCheckIn {

// Offers the check-in of the package in folder D (ending with the path
// delimiter) under prefix P when applicat.ini's VANDRA/AutoCheckIn is above
// 0; does nothing otherwise.
void StartVandraCheckIn(const std::string& D, const std::string& P);

}  // namespace VandraCheckIn
