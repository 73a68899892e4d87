#include "server/upload/image_save.h"

#include <atomic>
#include <cstdio>

#include "platform/utf8.h"
#include "server/upload/upload_stream.h"

namespace {

// Numbered names tried before giving up; far more than a folder holds of one name.
constexpr int kMaxNumberedNames = 100000;
constexpr int kTemporaryNames = 0x10000;

std::atomic<int> open_upload_files{0};

// Gives `file` the first free name that `name_at(i)` makes for i = 0, 1, ...; the name.
template <typename NameAt>
std::optional<std::string> NameFirstFree(platform::PendingFile* file, int tries, NameAt name_at) {
  for (int i = 0; i < tries; ++i) {
    std::string name = name_at(i);
    switch (file->Name(name)) {
      case platform::NameResult::kNamed:
        return name;
      case platform::NameResult::kExists:
        continue;
      case platform::NameResult::kFailed:
        return std::nullopt;
    }
  }
  return std::nullopt;
}

std::string_view StateText(SaveResult result) {
  switch (result) {
    case SaveResult::kSuccess:
      return "success";
    case SaveResult::kRefused:
      return "refused";
    case SaveResult::kFailure:
      break;
  }
  return "failure";
}

// `text` as a JSON string, quotes included.
void AppendJsonString(std::string_view text, std::string* out) {
  out->push_back('"');
  for (size_t pos = 0; pos < text.size();) {
    const uint32_t c = DecodeUtf8At(text, &pos);
    if (c == '"' || c == '\\') {
      out->push_back('\\');
      out->push_back(static_cast<char>(c));
    } else if (c < 0x20 || c == 0x7F) {
      char escaped[8];
      std::snprintf(escaped, sizeof escaped, "\\u%04X", static_cast<unsigned>(c));
      out->append(escaped);
    } else {
      AppendUtf8(c, out);
    }
  }
  out->push_back('"');
}

}  // namespace

std::string UploadAnswerJson(const std::vector<FileAnswer>& files) {
  SaveResult post = SaveResult::kSuccess;
  for (const FileAnswer& file : files) {
    if (file.outcome.result != SaveResult::kSuccess) {
      post = file.outcome.result;
      break;
    }
  }
  std::string json =
      "{\"state\":\"" + std::string(StateText(post)) + "\",\"response\":\"xxx\",\"files\":[";
  for (const FileAnswer& file : files) {
    if (&file != &files.front()) json += ",";
    json += "{\"name\":";
    AppendJsonString(file.sent_name, &json);
    json += ",\"state\":\"" + std::string(StateText(file.outcome.result)) + "\",";
    if (file.outcome.result == SaveResult::kSuccess) {
      json += "\"saved\":";
      AppendJsonString(file.outcome.saved_name, &json);
    } else {
      json += "\"reason\":\"" + std::string(file.outcome.reason) + "\"";
    }
    json += "}";
  }
  return json + "]}";
}

SaveResult PendingUpload::Open(const UploadFolder& folder, std::string_view file_name,
                               std::string_view content_type) {
  type_ = FindUploadType(content_type, folder.zip_allowed);
  if (type_ == nullptr) {
    outcome_ = {SaveResult::kRefused, "type", {}};
    return SaveResult::kRefused;
  }
  kind_ = ReadUploadBase(file_name, &base_);
  if (kind_ == UploadNameKind::kUnusable) {
    outcome_ = {SaveResult::kRefused, "name", {}};
    return SaveResult::kRefused;
  }
  outcome_ = {SaveResult::kFailure, "folder", {}};
  if (folder.path.empty()) return SaveResult::kFailure;
  if (open_upload_files.fetch_add(1) >= kMaxOpenUploadFiles) {
    open_upload_files.fetch_sub(1);
    outcome_.reason = "busy";
    return SaveResult::kFailure;
  }
  file_.emplace();
  if (!file_->Create(folder.path)) {
    Close();
    return SaveResult::kFailure;
  }
  outcome_.reason = "write";
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

bool PendingUpload::CheckHead() {
  head_checked_ = true;
  if (type_->head_matches(head_)) return true;
  outcome_ = {SaveResult::kRefused, "content", {}};
  Close();
  return false;
}

void PendingUpload::Write(std::string_view bytes) {
  if (!file_.has_value()) return;
  if (!head_checked_) {
    head_.append(bytes.substr(0, kUploadHeadBytes - head_.size()));
    if (head_.size() >= kUploadHeadBytes && !CheckHead()) return;
  }
  if (!file_->Write(bytes)) Close();
}

FileOutcome PendingUpload::Finish(uint16_t unique) {
  // A file shorter than the longest head is checked on what it has.
  if (file_.has_value() && !head_checked_) CheckHead();
  if (!file_.has_value() || !file_->Sync()) {
    Close();
    return outcome_;
  }
  platform::PendingFile* file = &*file_;
  const std::string_view extension = type_->extension;
  std::optional<std::string> name =
      kind_ == UploadNameKind::kNamed
          ? NameFirstFree(file, kMaxNumberedNames,
                          [&](int n) { return NumberedUploadName(base_, n, extension); })
          : NameFirstFree(file, kTemporaryNames, [&](int n) {
              return TemporaryUploadName(static_cast<uint16_t>(unique + n), extension);
            });
  Close();
  if (!name) return outcome_;
  return {SaveResult::kSuccess, {}, std::move(*name)};
}

CImageSave::CImageSave(std::shared_ptr<CUploadStream> stream) : stream_(std::move(stream)) {}

int CImageSave::Run() {
  return stream_->Drain();
}
