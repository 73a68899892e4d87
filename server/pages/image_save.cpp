#include "server/pages/image_save.h"

#include "platform/clock.h"
#include "platform/pending_file.h"
#include "server/pages/upload_names.h"
#include "server/pages/upload_recv_process.h"

namespace {

// Numbered names tried before giving up; far more than a folder holds of one name.
constexpr int kMaxNumberedNames = 100000;
constexpr int kTemporaryNames = 0x10000;

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

SaveResult SaveUpload(const UploadFolder& folder, std::string_view file_name,
                      std::string_view content_type, std::string_view body, uint16_t unique) {
  std::string_view extension = UploadExtension(content_type, folder.zip_allowed);
  if (extension.empty()) return SaveResult::kRefused;
  std::string base;
  UploadNameKind kind = ReadUploadBase(file_name, &base);
  if (folder.path.empty() || kind == UploadNameKind::kUnusable) return SaveResult::kFailure;

  platform::PendingFile file;
  if (!file.Create(folder.path) || !file.Write(body) || !file.Sync()) return SaveResult::kFailure;
  bool named = kind == UploadNameKind::kNamed
                   ? NameFirstFree(&file, kMaxNumberedNames,
                                   [&](int n) { return NumberedUploadName(base, n, extension); })
                   : NameFirstFree(&file, kTemporaryNames, [&](int n) {
                       return TemporaryUploadName(static_cast<uint16_t>(unique + n), extension);
                     });
  return named ? SaveResult::kSuccess : SaveResult::kFailure;
}

CImageSave::CImageSave(CUploadRecvProcess* owner, CImageServer* server,
                       platform::SocketHandle socket, int32_t connection_id,
                       std::shared_ptr<const std::string> request_bytes, std::string_view file_name,
                       std::string_view content_type, std::string_view body)
    : owner_(owner),
      server_(server),
      socket_(socket),
      connection_id_(connection_id),
      request_bytes_(std::move(request_bytes)),
      file_name_(file_name),
      content_type_(content_type),
      body_(body) {}

int CImageSave::Run() {
  // A name made for a file sent without one starts from the clock, as a temporary name does.
  const auto unique = static_cast<uint16_t>(platform::TickCountMs() & 0xFFFF);
  owner_->Answer(server_, socket_, connection_id_,
                 SaveUpload(owner_->folder(), file_name_, content_type_, body_, unique));
  return 0;
}
