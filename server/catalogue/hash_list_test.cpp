#include "server/catalogue/hash_list.h"

#include <gtest/gtest.h>

#include <climits>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "server/catalogue/testing/test_support.h"

namespace {

using test_support::TempDir;

const std::string kHashA = "0123456789abcdef0123456789abcdef";
const std::string kHashB = "fedcba9876543210fedcba9876543210";

// One record as the writer lays it out, with `eol` at every line's end.
std::string Record(const std::string& count, const std::string& size, const std::string& hash,
                   const std::string& eol = "\r\n") {
  return "<HASH_INFO>" + eol + "<VIEWD>" + count + "</VIEWD>" + eol + "<FILE_SIZE>" + size +
         "</FILE_SIZE>" + eol + "<HASH>" + hash + "</HASH>" + eol + "</HASH_INFO>" + eol;
}

// (count, size) by hash.
using Counts = std::map<std::string, std::pair<int32_t, uint32_t>>;

Counts Parse(const std::string& bytes) {
  HashList list;
  ParseHashList(bytes, &list);
  Counts counts;
  for (const auto& [hash, record] : list.records()) {
    counts[hash] = {record.viewd, record.file_size};
  }
  return counts;
}

std::string Utf16(const std::string& ascii, bool little_endian) {
  std::string out = little_endian ? "\xFF\xFE" : "\xFE\xFF";
  for (char c : ascii) {
    out += little_endian ? std::string{c, '\0'} : std::string{'\0', c};
  }
  return out;
}

TEST(HashListTest, FirstLikeCountsZeroThenOne) {
  HashList list;
  EXPECT_EQ(list.GetCount(kHashA), -1);
  EXPECT_EQ(list.AddLike(kHashA), 0);
  EXPECT_EQ(list.GetCount(kHashA), 0);
  EXPECT_EQ(list.AddLike(kHashA), 1);
  EXPECT_EQ(list.GetCount(kHashA), 1);

  // SetSize of a hash without a record makes one, counted as a first like.
  list.SetSize(kHashB, 77);
  EXPECT_EQ(list.GetCount(kHashB), 0);
  EXPECT_EQ(list.records().at(kHashB).file_size, 77u);

  // A count at the top of its range stays there instead of wrapping to negative.
  list.Insert("ffffffffffffffffffffffffffffffff", LikeRecord{INT32_MAX, 1});
  EXPECT_EQ(list.AddLike("ffffffffffffffffffffffffffffffff"), INT32_MAX);
}

TEST(HashListTest, WritesTheFiveLinesOfARecord) {
  HashList list;
  list.Insert(kHashA, LikeRecord{12, 4000000000u});
  EXPECT_EQ(FormatHashList(list),
            "<HASH_INFO>\r\n"
            "<VIEWD>12</VIEWD>\r\n"
            "<FILE_SIZE>4000000000</FILE_SIZE>\r\n"
            "<HASH>0123456789abcdef0123456789abcdef</HASH>\r\n"
            "</HASH_INFO>\r\n");
}

TEST(HashListTest, ReadsWhatItWrites) {
  HashList list;
  for (int i = 0; i < 50; ++i) {
    char hash[33];
    std::snprintf(hash, sizeof hash, "%032x", i * 7919);
    list.Insert(hash, LikeRecord{i, static_cast<uint32_t>(i * 1000)});
  }
  HashList read;
  ParseHashList(FormatHashList(list), &read);
  ASSERT_EQ(read.size(), 50u);
  for (const auto& [hash, record] : list.records()) {
    EXPECT_EQ(read.records().at(hash).viewd, record.viewd);
    EXPECT_EQ(read.records().at(hash).file_size, record.file_size);
  }
}

TEST(HashListTest, ReadsRecordsAsFarAsTheyAreValid) {
  const std::string a = Record("3", "100", kHashA);
  const std::string b = Record("5", "200", kHashB);
  struct Case {
    const char* what;
    std::string bytes;
    Counts expected;
  } cases[] = {
      {"as written", a + b, {{kHashA, {3, 100}}, {kHashB, {5, 200}}}},
      {"LF line ends", Record("3", "100", kHashA, "\n"), {{kHashA, {3, 100}}}},
      {"one line", Record("3", "100", kHashA, ""), {{kHashA, {3, 100}}}},
      {"UTF-8 mark", "\xEF\xBB\xBF" + a, {{kHashA, {3, 100}}}},
      {"UTF-16LE mark", Utf16(a + b, true), {{kHashA, {3, 100}}, {kHashB, {5, 200}}}},
      {"UTF-16BE mark", Utf16(a, false), {{kHashA, {3, 100}}}},
      {"duplicate hash: the first wins", a + Record("9", "900", kHashA), {{kHashA, {3, 100}}}},
      {"no FILE_SIZE",
       "<HASH_INFO><VIEWD>4</VIEWD><HASH>" + kHashA + "</HASH></HASH_INFO>",
       {{kHashA, {4, 0}}}},
      {"no VIEWD",
       "<HASH_INFO><FILE_SIZE>8</FILE_SIZE><HASH>" + kHashA + "</HASH></HASH_INFO>",
       {{kHashA, {0, 8}}}},
      {"FILE_SIZE past 2147483647",
       Record("1", "3000000000", kHashA),
       {{kHashA, {1, 2147483647u}}}},
      {"numbers as atol reads them", Record(" +7x", "-5", kHashA), {{kHashA, {7, 0}}}},
      {"count past the 32-bit range",
       Record("99999999999", "1", kHashA),
       {{kHashA, {INT32_MAX, 1}}}},
      {"garbage around records",
       "junk\x81\xff<HASH" + a + "<VIEWD>1</VIEWD>\r\n" + b + "tail",
       {{kHashA, {3, 100}}, {kHashB, {5, 200}}}},
      {"unclosed record before a whole one",
       "<HASH_INFO>\r\n<VIEWD>1</VIEWD>\r\n" + b,
       {{kHashB, {5, 200}}}},
      {"truncated last record", a + b.substr(0, b.size() - 8), {{kHashA, {3, 100}}}},
      {"file cut inside a tag", a + "<HASH_IN", {{kHashA, {3, 100}}}},
      {"upper-case hash",
       Record("1", "1", "0123456789ABCDEF0123456789ABCDEF") + b,
       {{kHashB, {5, 200}}}},
      {"short hash", Record("1", "1", kHashA.substr(1)) + b, {{kHashB, {5, 200}}}},
      {"no hash", "<HASH_INFO><VIEWD>1</VIEWD></HASH_INFO>" + b, {{kHashB, {5, 200}}}},
      {"empty", "", {}},
  };
  for (const Case& c : cases) EXPECT_EQ(Parse(c.bytes), c.expected) << c.what;
}

TEST(HashListTest, LoadTellsAMissingFileFromAnUnreadableOne) {
  TempDir dir;
  HashList list;
  EXPECT_EQ(LoadHashList(dir.Join("none.dat"), &list), HashListLoad::kMissing);
  EXPECT_EQ(LoadHashList("", &list), HashListLoad::kMissing);
  std::filesystem::create_directory(dir.Join("folder.dat"));
  EXPECT_EQ(LoadHashList(dir.Join("folder.dat"), &list), HashListLoad::kUnreadable);
  EXPECT_TRUE(list.empty());

  test_support::WriteFile(dir.Join("hash.dat"), Record("2", "10", kHashA));
  EXPECT_EQ(LoadHashList(dir.Join("hash.dat"), &list), HashListLoad::kRead);
  EXPECT_EQ(list.GetCount(kHashA), 2);
}

// A file with text but no record is some other file (a configuration named by mistake); an
// empty list's file is empty, and a BOM or blank lines are no text.
TEST(HashListTest, LoadTellsAHashListFromAnotherFile) {
  struct Case {
    const char* what;
    std::string bytes;
    HashListLoad expected;
  };
  const Case cases[] = {
      {"configuration", "<PATH>/srv/pictures</PATH>\r\n<PORT>8080</PORT>\r\n",
       HashListLoad::kNotAHashList},
      {"record with a bad hash", Record("1", "1", "not a hash"), HashListLoad::kNotAHashList},
      {"UTF-16 text", std::string("\xFF\xFE<\0P\0>\0", 8), HashListLoad::kNotAHashList},
      {"empty", "", HashListLoad::kRead},
      {"blank lines after a BOM", "\xEF\xBB\xBF\r\n\r\n", HashListLoad::kRead},
      {"a record among other text", "junk" + Record("1", "1", kHashA), HashListLoad::kRead},
  };
  for (const Case& c : cases) {
    TempDir dir;
    test_support::WriteFile(dir.Join("hash.dat"), c.bytes);
    HashList list;
    EXPECT_EQ(LoadHashList(dir.Join("hash.dat"), &list), c.expected) << c.what;
  }
}

TEST(HashListTest, SaveReplacesTheFileAndLeavesNothingElse) {
  TempDir dir;
  const std::string path = dir.Join("hash.dat");
  test_support::WriteFile(path, std::string("old content"));
  HashList list;
  list.Insert(kHashA, LikeRecord{6, 60});
  ASSERT_TRUE(SaveHashList(path, list));
  const std::vector<uint8_t> saved = test_support::ReadFile(path);
  EXPECT_EQ(std::string(saved.begin(), saved.end()), FormatHashList(list));
  std::vector<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(dir.path())) {
    names.push_back(entry.path().filename().string());
  }
  EXPECT_EQ(names, std::vector<std::string>{"hash.dat"});

  // A folder that is not there: the save fails and leaves nothing behind.
  EXPECT_FALSE(SaveHashList(dir.Join("missing/hash.dat"), list));
  EXPECT_FALSE(std::filesystem::exists(dir.Join("missing")));
}

}  // namespace
