// The rules of the transaction lists as checks (see Invariants.h).
#include "tests/model/Invariants.h"

#include <algorithm>
#include <map>
#include <tuple>

namespace model {
namespace {

constexpr const char* kDelete = "DELETE";

bool IsDeleteRow(const ListRow& r) {
  return r.changed == kDelete;
}

std::string Show(const ListRow* r) {
  return r ? "(" + r->Text() + ")" : "(no row)";
}

std::vector<ListRow> RowsOf(const Tables& t, const std::string& kennung) {
  std::vector<ListRow> rows;
  for (const ListRow& r : t.rows)
    if (r.kennung == kennung) rows.push_back(r);
  std::sort(rows.begin(), rows.end(), [](const ListRow& a, const ListRow& b) {
    return std::tie(a.tid, a.kartulid, a.vgnr, a.status, a.changed, a.kennungo) <
           std::tie(b.tid, b.kartulid, b.vgnr, b.status, b.changed, b.kennungo);
  });
  return rows;
}

std::vector<int> SortedPools(const Tables& t, const std::string& kennung) {
  std::vector<int> tids = t.PoolsOf(kennung);
  std::sort(tids.begin(), tids.end());
  return tids;
}

std::string ShowPools(const std::vector<int>& tids) {
  std::string text = "[";
  for (int tid : tids) text += (text.size() > 1 ? " " : "") + std::to_string(tid);
  return text + "]";
}

// The rows and pool entries of one identifier, before and after a step.
class Change {
 public:
  Change(const Tables& before, const Tables& after, std::vector<std::string>& out, std::string step)
      : before_(before), after_(after), out_(out), step_(std::move(step)) {}

  bool RowsSame(const std::string& k) const { return RowsOf(before_, k) == RowsOf(after_, k); }
  bool PoolsSame(const std::string& k) const {
    return SortedPools(before_, k) == SortedPools(after_, k);
  }
  void Fail(const std::string& what) { out_.push_back(step_ + ": " + what); }

  // Neither the rows nor the pool entries of the identifier changed.
  void ExpectSame(const std::string& k, const std::string& why) {
    if (!RowsSame(k))
      Fail(why + ": the row of " + k + " went from " + Show(before_.Row(k)) + " to " +
           Show(after_.Row(k)));
    if (!PoolsSame(k))
      Fail(why + ": the pools of " + k + " went from " + ShowPools(SortedPools(before_, k)) +
           " to " + ShowPools(SortedPools(after_, k)));
  }
  // The identifier went back into the transaction's pool (where it may have
  // been already) and left no other pool entry.
  void ExpectReturned(const std::string& k, int tid, const std::string& why) {
    std::vector<int> want = SortedPools(before_, k);
    if (std::find(want.begin(), want.end(), tid) == want.end()) want.push_back(tid);
    std::sort(want.begin(), want.end());
    if (SortedPools(after_, k) != want)
      Fail(why + ": the pools of " + k + " should be " + ShowPools(want) + ", are " +
           ShowPools(SortedPools(after_, k)));
  }
  // The identifier left every pool.
  void ExpectTaken(const std::string& k, const std::string& why) {
    if (!after_.PoolsOf(k).empty())
      Fail(why + ": " + k + " is still in the pools " + ShowPools(SortedPools(after_, k)));
  }
  // The row under k after the step is the expected one.
  void ExpectRow(const std::string& k, const ListRow& want, const std::string& why) {
    const ListRow* got = after_.Row(k);
    if (!got || !(*got == want)) Fail(why + ": expected " + Show(&want) + ", got " + Show(got));
  }

  const Tables& before_;
  const Tables& after_;

