// The exported hooks: each converts its arguments, calls one procedure and
// turns any error into the hook's answer. No exception ever crosses into the
// host: an error's text is shown in an error box, and the hook answers false
// where it runs before a host action it can veto, true elsewhere.
#include "plugin/hooks.h"

#include <cstring>
#include <exception>
#include <new>
#include <optional>
#include <string>
#include <string_view>

#include "context/PluginContext.h"
#include "exchange/ExportFuncs.h"
#include "exchange/ImportFuncs.h"
#include "exchange/ImportUndo.h"
#include "exchange/Preflight.h"
#include "geometry/GeoAttributes.h"
#include "geometry/NewDataModule.h"
#include "host/HostApi.h"
#include "host/Tools.h"
#include "photos/EnsureDataBase.h"
#include "photos/FVTools.h"
#include "photos/FotoHandling.h"
#include "photos/TempObject.h"
#include "platform/ui/ErrorGuard.h"
#include "platform/ui/Ui.h"
#include "plugin/HookFrame.h"
#include "report/TransActionReport.h"
#include "status/StatusInfo.h"
#include "transaction/ObjectLifecycle.h"
#include "transaction/TransActTools.h"

namespace {

enum class OnError { kAnswerTrue, kVeto };

void ShowHookError(std::string_view text) noexcept {
  try {
    platform::ui::MessageBox(platform::ui::MsgKind::kError, text);
  } catch (...) {
    // Nothing is left to tell the user with; the host must still get its answer.
  }
}

template <class Work>
int16_t Guarded(OnError on_error, Work&& work) noexcept {
  try {
    return work() ? kHookTrue : kHookFalse;
  } catch (const std::bad_alloc&) {
    ShowHookError(platform::ui::kOutOfMemoryText);
  } catch (const std::exception& e) {
    ShowHookError(e.what());
  } catch (...) {
    ShowHookError("Unbekannter Fehler im Plug-in.");
  }
  return on_error == OnError::kVeto ? kHookFalse : kHookTrue;
}

int32_t Int32Of(intptr_t value) {
  return static_cast<int32_t>(value);
}

// A build may offer the status services in one state only.
bool StatusServicesOffered() {
  const std::string_view state = CurrentProfile().status_services_state;
  return state.empty() || Tools::CheckBundesland({std::string(state)});
}

}  // namespace

