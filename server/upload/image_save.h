// Saving uploaded files into the gallery's first folder, and the JSON answer for each.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/pending_file.h"
#include "server/threads/thread_mgr.h"
#include "server/upload/upload_names.h"
#include "server/upload/upload_types.h"

class CUploadStream;

enum class SaveResult { kSuccess, kRefused, kFailure };

// The answers to a whole post: one without a file to save, and one of a user who may not
// upload.
inline constexpr std::string_view kNoFilesJson = "{\"state\":\"failure\",\"response\":\"xxx\"}";
inline constexpr std::string_view kRightsRefusedJson =
    "{\"state\":\"refused\",\"response\":\"xxx\",\"reason\":\"rights\"}";

// What became of one uploaded file.
struct FileOutcome {
  SaveResult result = SaveResult::kFailure;
  // Why it was not saved, empty when it was: "type" (a content type the gallery does not
  // take), "content" (its bytes are not a file of that type), "name" (control characters in
  // its name), "folder" (no folder configured, or none that can be written), "busy" (uploads
  // hold too many files open), "write" (it could not be written in full or named).
  std::string_view reason;
  std::string saved_name;  // its name in the folder, when saved

  bool operator==(const FileOutcome&) const = default;
};

// One file of a post in the answer: the name it was sent as, and what became of it.
struct FileAnswer {
  std::string sent_name;
  FileOutcome outcome;
};

// The JSON body answering the files of a post, in their order:
//   {"state":S,"response":"xxx","files":[{"name":N,"state":S,"saved":M},
//                                        {"name":N,"state":S,"reason":R},...]}
// The first S is "success" when every file was saved, else the state of the first that was
// not, so a client of one file reads its result where it always did. Names are UTF-8 (a byte
// that is not becomes U+FFFD) with JSON escapes.
std::string UploadAnswerJson(const std::vector<FileAnswer>& files);

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
  // when the file awaits its bytes; otherwise nothing is written, and Finish says why.
  SaveResult Open(const UploadFolder& folder, std::string_view file_name,
                  std::string_view content_type);
  // Appends `bytes`. The first bytes must be those of the file's type (UploadType); a file
  // whose bytes are not, or whose write fails, is dropped, and later bytes are ignored.
  void Write(std::string_view bytes);
  // Flushes the file to the disk and names it: what became of the file (nothing is left
  // behind unless it was saved).
  FileOutcome Finish(uint16_t unique);

 private:
  void Close();
  // Whether the head read so far is of the file's type; drops the file when it is not.
  bool CheckHead();

  std::optional<platform::PendingFile> file_;  // from Open until a failure or the naming
  std::string base_;
  UploadNameKind kind_ = UploadNameKind::kUnnamed;
  const UploadType* type_ = nullptr;
  std::string head_;  // the first bytes, until they are checked
  bool head_checked_ = false;
  FileOutcome outcome_{SaveResult::kFailure, "write", {}};  // what ended the file early
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
