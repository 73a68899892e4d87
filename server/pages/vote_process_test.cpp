#include "server/pages/vote_process.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <memory>
#include <regex>
#include <string>
#include <thread>
#include <vector>

#include "server/catalogue/file_content_hash.h"
#include "server/catalogue/picture_id.h"
#include "server/net/not_found_process.h"
#include "server/net/testing/response_capture.h"
#include "server/pages/testing/test_gallery.h"

namespace {

std::string Success(int count) {
  return "{\"state\":\"success\",\"response\":\"xxx\",\"viewNum\":\"" + std::to_string(count) +
         "\"}\r\n";
}

std::string Error(const std::string& reason) {
  return "{\"state\":\"error\",\"message\":\"" + reason + "\"}\r\n";
}

class VoteProcessTest : public ::testing::Test {
 protected:
  void SetUp() override {
    // Folder x holds three pictures, y two.
    gallery_.Fill({"x/cat1.jpg", "x/dog2.jpg", "x/cat3.jpg", "y/cat4.jpg", "y/bird5.jpg"});
    for (const char* name :
         {"x/cat1.jpg", "x/dog2.jpg", "x/cat3.jpg", "y/cat4.jpg", "y/bird5.jpg"}) {
      Write(name, std::string("content of ") + name);
    }
    std::vector<std::unique_ptr<CRequestProcess>> handlers;
    handlers.push_back(std::make_unique<CVoteProcess>(gallery_.catalogue(), &pool_));
    handlers.push_back(std::make_unique<C404rocess>());
    server_.SetHandlers(std::move(handlers));
  }

  void Write(const std::string& name, const std::string& content) {
    std::FILE* file = std::fopen(gallery_.Path(name).c_str(), "wb");
    std::fwrite(content.data(), 1, content.size(), file);
    std::fclose(file);
  }

  // The count the like table holds for a picture's content, -1 for none.
  int32_t Count(const std::string& name) {
    return gallery_.catalogue().likes().GetCount(
        FileContentHash(gallery_.files(), gallery_.Path(name)));
  }

