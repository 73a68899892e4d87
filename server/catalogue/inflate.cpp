#include "server/catalogue/inflate.h"

#include <cstring>

#include "server/catalogue/huffman_table.h"
#include "server/catalogue/read_limits.h"

namespace {

constexpr uint16_t kLengthBase[29] = {3,  4,  5,  6,   7,   8,   9,   10,  11, 13,
                                      15, 17, 19, 23,  27,  31,  35,  43,  51, 59,
                                      67, 83, 99, 115, 131, 163, 195, 227, 258};
constexpr uint8_t kLengthExtra[29] = {0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 2,
                                      2, 3, 3, 3, 3, 4, 4, 4, 4, 5, 5, 5, 5, 0};
constexpr uint16_t kDistanceBase[30] = {
    1,   2,   3,   4,   5,   7,    9,    13,   17,   25,   33,   49,   65,    97,    129,
    193, 257, 385, 513, 769, 1025, 1537, 2049, 3073, 4097, 6145, 8193, 12289, 16385, 24577};
constexpr uint8_t kDistanceExtra[30] = {0, 0, 0, 0, 1, 1, 2, 2,  3,  3,  4,  4,  5,  5,  6,
                                        6, 7, 7, 8, 8, 9, 9, 10, 10, 11, 11, 12, 12, 13, 13};
constexpr uint8_t kCodeLengthOrder[19] = {16, 17, 18, 0, 8,  7, 9,  6, 10, 5,
                                          11, 4,  12, 3, 13, 2, 14, 1, 15};

constexpr int kLiteralLengthSymbols = 288;
constexpr int kDistanceSymbols = 32;
constexpr int kCodeLengthSymbols = 19;
// A code that has not matched after this many bits never will; the code-length code is
// given longer before the bits count as no code, although its codes have at most 7 bits.
constexpr int kGiveUpBits = kMaxCodeBits;
constexpr int kCodeLengthGiveUpBits = 31;
// Room past the declared size for the 8-byte steps of a match copy.
constexpr size_t kOutputSlack = 8;
// The fast loop runs while one 8-byte load fits in the input and the longest match, with the
// up to 31 bytes its wide copy steps write past it, fits in the output.
constexpr size_t kFastInputRoom = 8;
constexpr size_t kFastOutputRoom = 258 + 32;

using huffman_entry::CodeBits;
using huffman_entry::ExtraBits;
using huffman_entry::kEndOfBlockFlag;
using huffman_entry::kErrorFlag;
using huffman_entry::kLiteralFlag;
using huffman_entry::TotalBits;
using huffman_entry::Value;

struct SymbolMeanings {
  uint32_t literal_length[kLiteralLengthSymbols];
  uint32_t distance[kDistanceSymbols];
  uint32_t code_length[kCodeLengthSymbols];

  SymbolMeanings() {
    using huffman_entry::Make;
    constexpr uint32_t kBad = Make(kErrorFlag, huffman_entry::kBadSymbolValue, 0);
    for (int s = 0; s < 256; ++s) literal_length[s] = Make(kLiteralFlag, s, 0);
    literal_length[256] = Make(kEndOfBlockFlag, 0, 0);
    for (int s = 257; s < 286; ++s) {
      literal_length[s] = Make(0, kLengthBase[s - 257], kLengthExtra[s - 257]);
    }
    for (int s = 286; s < kLiteralLengthSymbols; ++s) literal_length[s] = kBad;
    for (int s = 0; s < 30; ++s) distance[s] = Make(0, kDistanceBase[s], kDistanceExtra[s]);
    for (int s = 30; s < kDistanceSymbols; ++s) distance[s] = kBad;
    for (int s = 0; s < kCodeLengthSymbols; ++s) code_length[s] = Make(kLiteralFlag, s, 0);
  }
};

const SymbolMeanings& Meanings() {
  static const SymbolMeanings meanings;
  return meanings;
}

struct FixedTables {
  LiteralLengthTable literal_length;
  DistanceTable distance;

