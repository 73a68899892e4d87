#include "server/net/incoming_request.h"

#include <gtest/gtest.h>

#include "server/net/testing/response_capture.h"

namespace {

struct RecordingStream : CRequestBodyStream {
  std::string body;
  bool finished = false;
  void Append(std::string bytes) override { body += bytes; }
  bool Full() override { return false; }
  void Finish() override { finished = true; }
  void Abandon() override {}
};

// A handler hands its stream over the same way whether the body came with the request or
// is still to arrive.
TEST(IncomingRequestTest, BodyReachesTheStreamAtOnceOrLater) {
  const std::string post = "POST /up HTTP/1.1\r\nContent-Length: 4\r\n\r\n";
  auto responder = std::make_shared<CapturingResponder>();

  IncomingRequest whole;
  ASSERT_TRUE(
      IncomingRequest::Parse(post + "data", IncomingRequest::Body::kWhole, responder, &whole));
  auto at_once = std::make_shared<RecordingStream>();
  whole.ReceiveBody(at_once);
  EXPECT_EQ(at_once->body, "data");
  EXPECT_TRUE(at_once->finished);
  EXPECT_EQ(whole.TakeBodyStream(), nullptr);

  IncomingRequest head;
  ASSERT_TRUE(IncomingRequest::Parse(post, IncomingRequest::Body::kToCome, responder, &head));
  auto later = std::make_shared<RecordingStream>();
  head.ReceiveBody(later);
  EXPECT_EQ(later->body, "");
  EXPECT_FALSE(later->finished);
  EXPECT_EQ(head.TakeBodyStream(), later);
}

// A copy taken by a job shares the parsed request and answers through the same responder.
TEST(IncomingRequestTest, CopiesShareRequestAccountsAndResponder) {
  auto responder = std::make_shared<CapturingResponder>();
  IncomingRequest request;
  EXPECT_FALSE(IncomingRequest::Parse("GARBAGE\r\n\r\n", IncomingRequest::Body::kWhole, responder,
                                      &request));
  ASSERT_TRUE(IncomingRequest::Parse("GET /a?b=c HTTP/1.1\r\n\r\n", IncomingRequest::Body::kWhole,
                                     responder, &request));
  EXPECT_TRUE(request.accounts().empty());
  request.set_accounts({{"alice", "hash", 1, {}}});
  const IncomingRequest copy = request;
  EXPECT_EQ(copy.accounts().at(0).name, "alice");
  EXPECT_EQ(copy.target().Param("b"), "c");
  EXPECT_EQ(copy.http().bytes.data(), request.http().bytes.data());
  copy.Respond(HttpResponse("200 OK").ContentLength(0).Finish());
  EXPECT_EQ(responder->Bytes(), "HTTP/1.1 200 OK\r\nContent-Length: 0\r\nX-Content-Type-Options: nosniff\r\n"
            "X-Frame-Options: SAMEORIGIN\r\n\r\n");
}

}  // namespace
