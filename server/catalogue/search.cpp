#include "server/catalogue/search.h"

#include "platform/text.h"
#include "platform/utf8.h"

namespace {

// The full-width forms of the half-width katakana and punctuation U+FF61..U+FF9D.
constexpr uint16_t kFullWidthOfHalfWidth[] = {
    0x3002, 0x300C, 0x300D, 0x3001, 0x30FB, 0x30F2, 0x30A1, 0x30A3, 0x30A5, 0x30A7, 0x30A9,
    0x30E3, 0x30E5, 0x30E7, 0x30C3, 0x30FC, 0x30A2, 0x30A4, 0x30A6, 0x30A8, 0x30AA, 0x30AB,
    0x30AD, 0x30AF, 0x30B1, 0x30B3, 0x30B5, 0x30B7, 0x30B9, 0x30BB, 0x30BD, 0x30BF, 0x30C1,
    0x30C4, 0x30C6, 0x30C8, 0x30CA, 0x30CB, 0x30CC, 0x30CD, 0x30CE, 0x30CF, 0x30D2, 0x30D5,
    0x30D8, 0x30DB, 0x30DE, 0x30DF, 0x30E0, 0x30E1, 0x30E2, 0x30E4, 0x30E6, 0x30E8, 0x30E9,
    0x30EA, 0x30EB, 0x30EC, 0x30ED, 0x30EF, 0x30F3,
};
constexpr uint32_t kHalfWidthVoiced = 0xFF9E;      // ﾞ
constexpr uint32_t kHalfWidthSemiVoiced = 0xFF9F;  // ﾟ

// The voiced (ﾞ) or semi-voiced (ﾟ) form of full-width katakana `kana`, 0 when it has none.
uint32_t WithSoundMark(uint32_t kana, uint32_t mark) {
  const bool ka_to = kana >= 0x30AB && kana <= 0x30C8 && kana != 0x30C3;  // カ..ト, not ッ
  const bool ha_ho = kana >= 0x30CF && kana <= 0x30DB && (kana - 0x30CF) % 3 == 0;  // ハ..ホ
  if (mark == kHalfWidthVoiced) {
    if (kana == 0x30A6) return 0x30F4;  // ウ゛ is ヴ
    if (ka_to || ha_ho) return kana + 1;
  } else if (ha_ho) {
    return kana + 2;
  }
  return 0;
}

// Half-width katakana as the full-width katakana they stand for, a base and the sound mark
// after it as one letter (ｶﾞ is ガ), so that they fold like the other kana forms. A mark
// without a base that takes it becomes the full-width mark. Leaves *pos after what it read.
uint32_t FullWidthKana(uint32_t cp, std::string_view text, size_t* pos) {
  if (cp == kHalfWidthVoiced) return 0x309B;
  if (cp == kHalfWidthSemiVoiced) return 0x309C;
  const uint32_t kana = kFullWidthOfHalfWidth[cp - 0xFF61];
  size_t next = *pos;
  const uint32_t mark = next < text.size() ? DecodeUtf8At(text, &next) : 0;
  const uint32_t marked = WithSoundMark(kana, mark);
  if (marked == 0) return kana;
  *pos = next;
  return marked;
}

}  // namespace

std::string NormalizeForSearch(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  AppendNormalizedForSearch(text, &out);
  return out;
}

void AppendNormalizedForSearch(std::string_view text, std::string* folded) {
  std::string& out = *folded;
  size_t pos = 0;
  while (pos < text.size()) {
    const char c = text[pos];
    if (static_cast<unsigned char>(c) < 0x80) {
      out.push_back(platform::AsciiToLower(c));
      ++pos;
      continue;
    }
    const size_t start = pos;
    const uint32_t decoded = DecodeUtf8At(text, &pos);
    uint32_t cp =
        decoded >= 0xFF61 && decoded <= 0xFF9F ? FullWidthKana(decoded, text, &pos) : decoded;
    if (cp >= 0x30A1 && cp <= 0x30F4) {
      cp -= 0x60;
    } else if (cp >= 0xFF01 && cp <= 0xFF5D) {
      cp -= 0xFEE0;
      if (cp >= 'A' && cp <= 'Z') cp += 0x20;
    } else if (cp == decoded && cp != kReplacementCharacter) {
      out.append(text.substr(start, pos - start));
      continue;
    }
    AppendUtf8(cp, &out);
  }
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
