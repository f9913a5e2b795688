#include "plugin/BuildProfile.h"

namespace {

constexpr BuildProfile kProfiles[] = {
    {Build::kVD1TransAction2010, "VD1TransAction2010", "VD1TransAction2010.so",
     "Software\\Bremak\\kartul\\5.1\\VANDRA", true},
    {Build::kVD1TransAction, "VD1TransAction", "VD1TransAction.so",
     "Software\\Bremak\\kartul\\3.2\\VANDRA2", false},
    {Build::kTransactHooks, "TransactHooks", "TransactHooks.so",
     "Software\\Bremak\\kartul\\3.2\\VANDRA2", false},
};

Build current_build = Build::kVD1TransAction2010;

}  // namespace

const BuildProfile& ProfileOf(Build build) { return kProfiles[static_cast<int>(build)]; }

const BuildProfile& CurrentProfile() { return ProfileOf(current_build); }

void SelectBuild(Build build) { current_build = build; }
