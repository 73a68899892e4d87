#include "server/pictures/jpeg_decoder.h"

#include <gtest/gtest.h>
#include <turbojpeg.h>

#include <functional>
#include <string>

#include "server/pictures/testing/test_pictures.h"

namespace {

using Bytes = std::vector<uint8_t>;

// The pixels TurboJPEG's one-call decode gives at `width` x `height` (it picks the same
// scale), with its warnings taken as failures.
bool OneCallDecode(const Bytes& file, int width, int height, Bytes* pixels) {
  tjhandle handle = tjInitDecompress();
  pixels->assign(size_t(width) * height * 3, 0);
  const bool decoded = tjDecompress2(handle, file.data(), file.size(), pixels->data(), width, 0,
                                     height, TJPF_RGB, TJFLAG_STOPONWARNING) == 0;
  tjDestroy(handle);
  return decoded;
}

// The row-by-row decode gives what the one-call decode gives, byte for byte, and stops at
// the pause point between rows.
TEST(JpegDecoderTest, RowsAsTheOneCallDecodeWithAPauseBetween) {
  struct Case {
    std::string name;
    Bytes file;
    int min_width;
  };
  const Picture photo = NoisePicture(1203, 905);
  const Case cases[] = {
      {"baseline, an eighth", JpegFile(photo), 150},
      {"baseline, a half", JpegFile(photo), 600},
      {"baseline, whole", JpegFile(photo), 1203},
      {"progressive, an eighth", ProgressiveJpegFile(photo), 150},
  };
  for (const Case& c : cases) {
    int pauses = 0;
    const std::function<void()> pause = [&pauses] { ++pauses; };
    SetDecodePausePoint(&pause);
    JpegDecoder decoder;
    Picture out;
    const bool decoded = decoder.DecodeScaled(c.file, c.min_width, 1, &out);
    SetDecodePausePoint(nullptr);
    ASSERT_TRUE(decoded) << c.name;
    EXPECT_GE(out.width, c.min_width) << c.name;
    EXPECT_EQ(pauses, out.height) << c.name;
    Bytes expected;
    ASSERT_TRUE(OneCallDecode(c.file, out.width, out.height, &expected)) << c.name;
    EXPECT_EQ(out.pixels, expected) << c.name;
  }
}

}  // namespace
