// Bounds on what the catalogue reads into memory, so that a size written in a file (a ZIP
// member's declared size) or a huge file cannot make it allocate without limit. Going past a
// bound is an ordinary failure of that read.
#pragma once

#include <cstdint>

// The largest file or ZIP member read whole: within the bytes reads may hold together
// (ReadBudget::kReadBytesInFlight), so no one read takes more than the budget. Pictures are
// far smaller; a larger file is still hashed, in pieces, and sent as stored.
constexpr uint64_t kMaxFileBytes = uint64_t{256} << 20;

// The largest ZIP member extracted. Members are pictures; a bigger one is refused before
// anything is allocated for it, so a small archive cannot make the server hold gigabytes.
constexpr uint64_t kMaxMemberBytes = uint64_t{256} << 20;

// The bytes the members of one archive may inflate to together: this many times the
// archive's size, and at least one largest member. Pictures hardly compress; members past
// the bound, in directory order, are left out, so that a small archive cannot keep the
// server inflating gigabytes.
constexpr uint64_t kMaxArchiveExpansion = 64;
