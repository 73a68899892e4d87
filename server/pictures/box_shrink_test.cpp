#include "server/pictures/box_shrink.h"

#include <gtest/gtest.h>

namespace {

TEST(BoxShrinkTest, EachPixelIsTheRoundedMeanOfItsSquare) {
  // 5 x 4 grey values as RGB; by 2 the last column is left out.
  const uint8_t grey[] = {0,  10, 200, 201, 9,  //
                          20, 31, 100, 101, 9,  //
                          1,  1,  255, 255, 9,  //
                          1,  2,  255, 254, 9};
  Picture source{5, 4, 3, {}};
  for (uint8_t g : grey) source.pixels.insert(source.pixels.end(), {g, g, g});
  Picture out;
  BoxShrink(ViewOf(source), 2, &out);
  ASSERT_EQ(out.width, 2);
  ASSERT_EQ(out.height, 2);
  const uint8_t expected[] = {15, 151, 1, 255};  // 61/4, 602/4, 5/4, 1019/4
  for (int i = 0; i < 4; ++i) {
    for (int c = 0; c < 3; ++c) EXPECT_EQ(out.pixels[i * 3 + c], expected[i]) << i;
  }
}

TEST(BoxShrinkTest, LargeSquaresAreSampledAtEveryOtherPixel) {
  // One square of 5 x 5: rows and columns 0, 2 and 4 count, 9 samples of 90 and 16 of 0.
  Picture source{5, 5, 3, std::vector<uint8_t>(5 * 5 * 3, 0)};
  for (int y = 0; y < 5; y += 2) {
    for (int x = 0; x < 5; x += 2) {
      for (int c = 0; c < 3; ++c) source.pixels[(y * 5 + x) * 3 + c] = 90;
    }
  }
  Picture out;
  BoxShrink(ViewOf(source), 5, &out);
  ASSERT_EQ(out.pixels.size(), 3u);
  EXPECT_EQ(out.pixels[0], 90);
}

TEST(BoxShrinkTest, FactorKeepsTwiceTheTarget) {
  const struct {
    int width, height, target_width, target_height, factor;
  } cases[] = {
      {4032, 3024, 150, 112, 13}, {400, 300, 150, 112, 1}, {600, 300, 150, 75, 2},
      {3024, 4032, 112, 150, 13}, {1000, 100, 150, 15, 3},
  };
  for (const auto& c : cases) {
    const PixelView view{nullptr, c.width, c.height, 3};
    EXPECT_EQ(BoxShrinkFactor(view, c.target_width, c.target_height, 2), c.factor) << c.width;
  }
}

}  // namespace
