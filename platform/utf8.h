// Per-code-point walks over UTF-8 text, for the computations defined per character (name
// comparison, search normalisation, the search word). The bytes themselves are never altered.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

constexpr uint32_t kReplacementCharacter = 0xFFFD;

// Decodes the code point that starts at `*pos` and advances `*pos` past it. A byte that does
// not start a well-formed sequence (overlong, surrogate, above U+10FFFF, truncated) decodes
// as U+FFFD and is skipped alone. REQUIRES: *pos < text.size().
uint32_t DecodeUtf8At(std::string_view text, size_t* pos);

void AppendUtf8(uint32_t code_point, std::string* out);
