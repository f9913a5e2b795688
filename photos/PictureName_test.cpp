// The one rule for picture names, held to what each of its users needs: a
// name the catalogue can hold that stays inside the picture folder on
// either platform; and the names of pictures taken in locally.
#include "photos/PictureName.h"

#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

namespace {

TEST(PictureNameTest, ANameStaysInsideThePictureFolderAndFitsItsColumn) {
  for (const std::string& name : std::vector<std::string>{
           "KTFoto1.jpg", "DSC 0001.JPG", "Tümpel.jpg", "a..b.jpg", "..jpg", ".jpg",
           std::string(46, 'x') + ".jpg", std::string(50, 'x'), "Öl" + std::string(48, 'x')}) {
    EXPECT_TRUE(UsablePictureName(name)) << name;
  }
  for (const std::string& name : std::vector<std::string>{
           "", ".", "..", "../boese.jpg", "sub/bild.jpg", "sub\\bild.jpg", "/etc/passwd",
           "C:\\bild.jpg", "bild.jpg/", std::string("a\0b.jpg", 7), std::string(51, 'x'),
           "Ö" + std::string(50, 'x')}) {
    EXPECT_FALSE(UsablePictureName(name)) << name;
  }
}

TEST(PictureNameTest, ALocalPictureTakesTheFirstNumberNoNameHoldsInAnyCase) {
  std::set<std::string> taken;
  const auto name = [&taken] {
    return KTFotoName([&taken](const std::string& lower) { return taken.count(lower) != 0; });
  };
  EXPECT_EQ(name(), "KTFoto1.jpg");
  taken = {"ktfoto1.jpg", "ktfoto2.jpg", "ktfoto4.jpg"};
  EXPECT_EQ(name(), "KTFoto3.jpg");
  taken = {"ktfoto1.jpg", "ktfoto2.jpg", "ktfoto3.jpg", "ktfoto4.jpg"};
  EXPECT_EQ(name(), "KTFoto5.jpg");
  EXPECT_TRUE(UsablePictureName(name()));
}

}  // namespace
