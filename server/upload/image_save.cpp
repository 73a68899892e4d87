#include "server/upload/image_save.h"

#include <atomic>

#include "server/upload/upload_stream.h"

namespace {

// Numbered names tried before giving up; far more than a folder holds of one name.
constexpr int kMaxNumberedNames = 100000;
constexpr int kTemporaryNames = 0x10000;

std::atomic<int> open_upload_files{0};

// Gives `file` the first free name that `name_at(i)` makes for i = 0, 1, ...
template <typename NameAt>
bool NameFirstFree(platform::PendingFile* file, int tries, NameAt name_at) {
  for (int i = 0; i < tries; ++i) {
    switch (file->Name(name_at(i))) {
      case platform::NameResult::kNamed:
        return true;
      case platform::NameResult::kExists:
        continue;
      case platform::NameResult::kFailed:
        return false;
    }
  }
  return false;
}

}  // namespace

std::string_view SaveResultJson(SaveResult result) {
  switch (result) {
    case SaveResult::kSuccess:
      return "{\"state\":\"success\",\"response\":\"xxx\"}";
    case SaveResult::kRefused:
      return "{\"state\":\"refused\",\"response\":\"xxx\"}";
    case SaveResult::kFailure:
      break;
  }
  return "{\"state\":\"failure\",\"response\":\"xxx\"}";
}

SaveResult PendingUpload::Open(const UploadFolder& folder, std::string_view file_name,
                               std::string_view content_type) {
  extension_ = UploadExtension(content_type, folder.zip_allowed);
  if (extension_.empty()) return SaveResult::kRefused;
  kind_ = ReadUploadBase(file_name, &base_);
  if (folder.path.empty() || kind_ == UploadNameKind::kUnusable) return SaveResult::kFailure;
  if (open_upload_files.fetch_add(1) >= kMaxOpenUploadFiles) {
    open_upload_files.fetch_sub(1);
    return SaveResult::kFailure;
  }
  file_.emplace();
  if (!file_->Create(folder.path)) {
    Close();
    return SaveResult::kFailure;
  }
  return SaveResult::kSuccess;
}

PendingUpload::~PendingUpload() {
  Close();
}

void PendingUpload::Close() {
  if (!file_.has_value()) return;
  file_.reset();
  open_upload_files.fetch_sub(1);
}

void PendingUpload::Write(std::string_view bytes) {
  if (file_.has_value() && !file_->Write(bytes)) Close();
}

SaveResult PendingUpload::Finish(uint16_t unique) {
  if (!file_.has_value() || !file_->Sync()) return SaveResult::kFailure;
  platform::PendingFile* file = &*file_;
  bool named = kind_ == UploadNameKind::kNamed
                   ? NameFirstFree(file, kMaxNumberedNames,
                                   [&](int n) { return NumberedUploadName(base_, n, extension_); })
                   : NameFirstFree(file, kTemporaryNames, [&](int n) {
                       return TemporaryUploadName(static_cast<uint16_t>(unique + n), extension_);
                     });
  Close();
  return named ? SaveResult::kSuccess : SaveResult::kFailure;
}

CImageSave::CImageSave(std::shared_ptr<CUploadStream> stream) : stream_(std::move(stream)) {}

int CImageSave::Run() {
  return stream_->Drain();
}
