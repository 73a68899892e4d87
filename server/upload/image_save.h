// Saving uploaded files into the gallery's first folder, and the JSON answer for each.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "platform/pending_file.h"
#include "server/threads/thread_mgr.h"
#include "server/upload/upload_names.h"

class CUploadStream;

enum class SaveResult { kSuccess, kRefused, kFailure };

// The 36-byte JSON body for a result: {"state":"success","response":"xxx"} and so on.
std::string_view SaveResultJson(SaveResult result);

struct UploadFolder {
  std::string path;  // empty when no folder is configured
  bool zip_allowed = false;
};

// One uploaded file on its way into the folder: checked and created by Open, written piece by
// piece, and named by Finish. The file appears in the folder only once written in full, under
// the first free numbered name of the sent name's base (or "img" + hex + ".TMP" from `unique`
// on, when no name was sent), and is never written outside the folder. A file that is not
// named disappears with the object.
class PendingUpload {
 public:
  PendingUpload() = default;
  ~PendingUpload();
  PendingUpload(const PendingUpload&) = delete;
  PendingUpload& operator=(const PendingUpload&) = delete;

  // Checks the type and the sent name and creates the file, still without a name. kSuccess
  // when the file awaits its bytes; otherwise the answer for it, and nothing is written:
  // kRefused for a type without an extension, kFailure when the folder is missing or not
  // configured, the name holds control characters, or the file cannot be created (also when
  // the uploads together already hold kMaxOpenUploadFiles files open).
  SaveResult Open(const UploadFolder& folder, std::string_view file_name,
                  std::string_view content_type);
  // Appends `bytes`. After a failed write the file is dropped and later bytes are ignored.
  void Write(std::string_view bytes);
  // Flushes the file to the disk and names it; the answer for the file: kFailure when it
  // could not be written in full or named (nothing is left behind).
  SaveResult Finish(uint16_t unique);

 private:
  void Close();

  std::optional<platform::PendingFile> file_;  // from Open until a failure or the naming
  std::string base_;
  UploadNameKind kind_ = UploadNameKind::kUnnamed;
  std::string_view extension_;
};

// Files that uploads hold open together at most. Each holds two descriptors and a post may
// carry a thousand files, so without a bound a few posts that stop before their end could take
// every descriptor the process may open, and no client could connect.
constexpr int kMaxOpenUploadFiles = 4096;

// The job that writes an upload's pieces as they wait in its stream, and answers once the
// body is whole (CUploadStream::Drain).
class CImageSave : public CThreadCommand {
 public:
  explicit CImageSave(std::shared_ptr<CUploadStream> stream);
  int Run() override;

 private:
  std::shared_ptr<CUploadStream> stream_;
};
