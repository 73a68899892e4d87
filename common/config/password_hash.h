// The stored form of a password: the HTTP Digest HA1 value for the realm "secret".
#pragma once

#include <string>
#include <string_view>

// `hash` = MD5Hex of cp932(name) + ":secret:" + cp932(password), 32 lowercase hexadecimal
// digits, so the server can check Digest answers without knowing the password. Both texts are
// UTF-8. Returns false, leaving `hash` alone, when either has no code page 932 form.
bool PasswordHash(std::string_view name_utf8, std::string_view password_utf8, std::string* hash);
