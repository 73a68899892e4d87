// MD5 (RFC 1321) of a byte string as 32 lowercase hexadecimal digits.
#pragma once

#include <string>
#include <string_view>

std::string MD5Hex(std::string_view bytes);
