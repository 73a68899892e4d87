// The search word arrives percent-encoded from the query string.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "platform/utf8.h"
#include "server/catalogue/ordered_lists.h"
#include "server/catalogue/search.h"
#include "server/catalogue/word_decode.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view raw(reinterpret_cast<const char*>(data), size);
  const std::string word = DecodeWord(raw);
  // The decoded word is well-formed UTF-8: every code point decodes and re-encodes to itself.
  std::string again;
  for (size_t pos = 0; pos < word.size();) AppendUtf8(DecodeUtf8At(word, &pos), &again);
  if (again != word) __builtin_trap();
  // And the search takes it, also against the raw bytes as a path.
  const std::vector<std::string> tokens = SearchTokens(word);
  MatchesAllTokens(NormalizeForSearch(raw), tokens);
  return 0;
}
