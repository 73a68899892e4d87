#include "server/catalogue/huffman_table.h"

namespace {

// Codes are defined most-significant bit first but arrive least-significant bit first.
uint32_t ReverseBits(uint32_t code, int length) {
  uint32_t reversed = 0;
  for (int i = 0; i < length; ++i) {
    reversed = (reversed << 1) | (code & 1);
    code >>= 1;
  }
  return reversed;
}

}  // namespace

bool HuffmanTable::Build(const uint8_t* lengths, size_t count, const HuffmanEntry* symbols) {
  uint32_t length_count[kMaxCodeBits + 1] = {};
  for (size_t s = 0; s < count; ++s) ++length_count[lengths[s]];
  length_count[0] = 0;

  // Each length doubles the code space; more codes than it holds cannot be prefix-free.
  int64_t space_left = 1;
  for (int len = 1; len <= kMaxCodeBits; ++len) {
    space_left = space_left * 2 - length_count[len];
    if (space_left < 0) return false;
  }

  uint32_t next_code[kMaxCodeBits + 1] = {};
  uint32_t code = 0;
  for (int len = 1; len <= kMaxCodeBits; ++len) {
    code = (code + length_count[len - 1]) << 1;
    next_code[len] = code;
  }

  constexpr uint32_t kPrimarySize = 1u << kPrimaryBits;
  constexpr uint32_t kSubtableSize = 1u << kSubtableBits;
  entries_.assign(kPrimarySize, HuffmanEntry{});
  for (size_t s = 0; s < count; ++s) {
    int len = lengths[s];
    if (len == 0) continue;
    uint32_t reversed = ReverseBits(next_code[len]++, len);
    HuffmanEntry entry = symbols[s];
    entry.bits_extra = static_cast<uint8_t>((entry.bits_extra & 0xF0) | len);
    if (len <= kPrimaryBits) {
      for (uint32_t slot = reversed; slot < kPrimarySize; slot += 1u << len) entries_[slot] = entry;
      continue;
    }
    HuffmanEntry& prefix = entries_[reversed & (kPrimarySize - 1)];
    if (prefix.kind != kSubtable) {
      prefix.kind = kSubtable;
      prefix.value = static_cast<uint16_t>(entries_.size());
      entries_.resize(entries_.size() + kSubtableSize);  // invalidates `prefix`
    }
    uint32_t start = entries_[reversed & (kPrimarySize - 1)].value;
    for (uint32_t slot = reversed >> kPrimaryBits; slot < kSubtableSize;
         slot += 1u << (len - kPrimaryBits)) {
      entries_[start + slot] = entry;
    }
  }
  return true;
}
