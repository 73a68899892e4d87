#include "server/pages/upload_recv_process.h"

#include <memory>
#include <vector>

#include "server/net/http_response.h"
#include "server/net/image_server.h"
#include "server/net/nonce.h"
#include "server/pages/multipart_body.h"

namespace {

constexpr int32_t kJobPriority = 0;

// The field name the uploader page gives its files.
constexpr std::string_view kFileField = "userfile";

UploadFolder FirstFolder(const ServerSettings& settings) {
  UploadFolder folder;
  if (!settings.folders.empty()) folder.path = settings.folders.front();
  folder.zip_allowed = settings.zip_reject_upload == 0;
  return folder;
}

// The file parts of `body`, split at the boundary of the request's Content-Type; false when
// it cannot be split (no boundary, too many parts).
bool FileParts(const HttpRequest& request, std::string_view body,
               std::vector<MultipartPart>* files) {
  std::string content_type;
  std::string_view boundary;
  std::vector<MultipartPart> parts;
  if (!request.Header("Content-Type", &content_type) ||
      !MultipartBoundary(content_type, &boundary) ||
      SplitMultipart(body, boundary, &parts) != MultipartResult::kSplit) {
    return false;
  }
  for (const MultipartPart& part : parts) {
    // A part of the file field without a file name is no file: the browser sends one for
    // every file, an empty one when the file has no name.
    if (part.name == kFileField && part.has_file_name) files->push_back(part);
  }
  return true;
}

}  // namespace

std::string UploadResponse(SaveResult result, bool immediate, std::string_view nonce) {
  std::string_view body = SaveResultJson(result);
  HttpResponse response("200 OK");
  if (immediate) response.NoCache();
  return response.ContentLength(body.size())
      .Close()
      .SecurityPolicy(nonce)
      .Header("Content-Type", "application/json")
      .Finish(body);
}

CUploadRecvProcess::CUploadRecvProcess(const ServerSettings& settings,
                                       std::atomic<uint32_t>& received,
                                       std::atomic<uint32_t>& rejected,
                                       std::atomic<uint32_t>& answered, MySystem::CThreadMgr* pool)
    : settings_(settings),
      folder_(FirstFolder(settings)),
      received_(received),
      rejected_(rejected),
      answered_(answered),
      pool_(pool) {}

bool CUploadRecvProcess::MayUpload() const {
  if (settings_.need_user == 0) return true;
  return !settings_.users.empty() && !context().empty() && context().front().privilege == 1;
}

void CUploadRecvProcess::Reject(platform::SocketHandle socket, int32_t connection_id,
                                SaveResult result) {
  rejected_.fetch_add(1);
  server()->Respond(socket, connection_id, UploadResponse(result, true, MakeNonce()));
}

int CUploadRecvProcess::ProcessRaw(platform::SocketHandle socket, int32_t connection_id,
                                   const HttpRequest& request) {
  if (request.method != "POST") return 0;
  const bool allowed = MayUpload();
  received_.fetch_add(1);
  if (!allowed) {
    Reject(socket, connection_id, SaveResult::kRefused);
    return 1;
  }
  // The jobs share the request's bytes: their files are views into them, never copies. Only
  // bytes that the dispatcher did not own are copied first.
  std::shared_ptr<const std::string> bytes = request.shared_bytes;
  if (bytes == nullptr) bytes = std::make_shared<const std::string>(request.bytes);
  const std::string_view body =
      std::string_view(*bytes).substr(request.bytes.size() - request.Body().size());
  std::vector<MultipartPart> files;
  if (!FileParts(request, body, &files) || files.empty()) {
    Reject(socket, connection_id, SaveResult::kFailure);
    return 1;
  }
  for (const MultipartPart& file : files) {
    pool_->Post(new CImageSave(this, server(), socket, connection_id, bytes, file.file_name,
                               file.content_type, file.body),
                kJobPriority, this, 0);
  }
  return 1;
}

void CUploadRecvProcess::Answer(CImageServer* server, platform::SocketHandle socket,
                                int32_t connection_id, SaveResult result) {
  answered_.fetch_add(1);
  server->Respond(socket, connection_id, UploadResponse(result, false, MakeNonce()));
}
