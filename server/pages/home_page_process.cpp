#include "server/pages/home_page_process.h"

#include "server/net/nonce.h"
#include "server/pages/page_common.h"

Response HomePageResponse(const ServerSettings& settings, const std::string& nonce) {
  std::string page(kPageStart);
  page += kCharsetMeta;
  page += TitleLine(settings.title);
  page += settings.top_folder == 1
              ? "<META HTTP-EQUIV=\"REFRESH\" CONTENT=\"0; URL =view?page=T-1-PN-0\">"
              : "<META HTTP-EQUIV=\"REFRESH\" CONTENT=\"0; URL =view?page=T-1-D-0\">";
  page += "</head>\r\n<body>\r\n画像に移動します。\r\n</body>\r\n</html>";
  return PageResponse(ShiftJisPage(page), nonce);
}

int CHomePageProcess::Process(IncomingRequest& request) {
  request.Respond(HomePageResponse(settings_, MakeNonce()));
  return 1;
}
