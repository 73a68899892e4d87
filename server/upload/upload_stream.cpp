#include "server/upload/upload_stream.h"

#include "platform/clock.h"

namespace {

constexpr int32_t kJobPriority = 0;
// Bytes a job writes before it gives its worker back to the other jobs.
constexpr size_t kBytesPerRun = 1024 * 1024;
// Used-up pieces kept for the socket loop to read the next ones into.
constexpr size_t kSpareBuffers = 8;

// The field name the uploader page gives its files.
constexpr std::string_view kFileField = "userfile";

}  // namespace

CUploadStream::CUploadStream(Request request, MySystem::CThreadMgr* pool)
    : request_(std::move(request)), pool_(pool) {
  if (request_.allowed && !request_.boundary.empty()) {
    reader_.emplace(request_.boundary, static_cast<MultipartReader::Listener*>(this));
  }
}

void CUploadStream::Schedule() {
  if (scheduled_) return;
  scheduled_ = true;
  pool_->Post(std::make_unique<CImageSave>(shared_from_this()), kJobPriority);
}

void CUploadStream::Append(std::string bytes) {
  queued_bytes_ += bytes.size();
  platform::MutexLock lock(&mutex_);
  pieces_.push_back(std::move(bytes));
  Schedule();
}

bool CUploadStream::Full() {
  if (queued_bytes_ < kBodyStreamWindowBytes) return false;
  // Marked, then looked at again: a job draining meanwhile either is seen here or sees the
  // mark and wakes the loop.
  held_back_ = true;
  return queued_bytes_ >= kBodyStreamWindowBytes;
}

std::string CUploadStream::SpareBuffer() {
  platform::MutexLock lock(&mutex_);
  if (spares_.empty()) return {};
  std::string spare = std::move(spares_.back());
  spares_.pop_back();
  return spare;
}

void CUploadStream::Finish() {
  platform::MutexLock lock(&mutex_);
  finished_ = true;
  Schedule();
}

void CUploadStream::Abandon() {
  platform::MutexLock lock(&mutex_);
  abandoned_ = true;
  pieces_.clear();
  spares_.clear();
  Schedule();
}

int CUploadStream::Drain() {
  size_t written = 0;
  while (written < kBytesPerRun) {
    std::string piece;
    bool complete = false;
    {
      platform::MutexLock lock(&mutex_);
      if (abandoned_) {
        scheduled_ = false;
        // Unnamed files vanish as they close.
        files_.clear();
        reader_.reset();
        return 0;
      }
      if (!pieces_.empty()) {
        piece = std::move(pieces_.front());
        pieces_.pop_front();
      } else if (finished_ && !completed_) {
        completed_ = complete = true;
      } else {
        scheduled_ = false;
        return 0;
      }
    }
    if (complete) {
      Complete();
      continue;
    }
    Consume(piece);
    const size_t size = piece.size();
    written += size;
    {
      platform::MutexLock lock(&mutex_);
      if (spares_.size() < kSpareBuffers) spares_.push_back(std::move(piece));
    }
    if ((queued_bytes_ -= size) < kBodyStreamWindowBytes / 2 && held_back_.exchange(false)) {
      request_.request.responder().ResumeBody();
    }
  }
  return 1;
}

void CUploadStream::Consume(std::string_view bytes) {
  if (!reader_.has_value()) return;
  reader_->Feed(bytes);
  if (reader_->TooManyParts()) {
    // The post will be answered "failure" as a whole: nothing of it is kept.
    current_ = nullptr;
    files_.clear();
  }
}

void CUploadStream::PartBegin(const MultipartPart& part) {
  current_ = nullptr;
  // A part of the file field without a file name is no file: the browser sends one for every
  // file, an empty one when the file has no name.
  if (part.name != kFileField || !part.has_file_name) return;
  auto file = std::make_unique<FilePart>();
  file->sent_name = part.file_name;
  file->opened = file->upload.Open(request_.owner->folder(), part.file_name, part.content_type);
  current_ = file.get();
  files_.push_back(std::move(file));
}

void CUploadStream::PartData(std::string_view bytes) {
  if (current_ != nullptr && current_->opened == SaveResult::kSuccess) {
    current_->upload.Write(bytes);
  }
}

void CUploadStream::PartEnd() {
  if (current_ != nullptr) current_->whole = true;
  current_ = nullptr;
}

void CUploadStream::Complete() {
  UploadReceiver* owner = request_.owner;
  owner->CountReceived();
  if (!request_.allowed) {
    owner->Reject(request_.request, kRightsRefusedJson);
    return;
  }
  bool split = reader_.has_value() && reader_->Finish() == MultipartResult::kSplit;
  std::erase_if(files_, [](const std::unique_ptr<FilePart>& file) { return !file->whole; });
  if (!split || files_.empty()) {
    files_.clear();
    owner->Reject(request_.request, kNoFilesJson);
    return;
  }
  // A name made for a file sent without one starts from the clock, as a temporary name does.
  const auto unique = static_cast<uint16_t>(platform::TickCountMs() & 0xFFFF);
  // Every file is in place before the answer, on which the client goes on.
  std::vector<FileAnswer> answers;
  for (const std::unique_ptr<FilePart>& file : files_) {
    answers.push_back({file->sent_name, file->upload.Finish(unique)});
  }
  files_.clear();
  owner->Answer(request_.request, answers);
}
