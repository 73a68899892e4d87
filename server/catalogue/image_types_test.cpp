#include "server/catalogue/image_types.h"

#include <gtest/gtest.h>

TEST(ImageContentTypeTest, ExtensionsInAnyCase) {
  struct Case {
    const char* path;
    const char* type;
  } cases[] = {
      {"/p/a.jpg", "image/jpeg"},
      {"/p/DSC_0001.JPG", "image/jpeg"},
      {"/p/a.Jpeg", "image/jpeg"},
      {"/p/a.JPEG", "image/jpeg"},
      {"/p/a.GIF", "image/gif"},
      {"/p/a.Png", "image/png"},
      {"/p/a.APNG", "image/png"},
      {"/p/a.bMp", "image/bmp"},
      {"/p/a.SVG", "image/svg+xml"},
      {"/p/a.svgZ", "image/svg+xml"},
      {"/p/a.WebP", "image/webp"},
      {"/p/IMG_0001.HEIC", "image/heic"},
      {"/p/IMG_0002.heic", "image/heic"},
      {"/p/a.Heif", "image/heif"},
      {"/p/DSCF0001.HIF", "image/heif"},
      {"/p/PXL_0003.avif", "image/avif"},
      {"/p/a.AVIF_large", "image/avif"},
      {"/p/a.heic:orig", "image/heic"},
      {"/p/a.zip|/dir/b.HEIC-1", "image/heic"},
      {"/p/a.heics", "text/html"},
      {"/p/a.avifs", "text/html"},
      {"/p/a.hei", "text/html"},
      {"/p/a.JPG_large", "image/jpeg"},
      {"/p/a.PNG:orig", "image/png"},
      {"/p/a.Jpg-1", "image/jpeg"},
      {"/p/a.zip|/dir/b.JPG", "image/jpeg"},
      {"/p/a.TXT", "text/html"},
      {"/p/a.JPGX", "text/html"},
      {"/p/a.JP", "text/html"},
      {"/p/README", "text/html"},
      {"/p/a.jpg.TXT", "text/html"},
      {"/p.JPG/README", "text/html"},
      {"/p/a.\xEF\xBC\xAA\xEF\xBC\xB0\xEF\xBC\xA7", "text/html"},  // full-width JPG
  };
  for (const Case& c : cases) EXPECT_EQ(ImageContentType(c.path), c.type) << c.path;
}
