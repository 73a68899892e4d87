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

HuffmanEntry MakeEntry(HuffmanKind kind, uint16_t value, int extra) {
  HuffmanEntry e;
  e.kind = kind;
  e.value = value;
  e.bits_extra = static_cast<uint8_t>(extra << 4);
  return e;
}

struct SymbolMeanings {
  HuffmanEntry literal_length[kLiteralLengthSymbols];
  HuffmanEntry distance[kDistanceSymbols];
  HuffmanEntry code_length[kCodeLengthSymbols];

  SymbolMeanings() {
    for (int s = 0; s < 256; ++s) literal_length[s] = MakeEntry(kLiteral, s, 0);
    literal_length[256] = MakeEntry(kEndOfBlock, 0, 0);
    for (int s = 257; s < 286; ++s) {
      literal_length[s] = MakeEntry(kLength, kLengthBase[s - 257], kLengthExtra[s - 257]);
    }
    for (int s = 286; s < kLiteralLengthSymbols; ++s)
      literal_length[s] = MakeEntry(kBadSymbol, 0, 0);
    for (int s = 0; s < 30; ++s) {
      distance[s] = MakeEntry(kDistance, kDistanceBase[s], kDistanceExtra[s]);
    }
    for (int s = 30; s < kDistanceSymbols; ++s) distance[s] = MakeEntry(kBadSymbol, 0, 0);
    for (int s = 0; s < kCodeLengthSymbols; ++s) code_length[s] = MakeEntry(kLiteral, s, 0);
  }
};

const SymbolMeanings& Meanings() {
  static const SymbolMeanings meanings;
  return meanings;
}

struct FixedTables {
  HuffmanTable literal_length;
  HuffmanTable distance;

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

uint64_t LoadLittleEndian64(const uint8_t* p) {
  uint64_t v;
  std::memcpy(&v, p, sizeof v);
  return v;  // little-endian host: x86-64 and arm64 as we build them
}

// The decoding state of one stream. Bits are consumed from `bitbuf_`, which a refill keeps at
// 56 bits or more; past the end of the input the refill supplies zero bytes and counts them
// in `padding_bits_`, so consuming more bits than the input holds shows as
// bitcount_ < padding_bits_.
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
    if (in_end_ - in_ >= 8) {
      // Bits above bitcount_ may already hold the next bytes; OR-ing them in again is harmless.
      bitbuf_ |= LoadLittleEndian64(in_) << bitcount_;
      in_ += (63 - bitcount_) >> 3;
      bitcount_ |= 56;
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
  uint32_t Take(int n) {
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
      HuffmanEntry e = code_length_code_.Lookup(bitbuf_);
      if (e.kind == kInvalid) return NoCode(kCodeLengthGiveUpBits);
      Take(e.bits());
      int symbol = e.value;
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

  InflateResult HuffmanBlock(const HuffmanTable& literal_length, const HuffmanTable& distance) {
    for (;;) {
      // One refill covers the longest length/distance pair: 15 + 5 + 15 + 13 bits.
      Refill();
      HuffmanEntry e = literal_length.Lookup(bitbuf_);
      if (e.kind == kLiteral) {
        Take(e.bits());
        if (Overread()) return InflateResult::kTruncated;
        if (out_ == out_end_) return InflateResult::kOutputOverflow;
        *out_++ = static_cast<uint8_t>(e.value);
        continue;
      }
      if (e.kind == kInvalid) return NoCode(kGiveUpBits);
      Take(e.bits());
      if (Overread()) return InflateResult::kTruncated;
      if (e.kind == kEndOfBlock) return InflateResult::kOk;
      if (e.kind == kBadSymbol) return InflateResult::kBadSymbol;

      size_t length = e.value + Take(e.extra());
      if (Overread()) return InflateResult::kTruncated;
      HuffmanEntry d = distance.Lookup(bitbuf_);
      if (d.kind == kInvalid) return NoCode(kGiveUpBits);
      Take(d.bits());
      if (Overread()) return InflateResult::kTruncated;
      if (d.kind == kBadSymbol) return InflateResult::kBadSymbol;
      size_t dist = d.value + Take(d.extra());
      if (Overread()) return InflateResult::kTruncated;

      if (dist > static_cast<size_t>(out_ - out_begin_)) return InflateResult::kDistanceTooFar;
      if (length > static_cast<size_t>(out_end_ - out_)) return InflateResult::kOutputOverflow;
      CopyMatch(length, dist);
    }
  }

  // REQUIRES: the match fits before out_end_ and reaches no further back than out_begin_.
  void CopyMatch(size_t length, size_t dist) {
    uint8_t* dst = out_;
    const uint8_t* src = out_ - dist;
    out_ += length;
    if (dist >= 8) {
      // Each step reads only bytes written before it; the last may run up to 7 bytes past
      // the match, into output not yet written or into the slack.
      do {
        std::memcpy(dst, src, 8);
        dst += 8;
        src += 8;
      } while (dst < out_);
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
  HuffmanTable code_length_code_;
  HuffmanTable literal_length_;
  HuffmanTable distance_;
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