  FixedTables() {
    uint8_t lengths[kLiteralLengthSymbols];
    for (int s = 0; s < 144; ++s) lengths[s] = 8;
    for (int s = 144; s < 256; ++s) lengths[s] = 9;
    for (int s = 256; s < 280; ++s) lengths[s] = 7;
    for (int s = 280; s < 288; ++s) lengths[s] = 8;
    literal_length.Build(lengths, kLiteralLengthSymbols, Meanings().literal_length);
    // Only the 30 meaningful distance codes: the bits 11110 and 11111 begin no code.
    uint8_t distance_lengths[30];
    for (uint8_t& len : distance_lengths) len = 5;
    distance.Build(distance_lengths, 30, Meanings().distance);
  }
};

const FixedTables& Fixed() {
  static const FixedTables tables;
  return tables;
}

bool IsNoCode(uint32_t e) {
  return (e & kErrorFlag) && Value(e) == huffman_entry::kNoCodeValue;
}

uint64_t LoadLittleEndian64(const uint8_t* p) {
  uint64_t v;
  std::memcpy(&v, p, sizeof v);
  return v;  // little-endian host: x86-64 and arm64 as we build them
}

// Tops up the bit buffer to 56 bits or more with one 8-byte load.
// REQUIRES: `in` has 8 bytes; bitcount < 64.
void RefillFrom(const uint8_t*& in, uint64_t& bitbuf, uint32_t& bitcount) {
  // Bits above bitcount may already hold the next bytes; OR-ing them in again is harmless.
  bitbuf |= LoadLittleEndian64(in) << bitcount;
  in += (63 - bitcount) >> 3;
  bitcount |= 56;
}

// Copies [src, src + (end - dst)) to dst in steps of kStep bytes; the last step may write up
// to kStep - 1 bytes past `end`.
// REQUIRES: src + kStep <= dst, so that each step reads only bytes written before it.
template <size_t kStep>
void CopyInSteps(uint8_t* dst, const uint8_t* src, const uint8_t* end) {
  do {
    std::memcpy(dst, src, kStep);
    dst += kStep;
    src += kStep;
  } while (dst < end);
}

// Copies a match whose end leaves at least 31 bytes of room before the end of the output:
// the wide steps may write up to 31 bytes past the match, into output not yet written.
// REQUIRES: the match reaches no further back than the start of the output.
uint8_t* CopyMatchWide(uint8_t* dst, size_t length, size_t distance) {
  uint8_t* const end = dst + length;
  const uint8_t* src = dst - distance;
  if (distance >= 32) {
    CopyInSteps<32>(dst, src, end);
  } else if (distance >= 16) {
    CopyInSteps<16>(dst, src, end);
  } else if (distance >= 8) {
    CopyInSteps<8>(dst, src, end);
  } else {
    // The match repeats the last `distance` bytes: spell the pattern out to 8 bytes and store
    // it in steps of the largest multiple of `distance` that fits in 8.
    static constexpr uint8_t kStep[8] = {0, 8, 8, 6, 8, 5, 6, 7};
    uint8_t pattern[8];
    std::memcpy(pattern, src, 8);  // the bytes from `dst` on are overwritten below
    for (size_t i = distance; i < 8; ++i) pattern[i] = pattern[i - distance];
    const size_t step = kStep[distance];
    do {
      std::memcpy(dst, pattern, 8);
      dst += step;
    } while (dst < end);
  }
  return end;
}

// The decoding state of one stream. Bits are consumed from `bitbuf_`, which a refill keeps at
// 56 bits or more; past the end of the input the refill supplies zero bytes and counts them
// in `padding_bits_`, so consuming more bits than the input holds shows as
// bitcount_ < padding_bits_.
//
// Huffman blocks are decoded by two loops. The careful one checks every step and decides
// every error. The fast one runs while the input and the output have room for a whole symbol
// and its wide copy, so it needs no check but the distance; it stops before any symbol that
// is not a literal, a match or the end of the block, and leaves that symbol to the careful
// loop, which then reports the error.
class Decoder {
 public:
  Decoder(const uint8_t* input, size_t size, uint8_t* out, size_t out_size)
      : in_(input), in_end_(input + size), out_begin_(out), out_(out), out_end_(out + out_size) {}

