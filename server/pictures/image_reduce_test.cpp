#include "server/pictures/image_reduce.h"

#include <gtest/gtest.h>
#include <stb_image_write.h>

#include <string>

#include "server/pictures/jpeg_decoder.h"
#include "server/pictures/testing/test_pictures.h"

namespace {

using Bytes = std::vector<uint8_t>;

const Rgba kRed = {230, 20, 20, 255};
const Rgba kGreen = {20, 200, 20, 255};
const Rgba kBlue = {20, 20, 230, 255};
const Rgba kWhite = {250, 250, 250, 255};
const std::array<Rgba, 4> kCorners = {kRed, kGreen, kBlue, kWhite};

enum class Kind { kPng, kJpeg };

// A thumbnail; the type it is encoded in is checked where it matters.
bool ReduceThumbnail(std::string_view type, Bytes* body) {
  std::string_view reduced_type;
  return ReduceImage(type, kThumbnail, body, &reduced_type);
}

Bytes FileOf(Kind kind, const Picture& picture) {
  return kind == Kind::kPng ? PngFile(picture) : JpegFile(picture);
}

TEST(ImageReduceTest, WidthIs150AndHeightTruncated) {
  struct Case {
    Kind kind;
    int width, height;
    const char* type;
    int expected_height;
  };
  const Case cases[] = {
      {Kind::kJpeg, 1920, 1080, "image/jpeg", 84},  // 84.375
      {Kind::kPng, 1920, 1080, "image/png", 84},   {Kind::kJpeg, 151, 1000, "image/jpeg", 993},
      {Kind::kPng, 151, 1000, "image/png", 993},   {Kind::kJpeg, 4000, 3000, "image/jpeg", 112},
      {Kind::kJpeg, 1500, 10, "image/jpeg", 1},  // 0.1f * 10 rounds to exactly 1
      {Kind::kPng, 300, 2000, "image/png", 1000},
  };
  for (const Case& c : cases) {
    Bytes body = FileOf(c.kind, QuadrantPicture(c.width, c.height, 3, kCorners));
    ASSERT_TRUE(ReduceThumbnail(c.type, &body)) << c.width << "x" << c.height;
    EXPECT_TRUE(IsJpegFile(body));  // no transparency: a JPEG whatever the source
    const DecodedFile out = DecodeFile(body);
    ASSERT_TRUE(out.ok);
    EXPECT_EQ(out.width, kThumbnailWidth) << c.width << "x" << c.height;
    EXPECT_EQ(out.height, c.expected_height) << c.width << "x" << c.height;
    if (c.expected_height >= 10) {
      EXPECT_TRUE(NearColour(out.At(2, 2), kRed)) << c.width << "x" << c.height;
      EXPECT_TRUE(NearColour(out.At(147, out.height - 3), kWhite)) << c.width << "x" << c.height;
    }
  }
}

// Whatever is not reduced is left byte for byte as stored.
TEST(ImageReduceTest, SentAsStored) {
  Bytes truncated_jpeg = JpegFile(NoisePicture(400, 300));
  truncated_jpeg.resize(truncated_jpeg.size() / 2);
  Bytes truncated_png = PngFile(NoisePicture(400, 300));
  truncated_png.resize(truncated_png.size() / 2);
  struct Case {
    const char* name;
    Bytes file;
    const char* type;
  };
  const Case cases[] = {
      {"150-wide JPEG", JpegFile(NoisePicture(150, 400)), "image/jpeg"},
      {"100-wide PNG", PngFile(NoisePicture(100, 80)), "image/png"},
      {"truncated JPEG", truncated_jpeg, "image/jpeg"},
      {"truncated PNG", truncated_png, "image/png"},
      {"height 0 JPEG (2000x10)", JpegFile(NoisePicture(2000, 10)), "image/jpeg"},
      {"height 0 PNG (1501x10)", PngFile(NoisePicture(1501, 10)), "image/png"},
      {"not a picture", Bytes{'G', 'I', 'F', '8', '9', 'a', 1, 2, 3}, "image/png"},
      {"empty", Bytes{}, "image/jpeg"},
  };
  for (const Case& c : cases) {
    Bytes body = c.file;
    EXPECT_FALSE(ReduceThumbnail(c.type, &body)) << c.name;
    EXPECT_EQ(body, c.file) << c.name;
  }
}

// GIF (perhaps animated) and SVG are never reduced, even when the data would decode.
TEST(ImageReduceTest, OtherTypesUnchanged) {
  const Bytes png = PngFile(QuadrantPicture(300, 200, 3, kCorners));
  for (const char* type : {"image/gif", "image/svg+xml", "text/html", "image/PNG", ""}) {
    Bytes body = png;
    EXPECT_FALSE(ReduceThumbnail(type, &body)) << type;
    EXPECT_EQ(body, png) << type;
  }
}

TEST(ImageReduceTest, PngKeepsAlpha) {
  const Rgba clear = {200, 0, 0, 0};
  const Rgba half = {0, 0, 200, 128};
  Bytes body = PngFile(QuadrantPicture(400, 300, 4, {clear, kGreen, half, kWhite}));
  ASSERT_TRUE(ReduceThumbnail("image/png", &body));
  ASSERT_TRUE(IsPngFile(body));
  const DecodedFile out = DecodeFile(body);
  ASSERT_TRUE(out.ok);
  EXPECT_EQ(out.channels_in_file, 4);
  EXPECT_EQ(out.width, 150);
  EXPECT_EQ(out.height, 112);
  EXPECT_EQ(out.At(5, 5)[3], 0);
  EXPECT_EQ(out.At(140, 5)[3], 255);
  EXPECT_NEAR(out.At(5, 100)[3], 128, 2);
}

// The decoder looks at the data, whatever the type says; the thumbnail is a PNG exactly when
// the picture has transparency. An alpha channel that is opaque everywhere is none.
TEST(ImageReduceTest, FormatFollowsTransparency) {
  const Rgba clear = {200, 0, 0, 0};
  struct Case {
    const char* name;
    Bytes file;
    const char* type;
    bool png;
  };
  const Case cases[] = {
      {"opaque RGBA PNG named jpg", PngFile(QuadrantPicture(600, 400, 4, kCorners)), "image/jpeg",
       false},
      {"JPEG named png", JpegFile(QuadrantPicture(600, 400, 3, kCorners)), "image/png", false},
      {"transparent PNG named jpg",
       PngFile(QuadrantPicture(600, 400, 4, {clear, kGreen, kBlue, kWhite})), "image/jpeg", true},
  };
  for (const Case& c : cases) {
    Bytes body = c.file;
    std::string_view reduced_type;
    ASSERT_TRUE(ReduceImage(c.type, kThumbnail, &body, &reduced_type)) << c.name;
    EXPECT_EQ(IsPngFile(body), c.png) << c.name;
    EXPECT_EQ(IsJpegFile(body), !c.png) << c.name;
    EXPECT_EQ(reduced_type, c.png ? "image/png" : "image/jpeg") << c.name;
    const DecodedFile out = DecodeFile(body);
    ASSERT_TRUE(out.ok);
    EXPECT_EQ(out.width, 150);
    EXPECT_EQ(out.height, 100);
    EXPECT_TRUE(NearColour(out.At(146, 3), kGreen)) << c.name;
    EXPECT_TRUE(NearColour(out.At(3, 96), kBlue)) << c.name;
  }
}

// BMP and WebP are reduced like the others: the size, the type by transparency, and the
// picture the right way up (a BMP stores its rows bottom up).
TEST(ImageReduceTest, BmpAndWebpReduced) {
  const Rgba half = {0, 0, 200, 128};
  const Picture opaque = QuadrantPicture(640, 480, 3, kCorners);
  const Picture transparent = QuadrantPicture(640, 480, 4, {kRed, kGreen, half, kWhite});
  struct Case {
    const char* name;
    Bytes file;
    const char* type;
    bool png;
  };
  const Case cases[] = {
      {"24-bit BMP", BmpFile(opaque), "image/bmp", false},
      {"32-bit BMP with alpha", BmpFile(transparent), "image/bmp", true},
      {"lossy WebP", WebpFile(opaque, false), "image/webp", false},
      {"lossless WebP", WebpFile(opaque, true), "image/webp", false},
      {"lossless WebP with alpha", WebpFile(transparent, true), "image/webp", true},
      {"lossy WebP with alpha", WebpFile(transparent, false), "image/webp", true},
  };
  for (const Case& c : cases) {
    Bytes body = c.file;
    std::string_view reduced_type;
    ASSERT_TRUE(ReduceImage(c.type, kThumbnail, &body, &reduced_type)) << c.name;
    EXPECT_EQ(reduced_type, c.png ? "image/png" : "image/jpeg") << c.name;
    EXPECT_EQ(IsPngFile(body), c.png) << c.name;
    if (std::string_view(c.type) == "image/bmp") {
      EXPECT_LT(body.size(), c.file.size()) << c.name;
    }
    const DecodedFile out = DecodeFile(body);
    ASSERT_TRUE(out.ok) << c.name;
    EXPECT_EQ(out.width, 150) << c.name;
    EXPECT_EQ(out.height, 112) << c.name;
    EXPECT_TRUE(NearColour(out.At(3, 3), kRed)) << c.name;
    EXPECT_TRUE(NearColour(out.At(146, 3), kGreen)) << c.name;
    EXPECT_TRUE(NearColour(out.At(146, 108), kWhite)) << c.name;
    if (c.png) {
      EXPECT_NEAR(out.At(3, 108)[3], 128, 3) << c.name;
    }
  }
}

// A damaged or animated WebP, and a narrow one, are sent as stored.
TEST(ImageReduceTest, WebpSentAsStored) {
  Bytes truncated = WebpFile(NoisePicture(400, 300), false);
  truncated.resize(truncated.size() / 2);
  for (const Bytes& file : {truncated, WebpFile(NoisePicture(120, 90), true)}) {
    Bytes body = file;
    EXPECT_FALSE(ReduceThumbnail("image/webp", &body));
    EXPECT_EQ(body, file);
  }
}

// A screen rendition is a rendition like the thumbnail, at its own width and quality,
// turned upright.
TEST(ImageReduceTest, ScreenRenditionUpright) {
  // Stored 4000 x 3000 lying on its side (orientation 6): shown 3000 wide and 4000 high.
  const Bytes file = WithExifOrientation(JpegFile(QuadrantPicture(4000, 3000, 3, kCorners)), 6);
  Bytes body = file;
  std::string_view reduced_type;
  ASSERT_TRUE(ReduceImage("image/jpeg", {1080, 82}, &body, &reduced_type));
  EXPECT_EQ(reduced_type, "image/jpeg");
  const DecodedFile out = DecodeFile(body);
  ASSERT_TRUE(out.ok);
  EXPECT_EQ(out.width, 1080);
  EXPECT_EQ(out.height, 1440);
  // Turned a quarter clockwise: the stored bottom-left (blue) is shown top-left.
  EXPECT_TRUE(NearColour(out.At(10, 10), kBlue));
  EXPECT_TRUE(NearColour(out.At(1070, 10), kRed));
  // A picture no wider than the rendition is not enlarged.
  Bytes narrow = JpegFile(NoisePicture(1000, 700));
  EXPECT_FALSE(ReduceImage("image/jpeg", {1080, 82}, &narrow, &reduced_type));
}

TEST(ImageReduceTest, GreyJpeg) {
  Picture grey{320, 200, 1, std::vector<uint8_t>(320 * 200, 90)};
  Bytes body = JpegFile(grey);
  ASSERT_TRUE(ReduceThumbnail("image/jpeg", &body));
  const DecodedFile out = DecodeFile(body);
  ASSERT_TRUE(out.ok);
  EXPECT_EQ(out.width, 150);
  EXPECT_EQ(out.height, 93);
  EXPECT_TRUE(NearColour(out.At(70, 40), {90, 90, 90, 255}, 4));
}

// TurboJPEG gives no RGB for CMYK files; they are decoded by stb_image, turned upright too.
TEST(ImageReduceTest, CmykJpeg) {
  struct Case {
    int orientation;
    std::array<Rgba, 4> stored;  // quadrants, so that the picture shows as kCorners
  };
  const Case cases[] = {{1, kCorners}, {6, {kGreen, kWhite, kRed, kBlue}}};
  for (const Case& c : cases) {
    const bool sideways = c.orientation >= 5;
    const Picture picture =
        QuadrantPicture(sideways ? 300 : 400, sideways ? 400 : 300, 3, c.stored);
    Bytes body = WithExifOrientation(CmykJpegFile(picture), c.orientation);
    ASSERT_TRUE(ReduceThumbnail("image/jpeg", &body)) << c.orientation;
    const DecodedFile out = DecodeFile(body);
    ASSERT_TRUE(out.ok);
    EXPECT_EQ(out.width, 150);
    EXPECT_EQ(out.height, 112);
    EXPECT_TRUE(NearColour(out.At(3, 3), kRed)) << c.orientation;
    EXPECT_TRUE(NearColour(out.At(146, 3), kGreen)) << c.orientation;
    EXPECT_TRUE(NearColour(out.At(3, 108), kBlue)) << c.orientation;
  }
}

// Pictures with more pixels than the limit are not decoded at all.
TEST(ImageReduceTest, PixelLimit) {
  struct Case {
    int width, height;
    bool reduced;
  };
  static_assert(int64_t{8192} * 8192 == kMaxReducePixels);
  const Case cases[] = {{8192, 8192, true}, {8192, 8193, false}};
  for (const Case& c : cases) {
    Picture grey{c.width, c.height, 1, std::vector<uint8_t>(size_t(c.width) * c.height, 128)};
    const Bytes file = JpegFile(grey);
    Bytes body = file;
    EXPECT_EQ(ReduceThumbnail("image/jpeg", &body), c.reduced) << c.height;
    if (!c.reduced) {
      EXPECT_EQ(body, file);
    }
  }
}

// Pictures decoded whole at full size have a lower limit.
TEST(ImageReduceTest, FullDecodePixelLimit) {
  static_assert(int64_t{4096} * 2048 == kMaxFullDecodePixels);
  for (int height : {2048, 2049}) {
    Picture grey{4096, height, 1, std::vector<uint8_t>(size_t(4096) * height, 128)};
    Picture rgb{4096, height, 3, std::vector<uint8_t>(size_t(4096) * height * 3, 128)};
    for (const Bytes& file : {PngFile(grey), CmykJpegFile(rgb)}) {
      Bytes body = file;
      EXPECT_EQ(ReduceThumbnail(LooksLikeJpeg(file) ? "image/jpeg" : "image/png", &body),
                height == 2048)
          << height;
      if (height > 2048) {
        EXPECT_EQ(body, file);
      }
    }
  }
}

// Pictures of more than 8 bits a channel are decoded through larger buffers: half the bound.
TEST(ImageReduceTest, WideSamplePixelLimit) {
  static_assert(int64_t{2048} * 2048 == kMaxWideSampleDecodePixels);
  const auto append = [](void* context, void* data, int size) {
    static_cast<Bytes*>(context)->insert(static_cast<Bytes*>(context)->end(),
                                         static_cast<uint8_t*>(data),
                                         static_cast<uint8_t*>(data) + size);
  };
  for (int height : {300, 2049}) {
    const int width = height == 300 ? 400 : 2048;
    const std::vector<float> light(size_t(width) * height * 3, 0.5f);
    Bytes file;
    ASSERT_TRUE(stbi_write_hdr_to_func(append, &file, width, height, 3, light.data()));
    Bytes body = file;
    EXPECT_EQ(ReduceThumbnail("image/png", &body), height == 300) << height;
    if (height > 300) {
      EXPECT_EQ(body, file);
    }
  }
}

// A JPEG of several scans is decoded with a buffer for the coefficients of the whole picture,
// whatever the scale: a small progressive file of many pixels would otherwise take hundreds
// of megabytes. Over the bound it is sent as stored.
TEST(ImageReduceTest, WholeCoefficientBound) {
  struct Case {
    const char* name;
    Bytes file;
    uint64_t bytes;
  };
  const Picture rgb = NoisePicture(160, 80);
  const Bytes baseline = JpegFile(rgb);
  Picture grey{161, 80, 1, std::vector<uint8_t>(size_t(161) * 80, 90)};
  const Case cases[] = {
      {"baseline", baseline, 0},
      {"progressive RGB", ProgressiveJpegFile(rgb), 3 * 20 * 10 * 128},
      {"progressive grey", ProgressiveJpegFile(grey), 21 * 10 * 128},
      {"truncated header", Bytes(baseline.begin(), baseline.begin() + 100), 0},
  };
  for (const Case& c : cases) EXPECT_EQ(WholeCoefficientBytes(c.file), c.bytes) << c.name;

  // 4:4:4, 2 bytes a sample: 4096 x 2728 needs 67 043 328 bytes, 4096 x 2736 67 239 936.
  for (int height : {2728, 2736}) {
    Picture flat{4096, height, 3, std::vector<uint8_t>(size_t(4096) * height * 3, 200)};
    const Bytes file = ProgressiveJpegFile(flat);
    Bytes body = file;
    EXPECT_EQ(ReduceThumbnail("image/jpeg", &body), height == 2728) << height;
    if (height > 2728) {
      EXPECT_EQ(body, file);
    }
  }
}

// A JPEG is reduced as a browser shows it: turned upright by its EXIF orientation, and
// 150 pixels wide after turning. The stored picture of each case is painted so that, once
// turned, its top-left quadrant is red, top-right green, bottom-left blue, bottom-right white.
TEST(ImageReduceTest, ExifOrientationUpright) {
  struct Case {
    int orientation;
    // The shown corner (0 top-left, 1 top-right, 2 bottom-left, 3 bottom-right) that each
    // stored corner, in the same order, is shown at.
    std::array<int, 4> shown_at;
  };
  const Case cases[] = {
      {1, {0, 1, 2, 3}}, {2, {1, 0, 3, 2}}, {3, {3, 2, 1, 0}}, {4, {2, 3, 0, 1}},
      {5, {0, 2, 1, 3}}, {6, {1, 3, 0, 2}}, {7, {3, 1, 2, 0}}, {8, {2, 0, 3, 1}},
  };
  for (bool big_endian : {false, true}) {
    for (const Case& c : cases) {
      const bool sideways = c.orientation >= 5;
      std::array<Rgba, 4> stored;
      for (int corner = 0; corner < 4; ++corner) stored[corner] = kCorners[c.shown_at[corner]];
      // Shown as 400x300 whichever way it is stored.
      const Picture picture =
          QuadrantPicture(sideways ? 300 : 400, sideways ? 400 : 300, 3, stored);
      Bytes body = WithExifOrientation(JpegFile(picture), c.orientation, big_endian);
      ASSERT_TRUE(ReduceThumbnail("image/jpeg", &body)) << c.orientation;
      const DecodedFile out = DecodeFile(body);
      ASSERT_TRUE(out.ok);
      EXPECT_EQ(out.width, 150) << c.orientation;
      EXPECT_EQ(out.height, 112) << c.orientation;
      EXPECT_TRUE(NearColour(out.At(3, 3), kRed)) << c.orientation;
      EXPECT_TRUE(NearColour(out.At(146, 3), kGreen)) << c.orientation;
      EXPECT_TRUE(NearColour(out.At(3, 108), kBlue)) << c.orientation;
      EXPECT_TRUE(NearColour(out.At(146, 108), kWhite)) << c.orientation;
    }
  }
}

// The width that must exceed 150 is the width shown.
TEST(ImageReduceTest, ExifOrientationDecidesTheWidth) {
  const Bytes stored_wide = WithExifOrientation(JpegFile(NoisePicture(300, 100)), 6);
  Bytes body = stored_wide;
  EXPECT_FALSE(ReduceThumbnail("image/jpeg", &body));  // shown 100 wide: the browser turns it
  EXPECT_EQ(body, stored_wide);

  body = WithExifOrientation(JpegFile(NoisePicture(100, 300)), 8);
  ASSERT_TRUE(ReduceThumbnail("image/jpeg", &body));
  const DecodedFile out = DecodeFile(body);
  EXPECT_EQ(out.width, 150);
  EXPECT_EQ(out.height, 50);
}

}  // namespace