  // The reply body of a /vote request through the handler, checked against the whole
  // response that carries it.
  std::string Vote(const std::string& query) {
    server_.Dispatch("GET /vote" + query +
                     " HTTP/1.1\r\nHost: h\r\nX-Requested-With: XMLHttpRequest\r\n\r\n");
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    std::string response;
    while ((response = server_.Posted()).empty() && std::chrono::steady_clock::now() < deadline) {
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    std::smatch nonce;
    if (!std::regex_search(response, nonce, std::regex("'nonce-([A-Za-z0-9+/=]{24})'"))) {
      ADD_FAILURE() << response;
      return "";
    }
    const std::string body = response.substr(response.find("\r\n\r\n") + 4);
    EXPECT_EQ(response, Http1Text(VoteResponse(body, nonce[1].str())));
    return body;
  }

  TestGallery gallery_;
  MySystem::CThreadMgr pool_{1};
  ResponseCapture server_;
};

TEST_F(VoteProcessTest, ResponseByteForByte) {
  EXPECT_EQ(Http1Text(VoteResponse(Success(0), "NONCE")),
            "HTTP/1.1 200 OK\r\n"
            "Cache-Control: max-age=0\r\n"
            "Expires: Wed, 24 Jan 1990 06:53:29 GMT\r\n"
            "Content-Length: 52\r\n"
            "Connection: Close\r\n"
            "Content-Security-Policy: script-src 'self' 'nonce-NONCE'\r\n"
            "Content-Type: application/json\r\n"
            "X-Content-Type-Options: nosniff\r\n"
            "X-Frame-Options: SAMEORIGIN\r\n"
            "\r\n"
            "{\"state\":\"success\",\"response\":\"xxx\",\"viewNum\":\"0\"}\r\n");
}

TEST_F(VoteProcessTest, FirstVoteAnswersZeroThenOne) {
  EXPECT_EQ(Vote("?page=1-N-0"), Success(0));
  EXPECT_EQ(Vote("?page=1-N-0&ui=1"), Success(1));
  EXPECT_EQ(Count("x/cat1.jpg"), 1);
  EXPECT_TRUE(gallery_.catalogue().likes().dirty());
}

// An <img>, a link or a form of another site sends no such header line; only a script of the
// gallery's own pages can.
TEST_F(VoteProcessTest, WithoutTheScriptsHeaderLineNothingCounts) {
  for (const char* header : {"", "X-Requested-With: x\r\n", "X-Requested-With: \r\n"}) {
    const std::string response = server_.Dispatch(
        "GET /vote?page=1-N-0 HTTP/1.1\r\nHost: h\r\n" + std::string(header) + "\r\n");
    EXPECT_EQ(response.substr(0, response.find("\r\n")), "HTTP/1.1 403 Forbidden") << header;
  }
  EXPECT_EQ(Count("x/cat1.jpg"), -1);
  EXPECT_EQ(Vote("?page=1-N-0"), Success(0));
}

TEST_F(VoteProcessTest, ErrorsCountNothing) {
  std::filesystem::remove(gallery_.Path("y/cat4.jpg"));
  struct Case {
    const char* query;
    const char* reason;
  } cases[] = {
      {"", "missing_page_parameter"},
      {"?word=cat", "missing_page_parameter"},
      {"?page=", "invalid_page_format"},
      {"?page=1-N", "invalid_page_format"},
      {"?page=1-N-0-0", "invalid_page_format"},
      {"?page=1-N-99999", "index_not_found"},
      {"?page=1-N--1", "invalid_page_format"},  // a minus sign is a separator too
      {"?page=1-F-0", "index_not_found"},       // nothing ranked yet
      {"?page=1-N-0&word=zebra", "index_not_found"},
      {"?page=1-N-4", "hash_not_found"},  // y/cat4.jpg has gone
  };
  for (const Case& c : cases) EXPECT_EQ(Vote(c.query), Error(c.reason)) << c.query;
  for (const char* name : {"x/cat1.jpg", "x/dog2.jpg", "x/cat3.jpg", "y/bird5.jpg"}) {
    EXPECT_EQ(Count(name), -1) << name;
  }
  EXPECT_FALSE(gallery_.catalogue().likes().dirty());
}

TEST_F(VoteProcessTest, CountsThePictureTheKeyNames) {
  // Name order: x/cat1, x/cat3, x/dog2, y/bird5, y/cat4; date order: the order of creation.
  struct Case {
    const char* query;
    const char* picture;
  } cases[] = {
      {"?page=1-PN-1", "y/bird5.jpg"},  // the picture the folder's thumbnail showed
      {"?page=1-PD-1", "y/cat4.jpg"},
      {"?page=1-D-2", "x/cat3.jpg"},
      {"?page=9-N-1", "x/cat3.jpg"},
      {"?page=1-XX-0", "x/cat1.jpg"},   // an unknown code is the name order
      {"?page=1-N-abc", "x/cat1.jpg"},  // a position without digits is 0
      {"?page=1-N-2&word=cat", "y/cat4.jpg"},
      {"?page=1-N-0&word=DOG", "x/dog2.jpg"},
  };
  for (const Case& c : cases) {
    const int32_t before = Count(c.picture);
    EXPECT_EQ(Vote(c.query), Success(before + 1)) << c.query;
    EXPECT_EQ(Count(c.picture), before + 1) << c.query;
  }
}

// The image page sends the id of the picture it showed with its key: a rescan that adds a
// picture before it moves every later position, and the like must still count for the
// picture the visitor saw, not for the one now at the key's position.
TEST_F(VoteProcessTest, TheIdDecidesAfterARescanMovedThePicture) {
  const std::string cat3 = PictureId(gallery_.Path("x/cat3.jpg"));
  EXPECT_EQ(Vote("?page=1-N-1&id=" + cat3), Success(0));  // name position 1: x/cat3
  // A new picture sorts first: x/cat3 is now at position 2, x/cat1 at 1.
  gallery_.Fill({"x/cat0.jpg", "x/cat1.jpg", "x/dog2.jpg", "x/cat3.jpg", "y/cat4.jpg"});
  for (const char* name : {"x/cat0.jpg", "x/cat1.jpg", "x/dog2.jpg", "x/cat3.jpg", "y/cat4.jpg"}) {
    Write(name, std::string("content of ") + name);
  }
  EXPECT_EQ(Vote("?page=1-N-1&id=" + cat3), Success(1));
  EXPECT_EQ(Vote("?page=1-D-0&word=zebra&id=" + cat3), Success(2));  // the id alone names it
  EXPECT_EQ(Count("x/cat3.jpg"), 2);
  EXPECT_EQ(Count("x/cat1.jpg"), -1);

  struct Case {
    std::string query;
    const char* reason;
  } cases[] = {
      // y/bird5 has gone: its id names nothing, whatever the position holds now.
      {"?page=1-N-1&id=" + PictureId(gallery_.Path("y/bird5.jpg")), "index_not_found"},
      {"?page=1-N-1&id=0123", "index_not_found"},
      {"?page=1-N-1&id=" + std::string(32, 'X'), "index_not_found"},
      {"?page=1-N&id=" + cat3, "invalid_page_format"},
      {"?id=" + cat3, "missing_page_parameter"},
  };
  for (const Case& c : cases) EXPECT_EQ(Vote(c.query), Error(c.reason)) << c.query;
  EXPECT_EQ(Count("x/cat1.jpg"), -1);
  // Without an id the key's position decides, as for every client before ids.
  EXPECT_EQ(Vote("?page=1-N-1"), Success(0));
  EXPECT_EQ(Count("x/cat1.jpg"), 0);
}

TEST_F(VoteProcessTest, IdenticalPicturesShareOneCount) {
  Write("x/dog2.jpg", "content of x/cat1.jpg");
  EXPECT_EQ(Vote("?page=1-D-0"), Success(0));
  EXPECT_EQ(Vote("?page=1-D-1"), Success(1));
  EXPECT_EQ(Vote("?page=1-D-0"), Success(2));
}

}  // namespace
