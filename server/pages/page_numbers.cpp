#include "server/pages/page_numbers.h"

#include <algorithm>

std::vector<int64_t> ShownPageNumbers(int64_t page_count, int64_t requested) {
  std::vector<int64_t> numbers;
  if (page_count <= kEveryPageNumberUpTo) {
    for (int64_t i = 0; i < page_count; ++i) numbers.push_back(i);
    return numbers;
  }
  const int64_t last = page_count - 1;
  const int64_t shown = std::clamp<int64_t>(requested, 0, last);
  numbers = {0, last};
  for (int64_t i = shown - kPageNumbersAround; i <= shown + kPageNumbersAround; ++i) {
    numbers.push_back(i);
  }
  for (int64_t step = 10; step < page_count; step *= 10) {
    numbers.push_back(shown - step);
    numbers.push_back(shown + step);
  }
  std::erase_if(numbers, [&](int64_t i) { return i < 0 || i > last; });
  std::sort(numbers.begin(), numbers.end());
  numbers.erase(std::unique(numbers.begin(), numbers.end()), numbers.end());
  return numbers;
}
