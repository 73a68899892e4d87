#include "server/catalogue/zip_archive.h"

#include <algorithm>
#include <cstring>
#include <string_view>

#include <zlib.h>

#include "platform/file_system.h"
#include "platform/text.h"
#include "server/catalogue/inflate.h"
#include "server/catalogue/little_endian.h"
#include "server/catalogue/read_budget.h"
#include "server/catalogue/read_limits.h"
#include "server/catalogue/zip_format.h"

namespace {

using namespace zip_format;

// Reads a file front to back through a buffer, so that a directory of many small records
// costs a few large reads.
class SequentialReader {
 public:
  SequentialReader(const platform::ReadOnlyFile& file, uint64_t position)
      : file_(file), next_fill_(position) {}

  bool Read(size_t n, uint8_t* out) {
    while (n > 0) {
      if (cursor_ == buffer_.size() && !Fill()) return false;
      size_t take = std::min(n, buffer_.size() - cursor_);
      std::memcpy(out, buffer_.data() + cursor_, take);
      cursor_ += take;
      out += take;
      n -= take;
    }
    return true;
  }

  bool Skip(size_t n) {
    size_t in_buffer = std::min(n, buffer_.size() - cursor_);
    cursor_ += in_buffer;
    n -= in_buffer;
    if (n == 0) return true;
    if (n > file_.size() || next_fill_ > file_.size() - n) return false;
    next_fill_ += n;
    return true;
  }

 private:
  static constexpr size_t kBufferSize = 64 * 1024;

  bool Fill() {
    if (next_fill_ >= file_.size()) return false;
    size_t length = static_cast<size_t>(std::min<uint64_t>(kBufferSize, file_.size() - next_fill_));
    buffer_.resize(length);
    if (!file_.ReadAt(next_fill_, length, buffer_.data())) return false;
    next_fill_ += length;
    cursor_ = 0;
    return true;
  }

