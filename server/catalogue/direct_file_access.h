// Plain files on disk: every path that is not a ZIP member path.
#pragma once

#include "server/catalogue/file_access.h"
#include "server/catalogue/read_budget.h"

class CDirectFileAccess : public CBasseFileAccess {
 public:
  // Reads reserve their bytes in `budget`, which must outlive this object.
  explicit CDirectFileAccess(ReadBudget& budget) : budget_(budget) {}

  bool Accepts(const std::string& path) override;
  // Fails for files larger than kMaxFileBytes.
  bool ReadAll(uint32_t use_cache, const std::string& path, std::vector<uint8_t>* out) override;
  // Any size: pieces of kPieceBytes, each reserved in the budget while it is held.
  bool ReadPieces(const std::string& path, const FilePieceSink& sink) override;
  static constexpr size_t kPieceBytes = size_t{1} << 20;
  // True for folders too.
  bool Exists(const std::string& path) override;
  // UTC.
  bool GetTime(const std::string& path, SystemTime* out) override;
  // 0 for anything but a regular file.
  bool GetVersion(const std::string& path, FileVersion* out) override;
  uint64_t GetSize(const std::string& path) override;

 private:
  ReadBudget& budget_;
};
