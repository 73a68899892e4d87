// A worker job that reads one image file into the file cache ahead of its /image request, so
// that the request is answered from memory.
#pragma once

#include <cstdint>
#include <string>

#include "server/catalogue/omni_file_access.h"
#include "server/threads/thread_mgr.h"

// Files larger than this are not read ahead. Five neighbours of this size together fill the
// file cache (64 MiB), so larger ones would push each other out before their requests came;
// and a large file read ahead for a page nobody looks at holds memory for nothing.
constexpr uint64_t kPreReadMaxBytes = uint64_t{12} << 20;

// Whether reading the file ahead can help: it is not larger than kPreReadMaxBytes, not
// cached in `files` as it is now, and not being read already.
bool WorthPreReading(COmniFileAccess& files, const std::string& path);

class CFastReadForCache : public CThreadCommand {
 public:
  // `files` must outlive the job.
  CFastReadForCache(COmniFileAccess& files, std::string path)
      : files_(files), path_(std::move(path)) {}

  // Reads the file through `files` with its cache in use and drops the bytes, when that is
  // still worth it; a file that cannot be read is left alone. Returns 0.
  int Run() override;

 private:
  COmniFileAccess& files_;
  std::string path_;
};