  const platform::ReadOnlyFile& file_;
  uint64_t next_fill_;  // file offset just past the buffer
  std::vector<uint8_t> buffer_;
  size_t cursor_ = 0;
};

// The directory's place as the end records give it.
struct DirectoryPlace {
  uint64_t count = 0;
  uint64_t offset = 0;
};

// Reads the ZIP64 end record through its locator, which ends just before the end record at
// `end_record`. False when there is none.
bool ReadZip64End(const platform::ReadOnlyFile& file, uint64_t end_record, DirectoryPlace* out) {
  if (end_record < kZip64LocatorSize) return false;
  uint8_t locator[kZip64LocatorSize];
  if (!file.ReadAt(end_record - kZip64LocatorSize, sizeof locator, locator) ||
      LoadLe32(locator) != kZip64LocatorSignature) {
    return false;
  }
  const uint64_t record_offset = LoadLe64(locator + kZip64LocatorRecordOffset);
  uint8_t record[kZip64EndSize];
  if (record_offset > file.size() || !file.ReadAt(record_offset, sizeof record, record) ||
      LoadLe32(record) != kZip64EndSignature) {
    return false;
  }
  out->count = LoadLe64(record + kZip64EndCountOffset);
  out->offset = LoadLe64(record + kZip64EndDirectoryOffsetOffset);
  return true;
}

// Finds the end-of-central-directory record nearest to the end of the file and reads the
// directory's record count and offset from it, or from the ZIP64 end record when it says
// that one holds them.
bool FindEndRecord(const platform::ReadOnlyFile& file, DirectoryPlace* place) {
  size_t tail =
      static_cast<size_t>(std::min<uint64_t>(file.size(), kEndOfDirectorySize + kMaxCommentSize));
  if (tail < kEndOfDirectorySize) return false;
  std::vector<uint8_t> bytes(tail);
  if (!file.ReadAt(file.size() - tail, tail, bytes.data())) return false;
  for (size_t back = kEndOfDirectorySize; back <= tail; ++back) {
    const uint8_t* record = bytes.data() + (tail - back);
    if (LoadLe32(record) != kEndOfDirectorySignature) continue;
    place->count = LoadLe16(record + kEndRecordCountOffset);
    place->offset = LoadLe32(record + kEndDirectoryOffsetOffset);
    if (place->count == kZip64Count || place->offset == kZip64Offset) {
      ReadZip64End(file, file.size() - back, place);
    }
    return true;
  }
  return false;
}

// Where each member's bytes lie: from its local header to the end of its data, at least (the
// local header's name and extra field may be longer than the directory's). Members whose
// spans overlap one another or the directory are refused: an archive that makes many
// entries share one stream would make a few bytes cost as much as many large members.
// Each member's data must also end before the next span begins, which `limits` gives.
std::vector<bool> OverlappingMembers(const std::vector<ZipDirectoryRecord>& records,
                                     uint64_t directory_offset, std::vector<uint64_t>* limits) {
  const size_t count = records.size();
  std::vector<uint64_t> start(count), end(count);
  for (size_t i = 0; i < count; ++i) {
    start[i] = records[i].local_header_offset;
    end[i] = start[i] + kLocalHeaderSize + records[i].name_length + records[i].compressed_size;
  }
  std::vector<size_t> order(count);
  for (size_t i = 0; i < count; ++i) order[i] = i;
  std::sort(order.begin(), order.end(), [&](size_t a, size_t b) { return start[a] < start[b]; });
  std::vector<bool> refused(count, false);
  limits->assign(count, directory_offset);
  size_t furthest = count;  // the member reaching furthest so far, in start order
  for (size_t k = 0; k < count; ++k) {
    const size_t i = order[k];
    if (k + 1 < count) (*limits)[i] = std::min(directory_offset, start[order[k + 1]]);
    if (end[i] > directory_offset) refused[i] = true;
    if (furthest != count && start[i] < end[furthest]) refused[i] = refused[furthest] = true;
    if (furthest == count || end[i] > end[furthest]) furthest = i;
  }
  return refused;
}

ZipDirectoryRecord ParseCentralHeader(const uint8_t* p) {
  ZipDirectoryRecord r;
  r.signature = LoadLe32(p);
  r.version_made_by = LoadLe16(p + 4);
  r.version_needed = LoadLe16(p + 6);
  r.flags = LoadLe16(p + 8);
  r.method = LoadLe16(p + 10);
  r.dos_time = LoadLe16(p + 12);
  r.dos_date = LoadLe16(p + 14);
  r.crc32 = LoadLe32(p + 16);
  r.compressed_size = LoadLe32(p + 20);
  r.uncompressed_size = LoadLe32(p + 24);
  r.name_length = LoadLe16(p + 28);
  r.extra_length = LoadLe16(p + 30);
  r.comment_length = LoadLe16(p + 32);
  r.disk_number_start = LoadLe16(p + 34);
  r.internal_attributes = LoadLe16(p + 36);
  r.external_attributes = LoadLe32(p + 38);
  r.local_header_offset = LoadLe32(p + 42);
  return r;
}

// Names are UTF-8 when the flag says so, else code page 932. A name that is not valid code
// page 932 keeps its bytes, so that it still names its member uniquely.
std::string DecodeName(std::string raw, uint16_t flags) {
  if ((flags & kFlagUtf8Name) != 0) return raw;
  bool ascii = std::all_of(raw.begin(), raw.end(), [](char c) { return (c & 0x80) == 0; });
  if (ascii) return raw;
  std::string utf8;
  if (platform::Cp932ToUtf8(raw, &utf8)) return utf8;
  return raw;
}

struct LocalHeader {
  uint16_t flags;
  uint16_t method;
  uint32_t compressed_size;
  uint32_t uncompressed_size;
  uint16_t name_length;
  uint16_t extra_length;
};

LocalHeader ParseLocalHeader(const uint8_t* p) {
  LocalHeader h;
  h.flags = LoadLe16(p + 6);
  h.method = LoadLe16(p + 8);
  h.compressed_size = LoadLe32(p + 18);
  h.uncompressed_size = LoadLe32(p + 22);
  h.name_length = LoadLe16(p + 26);
  h.extra_length = LoadLe16(p + 28);
  return h;
}

}  // namespace

uint32_t Crc32(const std::vector<uint8_t>& bytes) {
  uLong crc = crc32(0, nullptr, 0);
  // zlib takes at most 4 GiB - 1 bytes a call.
  for (size_t at = 0; at < bytes.size();) {
    uInt piece = static_cast<uInt>(std::min<size_t>(bytes.size() - at, 1u << 30));
    crc = crc32(crc, bytes.data() + at, piece);
    at += piece;
  }
  return static_cast<uint32_t>(crc);
}

