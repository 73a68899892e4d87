// Writes the browser tests' gallery of phone pictures: `make_heif_gallery FOLDER` makes
// IMG_0001.HEIC (stored sideways with an EXIF orientation of 6, as a phone held upright
// writes it) and PXL_0003.avif (stored sideways with a container rotation), both showing
// 400 x 300 upright: red, green / blue, white quadrants.
#include <cstdio>
#include <filesystem>
#include <fstream>

#include "server/pictures/picture_orientation.h"
#include "server/pictures/testing/heif_files.h"
#include "server/pictures/testing/test_pictures.h"

namespace {

bool Write(const std::filesystem::path& path, const std::vector<uint8_t>& bytes) {
  if (bytes.empty()) return false;
  std::ofstream(path, std::ios::binary)
      .write(reinterpret_cast<const char*>(bytes.data()),
             static_cast<std::streamsize>(bytes.size()));
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: make_heif_gallery FOLDER\n");
    return 2;
  }
  const std::filesystem::path folder = argv[1];
  std::filesystem::create_directories(folder);
  const Picture upright = QuadrantPicture(
      400, 300, 3,
      {Rgba{230, 20, 20, 255}, {20, 200, 20, 255}, {20, 20, 230, 255}, {250, 250, 250, 255}});
  // Shown turned a quarter clockwise (EXIF 6), so stored turned a quarter anticlockwise.
  Picture for_exif = upright;
  OrientPicture(8, &for_exif);
  // The container turns it a quarter anticlockwise (irot 1), so stored turned clockwise.
  Picture for_irot = upright;
  OrientPicture(6, &for_irot);
  if (!Write(folder / "IMG_0001.HEIC", HeicFile(for_exif, {.exif_orientation = 6})) ||
      !Write(folder / "PXL_0003.avif", AvifFile(for_irot, {.quarter_turns = 1}))) {
    std::fprintf(stderr, "heif-enc or avifenc failed\n");
    return 1;
  }
  return 0;
}
