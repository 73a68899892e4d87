// The picture types the gallery keeps and serves, told by the extension of a file name.
#pragma once

#include <string_view>

// The Content-Type of the picture type that `path` names, or "" when it names none. The
// extension is the text after the last "." of the file name (after the last "/"), cut at its first
// "-", "_" or ":" (so "jpg_large", "png:orig" and "jpeg-1" count as "jpg", "png" and "jpeg"), and
// is matched without regard to case, since cameras and phones write "DSC_0001.JPG": jpeg and jpg
// are "image/jpeg", gif "image/gif", png and apng "image/png", bmp "image/bmp", svg and svgz
// "image/svg+xml", webp "image/webp", heic "image/heic", heif and hif "image/heif", avif
// "image/avif".
std::string_view PictureContentType(std::string_view path);

// The Content-Type a file at `path` is served with: PictureContentType, or "text/html" when
// the path names none of the picture types.
std::string_view ImageContentType(std::string_view path);