bool ZipArchive::Open(const std::string& path) {
  path_ = path;
  records_.clear();
  names_.clear();
  data_limits_.clear();
  first_of_name_.clear();
  refused_ = 0;
  platform::ReadOnlyFile file;
  DirectoryPlace place;
  if (!file.Open(path) || !FindEndRecord(file, &place)) return false;
  // Every record takes at least a header's bytes: a count beyond that is not believed.
  if (place.count > file.size() / kCentralHeaderSize) return false;

  std::vector<ZipDirectoryRecord> records;
  std::vector<std::string> names;
  records.reserve(place.count);
  SequentialReader reader(file, place.offset);
  for (uint64_t i = 0; i < place.count; ++i) {
    uint8_t header[kCentralHeaderSize];
    if (!reader.Read(sizeof header, header)) return false;
    ZipDirectoryRecord record = ParseCentralHeader(header);
    std::string raw(record.name_length, '\0');
    if (!reader.Read(raw.size(), reinterpret_cast<uint8_t*>(raw.data())) ||
        !reader.Skip(size_t{record.extra_length} + record.comment_length)) {
      return false;
    }
    names.push_back(DecodeName(std::move(raw), record.flags));
    records.push_back(record);
  }
  std::vector<uint64_t> limits;
  const std::vector<bool> refused = OverlappingMembers(records, place.offset, &limits);
  const uint64_t content_bound = std::max(kMaxMemberBytes, file.size() * kMaxArchiveExpansion);
  uint64_t content = 0;
  for (size_t i = 0; i < records.size(); ++i) {
    if (refused[i] || records[i].uncompressed_size > content_bound - content) {
      ++refused_;
      continue;
    }
    content += records[i].uncompressed_size;
    records_.push_back(records[i]);
    names_.push_back(std::move(names[i]));
    data_limits_.push_back(limits[i]);
  }
  BuildIndex();
  return true;
}

void ZipArchive::BuildIndex() {
  first_of_name_.reserve(names_.size());
  for (size_t i = 0; i < names_.size(); ++i) {
    size_t ignored = 0;
    if (!Find(names_[i], &ignored)) {
      first_of_name_.emplace(std::hash<std::string_view>{}(names_[i]), i);
    }
  }
}

bool ZipArchive::Find(const std::string& name, size_t* index) const {
  auto [begin, end] = first_of_name_.equal_range(std::hash<std::string_view>{}(name));
  for (auto it = begin; it != end; ++it) {
    if (names_[it->second] == name) {
      *index = it->second;
      return true;
    }
  }
  return false;
}

bool ZipArchive::Extract(size_t index, ReadBudget& budget, std::vector<uint8_t>* out) const {
  if (index >= records_.size() || records_[index].compressed_size == 0) return false;
  const ZipDirectoryRecord& record = records_[index];
  platform::ReadOnlyFile file;
  uint8_t header_bytes[kLocalHeaderSize];
  if (!file.Open(path_) ||
      !file.ReadAt(record.local_header_offset, sizeof header_bytes, header_bytes)) {
    return false;
  }
  LocalHeader header = ParseLocalHeader(header_bytes);
  uint64_t compressed_size = header.compressed_size;
  uint64_t uncompressed_size = header.uncompressed_size;
  if ((header.flags & kFlagDataDescriptor) != 0 && compressed_size == 0) {
    compressed_size = record.compressed_size;
    uncompressed_size = record.uncompressed_size;
  }
  if (header.method != kMethodStored && header.method != kMethodDeflate) return false;

  // Sizes come from the file: allocate only for data that is really there, within bounds.
  uint64_t data_offset = uint64_t{record.local_header_offset} + kLocalHeaderSize +
                         header.name_length + header.extra_length;
  if (data_offset > data_limits_[index] || compressed_size > data_limits_[index] - data_offset ||
      data_limits_[index] > file.size() || compressed_size > kMaxMemberBytes ||
      uncompressed_size > kMaxMemberBytes) {
    return false;
  }
  if (header.method == kMethodDeflate && uncompressed_size > compressed_size * kMaxInflateRatio) {
    return false;
  }
  // The compressed data and the inflated content are held together while inflating.
  ReadReservation reservation(
      header.method == kMethodStored ? compressed_size : compressed_size + uncompressed_size,
      budget);
  if (!reservation.ok()) return false;
  std::vector<uint8_t> data(compressed_size);
  if (!file.ReadAt(data_offset, data.size(), data.data())) return false;
  std::vector<uint8_t> content;
  if (header.method == kMethodStored) {
    content = std::move(data);
  } else if (Inflate(data.data(), data.size(), uncompressed_size, &content) != InflateResult::kOk) {
    return false;
  }
  // The central directory holds the CRC even for members written with a data descriptor.
  if (Crc32(content) != record.crc32) return false;
  *out = std::move(content);
  return true;
}
