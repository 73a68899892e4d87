#include "server/pages/fast_read_for_cache.h"

#include <cstdint>
#include <vector>

#include "server/catalogue/omni_file_access.h"

int CFastReadForCache::Run() {
  std::vector<uint8_t> ignored;
  COmniFileAccess::Instance().ReadAll(1, path_, &ignored);
  return 0;
}
