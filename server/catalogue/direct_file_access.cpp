#include "server/catalogue/direct_file_access.h"

#include <algorithm>

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

bool CDirectFileAccess::ReadPieces(const std::string& path, const FilePieceSink& sink) {
  platform::ReadOnlyFile file;
  if (!file.Open(path)) return false;
  ReadReservation reservation(kPieceBytes, budget_);
  if (!reservation.ok()) return false;
  std::vector<uint8_t> piece(kPieceBytes);
  // The size at opening bounds the read: a file that grows meanwhile is read as it was.
  for (uint64_t at = 0; at < file.size();) {
    const size_t want = static_cast<size_t>(std::min<uint64_t>(piece.size(), file.size() - at));
    const size_t got = file.ReadUpTo(at, want, piece.data());
    if (got == 0) break;  // a file that shrank yields what is still there
    if (!sink(piece.data(), got)) return false;
    at += got;
  }
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
