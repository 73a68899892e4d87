#include "server/catalogue/direct_file_access.h"

#include "platform/file_system.h"
#include "server/catalogue/member_path.h"
#include "server/catalogue/read_limits.h"

bool CDirectFileAccess::Accepts(const std::string& path) {
  return !IsMemberPath(path);
}

bool CDirectFileAccess::ReadAll(uint32_t, const std::string& path, std::vector<uint8_t>* out) {
  platform::ReadOnlyFile file;
  if (!file.Open(path) || file.size() > kMaxFileBytes) return false;
  // The size at opening bounds the read, so the reservation covers it even if the file grows.
  ReadReservation reservation(file.size(), budget_);
  if (!reservation.ok()) return false;
  std::vector<uint8_t> bytes(file.size());
  // A file that shrank since it was opened yields what is still there.
  bytes.resize(file.ReadUpTo(0, bytes.size(), bytes.data()));
  *out = std::move(bytes);
  return true;
}

bool CDirectFileAccess::Exists(const std::string& path) {
  platform::FileStatus status;
  return platform::StatPath(path, &status);
}

bool CDirectFileAccess::GetTime(const std::string& path, SystemTime* out) {
  platform::FileStatus status;
  if (!platform::StatPath(path, &status)) return false;
  if (out != nullptr) *out = SystemTimeFromUnix(status.mtime_sec, status.mtime_nsec);
  return true;
}

uint64_t CDirectFileAccess::GetSize(const std::string& path) {
  platform::FileStatus status;
  return platform::StatPath(path, &status) && status.is_regular ? status.size : 0;
}

bool CDirectFileAccess::GetVersion(const std::string& path, FileVersion* out) {
  platform::FileStatus status;
  if (!platform::StatPath(path, &status) || !status.is_regular) return false;
  *out = FileVersion{status.size, status.mtime_sec, status.mtime_nsec};
  return true;
}
