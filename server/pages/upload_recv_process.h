// "/upload.php": receives the multipart posts of the uploader page. It checks the right to
// upload, splits the body, and hands each file to a CImageSave job on the worker pool, which
// saves it into the first folder and answers. Refusals and bodies without files are answered
// at once.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>
#include <string_view>

#include "common/config/server_settings.h"
#include "server/net/request_process.h"
#include "server/net/thread_mgr.h"
#include "server/pages/image_save.h"

class CUploadRecvProcess : public CRequestProcess {
 public:
  // `settings`, the server's three upload counters and `pool` must outlive the handler and
  // its jobs.
  CUploadRecvProcess(const ServerSettings& settings, std::atomic<uint32_t>& received,
                     std::atomic<uint32_t>& rejected, std::atomic<uint32_t>& answered,
                     MySystem::CThreadMgr* pool = &MySystem::GetThreadMgr());

  std::string GetPath() override { return "/upload.php"; }
  int WantsRawRequest() override { return 1; }
  // Declines (0) every method but POST; answers or queues the answer for every POST.
  int ProcessRaw(platform::SocketHandle socket, int32_t connection_id,
                 const HttpRequest& request) override;

  // Where the jobs save: the first configured folder.
  const UploadFolder& folder() const { return folder_; }
  // Run by each CImageSave job on its worker thread: counts the reply as answered and posts
  // it to `server` for the connection. A post of several files is answered once per file;
  // the connection closes after the first reply, so the browser sees the first to finish.
  void Answer(CImageServer* server, platform::SocketHandle socket, int32_t connection_id,
              SaveResult result);

 private:
  // Whether the request's user may upload: anybody without authentication, else the first
  // account of the request's context when it has privilege 1.
  bool MayUpload() const;
  // Counts the post as rejected and posts `result` at once.
  void Reject(platform::SocketHandle socket, int32_t connection_id, SaveResult result);

  const ServerSettings& settings_;
  const UploadFolder folder_;
  std::atomic<uint32_t>& received_;
  std::atomic<uint32_t>& rejected_;
  std::atomic<uint32_t>& answered_;
  MySystem::CThreadMgr* pool_;
};

// The complete reply carrying `result`'s JSON. The receiver's own replies (`immediate`) also
// carry the two no-cache lines; a job's reply does not.
std::string UploadResponse(SaveResult result, bool immediate, std::string_view nonce);
