// Reads ZIP archives: the member list from the central directory, and one member's content,
// stored or DEFLATE-compressed. Nothing is kept open between calls.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <unordered_map>
#include <vector>

#include "server/catalogue/read_budget.h"

// One central directory file header, its fields in file order.
struct ZipDirectoryRecord {
  uint32_t signature = 0;
  uint16_t version_made_by = 0;
  uint16_t version_needed = 0;
  uint16_t flags = 0;
  uint16_t method = 0;
  uint16_t dos_time = 0;
  uint16_t dos_date = 0;
  uint32_t crc32 = 0;
  uint32_t compressed_size = 0;
  uint32_t uncompressed_size = 0;
  uint16_t name_length = 0;
  uint16_t extra_length = 0;
  uint16_t comment_length = 0;
  uint16_t disk_number_start = 0;
  uint16_t internal_attributes = 0;
  uint32_t external_attributes = 0;
  uint32_t local_header_offset = 0;
};

// The CRC-32 of ZIP (and gzip, PNG) of `bytes`.
uint32_t Crc32(const std::vector<uint8_t>& bytes);

class ZipArchive {
 public:
  // Reads the central directory of the archive at `path`. False when the file cannot be
  // opened, has no end-of-central-directory record in its last 22 + 65535 bytes (the nearest
  // to the end wins), or its directory does not hold the records the end record counts (the
  // ZIP64 end record's count and offset when the end record defers to it). Members whose
  // bytes overlap another member's or the directory are left out of the list (refused()),
  // and so are those past the bound on what one archive inflates to (kMaxArchiveExpansion).
  bool Open(const std::string& path);

  // The content of member `index`, stored or deflated. False when the index is out of range,
  // the compressed size is 0, the method is neither stored nor deflate, the data is not all
  // there, the declared size is beyond what the data can hold or beyond kMaxMemberBytes, the
  // data does not decode to exactly the declared size, or its CRC-32 differs from the one in
  // the central directory, or no room for it comes in time in `budget` (which it holds
  // while reading and inflating), or its data runs into the next member or the directory.
  // `out` is replaced only on success. The local header's signature is not checked.
  bool Extract(size_t index, ReadBudget& budget, std::vector<uint8_t>* out) const;

  const std::string& path() const { return path_; }
  // Index-aligned: names_[i] is the name of records_[i], in central-directory order. Names are
  // UTF-8, decoded from code page 932 unless the record's UTF-8 flag is set; their "/"
  // separators are kept. Directory entries are listed like any other record.
  const std::vector<ZipDirectoryRecord>& records() const { return records_; }
  const std::vector<std::string>& names() const { return names_; }
  // The directory records left out: overlapping, or past the archive's bound.
  size_t refused() const { return refused_; }

  // The index of the first member named exactly `name` (case-sensitive), in constant time
  // through an index that Open builds once. False when no member has that name.
  bool Find(const std::string& name, size_t* index) const;

 private:
  void BuildIndex();

  std::string path_;
  std::vector<ZipDirectoryRecord> records_;
  std::vector<std::string> names_;
  // Index-aligned: where the next member's bytes (or the directory) begin after each
  // member's local header.
  std::vector<uint64_t> data_limits_;
  size_t refused_ = 0;
  // Hash of a name to the index of the first member of that name; names with equal hashes
  // share a bucket and are told apart by comparing names_.
  std::unordered_multimap<size_t, size_t> first_of_name_;
};
