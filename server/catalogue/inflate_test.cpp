#include "server/catalogue/inflate.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "server/catalogue/read_limits.h"
#include "server/catalogue/testing/test_support.h"

namespace {

using test_support::Quote;
using test_support::ReadFile;
using test_support::RunShell;
using test_support::TempDir;
using test_support::WriteFile;

std::vector<uint8_t> Bytes(const std::string& text) {
  return std::vector<uint8_t>(text.begin(), text.end());
}

// Writes a DEFLATE stream bit by bit: numbers least-significant bit first, Huffman codes most
// significant bit first, as the format packs them.
class BitWriter {
 public:
  void Bits(uint32_t value, int count) {
    for (int i = 0; i < count; ++i) Bit((value >> i) & 1);
  }
  void Code(uint32_t code, int length) {
    for (int i = length - 1; i >= 0; --i) Bit((code >> i) & 1);
  }
  void AlignToByte() {
    while (used_ != 0) Bit(0);
  }
  void Byte(uint8_t b) { Bits(b, 8); }
  void Header(bool final_block, int type) {
    Bits(final_block ? 1 : 0, 1);
    Bits(type, 2);
  }
  std::vector<uint8_t> Finish() {
    AlignToByte();
    return bytes_;
  }

 private:
  void Bit(uint32_t bit) {
    if (used_ == 0) bytes_.push_back(0);
    bytes_.back() |= static_cast<uint8_t>(bit << used_);
    used_ = (used_ + 1) % 8;
  }
  std::vector<uint8_t> bytes_;
  int used_ = 0;
};

// The fixed literal/length code and the fixed 5-bit distance code.
void FixedSymbol(BitWriter& w, int symbol) {
  if (symbol < 144) {
    w.Code(0x30 + symbol, 8);
  } else if (symbol < 256) {
    w.Code(0x190 + symbol - 144, 9);
  } else if (symbol < 280) {
    w.Code(symbol - 256, 7);
  } else {
    w.Code(0xC0 + symbol - 280, 8);
  }
}

// Canonical codes for a list of code lengths, assigned as the format defines them.
std::vector<uint32_t> CanonicalCodes(const std::vector<uint8_t>& lengths) {
  uint32_t count[16] = {};
  for (uint8_t len : lengths) ++count[len];
  count[0] = 0;
  uint32_t next[16] = {};
  uint32_t code = 0;
  for (int len = 1; len < 16; ++len) {
    code = (code + count[len - 1]) << 1;
    next[len] = code;
  }
  std::vector<uint32_t> codes(lengths.size());
  for (size_t s = 0; s < lengths.size(); ++s) {
    if (lengths[s] != 0) codes[s] = next[lengths[s]]++;
  }
  return codes;
}

// A dynamic block header. The code-length code gives all 19 symbols 5 bits, so symbol s is
// written as the 5-bit number s; `sequence` is the code-length symbols with their extra bits.
void DynamicHeader(BitWriter& w, int literal_count, int distance_count,
                   const std::vector<std::pair<int, int>>& sequence) {
  w.Bits(literal_count - 257, 5);
  w.Bits(distance_count - 1, 5);
  w.Bits(19 - 4, 4);
  for (int i = 0; i < 19; ++i) w.Bits(5, 3);
  for (auto [symbol, extra] : sequence) {
    w.Code(symbol, 5);
    if (symbol == 16) w.Bits(extra, 2);
    if (symbol == 17) w.Bits(extra, 3);
    if (symbol == 18) w.Bits(extra, 7);
  }
}

// A dynamic code with the given lengths, written out plainly, one length per symbol.
struct DynamicCode {
  std::vector<uint8_t> literal_length;
  std::vector<uint8_t> distance;

