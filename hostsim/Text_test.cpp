// The host's name helpers: case, blanks and library and file suffixes.
#include "hostsim/Text.h"

#include <gtest/gtest.h>

namespace hostsim {
namespace {

TEST(Text, LowerAndTrim) {
  EXPECT_EQ(Lower("Projekt.KTP"), "projekt.ktp");
  EXPECT_EQ(Trim(" \tName = x\r\n"), "Name = x");
  EXPECT_EQ(Trim(" \t "), "");
  // dBase pads with blanks only: a tab is part of the text.
  EXPECT_EQ(Trim("  ND-1\t  ", " "), "ND-1\t");
}

TEST(Text, SuffixesNeedANameBeforeThem) {
  EXPECT_TRUE(EndsWithNoCase("VD1TransAction.DLL", ".dll"));
  EXPECT_TRUE(EndsWithNoCase("x.Shp", ".shp"));
  EXPECT_FALSE(EndsWithNoCase(".dll", ".dll"));
  EXPECT_FALSE(EndsWithNoCase("dll", ".dll"));
  EXPECT_FALSE(EndsWithNoCase("VD1TransAction.so", ".dll"));
}

}  // namespace
}  // namespace hostsim
