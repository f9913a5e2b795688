// The photo dialog's temporary point against the host stand-in: the name it
// is placed under, a point an earlier capture left, a placing the host does
// not allow, and a placing given up when the dialog is done.
#include "photos/TempObject.h"

#include <gtest/gtest.h>

#include "host/ktapi32.h"
#include "tests/support/ProjectFixture.h"

namespace {

class TempObjectTest : public testsupport::ProjectFixture {
 protected:
  void TearDown() override {
    TempObject::Current().Drop();
    ProjectFixture::TearDown();
  }
};

TEST_F(TempObjectTest, APointIsPlacedUnderTheFirstFreeNameAndAnEarlierOneGoes) {
  const int32_t object = MakeObject("NSG", "TempObj1");
  TempObject& point = TempObject::Current();
  point.BeginPlacing();
  const int32_t earlier = MakeObject("NSG", "TempObj3");
  ASSERT_TRUE(point.ObjectCreated(earlier));
  EXPECT_EQ(point.Placed(), earlier);
  EXPECT_FALSE(point.ObjectCreated(object)) << "only while placing";

  ASSERT_TRUE(point.StartPlacing(ClassId("NSG")));
  EXPECT_TRUE(point.Placing());
  EXPECT_EQ(point.Placed(), -1);
  EXPECT_EQ(host().FindObject(earlier), nullptr) << "a point nothing removed would stay for good";
  EXPECT_EQ(host().PlacingKennung(), "TempObj2");
  EXPECT_EQ(host().CurrentView(), hostsim::View::kMap);
  EXPECT_EQ(host().CreationState(), hostsim::Creation::kPlacing);

  // The dialog closes while the mapper still places: the host gives up.
  point.Drop();
  EXPECT_FALSE(point.Placing());
  EXPECT_EQ(host().CreationState(), hostsim::Creation::kIdle);
  EXPECT_EQ(host().ObjectIds(), std::vector<int32_t>{object});
}

TEST_F(TempObjectTest, APlacingTheHostRefusesLeavesNothingPlacing) {
  TempObject& point = TempObject::Current();
  EXPECT_FALSE(point.StartPlacing(987654)) << "no such class";
  EXPECT_FALSE(point.Placing()) << "else every later creation would pass as the point";
  EXPECT_EQ(host().CurrentView(), hostsim::View::kData);
  char buffer[51] = "NSG-9";
  TGetNewKennung request{buffer, 50, 1};
  host::KennungRequest view =
      *host::KennungRequest::FromHookArgument(reinterpret_cast<intptr_t>(&request));
  EXPECT_FALSE(point.LetCreationPass(view));
  EXPECT_EQ(request.UseDialog, 1);
}

}  // namespace
