#include "server/pictures/testing/heif_files.h"

#include <algorithm>
#include <cstdlib>
#include <string>

#include "platform/testing/test_folder.h"
#include "server/pictures/testing/test_pictures.h"

namespace {

std::string Text(const std::vector<uint8_t>& bytes) {
  return std::string(bytes.begin(), bytes.end());
}

// Runs `command` in `folder` and returns the file `output` it wrote; empty on failure.
std::vector<uint8_t> Run(const TestFolder& folder, const std::string& command,
                         const std::string& output) {
  const std::string line = "cd '" + folder.Root() + "' && " + command + " >/dev/null 2>&1";
  if (std::system(line.c_str()) != 0) return {};
  const std::string bytes = folder.Read(output);
  return std::vector<uint8_t>(bytes.begin(), bytes.end());
}

}  // namespace

std::vector<uint8_t> HeicFile(const Picture& picture, HeicOptions options) {
  TestFolder folder;
  std::vector<uint8_t> jpeg = JpegFile(picture);
  // heif-enc keeps the Exif block of its JPEG input as it is, Orientation included.
  if (options.exif_orientation != 0) jpeg = WithExifOrientation(jpeg, options.exif_orientation);
  folder.Write("in.jpg", Text(jpeg));
  std::string command = "heif-enc -q 90";
  if (options.thumbnail > 0) command += " -t " + std::to_string(options.thumbnail);
  return Run(folder, command + " in.jpg -o out.heic", "out.heic");
}

std::vector<uint8_t> AvifFile(const Picture& picture, AvifOptions options) {
  TestFolder folder;
  folder.Write("in.png", Text(PngFile(picture)));
  std::string command = "avifenc -s 10 -j 1 -d " + std::to_string(options.bit_depth);
  if (options.quarter_turns != 0) command += " --irot " + std::to_string(options.quarter_turns);
  return Run(folder, command + " in.png out.avif", "out.avif");
}

std::vector<uint8_t> WithDeclaredSize(std::vector<uint8_t> heif, uint32_t size) {
  static constexpr char kIspe[] = {'i', 's', 'p', 'e'};
  for (size_t pos = 0; pos + 16 <= heif.size(); ++pos) {
    if (std::equal(kIspe, kIspe + 4, heif.begin() + pos)) {
      // After the type: version and flags (4 bytes), then width and height, big-endian.
      for (size_t field = pos + 8; field < pos + 16; field += 4) {
        for (int i = 0; i < 4; ++i) heif[field + i] = static_cast<uint8_t>(size >> (24 - 8 * i));
      }
    }
  }
  return heif;
}
