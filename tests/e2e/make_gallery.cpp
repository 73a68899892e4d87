// Writes a test gallery for the browser tests: `make_gallery FOLDER COUNT [WIDTH HEIGHT]` makes
// COUNT JPEG pictures of 320x240 (or WIDTH x HEIGHT), each a different colour with a bar whose
// position gives its number, named photo0000.jpg, photo0001.jpg, ..., modified an hour apart,
// older numbers first.
#include <turbojpeg.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace {

// The size of every picture, 320 x 240 unless the command line says otherwise.
int picture_width = 320;
int picture_height = 240;

std::vector<unsigned char> Picture(int index, int count) {
  std::vector<unsigned char> rgb(picture_width * picture_height * 3);
  int hue = index * 360 / count;
  int r = hue < 120 ? 255 - hue * 2 : (hue < 240 ? 20 : (hue - 240) * 2);
  int g = hue < 120 ? hue * 2 : (hue < 240 ? 255 - (hue - 120) * 2 : 20);
  int b = hue < 120 ? 20 : (hue < 240 ? (hue - 120) * 2 : 255 - (hue - 240) * 2);
  int bar = index * picture_width / count;
  const int bar_width = picture_width / 50 > 6 ? picture_width / 50 : 6;
  for (int y = 0; y < picture_height; ++y) {
    for (int x = 0; x < picture_width; ++x) {
      unsigned char* p = &rgb[(size_t(y) * picture_width + x) * 3];
      bool on_bar = y > picture_height - picture_height / 8 && x >= bar && x < bar + bar_width;
      p[0] = on_bar ? 255 : static_cast<unsigned char>(r);
      p[1] = on_bar ? 255 : static_cast<unsigned char>(g);
      p[2] = on_bar ? 255 : static_cast<unsigned char>(b);
    }
  }
  return rgb;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3 && argc != 5) {
    std::fprintf(stderr, "usage: make_gallery FOLDER COUNT [WIDTH HEIGHT]\n");
    return 2;
  }
  if (argc == 5) {
    picture_width = std::atoi(argv[3]);
    picture_height = std::atoi(argv[4]);
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
    if (tjCompress2(encoder, rgb.data(), picture_width, 0, picture_height, TJPF_RGB, &jpeg, &size,
                    TJSAMP_420, 85, 0) != 0) {
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
