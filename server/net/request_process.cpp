#include "server/net/request_process.h"

int CRequestProcess::ProcessRaw(platform::SocketHandle, int32_t, const HttpRequest&) {
  return 0;
}

int CRequestProcess::Process(platform::SocketHandle, int32_t, const s_request&) {
  return 0;
}

std::shared_ptr<CRequestBodyStream> CRequestProcess::OpenBodyStream(platform::SocketHandle, int32_t,
                                                                    const HttpRequest&) {
  return std::make_shared<CDroppedRequestBody>();
}
