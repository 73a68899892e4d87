// The interface of the back-ends that read files: plain files on disk, members of ZIP
// archives, and the object that chooses between them and caches whole files.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "server/catalogue/calendar_time.h"

// What a cache compares to tell whether a file's content may have changed: equal versions
// mean equal bytes. For a plain file its size and full-precision modification time; for a
// member those of its archive.
struct FileVersion {
  uint64_t size = 0;
  int64_t mtime_sec = 0;
  int64_t mtime_nsec = 0;

  bool operator==(const FileVersion&) const = default;
};

// Takes one piece of a file read in pieces; false stops the read.
using FilePieceSink = std::function<bool(const uint8_t* bytes, size_t size)>;

class CBasseFileAccess {
 public:
  virtual ~CBasseFileAccess() = default;

  // Whether this back-end handles `path`.
  virtual bool Accepts(const std::string& path) = 0;
  // The whole file. `use_cache` matters only to COmniFileAccess; `out` is replaced only on
  // success.
  virtual bool ReadAll(uint32_t use_cache, const std::string& path, std::vector<uint8_t>* out) = 0;
  // The whole file handed to `sink` front to back, past any cache, holding no more than a
  // piece at a time where the back-end can read in pieces (this default reads it whole).
  // False when the file cannot be read or `sink` stopped the read.
  virtual bool ReadPieces(const std::string& path, const FilePieceSink& sink) {
    std::vector<uint8_t> bytes;
    return ReadAll(0, path, &bytes) && sink(bytes.data(), bytes.size());
  }
  virtual bool Exists(const std::string& path) = 0;
  // The last-write time into `out` when it is not null; false when the file is not found.
  virtual bool GetTime(const std::string& path, SystemTime* out) = 0;
  // The version of the file's content (see FileVersion); false when it cannot be known.
  virtual bool GetVersion(const std::string& path, FileVersion* out) = 0;
  // The file's size in bytes (a member's uncompressed size); 0 when it is not found.
  virtual uint64_t GetSize(const std::string& path) = 0;
};
