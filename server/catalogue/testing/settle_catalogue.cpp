#include "server/catalogue/testing/settle_catalogue.h"

namespace test_support {

int SettleCatalogue(ImageCatalogue* catalogue, bool logical) {
  int replaced = 0;
  // One update posts the preparing job, the next installs its result: a few settle it.
  for (int pass = 0; pass < 6; ++pass) {
    catalogue->WaitForIdle();
    if (catalogue->UpdateList(logical)) ++replaced;
    if (catalogue->IsSettled()) break;
  }
  return replaced;
}

}  // namespace test_support
