#include "server/catalogue/shared_path.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace {

using namespace std::string_literals;

TEST(SharedPathTest, HoldsTheCharactersWithATerminatingNul) {
  const std::string texts[] = {"", "a", "/p/x y/\xC3\xA4.jpg", "/p/a.zip|/day1/001.jpg",
                               "with\0nul.jpg"s, std::string(5000, 'x')};
  for (const std::string& text : texts) {
    const SharedPath path(text);
    EXPECT_EQ(path.size(), text.size()) << text;
    EXPECT_EQ(path.empty(), text.empty()) << text;
    EXPECT_EQ(std::string_view(path), text) << text;
    EXPECT_EQ(std::memcmp(path.c_str(), text.c_str(), text.size() + 1), 0) << text;
    EXPECT_EQ(path.data(), path.c_str());
    std::ostringstream printed;
    printed << path;
    EXPECT_EQ(printed.str(), text);
  }
  const SharedPath none;
  EXPECT_TRUE(none.empty());
  EXPECT_STREQ(none.c_str(), "");
}

TEST(SharedPathTest, CopiesShareTheBlockAndMovesHandItOver) {
  SharedPath original("/p/a.jpg");
  const char* block = original.data();
  SharedPath copy = original;
  EXPECT_EQ(copy.data(), block);
  SharedPath assigned("/p/other.jpg");
  assigned = copy;
  EXPECT_EQ(assigned.data(), block);
  assigned = assigned;  // a copy onto itself keeps the block
  EXPECT_EQ(assigned.data(), block);

  SharedPath moved = std::move(copy);
  EXPECT_EQ(moved.data(), block);
  EXPECT_TRUE(copy.empty());
  original = SharedPath();
  // The block lives on in the copies that are left.
  EXPECT_EQ(moved, "/p/a.jpg");
  EXPECT_EQ(assigned.data(), block);

  // Equal characters in another block are equal all the same.
  EXPECT_EQ(SharedPath("/p/a.jpg"), moved);
  EXPECT_NE(SharedPath("/p/a.jpg").data(), block);
}

TEST(SharedPathTest, ComparesAsStringsDo) {
  struct Case {
    std::string a;
    std::string b;
  };
  // Bytes above 0x7F order after ASCII, as std::string orders them.
  const Case cases[] = {{"", ""},          {"", "a"},         {"a", "b"},
                        {"a", "a/"},       {"a b/x", "a/x"},  {"/p/\xC3\xA4", "/p/z"},
                        {"A.jpg", "a.jpg"}, {"x\0y"s, "x"},   {"same", "same"}};
  for (const Case& c : cases) {
    const SharedPath a(c.a), b(c.b);
    EXPECT_EQ(a == b, c.a == c.b) << c.a << " " << c.b;
    EXPECT_EQ(a == std::string_view(c.b), c.a == c.b) << c.a << " " << c.b;
    EXPECT_EQ(c.b == a, c.a == c.b) << c.a << " " << c.b;
    EXPECT_EQ(a < b, c.a < c.b) << c.a << " " << c.b;
    EXPECT_EQ(b < a, c.b < c.a) << c.a << " " << c.b;
    EXPECT_EQ(a < std::string_view(c.b), c.a < c.b) << c.a << " " << c.b;
  }
}

TEST(SharedPathTest, SearchesAsStringViewsDo) {
  const std::string text = "/p/trip.zip|/day1/001.jpg";
  const std::string_view view = text;
  const SharedPath path(text);
  for (const char* part : {"/", "|/", ".jpg", "p", "", "missing"}) {
    EXPECT_EQ(path.find(part), view.find(part)) << part;
    EXPECT_EQ(path.find(part, 5), view.find(part, 5)) << part;
    EXPECT_EQ(path.rfind(part), view.rfind(part)) << part;
    EXPECT_EQ(path.rfind(part, 10), view.rfind(part, 10)) << part;
  }
  EXPECT_EQ(path.find('/'), 0u);
  EXPECT_EQ(path.rfind('/'), view.rfind('/'));
  EXPECT_EQ(path.find('#'), SharedPath::npos);
  EXPECT_EQ(path.substr(3, 8), "trip.zip");
  EXPECT_EQ(path.substr(path.rfind('/') + 1), "001.jpg");
  // A view into the block itself, not a copy.
  EXPECT_EQ(path.substr(3).data(), path.data() + 3);
}

// Copies made and dropped on many threads at once, after the thread that made the path has
// dropped its own: the count never loses a copy, so the characters stay intact until the last
// one goes, on whichever thread that is (an address sanitizer build sees an early or double
// free, or a leak).
TEST(SharedPathTest, CopiesComeAndGoOnManyThreads) {
  constexpr int kThreads = 4;
  constexpr int kRounds = 2000;
  const std::string text(100, 'p');
  std::atomic<int> wrong{0};
  std::vector<std::thread> threads;
  {
    const SharedPath path(text);
    for (int t = 0; t < kThreads; ++t) {
      threads.emplace_back([path, &text, &wrong] {
        std::vector<SharedPath> copies;
        for (int round = 0; round < kRounds; ++round) {
          copies.assign(8, path);
          const SharedPath moved = std::move(copies.back());
          copies.pop_back();
          if (moved != text || moved.data() != path.data()) ++wrong;
        }
      });
    }
  }
  for (std::thread& thread : threads) thread.join();
  EXPECT_EQ(wrong.load(), 0);
}

}  // namespace
