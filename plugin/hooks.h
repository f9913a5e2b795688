// The hooks the host calls, exported with C linkage under these exact names.
// Each build exports only its own set (export lists in builds/). Every hook
// has the host's signature: P1 and P2 pointer-sized (they carry pointers in
// several hooks), P3 16 bits, answer 0 (false) or -1 (true). No C++ exception
// and no STL type crosses this boundary.
//
// The host calls hooks with the Windows standard calling convention: on
// 32-bit Windows the callee takes its 12 bytes of arguments off the stack
// (ret 0xc), and a hook compiled otherwise would leave the host's stack off
// by that much after every call. Elsewhere there is one convention only.
#pragma once

#include <cstdint>

#include "context/BuildProfile.h"

#define VANDRA_HOOK_LIST(X)     \
  X(BeforeLoadProject)          \
  X(AfterLoadProject)           \
  X(BeforeCloseProject)         \
  X(AfterCloseProject)          \
  X(BeforeCreateObject)         \
  X(InsertInTransActionList)    \
  X(DeleteFromTransActionList)  \
  X(BeforeChangeKennung)        \
  X(AfterChangeKennung)         \
  X(UpdateKennungPreCorrection) \
  X(CheckStatus)                \
  X(GeometryChanged)            \
  X(AfterEditObject)            \
  X(OnTablePost)                \
  X(AssignToTransaction)        \
  X(CreateListToAssign)         \
  X(SwitchKennung)              \
  X(ShowObjStatus)              \
  X(SelectByStatus)             \
  X(DeletePflanzenStatus)       \
  X(ProcessFoto)                \
  X(CorrectHauptfoto)           \
  X(MakeTransActionReport)      \
  X(VD1CustomImport)            \
  X(VD1CustomExport)            \
  X(AfterKARTULCommand)         \
  X(SetETRS89)                  \
  X(SetGaussKrueger)            \
  X(AfterPasteData)             \
  X(VD1Vorpruefung)

#if defined(_WIN32) && !defined(_WIN64)
#define VANDRA_HOOK_CALL __attribute__((stdcall))
#else
#define VANDRA_HOOK_CALL
#endif

extern "C" {
#define VANDRA_DECLARE_HOOK(name) \
  int16_t VANDRA_HOOK_CALL name(intptr_t P1, intptr_t P2, uint16_t P3);
VANDRA_HOOK_LIST(VANDRA_DECLARE_HOOK)
#undef VANDRA_DECLARE_HOOK
}

constexpr int16_t kHookTrue = -1;
constexpr int16_t kHookFalse = 0;

// Called by a build's entry file, with its build's profile, when the library
// is loaded: selects the profile, puts the plug-in state to its load-time
// values and chooses how dialogs are shown. Unloading needs no call: the
// state and the connections go with the library's static objects, in the
// order the loader destroys them, which nothing may run after.
void PluginLoaded(const BuildProfile& profile) noexcept;
