// The order of image paths in the name order.
#pragma once

#include <string_view>

// Logical file-name comparison: case-insensitive per code point, and runs of ASCII digits
// compared by their value ("a2" before "a10"). Returns <0, 0 or >0. Texts that differ only
// in letter case or leading zeros compare 0.
int CompareLogical(std::string_view a, std::string_view b);

// True when path `a` comes before path `b` in name order. A file sorts before everything in
// the subfolders of its own folder; otherwise the paths compare logically (`logical`) or
// byte by byte, which for UTF-8 is code point order, case-sensitive.
bool CompareNames(std::string_view a, std::string_view b, bool logical);
