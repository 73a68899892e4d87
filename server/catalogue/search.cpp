#include "server/catalogue/search.h"

#include "platform/text.h"
#include "platform/utf8.h"

std::string NormalizeForSearch(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  size_t pos = 0;
  while (pos < text.size()) {
    const char c = text[pos];
    if (static_cast<unsigned char>(c) < 0x80) {
      out.push_back(platform::AsciiToLower(c));
      ++pos;
      continue;
    }
    const size_t start = pos;
    uint32_t cp = DecodeUtf8At(text, &pos);
    if (cp >= 0x30A1 && cp <= 0x30F4) {
      cp -= 0x60;
    } else if (cp >= 0xFF01 && cp <= 0xFF5D) {
      cp -= 0xFEE0;
      if (cp >= 'A' && cp <= 'Z') cp += 0x20;
    } else if (cp != kReplacementCharacter) {
      out.append(text.substr(start, pos - start));
      continue;
    }
    AppendUtf8(cp, &out);
  }
  return out;
}

std::vector<std::string> SearchTokens(std::string_view word) {
  std::vector<std::string> tokens;
  if (word.empty()) return tokens;
  constexpr std::string_view kIdeographicSpace = "\xE3\x80\x80";
  size_t begin = 0;
  for (size_t i = 0;;) {
    const bool at_end = i >= word.size();
    size_t width = 0;
    if (!at_end && word[i] == ' ') width = 1;
    if (!at_end && word.substr(i, 3) == kIdeographicSpace) width = 3;
    if (at_end || width > 0) {
      tokens.push_back(NormalizeForSearch(word.substr(begin, i - begin)));
      if (at_end) break;
      i += width;
      begin = i;
    } else {
      ++i;
    }
  }
  return tokens;
}

bool MatchesAllTokens(std::string_view normalized_path, const std::vector<std::string>& tokens) {
  for (const std::string& token : tokens) {
    if (normalized_path.find(token) == std::string_view::npos) return false;
  }
  return true;
}
