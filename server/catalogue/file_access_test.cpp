#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include <sys/stat.h>

#include "common/config/md5_hex.h"
#include "platform/testing/test_eventually.h"
#include "server/catalogue/direct_file_access.h"
#include "server/catalogue/file_content_hash.h"
#include "server/catalogue/member_path.h"
#include "server/catalogue/omni_file_access.h"
#include "server/catalogue/read_budget.h"
#include "server/catalogue/read_limits.h"
#include "server/catalogue/testing/test_support.h"
#include "server/catalogue/zip_file_access.h"

namespace {

using test_support::Quote;
using test_support::RunShell;
using test_support::TempDir;
using test_support::WriteFile;

std::vector<uint8_t> Bytes(const std::string& text) {
  return std::vector<uint8_t>(text.begin(), text.end());
}

// Sets a file's modification time to `seconds.nanoseconds` since 1970 (UTC).
void SetTime(const std::string& path, const std::string& seconds_dot_nanoseconds) {
  ASSERT_EQ(RunShell("touch -d @" + seconds_dot_nanoseconds + " " + Quote(path)), 0);
}

class FileAccessTest : public testing::Test {
 protected:
  void SetUp() override {
    if (!test_support::HaveTool("zip")) GTEST_SKIP() << "zip is missing";
    WriteFile(dir_.Join("src/c/d.jpg"), Bytes("member d"));
    WriteFile(dir_.Join("src/c/e.jpg"), Bytes("member e, deflated: eeeeeeeeeeeeeeeeeeeeeeee"));
    // 2021-03-04 05:06:08 in the zip tool's local time, UTC here.
    SetTime(dir_.Join("src/c/d.jpg"), "1614834368");
    ASSERT_EQ(RunShell("cd " + Quote(dir_.Join("src")) + " && TZ=UTC zip -q -r " +
                       Quote(dir_.Join("b.zip")) + " c"),
              0);
    std::filesystem::copy_file(dir_.Join("b.zip"), dir_.Join("upper.ZIP"));
    WriteFile(dir_.Join("plain.jpg"), Bytes("plain bytes"));
    WriteFile(dir_.Join("a|b.jpg"), Bytes("a plain file with a bar"));
    WriteFile(dir_.Join("pics.zip|/y.jpg"), Bytes("in a folder named pics.zip|"));
    std::filesystem::create_directory(dir_.Join("folder.zip"));
  }

