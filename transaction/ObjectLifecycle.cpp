// The object lifecycle under transactions. Every procedure here runs inside
// a hook on the host's thread; some of them call back into the host
// (ktSetKennung, ktIterateObjects), which calls the plug-in's hooks again
// before it returns. The flags of the plug-in state make those nested hooks
// stand aside, and are always put back, also when an error ends the work
// early.
//
// A table error ends a rule where it happens: the rule's writes so far are
// taken back (TableSteps), the mapper sees the driver's text once, and the
// hook answers false where it can veto. So a failed rule never leaves an
// identifier half moved between the transaction list and the pools.
//
// One row per identifier: an identifier that a row holds is never given to
// another object, except that an object without a row may take over a
// "DELETE" row, as the object's re-creation under that identifier would.
// Rows are looked up by KENNUNGO (the identifier an object was entered
// under) as the central system expects, and also by KENNUNG: an object whose
// identifier was switched is found under its current identifier, so its
// deletion still reaches the central system and a rename in the host is
// still refused.
#include "transaction/ObjectLifecycle.h"

#include <memory>

#include "context/PluginContext.h"
#include "dialogs/DialogTools.h"
#include "dialogs/FormGetKennung.h"
#include "dialogs/FormGetKennungBB.h"
#include "dialogs/FormGetTID.h"
#include "dialogs/FormGetTIDAndKennung.h"
#include "dialogs/FormGetTIDAndKennungNeu.h"
#include "host/HostApi.h"
#include "host/Tools.h"
#include "platform/db/Connection.h"
#include "platform/text/Strings.h"
#include "platform/ui/Ui.h"
#include "transaction/KennungsTools.h"
#include "transaction/TableSteps.h"
#include "transaction/TransActTools.h"

using platform::db::DbError;
using platform::ui::ModalResult;
using platform::ui::MsgButtons;
using platform::ui::MsgKind;
using namespace TransActTools;

