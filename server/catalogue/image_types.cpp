#include "server/catalogue/image_types.h"

#include <string>

#include "platform/text.h"

std::string_view PictureContentType(std::string_view path) {
  // The extension is the file name's: a folder named "trip.jpg_files" makes no picture of
  // the "README" inside it.
  const size_t dot = path.rfind('.');
  if (dot == std::string_view::npos || path.find('/', dot) != std::string_view::npos) return {};
  std::string_view extension = path.substr(dot + 1);
  extension = extension.substr(0, extension.find_first_of("-_:"));
  if (extension.size() > 4) return {};  // longer than any in the table
  // Extensions of pictures hold ASCII letters only; any other byte stays as it is.
  const std::string lower = platform::AsciiToLower(extension);
  struct Type {
    std::string_view extension, content_type;
  };
  // heic and hif (cameras) are HEIF pictures coded with HEVC, avif those coded with AV1.
  static constexpr Type kTypes[] = {
      {"jpeg", "image/jpeg"},   {"jpg", "image/jpeg"},     {"gif", "image/gif"},
      {"png", "image/png"},     {"apng", "image/png"},     {"bmp", "image/bmp"},
      {"svg", "image/svg+xml"}, {"svgz", "image/svg+xml"}, {"webp", "image/webp"},
      {"heic", "image/heic"},   {"heif", "image/heif"},    {"hif", "image/heif"},
      {"avif", "image/avif"},
  };
  for (const Type& type : kTypes) {
    if (type.extension == lower) return type.content_type;
  }
  return {};
}

std::string_view ImageContentType(std::string_view path) {
  const std::string_view type = PictureContentType(path);
  return type.empty() ? "text/html" : type;
}
