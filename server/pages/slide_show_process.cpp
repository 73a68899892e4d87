#include "server/pages/slide_show_process.h"

#include "server/catalogue/page_keys.h"
#include "server/net/http_response.h"
#include "server/net/nonce.h"
#include "server/pages/page_common.h"
#include "server/pages/safe_link.h"
#include "server/pages/screen_srcset.h"
#include "server/pages/slide_show_scripts.h"

// Like the thumbnail page, the page is assembled from bytes: ASCII markup, links that
// SafeLinkFrom keeps to printable ASCII, entity-escaped text and literals converted once.

Response SlideShowResponse(const ServerSettings& settings, const s_request& request,
                           const std::string& nonce) {
  std::string body(kPageStart);
  body += kCharsetMeta;
  body += kViewportMeta;
  body += "<link rel=\"stylesheet\" type=\"text/css\" href=\"/script?name=font.css\">\r\n";
  body += "<style>\r\n* {margin: 0px;padding: 0px;}</style>\r\n";
  for (const char* script : {"jquery.min.js", "ImagePage.js", "ImagePageUI.js"}) {
    body += "\t" + ScriptTagStart(nonce) + " src = \"/script?name=" + script + "\"></script>\r\n";
  }
  body += "\t" + ScriptTagStart(nonce) + ">\r\n";
  body += SlideShowSequencingScript(SafeLinkFrom(request, "next_url", {}));
  body += "</script>\r\n";
  body += TitleLine(settings.title + " - Slide Show Mode");
  body += "</head>\r\n";
  body += "<link rel=\"stylesheet\" type=\"text/css\" href=\"/script?name=5-1-9.css\"><body>\r\n";
  body +=
      "<header id = \"header\" class=\"HideDefault\">Slide show mode.<input type=\"range\" "
      "id=\"speed-slider\" name=\"speed\" min=\"1\" max=\"60\" value=\"5\"><span "
      "id=\"speedDisplay\"></span>";
  static const std::string seconds = ShiftJisPage("秒");
  body += seconds + "\r\n</header>";
  body += "\t" + ScriptTagStart(nonce) + ">\r\n" + SlideShowSliderScript() + "\t</script>\r\n";
  body += "<article>\r\n<div id=\"player\">\r\n<img class=\"fitImg\" id = \"main\" src=\"" +
          SafeLinkFrom(request, "image", {}) + "\" srcset=\"" + ScreenSrcset(request) +
          "\" sizes=\"" + std::string(kScreenSizes) +
          "\">\r\n</div>\r\n</article>\r\n</body>\r\n</html>";

  return PageResponse(std::move(body), nonce);
}

Response AllPicturesRedirect(const s_request& request, std::string_view nonce) {
  return HttpResponse("302 Found")
      .NoCache()
      .ContentLength(0)
      .Close()
      .SecurityPolicy(nonce)
      .Header("Location", SafeLinkFrom(request, "/slideshow", {{"page", kAllPicturesKey}}))
      .Finish();
}

int CSlideShowProcess::Process(IncomingRequest& request) {
  ImageKey key;
  if (!ParseImageKey(request.target().Param("page"), &key)) {
    request.Respond(AllPicturesRedirect(request.target(), MakeNonce()));
    return 1;
  }
  request.Respond(SlideShowResponse(settings_, request.target(), MakeNonce()));
  return 1;
}
