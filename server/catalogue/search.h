// The search word and how it matches a path.
#pragma once

#include <string>
#include <string_view>
#include <vector>

// Folds text for matching, per code point: half-width katakana U+FF61..U+FF9F to their
// full-width forms (a base and the sound mark after it as one letter: ｶﾞ is ガ), then
// katakana U+30A1..U+30F4 to the hiragana 0x60 below, full-width forms U+FF01..U+FF5D to ASCII
// U+0021..U+007D, ASCII A-Z to a-z.
std::string NormalizeForSearch(std::string_view text);
// The same appended to `out`, without a string of its own. Text split at a "/" folds to the
// folded pieces split at that "/": no fold reads across one.
void AppendNormalizedForSearch(std::string_view text, std::string* out);

// The normalised tokens of a search word: its pieces between U+0020 and U+3000 spaces, empty
// pieces included (they match everything). An empty word has no tokens.
std::vector<std::string> SearchTokens(std::string_view word);

// True when every token occurs in the normalised path.
bool MatchesAllTokens(std::string_view normalized_path, const std::vector<std::string>& tokens);