  void WriteHeader(BitWriter& w) const {
    std::vector<std::pair<int, int>> sequence;
    for (uint8_t len : literal_length) sequence.push_back({len, 0});
    for (uint8_t len : distance) sequence.push_back({len, 0});
    DynamicHeader(w, static_cast<int>(literal_length.size()), static_cast<int>(distance.size()),
                  sequence);
  }
  void Literal(BitWriter& w, int symbol) const {
    w.Code(CanonicalCodes(literal_length)[symbol], literal_length[symbol]);
  }
  void Distance(BitWriter& w, int symbol) const {
    w.Code(CanonicalCodes(distance)[symbol], distance[symbol]);
  }
};

// Literal/length lengths: 257 entries unless more are asked for, all 0 but those given.
std::vector<uint8_t> Lengths(size_t count, std::vector<std::pair<int, uint8_t>> given) {
  std::vector<uint8_t> lengths(count, 0);
  for (auto [symbol, len] : given) lengths[symbol] = len;
  return lengths;
}

struct Case {
  const char* name;
  std::vector<uint8_t> input;
  uint64_t declared_size;
  InflateResult expected;
  std::vector<uint8_t> expected_output;  // compared when `expected` is kOk
};

std::vector<uint8_t> FixedStream(const std::vector<int>& symbols, bool final_block = true) {
  BitWriter w;
  w.Header(final_block, 1);
  for (int s : symbols) FixedSymbol(w, s);
  return w.Finish();
}

std::vector<Case> HandMadeCases() {
  std::vector<Case> cases;
  cases.push_back({"empty input", {}, 0, InflateResult::kTruncated, {}});
  {
    BitWriter w;
    w.Header(true, 0);
    w.AlignToByte();
    w.Bits(5, 16);
    w.Bits(0xFFFF ^ 5, 16);
    w.Byte('x');
    w.Byte('y');
    cases.push_back({"stored block cut short", w.Finish(), 5, InflateResult::kTruncated, {}});
  }
  {
    BitWriter w;
    w.Header(true, 0);
    w.AlignToByte();
    w.Bits(3, 16);
    w.Bits(0, 16);  // not the complement; it is not checked
    for (char c : std::string("xyz")) w.Byte(c);
    cases.push_back({"stored block", w.Finish(), 3, InflateResult::kOk, Bytes("xyz")});
  }
  {
    BitWriter w;
    w.Header(false, 0);
    w.AlignToByte();
    w.Bits(0, 16);
    w.Bits(0xFFFF, 16);
    w.Header(true, 0);
    w.AlignToByte();
    w.Bits(4, 16);
    w.Bits(0xFFFF ^ 4, 16);
    for (char c : std::string("abcd")) w.Byte(c);
    cases.push_back({"empty stored block, then a stored block", w.Finish(), 4, InflateResult::kOk,
                     Bytes("abcd")});
  }
  cases.push_back({"input ends after a block that is not final",
                   FixedStream({'a', 256}, false),
                   1,
                   InflateResult::kTruncated,
                   {}});
  cases.push_back({"input ends inside the final block",
                   FixedStream({'a', 'b', 'c'}),
                   4,
                   InflateResult::kTruncated,
                   {}});
  cases.push_back(
      {"fixed block", FixedStream({'a', 'b', 200, 256}), 3, InflateResult::kOk, {'a', 'b', 200}});
  {
    std::vector<uint8_t> input = FixedStream({'a', 256});
    input.insert(input.end(), {0xFF, 0xFF, 0x12});
    cases.push_back(
        {"input after the final block is ignored", input, 1, InflateResult::kOk, Bytes("a")});
  }
  {
    // 'a', then length 3 at distance 1: "aaaa".
    BitWriter w;
    w.Header(true, 1);
    FixedSymbol(w, 'a');
    FixedSymbol(w, 257);
    w.Code(0, 5);
    FixedSymbol(w, 256);
    cases.push_back({"match reaching back to the first byte", w.Finish(), 4, InflateResult::kOk,
                     Bytes("aaaa")});
  }
  {
    // "ab", then length 10 at distance 2 repeats the pair.
    BitWriter w;
    w.Header(true, 1);
    FixedSymbol(w, 'a');
    FixedSymbol(w, 'b');
    FixedSymbol(w, 264);  // length 10
    w.Code(1, 5);         // distance 2
    FixedSymbol(w, 256);
    cases.push_back({"match overlapping its own output", w.Finish(), 12, InflateResult::kOk,
                     Bytes("abababababab")});
  }
  {
    BitWriter w;
    w.Header(true, 1);
    FixedSymbol(w, 'a');
    FixedSymbol(w, 257);
    w.Code(1, 5);  // distance 2 with one byte written
    FixedSymbol(w, 256);
    cases.push_back(
        {"distance before the start", w.Finish(), 4, InflateResult::kDistanceTooFar, {}});
  }
  for (bool enough_bits : {true, false}) {
    // Distance codes 30 and 31 do not exist in fixed blocks: 11110 begins no code.
    BitWriter w;
    w.Header(true, 1);
    FixedSymbol(w, 'a');
    FixedSymbol(w, 257);
    w.Code(0x1E, 5);
    if (enough_bits) w.Bits(0, 16);
    cases.push_back({enough_bits ? "fixed distance code 30, 15 bits there"
                                 : "fixed distance code 30, fewer than 15 bits there",
                     w.Finish(),
                     4,
                     enough_bits ? InflateResult::kBadCode : InflateResult::kTruncated,
                     {}});
  }
  cases.push_back(
      {"length symbol 286", FixedStream({'a', 286, 0, 0}), 10, InflateResult::kBadSymbol, {}});
  cases.push_back(
      {"length symbol 287", FixedStream({287, 0, 0}), 10, InflateResult::kBadSymbol, {}});
  cases.push_back({"literal past the declared size",
                   FixedStream({'a', 'b', 256}),
                   1,
                   InflateResult::kOutputOverflow,
                   {}});
  {
    BitWriter w;
    w.Header(true, 1);
    FixedSymbol(w, 'a');
    FixedSymbol(w, 257);
    w.Code(0, 5);
    FixedSymbol(w, 256);
    cases.push_back(
        {"match past the declared size", w.Finish(), 3, InflateResult::kOutputOverflow, {}});
  }
  {
    BitWriter w;
    w.Header(true, 0);
    w.AlignToByte();
    w.Bits(5, 16);
    w.Bits(0xFFFF ^ 5, 16);
    for (char c : std::string("vwxyz")) w.Byte(c);
    cases.push_back(
        {"stored block past the declared size", w.Finish(), 3, InflateResult::kOutputOverflow, {}});
  }
  cases.push_back({"final block ends before the declared size",
                   FixedStream({'a', 256}),
                   2,
                   InflateResult::kOutputShort,
                   {}});
  {
    BitWriter w;
    w.Header(true, 3);
    cases.push_back({"block type 3 is an empty block", w.Finish(), 0, InflateResult::kOk, {}});
  }
  {
    BitWriter w;
    w.Header(false, 3);
    w.Header(true, 1);
    FixedSymbol(w, 'q');
    FixedSymbol(w, 256);
    cases.push_back(
        {"block type 3, then a fixed block", w.Finish(), 1, InflateResult::kOk, Bytes("q")});
  }
  {
    // 'a' 2 bits, end of block 2 bits, length 3 one bit; distances 0 and 30 one bit each.
    DynamicCode code{Lengths(258, {{'a', 2}, {256, 2}, {257, 1}}), Lengths(32, {{0, 1}, {30, 1}})};
    BitWriter w;
    w.Header(true, 2);
    code.WriteHeader(w);
    code.Literal(w, 'a');
    code.Literal(w, 257);
    code.Distance(w, 0);
    code.Literal(w, 256);
    cases.push_back({"dynamic block", w.Finish(), 4, InflateResult::kOk, Bytes("aaaa")});
  }
  {
    DynamicCode code{Lengths(258, {{'a', 2}, {256, 2}, {257, 1}}), Lengths(32, {{0, 1}, {30, 1}})};
    BitWriter w;
    w.Header(true, 2);
    code.WriteHeader(w);
    code.Literal(w, 'a');
    code.Literal(w, 257);
    code.Distance(w, 30);
    w.Bits(0, 16);
    cases.push_back({"distance symbol 30", w.Finish(), 4, InflateResult::kBadSymbol, {}});
  }
  for (bool enough_bits : {true, false}) {
    // An incomplete literal/length code: 'a' is 0, end of block 10, and 11 begins nothing.
    DynamicCode code{Lengths(257, {{'a', 1}, {256, 2}}), Lengths(1, {})};
    BitWriter w;
    w.Header(true, 2);
    code.WriteHeader(w);
    code.Literal(w, 'a');
    w.Code(3, 2);
    if (enough_bits) w.Bits(0, 16);
    cases.push_back({enough_bits ? "literal/length bits that begin no code"
                                 : "literal/length bits that begin no code, input ends",
                     w.Finish(),
                     2,
                     enough_bits ? InflateResult::kBadCode : InflateResult::kTruncated,
                     {}});
  }
  for (bool enough_bits : {true, false}) {
    // A code-length code with one code, 0 for symbol 18: the bit 1 begins nothing, which
    // shows only after 31 bits.
    BitWriter w;
    w.Header(true, 2);
    w.Bits(0, 5);
    w.Bits(0, 5);
    w.Bits(0, 4);  // four code-length lengths: symbols 16, 17, 18, 0
    w.Bits(0, 3);
    w.Bits(0, 3);
    w.Bits(1, 3);
    w.Bits(0, 3);
    w.Code(1, 1);
    if (enough_bits) w.Bits(0, 32);
    cases.push_back({enough_bits ? "code-length bits that begin no code, 31 bits there"
                                 : "code-length bits that begin no code, input ends",
                     w.Finish(),
                     1,
                     enough_bits ? InflateResult::kBadCode : InflateResult::kTruncated,
                     {}});
  }
  {
    DynamicCode code{Lengths(257, {{'a', 1}, {'b', 1}, {256, 1}}), Lengths(1, {})};
    BitWriter w;
    w.Header(true, 2);
    code.WriteHeader(w);
    w.Bits(0, 16);
    cases.push_back(
        {"over-subscribed literal/length code", w.Finish(), 1, InflateResult::kBadCodeLengths, {}});
  }
  {
    // 257 + 1 lengths, but the last symbol asks for 138 zeros.
    BitWriter w;
    w.Header(true, 2);
    DynamicHeader(w, 257, 1, {{18, 127}, {18, 127}, {2, 0}, {18, 127}});
    w.Bits(0, 16);
    cases.push_back(
        {"repeat past the last length", w.Finish(), 1, InflateResult::kBadCodeLengths, {}});
  }
  {
    // 'A' and 'B' 2 bits, end of block 1 bit. Between them and the end of block, 17 writes
    // three zeros and 16 repeats the previous length three times: had it repeated 'B''s 2,
    // the code would be over-subscribed.
    BitWriter w;
    w.Header(true, 2);
    DynamicHeader(w, 257, 1,
                  {{18, 65 - 11},
                   {2, 0},
                   {2, 0},
                   {17, 0},
                   {16, 0},
                   {18, 127},
                   {18, 256 - 73 - 138 - 11},
                   {1, 0},
                   {0, 0}});
    w.Code(2, 2);  // A
    w.Code(3, 2);  // B
    w.Code(0, 1);  // end of block
    cases.push_back(
        {"16 after 17 repeats length 0", w.Finish(), 2, InflateResult::kOk, Bytes("AB")});
  }
  {
    // The errors above, far from the ends of the input and the output, where the decoder
    // takes its fast path: 600 literals first, 16 bytes of input after.
    struct Tail {
      const char* name;
      void (*write)(BitWriter&);
      InflateResult expected;
    };
    const Tail tails[] = {
        {"distance before the start, mid-stream",
         [](BitWriter& w) {
           FixedSymbol(w, 257);
           w.Code(29, 5);
           w.Bits(0, 13);  // distance 24577
         },
         InflateResult::kDistanceTooFar},
        {"fixed distance code 30, mid-stream",
         [](BitWriter& w) {
           FixedSymbol(w, 257);
           w.Code(0x1E, 5);
         },
         InflateResult::kBadCode},
        {"length symbol 286, mid-stream", [](BitWriter& w) { FixedSymbol(w, 286); },
         InflateResult::kBadSymbol},
        {"literal past the declared size, mid-stream",
         [](BitWriter& w) {
           for (int i = 0; i < 400; ++i) FixedSymbol(w, 'b');
         },
         InflateResult::kOutputOverflow},
    };
    for (const Tail& tail : tails) {
      BitWriter w;
      w.Header(true, 1);
      for (int i = 0; i < 600; ++i) FixedSymbol(w, 'a' + i % 3);
      tail.write(w);
      for (int i = 0; i < 4; ++i) w.Bits(0, 32);
      cases.push_back({tail.name, w.Finish(), 999, tail.expected, {}});
    }
  }
  cases.push_back({"declared size beyond what the input can hold",
                   {0x03, 0x00},
                   2 * 1032 + 1,
                   InflateResult::kTooLarge,
                   {}});
  cases.push_back({"declared size beyond the limit",
                   std::vector<uint8_t>(kMaxFileBytes / kMaxInflateRatio + 1),
                   kMaxFileBytes + 1,
                   InflateResult::kTooLarge,
                   {}});
  cases.push_back({"empty fixed block, nothing declared", {0x03, 0x00}, 0, InflateResult::kOk, {}});
  return cases;
}

TEST(InflateTest, HandMadeStreams) {
  for (const Case& c : HandMadeCases()) {
    SCOPED_TRACE(c.name);
    std::vector<uint8_t> out = {'u', 'n', 't', 'o', 'u', 'c', 'h', 'e', 'd'};
    InflateResult result = Inflate(c.input.data(), c.input.size(), c.declared_size, &out);
    EXPECT_EQ(static_cast<int>(result), static_cast<int>(c.expected));
    if (c.expected == InflateResult::kOk) {
      EXPECT_EQ(out, c.expected_output);
    } else {
      EXPECT_EQ(out, Bytes("untouched"));
    }
  }
}

// Streams of zlib (through Python's binding) at several levels and strategies, including
// sync flushes that put empty stored blocks mid-stream.
constexpr const char* kZlibScript = R"(
import sys, zlib
source, folder = sys.argv[1], sys.argv[2]
data = open(source, 'rb').read()
cases = {'zlib-0': (0, 0), 'zlib-1': (1, 0), 'zlib-6': (6, 0), 'zlib-9': (9, 0),
         'zlib-fixed': (6, zlib.Z_FIXED), 'zlib-huffman-only': (6, zlib.Z_HUFFMAN_ONLY),
         'zlib-rle': (6, zlib.Z_RLE)}
for name, (level, strategy) in cases.items():
    c = zlib.compressobj(level, zlib.DEFLATED, -15, 9, strategy)
    open(folder + '/' + name, 'wb').write(c.compress(data) + c.flush())
c = zlib.compressobj(6, zlib.DEFLATED, -15)
parts = [c.compress(data[i:i + 7000]) + c.flush(zlib.Z_SYNC_FLUSH) for i in range(0, len(data), 7000)]
open(folder + '/zlib-sync-flush', 'wb').write(b''.join(parts) + c.flush())
)";

