// Decoding tables for the canonical Huffman codes of DEFLATE. A table is indexed by the next
// bits of the stream, taken least-significant first: a primary table of kPrimaryBits bits,
// and for codes longer than that a subtable under their primary prefix. Every slot that no
// code reaches holds kNoCode.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

constexpr int kMaxCodeBits = 15;

// A table entry is one 32-bit word, so that the decoding loop needs one load per symbol:
//   bits 0-5    the bits the symbol takes from the stream: its code and its extra bits
//   bits 8-11   the length of its code; the extra bits follow the code
//   bits 12-15  flags
//   bits 16-31  the value: the literal byte (or code-length symbol), the base length or
//               distance, or for kSubtableFlag the first slot of the subtable
// An entry with no flag is a length or a distance.
namespace huffman_entry {

constexpr uint32_t kLiteralFlag = 0x8000;
constexpr uint32_t kSubtableFlag = 0x4000;
constexpr uint32_t kEndOfBlockFlag = 0x2000;
// Bits that begin no code (value kNoCodeValue), or a symbol that has a code but no meaning
// (value kBadSymbolValue: lengths 286 and 287, distances 30 and 31).
constexpr uint32_t kErrorFlag = 0x1000;
constexpr uint32_t kNoCodeValue = 0;
constexpr uint32_t kBadSymbolValue = 1;
constexpr uint32_t kNoCode = kErrorFlag;

// The meaning of a symbol before its code is known: `extra` is its number of extra bits.
constexpr uint32_t Make(uint32_t flags, uint32_t value, uint32_t extra) {
  return value << 16 | flags | extra;
}

constexpr uint32_t TotalBits(uint32_t e) {
  return e & 63;
}
constexpr uint32_t CodeBits(uint32_t e) {
  return (e >> 8) & 15;
}
constexpr uint32_t ExtraBits(uint32_t e) {
  return TotalBits(e) - CodeBits(e);
}
constexpr uint32_t Value(uint32_t e) {
  return e >> 16;
}

}  // namespace huffman_entry

template <int kPrimaryBits>
class HuffmanTable {
 public:
  static_assert(kPrimaryBits > 0 && kPrimaryBits <= kMaxCodeBits);
  static constexpr int kSubtableBits = kMaxCodeBits - kPrimaryBits;

  // Assigns canonical codes to `lengths[0, count)` (0 = no code) and fills the table; symbol s
  // decodes to `symbols[s]` with its code length added. Lengths may leave the code space
  // incomplete (the unreached slots are kNoCode) but must not over-subscribe it: false then.
  // REQUIRES: every length <= kMaxCodeBits.
  bool Build(const uint8_t* lengths, size_t count, const uint32_t* symbols);

  // The entry for the next bits of the stream, `bits` holding at least kMaxCodeBits of them.
  uint32_t Lookup(uint64_t bits) const { return Lookup(entries_.data(), bits); }

  // The same from the table's entries, for loops that keep them in a register: stores
  // through a byte pointer could otherwise make the compiler reload them from the vector.
  static uint32_t Lookup(const uint32_t* entries, uint64_t bits) {
    uint32_t e = entries[bits & ((1u << kPrimaryBits) - 1)];
    if (e & huffman_entry::kSubtableFlag) {
      e = entries[huffman_entry::Value(e) + ((bits >> kPrimaryBits) & ((1u << kSubtableBits) - 1))];
    }
    return e;
  }
  const uint32_t* entries() const { return entries_.data(); }

 private:
  std::vector<uint32_t> entries_;
};

// Literal/length codes: most are 10 bits or shorter. Distances: most are 8 bits or shorter.
// Code-length codes: at most 7 bits, so never a subtable.
constexpr int kLiteralLengthPrimaryBits = 10;
constexpr int kDistancePrimaryBits = 8;
constexpr int kCodeLengthPrimaryBits = 7;
using LiteralLengthTable = HuffmanTable<kLiteralLengthPrimaryBits>;
using DistanceTable = HuffmanTable<kDistancePrimaryBits>;
using CodeLengthTable = HuffmanTable<kCodeLengthPrimaryBits>;
