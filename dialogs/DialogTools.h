// What the transaction and identifier dialogs share: the transaction items
// of their lists, filling an identifier list from a transaction's free pool,
// and the small interfaces through which a dialog looks things up while it
// is open. The rule that opens a dialog passes those in: the dialogs sit
// below the rules and never reach into the transaction tables themselves.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/ui/Form.h"

namespace DialogTools {

// A transaction item of the choosers: the TID in decimal, " - ", the name.
std::string TransactionEntry(int32_t tid, std::string_view name);
// The TID of such an item: the text before the first "-", blanks trimmed;
// -1 when it is no number.
int32_t TIDOfEntry(std::string_view entry);

// The free identifiers a chooser offers when the mapper picks a transaction.
class KennungPool {
 public:
  virtual ~KennungPool() = default;
  // The free identifiers of the transaction that fit the class of the
  // object to be created under the state code, in pool order.
  virtual std::vector<std::string> FittingFreeKennungen(int32_t tid, int32_t okl,
                                                        std::string_view state_code) = 0;
};

// The free identifiers of a transaction's pool, in pool order, as the
// TransactHooks identifier chooser fills its list itself.
class KennungTable {
 public:
  virtual ~KennungTable() = default;
  virtual std::vector<std::string> FreeKennungen(int32_t tid) = 0;
};

// The map-sheet filter of the TransactHooks choosers: the text typed as
// "TK-Blatt" and the filter box, kept in the project file between openings.
struct TKFilterSettings {
  std::string tk_blatt;
  bool aktiv = false;
  static TKFilterSettings Load();
  void Save() const;
  // True when the filter is off, else exactly when the identifier's second
  // "-" field, trimmed, is the typed map sheet.
  bool Passes(const std::string& kennung) const;
};

// The identifiers the mapper composes under the "BRB" rule set.
class KennungComposer {
 public:
  struct Proposal {
    bool ok = false;
    std::string message;  // the check's error when not ok
    std::string kennung;  // the proposal when ok
  };
  virtual ~KennungComposer() = default;
  // The first composed identifier the project does not use yet. The checks
  // rewrite the number and the map sheet as they pass, so the entry fields
  // can show them even when a later check fails.
  virtual Proposal Propose(std::string_view ag, std::string& nummer, std::string& kartenblatt,
                           int year) = 0;
  // Whether a typed text may be a composed identifier.
  virtual bool SyntaxOK(std::string_view text) = 0;
};

// Empties the list and adds every identifier of the pool that passes the
// extra filter; warns when none was added. Answers the number added.
int FillKennungList(platform::ui::ListBox& list, KennungPool& pool, int32_t tid, int32_t okl,
                    std::string_view state_code,
                    const std::function<bool(const std::string&)>& extra_filter = nullptr);

}  // namespace DialogTools
