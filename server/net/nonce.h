// Fresh nonces for the Content-Security-Policy of each response and for Digest challenges.
#pragma once

#include <string>
#include <string_view>

constexpr size_t kNonceBytes = 16;

// 16 random bytes in standard Base64: 24 characters ending in "==". Thread-safe.
std::string MakeNonce();

// The 24-character Base64 text of 16 bytes, as MakeNonce writes it.
std::string NonceText(const unsigned char (&bytes)[kNonceBytes]);
// The 16 bytes of a text in that form; false for any other text.
bool NonceBytes(std::string_view text, unsigned char (&bytes)[kNonceBytes]);
