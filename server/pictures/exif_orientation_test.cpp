#include "server/pictures/exif_orientation.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using Bytes = std::vector<uint8_t>;

Bytes Cat(std::initializer_list<Bytes> parts) {
  Bytes out;
  for (const Bytes& part : parts) out.insert(out.end(), part.begin(), part.end());
  return out;
}

Bytes Text(const std::string& text) {
  return Bytes(text.begin(), text.end());
}

// A marker segment: FF, the marker, the big-endian length (counting itself), the body.
Bytes Segment(uint8_t marker, const Bytes& body) {
  const size_t length = body.size() + 2;
  return Cat({{0xFF, marker, uint8_t(length >> 8), uint8_t(length)}, body});
}

struct Entry {
  uint16_t tag, type;
  uint32_t count;
  uint16_t value;
};

// A TIFF block whose IFD0 lies at `directory` (padded up to it when it is near) and holds
// `entries`, of which `declared` are announced.
Bytes Tiff(bool big_endian, const std::vector<Entry>& entries, uint32_t directory = 8,
           int declared = -1) {
  Bytes out;
  const auto number = [&out, big_endian](uint32_t value, int bytes) {
    for (int i = 0; i < bytes; ++i) {
      out.push_back(uint8_t(value >> (8 * (big_endian ? bytes - 1 - i : i))));
    }
  };
  number(big_endian ? 0x4D4D : 0x4949, 2);
  number(42, 2);
  number(directory, 4);
  if (directory < 64) out.resize(directory);
  number(declared < 0 ? uint32_t(entries.size()) : uint32_t(declared), 2);
  for (const Entry& e : entries) {
    number(e.tag, 2);
    number(e.type, 2);
    number(e.count, 4);
    number(e.value, 2);
    number(0, 2);
  }
  number(0, 4);
  return out;
}

Bytes Exif(const Bytes& tiff) {
  return Segment(0xE1, Cat({Text(std::string("Exif\0\0", 6)), tiff}));
}

const Bytes kSoi = {0xFF, 0xD8};
const Bytes kScan = Cat({Segment(0xDA, {1, 2, 3}), {0x12, 0x34, 0xFF, 0xD9}});
const Entry kMake = {0x010F, 2, 4, 0x4142};

TEST(ExifOrientationTest, ReadsTheOrientationEntry) {
  struct Case {
    const char* name;
    Bytes file;
    int expected;
  };
  const Case cases[] = {
      {"little endian", Cat({kSoi, Exif(Tiff(false, {{0x0112, 3, 1, 6}})), kScan}), 6},
      {"big endian", Cat({kSoi, Exif(Tiff(true, {{0x0112, 3, 1, 8}})), kScan}), 8},
      {"after another entry", Cat({kSoi, Exif(Tiff(false, {kMake, {0x0112, 3, 1, 3}})), kScan}), 3},
      {"after APP0 and an XMP APP1",
       Cat({kSoi, Segment(0xE0, Text("JFIF")), Segment(0xE1, Text("http://ns.adobe.com/xap/")),
            Exif(Tiff(true, {{0x0112, 3, 1, 5}})), kScan}),
       5},
      {"fill bytes before a marker",
       Cat({kSoi, {0xFF, 0xFF}, Exif(Tiff(false, {{0x0112, 3, 1, 7}})), kScan}), 7},
      {"more entries announced than present",
       Cat({kSoi, Exif(Tiff(false, {{0x0112, 3, 1, 2}}, 8, 40))}), 2},
      {"directory further on", Cat({kSoi, Exif(Tiff(true, {{0x0112, 3, 1, 4}}, 20)), kScan}), 4},
  };
  for (const Case& c : cases) EXPECT_EQ(ReadJpegOrientation(c.file), c.expected) << c.name;
}

TEST(ExifOrientationTest, AnythingDoubtfulMeansAsStored) {
  const Bytes exif6 = Exif(Tiff(false, {{0x0112, 3, 1, 6}}));
  Bytes cut_short = Cat({kSoi, exif6});
  cut_short.resize(cut_short.size() - 9);  // the segment claims more than the file holds
  Bytes zero_length = Cat({kSoi, {0xFF, 0xE1, 0, 0}, exif6});
  Bytes bad_magic = Cat({kSoi, exif6});
  bad_magic[kSoi.size() + 4 + 6 + 2] = 43;
  struct Case {
    const char* name;
    Bytes file;
  };
  const Case cases[] = {
      {"empty", {}},
      {"only SOI", kSoi},
      {"no SOI", Cat({exif6, kScan})},
      {"no EXIF", Cat({kSoi, Segment(0xE0, Text("JFIF")), kScan})},
      {"after the scan", Cat({kSoi, kScan, exif6})},
      {"value 0", Cat({kSoi, Exif(Tiff(false, {{0x0112, 3, 1, 0}}))})},
      {"value 9", Cat({kSoi, Exif(Tiff(false, {{0x0112, 3, 1, 9}}))})},
      {"type LONG", Cat({kSoi, Exif(Tiff(false, {{0x0112, 4, 1, 6}}))})},
      {"count 2", Cat({kSoi, Exif(Tiff(false, {{0x0112, 3, 2, 6}}))})},
      {"no orientation entry", Cat({kSoi, Exif(Tiff(false, {kMake})), kScan})},
      {"directory past the end", Cat({kSoi, Exif(Tiff(false, {{0x0112, 3, 1, 6}}, 0xFFFFFFF0))})},
      {"APP1 without the Exif header",
       Cat({kSoi, Segment(0xE1, Tiff(false, {{0x0112, 3, 1, 6}}))})},
      {"segment cut short", cut_short},
      {"segment length 0", zero_length},
      {"TIFF magic not 42", bad_magic},
      {"bytes between segments", Cat({kSoi, {0x00}, exif6})},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(ReadJpegOrientation(c.file), kOrientationAsStored) << c.name;
  }
}

}  // namespace
