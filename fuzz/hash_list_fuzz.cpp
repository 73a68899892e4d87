// Hash list file: reading any bytes, then writing what was read and reading it back.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "server/catalogue/hash_list.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  HashList list;
  ParseHashList(std::string_view(reinterpret_cast<const char*>(data), size), &list);
  for (const auto& [hash, record] : list.records()) {
    if (!IsContentHash(hash)) __builtin_trap();
  }
  HashList again;
  ParseHashList(FormatHashList(list), &again);
  if (again.size() != list.size()) __builtin_trap();
  for (const auto& [hash, record] : list.records()) {
    auto found = again.records().find(hash);
    if (found == again.records().end() || found->second.viewd != record.viewd ||
        found->second.file_size != record.file_size) {
      __builtin_trap();
    }
  }
  return 0;
}
