// Test helper: a file access of the test's own, with a read budget as large as the server's,
// so that a test sees only its own reads in the cache and the budget.
#pragma once

#include "server/catalogue/omni_file_access.h"
#include "server/catalogue/read_budget.h"

struct TestFileAccess {
  ReadBudget budget{ReadBudget::kReadBytesInFlight};
  COmniFileAccess files{budget};
};
