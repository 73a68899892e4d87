#include "server/catalogue/zip_file_access.h"

#include "platform/file_system.h"
#include "server/catalogue/member_path.h"
#include "server/catalogue/zip_archive.h"

namespace {

// Splits the path and opens its archive; false when there is no "|/", nothing after it, or
// the archive cannot be read.
bool OpenArchive(const std::string& path, ZipArchive* archive, std::string* member) {
  std::string archive_path;
  if (!SplitMemberPath(path, &archive_path, member) || member->empty()) return false;
  return archive->Open(archive_path);
}

bool FindMember(const std::string& path, ZipArchive* archive, size_t* index) {
  std::string member;
  if (!OpenArchive(path, archive, &member)) return false;
  const std::vector<std::string>& names = archive->names();
  for (size_t i = 0; i < names.size(); ++i) {
    if (names[i] == member) {
      *index = i;
      return true;
    }
  }
  return false;
}

}  // namespace

bool CZIPFileAccess::Accepts(const std::string& path) {
  return IsMemberPath(path);
}

bool CZIPFileAccess::ReadAll(uint32_t, const std::string& path, std::vector<uint8_t>* out) {
  ZipArchive archive;
  size_t index = 0;
  return FindMember(path, &archive, &index) && archive.Extract(index, out);
}

bool CZIPFileAccess::Exists(const std::string& path) {
  ZipArchive archive;
  size_t index = 0;
  return FindMember(path, &archive, &index);
}

bool CZIPFileAccess::GetTime(const std::string& path, SystemTime* out) {
  ZipArchive archive;
  size_t index = 0;
  if (!FindMember(path, &archive, &index)) return false;
  const ZipDirectoryRecord& record = archive.records()[index];
  if (out != nullptr) *out = SystemTimeFromDos(record.dos_date, record.dos_time);
  return true;
}

bool CZIPFileAccess::GetVersion(const std::string& path, FileVersion* out) {
  std::string archive_path;
  std::string member;
  platform::FileStatus status;
  if (!SplitMemberPath(path, &archive_path, &member) || member.empty() ||
      !platform::StatPath(archive_path, &status) || !status.is_regular) {
    return false;
  }
  *out = FileVersion{status.size, status.mtime_sec, status.mtime_nsec};
  return true;
}