  TempDir dir_;
  ReadBudget budget_{ReadBudget::kReadBytesInFlight};
};

TEST_F(FileAccessTest, PathKinds) {
  struct Case {
    std::string name;  // under the test folder
    bool member;
    const char* content;  // null: every operation fails
  };
  const Case cases[] = {
      {"plain.jpg", false, "plain bytes"},
      {"a|b.jpg", false, "a plain file with a bar"},
      {"pics.zip|/y.jpg", false, "in a folder named pics.zip|"},  // no archive pics.zip
      {"b.zip|/c/d.jpg", true, "member d"},
      {"b.zip|/c/e.jpg", true, "member e, deflated: eeeeeeeeeeeeeeeeeeeeeeee"},
      {"upper.ZIP|/c/d.jpg", true, "member d"},
      {"b.zip|/c/D.jpg", true, nullptr},  // names compare case-sensitively
      {"b.zip|/c\\d.jpg", true, nullptr},
      {"b.zip|", false, nullptr},  // no "|/": the plain file "b.zip|", which is not there
      {"b.zip|/", true, nullptr},  // nothing after the separator
      {"missing.zip|/c/d.jpg", false, nullptr},
      {"folder.zip|/c/d.jpg", false, nullptr},
      {"plain.jpg|/x", false, nullptr},
      {"missing.jpg", false, nullptr},
  };
  COmniFileAccess omni(budget_);
  CDirectFileAccess direct(budget_);
  CZIPFileAccess zip(budget_);
  for (const Case& c : cases) {
    const std::string path = dir_.Join(c.name);
    SCOPED_TRACE(c.name);
    EXPECT_EQ(IsMemberPath(path), c.member);
    EXPECT_EQ(zip.Accepts(path), c.member);
    EXPECT_EQ(direct.Accepts(path), !c.member);
    EXPECT_TRUE(omni.Accepts(path));
    const bool found = c.content != nullptr;
    EXPECT_EQ(omni.Exists(path), found);
    EXPECT_EQ(omni.GetTime(path, nullptr), found);
    const std::vector<uint8_t> expected = found ? Bytes(c.content) : Bytes("untouched");
    for (uint32_t use_cache : {0u, 1u, 1u}) {
      std::vector<uint8_t> out = Bytes("untouched");
      EXPECT_EQ(omni.ReadAll(use_cache, path, &out), found);
      EXPECT_EQ(out, expected);
    }
  }
}

TEST_F(FileAccessTest, FirstOfTwoMembersWithTheSameNameWins) {
  if (!test_support::HaveTool("/usr/bin/python3")) GTEST_SKIP() << "python3 is missing";
  const std::string archive = dir_.Join("dup.zip");
  WriteFile(dir_.Join("dup.py"),
            "import zipfile, warnings\nwarnings.simplefilter('ignore')\n"
            "z = zipfile.ZipFile('" +
                archive +
                "', 'w')\n"
                "z.writestr('same.jpg', b'first')\nz.writestr('same.jpg', b'second')\n"
                "z.close()\n");
  ASSERT_EQ(RunShell("/usr/bin/python3 " + Quote(dir_.Join("dup.py"))), 0);
  COmniFileAccess omni(budget_);
  std::vector<uint8_t> out;
  ASSERT_TRUE(omni.ReadAll(0, MakeMemberPath(archive, "same.jpg"), &out));
  EXPECT_EQ(out, Bytes("first"));
}

TEST_F(FileAccessTest, Times) {
  SetTime(dir_.Join("plain.jpg"), "1614834367.890123456");
  COmniFileAccess omni(budget_);
  SystemTime plain;
  ASSERT_TRUE(omni.GetTime(dir_.Join("plain.jpg"), &plain));
  SystemTime expected{2021, 3, 4, 4, 5, 6, 7, 890};
  EXPECT_EQ(plain, expected);

  SystemTime member;
  ASSERT_TRUE(omni.GetTime(MakeMemberPath(dir_.Join("b.zip"), "c/d.jpg"), &member));
  expected.second = 8;
  expected.milliseconds = 0;
  EXPECT_EQ(member, expected);
}

TEST_F(FileAccessTest, FilesBeyondTheLimitAreNotRead) {
  const std::string big = dir_.Join("big.jpg");
  WriteFile(big, Bytes(""));
  std::filesystem::resize_file(big, kMaxFileBytes + 1);  // sparse: nothing is written
  COmniFileAccess omni(budget_);
  std::vector<uint8_t> out;
  EXPECT_FALSE(omni.ReadAll(0, big, &out));
  std::filesystem::resize_file(big, uint64_t{5} << 30);
  EXPECT_FALSE(omni.ReadAll(0, big, &out));
  EXPECT_FALSE(omni.ReadAll(0, dir_.path(), &out));  // a folder
}

// A file of any size is read in pieces, each within the budget; the hash of the pieces is the
// hash of the whole, for plain files and members alike.
TEST_F(FileAccessTest, PiecesHoldOnePieceOfTheBudgetAtATime) {
  const std::string big = dir_.Join("big.jpg");
  WriteFile(big, Bytes(""));
  std::filesystem::resize_file(big, kMaxFileBytes + 1);  // sparse: nothing is written
  COmniFileAccess omni(budget_);
  uint64_t bytes = 0;
  uint64_t most_in_use = 0;
  ASSERT_TRUE(omni.ReadPieces(big, [&](const uint8_t*, size_t size) {
    bytes += size;
    most_in_use = std::max(most_in_use, budget_.InUse());
    return true;
  }));
  EXPECT_EQ(bytes, kMaxFileBytes + 1);
  EXPECT_EQ(most_in_use, CDirectFileAccess::kPieceBytes);
  EXPECT_EQ(budget_.InUse(), 0u);
  int pieces = 0;
  EXPECT_FALSE(omni.ReadPieces(big, [&](const uint8_t*, size_t) { return ++pieces < 2; }));
  EXPECT_EQ(pieces, 2);

  const std::string pieces_and_a_half(CDirectFileAccess::kPieceBytes * 5 / 2, 'p');
  WriteFile(dir_.Join("long.jpg"), Bytes(pieces_and_a_half));
  EXPECT_EQ(FileContentHash(omni, dir_.Join("long.jpg")), MD5Hex(pieces_and_a_half));
  EXPECT_EQ(FileContentHash(omni, MakeMemberPath(dir_.Join("b.zip"), "c/d.jpg")),
            MD5Hex("member d"));
  EXPECT_EQ(FileContentHash(omni, dir_.Join("missing.jpg")), "");
}

// A FIFO in place of a picture fails at once instead of waiting for a writer.
TEST_F(FileAccessTest, FifoIsNoFile) {
  const std::string fifo = dir_.Join("fifo.jpg");
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  COmniFileAccess omni(budget_);
  std::vector<uint8_t> out;
  std::shared_ptr<const std::vector<uint8_t>> shared;
  EXPECT_FALSE(omni.ReadAll(0, fifo, &out));
  EXPECT_FALSE(omni.ReadShared(fifo, &shared));
  EXPECT_FALSE(omni.ReadPieces(fifo, [](const uint8_t*, size_t) { return true; }));
  EXPECT_EQ(FileContentHash(omni, fifo), "");
}

// A cached copy is served exactly while the file's size and full-precision time stay the same.
TEST_F(FileAccessTest, CacheFollowsTheFileVersion) {
  const std::string path = dir_.Join("plain.jpg");
  COmniFileAccess omni(budget_);
  std::vector<uint8_t> out;
  SetTime(path, "1600000000.100000000");
  ASSERT_TRUE(omni.ReadAll(1, path, &out));
  EXPECT_TRUE(omni.IsCached(path));

  // Same size, same time: the cache cannot tell, and serves the copy.
  WriteFile(path, Bytes("PLAIN BYTES"));
  SetTime(path, "1600000000.100000000");
  ASSERT_TRUE(omni.ReadAll(1, path, &out));
  EXPECT_EQ(out, Bytes("plain bytes"));

  // Same second, other nanoseconds: read again.
  SetTime(path, "1600000000.100000001");
  ASSERT_TRUE(omni.ReadAll(1, path, &out));
  EXPECT_EQ(out, Bytes("PLAIN BYTES"));

  // Same time, other size: read again.
  WriteFile(path, Bytes("longer plain bytes"));
  SetTime(path, "1600000000.100000001");
  ASSERT_TRUE(omni.ReadAll(1, path, &out));
  EXPECT_EQ(out, Bytes("longer plain bytes"));
  EXPECT_EQ(omni.CachedCount(), 1u);

  // Reads without the cache neither use nor fill it.
  WriteFile(path, Bytes("LONGER PLAIN BYTES"));
  SetTime(path, "1600000000.100000001");
  ASSERT_TRUE(omni.ReadAll(0, path, &out));
  EXPECT_EQ(out, Bytes("LONGER PLAIN BYTES"));
  EXPECT_FALSE(omni.IsCached(dir_.Join("a|b.jpg")));
  ASSERT_TRUE(omni.ReadAll(0, dir_.Join("a|b.jpg"), &out));
  EXPECT_FALSE(omni.IsCached(dir_.Join("a|b.jpg")));

  // A failed read leaves the cache as it was.
  std::filesystem::remove(path);
  out = Bytes("untouched");
  EXPECT_FALSE(omni.ReadAll(1, path, &out));
  EXPECT_EQ(out, Bytes("untouched"));
  EXPECT_EQ(omni.CachedCount(), 1u);
}

TEST_F(FileAccessTest, CachedMemberIsReadAgainWhenItsArchiveChanges) {
  const std::string archive = dir_.Join("b.zip");
  const std::string member = MakeMemberPath(archive, "c/d.jpg");
  COmniFileAccess omni(budget_);
  std::vector<uint8_t> out;
  ASSERT_TRUE(omni.ReadAll(1, member, &out));
  EXPECT_TRUE(omni.IsCached(member));
  WriteFile(dir_.Join("src/c/d.jpg"), Bytes("member d, rewritten"));
  ASSERT_EQ(RunShell("cd " + Quote(dir_.Join("src")) + " && zip -q " + Quote(archive) + " c/d.jpg"),
            0);
  ASSERT_TRUE(omni.ReadAll(1, member, &out));
  EXPECT_EQ(out, Bytes("member d, rewritten"));
}

// Archive directories are kept between calls, but only while the archive is unchanged.
TEST_F(FileAccessTest, MembersFollowTheirArchiveWhenItIsRewritten) {
  const std::string archive = dir_.Join("b.zip");
  const std::string added = MakeMemberPath(archive, "c/new.jpg");
  CZIPFileAccess zip(budget_);
  std::vector<uint8_t> out;
  EXPECT_TRUE(zip.Exists(MakeMemberPath(archive, "c/d.jpg")));
  EXPECT_FALSE(zip.Exists(added));
  WriteFile(dir_.Join("src/c/new.jpg"), Bytes("added later"));
  ASSERT_EQ(RunShell("cd " + Quote(dir_.Join("src")) + " && zip -q " + Quote(archive) +
                     " c/new.jpg && zip -q -d " + Quote(archive) + " c/d.jpg"),
            0);
  EXPECT_TRUE(zip.Exists(added));
  ASSERT_TRUE(zip.ReadAll(0, added, &out));
  EXPECT_EQ(out, Bytes("added later"));
  EXPECT_FALSE(zip.Exists(MakeMemberPath(archive, "c/d.jpg")));
  std::filesystem::remove(archive);
  EXPECT_FALSE(zip.Exists(added));

  // More archives than are kept: each still answers.
  for (size_t i = 0; i < CZIPFileAccess::kOpenArchiveLimit + 2; ++i) {
    std::filesystem::copy_file(dir_.Join("upper.ZIP"), dir_.Join(std::to_string(i) + ".zip"));
  }
  for (int round = 0; round < 2; ++round) {
    for (size_t i = 0; i < CZIPFileAccess::kOpenArchiveLimit + 2; ++i) {
      const std::string member = MakeMemberPath(dir_.Join(std::to_string(i) + ".zip"), "c/d.jpg");
      ASSERT_TRUE(zip.ReadAll(0, member, &out)) << member;
      EXPECT_EQ(out, Bytes("member d"));
    }
  }
}

TEST_F(FileAccessTest, TrimmingKeepsTheMostRecentlyUsed) {
  std::vector<std::string> paths;
  for (int i = 0; i < 61; ++i) {
    paths.push_back(dir_.Join("many/" + std::to_string(i) + ".jpg"));
    WriteFile(paths.back(), Bytes("file " + std::to_string(i)));
  }
  COmniFileAccess omni(budget_);
  std::vector<uint8_t> out;
  for (int i = 0; i < 60; ++i) ASSERT_TRUE(omni.ReadAll(1, paths[i], &out));
  EXPECT_EQ(omni.CachedCount(), 60u);  // twice the limit of 30, not more

  ASSERT_TRUE(omni.ReadAll(1, paths[0], &out));  // a hit makes file 0 recent again
  ASSERT_TRUE(omni.ReadAll(1, paths[60], &out));
  EXPECT_EQ(omni.CachedCount(), 30u);
  for (int i = 0; i < 61; ++i) {
    bool recent = i == 0 || i >= 32;  // 0, 60 and the 28 stored before 60
    EXPECT_EQ(omni.IsCached(paths[i]), recent) << i;
  }

  omni.SetCacheLimit(2);
  for (int i = 1; i <= 5; ++i) ASSERT_TRUE(omni.ReadAll(1, paths[i], &out));
  // The fourth store went past 2 x 2 and kept files 3 and 4; file 5 came after.
  EXPECT_EQ(omni.CachedCount(), 3u);
  for (int i : {3, 4, 5}) EXPECT_TRUE(omni.IsCached(paths[i])) << i;
}

TEST_F(FileAccessTest, CacheStaysWithinItsByteLimit) {
  COmniFileAccess omni(budget_);
  omni.SetCacheByteLimit(2500);
  std::vector<uint8_t> out;
  std::vector<std::string> paths;
  for (int i = 0; i < 5; ++i) {
    paths.push_back(dir_.Join("sized/" + std::to_string(i) + ".jpg"));
    WriteFile(paths.back(), test_support::SampleText(1000, i));
    ASSERT_TRUE(omni.ReadAll(1, paths.back(), &out));
    EXPECT_LE(omni.CachedCount(), 2u) << i;  // two files of 1000 bytes fit, three do not
  }
  // The most recently used stay; a hit counts as use.
  ASSERT_TRUE(omni.ReadAll(1, paths[3], &out));
  const std::string big = dir_.Join("sized/big.jpg");
  WriteFile(big, test_support::SampleText(1400, 9));
  ASSERT_TRUE(omni.ReadAll(1, big, &out));
  EXPECT_TRUE(omni.IsCached(big));
  EXPECT_TRUE(omni.IsCached(paths[3]));
  EXPECT_FALSE(omni.IsCached(paths[4]));
  // A file over the whole limit is served but not kept.
  const std::string huge = dir_.Join("sized/huge.jpg");
  WriteFile(huge, test_support::SampleText(3000, 7));
  ASSERT_TRUE(omni.ReadAll(1, huge, &out));
  EXPECT_EQ(out, test_support::SampleText(3000, 7));
  EXPECT_FALSE(omni.IsCached(huge));
  EXPECT_TRUE(omni.IsCached(big));
}

TEST_F(FileAccessTest, ConcurrentReaders) {
  std::vector<std::string> paths;
  std::vector<std::vector<uint8_t>> contents;
  for (int i = 0; i < 20; ++i) {
    paths.push_back(dir_.Join("many/" + std::to_string(i) + ".jpg"));
    contents.push_back(test_support::SampleText(1000 + 97 * i, i));
    WriteFile(paths.back(), contents.back());
  }
  paths.push_back(MakeMemberPath(dir_.Join("b.zip"), "c/e.jpg"));
  contents.push_back(Bytes("member e, deflated: eeeeeeeeeeeeeeeeeeeeeeee"));
  COmniFileAccess omni(budget_);
  omni.SetCacheLimit(4);  // small, so that the threads also trim
  std::vector<int> wrong(4, 0);
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([&, t] {
      std::vector<uint8_t> out;
      for (int round = 0; round < 30; ++round) {
        for (size_t i = 0; i < paths.size(); ++i) {
          size_t k = (i * (t + 1) + round) % paths.size();
          if (!omni.ReadAll(1, paths[k], &out) || out != contents[k]) ++wrong[t];
        }
      }
    });
  }
  for (std::thread& thread : threads) thread.join();
  EXPECT_EQ(wrong, std::vector<int>(4, 0));
  EXPECT_LE(omni.CachedCount(), 8u);
}

