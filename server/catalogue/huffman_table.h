// Decoding tables for the canonical Huffman codes of DEFLATE. A table is indexed by the next
// bits of the stream, taken least-significant first: a primary table of kPrimaryBits bits,
// and for codes longer than that a subtable under their primary prefix. Every slot that no
// code reaches holds kInvalid.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

enum HuffmanKind : uint8_t {
  kInvalid,  // the bits begin no code
  kLiteral,  // `value` is the byte (or, in the code-length code, the symbol)
  kEndOfBlock,
  kLength,     // `value` is the base length, extra() the number of extra bits
  kDistance,   // `value` is the base distance, extra() the number of extra bits
  kBadSymbol,  // a symbol that has a code but no meaning (lengths 286, 287; distances 30, 31)
  kSubtable,   // `value` is the first slot of the subtable for this prefix
};

struct HuffmanEntry {
  uint16_t value = 0;
  uint8_t kind = kInvalid;
  uint8_t bits_extra = 0;  // low nibble: code length in bits; high nibble: extra bits

  int bits() const { return bits_extra & 15; }
  int extra() const { return bits_extra >> 4; }
};

constexpr int kMaxCodeBits = 15;

class HuffmanTable {
 public:
  static constexpr int kPrimaryBits = 10;
  static constexpr int kSubtableBits = kMaxCodeBits - kPrimaryBits;

  // Assigns canonical codes to `lengths[0, count)` (0 = no code) and fills the table; symbol s
  // decodes to `symbols[s]` with its code length set. Lengths may leave the code space
  // incomplete (the unreached slots are kInvalid) but must not over-subscribe it: false then.
  // REQUIRES: every length <= kMaxCodeBits.
  bool Build(const uint8_t* lengths, size_t count, const HuffmanEntry* symbols);

  // The entry for the next bits of the stream, `bits` holding at least kMaxCodeBits of them.
  HuffmanEntry Lookup(uint64_t bits) const {
    HuffmanEntry e = entries_[bits & ((1u << kPrimaryBits) - 1)];
    if (e.kind == kSubtable) {
      e = entries_[e.value + ((bits >> kPrimaryBits) & ((1u << kSubtableBits) - 1))];
    }
    return e;
  }

 private:
  std::vector<HuffmanEntry> entries_;
};
