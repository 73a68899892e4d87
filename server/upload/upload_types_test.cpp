#include "server/upload/upload_types.h"

#include <gtest/gtest.h>

#include <string>

namespace {

TEST(UploadTypesTest, ExtensionComesFromTheExactType) {
  struct Case {
    const char* type;
    bool zip_allowed;
    const char* extension;  // "" when refused
  } cases[] = {
      {"image/jpeg", false, "jpg"},     {"image/gif", false, "gif"},
      {"image/png", false, "png"},      {"image/bmp", false, "bmp"},
      {"image/heic", false, "heic"},    {"image/heif", false, "heif"},
      {"image/avif", false, "avif"},    {"image/HEIC", false, ""},
      {"application/zip", true, "zip"}, {"application/zip", false, ""},
      {"image/jpg", true, ""},          {"image/webp", true, ""},
      {"image/PNG", true, ""},          {"image/jpeg ", true, ""},
      {"text/plain", true, ""},         {"", true, ""},
  };
  for (const Case& c : cases) {
    const UploadType* type = FindUploadType(c.type, c.zip_allowed);
    EXPECT_EQ(type == nullptr ? "" : type->extension, c.extension) << c.type;
  }
}

// A text file named fake.jpg and sent as image/jpeg was saved and showed as a broken
// thumbnail: the first bytes must be those of the type.
TEST(UploadTypesTest, TheFirstBytesMustBeThoseOfTheType) {
  struct Case {
    const char* type;
    std::string head;
    bool matches;
  } cases[] = {
      {"image/jpeg", "\xFF\xD8\xFF\xE0\x00\x10JFIF", true},
      {"image/jpeg", "\xFF\xD8", false},  // cut short
      {"image/jpeg", "hello, a text", false},
      {"image/jpeg", "\x89PNG\r\n\x1A\n", false},  // a PNG sent as JPEG
      {"image/gif", "GIF89a\x01\x00", true},
      {"image/gif", "GIF87a", true},
      {"image/gif", "GIF88a", false},
      {"image/png", "\x89PNG\r\n\x1A\n\x00\x00", true},
      {"image/png", "\x89PNG\r\n", false},
      {"image/bmp", "BM\x36\x00", true},
      {"image/bmp", "MB", false},
      {"application/zip", std::string("PK\x03\x04\x14\x00", 6), true},
      {"application/zip", std::string("PK\x05\x06\x00\x00", 6), true},  // an empty archive
      {"application/zip", "PKzip", false},
      {"image/heic",
       std::string("\0\0\0\x18"
                   "ftypheic\0\0\0\0mif1heic",
                   24),
       true},
      {"image/heif",
       std::string("\0\0\0\x1C"
                   "ftypmif1\0\0\0\0mif1heicmiaf",
                   28),
       true},
      // The family's brand only among the compatible ones.
      {"image/avif",
       std::string("\0\0\0\x1C"
                   "ftypmiaf\0\0\0\0miafMA1Bavif",
                   28),
       true},
      {"image/avif",
       std::string("\0\0\0\x18"
                   "ftypisom\0\0\0\0isomavc1",
                   24),
       false},  // a video
      {"image/heic", "ftypheic", false},
      {"image/jpeg", "", false},
  };
  for (const Case& c : cases) {
    const UploadType* type = FindUploadType(c.type, true);
    ASSERT_NE(type, nullptr) << c.type;
    EXPECT_LE(c.head.size(), kUploadHeadBytes);
    EXPECT_EQ(type->head_matches(c.head), c.matches) << c.type << " " << c.head;
  }
}

}  // namespace