  InflateResult Run() {
    bool final_block = false;
    while (!final_block) {
      Refill();
      final_block = Take(1) != 0;
      uint32_t type = Take(2);
      if (Overread()) return InflateResult::kTruncated;
      InflateResult r = InflateResult::kOk;
      if (type == 0) r = StoredBlock();
      if (type == 1) r = HuffmanBlock(Fixed().literal_length, Fixed().distance);
      if (type == 2) r = DynamicBlock();
      // Type 3 is taken as an empty block.
      if (r != InflateResult::kOk) return r;
    }
    return out_ == out_end_ ? InflateResult::kOk : InflateResult::kOutputShort;
  }

 private:
  void Refill() {
    if (static_cast<size_t>(in_end_ - in_) >= 8) {
      RefillFrom(in_, bitbuf_, bitcount_);
      return;
    }
    while (bitcount_ < 56) {
      if (in_ < in_end_) {
        bitbuf_ |= uint64_t{*in_++} << bitcount_;
      } else {
        padding_bits_ += 8;
      }
      bitcount_ += 8;
    }
  }

  // REQUIRES: n <= bitcount_.
  uint32_t Take(uint32_t n) {
    uint32_t v = static_cast<uint32_t>(bitbuf_ & ((uint64_t{1} << n) - 1));
    bitbuf_ >>= n;
    bitcount_ -= n;
    return v;
  }

  bool Overread() const { return bitcount_ < padding_bits_; }

  // Bits that begin no code: the stream is cut short when it does not have `give_up_bits`
  // left from here, otherwise the bits are no code.
  InflateResult NoCode(int give_up_bits) const {
    uint64_t left = (bitcount_ - padding_bits_) + 8 * static_cast<uint64_t>(in_end_ - in_);
    return left < static_cast<uint64_t>(give_up_bits) ? InflateResult::kTruncated
                                                      : InflateResult::kBadCode;
  }

  InflateResult StoredBlock() {
    Take(bitcount_ & 7);
    Refill();
    uint32_t length = Take(16);
    Take(16);  // the complement of the length, not checked
    if (Overread()) return InflateResult::kTruncated;
    // Hand the whole bytes still in the bit buffer back to the input and copy directly.
    in_ -= (bitcount_ - padding_bits_) >> 3;
    bitbuf_ = 0;
    bitcount_ = 0;
    padding_bits_ = 0;
    if (length > static_cast<size_t>(in_end_ - in_)) return InflateResult::kTruncated;
    if (length > static_cast<size_t>(out_end_ - out_)) return InflateResult::kOutputOverflow;
    std::memcpy(out_, in_, length);
    in_ += length;
    out_ += length;
    return InflateResult::kOk;
  }

  InflateResult DynamicBlock() {
    Refill();
    int literal_count = static_cast<int>(Take(5)) + 257;
    int distance_count = static_cast<int>(Take(5)) + 1;
    int code_length_count = static_cast<int>(Take(4)) + 4;
    uint8_t code_length_lengths[kCodeLengthSymbols] = {};
    for (int i = 0; i < code_length_count; ++i) {
      Refill();
      code_length_lengths[kCodeLengthOrder[i]] = static_cast<uint8_t>(Take(3));
    }
    if (Overread()) return InflateResult::kTruncated;
    if (!code_length_code_.Build(code_length_lengths, kCodeLengthSymbols, Meanings().code_length)) {
      return InflateResult::kBadCodeLengths;
    }

    // The literal/length and distance lengths form one sequence; a repeat may cross from one
    // into the other.
    uint8_t lengths[kLiteralLengthSymbols + kDistanceSymbols];
    int total = literal_count + distance_count;
    uint8_t previous = 0;
    for (int i = 0; i < total;) {
      Refill();
      uint32_t e = code_length_code_.Lookup(bitbuf_);
      if (IsNoCode(e)) return NoCode(kCodeLengthGiveUpBits);
      Take(CodeBits(e));
      uint32_t symbol = Value(e);
      int repeat = 1;
      uint8_t value = static_cast<uint8_t>(symbol);
      if (symbol == 16) {
        repeat = 3 + static_cast<int>(Take(2));
        value = previous;
      } else if (symbol == 17) {
        repeat = 3 + static_cast<int>(Take(3));
        value = 0;
      } else if (symbol == 18) {
        repeat = 11 + static_cast<int>(Take(7));
        value = 0;
      }
      if (Overread()) return InflateResult::kTruncated;
      if (repeat > total - i) return InflateResult::kBadCodeLengths;
      std::memset(lengths + i, value, repeat);
      i += repeat;
      previous = value;
    }
    if (!literal_length_.Build(lengths, literal_count, Meanings().literal_length) ||
        !distance_.Build(lengths + literal_count, distance_count, Meanings().distance)) {
      return InflateResult::kBadCodeLengths;
    }
    return HuffmanBlock(literal_length_, distance_);
  }

