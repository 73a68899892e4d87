// The worker job that answers one "/next_url" request off the server loop.
#pragma once

#include "server/catalogue/page_keys.h"
#include "server/net/incoming_request.h"
#include "server/threads/thread_mgr.h"

class CNextPageDataProcess;

class CNextPageDataLoading : public CThreadCommand {
 public:
  // `handler` must outlive the job.
  CNextPageDataLoading(CNextPageDataProcess* handler, ImageKey key, IncomingRequest request)
      : handler_(handler), key_(std::move(key)), request_(std::move(request)) {
    AnswersClient(&request_.responder());
  }

  // Builds and answers the reply. Returns 0.
  int Run() override;

 private:
  CNextPageDataProcess* handler_;
  ImageKey key_;
  IncomingRequest request_;
};
