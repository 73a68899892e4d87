#include "server/pictures/heif_decoder.h"

#include <libheif/heif.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <string_view>
#include <vector>

#include "server/pictures/exif_orientation.h"

namespace {

constexpr int kRgbChannels = 3;
// An Exif block larger than this is not read for its orientation.
constexpr size_t kMaxExifBytes = size_t{1} << 20;
// Embedded thumbnails looked at; files hold one, seldom two.
constexpr int kMaxThumbnails = 8;

uint32_t Big32(const uint8_t* p) {
  return uint32_t{p[0]} << 24 | uint32_t{p[1]} << 16 | uint32_t{p[2]} << 8 | p[3];
}

// One box of an ISO base media file: its four-character type and its contents.
struct Box {
  std::string_view type;
  std::span<const uint8_t> body;
};

// Takes the next box from `*rest`; false at the end or when the box claims more than is left.
bool TakeBox(std::span<const uint8_t>* rest, Box* box) {
  if (rest->size() < 8) return false;
  uint64_t size = Big32(rest->data());
  size_t header = 8;
  if (size == 1) {  // a 64-bit size follows the type
    if (rest->size() < 16) return false;
    size = uint64_t{Big32(rest->data() + 8)} << 32 | Big32(rest->data() + 12);
    header = 16;
  } else if (size == 0) {  // up to the end of the file
    size = rest->size();
  }
  if (size < header || size > rest->size()) return false;
  box->type = std::string_view(reinterpret_cast<const char*>(rest->data() + 4), 4);
  box->body = rest->subspan(header, size - header);
  *rest = rest->subspan(size);
  return true;
}

// The contents of the first box of `type` among the boxes of `data`; empty when there is none.
std::span<const uint8_t> FindBox(std::span<const uint8_t> data, std::string_view type) {
  Box box;
  while (TakeBox(&data, &box)) {
    if (box.type == type) return box.body;
  }
  return {};
}

bool IsHeifBrand(std::span<const uint8_t> brand) {
  static constexpr std::array<std::string_view, 8> kBrands = {"heic", "heix", "heim", "heis",
                                                              "mif1", "msf1", "avif", "avis"};
  const std::string_view text(reinterpret_cast<const char*>(brand.data()), brand.size());
  return std::find(kBrands.begin(), kBrands.end(), text) != kBrands.end();
}

// libheif is told once that it is used; it is never told otherwise, since pictures are decoded
// until the process ends.
void InitLibheifOnce() {
  static const bool initialised = [] {
    heif_init(nullptr);
    return true;
  }();
  (void)initialised;
}

int ExifOrientation(const heif_image_handle* handle) {
  heif_item_id id = 0;
  if (heif_image_handle_get_list_of_metadata_block_IDs(handle, "Exif", &id, 1) != 1) {
    return kOrientationAsStored;
  }
  const size_t size = heif_image_handle_get_metadata_size(handle, id);
  if (size < 4 || size > kMaxExifBytes) return kOrientationAsStored;
  std::vector<uint8_t> exif(size);
  if (heif_image_handle_get_metadata(handle, id, exif.data()).code != heif_error_Ok) {
    return kOrientationAsStored;
  }
  // The block starts with the offset of the TIFF header from the end of that number.
  const uint32_t offset = Big32(exif.data());
  if (offset > size - 4) return kOrientationAsStored;
  return ReadTiffOrientation(std::span<const uint8_t>(exif).subspan(4 + offset));
}

}  // namespace

bool LooksLikeHeif(std::span<const uint8_t> data) {
  Box ftyp;
  std::span<const uint8_t> rest = data;
  if (!TakeBox(&rest, &ftyp) || ftyp.type != "ftyp" || ftyp.body.size() < 8) return false;
  if (IsHeifBrand(ftyp.body.first(4))) return true;
  // After the major brand and the minor version: the compatible brands.
  for (size_t pos = 8; pos + 4 <= ftyp.body.size(); pos += 4) {
    if (IsHeifBrand(ftyp.body.subspan(pos, 4))) return true;
  }
  return false;
}

bool HeifHasTransforms(std::span<const uint8_t> data) {
  std::span<const uint8_t> meta = FindBox(data, "meta");
  if (meta.size() < 4) return false;
  // meta carries a version and flags before its boxes; properties sit in iprp, then ipco.
  std::span<const uint8_t> properties = FindBox(FindBox(meta.subspan(4), "iprp"), "ipco");
  Box box;
  while (TakeBox(&properties, &box)) {
    if (box.type == "irot" || box.type == "imir") return true;
  }
  return false;
}

