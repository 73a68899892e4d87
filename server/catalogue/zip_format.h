// The parts of the ZIP format that the archive reader uses and that tests write by hand:
// one disk, 32-bit sizes and offsets (with the ZIP64 end records for directories beyond
// 65 535 records or 4 GiB), little-endian numbers.
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

// A count or offset of the end record at its largest value says that the ZIP64 end record
// holds the real one. That record is found through its locator, just before the end record.
constexpr uint16_t kZip64Count = 0xFFFF;
constexpr uint32_t kZip64Offset = 0xFFFFFFFF;
constexpr uint32_t kZip64LocatorSignature = 0x07064b50;  // "PK\6\7"
constexpr size_t kZip64LocatorSize = 20;
constexpr size_t kZip64LocatorRecordOffset = 8;      // offset of the ZIP64 end record, 64 bits
constexpr uint32_t kZip64EndSignature = 0x06064b50;  // "PK\6\6"
constexpr size_t kZip64EndSize = 56;
constexpr size_t kZip64EndCountOffset = 32;            // records on this disk, 64 bits
constexpr size_t kZip64EndDirectoryOffsetOffset = 48;  // offset of the central directory

constexpr uint16_t kFlagEncrypted = 0x0001;
constexpr uint16_t kFlagDataDescriptor = 0x0008;  // sizes follow the data
constexpr uint16_t kFlagUtf8Name = 0x0800;

constexpr uint16_t kMethodStored = 0;
constexpr uint16_t kMethodDeflate = 8;

}  // namespace zip_format
