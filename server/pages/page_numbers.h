// Which page numbers a thumbnail page's navigation names. A gallery of a few thousand
// pictures names every page; a larger one names its first and last pages, the pages around
// the one shown and pages 10, 100, 1 000 … before and after it, so that any page is a few
// taps away and the thumbnails do not sit below thousands of page numbers.
#pragma once

#include <cstdint>
#include <vector>

// Up to this many pages every page is named.
constexpr int64_t kEveryPageNumberUpTo = 30;
// Pages named on each side of the one shown.
constexpr int64_t kPageNumbersAround = 3;

// The numbers to name for `page_count` pages when page `requested` is asked for (which may be
// out of range: the window is then around the page shown, the nearest one), ascending.
std::vector<int64_t> ShownPageNumbers(int64_t page_count, int64_t requested);
