// Fresh nonces for the Content-Security-Policy of each response and for Digest challenges.
#pragma once

#include <string>

// 16 random bytes in standard Base64: 24 characters ending in "==". Thread-safe.
std::string MakeNonce();
