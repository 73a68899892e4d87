// The body of one POST to /upload.php while it arrives. The socket loop appends the body's
// pieces; a CImageSave job on the worker pool splits them into parts and writes each file
// straight into its pending file, so that receiving and writing overlap and an upload holds
// a few megabytes at most, whatever its size. Once the body is whole the job names the files
// and answers with every file's result; a body that never becomes whole leaves nothing behind.
//
// The writes run in a job fed by a bounded queue of pieces because the socket loop must never
// wait for the disk, and a thread per upload would let a crowd of uploads make threads without
// bound. The job runs only while pieces wait and gives its worker back after each megabyte,
// so uploads share the pool with the other jobs instead of holding workers while their
// clients are slow. When the writer falls behind, the queue fills, the stream reports Full
// and the server stops reading the connection: the client's sending stalls in TCP's window.
#pragma once

#include <atomic>
#include <cstdint>
#include <deque>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/mutex.h"
#include "server/net/incoming_request.h"
#include "server/net/request_body_stream.h"
#include "server/threads/thread_mgr.h"
#include "server/upload/image_save.h"
#include "server/upload/multipart_reader.h"

// The side of the handler that took the request: where the files go, and how the post is
// counted and answered. It must outlive the stream's jobs.
class UploadReceiver {
 public:
  virtual const UploadFolder& folder() const = 0;
  // Counts the post as received, once its body is whole.
  virtual void CountReceived() = 0;
  // Counts each file's result as answered and answers `request` with all of them in one
  // reply (UploadAnswerJson), so the uploader shows each file's own result.
  virtual void Answer(const IncomingRequest& request, const std::vector<FileAnswer>& files) = 0;
  // Counts the post as rejected and answers `request` with `json` for the whole post.
  virtual void Reject(const IncomingRequest& request, std::string_view json) = 0;

 protected:
  ~UploadReceiver() = default;
};

class CUploadStream : public CRequestBodyStream,
                      public std::enable_shared_from_this<CUploadStream>,
                      private MultipartReader::Listener {
 public:
  struct Request {
    UploadReceiver* owner;
    IncomingRequest request;  // the post, answered once its body is whole
    bool allowed;             // the user may upload
    std::string boundary;     // empty when the request names none
  };
  CUploadStream(Request request, MySystem::CThreadMgr* pool);

  // The socket loop's side.
  void Append(std::string bytes) override;
  bool Full() override;
  std::string SpareBuffer() override;
  void Finish() override;
  void Abandon() override;

  // The job's side: writes the waiting pieces, or, once the body is whole and written, names
  // the files and answers. 0 when nothing waits any more, nonzero to run again later.
  int Drain();

 private:
  struct FilePart {
    std::string sent_name;
    PendingUpload upload;
    SaveResult opened = SaveResult::kFailure;
    bool whole = false;  // the part's closing delimiter arrived
  };

  // Posts the job unless it is queued or running.
  void Schedule() REQUIRES(mutex_);
  void Consume(std::string_view bytes);
  void Complete();
  void PartBegin(const MultipartPart& part) override;
  void PartData(std::string_view bytes) override;
  void PartEnd() override;

  const Request request_;
  MySystem::CThreadMgr* const pool_;

  platform::Mutex mutex_;
  std::deque<std::string> pieces_ GUARDED_BY(mutex_);
  std::vector<std::string> spares_ GUARDED_BY(mutex_);  // pieces used up, for reuse
  bool finished_ GUARDED_BY(mutex_) = false;
  bool abandoned_ GUARDED_BY(mutex_) = false;
  bool scheduled_ GUARDED_BY(mutex_) = false;  // a job is queued or running
  bool completed_ GUARDED_BY(mutex_) = false;  // the files are named and answered
  std::atomic<size_t> queued_bytes_{0};
  std::atomic<bool> held_back_{false};  // the loop found the stream Full and may be waiting

  // The job's own; one job runs at a time.
  std::optional<MultipartReader> reader_;  // empty when nothing is to be saved
  std::vector<std::unique_ptr<FilePart>> files_;
  FilePart* current_ = nullptr;  // the file part being read, null in other parts
};
