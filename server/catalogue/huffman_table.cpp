#include "server/catalogue/huffman_table.h"

namespace {

// Codes are defined most-significant bit first but arrive least-significant bit first.
uint32_t ReverseBits(uint32_t code, int length) {
  code = ((code & 0x5555) << 1) | ((code >> 1) & 0x5555);
  code = ((code & 0x3333) << 2) | ((code >> 2) & 0x3333);
  code = ((code & 0x0F0F) << 4) | ((code >> 4) & 0x0F0F);
  code = ((code & 0x00FF) << 8) | ((code >> 8) & 0x00FF);
  return code >> (16 - length);
}

// Writes `entry` to every `stride`-th slot of [first, end).
void Fill(uint32_t* first, const uint32_t* end, size_t stride, uint32_t entry) {
  for (uint32_t* slot = first; slot < end; slot += stride) *slot = entry;
}

}  // namespace

template <int kPrimaryBits>
bool HuffmanTable<kPrimaryBits>::Build(const uint8_t* lengths, size_t count,
                                       const uint32_t* symbols) {
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
  entries_.assign(kPrimarySize, huffman_entry::kNoCode);
  for (size_t s = 0; s < count; ++s) {
    int len = lengths[s];
    if (len == 0) continue;
    uint32_t reversed = ReverseBits(next_code[len]++, len);
    uint32_t entry = symbols[s] + (static_cast<uint32_t>(len) << 8 | len);
    if (len <= kPrimaryBits) {
      Fill(entries_.data() + reversed, entries_.data() + kPrimarySize, size_t{1} << len, entry);
      continue;
    }
    uint32_t prefix = reversed & (kPrimarySize - 1);
    if (!(entries_[prefix] & huffman_entry::kSubtableFlag)) {
      entries_[prefix] = huffman_entry::Make(huffman_entry::kSubtableFlag,
                                             static_cast<uint32_t>(entries_.size()), 0);
      entries_.resize(entries_.size() + kSubtableSize, huffman_entry::kNoCode);
    }
    uint32_t* subtable = entries_.data() + huffman_entry::Value(entries_[prefix]);
    Fill(subtable + (reversed >> kPrimaryBits), subtable + kSubtableSize,
         size_t{1} << (len - kPrimaryBits), entry);
  }
  return true;
}

template class HuffmanTable<kLiteralLengthPrimaryBits>;
template class HuffmanTable<kDistancePrimaryBits>;
template class HuffmanTable<kCodeLengthPrimaryBits>;
