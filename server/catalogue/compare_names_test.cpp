#include "server/catalogue/compare_names.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

namespace {

std::vector<std::string> Sorted(std::vector<std::string> paths, bool logical) {
  std::stable_sort(paths.begin(), paths.end(), [&](const std::string& a, const std::string& b) {
    return CompareNames(a, b, logical);
  });
  return paths;
}

TEST(CompareNamesTest, DigitRunsByValueOnlyWhenLogical) {
  const std::vector<std::string> scan = {"/p/a10.jpg", "/p/a2.jpg", "/p/a1.jpg"};
  EXPECT_EQ(Sorted(scan, true), (std::vector<std::string>{"/p/a1.jpg", "/p/a2.jpg", "/p/a10.jpg"}));
  EXPECT_EQ(Sorted(scan, false),
            (std::vector<std::string>{"/p/a1.jpg", "/p/a10.jpg", "/p/a2.jpg"}));
}

TEST(CompareNamesTest, FileOfAFolderBeforeItsSubfolders) {
  for (bool logical : {false, true}) {
    EXPECT_TRUE(CompareNames("/p/z.jpg", "/p/a/b.jpg", logical));
    EXPECT_FALSE(CompareNames("/p/a/b.jpg", "/p/z.jpg", logical));
    // A member of an archive in /p is below /p as well.
    EXPECT_TRUE(CompareNames("/p/z.jpg", "/p/a.zip|/b.jpg", logical));
    // Not the same folder: plain comparison decides.
    EXPECT_TRUE(CompareNames("/o/x/y.jpg", "/p/z.jpg", logical));
  }
}

TEST(CompareNamesTest, CaseSensitiveOnlyWithoutLogical) {
  EXPECT_TRUE(CompareNames("/p/B.jpg", "/p/a.jpg", false));  // 'B' < 'a' as bytes
  EXPECT_TRUE(CompareNames("/p/a.jpg", "/p/B.jpg", true));
}

TEST(CompareNamesTest, LogicalComparisonTable) {
  struct Case {
    const char* a;
    const char* b;
    int sign;
  };
  const Case cases[] = {
      {"a", "a", 0},
      {"a", "B", -1},
      {"A", "b", -1},
      {"a2", "a10", -1},
      {"a10", "a2", 1},
      {"a02", "a2", 0},
      {"a2b", "a2c", -1},
      {"x9", "x", 1},
      {"", "", 0},
      {"Ä.jpg", "ä.jpg", 0},
      {"ねこ", "ネコ", -1},
      {"ＡＢ", "ａｂ", 0},
      {"img007", "img10", -1},
      {"99999999999999999999", "100000000000000000000", -1},
  };
  for (const Case& c : cases) {
    const int r = CompareLogical(c.a, c.b);
    EXPECT_EQ((r > 0) - (r < 0), c.sign) << c.a << " vs " << c.b;
  }
}

TEST(CompareNamesTest, LogicallyEqualPathsStillOrdered) {
  EXPECT_TRUE(CompareNames("/p/A.jpg", "/p/a.jpg", true));
  EXPECT_FALSE(CompareNames("/p/a.jpg", "/p/A.jpg", true));
  EXPECT_FALSE(CompareNames("/p/a.jpg", "/p/a.jpg", true));
}

TEST(CompareNamesTest, InvalidUtf8ComparesWithoutHarm) {
  // Both bytes decode to U+FFFD, so they compare equal logically and by bytes after that.
  EXPECT_EQ(CompareLogical("/p/\xff.jpg", "/p/\xfe.jpg"), 0);
  EXPECT_TRUE(CompareNames("/p/\xfe.jpg", "/p/\xff.jpg", true));
  // A sequence cut off at the end decodes as U+FFFD, which sorts after U+00E4.
  EXPECT_EQ(CompareLogical("/p/\xe3\x82", "/p/\xe3\x82"), 0);
  EXPECT_FALSE(CompareNames("/p/\xc3", "/p/\xc3\xa4", true));
}

}  // namespace
