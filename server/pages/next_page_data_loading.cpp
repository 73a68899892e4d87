#include "server/pages/next_page_data_loading.h"

#include "server/pages/next_page_data_process.h"

int CNextPageDataLoading::Run() {
  handler_->Answer(server_, socket_, connection_id_, key_, request_);
  return 0;
}
