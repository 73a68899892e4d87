// Decoding throughput of our Inflate beside zlib's inflate on the same streams, in the same
// run: MB/s of output per second of processor time, best of several rounds.
//
//   inflate_bench corpus FILE N  writes N bytes of text shaped like C headers into FILE
//   inflate_bench text FILE      compresses FILE with zlib at level 6 (raw DEFLATE), decodes it
//   inflate_bench photos DIR N   writes N photo-like JPEG images into DIR
//   inflate_bench zip ARCHIVE    decodes every deflated member of ARCHIVE
#include <stb/stb_image_write.h>
#include <zlib.h>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
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

// Seconds of processor time this process has used. The machine is shared: wall time would
// count the time other processes hold the processor, and the two decoders would not be
// measured alike.
double ProcessorSeconds() {
  return static_cast<double>(std::clock()) / CLOCKS_PER_SEC;
}

// Seconds one decoder takes to decode every stream once.
template <typename Decode>
double Round(const std::vector<Stream>& streams, Decode decode, std::vector<uint8_t>* out,
             bool* ok) {
  double start = ProcessorSeconds();
  for (const Stream& s : streams) *ok = decode(s, out) && *ok;
  return ProcessorSeconds() - start;
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
  // Best MB/s of output over the rounds; the decoders take turns, so that a change in the
  // machine's load falls on both.
  double zlib_best = 1e9;
  double ours_best = 1e9;
  std::vector<uint8_t> zlib_out;
  std::vector<uint8_t> ours_out;
  for (int round = 0; round < 7; ++round) {
    zlib_best = std::min(zlib_best, Round(streams, ZlibInflate, &zlib_out, &zlib_ok));
    ours_best = std::min(ours_best, Round(streams, OurInflate, &ours_out, &ours_ok));
  }
  double zlib = out / 1e6 / zlib_best;
  double ours = out / 1e6 / ours_best;
  std::printf("%s: %zu streams, %.1f MB -> %.1f MB\n", what, streams.size(), in / 1e6, out / 1e6);
  std::printf("  Inflate %.0f MB/s   zlib inflate %.0f MB/s   ratio %.2f (target >= 1.00)%s\n",
              ours, zlib, ours / zlib, ours_ok && zlib_ok ? "" : "   OUTPUTS DIFFER OR FAILED");
  return ours_ok && zlib_ok ? 0 : 1;
}

int Text(const std::string& path) {
  std::vector<uint8_t> data = ReadFile(path);
  Stream s{DeflateLevel6(data), data.size()};
  return Compare("text corpus, zlib level 6", {s});
}

// Text shaped like C headers (declarations, macros, comments, indentation) over a vocabulary
// of compound names drawn with a skewed distribution, from a fixed seed: the same bytes on
// every machine, compressing about as well as real headers.
int Corpus(const std::string& path, size_t size) {
  static const char* const kWords[] = {
      "int",    "char",  "const", "struct", "buffer", "length", "count",   "value",  "index",
      "result", "flags", "state", "handle", "offset", "error",  "data",    "next",   "node",
      "table",  "entry", "name",  "path",   "file",   "stream", "lock",    "thread", "signal",
      "time",   "clock", "alloc", "free",   "copy",   "string", "memory",  "socket", "address",
      "port",   "read",  "write", "open",   "close",  "seek",   "size",    "list",   "queue",
      "map",    "key",   "hash",  "mode",   "type",   "info",   "context", "event",  "timer"};
  static const char* const kTypes[] = {"int",      "unsigned int",  "char *", "const char *",
                                       "size_t",   "uint32_t",      "void *", "long",
                                       "uint64_t", "struct stat *", "double", "void"};
  std::mt19937 random(11);
  const size_t word_count = std::size(kWords);
  std::vector<std::string> names;
  for (int i = 0; i < 3000; ++i) {
    names.push_back(std::string(kWords[random() % word_count]) + "_" +
                    kWords[random() % word_count]);
  }
  // Small indices far more often than large ones, as names are used in real code.
  auto pick = [&](size_t n) {
    double u = static_cast<double>(random() % 1000000) / 1000000.0;
    return static_cast<size_t>(static_cast<double>(n) * u * u * u);
  };
  auto type = [&] { return std::string(kTypes[pick(std::size(kTypes))]); };
  auto name = [&] { return names[pick(names.size())]; };
  std::string text;
  while (text.size() < size) {
    switch (random() % 5) {
      case 0:
        text += "extern " + type() + " " + name() + " (" + type() + " __" + name() + ", " + type() +
                " __" + name() + ") __THROW;\n";
        break;
      case 1: {
        std::string macro = name();
        for (char& c : macro) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
        text += "#define " + macro + "\t" + std::to_string(random() % 4096) + "\n";
        break;
      }
      case 2: {
        text += "/* ";
        for (unsigned w = 0, n = 4 + random() % 10; w < n; ++w) {
          text += std::string(kWords[pick(word_count)]) + (w + 1 < n ? " " : "");
        }
        text += ".  */\n";
        break;
      }
      case 3:
        text += "struct " + name() + "\n  {\n";
        for (unsigned f = 0, n = 1 + random() % 6; f < n; ++f) {
          text += "    " + type() + " " + name() + ";\n";
        }
        text += "  };\n\n";
        break;
      default:
        text += "typedef " + type() + " " + name() + "_t;\n";
    }
  }
  text.resize(size);
  std::ofstream(path, std::ios::binary)
      .write(text.data(), static_cast<std::streamsize>(text.size()));
  return 0;
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
  if (mode == "corpus" && argc == 4) return Corpus(argv[2], std::strtoull(argv[3], nullptr, 10));
  if (mode == "text" && argc == 3) return Text(argv[2]);
  if (mode == "photos" && argc == 4) return Photos(argv[2], std::atoi(argv[3]));
  if (mode == "zip" && argc == 3) return Zip(argv[2]);
  std::fprintf(stderr,
               "usage: inflate_bench corpus FILE N | text FILE | photos DIR N | zip ARCHIVE\n");
  return 2;
}
