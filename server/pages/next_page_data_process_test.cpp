#include "server/pages/next_page_data_process.h"

#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <regex>
#include <thread>

#include "server/net/testing/response_capture.h"
#include "server/pages/testing/test_gallery.h"

namespace {

std::string ExpectedResponse(const std::string& body) {
  return "HTTP/1.1 200 OK\r\n"
         "Content-Length: " +
         std::to_string(body.size()) +
         "\r\n"
         "Connection: Close\r\n"
         "Content-Security-Policy: script-src 'self' 'nonce-NONCE'\r\n"
         "Content-Type: application/json\r\nX-Content-Type-Options: nosniff\r\nX-Frame-Options: SAMEORIGIN\r\n\r\n" +
         body;
}

s_request Request(const std::string& target) {
  s_request request;
  EXPECT_TRUE(request.parse(target)) << target;
  return request;
}

class NextPageDataProcessTest : public ::testing::Test {
 protected:
  void SetUp() override {
    // Two folders: the folder-first orders hold two images, the others five.
    gallery_.Fill({"x/cat 1.jpg", "x/dog 2.jpg", "x/cat 3.jpg", "y/cat 4.jpg", "y/bird.jpg"});
  }

  std::string Response(const std::string& target) {
    const s_request request = Request(target);
    return Http1Text(NextPageDataResponse(gallery_.catalogue().orders(), NextPageDataKey(request),
                                          request, now_, "NONCE"));
  }

  TestGallery gallery_;
  const platform::LocalTime now_{2026, 1, 2, 3, 4, 5};
};

TEST_F(NextPageDataProcessTest, ExactReply) {
  EXPECT_EQ(Response("/next_url?page=1-N-3"),
            ExpectedResponse("{\"state\":\"success\",\"time\":\"20260102030405\","
                             "\"ImageURL\":\"5\"}"));
}

TEST_F(NextPageDataProcessTest, CountsTheKeysOrderNarrowedByTheWord) {
  struct Case {
    const char* target;
    const char* count;
  } cases[] = {
      {"/next_url?page=1-N-0", "5"},
      {"/next_url?page=1-D-0", "5"},
      {"/next_url?page=1-F-0", "0"},  // nothing liked yet
      {"/next_url?page=1-PN-0", "2"},
      {"/next_url?page=1-PD-0", "2"},
      {"/next_url?page=1-X-0", "5"},
      {"/next_url?page=1-D-0&word=cat", "3"},
      {"/next_url?page=1-D-0&word=%E7%8C%AB", "0"},
      {"/next_url?page=1-PN-0&word=bird+jpg", "1"},  // "+" is a space: two tokens
  };
  for (const Case& c : cases) {
    EXPECT_EQ(Response(c.target),
              ExpectedResponse(std::string("{\"state\":\"success\",\"time\":\"20260102030405\","
                                           "\"ImageURL\":\"") +
                               c.count + "\"}"))
        << c.target;
  }
}

TEST_F(NextPageDataProcessTest, KeysOtherThanThreeFieldsFallBack) {
  struct Case {
    const char* target;
    const char* list_field;
    const char* order_code;
    int32_t position;
  } cases[] = {
      {"/next_url", "1", "N", 1},
      {"/next_url?page", "1", "N", 1},
      {"/next_url?page=T-1-N-0", "1", "N", 1},
      {"/next_url?page=1-N", "1", "N", 1},
      {"/next_url?page=7-PD-12", "7", "PD", 12},
  };
  for (const Case& c : cases) {
    const ImageKey key = NextPageDataKey(Request(c.target));
    EXPECT_EQ(key.list_field, c.list_field) << c.target;
    EXPECT_EQ(key.order_code, c.order_code) << c.target;
    EXPECT_EQ(key.position, c.position) << c.target;
  }
}

TEST(NextPageDataOrderTest, NameCodeCountsInTheDateOrder) {
  EXPECT_EQ(NextPageDataOrder("N"), ListOrder::Date);
  EXPECT_EQ(NextPageDataOrder("D"), ListOrder::Date);
  EXPECT_EQ(NextPageDataOrder("F"), ListOrder::Likes);
  EXPECT_EQ(NextPageDataOrder("PN"), ListOrder::FolderTopByName);
  EXPECT_EQ(NextPageDataOrder("PD"), ListOrder::FolderTopByDate);
  EXPECT_EQ(NextPageDataOrder("n"), ListOrder::Name);
  EXPECT_EQ(NextPageDataOrder(""), ListOrder::Name);
}

// The messages posted for the last dispatched request, once there is one (the job posts from
// a worker thread); empty if none arrives within a generous deadline.
std::vector<s_message> AwaitPosted(ResponseCapture* server) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
  while (server->PostedMessages().empty() && std::chrono::steady_clock::now() < deadline) {
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  return server->PostedMessages();
}

TEST_F(NextPageDataProcessTest, HandlerAnswersFromTheWorkerPoolAndCountsEveryReply) {
  std::atomic<uint32_t> answered{7};
  MySystem::CThreadMgr pool(2);
  ResponseCapture server;
  std::vector<std::unique_ptr<CRequestProcess>> handlers;
  handlers.push_back(std::make_unique<CNextPageDataProcess>(gallery_.catalogue(), answered, &pool));
  server.SetHandlers(std::move(handlers));

  for (uint32_t i = 1; i <= 3; ++i) {
    server.Dispatch("GET /next_url?page=1-PN-0&_=" + std::to_string(i) + " HTTP/1.1\r\n\r\n");
    const std::vector<s_message> posted = AwaitPosted(&server);
    ASSERT_EQ(posted.size(), 1u);
    EXPECT_EQ(posted[0].socket, 3);
    EXPECT_EQ(posted[0].connection_id, 1);
    std::string response = std::regex_replace(
        posted[0].bytes, std::regex("'nonce-[A-Za-z0-9+/]{22}=='"), "'nonce-NONCE'");
    response = std::regex_replace(response, std::regex("\"time\":\"[0-9]{14}\""),
                                  "\"time\":\"20260102030405\"");
    EXPECT_EQ(response, ExpectedResponse("{\"state\":\"success\",\"time\":\"20260102030405\","
                                         "\"ImageURL\":\"2\"}"));
    EXPECT_EQ(answered.load(), 7u + i);
  }
}

}  // namespace