HeifPicture::~HeifPicture() {
  if (decoded_ != nullptr) heif_image_release(decoded_);
  if (thumbnail_ != nullptr) heif_image_handle_release(thumbnail_);
  if (primary_ != nullptr) heif_image_handle_release(primary_);
  if (context_ != nullptr) heif_context_free(context_);
}

bool HeifPicture::Open(std::span<const uint8_t> data) {
  if (context_ != nullptr) return false;
  InitLibheifOnce();
  context_ = heif_context_alloc();
  if (context_ == nullptr ||
      heif_context_read_from_memory_without_copy(context_, data.data(), data.size(), nullptr)
              .code != heif_error_Ok ||
      heif_context_get_primary_image_handle(context_, &primary_).code != heif_error_Ok) {
    return false;
  }
  width_ = heif_image_handle_get_width(primary_);
  height_ = heif_image_handle_get_height(primary_);
  if (width_ <= 0 || height_ <= 0) return false;
  wide_samples_ = heif_image_handle_get_luma_bits_per_pixel(primary_) > 8 ||
                  heif_image_handle_get_chroma_bits_per_pixel(primary_) > 8;
  orientation_ = HeifHasTransforms(data) ? kOrientationAsStored : ExifOrientation(primary_);

  std::array<heif_item_id, kMaxThumbnails> ids{};
  const int count =
      heif_image_handle_get_list_of_thumbnail_IDs(primary_, ids.data(), kMaxThumbnails);
  int64_t largest = 0;
  for (int i = 0; i < count; ++i) {
    heif_image_handle* thumbnail = nullptr;
    if (heif_image_handle_get_thumbnail(primary_, ids[i], &thumbnail).code != heif_error_Ok) {
      continue;
    }
    const int64_t pixels =
        int64_t{heif_image_handle_get_width(thumbnail)} * heif_image_handle_get_height(thumbnail);
    if (pixels > largest) {
      std::swap(thumbnail, thumbnail_);
      largest = pixels;
    }
    if (thumbnail != nullptr) heif_image_handle_release(thumbnail);
  }
  return true;
}

const heif_image_handle* HeifPicture::ThumbnailFor(int min_width, int min_height) const {
  if (thumbnail_ == nullptr || min_width <= 0 || min_height <= 0) return nullptr;
  const int64_t width = heif_image_handle_get_width(thumbnail_);
  const int64_t height = heif_image_handle_get_height(thumbnail_);
  // Of the picture's proportions to within a pixel of the thumbnail, which is rounded.
  const int64_t skew = width * height_ - height * width_;
  if (std::max(skew, -skew) > std::max(width_, height_)) return nullptr;
  return width >= min_width && height >= min_height ? thumbnail_ : nullptr;
}

int64_t HeifPicture::DecodedPixels(int min_width, int min_height) const {
  const heif_image_handle* handle = ThumbnailFor(min_width, min_height);
  if (handle == nullptr) return int64_t{width_} * height_;
  return int64_t{heif_image_handle_get_width(handle)} * heif_image_handle_get_height(handle);
}

bool HeifPicture::Decode(int min_width, int min_height) {
  if (primary_ == nullptr || decoded_ != nullptr) return false;
  const heif_image_handle* thumbnail = ThumbnailFor(min_width, min_height);
  heif_decoding_options* options = heif_decoding_options_alloc();
  if (options == nullptr) return false;
  options->convert_hdr_to_8bit = 1;
  // A damaged file is an error, never a picture with gaps.
  options->strict_decoding = 1;
  const heif_error error =
      heif_decode_image(thumbnail != nullptr ? thumbnail : primary_, &decoded_, heif_colorspace_RGB,
                        heif_chroma_interleaved_RGB, options);
  heif_decoding_options_free(options);
  if (error.code != heif_error_Ok || decoded_ == nullptr) return false;
  int stride = 0;
  uint8_t* pixels = heif_image_get_plane(decoded_, heif_channel_interleaved, &stride);
  const int width = heif_image_get_width(decoded_, heif_channel_interleaved);
  const int height = heif_image_get_height(decoded_, heif_channel_interleaved);
  const size_t row = size_t(width) * kRgbChannels;
  if (pixels == nullptr || width <= 0 || height <= 0 || size_t(stride) < row ||
      heif_image_get_bits_per_pixel_range(decoded_, heif_channel_interleaved) != 8) {
    return false;
  }
  // The rows are packed in place: each moves to an address no later than its own.
  if (size_t(stride) != row) {
    for (int y = 1; y < height; ++y)
      std::memmove(pixels + y * row, pixels + y * size_t(stride), row);
  }
  view_ = {pixels, width, height, kRgbChannels};
  return true;
}
