#include "server/upload/multipart_reader.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "server/upload/testing/multipart_collector.h"

namespace {

// Bodies whose delimiters, line breaks and header blocks fall where a piece may end.
std::vector<std::string> TrickyBodies() {
  const std::string part =
      "Content-Disposition: form-data; name=\"userfile\"; filename=\"a.jpg\"\r\n"
      "Content-Type: image/jpeg\r\n\r\n";
  std::vector<std::string> bodies = {
      "--bnd\r\n" + part + "one\r\n--bnd\r\n" + part + "two\r\n--bnd--\r\n",
      "preamble\r\n--bnd\r\n" + part + "x\r\n--bndx\r\n--bnd \r\n" + part + "\r\n--bnd--",
      "--bnd\r\n" + part + "ends at the delimiter\r\n--bnd",
      "--bnd\r\n" + part + "never closed\r\n--bn",
      "--bndjunk\n" + part + "\r\r\n--bnd\n\n\nLF only\n--bnd\t\n\r\n--bnd\n--bnd-x\n",
      "--bnd\r\nno blank line\r\n--bnd\r\n\r\n\r\n--bnd\r\n" + part + "\r\n\r\n--bnd--",
      "\n--bnd\r\n" + part + "--bnd\r\n\r\n--bnd\r\n" + part + "-\r\n-\r\n--bnd-",
      "--bnd\r\nX: " + std::string(kMaxPartHeaderBytes, 'h') + "\r\n\r\nlong header\r\n--bnd\r\n" +
          part + "after it\r\n--bnd--",
      "--bnd\r\nX: " + std::string(kMaxPartHeaderBytes - 9, 'h') + "\r\n\r\njust fits\r\n--bnd--",
  };
  std::string many;
  for (size_t i = 0; i <= kMaxMultipartParts; ++i)
    many += "--bnd\r\n\r\n" + std::to_string(i) + "\r\n";
  bodies.push_back(many + "--bnd--\r\n");
  bodies.push_back(many.substr(0, many.rfind("--bnd")) + "--bnd--\r\n");
  return bodies;
}

TEST(MultipartReaderTest, AnySplitGivesTheWholeBodysParts) {
  std::mt19937 random(7);
  for (const std::string& body : TrickyBodies()) {
    SCOPED_TRACE(body.substr(0, 80));
    if (body.size() < 2000) {
      std::vector<size_t> every_byte(body.size(), 1);
      EXPECT_EQ(ReadInPieces("bnd", body, every_byte), SplitWhole("bnd", body));
    }
    for (int round = 0; round < 20; ++round) {
      std::vector<size_t> sizes;
      for (size_t left = body.size(); left > 0;) {
        size_t size = std::min<size_t>(left, 1 + random() % 13);
        sizes.push_back(size);
        left -= size;
      }
      EXPECT_EQ(ReadInPieces("bnd", body, sizes), SplitWhole("bnd", body));
    }
  }
}

TEST(MultipartReaderTest, PassesABodyOnWhileItArrives) {
  MultipartCollector collector;
  MultipartReader reader("bnd", &collector);
  reader.Feed("--bnd\r\nContent-Disposition: form-data; name=\"userfile\"\r\n\r\n" +
              std::string(1000, 'x'));
  ASSERT_EQ(collector.parts.size(), 1u);
  EXPECT_EQ(collector.parts[0].name, "userfile");
  // Only the bytes that may yet begin a delimiter are held back.
  EXPECT_GE(collector.parts[0].body.size(), 990u);
  EXPECT_FALSE(collector.parts[0].ended);
  reader.Feed("\r\n--bnd--\r\n");
  EXPECT_TRUE(collector.parts[0].ended);
  EXPECT_EQ(collector.parts[0].body, std::string(1000, 'x'));
  EXPECT_EQ(reader.Finish(), MultipartResult::kSplit);
}

}  // namespace
