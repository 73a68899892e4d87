// Writes the seed pictures of the image_reduce fuzz target: tiny files of every format the
// thumbnail reduction decodes, most a little wider than a thumbnail so that they are reduced.
// Build and run from the top of the tree:
//   g++ -std=c++20 fuzz/seeds/picture_seeds.cpp -o /tmp/picture_seeds $(pkg-config
//   --cflags --libs stb) -lturbojpeg -lz && /tmp/picture_seeds fuzz/corpus/image_reduce
#include <stb_image_write.h>
#include <turbojpeg.h>
#include <zlib.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

namespace {

using Bytes = std::vector<uint8_t>;

std::string folder;

void Save(const std::string& name, const Bytes& bytes) {
  std::ofstream(folder + "/" + name, std::ios::binary)
      .write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
}

// A gradient with `channels` channels; the last of 2 or 4 channels is a varying alpha.
Bytes Gradient(int width, int height, int channels) {
  Bytes pixels;
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      for (int c = 0; c < channels; ++c)
        pixels.push_back(uint8_t(x * 255 / width + y * 40 + c * 70));
    }
  }
  return pixels;
}

void AppendChunk(void* context, void* data, int size) {
  auto* out = static_cast<Bytes*>(context);
  out->insert(out->end(), static_cast<uint8_t*>(data), static_cast<uint8_t*>(data) + size);
}

Bytes Jpeg(int width, int height, int format, int subsampling, int flags) {
  const int channels = tjPixelSize[format];
  const Bytes pixels = Gradient(width, height, channels);
  tjhandle handle = tjInitCompress();
  unsigned char* jpeg = nullptr;
  unsigned long size = 0;
  tjCompress2(handle, pixels.data(), width, 0, height, format, &jpeg, &size, subsampling, 80,
              flags);
  Bytes out(jpeg, jpeg + size);
  tjFree(jpeg);
  tjDestroy(handle);
  return out;
}

// `jpeg` with an EXIF segment holding Orientation `orientation` (little-endian TIFF).
Bytes WithOrientation(const Bytes& jpeg, int orientation) {
  const Bytes tiff = {
      'I', 'I', 42, 0, 8, 0, 0, 0, 1, 0, 0x12, 0x01, 3, 0, 1, 0, 0, 0, uint8_t(orientation),
      0,   0,   0,  0, 0, 0, 0};
  Bytes out(jpeg.begin(), jpeg.begin() + 2);
  const size_t length = 2 + 6 + tiff.size();
  out.insert(out.end(),
             {0xFF, 0xE1, uint8_t(length >> 8), uint8_t(length), 'E', 'x', 'i', 'f', 0, 0});
  out.insert(out.end(), tiff.begin(), tiff.end());
  out.insert(out.end(), jpeg.begin() + 2, jpeg.end());
  return out;
}

void Big32(Bytes* out, uint32_t value) {
  for (int shift = 24; shift >= 0; shift -= 8) out->push_back(uint8_t(value >> shift));
}

void PngChunk(Bytes* png, const char* type, const Bytes& data) {
  Big32(png, uint32_t(data.size()));
  Bytes body(type, type + 4);
  body.insert(body.end(), data.begin(), data.end());
  png->insert(png->end(), body.begin(), body.end());
  Big32(png, uint32_t(crc32(0, body.data(), uInt(body.size()))));
}

// A PNG of `rows` (each row already in the file's sample layout, without its filter byte).
Bytes Png(int width, int height, int depth, int colour_type, const std::vector<Bytes>& rows,
          const Bytes& palette = {}) {
  Bytes png = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
  Bytes header;
  Big32(&header, uint32_t(width));
  Big32(&header, uint32_t(height));
  header.insert(header.end(), {uint8_t(depth), uint8_t(colour_type), 0, 0, 0});
  PngChunk(&png, "IHDR", header);
  if (!palette.empty()) PngChunk(&png, "PLTE", palette);
  Bytes raw;
  for (const Bytes& row : rows) {
    raw.push_back(0);  // filter: none
    raw.insert(raw.end(), row.begin(), row.end());
  }
  uLongf size = compressBound(uLong(raw.size()));
  Bytes packed(size);
  compress(packed.data(), &size, raw.data(), uLong(raw.size()));
  packed.resize(size);
  PngChunk(&png, "IDAT", packed);
  PngChunk(&png, "IEND", {});
  return png;
}

void WritePngs() {
  for (int channels : {1, 2, 3, 4}) {
    const Bytes pixels = Gradient(160, 3, channels);
    Bytes png;
    stbi_write_png_to_func(AppendChunk, &png, 160, 3, channels, pixels.data(), 160 * channels);
    Save("png_" + std::to_string(channels) + "ch.png", png);
  }
  std::vector<Bytes> rows16, rows_palette;
  for (int y = 0; y < 3; ++y) {
    Bytes row16, row_palette;
    for (int x = 0; x < 160; ++x) {
      for (int c = 0; c < 4; ++c) row16.insert(row16.end(), {uint8_t(x + c * 50), uint8_t(y)});
      row_palette.push_back(uint8_t(x % 4));
    }
    rows16.push_back(row16);
    rows_palette.push_back(row_palette);
  }
  Save("png_16bit_rgba.png", Png(160, 3, 16, 6, rows16));
  Save("png_palette.png",
       Png(160, 3, 8, 3, rows_palette, {0, 0, 0, 255, 0, 0, 0, 255, 0, 0, 0, 255}));
}