  InflateResult HuffmanBlock(const LiteralLengthTable& literal_length,
                             const DistanceTable& distance) {
    for (;;) {
      if (static_cast<size_t>(in_end_ - in_) >= kFastInputRoom &&
          static_cast<size_t>(out_end_ - out_) >= kFastOutputRoom &&
          FastSymbols(literal_length, distance)) {
        return InflateResult::kOk;
      }
      bool end_of_block = false;
      InflateResult r = CarefulSymbol(literal_length, distance, &end_of_block);
      if (r != InflateResult::kOk || end_of_block) return r;
    }
  }

  // Decodes symbols while the input and the output have room for the widest step; true when
  // it has decoded the end of the block. It stops at a symbol boundary, before any symbol
  // that would be an error, leaving that symbol to CarefulSymbol.
  // REQUIRES: kFastInputRoom bytes of input and kFastOutputRoom bytes of output are left.
  bool FastSymbols(const LiteralLengthTable& literal_length_table,
                   const DistanceTable& distance_table) {
    // Locals, not members: stores through the output pointer could otherwise alias them.
    const uint32_t* const literal_length = literal_length_table.entries();
    const uint32_t* const distance = distance_table.entries();
    const uint8_t* in = in_;
    uint64_t bitbuf = bitbuf_;
    uint32_t bitcount = bitcount_;
    uint8_t* out = out_;
    const uint8_t* const in_limit = in_end_ - kFastInputRoom;
    uint8_t* const out_limit = out_end_ - kFastOutputRoom;
    uint8_t* const out_begin = out_begin_;
    bool end_of_block = false;
    // At the top of the loop the buffer holds 56 bits or more, enough for a length of up to
    // 15 + 5 bits and a distance of up to 15 + 13 bits, and `e` is the entry of its first
    // symbol.
    RefillFrom(in, bitbuf, bitcount);
    uint32_t e = LiteralLengthTable::Lookup(literal_length, bitbuf);
    for (;;) {
      if (e & kLiteralFlag) {
        bitbuf >>= TotalBits(e);
        bitcount -= TotalBits(e);
        *out++ = static_cast<uint8_t>(Value(e));
        // 41 bits or more are left: look the next symbol up before the refill, which adds
        // bits only above them, so that the refill is not on the path from one symbol to
        // the next.
        e = LiteralLengthTable::Lookup(literal_length, bitbuf);
        if (in > in_limit || out > out_limit) break;
        RefillFrom(in, bitbuf, bitcount);
        continue;
      }
      if (e & (kEndOfBlockFlag | kErrorFlag)) {
        if (e & kEndOfBlockFlag) {
          bitbuf >>= TotalBits(e);
          bitcount -= TotalBits(e);
          end_of_block = true;
        }
        break;
      }
      const uint64_t symbol_bits = bitbuf;
      size_t length = Value(e) + ((bitbuf & ((uint64_t{1} << TotalBits(e)) - 1)) >> CodeBits(e));
      bitbuf >>= TotalBits(e);
      uint32_t d = DistanceTable::Lookup(distance, bitbuf);
      size_t dist = Value(d) + ((bitbuf & ((uint64_t{1} << TotalBits(d)) - 1)) >> CodeBits(d));
      if ((d & kErrorFlag) || dist > static_cast<size_t>(out - out_begin)) {
        bitbuf = symbol_bits;
        break;
      }
      bitbuf >>= TotalBits(d);
      bitcount -= TotalBits(e) + TotalBits(d);
      out = CopyMatchWide(out, length, dist);
      if (in > in_limit || out > out_limit) break;
      RefillFrom(in, bitbuf, bitcount);
      e = LiteralLengthTable::Lookup(literal_length, bitbuf);
    }
    in_ = in;
    bitbuf_ = bitbuf;
    bitcount_ = bitcount;
    out_ = out;
    return end_of_block;
  }

