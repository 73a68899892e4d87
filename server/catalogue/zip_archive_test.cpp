#include "server/catalogue/zip_archive.h"

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "server/catalogue/inflate.h"
#include "server/catalogue/little_endian.h"
#include "server/catalogue/read_limits.h"
#include "server/catalogue/testing/test_support.h"
#include "server/catalogue/zip_format.h"

namespace {

using test_support::Quote;
using test_support::ReadFile;
using test_support::RunShell;
using test_support::TempDir;
using test_support::WriteFile;

const char kPython[] = "/usr/bin/python3";

void StoreLe16(std::vector<uint8_t>& bytes, size_t at, uint16_t v) {
  bytes[at] = v & 0xFF;
  bytes[at + 1] = v >> 8;
}

void StoreLe32(std::vector<uint8_t>& bytes, size_t at, uint32_t v) {
  for (int i = 0; i < 4; ++i) bytes[at + i] = static_cast<uint8_t>(v >> (8 * i));
}

// Where the end record of an archive without comment starts.
size_t EndRecordOffset(const std::vector<uint8_t>& bytes) {
  return bytes.size() - zip_format::kEndOfDirectorySize;
}

size_t CentralDirectoryOffset(const std::vector<uint8_t>& bytes) {
  return LoadLe32(bytes.data() + EndRecordOffset(bytes) + zip_format::kEndDirectoryOffsetOffset);
}

// Python's zipfile: stored, deflated, and deflated into a stream that cannot seek, which
// makes it write every member with a data descriptor.
constexpr const char* kPythonZipScript = R"(
import sys, zipfile
mode, target = sys.argv[1], sys.argv[2]
names = sys.argv[3:]
class Unseekable:
    def __init__(self, f): self.f = f
    def write(self, b): return self.f.write(b)
    def flush(self): self.f.flush()
if mode == 'streamed':
    with open(target, 'wb') as raw:
        with zipfile.ZipFile(Unseekable(raw), 'w', zipfile.ZIP_DEFLATED) as z:
            for name in names:
                with z.open(name, 'w') as member:
                    member.write(open(name, 'rb').read())
else:
    method = zipfile.ZIP_STORED if mode == 'stored' else zipfile.ZIP_DEFLATED
    with zipfile.ZipFile(target, 'w', method) as z:
        for name in names:
            z.write(name)
)";

class ZipArchiveTest : public testing::Test {
 protected:
  void SetUp() override {
    files_ = {{"photo.jpg", test_support::SampleNoise(30000, 11)},
              {"notes.txt", test_support::SampleText(50000, 12)},
              {"dir/sub/a.jpg", test_support::SampleRuns(20000, 13)}};
    for (const auto& [name, bytes] : files_) WriteFile(dir_.Join("src/" + name), bytes);
    WriteFile(dir_.Join("zip.py"), std::string(kPythonZipScript));
  }

  // Runs `command archive files` in the folder of the source files; returns the archive.
  std::string MakeArchive(const std::string& name, const std::string& command,
                          const std::string& files) {
    std::string archive = dir_.Join(name);
    std::string line =
        "cd " + Quote(dir_.Join("src")) + " && " + command + " " + Quote(archive) + " " + files;
    EXPECT_EQ(RunShell(line + " >/dev/null"), 0) << line;
    return archive;
  }

  std::string PythonArchive(const std::string& name, const std::string& mode,
                            const std::string& files = "photo.jpg notes.txt dir/sub/a.jpg") {
    std::string archive = dir_.Join(name);
    std::string line = "cd " + Quote(dir_.Join("src")) + " && " + kPython + " " +
                       Quote(dir_.Join("zip.py")) + " " + mode + " " + Quote(archive) + " " + files;
    EXPECT_EQ(RunShell(line), 0) << line;
    return archive;
  }

