#include "server/pictures/exif_orientation.h"

#include <cstring>

#include "server/pictures/jpeg_segments.h"

namespace {

constexpr uint8_t kApp1 = 0xE1;

constexpr char kExifHeader[] = {'E', 'x', 'i', 'f', '\0', '\0'};
constexpr uint16_t kTiffMagic = 42;
constexpr uint16_t kOrientationTag = 0x0112;
constexpr uint16_t kTypeShort = 3;
constexpr size_t kIfdEntrySize = 12;

// Reads the numbers of a TIFF block in its own byte order, refusing reads past its end.
class TiffReader {
 public:
  explicit TiffReader(std::span<const uint8_t> tiff) : tiff_(tiff) {}

  // False when the block does not start with a TIFF header.
  bool ReadByteOrder() {
    if (tiff_.size() < 2) return false;
    if (tiff_[0] == 'I' && tiff_[1] == 'I') {
      little_endian_ = true;
    } else if (tiff_[0] == 'M' && tiff_[1] == 'M') {
      little_endian_ = false;
    } else {
      return false;
    }
    uint16_t magic = 0;
    return U16(2, &magic) && magic == kTiffMagic;
  }

  bool U16(uint64_t offset, uint16_t* out) const {
    if (!Fits(offset, 2)) return false;
    const uint8_t* p = tiff_.data() + offset;
    *out = little_endian_ ? static_cast<uint16_t>(p[0] | p[1] << 8)
                          : static_cast<uint16_t>(p[0] << 8 | p[1]);
    return true;
  }

  bool U32(uint64_t offset, uint32_t* out) const {
    uint16_t first = 0, second = 0;
    if (!U16(offset, &first) || !U16(offset + 2, &second)) return false;
    *out = little_endian_ ? (uint32_t{second} << 16 | first) : (uint32_t{first} << 16 | second);
    return true;
  }

 private:
  bool Fits(uint64_t offset, uint64_t length) const {
    return offset <= tiff_.size() && tiff_.size() - offset >= length;
  }

  std::span<const uint8_t> tiff_;
  bool little_endian_ = true;
};

// The Orientation entry of the first image directory (IFD0) of an EXIF TIFF block.
int OrientationFromTiff(std::span<const uint8_t> tiff) {
  TiffReader reader(tiff);
  uint32_t directory = 0;
  uint16_t entries = 0;
  if (!reader.ReadByteOrder() || !reader.U32(4, &directory) || !reader.U16(directory, &entries)) {
    return kOrientationAsStored;
  }
  for (uint16_t i = 0; i < entries; ++i) {
    const uint64_t entry = uint64_t{directory} + 2 + i * kIfdEntrySize;
    uint16_t tag = 0, type = 0, value = 0;
    uint32_t count = 0;
    if (!reader.U16(entry, &tag)) break;
    if (tag != kOrientationTag) continue;
    // A SHORT with a count of 1 sits in the first two bytes of the entry's value field.
    if (!reader.U16(entry + 2, &type) || !reader.U32(entry + 4, &count) ||
        !reader.U16(entry + 8, &value) || type != kTypeShort || count != 1) {
      break;
    }
    return value >= 1 && value <= 8 ? value : kOrientationAsStored;
  }
  return kOrientationAsStored;
}

}  // namespace

int ReadTiffOrientation(std::span<const uint8_t> tiff) {
  return OrientationFromTiff(tiff);
}

int ReadJpegOrientation(std::span<const uint8_t> data) {
  int orientation = kOrientationAsStored;
  ForEachJpegSegment(data, [&orientation](uint8_t marker, std::span<const uint8_t> body) {
    if (marker != kApp1 || body.size() < sizeof kExifHeader ||
        std::memcmp(body.data(), kExifHeader, sizeof kExifHeader) != 0) {
      return true;
    }
    orientation = OrientationFromTiff(body.subspan(sizeof kExifHeader));
    return false;
  });
  return orientation;
}
