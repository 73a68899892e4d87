// The parts of the ZIP format that the archive reader uses and that tests write by hand:
// one disk, 32-bit sizes and offsets, little-endian numbers.
#pragma once

#include <cstddef>
#include <cstdint>

namespace zip_format {

constexpr uint32_t kLocalHeaderSignature = 0x04034b50;     // "PK\3\4"
constexpr uint32_t kCentralHeaderSignature = 0x02014b50;   // "PK\1\2"
constexpr uint32_t kEndOfDirectorySignature = 0x06054b50;  // "PK\5\6"

constexpr size_t kLocalHeaderSize = 30;
constexpr size_t kCentralHeaderSize = 46;
constexpr size_t kEndOfDirectorySize = 22;
// The end record ends the file but for the archive comment, of at most this many bytes.
constexpr size_t kMaxCommentSize = 65535;

// Offsets within the end-of-central-directory record.
constexpr size_t kEndRecordCountOffset = 8;       // records on this disk, 16 bits
constexpr size_t kEndDirectoryOffsetOffset = 16;  // offset of the central directory, 32 bits

constexpr uint16_t kFlagEncrypted = 0x0001;
constexpr uint16_t kFlagDataDescriptor = 0x0008;  // sizes follow the data
constexpr uint16_t kFlagUtf8Name = 0x0800;

constexpr uint16_t kMethodStored = 0;
constexpr uint16_t kMethodDeflate = 8;

}  // namespace zip_format
