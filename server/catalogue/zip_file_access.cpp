#include "server/catalogue/zip_file_access.h"

#include "platform/file_system.h"
#include "server/catalogue/member_path.h"

namespace {

// The archive's version when it is a regular file; false otherwise.
bool ArchiveVersion(const std::string& archive_path, FileVersion* out) {
  platform::FileStatus status;
  if (!platform::StatPath(archive_path, &status) || !status.is_regular) return false;
  *out = FileVersion{status.size, status.mtime_sec, status.mtime_nsec};
  return true;
}

size_t DirectoryBytes(const ZipArchive& archive) {
  size_t bytes = archive.records().size() * (sizeof(ZipDirectoryRecord) + 64);
  for (const std::string& name : archive.names()) bytes += name.capacity();
  return bytes;
}

}  // namespace

std::shared_ptr<const ZipArchive> CZIPFileAccess::OpenCurrent(const std::string& archive_path) {
  FileVersion version;
  if (!ArchiveVersion(archive_path, &version)) return nullptr;
  {
    platform::MutexLock lock(&open_lock_);
    for (auto it = open_.begin(); it != open_.end(); ++it) {
      if (it->path != archive_path) continue;
      if (it->version == version) {
        open_.splice(open_.begin(), open_, it);
        return it->archive;
      }
      open_bytes_ -= it->bytes;
      open_.erase(it);
      break;
    }
  }
  // The version was taken before the directory is read: a change in between makes the next
  // look-up see a newer version and read the directory again.
  auto archive = std::make_shared<ZipArchive>();
  if (!archive->Open(archive_path)) return nullptr;
  size_t bytes = DirectoryBytes(*archive);
  if (bytes > kOpenArchiveBytes) return archive;
  platform::MutexLock lock(&open_lock_);
  for (auto it = open_.begin(); it != open_.end(); ++it) {
    if (it->path == archive_path) {  // another thread opened it meanwhile
      open_bytes_ -= it->bytes;
      open_.erase(it);
      break;
    }
  }
  open_.push_front(OpenArchive{archive_path, version, bytes, archive});
  open_bytes_ += bytes;
  while (open_.size() > kOpenArchiveLimit || open_bytes_ > kOpenArchiveBytes) {
    open_bytes_ -= open_.back().bytes;
    open_.pop_back();
  }
  return archive;
}

bool CZIPFileAccess::FindMember(const std::string& path, std::shared_ptr<const ZipArchive>* archive,
                                size_t* index) {
  std::string archive_path;
  std::string member;
  if (!SplitMemberPath(path, &archive_path, &member) || member.empty()) return false;
  *archive = OpenCurrent(archive_path);
  return *archive != nullptr && (*archive)->Find(member, index);
}

bool CZIPFileAccess::Accepts(const std::string& path) {
  return IsMemberPath(path);
}

bool CZIPFileAccess::ReadAll(uint32_t, const std::string& path, std::vector<uint8_t>* out) {
  std::shared_ptr<const ZipArchive> archive;
  size_t index = 0;
  return FindMember(path, &archive, &index) && archive->Extract(index, budget_, out);
}

bool CZIPFileAccess::Exists(const std::string& path) {
  std::shared_ptr<const ZipArchive> archive;
  size_t index = 0;
  return FindMember(path, &archive, &index);
}

bool CZIPFileAccess::GetTime(const std::string& path, SystemTime* out) {
  std::shared_ptr<const ZipArchive> archive;
  size_t index = 0;
  if (!FindMember(path, &archive, &index)) return false;
  const ZipDirectoryRecord& record = archive->records()[index];
  if (out != nullptr) *out = SystemTimeFromDos(record.dos_date, record.dos_time);
  return true;
}

uint64_t CZIPFileAccess::GetSize(const std::string& path) {
  std::shared_ptr<const ZipArchive> archive;
  size_t index = 0;
  if (!FindMember(path, &archive, &index)) return 0;
  return archive->records()[index].uncompressed_size;
}

bool CZIPFileAccess::GetVersion(const std::string& path, FileVersion* out) {
  std::string archive_path;
  std::string member;
  return SplitMemberPath(path, &archive_path, &member) && !member.empty() &&
         ArchiveVersion(archive_path, out);
}