  // Every source file is a member and extracts to its exact bytes.
  void ExpectAllMembersExact(const std::string& archive_path) {
    ZipArchive archive;
    ASSERT_TRUE(archive.Open(archive_path));
    ASSERT_EQ(archive.names().size(), archive.records().size());
    std::map<std::string, int> found;
    for (size_t i = 0; i < archive.names().size(); ++i) {
      const std::string& name = archive.names()[i];
      auto it = files_.find(name);
      if (it == files_.end()) {
        EXPECT_EQ(name.back(), '/') << "unexpected member " << name;
        continue;
      }
      ++found[name];
      std::vector<uint8_t> out;
      ASSERT_TRUE(archive.Extract(i, budget_, &out)) << name;
      EXPECT_TRUE(out == it->second) << name;
    }
    for (const auto& [name, bytes] : files_) EXPECT_EQ(found[name], 1) << name;
  }

  // Runs the Python `script` with the archive path `path` as its argument.
  bool WriteWithPython(const std::string& script, const std::string& path) {
    WriteFile(dir_.Join("write.py"), script);
    return RunShell(std::string(kPython) + " " + Quote(dir_.Join("write.py")) + " " +
                    Quote(path)) == 0;
  }

  bool HaveTools(std::initializer_list<const char*> tools) {
    for (const char* tool : tools) {
      if (!test_support::HaveTool(tool)) return false;
    }
    return true;
  }

  TempDir dir_;
  std::map<std::string, std::vector<uint8_t>> files_;
  ReadBudget budget_{ReadBudget::kReadBytesInFlight};
};

TEST_F(ZipArchiveTest, MembersOfArchivesByIndependentToolsExtractExactly) {
  if (!HaveTools({"zip", "bsdtar", "7z", kPython})) GTEST_SKIP() << "an archive tool is missing";
  struct Maker {
    const char* name;
    const char* command;
  };
  const Maker makers[] = {
      {"infozip-stored.zip", "zip -q -r -0"},
      {"infozip-deflated.zip", "zip -q -r -9"},
      {"bsdtar-deflated.zip", "bsdtar --format zip -cf"},
      {"bsdtar-stored.zip", "bsdtar --format zip --options zip:compression=store -cf"},
      {"7zip-deflated.zip", "7z a -tzip -mm=Deflate -mx=9"},
      {"7zip-stored.zip", "7z a -tzip -mm=Copy"},
  };
  for (const Maker& maker : makers) {
    SCOPED_TRACE(maker.name);
    ExpectAllMembersExact(MakeArchive(maker.name, maker.command, "photo.jpg notes.txt dir"));
  }
  for (const char* mode : {"stored", "deflated", "streamed"}) {
    SCOPED_TRACE(std::string("python ") + mode);
    ExpectAllMembersExact(PythonArchive(std::string("python-") + mode + ".zip", mode));
  }
}

TEST_F(ZipArchiveTest, StreamedMemberUsesTheCentralDirectorySizes) {
  if (!HaveTools({kPython})) GTEST_SKIP() << "python3 is missing";
  std::string path = PythonArchive("streamed.zip", "streamed");
  ZipArchive archive;
  ASSERT_TRUE(archive.Open(path));
  std::vector<uint8_t> bytes = ReadFile(path);
  for (const ZipDirectoryRecord& record : archive.records()) {
    const uint8_t* local = bytes.data() + record.local_header_offset;
    EXPECT_NE(LoadLe16(local + 6) & zip_format::kFlagDataDescriptor, 0);
    EXPECT_EQ(LoadLe32(local + 18), 0u);  // sizes only in the descriptor
    EXPECT_EQ(record.method, zip_format::kMethodDeflate);
  }
  ExpectAllMembersExact(path);
}

TEST_F(ZipArchiveTest, NamesKeepTheirSlashes) {
  if (!HaveTools({"zip"})) GTEST_SKIP() << "zip is missing";
  ZipArchive archive;
  ASSERT_TRUE(archive.Open(MakeArchive("tree.zip", "zip -q -r -9", "dir")));
  EXPECT_EQ(archive.names(), (std::vector<std::string>{"dir/", "dir/sub/", "dir/sub/a.jpg"}));
}

