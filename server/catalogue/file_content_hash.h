// What a like is counted under: the content of the liked file.
#pragma once

#include <string>

#include "server/catalogue/omni_file_access.h"

// The MD5 of the whole file (plain file or ZIP member), read past the file cache so that
// hashing does not push pictures out of it, as 32 lowercase hexadecimal digits; "" when the
// file cannot be read. The file is read through `files` in pieces, so a plain file of any
// size costs one piece of memory.
std::string FileContentHash(COmniFileAccess& files, const std::string& path);
