#include "server/upload/upload_types.h"

#include <algorithm>
#include <cstdint>

#include "server/catalogue/image_types.h"

namespace {

bool IsJpeg(std::string_view head) {
  return head.starts_with("\xFF\xD8\xFF");
}

bool IsGif(std::string_view head) {
  return head.starts_with("GIF87a") || head.starts_with("GIF89a");
}

bool IsPng(std::string_view head) {
  return head.starts_with("\x89PNG\r\n\x1A\n");
}

bool IsBmp(std::string_view head) {
  return head.starts_with("BM");
}

// HEIC, HEIF and AVIF open with an "ftyp" box: its size, "ftyp", the major brand, a minor
// version, then compatible brands up to the box's end. Writers label the three types with any
// brand of the family, so each type takes any of them, in the part of the box the head holds.
bool IsHeif(std::string_view head) {
  if (head.size() < 12 || head.substr(4, 4) != "ftyp") return false;
  if (IsHeifBrand(head.substr(8, 4))) return true;
  const uint32_t box_size = uint32_t(uint8_t(head[0])) << 24 | uint32_t(uint8_t(head[1])) << 16 |
                            uint32_t(uint8_t(head[2])) << 8 | uint32_t(uint8_t(head[3]));
  const size_t end = std::min<size_t>(box_size, head.size());
  for (size_t pos = 16; pos + 4 <= end; pos += 4) {
    if (IsHeifBrand(head.substr(pos, 4))) return true;
  }
  return false;
}

// A local file header, or the end record of an archive without members.
bool IsZip(std::string_view head) {
  return head.starts_with(std::string_view("PK\x03\x04", 4)) ||
         head.starts_with(std::string_view("PK\x05\x06", 4));
}

constexpr UploadType kUploadTypes[] = {
    {"image/jpeg", "jpg", IsJpeg, false},  {"image/gif", "gif", IsGif, false},
    {"image/png", "png", IsPng, false},    {"image/bmp", "bmp", IsBmp, false},
    {"image/heic", "heic", IsHeif, false}, {"image/heif", "heif", IsHeif, false},
    {"image/avif", "avif", IsHeif, false}, {"application/zip", "zip", IsZip, true},
};

}  // namespace

const UploadType* FindUploadType(std::string_view content_type, bool archives_allowed) {
  for (const UploadType& type : kUploadTypes) {
    if (type.content_type == content_type && (archives_allowed || !type.archive)) return &type;
  }
  return nullptr;
}
