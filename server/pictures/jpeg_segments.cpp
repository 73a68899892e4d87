#include "server/pictures/jpeg_segments.h"

namespace {

constexpr uint8_t kMarkerStart = 0xFF;
constexpr uint8_t kStartOfImage = 0xD8;
constexpr uint8_t kEndOfImage = 0xD9;
constexpr uint8_t kTemporary = 0x01;
constexpr uint8_t kFirstRestart = 0xD0;
constexpr uint8_t kLastRestart = 0xD7;

bool IsStandalone(uint8_t marker) {
  return marker == kTemporary || marker == kStartOfImage ||
         (marker >= kFirstRestart && marker <= kLastRestart);
}

}  // namespace

void ForEachJpegSegment(std::span<const uint8_t> data,
                        const std::function<bool(uint8_t, std::span<const uint8_t>)>& visit) {
  if (data.size() < 2 || data[0] != kMarkerStart || data[1] != kStartOfImage) return;
  size_t pos = 2;
  while (pos < data.size()) {
    if (data[pos] != kMarkerStart) return;
    while (pos < data.size() && data[pos] == kMarkerStart) ++pos;  // fill bytes
    if (pos == data.size()) return;
    const uint8_t marker = data[pos++];
    if (marker == kEndOfImage || marker == 0) return;
    if (IsStandalone(marker)) continue;
    if (data.size() - pos < 2) return;
    const size_t length = size_t{data[pos]} << 8 | data[pos + 1];
    if (length < 2 || data.size() - pos < length) return;
    // What follows the first scan's header is picture data, not segments.
    if (!visit(marker, data.subspan(pos + 2, length - 2)) || marker == kJpegStartOfScan) return;
    pos += length;
  }
}
