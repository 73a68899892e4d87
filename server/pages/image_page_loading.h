// The worker job that builds one image page: it hands the request to the page builder of the
// handler that queued it, off the server loop.
#pragma once

#include "server/net/incoming_request.h"
#include "server/threads/thread_mgr.h"

class CImagePageProcess;

class CImagePageLoading : public CThreadCommand {
 public:
  // `handler` must outlive the job.
  CImagePageLoading(CImagePageProcess* handler, IncomingRequest request)
      : handler_(handler), request_(std::move(request)) {
    AnswersClient(&request_.responder());
  }

  // Builds and answers the page. Returns 0.
  int Run() override;

 private:
  CImagePageProcess* handler_;
  IncomingRequest request_;
};
