#include "server/catalogue/direct_file_access.h"

#include "platform/file_system.h"
#include "server/catalogue/member_path.h"
#include "server/catalogue/read_limits.h"

bool CDirectFileAccess::Accepts(const std::string& path) {
  return !IsMemberPath(path);
}

bool CDirectFileAccess::ReadAll(uint32_t, const std::string& path, std::vector<uint8_t>* out) {
  return platform::ReadWholeFile(path, kMaxFileBytes, out);
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

bool CDirectFileAccess::GetVersion(const std::string& path, FileVersion* out) {
  platform::FileStatus status;
  if (!platform::StatPath(path, &status) || !status.is_regular) return false;
  *out = FileVersion{status.size, status.mtime_sec, status.mtime_nsec};
  return true;
}
