#include "server/pages/fast_read_for_cache.h"

#include <cstdint>
#include <memory>
#include <vector>

#include "server/pages/image_direct_process.h"

bool WorthPreReading(COmniFileAccess& files, const std::string& path) {
  const uint64_t size = files.GetSize(path);
  return size > 0 && size <= kPreReadMaxBytes && files.ReadersOf(path) == 0 &&
         !files.IsCurrentInCache(path);
}

int CFastReadForCache::Run() {
  // The page asked for it a moment ago; a request for the file may have read it since.
  if (!WorthPreReading(files_, path_)) return 0;
  // A picture sent from the file never goes through the file cache: only the kernel's page
  // cache can hold it ahead.
  if (auto file = OpenForSending(files_, path_)) {
    file->ReadAhead();
    return 0;
  }
  std::shared_ptr<const std::vector<uint8_t>> ignored;  // only the cache keeps it
  files_.ReadShared(path_, &ignored);
  return 0;
}
