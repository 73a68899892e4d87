// Like counts by content: the table from a file's content hash to its like record, and the
// hash list file that keeps it between runs.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>

struct LikeRecord {
  int32_t viewd = 0;       // likes counted; the first like of a content counts 0
  uint32_t file_size = 0;  // bytes of the file that was liked
};

// Hash -> record. Records are never removed. Not thread-safe; LikeTable guards its one.
class HashList {
 public:
  // An existing record counts one more like (stopping at INT32_MAX) and returns the new
  // count; a new hash gets a record with count 0 and returns 0.
  int32_t AddLike(const std::string& hash);
  // Creates the record with AddLike when there is none.
  void SetSize(const std::string& hash, uint32_t size);
  // The record's count, -1 when the hash has no record.
  int32_t GetCount(const std::string& hash) const;
  // Adds the record unless the hash has one already (the first record of a hash wins).
  void Insert(const std::string& hash, const LikeRecord& record);

  bool empty() const { return records_.empty(); }
  size_t size() const { return records_.size(); }
  const std::unordered_map<std::string, LikeRecord>& records() const { return records_; }

 private:
  std::unordered_map<std::string, LikeRecord> records_;
};

// Whether `text` is a content hash as FileContentHash writes it: 32 lowercase hex digits.
bool IsContentHash(std::string_view text);

// Takes the records of a hash list file's bytes into `list` (a hash already there keeps its
// record). The bytes are read as a text-mode reader would: a UTF-16 (either byte order) or
// UTF-8 byte-order mark selects that encoding, otherwise they are 8-bit text. Reading never
// fails: records are taken as far as they are whole and valid, so garbage between records,
// a truncated last record or a record whose hash is not 32 lowercase hex digits costs only
// that record. A missing VIEWD or FILE_SIZE reads as 0; both are read as C atol reads a
// 32-bit long (values past its range stop at its ends).
void ParseHashList(std::string_view bytes, HashList* list);

// The file's bytes for `list`, one record per hash.
std::string FormatHashList(const HashList& list);

enum class HashListLoad {
  kRead,          // the file was read into the list
  kMissing,       // there is no file: nothing changed
  kUnreadable,    // a file is there but could not be read (or is unreasonably large)
  kNotAHashList,  // the file holds text but not one record: it is some other file
};
HashListLoad LoadHashList(const std::string& path, HashList* list);

// Replaces the file at `path` with `list` so that a crash at any moment leaves the old or
// the new file whole. False, leaving the old file, when it cannot be written.
bool SaveHashList(const std::string& path, const HashList& list);
