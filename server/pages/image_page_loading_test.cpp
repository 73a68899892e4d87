#include "server/pages/image_page_loading.h"

#include <gtest/gtest.h>

#include "server/catalogue/testing/test_file_access.h"
#include "server/net/testing/response_capture.h"
#include "server/pages/image_page_process.h"

namespace {

// Records the page builder's arguments instead of building a page.
class RecordingProcess : public CImagePageProcess {
 public:
  RecordingProcess(const ServerSettings& settings, const ImageCatalogue& catalogue,
                   COmniFileAccess& files, MySystem::CThreadMgr* pool)
      : CImagePageProcess(settings, catalogue, files, pool) {}

  void BuildPage(CImageServer* server, platform::SocketHandle socket, int32_t connection_id,
                 const s_request& request) override {
    server_ = server;
    socket_ = socket;
    connection_id_ = connection_id;
    request_ = request;
  }

  CImageServer* server_ = nullptr;
  platform::SocketHandle socket_ = platform::kInvalidSocket;
  int32_t connection_id_ = 0;
  s_request request_;
};

TEST(ImagePageLoadingTest, RunHandsItsCopyOfTheRequestToTheBuilder) {
  TestFileAccess access;
  MySystem::CThreadMgr pool(1);
  ServerSettings settings;
  ImageCatalogue catalogue(&pool, access.files);
  RecordingProcess handler(settings, catalogue, access.files, &pool);
  ResponseCapture server;

  s_request request;
  ASSERT_TRUE(request.parse("/individual?page=1-N-4&word=a"));
  CImagePageLoading job(&handler, &server, 7, 42, request);
  request.set("page", "changed after posting");

  EXPECT_EQ(job.Run(), 0);
  EXPECT_EQ(handler.server_, &server);
  EXPECT_EQ(handler.socket_, 7);
  EXPECT_EQ(handler.connection_id_, 42);
  EXPECT_EQ(handler.request_.to_text(), "/individual?page=1-N-4&word=a");
}

}  // namespace
