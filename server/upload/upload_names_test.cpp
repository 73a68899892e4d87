#include "server/upload/upload_names.h"

#include <gtest/gtest.h>

#include <string>

namespace {

TEST(UploadNamesTest, ExtensionComesFromTheExactType) {
  struct Case {
    const char* type;
    bool zip_allowed;
    const char* extension;
  } cases[] = {
      {"image/jpeg", false, "jpg"},
      {"image/gif", false, "gif"},
      {"image/png", false, "png"},
      {"image/bmp", false, "bmp"},
      {"application/zip", true, "zip"},
      {"application/zip", false, ""},
      {"image/jpg", true, ""},
      {"image/webp", true, ""},
      {"image/PNG", true, ""},
      {"image/jpeg ", true, ""},
      {"", true, ""},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(UploadExtension(c.type, c.zip_allowed), c.extension) << c.type;
  }
}

TEST(UploadNamesTest, PhonePictureTypesKeepTheirExtensions) {
  struct Case {
    const char* type;
    const char* extension;
  } cases[] = {
      {"image/heic", "heic"}, {"image/heif", "heif"},      {"image/avif", "avif"},
      {"image/HEIC", ""},     {"image/heic-sequence", ""}, {"image/avif-sequence", ""},
  };
  for (const Case& c : cases) EXPECT_EQ(UploadExtension(c.type, false), c.extension) << c.type;
}

TEST(UploadNamesTest, BaseIsTheLastComponentUpToItsLastDot) {
  struct Case {
    std::string sent;
    UploadNameKind kind;
    std::string base;
  } cases[] = {
      {"photo.JPG", UploadNameKind::kNamed, "photo"},
      {"archive.tar.gz", UploadNameKind::kNamed, "archive.tar"},
      {"photo", UploadNameKind::kNamed, ""},
      {".hidden", UploadNameKind::kNamed, ""},
      {"..png", UploadNameKind::kNamed, "."},
      {"../../x.jpg", UploadNameKind::kNamed, "x"},
      {"a/b/c.jpg", UploadNameKind::kNamed, "c"},
      {"..\\..\\x.jpg", UploadNameKind::kNamed, "x"},
      {"C:\\fakepath\\p.png", UploadNameKind::kNamed, "p"},
      {"\xE5\x86\x99\xE7\x9C\x9F.jpg", UploadNameKind::kNamed, "\xE5\x86\x99\xE7\x9C\x9F"},
      {"\xFF\xFE.jpg", UploadNameKind::kNamed, "\xEF\xBF\xBD\xEF\xBF\xBD"},
      {"", UploadNameKind::kUnnamed, ""},
      {".", UploadNameKind::kUnnamed, ""},
      {"..", UploadNameKind::kUnnamed, ""},
      {"a/..", UploadNameKind::kUnnamed, ""},
      {"folder/", UploadNameKind::kUnnamed, ""},
      {"a\nb.jpg", UploadNameKind::kUnusable, ""},
      {std::string("a\0b.jpg", 7), UploadNameKind::kUnusable, ""},
      {"tab\t.jpg", UploadNameKind::kUnusable, ""},
      {"del\x7F.jpg", UploadNameKind::kUnusable, ""},
      {"c1\xC2\x85.jpg", UploadNameKind::kUnusable, ""},
  };
  for (const Case& c : cases) {
    std::string base;
    EXPECT_EQ(ReadUploadBase(c.sent, &base), c.kind) << c.sent;
    if (c.kind == UploadNameKind::kNamed) {
      EXPECT_EQ(base, c.base) << c.sent;
    }
  }
}

TEST(UploadNamesTest, NumberReplacesACanonicalNumberSuffix) {
  struct Case {
    const char* base;
    int n;
    const char* name;
  } cases[] = {
      {"photo", 0, "photo.png"},
      {"photo", 2, "photo (2).png"},
      {"photo (3)", 0, "photo (3).png"},
      {"photo (3)", 1, "photo (1).png"},
      {"photo (02)", 1, "photo (02) (1).png"},
      {"photo(3)", 1, "photo(3) (1).png"},
      {"photo (0)", 2, "photo (2).png"},
      {"photo (-1)", 1, "photo (1).png"},
      {"photo (+1)", 1, "photo (+1) (1).png"},
      {"photo ()", 1, "photo () (1).png"},
      {"photo (99999999999)", 1, "photo (99999999999) (1).png"},
      {"photo (3) x", 1, "photo (3) x (1).png"},
      {" (3)", 1, " (1).png"},
      {"", 0, ".png"},
      {"", 1, " (1).png"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(NumberedUploadName(c.base, c.n, "png"), c.name) << c.base << " " << c.n;
  }
}

TEST(UploadNamesTest, LongNamesAreShortenedAtACharacterBoundary) {
  EXPECT_EQ(NumberedUploadName(std::string(300, 'a'), 0, "jpg"), std::string(251, 'a') + ".jpg");
  EXPECT_EQ(NumberedUploadName(std::string(300, 'a'), 12, "jpg"),
            std::string(246, 'a') + " (12).jpg");
  std::string kanji;
  for (int i = 0; i < 100; ++i) kanji += "\xE5\x86\x99";  // 300 bytes of three-byte characters
  std::string name = NumberedUploadName(kanji, 0, "jpg");
  EXPECT_EQ(name, kanji.substr(0, 249) + ".jpg");  // 83 whole characters
}

TEST(UploadNamesTest, TemporaryNameCarriesTheNumberInHex) {
  EXPECT_EQ(TemporaryUploadName(0xBEEF, "jpg"), "imgBEEF.TMP.jpg");
  EXPECT_EQ(TemporaryUploadName(0x1, "png"), "img1.TMP.png");
}

}  // namespace
