#include "server/pages/home_page_process.h"

#include "server/net/image_server.h"
#include "server/net/nonce.h"
#include "server/pages/page_common.h"

std::string HomePageResponse(const ServerSettings& settings, const std::string& nonce) {
  std::string page(kPageStart);
  page += kCharsetMeta;
  page += TitleLine(settings.title);
  page += settings.top_folder == 1
              ? "<META HTTP-EQUIV=\"REFRESH\" CONTENT=\"0; URL =view?page=T-1-PN-0\">"
              : "<META HTTP-EQUIV=\"REFRESH\" CONTENT=\"0; URL =view?page=T-1-D-0\">";
  page += "</head>\r\n<body>\r\n画像に移動します。\r\n</body>\r\n</html>";
  std::string body = ShiftJisPage(page);

  return PageResponse(body, nonce);
}

int CHomePageProcess::Process(platform::SocketHandle socket, int32_t connection_id,
                              const s_request&) {
  server()->Respond(socket, connection_id, HomePageResponse(settings_, MakeNonce()));
  return 1;
}
