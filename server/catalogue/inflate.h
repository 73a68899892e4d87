// Our DEFLATE decoder (RFC 1951), for the members of ZIP archives.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

enum class InflateResult {
  kOk,
  kTooLarge,        // the declared size is beyond kMaxFileBytes or beyond what the input can
                    // expand to; nothing was allocated
  kTruncated,       // the input ended before the final block did
  kBadCode,         // bits that begin no code of the table in use
  kBadCodeLengths,  // a code table whose lengths over-subscribe the code space, or a
                    // repeat that runs past the number of lengths
  kBadSymbol,       // a length symbol above 285 or a distance symbol above 29
  kDistanceTooFar,  // a distance reaching back before the start of the output
  kOutputOverflow,  // the output would pass the declared size
  kOutputShort,     // the final block ended before the declared size was reached
};

// Largest number of output bytes one input byte can decode to: a 258-byte match coded with a
// 1-bit length code and a 1-bit distance code takes 2 bits.
constexpr uint64_t kMaxInflateRatio = 1032;

// Decodes the raw DEFLATE stream `input[0, size)` whose decoded size is `declared_size`.
// On kOk, `out` holds exactly `declared_size` bytes; otherwise it is left unchanged. Input
// after the final block is ignored.
InflateResult Inflate(const uint8_t* input, size_t size, uint64_t declared_size,
                      std::vector<uint8_t>* out);
