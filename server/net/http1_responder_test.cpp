#include "server/net/http1_responder.h"

#include <gtest/gtest.h>

#include "server/net/http_response.h"
#include "server/net/none_blocking_server.h"

namespace {

// The answers reach the server's send queue as HTTP/1.1 bytes, interim ones included.
TEST(Http1ResponderTest, QueuesAnswersForItsConnection) {
  CNoneBlockingServer server;
  CHttp1Responder responder(&server, 5, 1);
  responder.Interim(HttpResponse("103").Header("link", "</a>").Finish());
  const size_t interim = server.QueuedResponseBytes();
  EXPECT_EQ(interim, std::string("HTTP/1.1 103\r\nlink: </a>\r\n\r\n").size());
  responder.Respond(HttpResponse("200 OK").ContentLength(2).Finish("ok"));
  EXPECT_EQ(server.QueuedResponseBytes() - interim,
            std::string("HTTP/1.1 200 OK\r\nContent-Length: 2\r\nX-Content-Type-Options: "
                        "nosniff\r\nX-Frame-Options: SAMEORIGIN\r\n\r\nok")
                .size());
  EXPECT_FALSE(responder.Gone());
}

// The answer to a HEAD request keeps its header lines, the length of the body it would have
// included, and goes without the body in whichever form it has.
TEST(Http1ResponderTest, HeadAnswersGoWithoutTheirBodies) {
  CNoneBlockingServer server;
  CHttp1Responder responder(&server, 5, 1);
  responder.OmitBody();
  const std::string head = "HTTP/1.1 200 OK\r\nContent-Length: 5\r\nX-Content-Type-Options: "
                           "nosniff\r\nX-Frame-Options: SAMEORIGIN\r\n\r\n";
  responder.Respond(HttpResponse("200 OK").ContentLength(5).Finish("hello"));
  EXPECT_EQ(server.QueuedResponseBytes(), head.size());
  CHttp1Responder shared(&server, 6, 1);
  shared.OmitBody();
  shared.Respond(HttpResponse("200 OK").ContentLength(5).Finish(
      std::make_shared<const std::vector<uint8_t>>(5, 'x')));
  EXPECT_EQ(server.QueuedResponseBytes(), 2 * head.size());
}

// Socket numbers are reused: an answer for a connection that has closed must never be
// queued, where it could reach the next connection on the same socket.
TEST(Http1ResponderTest, AnswersAfterTheConnectionClosedGoNowhere) {
  CNoneBlockingServer server;
  CHttp1Responder responder(&server, 5, 1);
  responder.Detach();
  EXPECT_TRUE(responder.Gone());
  responder.Interim(HttpResponse("103").Finish());
  responder.Respond(HttpResponse("200 OK").ContentLength(0).Finish());
  EXPECT_EQ(server.QueuedResponseBytes(), 0u);
  EXPECT_EQ(responder.PeerAddress(), "");
}

}  // namespace
