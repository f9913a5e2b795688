// The model test's rules tried on planted faults: each check passes what
// the rules allow and names what they do not, so a quiet model run means
// the lists held, not that the checks looked away.
#include "tests/model/Invariants.h"

#include <gtest/gtest.h>

namespace model {
namespace {

ListRow Row(const std::string& k, int tid, int status, const std::string& changed, int id = 1,
            const std::string& kennungo = "") {
  return {tid, id, 90001, status, k, changed, kennungo.empty() ? k : kennungo};
}

Tables Make(std::vector<ListRow> rows, std::vector<PoolEntry> pool) {
  Tables t;
  t.rows = std::move(rows);
  t.pool = std::move(pool);
  t.transactions = {{3, "Ruhr"}, {5, "Eifel"}};
  return t;
}

StepFacts Facts(Event event, std::vector<Touched> objects, bool table_error = false) {
  StepFacts facts;
  facts.event = event;
  facts.objects = std::move(objects);
  facts.table_error = table_error;
  return facts;
}

bool Mentions(const std::vector<std::string>& found, const std::string& text) {
  for (const std::string& f : found)
    if (f.find(text) != std::string::npos) return true;
  return false;
}

TEST(InvariantsTest, StateChecksNameDuplicatesLiveRowsInPoolsAndLostIdentifiers) {
  std::set<std::string> known;
  EXPECT_TRUE(
      CheckState(Make({Row("A", 3, 1, "IGNORED"), Row("B", 3, 3, "DELETE")}, {{3, "B"}, {3, "C"}}),
                 known)
          .empty());
  EXPECT_EQ(known, (std::set<std::string>{"A", "B", "C"}));

  std::vector<std::string> found =
      CheckState(Make({Row("A", 3, 1, "IGNORED"), Row("A", 5, 2, "NEW")}, {{5, "A"}}), known);
  EXPECT_TRUE(Mentions(found, "two rows hold A"));
  EXPECT_TRUE(Mentions(found, "A is in the pool of 5 and listed by the row"));
  EXPECT_TRUE(Mentions(found, "B is in neither list"));
  EXPECT_TRUE(Mentions(found, "C is in neither list"));

  Tables broken = Make({}, {});
  broken.problem = "TA_LIST.dbf: the header counts 3 records, the file holds fewer";
  EXPECT_TRUE(Mentions(CheckState(broken, known), "holds fewer"));
}

TEST(InvariantsTest, DeletionsFollowTheStatusOfTheRow) {
  const Tables before = Make(
      {Row("S", 3, 1, "IGNORED", 1), Row("N", 3, 2, "NEW", 2), Row("L", 3, 0, "IGNORED", 3)}, {});
  StepFacts step = Facts(Event::kDelete, {{1, "S", ""}});
  EXPECT_TRUE(CheckStep(step, before,
                        Make({Row("S", 3, 3, "DELETE", 1), Row("N", 3, 2, "NEW", 2),
                              Row("L", 3, 0, "IGNORED", 3)},
                             {{3, "S"}}))
                  .empty());
  // Removed instead of marked, and not given back.
  std::vector<std::string> found =
      CheckStep(step, before, Make({Row("N", 3, 2, "NEW", 2), Row("L", 3, 0, "IGNORED", 3)}, {}));
  EXPECT_TRUE(Mentions(found, "deletion of S: expected"));
  EXPECT_TRUE(Mentions(found, "the pools of S should be [3], are []"));

  step.objects = {{2, "N", ""}};
  EXPECT_TRUE(
      CheckStep(step, before,
                Make({Row("S", 3, 1, "IGNORED", 1), Row("L", 3, 0, "IGNORED", 3)}, {{3, "N"}}))
          .empty());
  // A read-only row is no one's to give back.
  step.objects = {{3, "L", ""}};
  EXPECT_TRUE(Mentions(CheckStep(step, before,
                                 Make({Row("S", 3, 1, "IGNORED", 1), Row("N", 3, 2, "NEW", 2),
                                       Row("L", 3, 0, "IGNORED", 3)},
                                      {{3, "L"}})),
                       "the pools of L went from [] to [3]"));
}

TEST(InvariantsTest, ADeletionThePoolRefusedIsRecordedAndItsIdentifierForgotten) {
  const Tables before = Make({Row("S", 3, 1, "IGNORED", 1), Row("N", 3, 2, "NEW", 2)}, {});
  StepFacts step = Facts(Event::kDelete, {{1, "S", ""}, {2, "N", ""}});
  step.pool_refused = true;
  const Tables recorded = Make({Row("S", 3, 3, "DELETE", 1)}, {});
  EXPECT_TRUE(CheckStep(step, before, recorded).empty());
  // The row must be recorded all the same, and no pool touched.
  std::vector<std::string> found = CheckStep(step, before, Make({Row("S", 3, 1, "IGNORED", 1),
                                                                 Row("N", 3, 2, "NEW", 2)},
                                                                {{3, "N"}}));
  EXPECT_TRUE(Mentions(found, "deletion of S: expected"));
  EXPECT_TRUE(Mentions(found, "deletion of N (new) left the row"));
  EXPECT_TRUE(Mentions(found, "the pool refused N, but its pools changed"));

  std::set<std::string> known = {"S", "N"};
  EXPECT_TRUE(Mentions(CheckState(recorded, known), "N is in neither list"));
  Forget(step, known);
  EXPECT_TRUE(CheckState(recorded, known).empty()) << "the mapper was told";
  step.pool_refused = false;
  known = {"S", "N"};
  Forget(step, known);
  EXPECT_EQ(known.size(), 2u) << "an ordinary deletion forgets nothing";
}

TEST(InvariantsTest, AStepChangesOnlyTheIdentifiersOfItsObjects) {
  const Tables before = Make({Row("A", 3, 1, "IGNORED", 1), Row("B", 3, 1, "IGNORED", 2)}, {});
  StepFacts step = Facts(Event::kEdit, {{1, "A", "A"}});
  EXPECT_TRUE(
      CheckStep(step, before, Make({Row("A", 3, 1, "UPDATE", 1), Row("B", 3, 1, "IGNORED", 2)}, {}))
          .empty());
  EXPECT_TRUE(Mentions(
      CheckStep(step, before, Make({Row("A", 3, 1, "UPDATE", 1), Row("B", 3, 1, "UPDATE", 2)}, {})),
      "an identifier the step did not touch: the row of B"));
  // The edit must mark an unmarked row.
  EXPECT_TRUE(Mentions(CheckStep(step, before, before), "edit of A: expected"));
}

TEST(InvariantsTest, AFailedStepLeavesTablesAndHostIdentifiersAsTheyWere) {
  const Tables before = Make({Row("A", 3, 1, "IGNORED", 1)}, {{3, "B"}});
  StepFacts step = Facts(Event::kSwitch, {{1, "A", "A"}}, true);
  EXPECT_TRUE(CheckStep(step, before, before).empty());
  step.objects[0].after = "B";
  EXPECT_TRUE(Mentions(CheckStep(step, before, before), "left A renamed to B in the host"));
  step.objects[0].after = "A";
  EXPECT_TRUE(Mentions(CheckStep(step, before, Make({Row("A", 3, 1, "IGNORED", 1)}, {})),
                       "showed a table error but changed the tables"));
}

TEST(InvariantsTest, SwitchAndAssignGiveTheOldIdentifierBack) {
  const Tables before = Make({Row("A", 3, 2, "NEW", 1)}, {{3, "B"}, {5, "C"}});
  // Switched to B: the row moves along, A goes back into 3's pool.
  StepFacts step = Facts(Event::kSwitch, {{1, "A", "B"}});
  EXPECT_TRUE(
      CheckStep(step, before, Make({Row("B", 3, 2, "NEW", 1, "A")}, {{3, "A"}, {5, "C"}})).empty());
  EXPECT_TRUE(Mentions(CheckStep(step, before, Make({Row("B", 3, 2, "NEW", 1, "A")}, {{5, "C"}})),
                       "the pools of A should be [3], are []"));
  // Assigned to 5 under C: the same holds for the identifier it leaves.
  step = Facts(Event::kAssign, {{1, "A", "C"}});
  EXPECT_TRUE(
      CheckStep(step, before, Make({Row("C", 5, 2, "NEW", 1, "A")}, {{3, "B"}, {3, "A"}})).empty());
  EXPECT_TRUE(Mentions(CheckStep(step, before, Make({Row("C", 5, 2, "NEW", 1, "A")}, {{3, "B"}})),
                       "the pools of A should be [3], are []"));
}

TEST(InvariantsTest, CreationMayTakeOverOnlyADeleteRow) {
  const Tables before =
      Make({Row("D", 3, 3, "DELETE", 1, "D0"), Row("L", 3, 0, "IGNORED", 2)}, {{3, "D"}});
  StepFacts step = Facts(Event::kCreate, {{7, "", "D"}});
  EXPECT_TRUE(CheckStep(step, before,
                        Make({Row("D", 5, 1, "UPDATE", 7, "D0"), Row("L", 3, 0, "IGNORED", 2)}, {}))
                  .empty());
  step.objects = {{8, "", "L"}};
  EXPECT_TRUE(Mentions(
      CheckStep(step, before,
                Make({Row("D", 3, 3, "DELETE", 1, "D0"), Row("L", 5, 2, "NEW", 8)}, {{3, "D"}})),
      "rewrote the row"));
  // Created without a transaction: nothing changes.
  EXPECT_TRUE(CheckStep(step, before, before).empty());
}

TEST(InvariantsTest, ACreationWritesItsRowInTheChosenTransactionOnly) {
  const Tables before = Make({Row("L", 3, 0, "IGNORED", 2)}, {{3, "N"}});
  StepFacts step = Facts(Event::kCreate, {{7, "", "N"}});
  step.target = 5;
  EXPECT_TRUE(
      CheckStep(step, before, Make({Row("L", 3, 0, "IGNORED", 2), Row("N", 5, 2, "NEW", 7)}, {}))
          .empty());
  EXPECT_TRUE(Mentions(CheckStep(step, before, before), "creation of #7 under N in 5 left no row"));
  EXPECT_TRUE(Mentions(
      CheckStep(step, before, Make({Row("L", 3, 0, "IGNORED", 2), Row("N", 3, 2, "NEW", 7)}, {})),
      "expected (N 5 2 NEW N #7), got (N 3 2 NEW N #7)"));
  // Another object's row keeps it out, and only that.
  step.objects = {{8, "", "L"}};
  EXPECT_TRUE(CheckStep(step, before, before).empty());
  // "Keine TID": no row.
  step.target = -1;
  step.objects = {{7, "", "N"}};
  EXPECT_TRUE(CheckStep(step, before, before).empty());
  EXPECT_TRUE(Mentions(
      CheckStep(step, before, Make({Row("L", 3, 0, "IGNORED", 2), Row("N", 3, 2, "NEW", 7)}, {})),
      "without a transaction wrote"));
}

TEST(InvariantsTest, AListedObjectsRenameIsUndoneWithAWarning) {
  const Tables before = Make({Row("A", 3, 1, "IGNORED", 1)}, {});
  StepFacts step = Facts(Event::kRename, {{1, "A", "A"}});
  step.requested = "Z";
  step.warnings = 1;
  EXPECT_TRUE(CheckStep(step, before, before).empty());
  step.warnings = 0;
  EXPECT_TRUE(Mentions(CheckStep(step, before, before), "undone without a warning"));
  step.objects[0].after = "Z";
  EXPECT_TRUE(
      Mentions(CheckStep(step, before, before), "the object is listed, yet the host kept Z"));
}

TEST(InvariantsTest, ChoosersOfferNeitherCarriedNorHeldIdentifiers) {
  const Tables now = Make({Row("A", 3, 1, "IGNORED"), Row("D", 3, 3, "DELETE")}, {});
  auto carried = [](const std::string& k) { return k == "X" ? 42 : 0; };
  EXPECT_TRUE(CheckOffer("new", "", {"D", "F"}, now, carried).empty());
  std::vector<std::string> found = CheckOffer("new", "", {"A", "X"}, now, carried);
  EXPECT_TRUE(Mentions(found, "offered A, which the row"));
  EXPECT_TRUE(Mentions(found, "offered X, which object #42 carries"));
  // An object with a row of its own may not take a deleted row's identifier.
  EXPECT_TRUE(Mentions(CheckOffer("switch", "A", {"D"}, now, carried), "offered D"));
  EXPECT_TRUE(Mentions(CheckProposal("D", now, carried), "held by the row"));
  EXPECT_TRUE(CheckProposal("F", now, carried).empty());
}

}  // namespace
}  // namespace model
