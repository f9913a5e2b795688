// Paths: the names that may not leave their folder, and the ends of folder
// paths that joins rely on.
#include "platform/env/Path.h"

#include <gtest/gtest.h>

#include <string>

#include "platform/env/Env.h"

namespace platform::env {
namespace {

TEST(PathTest, APlainNameStaysInsideItsFolder) {
  EXPECT_TRUE(IsPlainName("KTFoto1.jpg"));
  EXPECT_TRUE(IsPlainName("..jpg")) << "dots inside a name are a name";
#ifdef _WIN32
  EXPECT_FALSE(IsPlainName("a\\b"));
  EXPECT_TRUE(IsAbsolutePath("C:\\p"));
#else
  EXPECT_TRUE(IsPlainName("a\\b")) << "a backslash is a character of a Linux name";
#endif
  for (const std::string& bad : std::initializer_list<std::string>{"", ".", "..", "a/b", "/a", "a/",
                                                                   std::string("a\0b", 3)}) {
    EXPECT_FALSE(IsPlainName(bad)) << "\"" << bad << "\"";
  }
}

TEST(PathTest, FolderEndsAreMadeAndTakenOffWithoutLosingTheRoot) {
  EXPECT_EQ(WithoutTrailingSeparator("/p/ta///"), "/p/ta");
  EXPECT_EQ(WithoutTrailingSeparator("/"), "/");
  EXPECT_EQ(WithoutTrailingSeparator("ta"), "ta");
  EXPECT_EQ(WithTrailingSeparator("/p/ta"), "/p/ta/");
  EXPECT_EQ(WithTrailingSeparator("/p/ta/"), "/p/ta/");
  EXPECT_EQ(WithTrailingSeparator(""), "") << "no folder must not become the root";
  // What the host's folders and JoinPath make of each other.
  EXPECT_EQ(JoinPath(WithTrailingSeparator("/p"), "TA_LIST.dbf"), "/p/TA_LIST.dbf");
}

TEST(PathTest, AbsolutePathsAndExtensions) {
  EXPECT_TRUE(IsAbsolutePath("/p/ta"));
  EXPECT_FALSE(IsAbsolutePath("ta/x.pdf"));
  EXPECT_FALSE(IsAbsolutePath(""));
  EXPECT_EQ(WithoutExtension("/p/TA_LIST.dbf"), "/p/TA_LIST");
  EXPECT_EQ(WithoutExtension("/p.d/TA_LIST"), "/p.d/TA_LIST") << "a folder's dot";
  EXPECT_EQ(WithoutExtension("x.tar.gz"), "x.tar");
}

TEST(PathTest, AMaskWithManyStarsTakesNoExponentialTime) {
  EXPECT_FALSE(MatchesMask(std::string(200, 'a'), "*a*a*a*a*a*a*a*a*b"));
  EXPECT_TRUE(MatchesMask(std::string(200, 'a') + "b", "*a*a*a*a*a*a*a*a*b"));
}

}  // namespace
TEST(PathTest, NamesThatTravelHoldTheSeparatorsOfNeitherPlatform) {
  EXPECT_TRUE(HoldsAnySeparator("a/b"));
  EXPECT_TRUE(HoldsAnySeparator("a\\b"));
  EXPECT_FALSE(HoldsAnySeparator("KTFoto1.jpg"));
}

TEST(PathTest, AFolderGrowsWithTheSeparatorItAlreadyUses) {
  EXPECT_EQ(JoinPath("C:\\Projekt\\KTPhotos", "a.jpg"),
            IsPathSeparator('\\') ? "C:\\Projekt\\KTPhotos\\a.jpg" : "C:\\Projekt\\KTPhotos/a.jpg");
  EXPECT_EQ(WithTrailingSeparator("/tmp/p"), "/tmp/p/");
  EXPECT_EQ(JoinPath("Projekt", "a.jpg"), std::string("Projekt") + kPathSeparator + "a.jpg");
}

TEST(PathTest, PortablePathsStayBelowTheirFolder) {
  EXPECT_EQ(PortablePath({"KTPhotos", "a b.jpg"}), "KTPhotos/a b.jpg");
  EXPECT_EQ(PortableParts("KTPhotos/a b.jpg"), (std::vector<std::string>{"KTPhotos", "a b.jpg"}));
  for (const char* reaching_out : {"/etc/passwd", "KTPhotos/../../x", "KTPhotos//a", "", "a/",
                                   "KTPhotos/a\\..\\b", ".."}) {
    EXPECT_FALSE(PortableParts(reaching_out)) << reaching_out;
  }
  const std::string project = JoinPath(JoinPath("", "p"), "projekt");
  EXPECT_EQ(PortableBelow(project, JoinPath(JoinPath(project, "KTPhotos"), "a.jpg")),
            "KTPhotos/a.jpg");
  EXPECT_EQ(PortableBelow(WithTrailingSeparator(project), JoinPath(project, "a.jpg")), "a.jpg");
  EXPECT_FALSE(PortableBelow(project, JoinPath(project + "2", "a.jpg"))) << "a sibling folder";
  EXPECT_FALSE(PortableBelow(project, project));
}

}  // namespace platform::env