TEST_F(FileAccessTest, ConcurrentReadsOfOnePathShareOneRead) {
  const std::string plain = dir_.Join("shared.jpg");
  WriteFile(plain, test_support::SampleText(5000, 3));
  const std::string member = MakeMemberPath(dir_.Join("b.zip"), "c/e.jpg");
  COmniFileAccess omni(budget_);
  omni.SetCacheByteLimit(10);  // nothing is kept: the second reader cannot be a cache hit
  ReadBudget& budget = budget_;
  for (const std::string& path : {plain, member}) {
    SCOPED_TRACE(path);
    // With the budget taken, the first reader waits inside its read, where the second finds it.
    ASSERT_TRUE(budget.Acquire(ReadBudget::kReadBytesInFlight));
    std::shared_ptr<const std::vector<uint8_t>> first, second;
    std::thread a([&] { EXPECT_TRUE(omni.ReadShared(path, &first)); });
    ASSERT_TRUE(Eventually([&] { return budget.Waiting() == 1 && omni.ReadersOf(path) == 1; }));
    std::thread b([&] { EXPECT_TRUE(omni.ReadShared(path, &second)); });
    ASSERT_TRUE(Eventually([&] { return omni.ReadersOf(path) == 2; }));
    EXPECT_EQ(budget.Waiting(), 1);  // one read, not two
    budget.Release(ReadBudget::kReadBytesInFlight);
    a.join();
    b.join();
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(first.get(), second.get());
    std::vector<uint8_t> expected;
    ASSERT_TRUE(omni.ReadAll(0, path, &expected));
    EXPECT_EQ(*first, expected);
    EXPECT_EQ(omni.ReadersOf(path), 0);
    EXPECT_EQ(budget.InUse(), 0u);
  }
}

