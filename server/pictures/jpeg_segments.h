// The marker segments at the head of a JPEG file, before its picture data.
#pragma once

#include <cstdint>
#include <functional>
#include <span>

inline constexpr uint8_t kJpegStartOfScan = 0xDA;

// Calls `visit(marker, body)` for each marker segment of the JPEG file `data` in file order,
// up to and including the first start-of-scan segment, whose body is the scan's header;
// `body` is the segment without its marker and length. Stops early when `visit` returns
// false, at the end of the image, and at the first damaged segment.
void ForEachJpegSegment(std::span<const uint8_t> data,
                        const std::function<bool(uint8_t, std::span<const uint8_t>)>& visit);