extern "C" {

int16_t VANDRA_HOOK_CALL BeforeLoadProject(intptr_t, intptr_t, uint16_t) {
  return Guarded(OnError::kAnswerTrue, [] {
    TempObject::Current().ProjectLoading();
    return true;
  });
}

int16_t VANDRA_HOOK_CALL AfterLoadProject(intptr_t, intptr_t, uint16_t) {
  // Each step on its own: a photo table that cannot be made does not keep
  // the journal from being made, and the other way round.
  Guarded(OnError::kAnswerTrue, [] {
    EnsureTableFotos();
    return true;
  });
  Guarded(OnError::kAnswerTrue, [] {
    EnsureSubDirFotos();
    return true;
  });
  Guarded(OnError::kAnswerTrue, [] {
    if (CurrentProfile().lifecycle_journal) LifecycleJournal::EnsureTableLifecycle();
    return true;
  });
  // An import cut off in this project is taken back before the mapper
  // works on a project that is half before and half after it.
  return Guarded(OnError::kAnswerTrue, [] {
    ImportUndo::RecoverAtLoad();
    return true;
  });
}

int16_t VANDRA_HOOK_CALL BeforeCloseProject(intptr_t, intptr_t, uint16_t) {
  Guarded(OnError::kAnswerTrue, [] {
    CloseFotoverwaltung();
    FreeControlForm();
    return true;
  });
  return Guarded(OnError::kAnswerTrue, [] {
    // The transaction connection belongs to the project that closes.
    context::Current().Store().CloseProject();
    return true;
  });
}

int16_t VANDRA_HOOK_CALL AfterCloseProject(intptr_t, intptr_t, uint16_t) {
  return kHookTrue;
}

int16_t VANDRA_HOOK_CALL BeforeCreateObject(intptr_t ClassID, intptr_t NewKennungStruct,
                                            uint16_t GeoTyp) {
  return Guarded(OnError::kVeto, [&] {
    std::optional<host::KennungRequest> request =
        host::KennungRequest::FromHookArgument(NewKennungStruct);
    if (!request) return true;
    if (TempObject::Current().LetCreationPass(*request)) return true;
    return ObjectLifecycle::BeforeCreateObjectProc(Int32Of(ClassID), *request, GeoTyp);
  });
}

int16_t VANDRA_HOOK_CALL InsertInTransActionList(intptr_t command, intptr_t KARTULID,
                                                 uint16_t WParam) {
  return Guarded(OnError::kAnswerTrue, [&] {
    // The photo dialog's point is never entered in the transaction list.
    if (TempObject::Current().ObjectCreated(Int32Of(KARTULID))) return true;
    return ObjectLifecycle::InsertInTransActionListProc(Int32Of(command), Int32Of(KARTULID),
                                                        WParam);
  });
}

int16_t VANDRA_HOOK_CALL DeleteFromTransActionList(intptr_t GeoID, intptr_t, uint16_t) {
  return Guarded(OnError::kAnswerTrue,
                 [&] { return ObjectLifecycle::DeleteFromTransActionListProc(Int32Of(GeoID)); });
}

int16_t VANDRA_HOOK_CALL BeforeChangeKennung(intptr_t GeoID, intptr_t, uint16_t) {
  return Guarded(OnError::kAnswerTrue,
                 [&] { return ObjectLifecycle::BeforeChangeKennung(Int32Of(GeoID)); });
}

int16_t VANDRA_HOOK_CALL AfterChangeKennung(intptr_t GeoID, intptr_t, uint16_t) {
  return Guarded(OnError::kAnswerTrue,
                 [&] { return ObjectLifecycle::AfterChangeKennung(Int32Of(GeoID)); });
}

int16_t VANDRA_HOOK_CALL UpdateKennungPreCorrection(intptr_t GeoID, intptr_t, uint16_t) {
  PluginState& state = State();
  if (state.blnChangingKennungInternal) {
    // The plug-in's own restore or switch passes untouched, and the pairing
    // starts afresh with the next change.
    state.blnBeforeChangeKennungDone = false;
    return kHookTrue;
  }
  if (state.blnBeforeChangeKennungDone) {
    const int16_t answer = AfterChangeKennung(GeoID, 0, 0);
    state.blnBeforeChangeKennungDone = false;
    return answer;
  }
  const int16_t answer =
      Guarded(OnError::kVeto, [&] { return ObjectLifecycle::BeforeChangeKennung(Int32Of(GeoID)); });
  state.blnBeforeChangeKennungDone = answer != kHookFalse;
  return answer;
}

int16_t VANDRA_HOOK_CALL CheckStatus(intptr_t, intptr_t GeoID, uint16_t) {
  return Guarded(OnError::kVeto, [&] { return ObjectLifecycle::CheckStatus(Int32Of(GeoID)); });
}

int16_t VANDRA_HOOK_CALL GeometryChanged(intptr_t KARTULID, intptr_t, uint16_t) {
  return Guarded(OnError::kAnswerTrue, [&] {
    host::AddToSelection(Int32Of(KARTULID));
    host::SetActiveObject(Int32Of(KARTULID));
    ObjectLifecycle::SetChangedFlag();
    return true;
  });
}

int16_t VANDRA_HOOK_CALL AfterEditObject(intptr_t, intptr_t, uint16_t) {
  return Guarded(OnError::kAnswerTrue, [] {
    ObjectLifecycle::SetChangedFlag();
    return true;
  });
}

int16_t VANDRA_HOOK_CALL OnTablePost(intptr_t pCharUnKnown, intptr_t pCharTableName,
                                     uint16_t EventCode) {
  (void)pCharUnKnown;
  return Guarded(OnError::kAnswerTrue, [&] {
    const std::string table_name = HookFrame::HookText(pCharTableName);
    // A project without transaction data needs no connection.
    if (TransActTools::TransactionListExists()) TransActTools::OpenTransactionConnection();
    if (HookFrame::IsPhotoLinkPost(table_name, EventCode)) {
      // A photo clean-up that fails is shown; the change mark still follows.
      Guarded(OnError::kAnswerTrue, [] {
        DeleteFoto();
        return true;
      });
    }
    if (!State().blnDoNotSetChangeFlag) ObjectLifecycle::SetChangedFlag();
    return true;
  });
}

int16_t VANDRA_HOOK_CALL AssignToTransaction(intptr_t, intptr_t, uint16_t) {
  return Guarded(OnError::kAnswerTrue, [] { return ObjectLifecycle::AssignToTransactionProc(); });
}

int16_t VANDRA_HOOK_CALL CreateListToAssign(intptr_t ObjectData, intptr_t, uint16_t) {
  return Guarded(OnError::kAnswerTrue, [&] {
    if (State().SelectedObjects) {
      // The earlier builds find the selected objects by this walk.
      State().SelectedObjects->push_back(host::ObjectDataId(ObjectData));
      return true;
    }
    const std::optional<std::string> kennung = host::ObjectDataKennung(ObjectData);
    // False ends the host's walk: the assignment is off.
    return !kennung || ObjectLifecycle::CreateListToAssign(*kennung);
  });
}

int16_t VANDRA_HOOK_CALL SwitchKennung(intptr_t, intptr_t, uint16_t) {
  return Guarded(OnError::kAnswerTrue, [] {
    ObjectLifecycle::SwitchKennung();
    return true;
  });
}

int16_t VANDRA_HOOK_CALL ShowObjStatus(intptr_t, intptr_t, uint16_t) {
  return Guarded(OnError::kAnswerTrue, [] {
    if (StatusServicesOffered()) StatusInfo::DoShowStatusInfo();
    return true;
  });
}

int16_t VANDRA_HOOK_CALL SelectByStatus(intptr_t, intptr_t, uint16_t) {
  return Guarded(OnError::kAnswerTrue, [] {
    if (StatusServicesOffered()) StatusInfo::DoSelectByStatus();
    return true;
  });
}

int16_t VANDRA_HOOK_CALL DeletePflanzenStatus(intptr_t AktValue, intptr_t NewValue,
                                              uint16_t MaxLen) {
  return Guarded(OnError::kAnswerTrue, [&] {
    HookFrame::CopyHookText(AktValue, NewValue, MaxLen);
    StatusInfo::DeletePflanzenStatus();
    return true;
  });
}

int16_t VANDRA_HOOK_CALL ProcessFoto(intptr_t, intptr_t, uint16_t) {
  return Guarded(OnError::kAnswerTrue, [] {
    ProcessFotoProc();
    return true;
  });
}

int16_t VANDRA_HOOK_CALL CorrectHauptfoto(intptr_t AktValue, intptr_t NewValue, uint16_t MaxLen) {
  Guarded(OnError::kAnswerTrue, [&] {
    HookFrame::CopyHookText(AktValue, NewValue, MaxLen);
    CorrectHauptfotoProc(HookFrame::HookText(AktValue));
    return true;
  });
  return kHookFalse;
}

int16_t VANDRA_HOOK_CALL MakeTransActionReport(intptr_t, intptr_t, uint16_t) {
  return Guarded(OnError::kAnswerTrue, [] { return TransActionReport::MakeTransActionReport(); });
}

int16_t VANDRA_HOOK_CALL VD1CustomImport(intptr_t, intptr_t, uint16_t) {
  return Guarded(OnError::kVeto, [] {
    const bool imported = ImportFuncs::VD1CustomImportProc();
    host::Redraw();
    return imported;
  });
}

int16_t VANDRA_HOOK_CALL VD1CustomExport(intptr_t, intptr_t, uint16_t) {
  return Guarded(OnError::kVeto, [] { return ExportFuncs::VD1CustomExportProc(); });
}

int16_t VANDRA_HOOK_CALL VD1Vorpruefung(intptr_t, intptr_t, uint16_t) {
  return Guarded(OnError::kAnswerTrue, [] { return Preflight::VD1VorpruefungProc(); });
}

int16_t VANDRA_HOOK_CALL AfterKARTULCommand(intptr_t Command, intptr_t, uint16_t wParam) {
  return Guarded(OnError::kAnswerTrue, [&] {
    if (Int32Of(Command) == HookFrame::kCommandCreateObject &&
        wParam == HookFrame::kCreateAbandoned) {
      TempObject::Current().Abandoned();
    }
    return true;
  });
}

int16_t VANDRA_HOOK_CALL SetETRS89(intptr_t, intptr_t, uint16_t) {
  return Guarded(OnError::kAnswerTrue, [] {
    GeoAttributes::SetETRS89();
    return true;
  });
}

int16_t VANDRA_HOOK_CALL SetGaussKrueger(intptr_t, intptr_t, uint16_t) {
  return Guarded(OnError::kAnswerTrue, [] {
    GeoAttributes::SetGaussKrueger();
    return true;
  });
}

int16_t VANDRA_HOOK_CALL AfterPasteData(intptr_t, intptr_t, uint16_t) {
  return Guarded(OnError::kAnswerTrue, [] {
    GeoAttributes::AfterPasteData();
    return true;
  });
}

}  // extern "C"

void PluginLoaded(const BuildProfile& profile) noexcept {
  // The loader calls this: nothing may leave it, or the host goes down with
  // the library it loads.
  try {
    context::Start(profile);
  } catch (...) {
    // A context that could not be made is made on first use instead.
  }
  try {
    platform::ui::ChoosePresenterFromEnvironment();
  } catch (const std::exception& e) {
    // Without a presenter of its own choice the plug-in still shows its
    // messages through the default one.
    ShowHookError(e.what());
  } catch (...) {
    ShowHookError("Unbekannter Fehler beim Laden des Plug-ins.");
  }
}
