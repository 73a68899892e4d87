#include "server/pages/page_numbers.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

TEST(ShownPageNumbersTest, EveryPageOfSmallGalleriesAWindowOfLargeOnes) {
  struct Case {
    int64_t pages;
    int64_t requested;
    std::vector<int64_t> shown;
  } cases[] = {
      {0, 0, {}},
      {3, 7, {0, 1, 2}},
      {30, 5, {0,  1,  2,  3,  4,  5,  6,  7,  8,  9,  10, 11, 12, 13, 14,
               15, 16, 17, 18, 19, 20, 21, 22, 23, 24, 25, 26, 27, 28, 29}},
      {31, 0, {0, 1, 2, 3, 10, 30}},
      {31, 15, {0, 5, 12, 13, 14, 15, 16, 17, 18, 25, 30}},
      {10000, 5000,
       {0, 4000, 4900, 4990, 4997, 4998, 4999, 5000, 5001, 5002, 5003, 5010, 5100, 6000, 9999}},
      // Out of range: around the page shown, the nearest one.
      {10000, 99999, {0, 8999, 9899, 9989, 9996, 9997, 9998, 9999}},
      {10000, -5, {0, 1, 2, 3, 10, 100, 1000, 9999}},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(ShownPageNumbers(c.pages, c.requested), c.shown) << c.pages << " " << c.requested;
  }
}

}  // namespace