namespace ObjectLifecycle {
namespace {

void Warning(std::string_view text) {
  platform::ui::MessageBox(MsgKind::kWarning, text);
}

// Runs a rule's work on the transaction tables: a driver error ends it there,
// with no statement after it; the steps done are taken back and the mapper
// sees the error once, in the plain box of table errors, behind a German
// line that says what it concerns. Answers the work's answer, or on_error.
template <class Work>
bool TableRule(bool on_error, Work&& work) {
  TableSteps steps;
  try {
    return work(steps);
  } catch (const DbError& e) {
    // The driver names file, record and reason; the mapper reads first what
    // it concerns.
    std::string text = std::string("Fehler in den Transaktionstabellen:\r\n") + e.what();
    const std::string left = steps.TakeBack();
    if (!left.empty()) {
      text += "\r\nDie Transaktionstabellen konnten nicht wiederhergestellt werden: " + left;
    }
    platform::ui::SetCursor(platform::ui::Cursor::kDefault);
    platform::ui::MessageBox(MsgKind::kPlain, text);
    return on_error;
  }
}

// Whether a row belongs to the identifier, by the identifier it was entered
// under or by its current one.
bool RowKnown(std::string_view K) {
  if (!CurrentProfile().rows_by_original_kennung) return KennungInTransactionList(K);
  return OriginalKennungInTransactionList(K) || KennungInTransactionList(K);
}

// Writes the identifier into the host's request buffer. An identifier that
// does not fit is refused rather than cut into another object's identifier.
bool WriteIntoRequest(host::KennungRequest& R, std::string_view K) {
  if (!R.SetKennung(K)) {
    platform::ui::MessageBox(MsgKind::kError,
                             "Die Kennung " + std::string(K) + " ist für das Objekt zu lang!");
    return false;
  }
  return true;
}

// What the two creation choosers hand back.
struct CreationChoice {
  int32_t tid = -1;
  bool take_host_kennung = false;
  std::string kennung;
};

// Reads a closed creation chooser: the TID of the selected transaction, the
// trimmed selected identifier or the flag to keep the host's, and what
// "Keine TID" (Ignore) and "Abbrechen" (Cancel) take away.
CreationChoice ReadCreationChoice(const platform::ui::ListBox& transactions,
                                  const platform::ui::ListBox& kennungen, ModalResult result,
                                  std::string kennung) {
  CreationChoice choice;
  choice.kennung = std::move(kennung);
  if (transactions.item_index >= 0) {
    choice.tid = DialogTools::TIDOfEntry(transactions.SelectedText());
  }
  if (kennungen.item_index < 0) {
    choice.take_host_kennung = true;
  } else {
    choice.kennung = std::string(platform::text::Trim(kennungen.SelectedText()));
  }
  if (result == ModalResult::kIgnore) {
    choice.tid = -1;
  } else if (result != ModalResult::kOk) {
    choice.tid = -1;
    choice.kennung.clear();
  }
  return choice;
}

CreationChoice GetTIDAndKennungNeu(int32_t ClassID, std::string_view B) {
  CreationChoice choice;
  TTransactionMetadataList transactions = GetTransactions();
  if (transactions.empty()) return choice;
  KennungsTools::TransactionPool pool;
  TFormGetTIDAndKennungNeu form(pool);
  form.lngOKLToBeCreated = ClassID;
  form.mBundesland = std::string(B);
  for (const TTransactionMetadata& t : transactions) {
    form.lbTransactions.Add(DialogTools::TransactionEntry(t.ID, t.Name), t.ID);
  }
  form.lbTransactions.item_index = 0;
  form.lbTransactionsClick();
  const ModalResult result = form.ShowModal();
  return ReadCreationChoice(form.lbTransactions, form.lbKennungen, result, "");
}

bool GetKennungBB(host::KennungRequest& R) {
  State().TargetTID = GetTransaktionsID(true);
  KennungsTools::BBComposer composer;
  TFormGetKennungBB form(composer);
  if (form.ShowModal() != ModalResult::kOk) return false;
  return WriteIntoRequest(R, form.EditKennung.text);
}

// The chooser of an identifier for an existing object.
std::string ChooseKennung(std::string_view K, const TStringList& fitting) {
  TformGetKennung form;
  for (const std::string& kennung : fitting) form.lbKennungen.Add(kennung);
  form.lblOriginalKennung.caption = std::string(K);
  const ModalResult result = form.ShowModal();
  if (result == ModalResult::kAbortAll) return "-1";
  if (result == ModalResult::kOk && form.lbKennungen.item_index >= 0) {
    return form.lbKennungen.SelectedText();
  }
  return {};
}

// The selected objects, as the host walks them for the plug-in.
std::vector<int32_t> SelectedObjects() {
  PluginState& state = State();
  state.SelectedObjects = std::make_unique<std::vector<int32_t>>();
  struct Drop {
    PluginState& state;
    ~Drop() { state.SelectedObjects.reset(); }
  } drop{state};
  host::IterateObjects(false, "CreateListToAssign");
  return *state.SelectedObjects;
}

// The plug-in's own identifier change: the identifier hooks the host fires
// meanwhile must not take it for the mapper's. Answers whether the host took
// the identifier.
bool SetKennungInternal(int32_t id, std::string_view kennung) {
  context::SetOwnKennung(id, kennung);
  return Tools::MyGetKennungOfID(id) == kennung;
}

// Gives the object its new identifier in the host first, so that the tables
// never name an identifier the host refused; a refusal is told. When the
// tables fail afterwards, the host gets the old identifier back.
bool RenameInHost(TableSteps& steps, int32_t id, const std::string& K, const std::string& N) {
  if (!SetKennungInternal(id, N)) {
    platform::ui::SetCursor(platform::ui::Cursor::kDefault);
    Warning("Die Kennung " + N + " wurde für das Objekt " + K +
            " nicht angenommen. Das Objekt behält seine Kennung.");
    return false;
  }
  steps.OnTakeBack([id, K] { SetKennungInternal(id, K); });
  return true;
}

// A row the target identifier holds that the object may not take: any row
// when the object has one of its own, else one that is no "DELETE" row.
bool HeldByAnotherRow(const std::string& N, bool object_has_row) {
  if (!KennungInTransactionList(N)) return false;
  if (!object_has_row && GetChangedFlag(N) == kDelete) return false;
  Warning("Die Kennung " + N + " ist bereits in der Transaktionsliste eingetragen und kann " +
          "nicht vergeben werden!");
  return true;
}

class CursorReset {
 public:
  CursorReset() { platform::ui::SetCursor(platform::ui::Cursor::kHourglass); }
  ~CursorReset() { platform::ui::SetCursor(platform::ui::Cursor::kDefault); }
  CursorReset(const CursorReset&) = delete;
  CursorReset& operator=(const CursorReset&) = delete;
  // The hourglass goes before every message.
  void Warn(std::string_view text) {
    platform::ui::SetCursor(platform::ui::Cursor::kDefault);
    Warning(text);
  }
};

}  // namespace

namespace {

// The creation chooser of the general rule set, over the transactions of
// TA_ID; answers false when the creation is cancelled.
bool ChooseForCreation(int32_t ClassID, host::KennungRequest& R) {
  PluginState& state = State();
  CreationChoice choice;
  choice.kennung = R.Kennung();
  TNumberedStringList names = GetTransactionNames();
  if (!names.empty()) {
    KennungsTools::TransactionPool pool;
    TFormGetTIDAndKennung form(pool, CurrentProfile().map_sheet_chooser);
    form.lngOKLToBeCreated = ClassID;
    for (TNumberedString& entry : names) form.lbTransActions.Add(entry.Text, entry.Number);
    form.lbTransActions.item_index = 0;
    form.lbTransActionsClick();
    const ModalResult result = form.ShowModal();
    choice = ReadCreationChoice(form.lbTransActions, form.lbKennungen, result, R.Kennung());
  }
  if (choice.kennung.empty()) return false;
  if (choice.tid >= 0) state.TargetTID = choice.tid;
  if (!choice.take_host_kennung && !WriteIntoRequest(R, choice.kennung)) return false;
  R.SetUseDialog(choice.take_host_kennung);
  return true;
}

// The earlier builds know neither the second-generation mode nor the "BRB"
// rule set; the transactions alone are needed, the pool may be missing.
bool BeforeCreateObjectEarlier(int32_t ClassID, host::KennungRequest& R) {
  State().TargetTID = -1;
  if (!TransactionIDTableExists()) {
    Warning("Transaktionsliste nicht gefunden!");
    R.SetUseDialog(true);
    return true;
  }
  return ChooseForCreation(ClassID, R);
}

}  // namespace

bool SecondGenerationMode() {
  return Tools::ReadIntFromApplicatIni("VANDRA II", "VD2Transaktion", 0) > 0;
}

int32_t GetTransaktionsID(bool AutoSingle) {
  if (!TransactionIDTableExists()) return -1;
  TTransactionMetadataList transactions = GetTransactions();
  if (transactions.empty()) return -1;
  if (transactions.size() == 1 && AutoSingle) return transactions.front().ID;
  TFormGetTID form;
  for (const TTransactionMetadata& t : transactions) {
    form.lbTID.Add(DialogTools::TransactionEntry(t.ID, t.Name), t.ID);
  }
  form.lbTID.item_index = 0;
  if (form.ShowModal() == ModalResult::kOk && form.lbTID.item_index >= 0) {
    return transactions[static_cast<size_t>(form.lbTID.item_index)].ID;
  }
  return -1;
}

namespace {

bool ChooseForNewObject(int32_t ClassID, host::KennungRequest& R) {
  PluginState& state = State();
  R.SetUseDialog(true);
  if (!CurrentProfile().second_generation_creation) return BeforeCreateObjectEarlier(ClassID, R);
  if (SecondGenerationMode()) {
    R.SetUseDialog(false);
    state.TargetTID = GetTransaktionsID(true);
    return true;
  }
  std::string K = R.Kennung();
  state.TargetTID = -1;
  const std::string B = KennungsTools::StateCode();

  if (B != "BRB") {
    if (!TransactionIDTableExists() || !KennungListExists()) {
      Warning("Transaktions- oder Kennungsliste nicht gefunden!");
      R.SetUseDialog(true);
      return true;
    }
    return ChooseForCreation(ClassID, R);
  }

  if (!TransactionIDTableExists()) {
    Warning("Transaktionsliste nicht gefunden!");
    R.SetUseDialog(true);
  }
  bool result = true;
  if (!KennungListExists() || KennungListIsEmpty()) {
    result = GetKennungBB(R);
  } else {
    CreationChoice choice = GetTIDAndKennungNeu(ClassID, B);
    if (!choice.kennung.empty()) {
      result = WriteIntoRequest(R, choice.kennung);
      state.TargetTID = choice.tid;
    } else {
      result = GetKennungBB(R);
    }
  }
  R.SetUseDialog(false);
  return result;
}

}  // namespace

bool BeforeCreateObjectProc(int32_t ClassID, host::KennungRequest& R, uint16_t /*GeoTyp*/) {
  // A table the choosers cannot read cancels the creation, told as every
  // other rule tells a table error.
  return TableRule(false, [&](TableSteps&) { return ChooseForNewObject(ClassID, R); });
}

bool InsertInTransActionListProc(int32_t /*command*/, int32_t id, uint16_t /*WParam*/) {
  const PluginState& state = State();
  if (!TransactionListExists() || state.TargetTID < 0) return false;
  return TableRule(false, [&](TableSteps& steps) {
    TObjectMetadata R;
    R.TID = state.TargetTID;
    R.KartulID = id;
    R.Vorgangsnummer = -1;
    R.Schreibend = kNeu;
    R.Kennung = Tools::MyGetKennungOfID(id);
    R.Changed = std::string(kNew);
    // Without an identifier there is no row to address.
    if (R.Kennung.empty()) return false;
    if (RowKnown(R.Kennung)) {
      if (GetChangedFlag(R.Kennung) == kDelete) {
        // A deleted checked-out object is created anew under its identifier.
        R.Changed = std::string(kUpdate);
        R.Schreibend = kSchreibend;
      } else if (KennungInTransactionList(R.Kennung)) {
        // Another object's row: a read-only object deleted in the host keeps
        // it, and the host may propose its identifier again. Taking the row
        // over would turn that object into a new one of this transaction.
        Warning("Die Kennung " + R.Kennung + " ist bereits in der Transaktionsliste eingetragen. " +
                "Das Objekt wird keiner Transaktion zugewiesen.");
        return false;
      }
      R.Originalkennung = GetOriginalKennung(R.Kennung);
    }
    // The row before the pool: a kill in between leaves the identifier in
    // both lists, never in neither.
    steps.SaveRow(R);
    steps.TakeFromPools(R.Kennung);
    return true;
  });
}

bool DeleteFromTransActionListProc(int32_t id) {
  if (!TransactionListExists() || (CurrentProfile().import_flag && State().ImportRunning))
    return true;
  // The host deletes the object whatever the answer; a failure is told.
  return TableRule(true, [&](TableSteps& steps) {
    const std::string K = Tools::MyGetKennungOfID(id);
    if (K.empty() || !RowKnown(K)) return true;
    TObjectMetadata R;
    GetObjectMetadata(K, R);
    // A deleted new, checked-out or deleted object gives its identifier back;
    // a read-only row stays as it is. The pool before the row, so that a kill
    // in between leaves the identifier in both lists.
    // Some builds give it back for a checked-out or new object only.
    const bool gives_back = CurrentProfile().deletion_returns_deleted
                                ? R.Schreibend != kLesend
                                : R.Schreibend == kSchreibend || R.Schreibend == kNeu;
    // The object is gone from the host whatever happens here: a pool that
    // cannot take the identifier back must not keep the deletion from the
    // central system.
    std::string pool_error;
    if (gives_back) {
      try {
        steps.ReturnToPool(R.TID, K);
      } catch (const DbError& e) {
        pool_error = e.what();
      }
    }
    if (R.Schreibend == kSchreibend) {
      R.Schreibend = kGeloescht;
      R.Changed = std::string(kDelete);
      steps.SaveRow(R);
    } else if (R.Schreibend == kNeu) {
      steps.DeleteRow(K);
    }
    if (!pool_error.empty()) {
      Warning("Das Löschen von " + K + " ist in der Transaktionsliste vermerkt, aber die Kennung " +
              "konnte nicht in die Kennungsliste " + TransactionTablePath("TA_KL") +
              " zurückgegeben werden:\r\n" + pool_error);
    }
    return true;
  });
}

void SetChangedFlag() {
  if (!TransactionListExists()) return;
  const int32_t id = host::ActiveObject();
  if (id <= 0) return;
  const std::string K = Tools::MyGetKennungOfID(id);
  if (K.empty()) return;
  TableRule(false, [&](TableSteps& steps) {
    if (GetChangedFlag(K) == kIgnored) steps.MarkChanged(K, kUpdate);
    return true;
  });
}

bool CheckStatus(int32_t id) {
  // A status that cannot be read vetoes: the geometry of a read-only object
  // must never change.
  return TableRule(false, [&](TableSteps&) {
    if (GetObjectStatus(Tools::MyGetKennungOfID(id)) == kLesend) {
      Warning("Das Objekt ist lesend gesperrt. Seine Geometrie darf nicht verändert werden!");
      return false;
    }
    return true;
  });
}

bool BeforeChangeKennung(int32_t id) {
  PluginState& state = State();
  state.blnDoNotSetChangeFlag = true;
  state.strOldKennung = Tools::MyGetKennungOfID(id);
  return true;
}

bool AfterChangeKennung(int32_t id) {
  PluginState& state = State();
  // Table posts of the host between the two halves never mark the object.
  struct ClearAtEnd {
    bool& flag;
    ~ClearAtEnd() { flag = false; }
  } clear_at_end{state.blnDoNotSetChangeFlag};

  if (!TransactionListExists()) return true;
  TableRule(true, [&](TableSteps&) {
    OpenTransactionConnection();
    const std::string old_kennung = state.strOldKennung;
    if (!old_kennung.empty() && RowKnown(old_kennung) &&
        Tools::MyGetKennungOfID(id) != old_kennung) {
      Warning("Das Objekt " + old_kennung + " ist bereits einer Transaktion zugewiesen. " +
              "Seine Kennung darf daher nicht geändert werden.");
      SetKennungInternal(id, old_kennung);
    }
    return true;
  });
  return true;
}

// TransactHooks' identifier chooser: it fills its list itself, from the
// pool by the class prefix and the map-sheet filter, and warns when nothing
// is left. Answers as ChooseKennung; `none` when nothing was listed.
static std::string ChooseWithMapSheet(std::string_view K, int32_t T, int32_t okl,
                                      bool object_has_row, const std::string& none) {
  KennungsTools::OfferablePool pool(object_has_row);
  const KennungsTools::OKLRule rule =
      KennungsTools::RuleForOKL(KennungsTools::GetOKLShortName(okl), "");
  TformGetKennung form(true);
  form.SetKennungstabelle(pool);
  form.SetOKLPrefix(rule.every_identifier ? std::string() : rule.prefix);
  form.SetTransaktionsID(T);
  form.lblOriginalKennung.caption = std::string(K);
  if (form.FuelleAuswahlliste() == 0) return none;
  const ModalResult result = form.ShowModal();
  if (result == ModalResult::kAbortAll) return "-1";
  if (result == ModalResult::kOk && form.lbKennungen.item_index >= 0) {
    return form.lbKennungen.SelectedText();
  }
  return {};
}

std::string GetFreeKennung(std::string_view K, int32_t T, int32_t id) {
  const int32_t okl = id >= 1 ? host::ClassOf(id) : host::CurrentObjectClass();
  const BuildProfile& profile = CurrentProfile();
  if (profile.map_sheet_chooser) return ChooseWithMapSheet(K, T, okl, true, "");
  TStringList pool = profile.switch_offers_whole_pool
                         ? GetFreeKennungen(T)
                         : GetFittingFreeKennungen(KennungsTools::GetOKLShortName(okl), T,
                                                   KennungsTools::StateCode());
  // The object switching has a row of its own.
  const TStringList fitting =
      KennungsTools::OfferableKennungen(std::move(pool), true, ListedKennungen());
  if (fitting.empty()) {
    Warning("Es sind keine gültigen Kennungen für die Zieltransaktion definiert!");
    return {};
  }
  return ChooseKennung(K, fitting);
}

std::string GetNewKennung(std::string_view K, int32_t T, std::string_view B) {
  if (CurrentProfile().map_sheet_chooser) {
    return ChooseWithMapSheet(K, T, host::CurrentObjectClass(),
                              KennungInTransactionList(K) && GetChangedFlag(K) != kDelete, "-1");
  }
  const TStringList fitting = KennungsTools::OfferableKennungen(
      GetFittingFreeKennungen(KennungsTools::GetOKLShortName(host::CurrentObjectClass()), T, B),
      KennungInTransactionList(K) && GetChangedFlag(K) != kDelete, ListedKennungen());
  if (fitting.empty()) {
    Warning("Es sind keine gültigen Kennungen für die Zieltransaktion definiert!");
    return "-1";
  }
  return ChooseKennung(K, fitting);
}

void SwitchKennung() {
  CursorReset cursor;
  TableRule(false, [&](TableSteps& steps) {
    int32_t id = 0;
    if (!CurrentProfile().switch_selected_object) {
      id = host::ActiveObject();
      if (id <= 0) {
        cursor.Warn("Kein aktives Objekt gefunden!");
        return false;
      }
    } else {
      // The one selected object, whichever object happens to be the active
      // one, is switched and made the active one.
      const std::vector<int32_t> selected =
          host::SelectedCount() == 1 ? SelectedObjects() : std::vector<int32_t>();
      if (selected.size() != 1 || selected.front() <= 0) {
        cursor.Warn("Es muss genau ein Objekt selektiert sein!");
        return false;
      }
      id = selected.front();
      host::SetActiveObject(id);
    }
    const std::string K = Tools::MyGetKennungOfID(id);
    const int32_t T = GetTIDOfObject(K);
    if (T < 0) {
      cursor.Warn("Es konnte keine Transaktion für das Objekt ermittelt werden!");
      return false;
    }
    const int32_t S = GetObjectStatus(K);
    if (S != kSchreibend && S != kNeu) {
      cursor.Warn("Das Objekt muss schreibend gesperrt oder neu sein!");
      return false;
    }
    platform::ui::SetCursor(platform::ui::Cursor::kDefault);
    const std::string N = GetFreeKennung(K, T, id);
    if (N == "-1" || N.empty()) return false;
    platform::ui::SetCursor(platform::ui::Cursor::kHourglass);
    if (HeldByAnotherRow(N, true) || !RenameInHost(steps, id, K, N)) return false;
    // The old identifier into its pool, the row renamed, the new one out of
    // the pools: a kill between any two leaves each at worst in both lists.
    steps.ReturnToPool(T, K);
    steps.RenameRow(K, N);
    steps.TakeFromPools(N);
    host::DeselectAll();
    host::AddToSelection(id);
    return true;
  });
}

bool CreateListToAssign(const std::string& kennung) {
  PluginState& state = State();
  if (!state.ListToAssign) return true;
  const bool read = TableRule(false, [&](TableSteps&) {
    const int32_t S = GetObjectStatus(kennung);
    if (S == -1 || S == kNeu || S == kGeloescht) state.ListToAssign->push_back(kennung);
    return true;
  });
  // Without the whole list nothing is assigned; the walk ends here.
  if (!read) state.ListToAssign.reset();
  return read;
}

namespace {

// One object of an assignment, its writes among the steps of the rule that
// runs it. Answers false when the mapper ends the assignment ("Abbrechen").
bool AssignOne(TableSteps& steps, const std::string& K) {
  const PluginState& state = State();
  const int32_t id = host::IdOfKennung(K);
  host::SetActiveObject(id);
  // A "DELETE" row under the object's identifier is the deleted object's,
  // not this one's.
  const bool has_row = KennungInTransactionList(K) && GetChangedFlag(K) != kDelete;
  std::string N;
  if (GetTIDOfObject(K) == state.TargetTID || KennungIsValid(K, state.TargetTID)) {
    N = K;
  } else {
    host::SetObjectClass(host::ClassOf(id));
    N = GetNewKennung(K, state.TargetTID, KennungsTools::StateCode());
  }
  if (N.empty()) return true;
  if (N == "-1") return false;
  if (N != K) {
    // A refused object is skipped like one not taken.
    if (HeldByAnotherRow(N, has_row) || !RenameInHost(steps, id, K, N)) return true;
  } else if (CurrentProfile().assignment_in_place) {
    // The host is handed the identifier also when it stays.
    context::SetOwnKennung(id, N);
  }

  TObjectMetadata R;
  R.TID = state.TargetTID;
  R.KartulID = id;
  R.Vorgangsnummer = -1;
  R.Schreibend = kNeu;
  R.Kennung = N;
  R.Changed = std::string(kNew);
  if (has_row && CurrentProfile().assignment_in_place) {
    // The existing row is changed in place: transaction,
    // status and mark; the object's id, process number and original
    // identifier stay. Under a new identifier the row goes along with the
    // object, and the old identifier back to its transaction's pool.
    if (N != K) {
      steps.ReturnToPool(GetTIDOfObject(K), K);
      steps.RenameRow(K, N);
    }
    steps.AssignInPlace(N, state.TargetTID);
    steps.TakeFromPools(N);
    return true;
  }
  if (has_row) {
    // An existing row keeps the identifier it was entered under, so that
    // the deletion, rename and save tests find it again; under a new
    // identifier the row moves along with the object instead of staying
    // behind, and the identifier it leaves goes back to its transaction's
    // pool first, as a switch gives it back.
    R.Originalkennung = GetOriginalKennung(K);
    if (N != K) {
      steps.ReturnToPool(GetTIDOfObject(K), K);
      steps.RenameRow(K, N);
    }
  } else if (GetChangedFlag(N) == kDelete) {
    // The object takes over the row of a deleted checked-out object, as
    // its re-creation under that identifier would.
    R.Schreibend = kSchreibend;
    R.Changed = std::string(kUpdate);
    R.Originalkennung = GetOriginalKennung(N);
    // That row is changed in place too: the central system
    // still knows the object by the row's process number.
    TObjectMetadata row;
    if (CurrentProfile().assignment_in_place && GetObjectMetadata(N, row))
      R.Vorgangsnummer = row.Vorgangsnummer;
  }
  steps.SaveRow(R);
  steps.TakeFromPools(N);
  return true;
}

}  // namespace

bool AssignObject(const std::string& K) {
  return TableRule(false, [&](TableSteps& steps) { return AssignOne(steps, K); });
}

void AssignObjects(const std::vector<std::string>& kennungen) {
  // The selection is assigned by one rule: a table error at any object takes
  // back what the objects before it were given too, their new identifiers
  // included, so the mapper never has to find out which of them went.
  TableRule(false, [&](TableSteps& steps) {
    for (const std::string& K : kennungen) {
      if (!AssignOne(steps, K)) break;
    }
    return true;
  });
}

void ReleaseSelectedObjects() {
  if (platform::ui::MessageBox(
          MsgKind::kConfirmation,
          "Sollen die Zuordnungen der selektierten Objekte zu Transaktionen gelöst werden?",
          MsgButtons::kYesNo) != platform::ui::MsgAnswer::kYes) {
    return;
  }
  if (!TransactionListExists()) return;
  const std::vector<int32_t> selected = SelectedObjects();
  // Every row goes or none: a table error takes back the rows deleted so far.
  TableRule(false, [&](TableSteps& steps) {
    for (int32_t id : selected) {
      const std::string K = Tools::MyGetKennungOfID(id);
      if (!K.empty()) steps.DeleteRow(K);
    }
    return true;
  });
}

bool AssignToTransactionProc() {
  PluginState& state = State();
  const int32_t n = host::SelectedCount();
  if (n <= 0) {
    platform::ui::MessageBox(MsgKind::kInformation, "Keine Objekte selektiert!");
    return true;
  }
  if (platform::ui::MessageBox(
          MsgKind::kConfirmation,
          std::to_string(n) + " Objekte sollen einer Transaktion zugewiesen werden. Weiter?",
          MsgButtons::kYesNo) != platform::ui::MsgAnswer::kYes) {
    return true;
  }
  state.TargetTID = GetTransaktionsID(false);
  if (state.TargetTID < 0) {
    if (CurrentProfile().release_without_transaction) ReleaseSelectedObjects();
    return true;
  }

  state.ListToAssign = std::make_unique<TStringList>();
  struct FreeList {
    PluginState& state;
    ~FreeList() { state.ListToAssign.reset(); }
  } free_list{state};
  host::IterateObjects(false, "CreateListToAssign");
  if (!state.ListToAssign) return true;
  // The list is a copy: AssignObject calls back into the host, and nothing
  // may change the list under the loop.
  const TStringList kennungen = *state.ListToAssign;
  AssignObjects(kennungen);
  return true;
}

}  // namespace ObjectLifecycle
