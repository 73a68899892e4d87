// Writes a test gallery for the browser tests: `make_gallery FOLDER COUNT` makes COUNT JPEG
// pictures of 320x240, each a different colour with a bar whose position gives its number,
// named photo0000.jpg, photo0001.jpg, ..., modified an hour apart, older numbers first.
#include <turbojpeg.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace {

constexpr int kWidth = 320;
constexpr int kHeight = 240;

std::vector<unsigned char> Picture(int index, int count) {
  std::vector<unsigned char> rgb(kWidth * kHeight * 3);
  int hue = index * 360 / count;
  int r = hue < 120 ? 255 - hue * 2 : (hue < 240 ? 20 : (hue - 240) * 2);
  int g = hue < 120 ? hue * 2 : (hue < 240 ? 255 - (hue - 120) * 2 : 20);
  int b = hue < 120 ? 20 : (hue < 240 ? (hue - 120) * 2 : 255 - (hue - 240) * 2);
  int bar = index * kWidth / count;
  for (int y = 0; y < kHeight; ++y) {
    for (int x = 0; x < kWidth; ++x) {
      unsigned char* p = &rgb[(y * kWidth + x) * 3];
      bool on_bar = y > kHeight - 30 && x >= bar && x < bar + 6;
      p[0] = on_bar ? 255 : static_cast<unsigned char>(r);
      p[1] = on_bar ? 255 : static_cast<unsigned char>(g);
      p[2] = on_bar ? 255 : static_cast<unsigned char>(b);
    }
  }
  return rgb;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: make_gallery FOLDER COUNT\n");
    return 2;
  }
  std::filesystem::path folder = argv[1];
  int count = std::atoi(argv[2]);
  std::filesystem::create_directories(folder);
  tjhandle encoder = tjInitCompress();
  auto now = std::filesystem::file_time_type::clock::now();
  for (int i = 0; i < count; ++i) {
    std::vector<unsigned char> rgb = Picture(i, count);
    unsigned char* jpeg = nullptr;
    unsigned long size = 0;
    if (tjCompress2(encoder, rgb.data(), kWidth, 0, kHeight, TJPF_RGB, &jpeg, &size, TJSAMP_420, 85,
                    0) != 0) {
      std::fprintf(stderr, "encoding failed: %s\n", tjGetErrorStr2(encoder));
      return 1;
    }
    char name[32];
    std::snprintf(name, sizeof name, "photo%04d.jpg", i);
    std::ofstream(folder / name, std::ios::binary).write(reinterpret_cast<char*>(jpeg), size);
    tjFree(jpeg);
    // Older pictures first, an hour apart, so the date order is the name order.
    std::filesystem::last_write_time(folder / name, now - std::chrono::hours(count - i));
  }
  tjDestroy(encoder);
  return 0;
}
