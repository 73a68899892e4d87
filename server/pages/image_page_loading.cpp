#include "server/pages/image_page_loading.h"

#include "server/pages/image_page_process.h"

int CImagePageLoading::Run() {
  handler_->BuildPage(request_);
  return 0;
}
