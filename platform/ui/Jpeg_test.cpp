// The picture loader on pictures written here with libjpeg and on the files
// it must refuse: each refusal with its German reason and without a crash,
// and a picture that claims more than it holds never decoded at that size.
#include "platform/ui/Jpeg.h"

#include <gtest/gtest.h>

#include <cerrno>

#include "platform/env/FaultEnv.h"
#include "platform/env/MemEnv.h"
#include "tests/support/JpegWriter.h"

namespace platform::ui {
namespace {

using testsupport::EncodeJpeg;

JpegPicture FromBytes(const std::string& bytes) {
  return DecodeJpeg(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size(), "DSC0001.jpg");
}

void Put(env::Env& env, const std::string& path, const std::string& bytes) {
  env.Open(path, env::OpenMode::kTruncate)->WriteAt(0, bytes.data(), bytes.size());
}

TEST(JpegTest, APictureGivesItsSizeAndAPreviewOfItsShape) {
  const JpegPicture wide = FromBytes(EncodeJpeg(400, 100));
  ASSERT_TRUE(wide.ok) << wide.error;
  EXPECT_EQ(wide.width, 400);
  EXPECT_EQ(wide.height, 100);
  EXPECT_EQ(wide.preview_width, kJpegPreviewSize);
  EXPECT_EQ(wide.preview_height, 16);
  ASSERT_EQ(wide.preview.size(), static_cast<size_t>(kJpegPreviewSize * 16));
  for (uint8_t grey : wide.preview) EXPECT_NEAR(grey, 128, 3) << "a flat grey picture";

  const JpegPicture tiny = FromBytes(EncodeJpeg(3, 5, 9, 90, true));
  ASSERT_TRUE(tiny.ok) << "progressive, smaller than the preview: " << tiny.error;
  EXPECT_EQ(tiny.preview_width, 3);
  EXPECT_EQ(tiny.preview_height, 5);
  EXPECT_TRUE(tiny.error.empty());
}

TEST(JpegTest, FilesThatAreNoPictureAreToldApart) {
  const std::string good = EncodeJpeg(64, 48, 3);
  struct Case {
    const char* what;
    std::string bytes;
    const char* reason;
  };
  std::string damaged = good;
  for (size_t i = damaged.size() / 2; i < damaged.size() / 2 + 40; ++i) damaged[i] = '\xFF';
  const Case cases[] = {
      {"empty", "", "ist leer."},
      {"cut in its header", good.substr(0, 30), "ist unvollständig"},
      {"cut in its data", good.substr(0, good.size() / 2), "ist unvollständig"},
      {"a PNG under a .jpg name", testsupport::PngBytes(), "ist kein JPEG-Bild."},
      {"text", "this is no picture", "ist kein JPEG-Bild."},
      {"markers in its data", damaged, "ist beschädigt"},
      {"claiming 20000 x 20000", testsupport::ClaimSize(good, 20000, 20000),
       "ist mit 20000 x 20000 Bildpunkten zu groß"},
      {"claiming no width", testsupport::ClaimSize(good, 0, 48), "ist beschädigt"},
  };
  for (const Case& c : cases) {
    const JpegPicture picture = FromBytes(c.bytes);
    EXPECT_FALSE(picture.ok) << c.what;
    EXPECT_EQ(picture.width * picture.height == 0 || !picture.ok, true);
    EXPECT_TRUE(picture.preview.empty()) << c.what;
    EXPECT_EQ(picture.error.rfind("Die Bilddatei \"DSC0001.jpg\" ", 0), 0u) << picture.error;
    EXPECT_NE(picture.error.find(c.reason), std::string::npos) << c.what << ": " << picture.error;
  }
}

TEST(JpegTest, APictureClaimingMoreThanItsDataHoldIsDamaged) {
  // Within the limit, so decoding starts; the data end after 16 x 16 pixels,
  // and the decoder stops there rather than fill the rest.
  const JpegPicture picture = FromBytes(testsupport::ClaimSize(EncodeJpeg(16, 16), 10000, 10000));
  EXPECT_FALSE(picture.ok);
  EXPECT_NE(picture.error.find("ist beschädigt"), std::string::npos) << picture.error;
}

TEST(JpegTest, FilesAreReadThroughTheEnvAndTheirFaultsTold) {
  env::MemEnv mem;
  mem.CreateFolder("/fotos");
  const std::string big = EncodeJpeg(900, 700, 5);  // more than one read block
  ASSERT_GT(big.size(), 64u * 1024);
  Put(mem, "/fotos/a.jpg", big);
  const JpegPicture picture = ReadJpeg(mem, "/fotos/a.jpg");
  ASSERT_TRUE(picture.ok) << picture.error;
  EXPECT_EQ(picture.width, 900);
  EXPECT_EQ(picture.preview_height, 49);

  // From the file opened by the caller: the same picture, named as asked.
  std::unique_ptr<env::File> opened = mem.Open("/fotos/a.jpg", env::OpenMode::kRead);
  const JpegPicture from_handle = ReadJpeg(*opened, "DSC0001.jpg");
  ASSERT_TRUE(from_handle.ok) << from_handle.error;
  EXPECT_EQ(from_handle.preview, picture.preview);
  Put(mem, "/fotos/kaputt.jpg", big.substr(0, big.size() / 2));
  EXPECT_EQ(ReadJpeg(*mem.Open("/fotos/kaputt.jpg", env::OpenMode::kRead), "DSC0002.jpg").error,
            "Die Bilddatei \"DSC0002.jpg\" ist unvollständig: sie endet mitten im Bild.");

  EXPECT_EQ(ReadJpeg(mem, "/fotos/b.jpg").error, "Die Bilddatei \"/fotos/b.jpg\" gibt es nicht.");
  EXPECT_EQ(ReadJpeg(mem, "/fotos").error, "\"/fotos\" ist keine Bilddatei.");

  env::FaultEnv faults(mem);
  faults.Inject(env::Fault(env::Op::kRead, EIO).After(1));
  const JpegPicture failed = ReadJpeg(faults, "/fotos/a.jpg");
  EXPECT_FALSE(failed.ok);
  EXPECT_NE(failed.error.find("kann nicht gelesen werden: Beim Zugriff auf den Datenträger ist ein "
                              "Ein-/Ausgabefehler aufgetreten"),
            std::string::npos)
      << failed.error;
}

// A picture with an EXIF block after its start, holding a thumbnail that
// is a whole JPEG picture of its own, end-of-image marker included.
std::string WithThumbnail(const std::string& jpeg, const std::string& thumbnail) {
  const std::string payload = std::string("Exif\0\0", 6) + thumbnail;
  const size_t length = payload.size() + 2;
  std::string app1 = "\xFF\xE1";
  app1 += static_cast<char>(length >> 8);
  app1 += static_cast<char>(length & 0xFF);
  return jpeg.substr(0, 2) + app1 + payload + jpeg.substr(2);
}

TEST(JpegTest, TheHeaderCheckFindsAPictureCutInItsScan) {
  env::MemEnv mem;
  mem.CreateFolder("/fotos");
  const std::string small = EncodeJpeg(64, 48, 3);
  const std::string big = EncodeJpeg(900, 700, 5);  // its scan begins before the tail looked at
  ASSERT_GT(big.size(), 3u * 64 * 1024);
  const std::string thumbnail = EncodeJpeg(16, 12, 8);
  const std::string trailer(3000, '\0');
  struct Case {
    const char* what;
    std::string bytes;
    bool whole;
  };
  const Case cases[] = {
      {"whole", small, true},
      {"whole, larger than the tail", big, true},
      {"a camera's trailer after the end", small + "SEFH" + trailer, true},
      {"a thumbnail in its EXIF block", WithThumbnail(small, thumbnail), true},
      {"cut in its scan", small.substr(0, small.size() * 3 / 4), false},
      {"only the last byte missing", small.substr(0, small.size() - 1), false},
      {"cut far after the scan begins", big.substr(0, big.size() * 3 / 4), false},
      {"cut, the thumbnail's end before the scan",
       WithThumbnail(small, thumbnail).substr(0, thumbnail.size() + small.size() * 3 / 4), false},
  };
  for (const Case& c : cases) {
    Put(mem, "/fotos/a.jpg", c.bytes);
    const JpegPicture header =
        ReadJpegHeader(*mem.Open("/fotos/a.jpg", env::OpenMode::kRead), "DSC0003.jpg");
    EXPECT_EQ(header.ok, c.whole) << c.what << ": " << header.error;
    if (!c.whole) {
      EXPECT_EQ(header.error,
                "Die Bilddatei \"DSC0003.jpg\" ist unvollständig: sie endet mitten im Bild.")
          << c.what;
    }
  }

  // The tail that cannot be read is told, not taken for a cut.
  Put(mem, "/fotos/a.jpg", small);
  env::FaultEnv faults(mem);
  faults.Inject(env::Fault(env::Op::kRead, EIO).After(1));
  const JpegPicture failed =
      ReadJpegHeader(*faults.Open("/fotos/a.jpg", env::OpenMode::kRead), "DSC0003.jpg");
  EXPECT_NE(failed.error.find("kann nicht gelesen werden: Beim Zugriff auf den Datenträger"),
            std::string::npos)
      << failed.error;
}

}  // namespace
}  // namespace platform::ui
