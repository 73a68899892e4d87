#include "server/catalogue/hash_list.h"

#include <algorithm>
#include <cstdio>
#include <limits>
#include <vector>

#include "platform/file_replace.h"
#include "platform/file_system.h"
#include "server/catalogue/hash_list_format.h"
#include "server/catalogue/page_keys.h"

namespace {

using namespace hash_list_format;

// A hash list file is about 120 bytes a record; anything near this size is not one.
constexpr uint64_t kMaxHashListBytes = uint64_t{256} << 20;

// The file's text as 8-bit characters. Everything a record holds is ASCII, and no Shift-JIS
// trail byte is one of "<", ">", "/", so 8-bit text finds the same records as the decoded
// text would; UTF-16 text keeps its ASCII characters and marks every other one with "?".
std::string_view TextOf(std::string_view bytes, std::string* storage) {
  const bool little = bytes.starts_with("\xFF\xFE");
  if (!little && !bytes.starts_with("\xFE\xFF")) {
    if (bytes.starts_with("\xEF\xBB\xBF")) bytes.remove_prefix(3);
    return bytes;
  }
  storage->reserve(bytes.size() / 2);
  for (size_t i = 2; i + 1 < bytes.size(); i += 2) {
    const unsigned char low = static_cast<unsigned char>(bytes[little ? i : i + 1]);
    const unsigned char high = static_cast<unsigned char>(bytes[little ? i + 1 : i]);
    storage->push_back(high == 0 && low < 0x80 ? static_cast<char>(low) : '?');
  }
  return *storage;
}

// The text between the first `open` of `record` and the first `close` after it.
bool ElementValue(std::string_view record, std::string_view open, std::string_view close,
                  std::string_view* value) {
  const size_t start = record.find(open);
  if (start == std::string_view::npos) return false;
  const size_t end = record.find(close, start + open.size());
  if (end == std::string_view::npos) return false;
  *value = record.substr(start + open.size(), end - start - open.size());
  return true;
}

// Whether `bytes` hold anything but a byte-order mark and blank characters.
bool HoldsText(std::string_view bytes) {
  std::string storage;
  const std::string_view text = TextOf(bytes, &storage);
  return text.find_first_not_of(" \t\r\n", 0) != std::string_view::npos;
}

void AppendLine(std::string* out, std::string_view open, std::string_view value,
                std::string_view close) {
  out->append(open).append(value).append(close).append(kLineEnd);
}

}  // namespace

int32_t HashList::AddLike(const std::string& hash) {
  auto [it, added] = records_.try_emplace(hash);
  if (added) return 0;
  if (it->second.viewd < std::numeric_limits<int32_t>::max()) ++it->second.viewd;
  return it->second.viewd;
}

void HashList::SetSize(const std::string& hash, uint32_t size) {
  auto it = records_.find(hash);
  if (it == records_.end()) {
    AddLike(hash);
    it = records_.find(hash);
  }
  it->second.file_size = size;
}

int32_t HashList::GetCount(const std::string& hash) const {
  auto it = records_.find(hash);
  return it == records_.end() ? -1 : it->second.viewd;
}

void HashList::Insert(const std::string& hash, const LikeRecord& record) {
  records_.try_emplace(hash, record);
}

bool IsContentHash(std::string_view text) {
  if (text.size() != kHashLength) return false;
  for (char c : text) {
    if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'))) return false;
  }
  return true;
}

void ParseHashList(std::string_view bytes, HashList* list) {
  std::string storage;
  const std::string_view text = TextOf(bytes, &storage);
  size_t from = 0;
  for (;;) {
    const size_t open = text.find(kRecordOpen, from);
    if (open == std::string_view::npos) return;
    const size_t close = text.find(kRecordClose, open);
    if (close == std::string_view::npos) return;  // a truncated last record
    from = close + kRecordClose.size();
    // An opening tag left without its closing one by garbage before this record starts no
    // record of its own: the record is what follows the last opening tag.
    const size_t start = text.rfind(kRecordOpen, close) + kRecordOpen.size();
    const std::string_view record = text.substr(start, close - start);

    std::string_view hash, count, size;
    if (!ElementValue(record, kHashOpen, kHashClose, &hash) || !IsContentHash(hash)) continue;
    LikeRecord like;
    if (ElementValue(record, kCountOpen, kCountClose, &count)) like.viewd = ReadKeyNumber(count);
    if (ElementValue(record, kSizeOpen, kSizeClose, &size)) {
      like.file_size = static_cast<uint32_t>(std::max(0, ReadKeyNumber(size)));
    }
    list->Insert(std::string(hash), like);
  }
}

std::string FormatHashList(const HashList& list) {
  std::string out;
  out.reserve(list.size() * 128);
  char number[16];
  for (const auto& [hash, record] : list.records()) {
    out.append(kRecordOpen).append(kLineEnd);
    std::snprintf(number, sizeof number, "%d", record.viewd);
    AppendLine(&out, kCountOpen, number, kCountClose);
    std::snprintf(number, sizeof number, "%u", record.file_size);
    AppendLine(&out, kSizeOpen, number, kSizeClose);
    AppendLine(&out, kHashOpen, hash, kHashClose);
    out.append(kRecordClose).append(kLineEnd);
  }
  return out;
}

HashListLoad LoadHashList(const std::string& path, HashList* list) {
  platform::FileStatus status;
  if (path.empty() || !platform::StatPath(path, &status)) return HashListLoad::kMissing;
  std::vector<uint8_t> bytes;
  // Only a regular file is opened: opening a FIFO would wait for a writer.
  if (!status.is_regular || !platform::ReadWholeFile(path, kMaxHashListBytes, &bytes)) {
    return HashListLoad::kUnreadable;
  }
  const std::string_view text(reinterpret_cast<const char*>(bytes.data()), bytes.size());
  const size_t before = list->size();
  ParseHashList(text, list);
  // An empty list is written as an empty file; anything else without a record was not
  // written by a save, and saving over it would destroy it.
  if (list->size() == before && HoldsText(text)) return HashListLoad::kNotAHashList;
  return HashListLoad::kRead;
}

bool SaveHashList(const std::string& path, const HashList& list) {
  return platform::ReplaceFileContents(path, FormatHashList(list));
}