TEST_F(ZipArchiveTest, MethodsOtherThanStoredAndDeflateFail) {
  if (!HaveTools({"7z"})) GTEST_SKIP() << "7z is missing";
  struct Method {
    const char* option;
    uint16_t method;
  };
  for (Method m : {Method{"BZip2", 12}, Method{"Deflate64", 9}, Method{"LZMA", 14}}) {
    SCOPED_TRACE(m.option);
    std::string path = MakeArchive(std::string(m.option) + ".zip",
                                   std::string("7z a -tzip -mm=") + m.option, "notes.txt");
    ZipArchive archive;
    ASSERT_TRUE(archive.Open(path));
    ASSERT_EQ(archive.records().size(), 1u);
    EXPECT_EQ(archive.records()[0].method, m.method);
    std::vector<uint8_t> out = {1, 2, 3};
    EXPECT_FALSE(archive.Extract(0, budget_, &out));
    EXPECT_EQ(out, (std::vector<uint8_t>{1, 2, 3}));
  }
}

// Python writes the archive comment; the end record is then that far from the end.
TEST_F(ZipArchiveTest, LongArchiveCommentsAreSkipped) {
  if (!HaveTools({kPython})) GTEST_SKIP() << "python3 is missing";
  for (int comment_size : {60000, 65535}) {
    SCOPED_TRACE(comment_size);
    std::string path = dir_.Join("comment" + std::to_string(comment_size) + ".zip");
    std::string script =
        "import zipfile\nz = zipfile.ZipFile('" + path +
        "', 'w', zipfile.ZIP_DEFLATED)\nz.write('notes.txt')\nz.comment = b'c' * " +
        std::to_string(comment_size) + "\nz.close()\n";
    WriteFile(dir_.Join("comment.py"), script);
    ASSERT_EQ(RunShell("cd " + Quote(dir_.Join("src")) + " && " + kPython + " " +
                       Quote(dir_.Join("comment.py"))),
              0);
    ZipArchive archive;
    ASSERT_TRUE(archive.Open(path));
    ASSERT_EQ(archive.names(), std::vector<std::string>{"notes.txt"});
    std::vector<uint8_t> out;
    ASSERT_TRUE(archive.Extract(0, budget_, &out));
    EXPECT_TRUE(out == files_["notes.txt"]);
  }
}

TEST_F(ZipArchiveTest, NamesDecodeFromShiftJisOrUtf8ByTheFlag) {
  if (!HaveTools({"zip", kPython})) GTEST_SKIP() << "zip or python3 is missing";
  // 日本.txt in Shift-JIS bytes: Info-ZIP stores the file system's bytes without the flag.
  const std::string sjis_name = "\x93\xfa\x96\x7b.txt";
  WriteFile(dir_.Join("src/" + sjis_name), std::string("sjis"));
  // 写真/猫.jpg: Python stores a name that is not ASCII as UTF-8 with the flag.
  const std::string utf8_name = "\xe5\x86\x99\xe7\x9c\x9f/\xe7\x8c\xab.jpg";
  WriteFile(dir_.Join("src/" + utf8_name), std::string("utf8"));

  ZipArchive sjis;
  ASSERT_TRUE(sjis.Open(MakeArchive("sjis.zip", "zip -q", Quote(sjis_name))));
  ASSERT_EQ(sjis.records().size(), 1u);
  EXPECT_EQ(sjis.records()[0].flags & zip_format::kFlagUtf8Name, 0);
  EXPECT_EQ(sjis.names()[0], "\xe6\x97\xa5\xe6\x9c\xac.txt");  // 日本.txt

  ZipArchive utf8;
  ASSERT_TRUE(utf8.Open(PythonArchive("utf8.zip", "stored", Quote(utf8_name))));
  ASSERT_EQ(utf8.records().size(), 1u);
  EXPECT_NE(utf8.records()[0].flags & zip_format::kFlagUtf8Name, 0);
  EXPECT_EQ(utf8.names()[0], utf8_name);
  std::vector<uint8_t> out;
  ASSERT_TRUE(utf8.Extract(0, budget_, &out));
  EXPECT_EQ(std::string(out.begin(), out.end()), "utf8");
}