// The raw data of the first member of a ZIP archive.
constexpr const char* kRawMemberScript = R"(
import sys, struct, zipfile
archive, target = sys.argv[1], sys.argv[2]
info = zipfile.ZipFile(archive).infolist()[0]
if info.compress_type != zipfile.ZIP_DEFLATED:
    sys.exit('the member is not deflated')
f = open(archive, 'rb')
f.seek(info.header_offset)
header = f.read(30)
name_length, extra_length = struct.unpack('<HH', header[26:30])
f.seek(info.header_offset + 30 + name_length + extra_length)
open(target, 'wb').write(f.read(info.compress_size))
)";

// Mostly incompressible, but not so much that 7-Zip stores it rather than deflates it.
std::vector<uint8_t> NoiseThenText() {
  std::vector<uint8_t> bytes = test_support::SampleNoise(40000, 2);
  std::vector<uint8_t> text = test_support::SampleText(20000, 4);
  bytes.insert(bytes.end(), text.begin(), text.end());
  return bytes;
}

TEST(InflateTest, StreamsOfOtherEncodersDecodeExactly) {
  const std::string python = "/usr/bin/python3";
  for (const char* tool : {"/usr/bin/python3", "zopfli", "7z"}) {
    if (!test_support::HaveTool(tool)) GTEST_SKIP() << tool << " is not installed";
  }
  TempDir dir;
  WriteFile(dir.Join("zlib.py"), std::string(kZlibScript));
  WriteFile(dir.Join("raw_member.py"), std::string(kRawMemberScript));
  struct Input {
    std::string name;
    std::vector<uint8_t> bytes;
    bool seven_zip_deflates;  // 7-Zip stores what deflating would not shrink
  };
  const std::vector<Input> inputs = {
      {"text", test_support::SampleText(200000, 1), true},
      {"noise, then text", NoiseThenText(), true},
      {"runs", test_support::SampleRuns(150000, 3), true},
      {"one byte", Bytes("a"), false},
  };
  const std::vector<std::string> encoders = {"zlib-0",
                                             "zlib-1",
                                             "zlib-6",
                                             "zlib-9",
                                             "zlib-fixed",
                                             "zlib-rle",
                                             "zlib-huffman-only",
                                             "zlib-sync-flush",
                                             "zopfli",
                                             "7zip"};
  for (size_t i = 0; i < inputs.size(); ++i) {
    const std::string& input_name = inputs[i].name;
    const std::vector<uint8_t>& original = inputs[i].bytes;
    std::string folder = dir.Join("input" + std::to_string(i));
    std::string source = folder + "/data";
    WriteFile(source, original);
    ASSERT_EQ(RunShell(python + " " + Quote(dir.Join("zlib.py")) + " " + Quote(source) + " " +
                       Quote(folder)),
              0);
    ASSERT_EQ(
        RunShell("zopfli --i5 --deflate -c " + Quote(source) + " > " + Quote(folder + "/zopfli")),
        0);
    ASSERT_EQ(RunShell("cd " + Quote(folder) +
                       " && 7z a -tzip -mm=Deflate -mx=9 data.zip data >/dev/null"),
              0);
    if (inputs[i].seven_zip_deflates) {
      ASSERT_EQ(RunShell(python + " " + Quote(dir.Join("raw_member.py")) + " " +
                         Quote(folder + "/data.zip") + " " + Quote(folder + "/7zip")),
                0);
    }
    for (const std::string& encoder : encoders) {
      if (encoder == "7zip" && !inputs[i].seven_zip_deflates) continue;
      SCOPED_TRACE(input_name + " by " + encoder);
      std::vector<uint8_t> stream = ReadFile(folder + "/" + encoder);
      ASSERT_FALSE(stream.empty());
      std::vector<uint8_t> out;
      ASSERT_EQ(static_cast<int>(Inflate(stream.data(), stream.size(), original.size(), &out)),
                static_cast<int>(InflateResult::kOk));
      EXPECT_TRUE(out == original);
      // A declared size one short or one long fails at the end of the output.
      std::vector<uint8_t> unused;
      EXPECT_EQ(
          static_cast<int>(Inflate(stream.data(), stream.size(), original.size() - 1, &unused)),
          static_cast<int>(InflateResult::kOutputOverflow));
      EXPECT_EQ(
          static_cast<int>(Inflate(stream.data(), stream.size(), original.size() + 1, &unused)),
          static_cast<int>(InflateResult::kOutputShort));
      // Every strict prefix of a stream fails; none is taken for the whole.
      for (size_t cut : {size_t{0}, stream.size() / 2, stream.size() - 1}) {
        std::vector<uint8_t> partial;
        EXPECT_NE(static_cast<int>(Inflate(stream.data(), cut, original.size(), &partial)),
                  static_cast<int>(InflateResult::kOk))
            << "cut at " << cut;
      }
    }
  }
}

}  // namespace
