#include "server/pages/image_page_loading.h"

#include <gtest/gtest.h>

#include "server/catalogue/testing/test_file_access.h"
#include "server/net/testing/response_capture.h"
#include "server/pages/image_page_process.h"

namespace {

// Records the page builder's argument instead of building a page.
class RecordingProcess : public CImagePageProcess {
 public:
  RecordingProcess(const ServerSettings& settings, const ImageCatalogue& catalogue,
                   COmniFileAccess& files, MySystem::CThreadMgr* pool)
      : CImagePageProcess(settings, catalogue, files, pool) {}

  void BuildPage(const IncomingRequest& request) override { request_ = request; }

  IncomingRequest request_;
};

TEST(ImagePageLoadingTest, RunHandsTheRequestToTheBuilder) {
  TestFileAccess access;
  MySystem::CThreadMgr pool(1);
  ServerSettings settings;
  ImageCatalogue catalogue(&pool, access.files);
  RecordingProcess handler(settings, catalogue, access.files, &pool);
  auto responder = std::make_shared<CapturingResponder>();

  IncomingRequest request;
  ASSERT_TRUE(IncomingRequest::Parse("GET /individual?page=1-N-4&word=a HTTP/1.1\r\n\r\n",
                                     IncomingRequest::Body::kWhole, responder, &request));
  CImagePageLoading job(&handler, request);

  EXPECT_EQ(job.Run(), 0);
  EXPECT_EQ(&handler.request_.responder(), responder.get());
  EXPECT_EQ(handler.request_.target().to_text(), "/individual?page=1-N-4&word=a");
}

}  // namespace