TEST_F(ZipArchiveTest, MissingOrTruncatedArchivesFail) {
  if (!HaveTools({"zip"})) GTEST_SKIP() << "zip is missing";
  ZipArchive archive;
  EXPECT_FALSE(archive.Open(dir_.Join("missing.zip")));
  EXPECT_FALSE(archive.Open(dir_.Join("src")));  // a folder

  WriteFile(dir_.Join("src/small.txt"), std::string("a small member, stored"));
  std::vector<uint8_t> bytes = ReadFile(MakeArchive("small.zip", "zip -q -0 -X", "small.txt"));
  ASSERT_TRUE(archive.Open(dir_.Join("small.zip")));
  for (size_t size = 0; size < bytes.size(); ++size) {
    WriteFile(dir_.Join("cut.zip"), std::vector<uint8_t>(bytes.begin(), bytes.begin() + size));
    EXPECT_FALSE(archive.Open(dir_.Join("cut.zip"))) << "cut at " << size;
  }
}

TEST_F(ZipArchiveTest, MemberDataCutAfterOpeningFails) {
  if (!HaveTools({"zip"})) GTEST_SKIP() << "zip is missing";
  std::string path = MakeArchive("cut.zip", "zip -q -0", "notes.txt");
  std::vector<uint8_t> bytes = ReadFile(path);
  ZipArchive archive;
  ASSERT_TRUE(archive.Open(path));
  WriteFile(path, std::vector<uint8_t>(bytes.begin(), bytes.begin() + bytes.size() / 2));
  std::vector<uint8_t> out;
  EXPECT_FALSE(archive.Extract(0, budget_, &out));
}

