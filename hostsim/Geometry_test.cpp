#include "hostsim/Geometry.h"

#include <gtest/gtest.h>

namespace hostsim {
namespace {

TEST(Geometry, TextFormReadsBackExactly) {
  std::vector<Point> points = {{0.1, 1e-300}, {2553123.456789, 5712345.1}, {-3, 0}};
  auto back = GeometryFromText(GeometryToText(points));
  ASSERT_TRUE(back);
  EXPECT_EQ(*back, points);
  EXPECT_EQ(GeometryFromText("")->size(), 0u);
}

TEST(Geometry, BrokenTextIsRefused) {
  for (const char* bad : {"1", "1 2,", "1 2 3", "a b", "1 2;3 4", "inf 1", "1 nan"})
    EXPECT_FALSE(GeometryFromText(bad)) << bad;
}

TEST(Geometry, VertexCountsPerDrawType) {
  EXPECT_EQ(CheckGeometry(ktSinglePoint, {{1, 2}}), "");
  EXPECT_NE(CheckGeometry(ktSinglePoint, {{1, 2}, {3, 4}}), "");
  EXPECT_NE(CheckGeometry(ktLinie, {{1, 2}}), "");
  EXPECT_NE(CheckGeometry(ktFlaeche, {{0, 0}, {1, 1}}), "");
  EXPECT_NE(CheckGeometry(ktGrid, {{0, 0}}), "");
  EXPECT_FALSE(IsObjectDrawTyp(ktMoveObject));
}

TEST(Geometry, AreaAndCentroidWhicheverWayTheRingRuns) {
  std::vector<Point> square = {{0, 0}, {100, 0}, {100, 50}, {0, 50}};
  std::vector<Point> reversed(square.rbegin(), square.rend());
  EXPECT_DOUBLE_EQ(AreaOf(ktFlaeche, square), 5000);
  EXPECT_DOUBLE_EQ(AreaOf(ktFlaeche, reversed), 5000);
  EXPECT_EQ(ReferencePoint(ktFlaeche, reversed), (Point{50, 25}));
  // An L-shape's centroid is not the mean of its vertices.
  std::vector<Point> ell = {{0, 0}, {2, 0}, {2, 1}, {1, 1}, {1, 2}, {0, 2}};
  Point c = ReferencePoint(ktFlaeche, ell);
  EXPECT_NEAR(c.x, 5.0 / 6, 1e-12);
  EXPECT_NEAR(c.y, 5.0 / 6, 1e-12);
  EXPECT_EQ(AreaOf(ktLinie, square), 0);
  EXPECT_EQ(ReferencePoint(ktLinie, {{0, 0}, {10, 20}}), (Point{5, 10}));
  // A degenerate ring falls back to the vertex mean.
  EXPECT_EQ(ReferencePoint(ktFlaeche, {{0, 0}, {1, 1}, {2, 2}}), (Point{1, 1}));
}

TEST(Geometry, DrawTypNames) {
  EXPECT_EQ(DrawTypByName("area"), ktFlaeche);
  EXPECT_EQ(DrawTypByName("6"), ktSinglePoint);
  EXPECT_FALSE(DrawTypByName("blob"));
  EXPECT_FALSE(DrawTypByName("300"));
  EXPECT_EQ(DrawTypName(ktLinie), "line");
}

}  // namespace
}  // namespace hostsim
