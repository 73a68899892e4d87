#include "server/pictures/picture_orientation.h"

#include <gtest/gtest.h>

namespace {

// The stored picture 1 2 3 / 4 5 6 (one channel) as shown for each orientation.
TEST(PictureOrientationTest, EveryOrientation) {
  struct Case {
    int orientation;
    int width, height;
    std::vector<uint8_t> shown;
  };
  const Case cases[] = {
      {0, 3, 2, {1, 2, 3, 4, 5, 6}},  // not a valid orientation: as stored
      {1, 3, 2, {1, 2, 3, 4, 5, 6}},  //
      {2, 3, 2, {3, 2, 1, 6, 5, 4}},  // mirrored
      {3, 3, 2, {6, 5, 4, 3, 2, 1}},  // half round
      {4, 3, 2, {4, 5, 6, 1, 2, 3}},  // flipped
      {5, 2, 3, {1, 4, 2, 5, 3, 6}},  // transposed
      {6, 2, 3, {4, 1, 5, 2, 6, 3}},  // quarter clockwise
      {7, 2, 3, {6, 3, 5, 2, 4, 1}},  // other diagonal
      {8, 2, 3, {3, 6, 2, 5, 1, 4}},  // quarter anticlockwise
      {9, 3, 2, {1, 2, 3, 4, 5, 6}},
  };
  for (const Case& c : cases) {
    Picture picture{3, 2, 1, {1, 2, 3, 4, 5, 6}};
    OrientPicture(c.orientation, &picture);
    EXPECT_EQ(picture.width, c.width) << c.orientation;
    EXPECT_EQ(picture.height, c.height) << c.orientation;
    EXPECT_EQ(picture.pixels, c.shown) << c.orientation;
  }
}

TEST(PictureOrientationTest, KeepsWholePixels) {
  Picture picture{2, 1, 3, {1, 2, 3, 4, 5, 6}};
  OrientPicture(6, &picture);
  EXPECT_EQ(picture.width, 1);
  EXPECT_EQ(picture.height, 2);
  EXPECT_EQ(picture.pixels, (std::vector<uint8_t>{1, 2, 3, 4, 5, 6}));
  OrientPicture(2, &picture);
  EXPECT_EQ(picture.pixels, (std::vector<uint8_t>{1, 2, 3, 4, 5, 6}));
  OrientPicture(3, &picture);
  EXPECT_EQ(picture.pixels, (std::vector<uint8_t>{4, 5, 6, 1, 2, 3}));
}

}  // namespace
