#include "server/pictures/jpeg_decoder.h"

#include <turbojpeg.h>

#include <algorithm>
#include <vector>

#include "server/pictures/jpeg_segments.h"

namespace {

constexpr int kRgbChannels = 3;
constexpr int kBlockSize = 8;
constexpr uint64_t kBytesPerBlock = kBlockSize * kBlockSize * 2;

struct FrameComponent {
  int horizontal = 0;  // sampling factors
  int vertical = 0;
};

struct Frame {
  bool progressive = false;
  int width = 0;
  int height = 0;
  std::vector<FrameComponent> components;
};

// Start-of-frame markers: 0xC0-0xCF but for DHT (0xC4), JPG (0xC8) and DAC (0xCC).
bool IsStartOfFrame(uint8_t marker) {
  return marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 && marker != 0xCC;
}

bool IsProgressiveFrame(uint8_t marker) {
  return marker == 0xC2 || marker == 0xC6 || marker == 0xCA || marker == 0xCE;
}

bool ParseFrame(uint8_t marker, std::span<const uint8_t> body, Frame* frame) {
  if (body.size() < 6) return false;
  frame->progressive = IsProgressiveFrame(marker);
  frame->height = body[1] << 8 | body[2];
  frame->width = body[3] << 8 | body[4];
  const size_t count = body[5];
  if (body.size() < 6 + 3 * count) return false;
  frame->components.clear();
  for (size_t i = 0; i < count; ++i) {
    const uint8_t factors = body[6 + 3 * i + 1];
    frame->components.push_back({factors >> 4, factors & 0x0F});
  }
  return true;
}

uint64_t DivideUp(uint64_t a, uint64_t b) {
  return (a + b - 1) / b;
}

// The smallest scaling factor not above 1 whose scaled size still covers the minimum. Scaling
// factors are exact fractions, so they are compared by cross-multiplying.
tjscalingfactor SmallestCoveringFactor(int width, int height, int min_width, int min_height) {
  tjscalingfactor best = {1, 1};
  int count = 0;
  const tjscalingfactor* factors = tjGetScalingFactors(&count);
  for (int i = 0; factors != nullptr && i < count; ++i) {
    const tjscalingfactor f = factors[i];
    if (f.num > f.denom || TJSCALED(width, f) < min_width || TJSCALED(height, f) < min_height) {
      continue;
    }
    if (f.num * best.denom < best.num * f.denom) best = f;
  }
  return best;
}

}  // namespace

uint64_t WholeCoefficientBytes(std::span<const uint8_t> data) {
  Frame frame;
  bool have_frame = false, several_scans = false;
  ForEachJpegSegment(data, [&](uint8_t marker, std::span<const uint8_t> body) {
    if (IsStartOfFrame(marker)) {
      have_frame = ParseFrame(marker, body, &frame);
      return have_frame;
    }
    if (marker == kJpegStartOfScan && have_frame) {
      several_scans = frame.progressive || body.empty() || body[0] < frame.components.size();
    }
    return true;
  });
  if (!have_frame || !several_scans) return 0;
  int max_horizontal = 1, max_vertical = 1;
  for (const FrameComponent& c : frame.components) {
    max_horizontal = std::max(max_horizontal, c.horizontal);
    max_vertical = std::max(max_vertical, c.vertical);
  }
  uint64_t blocks = 0;
  for (const FrameComponent& c : frame.components) {
    const uint64_t samples_wide = DivideUp(uint64_t(frame.width) * c.horizontal, max_horizontal);
    const uint64_t samples_high = DivideUp(uint64_t(frame.height) * c.vertical, max_vertical);
    blocks += DivideUp(samples_wide, kBlockSize) * DivideUp(samples_high, kBlockSize);
  }
  return blocks * kBytesPerBlock;
}

bool LooksLikeJpeg(std::span<const uint8_t> data) {
  return data.size() >= 3 && data[0] == 0xFF && data[1] == 0xD8 && data[2] == 0xFF;
}

JpegDecoder::JpegDecoder() : handle_(tjInitDecompress()) {}

JpegDecoder::~JpegDecoder() {
  if (handle_ != nullptr) tjDestroy(handle_);
}

bool JpegDecoder::ReadHeader(std::span<const uint8_t> data, int* width, int* height, bool* cmyk) {
  int subsampling = 0, colorspace = 0;
  if (handle_ == nullptr || tjDecompressHeader3(handle_, data.data(), data.size(), width, height,
                                                &subsampling, &colorspace) != 0) {
    return false;
  }
  *cmyk = colorspace == TJCS_CMYK || colorspace == TJCS_YCCK;
  return *width > 0 && *height > 0;
}

bool JpegDecoder::DecodeScaled(std::span<const uint8_t> data, int min_width, int min_height,
                               Picture* out) {
  int width = 0, height = 0;
  bool cmyk = false;
  if (!ReadHeader(data, &width, &height, &cmyk) || cmyk) return false;
  const tjscalingfactor factor = SmallestCoveringFactor(width, height, min_width, min_height);
  Picture picture;
  picture.width = TJSCALED(width, factor);
  picture.height = TJSCALED(height, factor);
  picture.channels = kRgbChannels;
  picture.pixels.resize(size_t(picture.width) * size_t(picture.height) * kRgbChannels);
  // LIMITSCANS refuses progressive files with an absurd number of scans, which would
  // otherwise take minutes to decode.
  if (tjDecompress2(handle_, data.data(), data.size(), picture.pixels.data(), picture.width, 0,
                    picture.height, TJPF_RGB, TJFLAG_STOPONWARNING | TJFLAG_LIMITSCANS) != 0) {
    return false;
  }
  *out = std::move(picture);
  return true;
}
