// A picture's identity in links: it names the path, not a position, so a link that carries it
// names the same picture after a rescan has moved every position.
#pragma once

#include <string>
#include <string_view>

// MD5 of the path's UTF-16LE code units, 32 lowercase hexadecimal digits: the entity tag that
// /image sends for the picture. A byte that is not UTF-8 counts as U+FFFD, as it does
// everywhere text is read per character. A renamed or moved file is another picture.
std::string PictureId(std::string_view path);

// Whether `text` has the form of an id: 32 lowercase hexadecimal digits.
bool IsPictureIdShaped(std::string_view text);