TEST_F(ZipArchiveTest, CorruptCentralDirectoriesFail) {
  if (!HaveTools({"zip"})) GTEST_SKIP() << "zip is missing";
  const std::vector<uint8_t> good = ReadFile(MakeArchive("good.zip", "zip -q -0 -X", "notes.txt"));
  const size_t end = EndRecordOffset(good);
  const size_t directory = CentralDirectoryOffset(good);
  struct Case {
    const char* name;
    void (*patch)(std::vector<uint8_t>&, size_t end, size_t directory);
  };
  const Case cases[] = {
      {"more records counted than there are",
       [](std::vector<uint8_t>& b, size_t e, size_t) {
         StoreLe16(b, e + zip_format::kEndRecordCountOffset, 2);
       }},
      {"directory offset past the end",
       [](std::vector<uint8_t>& b, size_t e, size_t) {
         StoreLe32(b, e + zip_format::kEndDirectoryOffsetOffset, 0xFFFFFFF0);
       }},
      {"name running past the end",
       [](std::vector<uint8_t>& b, size_t, size_t d) { StoreLe16(b, d + 28, 0xFFFF); }},
      {"65535 records counted",
       [](std::vector<uint8_t>& b, size_t e, size_t) {
         StoreLe16(b, e + zip_format::kEndRecordCountOffset, 0xFFFF);
       }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::vector<uint8_t> bytes = good;
    c.patch(bytes, end, directory);
    WriteFile(dir_.Join("bad.zip"), bytes);
    ZipArchive archive;
    EXPECT_FALSE(archive.Open(dir_.Join("bad.zip")));
    EXPECT_TRUE(archive.records().empty());
  }
}

// Sizes written in the archive are believed only as far as the data can back them.
TEST_F(ZipArchiveTest, AbsurdDeclaredSizesFailCleanly) {
  if (!HaveTools({"zip"})) GTEST_SKIP() << "zip is missing";
  const std::string path = MakeArchive("sizes.zip", "zip -q -9 -X", "notes.txt");
  ZipArchive archive;
  ASSERT_TRUE(archive.Open(path));
  const ZipDirectoryRecord record = archive.records()[0];
  const std::vector<uint8_t> good = ReadFile(path);
  const size_t directory = CentralDirectoryOffset(good);
  const size_t local = record.local_header_offset;
  struct Case {
    const char* name;
    uint32_t compressed;
    uint32_t uncompressed;
  };
  const Case cases[] = {
      {"uncompressed size near 4 GiB", record.compressed_size, 0xFFFFFFF0},
      {"uncompressed size beyond what the data expands to", record.compressed_size,
       record.compressed_size * 1032 + 1},
      {"uncompressed size one more than the data holds", record.compressed_size,
       record.uncompressed_size + 1},
      {"uncompressed size one less than the data holds", record.compressed_size,
       record.uncompressed_size - 1},
      {"compressed size beyond the file", 0x7FFFFFFF, record.uncompressed_size},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::vector<uint8_t> bytes = good;
    for (size_t header : {local + 18, directory + 20}) {
      StoreLe32(bytes, header, c.compressed);
      StoreLe32(bytes, header + 4, c.uncompressed);
    }
    WriteFile(dir_.Join("bad.zip"), bytes);
    ZipArchive bad;
    ASSERT_TRUE(bad.Open(dir_.Join("bad.zip")));
    std::vector<uint8_t> out;
    EXPECT_FALSE(bad.Extract(0, budget_, &out));
    EXPECT_TRUE(out.empty());
  }
}

TEST_F(ZipArchiveTest, MembersWhoseCrcDiffersFail) {
  if (!HaveTools({"zip"})) GTEST_SKIP() << "zip is missing";
  for (const char* command : {"zip -q -0 -X", "zip -q -9 -X"}) {
    SCOPED_TRACE(command);
    const std::string path = MakeArchive("crc.zip", command, "notes.txt photo.jpg");
    ZipArchive archive;
    ASSERT_TRUE(archive.Open(path));
    const std::vector<uint8_t> good = ReadFile(path);
    const size_t directory = CentralDirectoryOffset(good);
    std::vector<uint8_t> out;
    ASSERT_TRUE(archive.Extract(0, budget_, &out));
    EXPECT_EQ(Crc32(out), archive.records()[0].crc32);

    // One bit of the recorded CRC changed.
    std::vector<uint8_t> bytes = good;
    bytes[directory + 16] ^= 1;
    WriteFile(path, bytes);
    ZipArchive changed;
    ASSERT_TRUE(changed.Open(path));
    EXPECT_FALSE(changed.Extract(0, budget_, &out));
    EXPECT_TRUE(changed.Extract(1, budget_, &out));

    // The member's data zeroed (for a stored member, still the right size).
    bytes = good;
    const ZipDirectoryRecord& record = archive.records()[0];
    size_t data = record.local_header_offset + zip_format::kLocalHeaderSize + record.name_length;
    std::fill(bytes.begin() + static_cast<std::ptrdiff_t>(data),
              bytes.begin() + static_cast<std::ptrdiff_t>(data + record.compressed_size), 0);
    WriteFile(path, bytes);
    ZipArchive zeroed;
    ASSERT_TRUE(zeroed.Open(path));
    EXPECT_FALSE(zeroed.Extract(0, budget_, &out));
  }
}

TEST_F(ZipArchiveTest, MembersBeyondThePictureLimitAreRefused) {
  if (!HaveTools({kPython})) GTEST_SKIP() << "python3 is missing";
  // A member one byte over the limit, deflated from zeros to a few hundred kilobytes, then a
  // small one.
  const std::string path = dir_.Join("bomb.zip");
  const std::string script =
      "import sys, zipfile\n"
      "with zipfile.ZipFile(sys.argv[1], 'w', zipfile.ZIP_DEFLATED, compresslevel=1) as z:\n"
      "    with z.open('big.jpg', 'w', force_zip64=False) as m:\n"
      "        for i in range(256): m.write(bytes(1 << 20))\n"
      "        m.write(b'x')\n"
      "    z.writestr('small.jpg', b'ok')\n";
  ASSERT_TRUE(WriteWithPython(script, path));
  // Past what one archive may inflate to, it is not even listed.
  ZipArchive archive;
  ASSERT_TRUE(archive.Open(path));
  EXPECT_EQ(archive.refused(), 1u);
  ASSERT_EQ(archive.names(), std::vector<std::string>{"small.jpg"});
  std::vector<uint8_t> out;
  EXPECT_TRUE(archive.Extract(0, budget_, &out));

  // Listed (the archive padded to where the expansion bound lets it in), it still fails for
  // its size, not as an implausible expansion.
  std::vector<uint8_t> bytes = ReadFile(path);
  const size_t padding = (kMaxMemberBytes + 1) / kMaxArchiveExpansion + 1;
  const size_t directory = CentralDirectoryOffset(bytes);
  bytes.insert(bytes.begin() + static_cast<std::ptrdiff_t>(directory), padding, 0);
  StoreLe32(bytes, EndRecordOffset(bytes) + zip_format::kEndDirectoryOffsetOffset,
            static_cast<uint32_t>(directory + padding));
  WriteFile(path, bytes);
  ZipArchive padded;
  ASSERT_TRUE(padded.Open(path));
  ASSERT_EQ(padded.refused(), 0u);
  ASSERT_EQ(padded.records()[0].uncompressed_size, kMaxMemberBytes + 1);
  ASSERT_LE(kMaxMemberBytes + 1, uint64_t{padded.records()[0].compressed_size} * kMaxInflateRatio);
  EXPECT_FALSE(padded.Extract(0, budget_, &out));
  EXPECT_TRUE(padded.Extract(1, budget_, &out));
}

// Forty directory entries that share one deflated stream of 255 MiB in a small archive:
// every one is refused when the directory is read, before anything is inflated.
TEST_F(ZipArchiveTest, MembersSharingOneStreamAreRefusedWhenTheDirectoryIsRead) {
  if (!HaveTools({kPython})) GTEST_SKIP() << "python3 is missing";
  const std::string path = dir_.Join("shared.zip");
  const std::string script =
      "import sys, struct, zlib\n"
      "size = 255 << 20\n"
      "c = zlib.compressobj(9, zlib.DEFLATED, -15)\n"
      "block = bytes(1 << 20)\n"
      "data = b''.join(c.compress(block) for _ in range(255)) + c.flush()\n"
      "crc = 0\n"
      "for _ in range(255): crc = zlib.crc32(block, crc)\n"
      "local = struct.pack('<IHHHHHIIIHH', 0x04034b50, 20, 0, 8, 0, 0x21, crc, len(data), size,"
      " 5, 0) + b'a.jpg' + data\n"
      "central = b''\n"
      "for i in range(40):\n"
      "    name = b'p%02d.jpg' % i\n"
      "    central += struct.pack('<IHHHHHHIIIHHHHHII', 0x02014b50, 20, 20, 0, 8, 0, 0x21, crc,"
      " len(data), size, len(name), 0, 0, 0, 0, 0, 0) + name\n"
      "end = struct.pack('<IHHHHIIH', 0x06054b50, 0, 0, 40, 40, len(central), len(local), 0)\n"
      "open(sys.argv[1], 'wb').write(local + central + end)\n";
  ASSERT_TRUE(WriteWithPython(script, path));
  ASSERT_LT(ReadFile(path).size(), size_t{300} << 10);
  ZipArchive archive;
  ASSERT_TRUE(archive.Open(path));
  EXPECT_EQ(archive.refused(), 40u);
  EXPECT_TRUE(archive.records().empty());
  EXPECT_EQ(budget_.InUse(), 0u);
}

// A member whose local header lies inside another's data: both are refused, the member
// apart from them is kept and extracts.
TEST_F(ZipArchiveTest, MembersWhoseBytesOverlapAreRefused) {
  if (!HaveTools({"zip"})) GTEST_SKIP() << "zip is missing";
  const std::string path = MakeArchive("overlap.zip", "zip -q -0 -X", "photo.jpg notes.txt");
  std::vector<uint8_t> bytes = ReadFile(path);
  ZipArchive good;
  ASSERT_TRUE(good.Open(path));
  ASSERT_EQ(good.records().size(), 2u);
  // A third entry: a copy of the second's record pointing into the first member's data.
  const size_t directory = CentralDirectoryOffset(bytes);
  const size_t second = directory + zip_format::kCentralHeaderSize + good.records()[0].name_length +
                        good.records()[0].extra_length;
  const size_t second_size = zip_format::kCentralHeaderSize + good.records()[1].name_length +
                             good.records()[1].extra_length;
  std::vector<uint8_t> copy(bytes.begin() + static_cast<std::ptrdiff_t>(second),
                            bytes.begin() + static_cast<std::ptrdiff_t>(second + second_size));
  StoreLe32(copy, 42, good.records()[0].local_header_offset + 100);
  StoreLe32(copy, 20, 10);                     // its data ends within the first member's too
  copy[zip_format::kCentralHeaderSize] = 'X';  // another name
  bytes.insert(bytes.begin() + static_cast<std::ptrdiff_t>(second + second_size), copy.begin(),
               copy.end());
  const size_t end = EndRecordOffset(bytes);
  StoreLe16(bytes, end + zip_format::kEndRecordCountOffset, 3);
  StoreLe16(bytes, end + 10, 3);
  StoreLe32(bytes, end + 12,
            LoadLe32(bytes.data() + end + 12) + static_cast<uint32_t>(copy.size()));
  WriteFile(path, bytes);
  ZipArchive archive;
  ASSERT_TRUE(archive.Open(path));
  EXPECT_EQ(archive.refused(), 2u);
  ASSERT_EQ(archive.names(), std::vector<std::string>{"notes.txt"});
  std::vector<uint8_t> out;
  ASSERT_TRUE(archive.Extract(0, budget_, &out));
  EXPECT_TRUE(out == files_["notes.txt"]);
}

// More than 65 535 members: the ZIP64 end record gives the count, and all are listed.
TEST_F(ZipArchiveTest, Zip64DirectoriesAreReadWhole) {
  if (!HaveTools({kPython})) GTEST_SKIP() << "python3 is missing";
  const std::string path = dir_.Join("many.zip");
  const std::string script =
      "import sys, zipfile\n"
      "with zipfile.ZipFile(sys.argv[1], 'w', zipfile.ZIP_STORED) as z:\n"
      "    for i in range(70000): z.writestr('m%05d.jpg' % i, b'%d' % i)\n";
  ASSERT_TRUE(WriteWithPython(script, path));
  ZipArchive archive;
  ASSERT_TRUE(archive.Open(path));
  ASSERT_EQ(archive.records().size(), 70000u);
  EXPECT_EQ(archive.refused(), 0u);
  size_t last = 0;
  ASSERT_TRUE(archive.Find("m69999.jpg", &last));
  std::vector<uint8_t> out;
  ASSERT_TRUE(archive.Extract(last, budget_, &out));
  EXPECT_EQ(std::string(out.begin(), out.end()), "69999");
}

TEST_F(ZipArchiveTest, IndexOutOfRangeAndEmptyMembersFail) {
  if (!HaveTools({"zip"})) GTEST_SKIP() << "zip is missing";
  WriteFile(dir_.Join("src/empty.txt"), std::string());
  ZipArchive archive;
  ASSERT_TRUE(archive.Open(MakeArchive("empty.zip", "zip -q -0", "empty.txt")));
  ASSERT_EQ(archive.records().size(), 1u);
  EXPECT_EQ(archive.records()[0].compressed_size, 0u);
  std::vector<uint8_t> out;
  EXPECT_FALSE(archive.Extract(0, budget_, &out));  // a compressed size of 0 is not extracted
  EXPECT_FALSE(archive.Extract(1, budget_, &out));
}

}  // namespace
