// "/upload.php": receives the multipart posts of the uploader page. It checks the right to
// upload from the header block and hands the body, while it arrives, to a CUploadStream,
// whose job on the worker pool writes each file into the first folder and answers once the
// body is whole. Refusals and bodies without files are answered once the body is whole too,
// with the no-cache lines of an immediate answer.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>
#include <string_view>

#include "common/config/server_settings.h"
#include "server/net/request_process.h"
#include "server/threads/thread_mgr.h"
#include "server/upload/image_save.h"
#include "server/upload/upload_stream.h"

class CUploadRecvProcess : public CRequestProcess, public UploadReceiver {
 public:
  // `settings`, the server's three upload counters and `pool` must outlive the handler and
  // its jobs.
  CUploadRecvProcess(const ServerSettings& settings, std::atomic<uint32_t>& received,
                     std::atomic<uint32_t>& rejected, std::atomic<uint32_t>& answered,
                     MySystem::CThreadMgr* pool);

  std::string GetPath() override { return "/upload.php"; }
  // Declines (0) every method but POST; for every POST, hands the body to a CUploadStream
  // (a whole request's body at once, one still arriving as it arrives), which answers.
  int Process(IncomingRequest& request) override;
  // Every POST takes its body as it arrives.
  bool StreamsPostBody() const override { return true; }

  // The receiving side of its streams, run by their CImageSave jobs on worker threads.
  const UploadFolder& folder() const override { return folder_; }
  void CountReceived() override { received_.fetch_add(1); }
  void Answer(const IncomingRequest& request, const std::vector<FileAnswer>& files) override;
  void Reject(const IncomingRequest& request, std::string_view json) override;

 private:
  const ServerSettings& settings_;
  const UploadFolder folder_;
  std::atomic<uint32_t>& received_;
  std::atomic<uint32_t>& rejected_;
  std::atomic<uint32_t>& answered_;
  MySystem::CThreadMgr* pool_;
};

// The complete reply carrying `json`. The receiver's refusals of a whole post (`immediate`)
// also carry the two no-cache lines; the answer with the files' results does not.
Response UploadResponse(std::string json, bool immediate, std::string_view nonce);
