// The types an upload may have: the content type it is sent as, the extension it is saved
// with, and what its first bytes must be. A new type is one row of the table in
// upload_types.cpp.
#pragma once

#include <cstddef>
#include <string_view>

struct UploadType {
  std::string_view content_type;  // matched exactly (case-sensitively)
  std::string_view extension;
  // Whether `head`, the file's first bytes (at most kUploadHeadBytes, fewer for a shorter
  // file), begins as a file of this type does.
  bool (*head_matches)(std::string_view head);
  bool archive;  // taken only when archive uploads are allowed
};

// The longest head a row's check needs.
constexpr size_t kUploadHeadBytes = 32;

// The type sent as `content_type`, or null when the gallery takes no such uploads (an archive
// type when `archives_allowed` is false).
const UploadType* FindUploadType(std::string_view content_type, bool archives_allowed);
