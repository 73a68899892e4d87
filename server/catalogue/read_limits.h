// Bounds on what the catalogue reads into memory, so that a size written in a file (a ZIP
// member's declared size) or a huge file cannot make it allocate without limit. Going past a
// bound is an ordinary failure of that read.
#pragma once

#include <cstdint>

// The largest file or ZIP member read whole. Pictures are far smaller.
constexpr uint64_t kMaxFileBytes = uint64_t{1} << 30;

// The largest ZIP member extracted. Members are pictures; a bigger one is refused before
// anything is allocated for it, so a small archive cannot make the server hold gigabytes.
constexpr uint64_t kMaxMemberBytes = uint64_t{256} << 20;
