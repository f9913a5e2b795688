// The rule book behind the hooks while the mapper works: which events are
// vetoed and with which message, how the target transaction and the
// identifier of a new object are chosen, and how each event changes the
// object's row in TA_LIST and the free identifier pool TA_KL.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "host/HostApi.h"

namespace ObjectLifecycle {

// Creation: true lets the host create the object, false cancels it. The
// request's identifier buffer receives the chosen identifier.
bool BeforeCreateObjectProc(int32_t ClassID, host::KennungRequest& R, uint16_t GeoTyp);
// After creation: true when a row was written.
bool InsertInTransActionListProc(int32_t command, int32_t id, uint16_t WParam);
bool DeleteFromTransActionListProc(int32_t id);
// Marks the active object "UPDATE" when it is still "IGNORED".
void SetChangedFlag();
// False vetoes the geometry change of a read-only object.
bool CheckStatus(int32_t id);
bool BeforeChangeKennung(int32_t id);
bool AfterChangeKennung(int32_t id);
void SwitchKennung();
bool AssignToTransactionProc();
// TransactHooks, when no transaction was chosen for an assignment: asks
// whether the selected objects are to be released and, on Yes, deletes their
// rows; each keeps its identifier.
void ReleaseSelectedObjects();
// The assignment callback: collects the identifier while an assignment runs.
// False ends the host's walk: the list could not be read, and the assignment
// is off (the list is dropped).
bool CreateListToAssign(const std::string& kennung);

// Target transaction chooser: TID or -1.
int32_t GetTransaktionsID(bool AutoSingle);
// Identifier choosers: the chosen identifier, "-1" for abort of the whole
// operation, empty when none was taken.
std::string GetFreeKennung(std::string_view K, int32_t T, int32_t id);
std::string GetNewKennung(std::string_view K, int32_t T, std::string_view B);
// One object of an assignment to State().TargetTID, a rule of its own:
// false when the mapper ends the assignment or a table error did.
bool AssignObject(const std::string& K);
// The objects of an assignment, in order, as one rule: a table error at any
// of them takes back every object's writes and new identifier. "Abbrechen"
// ends it, keeping what was assigned before.
void AssignObjects(const std::vector<std::string>& kennungen);

// The second-generation switch of applicat.ini.
bool SecondGenerationMode();

}  // namespace ObjectLifecycle
