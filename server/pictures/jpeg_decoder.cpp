#include "server/pictures/jpeg_decoder.h"

#include <turbojpeg.h>
// jpeglib.h needs the standard types declared first.
#include <csetjmp>
#include <cstdio>
#include <jpeglib.h>

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

thread_local const std::function<void()>* pause_point = nullptr;

// A progressive file with more scans than this is refused: it would take minutes to decode.
constexpr int kMostScans = 500;

struct DecodeErrors {
  jpeg_error_mgr manager;
  std::jmp_buf jump;
};

[[noreturn]] void FailDecode(j_common_ptr info) {
  std::longjmp(reinterpret_cast<DecodeErrors*>(info->err)->jump, 1);
}

// Any warning (such as data that ends too early) fails the decode; nothing is printed.
void OnMessage(j_common_ptr info, int level) {
  if (level < 0) FailDecode(info);
}
void PrintNothing(j_common_ptr) {}

void CountScans(j_common_ptr info) {
  if (reinterpret_cast<j_decompress_ptr>(info)->input_scan_number > kMostScans) FailDecode(info);
}

// Decodes `data` into `pixels` (RGB rows of `width` pixels, `height` of them) at `factor`.
// Only plain data lives in this frame: a failure of the decoder jumps back into it.
bool DecodeRows(std::span<const uint8_t> data, tjscalingfactor factor, int width, int height,
                uint8_t* pixels) {
  jpeg_decompress_struct info;
  DecodeErrors errors;
  info.err = jpeg_std_error(&errors.manager);
  errors.manager.error_exit = FailDecode;
  errors.manager.emit_message = OnMessage;
  errors.manager.output_message = PrintNothing;
  jpeg_progress_mgr progress{};
  progress.progress_monitor = CountScans;
  jpeg_create_decompress(&info);
  if (setjmp(errors.jump) != 0) {
    jpeg_destroy_decompress(&info);
    return false;
  }
  info.progress = &progress;
  jpeg_mem_src(&info, data.data(), static_cast<unsigned long>(data.size()));
  jpeg_read_header(&info, TRUE);
  info.out_color_space = JCS_EXT_RGB;
  info.scale_num = static_cast<unsigned>(factor.num);
  info.scale_denom = static_cast<unsigned>(factor.denom);
  jpeg_start_decompress(&info);
  if (static_cast<int>(info.output_width) != width ||
      static_cast<int>(info.output_height) != height) {
    jpeg_destroy_decompress(&info);
    return false;
  }
  while (info.output_scanline < info.output_height) {
    if (pause_point != nullptr) (*pause_point)();
    JSAMPROW row = pixels + size_t(info.output_scanline) * size_t(width) * kRgbChannels;
    jpeg_read_scanlines(&info, &row, 1);
  }
  jpeg_finish_decompress(&info);
  jpeg_destroy_decompress(&info);
  return true;
}

}  // namespace

void SetDecodePausePoint(const std::function<void()>* point) {
  pause_point = point;
}

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
  if (!DecodeRows(data, factor, picture.width, picture.height, picture.pixels.data())) {
    return false;
  }
  *out = std::move(picture);
  return true;
}
