#include "server/pictures/box_shrink.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <vector>

int BoxShrinkFactor(const PixelView& source, int width, int height, int min_factor) {
  if (width <= 0 || height <= 0 || min_factor <= 0) return 1;
  return std::max(
      1, std::min(source.width / (width * min_factor), source.height / (height * min_factor)));
}

namespace {

// Squares of 4 or more pixels a side are sampled at every other row and column: a quarter of
// the work and half the memory read, and still at least 2 x 2 samples a square.
int SampleStep(int factor) {
  return factor >= 4 ? 2 : 1;
}

// The sums of one row of squares: the sampled pixels of each square (of `Channels`) added up
// into one sum a channel.
template <int Channels>
void SumRows(const PixelView& source, int factor, int first_row, std::vector<uint32_t>* sums) {
  std::fill(sums->begin(), sums->end(), 0);
  const int width = source.width / factor, step = SampleStep(factor);
  for (int dy = 0; dy < factor; dy += step) {
    const uint8_t* row = source.pixels + (size_t(first_row) + dy) * size_t(source.width) * Channels;
    uint32_t* sum = sums->data();
    for (int x = 0; x < width; ++x, sum += Channels) {
      const uint8_t* in = row + size_t(x) * factor * Channels;
      for (int dx = 0; dx < factor; dx += step, in += step * Channels) {
        for (int c = 0; c < Channels; ++c) sum[c] += in[c];
      }
    }
  }
}

}  // namespace

void BoxShrink(const PixelView& source, int factor, Picture* out) {
  const int width = source.width / factor, height = source.height / factor;
  const int channels = source.channels;
  const size_t row = size_t(width) * channels;
  out->width = width;
  out->height = height;
  out->channels = channels;
  out->pixels.resize(row * height);
  std::vector<uint32_t> sums(row);
  const uint32_t samples = uint32_t((factor + SampleStep(factor) - 1) / SampleStep(factor));
  const uint32_t area = samples * samples;
  for (int y = 0; y < height; ++y) {
    if (channels == 3) {
      SumRows<3>(source, factor, y * factor, &sums);
    } else {
      SumRows<4>(source, factor, y * factor, &sums);
    }
    uint8_t* to = out->pixels.data() + size_t(y) * row;
    for (size_t i = 0; i < row; ++i) to[i] = static_cast<uint8_t>((sums[i] + area / 2) / area);
  }
}
