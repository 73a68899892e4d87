// Pictures for the phone benchmark (bench/phone_viewer.mjs):
//   phone_pictures mixed DIR COUNT   COUNT pictures of 800x600 in turn JPEG, PNG, BMP and WebP
//   phone_pictures jpegs DIR COUNT   the same pictures, all JPEG
// Each is noise over a gradient, which compresses about as a photo does; the JPEGs are at
// quality 90, the WebPs lossy at 90, the PNGs and BMPs as those formats store them.
#define STB_IMAGE_WRITE_IMPLEMENTATION
#include <stb_image_write.h>
#include <turbojpeg.h>
#include <webp/encode.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

namespace {

constexpr int kWidth = 800;
constexpr int kHeight = 600;

std::vector<uint8_t> Photo(unsigned seed) {
  std::vector<uint8_t> rgb(size_t(kWidth) * kHeight * 3);
  std::minstd_rand random(seed);
  size_t i = 0;
  for (int y = 0; y < kHeight; ++y) {
    for (int x = 0; x < kWidth; ++x) {
      const unsigned noise = random();
      rgb[i++] = static_cast<uint8_t>(x * 200 / kWidth + (noise & 31));
      rgb[i++] = static_cast<uint8_t>(y * 200 / kHeight + (noise >> 5 & 31));
      rgb[i++] = static_cast<uint8_t>((x + y) * 100 / kHeight + (noise >> 10 & 31));
    }
  }
  return rgb;
}

void Append(void* context, void* data, int size) {
  auto* out = static_cast<std::vector<uint8_t>*>(context);
  out->insert(out->end(), static_cast<uint8_t*>(data), static_cast<uint8_t*>(data) + size);
}

std::vector<uint8_t> Encode(const std::string& type, const std::vector<uint8_t>& rgb) {
  std::vector<uint8_t> out;
  if (type == "png") {
    stbi_write_png_to_func(Append, &out, kWidth, kHeight, 3, rgb.data(), kWidth * 3);
  } else if (type == "bmp") {
    stbi_write_bmp_to_func(Append, &out, kWidth, kHeight, 3, rgb.data());
  } else if (type == "webp") {
    uint8_t* webp = nullptr;
    const size_t size = WebPEncodeRGB(rgb.data(), kWidth, kHeight, kWidth * 3, 90, &webp);
    out.assign(webp, webp + size);
    WebPFree(webp);
  } else {
    tjhandle handle = tjInitCompress();
    unsigned char* jpeg = nullptr;
    unsigned long size = 0;
    tjCompress2(handle, rgb.data(), kWidth, 0, kHeight, TJPF_RGB, &jpeg, &size, TJSAMP_420, 90, 0);
    out.assign(jpeg, jpeg + size);
    tjFree(jpeg);
    tjDestroy(handle);
  }
  return out;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 4 || (std::string(argv[1]) != "mixed" && std::string(argv[1]) != "jpegs")) {
    std::fprintf(stderr, "usage: phone_pictures mixed|jpegs DIR COUNT\n");
    return 2;
  }
  const bool mixed = std::string(argv[1]) == "mixed";
  const std::filesystem::path dir = argv[2];
  std::filesystem::create_directories(dir);
  const char* types[] = {"jpg", "png", "bmp", "webp"};
  for (int n = 0; n < std::atoi(argv[3]); ++n) {
    const std::string type = mixed ? types[n % 4] : "jpg";
    const std::vector<uint8_t> bytes = Encode(type, Photo(static_cast<unsigned>(n + 1)));
    char name[32];
    std::snprintf(name, sizeof name, "picture_%03d.%s", n, type.c_str());
    std::ofstream(dir / name, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()),
               static_cast<std::streamsize>(bytes.size()));
  }
  return 0;
}
