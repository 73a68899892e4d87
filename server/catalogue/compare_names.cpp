#include "server/catalogue/compare_names.h"

#include <algorithm>

#include "platform/utf8.h"

namespace {

// Simple one-to-one lower-casing for the scripts file names commonly use.
uint32_t FoldCase(uint32_t cp) {
  if (cp >= 'A' && cp <= 'Z') return cp + 0x20;
  if (cp < 0xC0) return cp;
  if (cp <= 0xDE && cp != 0xD7) return cp + 0x20;                   // Latin-1
  if (cp >= 0x391 && cp <= 0x3A9 && cp != 0x3A2) return cp + 0x20;  // Greek
  if (cp >= 0x410 && cp <= 0x42F) return cp + 0x20;                 // Cyrillic
  if (cp >= 0x400 && cp <= 0x40F) return cp + 0x50;                 // Cyrillic
  if (cp >= 0xFF21 && cp <= 0xFF3A) return cp + 0x20;               // full-width Latin
  return cp;
}

bool IsDigit(char c) {
  return c >= '0' && c <= '9';
}

// Compares the digit runs starting at *i in a and *j in b by value and moves past them.
int CompareDigitRuns(std::string_view a, size_t* i, std::string_view b, size_t* j) {
  const auto run = [](std::string_view s, size_t* pos) {
    while (*pos < s.size() && s[*pos] == '0') ++*pos;
    const size_t begin = *pos;
    while (*pos < s.size() && IsDigit(s[*pos])) ++*pos;
    return s.substr(begin, *pos - begin);
  };
  std::string_view da = run(a, i);
  std::string_view db = run(b, j);
  if (da.size() != db.size()) return da.size() < db.size() ? -1 : 1;
  return da.compare(db);
}

size_t CountSeparators(std::string_view path) {
  return std::count(path.begin(), path.end(), '/');
}

// When `shallow` has fewer separators than `deep`: true when `deep` lies below the folder of
// `shallow`, so the file `shallow` sorts first.
bool IsFileAboveSubfolderOf(std::string_view shallow, std::string_view deep) {
  const size_t k = shallow.rfind('/');
  if (k == std::string_view::npos || k + 1 >= deep.size()) return false;
  return deep.compare(0, k + 1, shallow, 0, k + 1) == 0;
}

}  // namespace

int CompareLogical(std::string_view a, std::string_view b) {
  size_t i = 0, j = 0;
  while (i < a.size() && j < b.size()) {
    if (IsDigit(a[i]) && IsDigit(b[j])) {
      const int r = CompareDigitRuns(a, &i, b, &j);
      if (r != 0) return r;
      continue;
    }
    const uint32_t ca = FoldCase(DecodeUtf8At(a, &i));
    const uint32_t cb = FoldCase(DecodeUtf8At(b, &j));
    if (ca != cb) return ca < cb ? -1 : 1;
  }
  if (i < a.size()) return 1;
  if (j < b.size()) return -1;
  return 0;
}

bool CompareNames(std::string_view a, std::string_view b, bool logical) {
  const size_t sa = CountSeparators(a);
  const size_t sb = CountSeparators(b);
  if (sa < sb && IsFileAboveSubfolderOf(a, b)) return true;
  if (sb < sa && IsFileAboveSubfolderOf(b, a)) return false;
  if (logical) {
    const int r = CompareLogical(a, b);
    // Logically equal paths (case or leading zeros apart) keep a fixed order.
    if (r != 0) return r < 0;
  }
  return a < b;
}
