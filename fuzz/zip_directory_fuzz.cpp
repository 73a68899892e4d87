// Input: a directory described in a few bytes, written out as an archive whose members may
// overlap. Byte 0 is the record count (at most 40); then per record its local header offset
// and compressed size (16 bits each, within the data area), its uncompressed size (8 bits)
// and its method (bit 0: deflate); the bytes left fill the data area. Local headers are
// written at their offsets, later ones over earlier ones. Open must list only members whose
// bytes overlap nothing, and every member must extract or fail without a crash.
#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "server/catalogue/zip_archive.h"
#include "server/catalogue/zip_format.h"

namespace {

using namespace zip_format;

constexpr size_t kDataArea = 4096;
constexpr size_t kMaxRecords = 40;
constexpr size_t kRecordBytes = 6;

void Put16(std::vector<uint8_t>* out, size_t at, uint16_t v) {
  (*out)[at] = v & 0xFF;
  (*out)[at + 1] = v >> 8;
}

void Put32(std::vector<uint8_t>* out, size_t at, uint32_t v) {
  for (int i = 0; i < 4; ++i) (*out)[at + i] = static_cast<uint8_t>(v >> (8 * i));
}

struct Member {
  uint32_t offset, compressed, uncompressed;
  uint16_t method;
  std::string name;
};

std::vector<uint8_t> WriteArchive(const std::vector<Member>& members, const uint8_t* fill,
                                  size_t fill_size) {
  std::vector<uint8_t> bytes(kDataArea, 0);
  for (size_t i = 0; i < kDataArea && fill_size > 0; ++i) bytes[i] = fill[i % fill_size];
  for (const Member& m : members) {
    if (m.offset + kLocalHeaderSize + m.name.size() > kDataArea) continue;
    Put32(&bytes, m.offset, kLocalHeaderSignature);
    Put16(&bytes, m.offset + 4, 20);
    Put16(&bytes, m.offset + 6, 0);
    Put16(&bytes, m.offset + 8, m.method);
    Put32(&bytes, m.offset + 18, m.compressed);
    Put32(&bytes, m.offset + 22, m.uncompressed);
    Put16(&bytes, m.offset + 26, static_cast<uint16_t>(m.name.size()));
    Put16(&bytes, m.offset + 28, 0);
    std::copy(m.name.begin(), m.name.end(), bytes.begin() + m.offset + kLocalHeaderSize);
  }
  const size_t directory = bytes.size();
  for (const Member& m : members) {
    const size_t at = bytes.size();
    bytes.resize(at + kCentralHeaderSize + m.name.size(), 0);
    Put32(&bytes, at, kCentralHeaderSignature);
    Put16(&bytes, at + 10, m.method);
    Put32(&bytes, at + 20, m.compressed);
    Put32(&bytes, at + 24, m.uncompressed);
    Put16(&bytes, at + 28, static_cast<uint16_t>(m.name.size()));
    Put32(&bytes, at + 42, m.offset);
    std::copy(m.name.begin(), m.name.end(), bytes.begin() + at + kCentralHeaderSize);
  }
  const size_t end = bytes.size();
  bytes.resize(end + kEndOfDirectorySize, 0);
  Put32(&bytes, end, kEndOfDirectorySignature);
  Put16(&bytes, end + kEndRecordCountOffset, static_cast<uint16_t>(members.size()));
  Put16(&bytes, end + 10, static_cast<uint16_t>(members.size()));
  Put32(&bytes, end + 12, static_cast<uint32_t>(end - directory));
  Put32(&bytes, end + kEndDirectoryOffsetOffset, static_cast<uint32_t>(directory));
  return bytes;
}

const std::string& ArchivePath() {
  static const std::string path =
      (std::filesystem::temp_directory_path() /
       ("lv-zip-directory-fuzz-" + std::to_string(std::random_device()()) + ".zip"))
          .string();
  return path;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  const size_t count = std::min<size_t>(data[0], kMaxRecords);
  if (size < 1 + count * kRecordBytes) return 0;
  std::vector<Member> members;
  for (size_t i = 0; i < count; ++i) {
    const uint8_t* r = data + 1 + i * kRecordBytes;
    members.push_back({static_cast<uint32_t>((r[0] | (r[1] << 8)) % kDataArea),
                       static_cast<uint32_t>((r[2] | (r[3] << 8)) % kDataArea), r[4],
                       static_cast<uint16_t>((r[5] & 1) != 0 ? kMethodDeflate : kMethodStored),
                       "m" + std::to_string(i) + ".jpg"});
  }
  const size_t used = 1 + count * kRecordBytes;
  const std::vector<uint8_t> bytes = WriteArchive(members, data + used, size - used);
  {
    std::ofstream file(ArchivePath(), std::ios::binary | std::ios::trunc);
    file.write(reinterpret_cast<const char*>(bytes.data()),
               static_cast<std::streamsize>(bytes.size()));
  }
  ZipArchive archive;
  if (!archive.Open(ArchivePath())) __builtin_trap();  // a well-formed directory always opens
  if (archive.records().size() + archive.refused() != count) __builtin_trap();
  // What is listed lies apart: each member from its header to the end of its data, and all
  // of them before the directory.
  std::vector<std::pair<uint64_t, uint64_t>> spans;
  for (const ZipDirectoryRecord& r : archive.records()) {
    spans.emplace_back(r.local_header_offset, uint64_t{r.local_header_offset} + kLocalHeaderSize +
                                                  r.name_length + r.compressed_size);
  }
  std::sort(spans.begin(), spans.end());
  for (size_t i = 0; i < spans.size(); ++i) {
    if (spans[i].second > kDataArea) __builtin_trap();
    if (i > 0 && spans[i].first < spans[i - 1].second) __builtin_trap();
  }
  static ReadBudget budget(ReadBudget::kReadBytesInFlight);
  std::vector<uint8_t> out;
  for (size_t i = 0; i < archive.records().size(); ++i) archive.Extract(i, budget, &out);
  std::filesystem::remove(ArchivePath());
  return 0;
}