// A GIF whose 7-bit codes are written as whole bytes, with a clear code before the code
// table would grow past them.
Bytes Gif(int width, int height, int frames) {
  Bytes gif = {'G',
               'I',
               'F',
               '8',
               '9',
               'a',
               uint8_t(width),
               uint8_t(width >> 8),
               uint8_t(height),
               uint8_t(height >> 8),
               0xF6,
               0,
               0};  // global table of 128 colours
  for (int i = 0; i < 128; ++i)
    gif.insert(gif.end(), {uint8_t(i * 2), uint8_t(255 - i * 2), uint8_t(i)});
  for (int frame = 0; frame < frames; ++frame) {
    gif.insert(gif.end(), {0x21, 0xF9, 4, 0x04, 10, 0, 0, 0});  // delay, keep the frame
    gif.insert(gif.end(), {0x2C, 0, 0, 0, 0, uint8_t(width), uint8_t(width >> 8), uint8_t(height),
                           uint8_t(height >> 8), 0, 7});
    Bytes codes;
    for (int i = 0; i < width * height; ++i) {
      if (i % 100 == 0) codes.push_back(128);  // clear
      codes.push_back(uint8_t((i + frame * 30) % 128));
    }
    codes.push_back(129);  // end of information
    for (size_t at = 0; at < codes.size(); at += 255) {
      const size_t n = std::min<size_t>(255, codes.size() - at);
      gif.push_back(uint8_t(n));
      gif.insert(gif.end(), codes.begin() + long(at), codes.begin() + long(at + n));
    }
    gif.push_back(0);
  }
  gif.push_back(0x3B);
  return gif;
}

Bytes Psd(int width, int height) {
  Bytes psd = {'8', 'B', 'P', 'S', 0, 1, 0, 0, 0, 0, 0, 0, 0, 3};
  Big32(&psd, uint32_t(height));
  Big32(&psd, uint32_t(width));
  psd.insert(psd.end(), {0, 8, 0, 3});         // 8 bits, RGB
  for (int i = 0; i < 3; ++i) Big32(&psd, 0);  // no colour data, resources, layers
  psd.insert(psd.end(), {0, 0});               // raw planes
  for (int c = 0; c < 3; ++c) {
    for (int i = 0; i < width * height; ++i) psd.push_back(uint8_t(i + c * 80));
  }
  return psd;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s FOLDER\n", argv[0]);
    return 2;
  }
  folder = argv[1];
  Save("baseline.jpg", Jpeg(160, 4, TJPF_RGB, TJSAMP_420, 0));
  Save("grey.jpg", Jpeg(160, 4, TJPF_GRAY, TJSAMP_GRAY, 0));
  Save("progressive.jpg", Jpeg(160, 4, TJPF_RGB, TJSAMP_444, TJFLAG_PROGRESSIVE));
  Save("cmyk.jpg", Jpeg(160, 4, TJPF_CMYK, TJSAMP_444, 0));
  Save("exif_6.jpg", WithOrientation(Jpeg(4, 160, TJPF_RGB, TJSAMP_422, 0), 6));
  Save("exif_3.jpg", WithOrientation(Jpeg(160, 4, TJPF_RGB, TJSAMP_420, 0), 3));
  Save("narrow.jpg", Jpeg(100, 4, TJPF_RGB, TJSAMP_420, 0));
  Save("flat.jpg", Jpeg(2000, 1, TJPF_GRAY, TJSAMP_GRAY, 0));
  WritePngs();
  const Bytes rgb = Gradient(160, 3, 3), rgba = Gradient(160, 3, 4);
  Bytes bmp, tga, hdr;
  stbi_write_bmp_to_func(AppendChunk, &bmp, 160, 3, 3, rgb.data());
  stbi_write_tga_to_func(AppendChunk, &tga, 160, 3, 4, rgba.data());
  std::vector<float> light(rgb.begin(), rgb.end());
  for (float& value : light) value /= 255.0f;
  stbi_write_hdr_to_func(AppendChunk, &hdr, 160, 3, 3, light.data());
  Save("bmp.bmp", bmp);
  Save("tga_rle.tga", tga);
  Save("radiance.hdr", hdr);
  Save("gif.gif", Gif(160, 3, 1));
  Save("gif_animated.gif", Gif(160, 3, 2));
  Save("psd.psd", Psd(160, 3));
  Bytes pnm = {'P', '6', '\n', '1', '6', '0', ' ', '3', '\n', '2', '5', '5', '\n'};
  pnm.insert(pnm.end(), rgb.begin(), rgb.end());
  Save("pnm.ppm", pnm);
  // HEIF seeds are made by Debian's encoders (libheif-examples, libavif-bin) from a JPEG seed.
  Save("heif_source.jpg", WithOrientation(Jpeg(320, 16, TJPF_RGB, TJSAMP_420, 0), 6));
  const std::string in = "'" + folder + "/heif_source.jpg' ", out = "'" + folder + "/";
  const std::string commands = "heif-enc -q 50 " + in + "-o " + out +
                               "heic_exif_6.heic' && heif-enc -q 50 -t 160 " + in + "-o " + out +
                               "heic_thumbnail.heic' && avifenc -s 10 --irot 1 --ignore-exif " +
                               in + out + "avif_irot_1.avif' > /dev/null";
  const int made = std::system(commands.c_str());
  std::remove((folder + "/heif_source.jpg").c_str());
  return made == 0 ? 0 : 1;
}
