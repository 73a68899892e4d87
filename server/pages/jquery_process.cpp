#include "server/pages/jquery_process.h"

#include "platform/executable_time.h"
#include "server/catalogue/calendar_time.h"
#include "server/net/http_response.h"
#include "server/net/nonce.h"
#include "server/pages/embedded_resources.h"
#include "server/pages/page_scripts.h"

namespace {

constexpr std::string_view kJavaScript = "text/javascript";
constexpr std::string_view kCss = "text/css";

struct ScriptEntry {
  std::string_view name;
  std::string_view (*body)();
  std::string_view content_type;
};

const ScriptEntry kScripts[] = {
    {"jquery.min.js", embedded::JqueryMinJs, kJavaScript},
    {"jquery_ui.js", embedded::JqueryUiJs, kJavaScript},
    {"ImagePageUI.js", embedded::ImagePageUiJs, kJavaScript},
    {"ImageViewer.js", embedded::ImageViewerJs, kJavaScript},
    {"font.css", embedded::FontCss, kCss},
    {"DirectImagePage.css", embedded::DirectImagePageCss, kCss},
    {"5-1-9.css", embedded::HeaderBarCss, kCss},
    {"ImagePage.js", []() -> std::string_view { return ImagePageScript(); }, kJavaScript},
    {"ImagePageMove.js", []() -> std::string_view { return ImagePageMoveScript(); }, kJavaScript},
    {"ImageThumbnailPageMoveByKey.js",
     []() -> std::string_view { return ImageThumbnailPageMoveByKeyScript(); }, kJavaScript},
    {"ImageThumbnailPageMoveByTouch.js",
     []() -> std::string_view { return ImageThumbnailPageMoveByTouchScript(); }, kJavaScript},
};

}  // namespace

void FindScript(std::string_view name, std::string_view* body, std::string_view* content_type) {
  for (const ScriptEntry& entry : kScripts) {
    if (entry.name == name) {
      *body = entry.body();
      *content_type = entry.content_type;
      return;
    }
  }
  *body = {};
  *content_type = kJavaScript;
}

Response ScriptResponse(std::string_view name, std::string_view date,
                        std::string_view if_modified_since, std::string_view nonce) {
  bool not_modified = !date.empty() && if_modified_since == date;
  std::string_view body, content_type = kJavaScript;
  if (!not_modified) FindScript(name, &body, &content_type);

  HttpResponse response(not_modified ? "304 Not modified" : "200 OK");
  response.NoCache().ContentLength(body.size()).Close().SecurityPolicy(nonce);
  if (!date.empty()) response.Header("Last-Modified", date);
  return response.Header("Content-Type", content_type).FinishStatic(body);
}

int CJQueryProcess::Process(IncomingRequest& incoming) {
  const HttpRequest& request = incoming.http();
  std::string date;
  int64_t written = 0;
  if (platform::ExecutableWriteTime(&written)) date = FormatHttpDate(written);
  // A browser sends back the Last-Modified value as it got it; blanks around a header value
  // are not part of it.
  std::string if_modified_since;
  request.Header("If-Modified-Since", &if_modified_since);

  incoming.Respond(
      ScriptResponse(request.target.Param("name"), date, if_modified_since, MakeNonce()));
  return 1;
}
