#include "server/upload/upload_types.h"

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

// A local file header, or the end record of an archive without members.
bool IsZip(std::string_view head) {
  return head.starts_with(std::string_view("PK\x03\x04", 4)) ||
         head.starts_with(std::string_view("PK\x05\x06", 4));
}

constexpr UploadType kUploadTypes[] = {
    {"image/jpeg", "jpg", IsJpeg, false},    {"image/gif", "gif", IsGif, false},
    {"image/png", "png", IsPng, false},      {"image/bmp", "bmp", IsBmp, false},
    {"application/zip", "zip", IsZip, true},
};

}  // namespace

const UploadType* FindUploadType(std::string_view content_type, bool archives_allowed) {
  for (const UploadType& type : kUploadTypes) {
    if (type.content_type == content_type && (archives_allowed || !type.archive)) return &type;
  }
  return nullptr;
}