TEST_F(FileAccessTest, BytesStillHeldAreSharedUntilTheFileChanges) {
  const std::string path = dir_.Join("held.jpg");
  WriteFile(path, Bytes("first version"));
  COmniFileAccess omni(budget_);
  omni.SetCacheByteLimit(10);  // too large to cache
  std::shared_ptr<const std::vector<uint8_t>> first, again, changed;
  ASSERT_TRUE(omni.ReadShared(path, &first));
  ASSERT_TRUE(omni.ReadShared(path, &again));
  EXPECT_EQ(again.get(), first.get());
  WriteFile(path, Bytes("second, longer version"));
  ASSERT_TRUE(omni.ReadShared(path, &changed));
  EXPECT_EQ(*changed, Bytes("second, longer version"));
  EXPECT_EQ(*first, Bytes("first version"));
}

TEST_F(FileAccessTest, SizesOfFilesAndMembers) {
  COmniFileAccess omni(budget_);
  EXPECT_EQ(omni.GetSize(dir_.Join("plain.jpg")), 11u);
  EXPECT_EQ(omni.GetSize(MakeMemberPath(dir_.Join("b.zip"), "c/e.jpg")), 44u);
  EXPECT_EQ(omni.GetSize(MakeMemberPath(dir_.Join("b.zip"), "c/none.jpg")), 0u);
  EXPECT_EQ(omni.GetSize(dir_.Join("missing.jpg")), 0u);
  EXPECT_EQ(omni.GetSize(dir_.Join("folder.zip")), 0u);
}

// Two file access objects share nothing: neither cache nor budget.
TEST_F(FileAccessTest, EachInstanceKeepsItsOwnCacheAndBudget) {
  const std::string path = dir_.Join("plain.jpg");
  COmniFileAccess first(budget_);
  ReadBudget other_budget(ReadBudget::kReadBytesInFlight);
  COmniFileAccess second(other_budget);
  std::vector<uint8_t> out;
  ASSERT_TRUE(first.ReadAll(1, path, &out));
  EXPECT_TRUE(first.IsCached(path));
  EXPECT_FALSE(second.IsCached(path));
  // With the first budget taken, only the first object's reads wait for room.
  ASSERT_TRUE(budget_.Acquire(ReadBudget::kReadBytesInFlight));
  EXPECT_TRUE(second.ReadAll(0, path, &out));
  EXPECT_EQ(other_budget.InUse(), 0u);
  budget_.Release(ReadBudget::kReadBytesInFlight);
}

}  // namespace
