#include "context/BuildProfile.h"

namespace {

constexpr BuildProfile kProfiles[] = {
    {Build::kVD1TransAction2010, "VD1TransAction2010", "Software\\Bremak\\kartul\\5.1\\VANDRA",
     host::TextForm::kUtf16, false},
    {Build::kVD1TransAction, "VD1TransAction", "Software\\Bremak\\kartul\\3.2\\VANDRA2",
     host::TextForm::kAnsi, true},
    {Build::kTransactHooks, "TransactHooks", "Software\\Bremak\\kartul\\3.2\\VANDRA2",
     host::TextForm::kAnsi, true},
};

}  // namespace

const BuildProfile& ProfileOf(Build build) {
  return kProfiles[static_cast<int>(build)];
}