 private:
  std::vector<std::string>& out_;
  std::string step_;
};

void CheckCreate(Change& c, const Touched& o, const StepFacts& step) {
  const std::string& n = o.after;
  if (n.empty()) return;  // not created
  const ListRow* b = c.before_.Row(n);
  const ListRow* a = c.after_.Row(n);
  const std::string why = "creation of #" + std::to_string(o.id) + " under " + n;
  const bool written = !c.RowsSame(n) || !c.PoolsSame(n);
  if (step.target && *step.target < 0) {
    if (written) c.Fail(why + " without a transaction wrote " + Show(a));
    return;
  }
  if (!written) {
    // Only another object's row keeps a new object out of its transaction.
    if (step.target && (!b || IsDeleteRow(*b)))
      c.Fail(why + " in " + std::to_string(*step.target) + " left no row");
    return;
  }
  if (!a) {
    c.Fail(why + " removed the row " + Show(b));
    return;
  }
  if (!c.after_.HasTransaction(a->tid)) c.Fail(why + ": no transaction " + std::to_string(a->tid));
  ListRow want = *a;
  want.kartulid = o.id;
  if (step.target) want.tid = *step.target;
  if (!b) {
    want.status = 2;
    want.changed = "NEW";
    want.kennungo = n;
  } else if (IsDeleteRow(*b) && b->status == 3) {
    // Created again under its identifier: the deleted object's update.
    want.status = 1;
    want.changed = "UPDATE";
    want.kennungo = b->kennungo;
  } else {
    c.Fail(why + " rewrote the row " + Show(b) + " of another object into " + Show(a));
    return;
  }
  c.ExpectRow(n, want, why);
  c.ExpectTaken(n, why);
}

void CheckDelete(Change& c, const Touched& o, bool pool_refused) {
  const std::string& k = o.before;
  const ListRow* b = c.before_.Row(k);
  const std::string why = "deletion of " + k;
  if (!b || b->status == 0) {
    c.ExpectSame(k, why + (b ? " (read-only)" : " (no row)"));
    return;
  }
  if (b->status == 1) {
    ListRow want = *b;
    want.status = 3;
    want.changed = kDelete;
    c.ExpectRow(k, want, why);
  } else if (b->status == 2) {
    if (c.after_.Row(k)) c.Fail(why + " (new) left the row " + Show(c.after_.Row(k)));
  } else if (b->status == 3) {
    if (!c.RowsSame(k)) c.Fail(why + " (deleted) changed its row to " + Show(c.after_.Row(k)));
  } else {
    c.Fail(why + ": a row with the unknown status " + std::to_string(b->status));
    return;
  }
  if (!pool_refused) {
    c.ExpectReturned(k, b->tid, why);
  } else if (!c.PoolsSame(k)) {
    c.Fail(why + ": the pool refused " + k + ", but its pools changed");
  }
}

void CheckMark(Change& c, const Touched& o, const StepFacts& step) {
  const std::string& k = o.before;
  const ListRow* b = c.before_.Row(k);
  const std::string why = EventName(step.event) + " of " + k;
  if (step.event == Event::kMove) {
    const bool read_only = b && b->status == 0;
    if (step.moved == read_only)
      c.Fail(why + (read_only ? ": a read-only object's geometry changed"
                              : ": the geometry change was vetoed"));
    if (read_only) {
      c.ExpectSame(k, why + " (vetoed)");
      return;
    }
  }
  if (b && b->changed == "IGNORED") {
    ListRow want = *b;
    want.changed = "UPDATE";
    c.ExpectRow(k, want, why);
    if (!c.PoolsSame(k)) c.Fail(why + ": the pools of " + k + " changed");
  } else {
    c.ExpectSame(k, why);
  }
}

void CheckRename(Change& c, const Touched& o, const StepFacts& step) {
  const std::string& k = o.before;
  const std::string why = "rename of " + k + " to " + step.requested;
  c.ExpectSame(k, why);
  c.ExpectSame(step.requested, why);
  bool listed = false;
  for (const ListRow& r : c.before_.rows) listed = listed || r.kennung == k || r.kennungo == k;
  if (listed && o.after != k) c.Fail(why + ": the object is listed, yet the host kept " + o.after);
  if (listed && step.warnings == 0) c.Fail(why + ": undone without a warning");
  if (!listed && o.after != step.requested)
    c.Fail(why + ": the object is not listed, yet the host has " + o.after);
}

void CheckSwitch(Change& c, const Touched& o) {
  const std::string& k = o.before;
  const std::string& n = o.after;
  const ListRow* b = c.before_.Row(k);
  const std::string why = "switch of " + k;
  if (n == k) {
    c.ExpectSame(k, why + " (not done)");
    return;
  }
  if (!b || (b->status != 1 && b->status != 2)) {
    c.Fail(why + " to " + n + " with the row " + Show(b) + ", which may not switch");
    return;
  }
  if (c.before_.Row(n)) c.Fail(why + " to " + n + ", held by " + Show(c.before_.Row(n)));
  if (c.after_.Row(k)) c.Fail(why + " to " + n + " left the row " + Show(c.after_.Row(k)));
  ListRow want = *b;
  want.kennung = n;
  if (b->status == 1) want.changed = "UPDATE";
  c.ExpectRow(n, want, why + " to " + n);
  c.ExpectReturned(k, b->tid, why + " to " + n);
  c.ExpectTaken(n, why + " to " + n);
}

void CheckAssign(Change& c, const Touched& o, const StepFacts& step) {
  const std::string& k = o.before;
  const std::string& n = o.after;
  const ListRow* b = c.before_.Row(k);
  const int status = b ? b->status : -1;
  const std::string why = "assignment of " + k;
  if (status == 0 || status == 1) {
    if (n != k) c.Fail(why + " (status " + std::to_string(status) + ") renamed it to " + n);
    c.ExpectSame(k, why + " (status " + std::to_string(status) + ", skipped)");
    return;
  }
  if (n == k && c.RowsSame(k) && c.PoolsSame(k)) return;  // not taken, or nothing to change
  const ListRow* a = c.after_.Row(n);
  if (!a) {
    c.Fail(why + " as " + n + " left no row");
    return;
  }
  if (!c.after_.HasTransaction(a->tid)) c.Fail(why + ": no transaction " + std::to_string(a->tid));
  ListRow want = *a;
  want.kartulid = o.id;
  if (step.target) want.tid = *step.target;
  const bool own_row = status == 2;
  if (own_row) {
    want.status = 2;
    want.changed = "NEW";
    want.kennungo = b->kennungo;
    if (n != k) {
      if (c.before_.Row(n)) c.Fail(why + " to " + n + ", held by " + Show(c.before_.Row(n)));
      if (c.after_.Row(k)) c.Fail(why + " to " + n + " left the row " + Show(c.after_.Row(k)));
      c.ExpectReturned(k, b->tid, why + " to " + n);
    }
  } else {
    const ListRow* held = c.before_.Row(n);
    if (!held) {
      want.status = 2;
      want.changed = "NEW";
      want.kennungo = n;
    } else if (IsDeleteRow(*held)) {
      want.status = 1;
      want.changed = "UPDATE";
      want.kennungo = held->kennungo;
    } else {
      c.Fail(why + " as " + n + " took over the row " + Show(held) + " of another object");
      return;
    }
    if (n != k) c.ExpectSame(k, why + " to " + n);
  }
  c.ExpectRow(n, want, why + " as " + n);
  c.ExpectTaken(n, why + " as " + n);
}

void CheckImport(Change& c, const StepFacts& step, const Tables& before, const Tables& after) {
  const ImportFacts& im = step.import;
  if (!im.imported) {
    if (!after.SameAs(before)) c.Fail("an import that did not go through changed the lists");
    return;
  }
  std::set<std::string> package;
  for (const auto& [k, tid] : im.rows) package.insert(k);
  std::set<std::string> concerned(package.begin(), package.end());
  concerned.insert(im.free.begin(), im.free.end());
  // A row the package's identifier comes back to may have carried another
  // one, which goes back to a pool.
  for (const ListRow& r : before.rows)
    if (package.count(r.kennungo)) concerned.insert(r.kennung);
  const bool kept = im.answer == ImportFacts::Answer::kKeep;
  for (const std::string& k : package) {
    const std::string why = "import of " + k;
    // Identifiers the project tangled up, and rows another transaction
    // keeps whose object cannot get the identifier back, stay as they are.
    if ((kept && im.local.count(k)) || im.kept_unchanged.count(k)) {
      // Rows found under the identifier either way stay as they were.
      std::vector<ListRow> was, is;
      for (const ListRow& r : before.rows)
        if (r.kennung == k || r.kennungo == k) was.push_back(r);
      for (const ListRow& r : after.rows)
        if (r.kennung == k || r.kennungo == k) is.push_back(r);
      auto text = [](std::vector<ListRow> rows) {
        std::vector<std::string> out;
        for (const ListRow& r : rows) out.push_back(r.Text());
        std::sort(out.begin(), out.end());
        return out;
      };
      if (text(was) != text(is)) c.Fail(why + ": the local work kept, yet its rows changed");
      if (!c.PoolsSame(k)) c.Fail(why + ": the local work kept, yet its pools changed");
      continue;
    } else {
      bool found = false;
      for (const ListRow& r : after.rows) found = found || (r.kennung == k && r.kennungo == k);
      if (!found) c.Fail(why + ": no row holds it under itself");
    }
    c.ExpectTaken(k, why);
  }
  // Whatever holds none of the package's identifiers stays.
  auto outside = [&](const Tables& t) {
    std::vector<std::string> lines;
    for (const ListRow& r : t.rows)
      if (!concerned.count(r.kennung) && !concerned.count(r.kennungo)) lines.push_back(r.Text());
    for (const PoolEntry& e : t.pool)
      if (!concerned.count(e.kennung))
        lines.push_back("pool " + std::to_string(e.tid) + " " + e.kennung);
    std::sort(lines.begin(), lines.end());
    return lines;
  };
  if (outside(before) != outside(after)) {
    c.Fail("the import changed rows or pool entries that hold none of its identifiers");
  }
}

}  // namespace

std::string EventName(Event event) {
  switch (event) {
    case Event::kCreate:
      return "create";
    case Event::kDelete:
      return "delete";
    case Event::kEdit:
      return "edit";
    case Event::kMove:
      return "move";
    case Event::kRename:
      return "rename";
    case Event::kSwitch:
      return "switch";
    case Event::kAssign:
      return "assign";
    case Event::kImport:
      return "import";
  }
  return "?";
}

std::vector<std::string> CheckState(const Tables& t, std::set<std::string>& known) {
  std::vector<std::string> out;
  if (!t.problem.empty()) out.push_back(t.problem);
  std::map<std::string, int> rows_per_kennung;
  std::map<std::string, bool> only_delete_rows;
  for (const ListRow& r : t.rows) {
    if (++rows_per_kennung[r.kennung] == 2) out.push_back("two rows hold " + r.kennung);
    auto [it, added] = only_delete_rows.try_emplace(r.kennung, IsDeleteRow(r));
    if (!added) it->second = it->second && IsDeleteRow(r);
  }
  std::set<std::string> in_pool;
  for (const PoolEntry& e : t.pool) {
    in_pool.insert(e.kennung);
    auto it = only_delete_rows.find(e.kennung);
    if (it != only_delete_rows.end() && !it->second)
      out.push_back(e.kennung + " is in the pool of " + std::to_string(e.tid) +
                    " and listed by the row " + Show(t.Row(e.kennung)));
  }
  for (const std::string& k : known)
    if (!rows_per_kennung.count(k) && !in_pool.count(k))
      out.push_back(k + " is in neither list (no row, no pool)");
  for (const auto& [k, n] : rows_per_kennung) known.insert(k);
  known.insert(in_pool.begin(), in_pool.end());
  return out;
}

void Forget(const StepFacts& step, std::set<std::string>& known) {
  if (step.event != Event::kDelete || !step.pool_refused) return;
  for (const Touched& o : step.objects) known.erase(o.before);
}

std::vector<std::string> CheckStep(const StepFacts& step, const Tables& before,
                                   const Tables& after) {
  std::vector<std::string> out;
  std::string name = EventName(step.event);
  Change c(before, after, out, name);
  if (step.table_error) {
    if (!after.SameAs(before)) out.push_back(name + " showed a table error but changed the tables");
    if (step.event == Event::kSwitch || step.event == Event::kAssign)
      for (const Touched& o : step.objects)
        if (o.after != o.before)
          out.push_back(name + " showed a table error but left " + o.before + " renamed to " +
                        o.after + " in the host");
    return out;
  }
  if (step.event == Event::kImport) {
    CheckImport(c, step, before, after);
    return out;
  }
  // Only the identifiers of the objects the step touched may change.
  std::set<std::string> touched;
  for (const Touched& o : step.objects)
    for (const std::string* k : {&o.before, &o.after})
      if (!k->empty()) touched.insert(*k);
  if (step.event == Event::kRename) touched.insert(step.requested);
  std::set<std::string> all;
  for (const Tables* t : {&before, &after}) {
    for (const ListRow& r : t->rows) all.insert(r.kennung);
    for (const PoolEntry& e : t->pool) all.insert(e.kennung);
  }
  for (const std::string& k : all)
    if (!touched.count(k)) c.ExpectSame(k, "an identifier the step did not touch");
  if (!after.transactions.empty() || !before.transactions.empty()) {
    Tables b_ids, a_ids;
    b_ids.transactions = before.transactions;
    a_ids.transactions = after.transactions;
    if (!a_ids.SameAs(b_ids)) out.push_back(name + " changed TA_ID");
  }
  for (const Touched& o : step.objects) {
    switch (step.event) {
      case Event::kCreate:
        CheckCreate(c, o, step);
        break;
      case Event::kDelete:
        CheckDelete(c, o, step.pool_refused);
        break;
      case Event::kEdit:
      case Event::kMove:
        CheckMark(c, o, step);
        break;
      case Event::kRename:
        CheckRename(c, o, step);
        break;
      case Event::kSwitch:
        CheckSwitch(c, o);
        break;
      case Event::kAssign:
        CheckAssign(c, o, step);
        break;
      case Event::kImport:
        break;
    }
  }
  return out;
}

std::vector<std::string> CheckOffer(const std::string& chooser, const std::string& for_kennung,
                                    const std::vector<std::string>& offered, const Tables& now,
                                    const std::function<int32_t(const std::string&)>& carried) {
  std::vector<std::string> out;
  const ListRow* own = for_kennung.empty() ? nullptr : now.Row(for_kennung);
  const bool has_row = own && !IsDeleteRow(*own);
  const std::string who = chooser + (for_kennung.empty() ? "" : " for " + for_kennung);
  for (const std::string& k : offered) {
    if (int32_t id = carried(k))
      out.push_back(who + " offered " + k + ", which object #" + std::to_string(id) + " carries");
    const ListRow* held = now.Row(k);
    if (held && (has_row || !IsDeleteRow(*held)))
      out.push_back(who + " offered " + k + ", which the row " + Show(held) + " holds");
  }
  return out;
}

std::vector<std::string> CheckProposal(const std::string& proposal, const Tables& now,
                                       const std::function<int32_t(const std::string&)>& carried) {
  std::vector<std::string> out;
  if (int32_t id = carried(proposal))
    out.push_back("the composed proposal " + proposal + " is carried by object #" +
                  std::to_string(id));
  if (const ListRow* held = now.Row(proposal))
    out.push_back("the composed proposal " + proposal + " is held by the row " + Show(held));
  return out;
}

}  // namespace model
