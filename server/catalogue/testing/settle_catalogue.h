// The list updates after a scan, run as the server loop runs them, for tests that need the
// catalogue's whole list.
#pragma once

#include "server/catalogue/image_catalogue.h"

namespace test_support {

// Waits for the catalogue's jobs and runs its list updates until it is settled (a scan's list
// is taken by one update and installed by a later one). Returns how many updates replaced
// the list.
int SettleCatalogue(ImageCatalogue* catalogue, bool logical = false);

}  // namespace test_support
