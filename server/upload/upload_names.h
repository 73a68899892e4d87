// The names uploaded files are saved under: the extension from the content type, the base
// from the sent file name, and the numbered and temporary forms tried in the folder.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

// The extension for a file sent as `content_type`, matched exactly (case-sensitively):
// jpg, gif, png, bmp, heic, heif, avif, and zip when `zip_allowed`. Empty for every other type.
std::string_view UploadExtension(std::string_view content_type, bool zip_allowed);

enum class UploadNameKind {
  kNamed,     // *base holds the base
  kUnnamed,   // no usable name was sent: a temporary name is made
  kUnusable,  // the name holds control characters
};

// The base of the name a file sent as `sent_name` is saved under: the name's last component
// (after its last "/" or "\"), up to its last "." (empty when it has none). Bytes that are not
// UTF-8 become U+FFFD. An empty last component, "." and ".." count as no name.
UploadNameKind ReadUploadBase(std::string_view sent_name, std::string* base);

// Candidate `n` of the names for `base`: n = 0 gives base.extension; a greater n first
// removes a " (k)" that ends the base (k written canonically, as "2" and not "02"), then
// appends " (n)": "photo (3)" gives "photo (1).png". The base is shortened, at a character
// boundary, so that the name fits in the 255 bytes a file name may have.
std::string NumberedUploadName(std::string_view base, int n, std::string_view extension);

// The name for a file sent without a name: "img", `unique` in hexadecimal, ".TMP", then "."
// and the extension.
std::string TemporaryUploadName(uint16_t unique, std::string_view extension);
