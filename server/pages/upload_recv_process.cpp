#include "server/pages/upload_recv_process.h"

#include <memory>
#include <string>

#include "server/net/http_response.h"
#include "server/net/image_server.h"
#include "server/net/nonce.h"
#include "server/upload/multipart_body.h"
#include "server/upload/upload_stream.h"

namespace {

UploadFolder FirstFolder(const ServerSettings& settings) {
  UploadFolder folder;
  if (!settings.folders.empty()) folder.path = settings.folders.front();
  folder.zip_allowed = settings.zip_reject_upload == 0;
  return folder;
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

void CUploadRecvProcess::Reject(CImageServer* server, platform::SocketHandle socket,
                                int32_t connection_id, SaveResult result) {
  rejected_.fetch_add(1);
  server->Respond(socket, connection_id, UploadResponse(result, true, MakeNonce()));
}

std::shared_ptr<CRequestBodyStream> CUploadRecvProcess::OpenBodyStream(
    platform::SocketHandle socket, int32_t connection_id, const HttpRequest& head) {
  std::string content_type;
  std::string_view boundary;
  if (!head.Header("Content-Type", &content_type) || !MultipartBoundary(content_type, &boundary)) {
    boundary = {};
  }
  return std::make_shared<CUploadStream>(
      CUploadStream::Request{this, server(), socket, connection_id, MayUpload(),
                             std::string(boundary)},
      pool_);
}

int CUploadRecvProcess::ProcessRaw(platform::SocketHandle socket, int32_t connection_id,
                                   const HttpRequest& request) {
  if (request.method != "POST") return 0;
  std::shared_ptr<CRequestBodyStream> stream = OpenBodyStream(socket, connection_id, request);
  if (!request.Body().empty()) stream->Append(std::string(request.Body()));
  stream->Finish();
  return 1;
}

void CUploadRecvProcess::Answer(CImageServer* server, platform::SocketHandle socket,
                                int32_t connection_id, SaveResult result) {
  answered_.fetch_add(1);
  server->Respond(socket, connection_id, UploadResponse(result, false, MakeNonce()));
}
