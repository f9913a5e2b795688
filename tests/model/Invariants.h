// What must hold of the transaction lists while a mapper works, written as
// checks over snapshots of the three tables, so that the model test states
// each rule once and the rules themselves can be tried on planted faults.
//
// State: one row per identifier; an identifier in a pool is listed, if at
// all, only by "DELETE" rows; an identifier the lists once held is never in
// neither of them (a row or a pool) again, unless its deletion was recorded
// while the pool refused it back and the mapper was told (Forget).
// Choosers: never offer what a host object carries, nor what a row other
// than a "DELETE" row holds (for an object with a row of its own, not even a
// "DELETE" row's); the composed "BRB" proposal is held by no row at all.
// Steps: every row and pool change is one of the allowed transitions of the
// step's event for the objects it touched; nothing else changes; a step that
// showed a table error left the tables as they were and the host identifiers
// of switched or assigned objects as well. An import that did not go through
// (cancelled, refused, failed) left the tables as they were; one that did
// left the rows and pools of objects with kept local work as they were, gave every
// other package identifier its row under itself, took every package
// identifier out of the pools, and changed nothing that holds none of the
// package's identifiers.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "tests/model/ListsSnapshot.h"

namespace model {

// Checks of one state. `known` collects every identifier the lists have
// held; one of them in neither list is a violation.
std::vector<std::string> CheckState(const Tables& tables, std::set<std::string>& known);

enum class Event {
  kCreate,  // a new object (none when the plug-in refused it)
  kDelete,
  kEdit,    // attributes posted, or the class changed
  kMove,    // a vertex moved (or the move vetoed)
  kRename,  // the mapper renamed in the host
  kSwitch,  // SwitchKennung on the active object
  kAssign,  // AssignToTransaction on the selection
  kImport,  // the checkout package imported again
};

std::string EventName(Event event);

// An object a step touched, with its host identifier before and after the
// step; empty before for an object the step created, empty after for one it
// deleted or a creation that did not happen.
struct Touched {
  int32_t id = 0;
  std::string before;
  std::string after;
};

// kImport: the package and what the mapper answered.
struct ImportFacts {
  std::vector<std::pair<std::string, int>> rows;  // the package's rows: identifier, TID
  std::vector<std::string> free;                  // its free identifiers
  std::set<std::string> local;  // the objects the question listed with local work
  // Identifiers whose rows stay as they are whatever the answer: tangled up
  // in the project (entered more than once, carried by another checked-out
  // object, linked to another package identifier), or kept by another
  // transaction's rank while the identifier cannot be given back to their
  // object (the model decides from the tables and the host).
  std::set<std::string> kept_unchanged;
  enum class Answer { kNotAsked, kKeep, kTake, kCancel };
  Answer answer = Answer::kNotAsked;
  bool imported = false;  // the hook answered true
};

struct StepFacts {
  Event event = Event::kEdit;
  std::vector<Touched> objects;
  bool table_error = false;  // the mapper was shown a table error
  // kDelete: the deletion was recorded, but the pool could not take the
  // identifier back, and the mapper was told so.
  bool pool_refused = false;
  bool moved = false;        // kMove: the host took the new vertex
  std::string requested;     // kRename: the identifier the mapper typed
  // kCreate, kAssign: the transaction the mapper chose (-1 for none);
  // nothing when no chooser asked.
  std::optional<int> target;
  int warnings = 0;  // warning boxes shown
  ImportFacts import;  // kImport
};

std::vector<std::string> CheckStep(const StepFacts& step, const Tables& before,
                                   const Tables& after);

// Takes the identifiers a step deleted while the pool refused them back out
// of `known`: a new object's identifier is then in neither list, as the
// mapper was told.
void Forget(const StepFacts& step, std::set<std::string>& known);

// A chooser's list. `for_kennung` is the identifier of the object it is
// shown for; empty for an object yet to be created. `carried` tells which
// host object carries an identifier (0 for none).
std::vector<std::string> CheckOffer(const std::string& chooser, const std::string& for_kennung,
                                    const std::vector<std::string>& offered, const Tables& now,
                                    const std::function<int32_t(const std::string&)>& carried);

// The identifier the "BRB" composer proposed.
std::vector<std::string> CheckProposal(const std::string& proposal, const Tables& now,
                                       const std::function<int32_t(const std::string&)>& carried);

}  // namespace model
