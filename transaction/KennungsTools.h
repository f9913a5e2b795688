// Identifier rules: which free identifiers fit an object class (by the class
// short name's prefix), the federal-state rule set, and the identifiers
// composed by the mapper under the state code "BRB" (client code, year,
// number, map sheet, serial).
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "dialogs/DialogTools.h"

namespace KennungsTools {

// The state code from applicat.ini, "NRW" by default.
std::string StateCode();

// The class short name from the procedure database's ObjectClass table;
// empty when the class has no row.
std::string GetOKLShortName(int32_t class_id);

// The identifier prefix of a class short name (the short name itself for
// classes not in the prefix table).
std::string OKLPrefix(std::string_view short_name);

// The rule for one class and state code, settled once and then applied to
// many identifiers.
struct OKLRule {
  bool every_identifier = false;
  std::string prefix;
  bool Fits(std::string_view K) const;
};
OKLRule RuleForOKL(std::string_view C, std::string_view B);

bool KennungFitsOKL(std::string_view C, std::string_view K, std::string_view B);

// A composed identifier proposal. The checks rewrite the number (three
// digits) and the map sheet (quadrant in upper case) as they pass, so the
// entry fields can show them even when a later check fails.
struct KennungBBProposal {
  bool ok = false;
  std::string message;  // the error to show when not ok
  std::string kennung;  // the proposal when ok
};
KennungBBProposal ProposeKennungBB(std::string_view ag, std::string& nummer,
                                   std::string& kartenblatt, int year);

// Exactly 18 characters and "-" at position 8.
bool KennungBBSyntaxOK(std::string_view text);

// Of a chooser's free identifiers, those it may offer an object: none that a
// host object carries, none that a row of the transaction list holds; an
// object without a row of its own may take over the identifier of a "DELETE"
// row, as its re-creation would. So no identifier ever gets two rows.
// `listed` is what TransActTools::ListedKennungen answers.
std::vector<std::string> OfferableKennungen(std::vector<std::string> fitting, bool object_has_row,
                                            const std::unordered_map<std::string, bool>& listed);

// What the creation choosers look up while they are open: the free
// identifiers of a transaction that fit the class (GetFittingFreeKennungen)
// and may be offered a new object. The identifiers the rows hold are read
// once per chooser, not on every click.
class TransactionPool : public DialogTools::KennungPool {
 public:
  std::vector<std::string> FittingFreeKennungen(int32_t tid, int32_t okl,
                                                std::string_view state_code) override;

 private:
  std::optional<std::unordered_map<std::string, bool>> listed_;
};

// The pool as TransactHooks' identifier chooser reads it: the transaction's
// free identifiers that may be offered the object (OfferableKennungen).
class OfferablePool : public DialogTools::KennungTable {
 public:
  explicit OfferablePool(bool object_has_row) : object_has_row_(object_has_row) {}
  std::vector<std::string> FreeKennungen(int32_t tid) override;

 private:
  bool object_has_row_;
};

// The composed identifiers of the "BRB" rule set, for their entry dialog.
class BBComposer : public DialogTools::KennungComposer {
 public:
  Proposal Propose(std::string_view ag, std::string& nummer, std::string& kartenblatt,
                   int year) override;
  bool SyntaxOK(std::string_view text) override;
};

}  // namespace KennungsTools
