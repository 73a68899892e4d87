// Decoding throughput of our Inflate beside zlib's inflate on the same streams, in the same
// run: MB/s of output, best of several rounds.
//
//   inflate_bench text FILE      compresses FILE with zlib at level 6 (raw DEFLATE), decodes it
//   inflate_bench photos DIR N   writes N photo-like JPEG images into DIR
//   inflate_bench zip ARCHIVE    decodes every deflated member of ARCHIVE
#include <stb/stb_image_write.h>
#include <zlib.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

#include "server/catalogue/inflate.h"
#include "server/catalogue/little_endian.h"
#include "server/catalogue/zip_archive.h"
#include "server/catalogue/zip_format.h"

namespace {

struct Stream {
  std::vector<uint8_t> compressed;
  size_t size = 0;
};

std::vector<uint8_t> ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::vector<uint8_t>((std::istreambuf_iterator<char>(in)),
                              std::istreambuf_iterator<char>());
}

std::vector<uint8_t> DeflateLevel6(const std::vector<uint8_t>& data) {
  z_stream z{};
  deflateInit2(&z, 6, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY);
  std::vector<uint8_t> out(deflateBound(&z, data.size()));
  z.next_in = const_cast<uint8_t*>(data.data());
  z.avail_in = static_cast<uInt>(data.size());
  z.next_out = out.data();
  z.avail_out = static_cast<uInt>(out.size());
  deflate(&z, Z_FINISH);
  out.resize(z.total_out);
  deflateEnd(&z);
  return out;
}

bool ZlibInflate(const Stream& s, std::vector<uint8_t>* out) {
  out->resize(s.size);
  z_stream z{};
  inflateInit2(&z, -15);
  z.next_in = const_cast<uint8_t*>(s.compressed.data());
  z.avail_in = static_cast<uInt>(s.compressed.size());
  z.next_out = out->data();
  z.avail_out = static_cast<uInt>(out->size());
  int r = inflate(&z, Z_FINISH);
  inflateEnd(&z);
  return r == Z_STREAM_END && z.total_out == s.size;
}

bool OurInflate(const Stream& s, std::vector<uint8_t>* out) {
  return Inflate(s.compressed.data(), s.compressed.size(), s.size, out) == InflateResult::kOk;
}

// Best MB/s over the rounds, decoding every stream once per round.
template <typename Decode>
double Throughput(const std::vector<Stream>& streams, Decode decode, bool* ok) {
  size_t total = 0;
  for (const Stream& s : streams) total += s.size;
  double best = 0;
  std::vector<uint8_t> out;
  for (int round = 0; round < 5; ++round) {
    auto start = std::chrono::steady_clock::now();
    for (const Stream& s : streams) *ok = decode(s, &out) && *ok;
    double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    best = std::max(best, total / 1e6 / seconds);
  }
  return best;
}

int Compare(const char* what, const std::vector<Stream>& streams) {
  size_t in = 0;
  size_t out = 0;
  for (const Stream& s : streams) {
    in += s.compressed.size();
    out += s.size;
  }
  bool ours_ok = true;
  bool zlib_ok = true;
  // Each decoder's result must be the other's.
  for (const Stream& s : streams) {
    std::vector<uint8_t> a;
    std::vector<uint8_t> b;
    if (!OurInflate(s, &a) || !ZlibInflate(s, &b) || a != b) ours_ok = false;
  }
  double zlib = Throughput(streams, ZlibInflate, &zlib_ok);
  double ours = Throughput(streams, OurInflate, &ours_ok);
  std::printf("%s: %zu streams, %.1f MB -> %.1f MB\n", what, streams.size(), in / 1e6, out / 1e6);
  std::printf("  Inflate %.0f MB/s   zlib inflate %.0f MB/s   ratio %.2f (target >= 0.70)%s\n",
              ours, zlib, ours / zlib, ours_ok && zlib_ok ? "" : "   OUTPUTS DIFFER OR FAILED");
  return ours_ok && zlib_ok ? 0 : 1;
}

int Text(const std::string& path) {
  std::vector<uint8_t> data = ReadFile(path);
  Stream s{DeflateLevel6(data), data.size()};
  return Compare("text corpus, zlib level 6", {s});
}

// Smooth shapes with grain, so the JPEG encoder produces data like a camera's.
int Photos(const std::string& folder, int count) {
  std::mt19937 random(7);
  const int width = 1600;
  const int height = 1200;
  std::vector<uint8_t> pixels(width * height * 3);
  for (int n = 0; n < count; ++n) {
    double fx = 0.002 + 0.01 * (random() % 100) / 100.0;
    double fy = 0.002 + 0.01 * (random() % 100) / 100.0;
    for (int y = 0; y < height; ++y) {
      for (int x = 0; x < width; ++x) {
        for (int c = 0; c < 3; ++c) {
          double v = 128 + 90 * std::sin(fx * x * (c + 1) + fy * y + n) +
                     static_cast<int>(random() % 25) - 12;
          pixels[(y * width + x) * 3 + c] = static_cast<uint8_t>(std::clamp(v, 0.0, 255.0));
        }
      }
    }
    std::string path = folder + "/photo" + std::to_string(n) + ".jpg";
    if (!stbi_write_jpg(path.c_str(), width, height, 3, pixels.data(), 90)) return 1;
  }
  return 0;
}

int Zip(const std::string& path) {
  ZipArchive archive;
  if (!archive.Open(path)) return 1;
  std::vector<uint8_t> bytes = ReadFile(path);
  std::vector<Stream> streams;
  for (const ZipDirectoryRecord& r : archive.records()) {
    if (r.method != zip_format::kMethodDeflate) continue;
    const uint8_t* local = bytes.data() + r.local_header_offset;
    size_t data = r.local_header_offset + zip_format::kLocalHeaderSize + LoadLe16(local + 26) +
                  LoadLe16(local + 28);
    streams.push_back(
        {std::vector<uint8_t>(bytes.begin() + data, bytes.begin() + data + r.compressed_size),
         r.uncompressed_size});
  }
  return Compare("ZIP of JPEG photos", streams);
}

}  // namespace

int main(int argc, char** argv) {
  std::string mode = argc > 1 ? argv[1] : "";
  if (mode == "text" && argc == 3) return Text(argv[2]);
  if (mode == "photos" && argc == 4) return Photos(argv[2], std::atoi(argv[3]));
  if (mode == "zip" && argc == 3) return Zip(argv[2]);
  std::fprintf(stderr, "usage: inflate_bench text FILE | photos DIR N | zip ARCHIVE\n");
  return 2;
}
