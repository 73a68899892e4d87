#include "server/pictures/testing/test_pictures.h"

#include <stb_image.h>
#include <stb_image_write.h>
#include <turbojpeg.h>
#include <webp/encode.h>

#include <cstdlib>
#include <cstring>
#include <random>

namespace {

void Append(std::vector<uint8_t>* out, std::initializer_list<uint8_t> bytes) {
  out->insert(out->end(), bytes);
}

void AppendChunk(void* context, void* data, int size) {
  auto* out = static_cast<std::vector<uint8_t>*>(context);
  out->insert(out->end(), static_cast<uint8_t*>(data), static_cast<uint8_t*>(data) + size);
}

}  // namespace

Picture QuadrantPicture(int width, int height, int channels, const std::array<Rgba, 4>& colours) {
  Picture picture{width, height, channels, {}};
  picture.pixels.reserve(size_t(width) * height * channels);
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      const Rgba& c = colours[(y < height / 2 ? 0 : 2) + (x < width / 2 ? 0 : 1)];
      picture.pixels.insert(picture.pixels.end(), c.begin(), c.begin() + channels);
    }
  }
  return picture;
}

Picture NoisePicture(int width, int height) {
  Picture picture{width, height, 3, {}};
  picture.pixels.resize(size_t(width) * height * 3);
  std::mt19937 random(7);
  size_t i = 0;
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      for (int c = 0; c < 3; ++c) {
        const int base = (x * 255 / width + y * 255 / height + c * 60) / 2;
        picture.pixels[i++] = static_cast<uint8_t>((base + int(random() % 64)) & 0xFF);
      }
    }
  }
  return picture;
}

std::vector<uint8_t> PngFile(const Picture& picture) {
  std::vector<uint8_t> out;
  stbi_write_png_to_func(AppendChunk, &out, picture.width, picture.height, picture.channels,
                         picture.pixels.data(), picture.width * picture.channels);
  return out;
}

std::vector<uint8_t> BmpFile(const Picture& picture) {
  std::vector<uint8_t> out;
  stbi_write_bmp_to_func(AppendChunk, &out, picture.width, picture.height, picture.channels,
                         picture.pixels.data());
  return out;
}

std::vector<uint8_t> WebpFile(const Picture& picture, bool lossless) {
  uint8_t* encoded = nullptr;
  const int stride = picture.width * picture.channels;
  const uint8_t* pixels = picture.pixels.data();
  size_t size = 0;
  if (picture.channels == 4) {
    size = lossless
               ? WebPEncodeLosslessRGBA(pixels, picture.width, picture.height, stride, &encoded)
               : WebPEncodeRGBA(pixels, picture.width, picture.height, stride, 90, &encoded);
  } else {
    size = lossless ? WebPEncodeLosslessRGB(pixels, picture.width, picture.height, stride, &encoded)
                    : WebPEncodeRGB(pixels, picture.width, picture.height, stride, 90, &encoded);
  }
  std::vector<uint8_t> out(encoded, encoded + size);
  WebPFree(encoded);
  return out;
}

namespace {

std::vector<uint8_t> Compress(const Picture& picture, int rgb_subsampling, int flags) {
  tjhandle handle = tjInitCompress();
  unsigned char* jpeg = nullptr;
  unsigned long size = 0;
  const bool grey = picture.channels == 1;
  const int format = grey ? TJPF_GRAY : picture.channels == 3 ? TJPF_RGB : TJPF_RGBA;
  tjCompress2(handle, picture.pixels.data(), picture.width, 0, picture.height, format, &jpeg, &size,
              grey ? TJSAMP_GRAY : rgb_subsampling, 95, flags);
  std::vector<uint8_t> out(jpeg, jpeg + size);
  tjFree(jpeg);
  tjDestroy(handle);
  return out;
}

}  // namespace

std::vector<uint8_t> JpegFile(const Picture& picture) {
  return Compress(picture, TJSAMP_420, 0);
}

std::vector<uint8_t> ProgressiveJpegFile(const Picture& picture) {
  return Compress(picture, TJSAMP_444, TJFLAG_PROGRESSIVE);
}

std::vector<uint8_t> CmykJpegFile(const Picture& rgb) {
  std::vector<uint8_t> cmyk;
  for (size_t i = 0; i < rgb.pixels.size(); i += 3) {
    Append(&cmyk, {rgb.pixels[i], rgb.pixels[i + 1], rgb.pixels[i + 2], 255});
  }
  tjhandle handle = tjInitCompress();
  unsigned char* jpeg = nullptr;
  unsigned long size = 0;
  tjCompress2(handle, cmyk.data(), rgb.width, 0, rgb.height, TJPF_CMYK, &jpeg, &size, TJSAMP_444,
              95, 0);
  std::vector<uint8_t> out(jpeg, jpeg + size);
  tjFree(jpeg);
  tjDestroy(handle);
  return out;
}

std::vector<uint8_t> WithExifOrientation(const std::vector<uint8_t>& jpeg, int orientation,
                                         bool big_endian) {
  std::vector<uint8_t> tiff;
  const auto number = [&tiff, big_endian](uint32_t value, int bytes) {
    for (int i = 0; i < bytes; ++i) {
      const int shift = 8 * (big_endian ? bytes - 1 - i : i);
      tiff.push_back(static_cast<uint8_t>(value >> shift));
    }
  };
  number(big_endian ? 0x4D4D : 0x4949, 2);  // "MM" or "II", the byte order
  number(42, 2);
  number(8, 4);       // IFD0 right after the header
  number(1, 2);       // one entry:
  number(0x0112, 2);  // Orientation,
  number(3, 2);       // SHORT,
  number(1, 4);       // count 1,
  number(orientation, 2);
  number(0, 2);  // rest of the value field
  number(0, 4);  // no next IFD

  std::vector<uint8_t> out(jpeg.begin(), jpeg.begin() + 2);
  const size_t length = 2 + 6 + tiff.size();
  Append(&out, {0xFF, 0xE1, uint8_t(length >> 8), uint8_t(length)});
  Append(&out, {'E', 'x', 'i', 'f', 0, 0});
  out.insert(out.end(), tiff.begin(), tiff.end());
  out.insert(out.end(), jpeg.begin() + 2, jpeg.end());
  return out;
}

Rgba DecodedFile::At(int x, int y) const {
  const uint8_t* p = rgba.data() + (size_t(y) * width + x) * 4;
  return {p[0], p[1], p[2], p[3]};
}

DecodedFile DecodeFile(const std::vector<uint8_t>& file) {
  DecodedFile decoded;
  stbi_uc* pixels =
      stbi_load_from_memory(file.data(), static_cast<int>(file.size()), &decoded.width,
                            &decoded.height, &decoded.channels_in_file, 4);
  if (pixels == nullptr) return decoded;
  decoded.ok = true;
  decoded.rgba.assign(pixels, pixels + size_t(decoded.width) * decoded.height * 4);
  stbi_image_free(pixels);
  return decoded;
}

bool IsPngFile(const std::vector<uint8_t>& file) {
  return file.size() >= 8 && std::memcmp(file.data(), "\x89PNG\r\n\x1A\n", 8) == 0;
}

bool IsJpegFile(const std::vector<uint8_t>& file) {
  return file.size() >= 3 && file[0] == 0xFF && file[1] == 0xD8 && file[2] == 0xFF;
}

bool NearColour(const Rgba& a, const Rgba& b, int tolerance) {
  for (int c = 0; c < 3; ++c) {
    if (std::abs(int(a[c]) - int(b[c])) > tolerance) return false;
  }
  return true;
}
