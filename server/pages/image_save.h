// Saving one uploaded file into the gallery's first folder, and the JSON answer for it.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "platform/tcp_socket.h"
#include "server/net/thread_mgr.h"

class CImageServer;
class CUploadRecvProcess;

enum class SaveResult { kSuccess, kRefused, kFailure };

// The 36-byte JSON body for a result: {"state":"success","response":"xxx"} and so on.
std::string_view SaveResultJson(SaveResult result);

struct UploadFolder {
  std::string path;  // empty when no folder is configured
  bool zip_allowed = false;
};

// Saves `body`, sent as `content_type` under `file_name`, into `folder`. The file appears
// there only once written in full, under the first free numbered name of the sent name's base
// (or "img" + hex + ".TMP" from `unique` on, when no name was sent), and is never written
// outside the folder. kRefused for a type without an extension (nothing is written);
// kFailure when the folder is missing or not configured, the name holds control characters,
// or the file cannot be written in full (nothing is left behind).
SaveResult SaveUpload(const UploadFolder& folder, std::string_view file_name,
                      std::string_view content_type, std::string_view body, uint16_t unique);

// The job that saves one file of an upload on a worker thread and has the receiver answer
// for it.
class CImageSave : public CThreadCommand {
 public:
  // `file_name`, `content_type` and `body` are views into `request_bytes`, which the job keeps
  // alive until it has run.
  CImageSave(CUploadRecvProcess* owner, CImageServer* server, platform::SocketHandle socket,
             int32_t connection_id, std::shared_ptr<const std::string> request_bytes,
             std::string_view file_name, std::string_view content_type, std::string_view body);

  int Run() override;

 private:
  CUploadRecvProcess* owner_;
  CImageServer* server_;
  platform::SocketHandle socket_;
  int32_t connection_id_;
  std::shared_ptr<const std::string> request_bytes_;
  std::string_view file_name_;
  std::string_view content_type_;
  std::string_view body_;
};
