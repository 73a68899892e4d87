// Thumbnails and JPEG renditions of HEIC and AVIF files made by Debian's encoders.
#include <gtest/gtest.h>

#include <string>

#include "platform/testing/test_folder.h"
#include "server/catalogue/testing/test_file_access.h"
#include "server/pictures/exif_orientation.h"
#include "server/pictures/heif_decoder.h"
#include "server/pictures/image_reduce.h"
#include "server/pictures/testing/heif_files.h"
#include "server/pictures/testing/test_pictures.h"
#include "server/pictures/thumbnail_store.h"

namespace {

using Bytes = std::vector<uint8_t>;

const Rgba kRed = {230, 20, 20, 255};
const Rgba kGreen = {20, 200, 20, 255};
const Rgba kBlue = {20, 20, 230, 255};
const Rgba kWhite = {250, 250, 250, 255};

// 400 x 300, red, green / blue, white as stored.
const Picture& Stored() {
  static const Picture picture = QuadrantPicture(400, 300, 3, {kRed, kGreen, kBlue, kWhite});
  return picture;
}

// The files, each made once for the whole test binary (an encoder run takes a while).
struct Files {
  Bytes heic = HeicFile(Stored());
  Bytes heic_exif_6 = HeicFile(Stored(), {.exif_orientation = 6});
  Bytes heic_exif_3_thumbnail = HeicFile(Stored(), {.exif_orientation = 3, .thumbnail = 200});
  Bytes avif = AvifFile(Stored());
  Bytes avif_turned = AvifFile(Stored(), {.quarter_turns = 1});  // 90 degrees anticlockwise
  Bytes avif_10_bit = AvifFile(Stored(), {.bit_depth = 10});
};
const Files& Made() {
  static const Files files;
  return files;
}

struct Corners {
  Rgba top_left, top_right, bottom_left, bottom_right;
};
// As shown: as stored; turned a quarter clockwise (EXIF 6); half round (EXIF 3); a quarter
// anticlockwise (irot 1).
const Corners kAsStored = {kRed, kGreen, kBlue, kWhite};
const Corners kClockwise = {kBlue, kRed, kWhite, kGreen};
const Corners kHalfRound = {kWhite, kBlue, kGreen, kRed};
const Corners kAnticlockwise = {kGreen, kWhite, kRed, kBlue};

void ExpectPicture(const Bytes& file, int width, int height, const Corners& corners,
                   const std::string& what) {
  ASSERT_TRUE(IsJpegFile(file)) << what;
  const DecodedFile out = DecodeFile(file);
  ASSERT_TRUE(out.ok) << what;
  EXPECT_EQ(out.width, width) << what;
  EXPECT_EQ(out.height, height) << what;
  const int right = out.width - 3, bottom = out.height - 3;
  EXPECT_TRUE(NearColour(out.At(2, 2), corners.top_left)) << what;
  EXPECT_TRUE(NearColour(out.At(right, 2), corners.top_right)) << what;
  EXPECT_TRUE(NearColour(out.At(2, bottom), corners.bottom_left)) << what;
  EXPECT_TRUE(NearColour(out.At(right, bottom), corners.bottom_right)) << what;
}

// ReduceImage for `rendition`, which must make a JPEG when it makes anything.
bool Make(const char* type, const Rendition& rendition, Bytes* body) {
  std::string_view made;
  if (!ReduceImage(type, rendition, body, &made)) return false;
  EXPECT_EQ(made, "image/jpeg") << type;
  return true;
}

struct Case {
  const char* name;
  const Bytes* file;
  const char* type;
  int shown_width, shown_height;
  Corners corners;
};
std::vector<Case> Cases() {
  const Files& f = Made();
  return {
      {"heic", &f.heic, "image/heic", 400, 300, kAsStored},
      {"heic exif 6", &f.heic_exif_6, "image/heic", 300, 400, kClockwise},
      {"heic exif 3 thumbnail", &f.heic_exif_3_thumbnail, "image/heif", 400, 300, kHalfRound},
      {"avif", &f.avif, "image/avif", 400, 300, kAsStored},
      {"avif irot 1", &f.avif_turned, "image/avif", 300, 400, kAnticlockwise},
      {"avif 10 bit", &f.avif_10_bit, "image/avif", 400, 300, kAsStored},
  };
}

TEST(HeifPicturesTest, ThumbnailsAreUprightJpegs150Wide) {
  for (const Case& c : Cases()) {
    ASSERT_FALSE(c.file->empty()) << c.name << ": the encoder failed";
    Bytes body = *c.file;
    ASSERT_TRUE(Make(c.type, kThumbnail, &body)) << c.name;
    const int height = static_cast<int>(150.0f / c.shown_width * c.shown_height);
    ExpectPicture(body, kThumbnailWidth, height, c.corners, c.name);
  }
}

TEST(HeifPicturesTest, RenditionsAreUprightJpegsOfFullSize) {
  for (const Case& c : Cases()) {
    Bytes body = *c.file;
    ASSERT_TRUE(Make(c.type, kFullSizeJpeg, &body)) << c.name;
    ExpectPicture(body, c.shown_width, c.shown_height, c.corners, c.name);
  }
}

// A screen rendition narrower than the picture is made like a thumbnail, upright.
TEST(HeifPicturesTest, ScreenRenditionsAreUprightJpegs) {
  for (const Case& c : Cases()) {
    Bytes body = *c.file;
    ASSERT_TRUE(Make(c.type, {200, 82}, &body)) << c.name;
    const int height = static_cast<int>(200.0f / c.shown_width * c.shown_height);
    ExpectPicture(body, 200, height, c.corners, c.name);
  }
}

TEST(HeifPicturesTest, ContainerTurnsAndEmbeddedThumbnailsAreFound) {
  const Files& f = Made();
  EXPECT_FALSE(HeifHasTransforms(f.heic_exif_6));  // heif-enc keeps only the Exif entry
  EXPECT_TRUE(HeifHasTransforms(f.avif_turned));
  HeifPicture picture;
  ASSERT_TRUE(picture.Open(f.heic_exif_3_thumbnail));
  EXPECT_EQ(picture.orientation(), 3);
  EXPECT_EQ(picture.DecodedPixels(150, 112), 200 * 150);  // the thumbnail covers it
  EXPECT_EQ(picture.DecodedPixels(201, 112), 400 * 300);
  HeifPicture turned;
  ASSERT_TRUE(turned.Open(f.avif_turned));
  EXPECT_EQ(turned.width(), 300);
  EXPECT_EQ(turned.orientation(), kOrientationAsStored);
}

// Damaged, hostile and narrow files are left as stored, for thumbnails and renditions alike.
TEST(HeifPicturesTest, SentAsStored) {
  const Files& f = Made();
  Bytes truncated_heic(f.heic.begin(), f.heic.begin() + f.heic.size() * 2 / 3);
  Bytes truncated_avif(f.avif.begin(), f.avif.begin() + f.avif.size() * 2 / 3);
  const struct {
    const char* name;
    Bytes file;
    const char* type;
  } cases[] = {
      {"truncated heic", truncated_heic, "image/heic"},
      {"truncated avif", truncated_avif, "image/avif"},
      {"heic of 60000 x 60000", WithDeclaredSize(f.heic, 60000), "image/heic"},
      {"avif of 60000 x 60000", WithDeclaredSize(f.avif, 60000), "image/avif"},
      {"heic of 5000 x 5000", WithDeclaredSize(f.heic, 5000), "image/heic"},
      {"narrow heic", HeicFile(QuadrantPicture(120, 90, 3, {kRed, kGreen, kBlue, kWhite})),
       "image/heic"},
      {"not a picture", Bytes(100, 'x'), "image/heic"},
  };
  for (const auto& c : cases) {
    Bytes body = c.file;
    EXPECT_FALSE(Make(c.type, kThumbnail, &body)) << c.name;
    EXPECT_EQ(body, c.file) << c.name;
    if (std::string(c.name) == "narrow heic") continue;  // a rendition has no width bound
    EXPECT_FALSE(Make(c.type, kFullSizeJpeg, &body)) << c.name;
    EXPECT_EQ(body, c.file) << c.name;
  }
}

TEST(HeifPicturesTest, JpegDataNamedHeicIsItsOwnRendition) {
  const Bytes jpeg = JpegFile(Stored());
  Bytes body = jpeg;
  EXPECT_TRUE(Make("image/heic", kFullSizeJpeg, &body));
  EXPECT_EQ(body, jpeg);
  EXPECT_FALSE(Make("image/jpeg", kFullSizeJpeg, &body));  // browsers show it as stored
  ASSERT_TRUE(Make("image/heic", kThumbnail, &body));
  ExpectPicture(body, 150, 112, kAsStored, "jpeg named heic");
}

// A full-size rendition is made once per version of the file, kept in the rendition store
// apart from the screen sizes.
TEST(HeifPicturesTest, RenditionStoreMakesOnce) {
  TestFolder folder;
  TestFileAccess access;
  const std::string path =
      folder.Write("IMG_0001.HEIC", std::string(Made().heic.begin(), Made().heic.end()));
  ThumbnailStore renditions(access.files, folder.Path("cache"),
                            ThumbnailStore::kRenditionMemoryBytes,
                            ThumbnailStore::kRenditionDiskBytes);
  ReducedPicture first, second, screen, jpeg;
  ASSERT_TRUE(renditions.Find(path, "image/heic", kFullSizeJpeg, &first));
  ASSERT_TRUE(renditions.Find(path, "image/heic", kFullSizeJpeg, &second));
  EXPECT_EQ(renditions.Reductions(), 1u);
  EXPECT_EQ(first.content_type, "image/jpeg");
  ExpectPicture(*first.bytes, 400, 300, kAsStored, "stored rendition");
  ASSERT_TRUE(renditions.Find(path, "image/heic", {200, 82}, &screen));
  EXPECT_EQ(renditions.Reductions(), 2u);
  ExpectPicture(*screen.bytes, 200, 150, kAsStored, "screen rendition");
  const Bytes jpeg_file = JpegFile(Stored());
  const std::string jpeg_path =
      folder.Write("a.jpg", std::string(jpeg_file.begin(), jpeg_file.end()));
  EXPECT_FALSE(renditions.Find(jpeg_path, "image/jpeg", kFullSizeJpeg, &jpeg));  // none of JPEG

  ThumbnailStore again(access.files, folder.Path("cache"), ThumbnailStore::kRenditionMemoryBytes,
                       ThumbnailStore::kRenditionDiskBytes);
  ASSERT_TRUE(again.Find(path, "image/heic", kFullSizeJpeg, &second));
  EXPECT_EQ(again.Reductions(), 0u);  // read from the folder
  EXPECT_EQ(*second.bytes, *first.bytes);
  EXPECT_EQ(second.content_type, "image/jpeg");
}

}  // namespace