  // Decodes one symbol, checking every step. On kOk, `end_of_block` says whether it was the
  // end of the block.
  InflateResult CarefulSymbol(const LiteralLengthTable& literal_length,
                              const DistanceTable& distance, bool* end_of_block) {
    // One refill covers the longest length/distance pair: 15 + 5 + 15 + 13 bits.
    Refill();
    uint32_t e = literal_length.Lookup(bitbuf_);
    if (e & kLiteralFlag) {
      Take(CodeBits(e));
      if (Overread()) return InflateResult::kTruncated;
      if (out_ == out_end_) return InflateResult::kOutputOverflow;
      *out_++ = static_cast<uint8_t>(Value(e));
      return InflateResult::kOk;
    }
    if (IsNoCode(e)) return NoCode(kGiveUpBits);
    Take(CodeBits(e));
    if (Overread()) return InflateResult::kTruncated;
    if (e & kEndOfBlockFlag) {
      *end_of_block = true;
      return InflateResult::kOk;
    }
    if (e & kErrorFlag) return InflateResult::kBadSymbol;

    size_t length = Value(e) + Take(ExtraBits(e));
    if (Overread()) return InflateResult::kTruncated;
    uint32_t d = distance.Lookup(bitbuf_);
    if (IsNoCode(d)) return NoCode(kGiveUpBits);
    Take(CodeBits(d));
    if (Overread()) return InflateResult::kTruncated;
    if (d & kErrorFlag) return InflateResult::kBadSymbol;
    size_t dist = Value(d) + Take(ExtraBits(d));
    if (Overread()) return InflateResult::kTruncated;

    if (dist > static_cast<size_t>(out_ - out_begin_)) return InflateResult::kDistanceTooFar;
    if (length > static_cast<size_t>(out_end_ - out_)) return InflateResult::kOutputOverflow;
    CopyMatch(length, dist);
    return InflateResult::kOk;
  }

  // REQUIRES: the match fits before out_end_ and reaches no further back than out_begin_.
  void CopyMatch(size_t length, size_t dist) {
    uint8_t* dst = out_;
    const uint8_t* src = out_ - dist;
    out_ += length;
    if (dist >= 8) {
      // The last step may run up to 7 bytes past the match, into output not yet written or
      // into the slack.
      CopyInSteps<8>(dst, src, out_);
    } else if (dist == 1) {
      std::memset(dst, *src, length);
    } else {
      for (size_t i = 0; i < length; ++i) dst[i] = src[i];
    }
  }

  const uint8_t* in_;
  const uint8_t* in_end_;
  uint64_t bitbuf_ = 0;
  uint32_t bitcount_ = 0;
  uint32_t padding_bits_ = 0;
  uint8_t* const out_begin_;
  uint8_t* out_;
  uint8_t* const out_end_;
  CodeLengthTable code_length_code_;
  LiteralLengthTable literal_length_;
  DistanceTable distance_;
};

}  // namespace

InflateResult Inflate(const uint8_t* input, size_t size, uint64_t declared_size,
                      std::vector<uint8_t>* out) {
  if (declared_size > kMaxFileBytes || declared_size > size * kMaxInflateRatio) {
    return InflateResult::kTooLarge;
  }
  std::vector<uint8_t> bytes(declared_size + kOutputSlack);
  Decoder decoder(input, size, bytes.data(), declared_size);
  InflateResult result = decoder.Run();
  if (result != InflateResult::kOk) return result;
  bytes.resize(declared_size);
  *out = std::move(bytes);
  return result;
}
