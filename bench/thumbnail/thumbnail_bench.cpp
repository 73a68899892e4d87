// Thumbnail reduction benchmark. Two commands, driven by bench/thumbnail.sh:
//   thumbnail_bench generate DIR COUNT [FIRST]
//     writes COUNT photos of 4000x3000 (noise over a gradient, JPEG quality 90) into DIR,
//     numbered from FIRST (default 0), so several processes can share the work;
//   thumbnail_bench reduce THREADS OUTDIR FILE...
//     reads, reduces with ReduceImage and writes each file's thumbnail into OUTDIR, with
//     THREADS threads taking the next file as they finish. The script times the process, as
//     it times vipsthumbnail.
#include <turbojpeg.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "server/pictures/image_reduce.h"

namespace {

constexpr int kPhotoWidth = 4000;
constexpr int kPhotoHeight = 3000;
constexpr int kPhotoQuality = 90;

// Noise over a gradient compresses about as well as a photo: a few megabytes at quality 90.
std::vector<uint8_t> Photo(unsigned seed) {
  std::vector<uint8_t> rgb(size_t(kPhotoWidth) * kPhotoHeight * 3);
  std::minstd_rand random(seed);
  size_t i = 0;
  for (int y = 0; y < kPhotoHeight; ++y) {
    for (int x = 0; x < kPhotoWidth; ++x) {
      const int r = x * 200 / kPhotoWidth, g = y * 200 / kPhotoHeight,
                b = (x + y) * 100 / kPhotoHeight;
      const unsigned noise = random();
      rgb[i++] = static_cast<uint8_t>(r + (noise & 31));
      rgb[i++] = static_cast<uint8_t>(g + (noise >> 5 & 31));
      rgb[i++] = static_cast<uint8_t>(b + (noise >> 10 & 31));
    }
  }
  return rgb;
}

int Generate(const std::filesystem::path& dir, int first, int count) {
  tjhandle handle = tjInitCompress();
  for (int n = first; n < first + count; ++n) {
    const std::vector<uint8_t> rgb = Photo(static_cast<unsigned>(n + 1));
    unsigned char* jpeg = nullptr;
    unsigned long size = 0;
    if (tjCompress2(handle, rgb.data(), kPhotoWidth, 0, kPhotoHeight, TJPF_RGB, &jpeg, &size,
                    TJSAMP_420, kPhotoQuality, 0) != 0) {
      std::fprintf(stderr, "cannot encode: %s\n", tjGetErrorStr2(handle));
      return 1;
    }
    char name[32];
    std::snprintf(name, sizeof name, "photo_%03d.jpg", n);
    std::ofstream(dir / name, std::ios::binary).write(reinterpret_cast<char*>(jpeg), size);
    tjFree(jpeg);
  }
  tjDestroy(handle);
  return 0;
}

bool ReadFile(const std::filesystem::path& file, std::vector<uint8_t>* bytes) {
  std::ifstream in(file, std::ios::binary | std::ios::ate);
  if (!in) return false;
  bytes->resize(static_cast<size_t>(in.tellg()));
  in.seekg(0);
  return bool(in.read(reinterpret_cast<char*>(bytes->data()), std::streamsize(bytes->size())));
}

bool ReduceFile(const std::filesystem::path& file, const std::filesystem::path& out_dir) {
  std::vector<uint8_t> body;
  std::string_view reduced_type;
  if (!ReadFile(file, &body) || !ReduceImage("image/jpeg", kThumbnail, &body, &reduced_type)) {
    return false;
  }
  std::ofstream(out_dir / file.filename(), std::ios::binary)
      .write(reinterpret_cast<const char*>(body.data()), std::streamsize(body.size()));
  return true;
}

int Reduce(int threads, const std::filesystem::path& out_dir,
           const std::vector<std::filesystem::path>& files) {
  std::atomic<size_t> next{0};
  std::atomic<int> failures{0};
  std::vector<std::thread> workers;
  for (int t = 0; t < threads; ++t) {
    workers.emplace_back([&] {
      for (size_t i; (i = next++) < files.size();) {
        if (!ReduceFile(files[i], out_dir)) ++failures;
      }
    });
  }
  for (std::thread& worker : workers) worker.join();
  if (failures > 0) {
    std::fprintf(stderr, "%d pictures not reduced\n", failures.load());
    return 1;
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  const std::string command = argc > 1 ? argv[1] : "";
  if (command == "generate" && (argc == 4 || argc == 5)) {
    return Generate(argv[2], argc == 5 ? std::atoi(argv[4]) : 0, std::atoi(argv[3]));
  }
  if (command == "reduce" && argc >= 5) {
    return Reduce(std::atoi(argv[2]), argv[3],
                  std::vector<std::filesystem::path>(argv + 4, argv + argc));
  }
  std::fprintf(stderr,
               "usage: thumbnail_bench generate DIR COUNT [FIRST]\n"
               "       thumbnail_bench reduce THREADS OUTDIR FILE...\n");
  return 2;
}
