// The stored form of a password: the HTTP Digest HA1 value for the realm "secret".
#pragma once

#include <string>
#include <string_view>

// `hash` = MD5Hex of name + ":secret:" + password over their UTF-8 bytes, 32 lowercase
// hexadecimal digits, so the server can check Digest answers without knowing the password.
// Browsers compute their answers from the UTF-8 bytes of what the user typed, so only such a
// hash lets a name or password with non-ASCII characters in (for ASCII text every encoding
// gives the same hash). Returns false, leaving `hash` alone, when either text is not UTF-8.
bool PasswordHash(std::string_view name_utf8, std::string_view password_utf8, std::string* hash);
