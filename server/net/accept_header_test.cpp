#include "server/net/accept_header.h"

#include <gtest/gtest.h>

namespace {

// What browsers send for pictures (an <img>), and what a few clients write by hand.
constexpr char kChromium[] = "image/avif,image/webp,image/apng,image/svg+xml,image/*,*/*;q=0.8";
constexpr char kSafari[] =
    "image/webp,image/avif,image/jxl,image/heic,image/heic-sequence,video/*;q=0.8,image/png,"
    "image/svg+xml,image/*;q=0.8,*/*;q=0.5";
constexpr char kFirefox[] = "image/avif,image/webp,*/*";

TEST(AcceptHeaderTest, OnlyANamedTypeCounts) {
  const struct {
    const char* accept;
    const char* type;
    bool named;
  } cases[] = {
      {kChromium, "image/avif", true},
      {kChromium, "image/heic", false},  // image/* and */* do not count
      {kSafari, "image/heic", true},
      {kSafari, "image/heif", false},
      {kSafari, "image/avif", true},
      {kFirefox, "image/avif", true},
      {kFirefox, "image/heic", false},
      {"", "image/heic", false},
      {"*/*", "image/avif", false},
      {"IMAGE/HEIC", "image/heic", true},
      {" image/heic ; q=0.5 ", "image/heic", true},
      {"image/heic;q=0", "image/heic", false},
      {"image/heic; q=0.000, */*", "image/heic", false},
      {"image/heic;level=1;q=0", "image/heic", false},
      {"image/heic;q=0.01", "image/heic", true},
      {"image/heic-sequence", "image/heic", false},
      {"image/heic,,", "image/heic", true},
      {";;,", "image/heic", false},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(AcceptNamesType(c.accept, c.type), c.named) << c.accept << " / " << c.type;
  }
}

}  // namespace
