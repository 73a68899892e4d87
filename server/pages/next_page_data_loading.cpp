#include "server/pages/next_page_data_loading.h"

#include "server/pages/next_page_data_process.h"

int CNextPageDataLoading::Run() {
  handler_->Answer(key_, request_);
  return 0;
}
