#include "server/pages/fast_read_for_cache.h"

#include <cstdint>
#include <memory>
#include <vector>

#include "server/catalogue/omni_file_access.h"

int CFastReadForCache::Run() {
  std::shared_ptr<const std::vector<uint8_t>> ignored;  // only the cache keeps it
  COmniFileAccess::Instance().ReadShared(path_, &ignored);
  return 0;
}
