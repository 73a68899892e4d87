#include "server/net/request.h"

#include <gtest/gtest.h>

namespace {

TEST(RequestTest, TargetParsingTable) {
  struct Case {
    std::string target;
    bool ok;
    std::string path;
    std::map<std::string, std::string> params;
  };
  const Case cases[] = {
      {"/view?page=T-1-D-0", true, "/view", {{"page", "T-1-D-0"}}},
      {"/view?page", true, "/view", {{"page", ""}}},
      {"/view?page=", true, "/view", {{"page", ""}}},
      {"/view?a=1&a=2", true, "/view", {{"a", "2"}}},
      {"/view?word=%E7%8C%AB&page=T-1-N-0", true, "/view", {{"page", "T-1-N-0"}, {"word", "%E7%8C%AB"}}},
      {"/image?page=1-N-0&shrink=1", true, "/image", {{"page", "1-N-0"}, {"shrink", "1"}}},
      {"/VIEW", true, "/VIEW", {}},
      {"/", true, "/", {}},
      {"/view?", true, "/view", {}},
      {"/view?a=1=2", false, "", {}},
      {"/a=b", false, "", {}},
      {"/a&b", false, "", {}},
      {"/view?a?b", false, "", {}},
      {"/view?a=1&&b=2", false, "", {}},
      {"/view?a&b=1", false, "", {}},
  };
  for (const Case& c : cases) {
    s_request request;
    EXPECT_EQ(request.parse(c.target), c.ok) << c.target;
    EXPECT_EQ(request.path, c.path) << c.target;
    EXPECT_EQ(request.params, c.params) << c.target;
  }
}

TEST(RequestTest, EditingAndTextForm) {
  s_request request;
  ASSERT_TRUE(request.parse("/view?word=cat&page=T-1-N-2"));
  EXPECT_EQ(request.to_text(), "/view?page=T-1-N-2&word=cat");
  request.set("page", "T-1-D-0");
  request.set("a", "x y");
  EXPECT_EQ(request.to_text(), "/view?a=x y&page=T-1-D-0&word=cat");
  EXPECT_TRUE(request.remove("word"));
  EXPECT_FALSE(request.remove("word"));
  EXPECT_EQ(request.keys(), (std::vector<std::string>{"a", "page"}));
  request.params.clear();
  EXPECT_EQ(request.to_text(), "/view");
}

}  // namespace
