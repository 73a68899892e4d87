#include "server/pages/upload_recv_process.h"

#include <memory>
#include <string>

#include "server/net/http_response.h"
#include "server/net/nonce.h"
#include "server/pages/upload_right.h"
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

Response UploadResponse(std::string json, bool immediate, std::string_view nonce) {
  HttpResponse response("200 OK");
  if (immediate) response.NoCache();
  return response.ContentLength(json.size())
      .Close()
      .SecurityPolicy(nonce)
      .Header("Content-Type", "application/json")
      .Finish(std::move(json));
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

void CUploadRecvProcess::Reject(const IncomingRequest& request, std::string_view json) {
  rejected_.fetch_add(1);
  request.Respond(UploadResponse(std::string(json), true, MakeNonce()));
}

int CUploadRecvProcess::Process(IncomingRequest& request) {
  if (request.http().method != "POST") return 0;
  std::string content_type;
  std::string_view boundary;
  if (!request.http().Header("Content-Type", &content_type) ||
      !MultipartBoundary(content_type, &boundary)) {
    boundary = {};
  }
  request.ReceiveBody(std::make_shared<CUploadStream>(
      CUploadStream::Request{this, request, MayUpload(settings_, request.accounts()),
                             std::string(boundary)},
      pool_));
  return 1;
}

void CUploadRecvProcess::Answer(const IncomingRequest& request,
                                const std::vector<FileAnswer>& files) {
  // Counted per file, as when each file had a reply of its own.
  answered_.fetch_add(static_cast<uint32_t>(files.size()));
  request.Respond(UploadResponse(UploadAnswerJson(files), false, MakeNonce()));
}
