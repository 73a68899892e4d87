// HEIF benchmark, driven by bench/heif.sh:
//   heif_bench generate FILE
//     writes a 12-megapixel photo (4032 x 3024, a phone's size; noise over a gradient) as a
//     JPEG of quality 95, which the script encodes as HEIC and AVIF;
//   heif_bench thumbnail FILE OUT | heif_bench rendition FILE OUT
//     reads FILE, makes its thumbnail or its full-size JPEG rendition (ReduceImage at kThumbnail,
//     kFullSizeJpeg) as a HEIF picture and writes it to OUT. The script times the process as it
//     times the anchors. Prints the peak memory the work added to the process: the resident size at
//     its end beyond the size before decoding, in KiB.
#include <sys/resource.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include "server/pictures/image_reduce.h"
#include "server/pictures/testing/test_pictures.h"

namespace {

long PeakKiB() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return usage.ru_maxrss;
}

std::vector<uint8_t> ReadFile(const char* path) {
  std::ifstream in(path, std::ios::binary | std::ios::ate);
  std::vector<uint8_t> bytes(static_cast<size_t>(std::max<std::streamoff>(in.tellg(), 0)));
  in.seekg(0);
  in.read(reinterpret_cast<char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  return bytes;
}

bool WriteFile(const char* path, const std::vector<uint8_t>& bytes) {
  std::ofstream out(path, std::ios::binary);
  out.write(reinterpret_cast<const char*>(bytes.data()),
            static_cast<std::streamsize>(bytes.size()));
  return out.good();
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 3 && std::strcmp(argv[1], "generate") == 0) {
    return WriteFile(argv[2], JpegFile(NoisePicture(4032, 3024))) ? 0 : 1;
  }
  const bool thumbnail = argc == 4 && std::strcmp(argv[1], "thumbnail") == 0;
  if (!thumbnail && !(argc == 4 && std::strcmp(argv[1], "rendition") == 0)) {
    std::fprintf(stderr, "usage: heif_bench generate FILE | thumbnail|rendition FILE OUT\n");
    return 2;
  }
  std::vector<uint8_t> bytes = ReadFile(argv[2]);
  const long before = PeakKiB();
  std::string_view made_type;
  const bool made =
      ReduceImage("image/heic", thumbnail ? kThumbnail : kFullSizeJpeg, &bytes, &made_type);
  if (!made || !WriteFile(argv[3], bytes)) {
    std::fprintf(stderr, "%s: not made\n", argv[2]);
    return 1;
  }
  std::printf("%ld\n", PeakKiB() - before);
  return 0;
}
