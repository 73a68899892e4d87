#include "server/pages/image_upload_process.h"

#include "server/net/nonce.h"
#include "server/net/request_framing.h"
#include "server/pages/embedded_resources.h"
#include "server/pages/html_escape.h"
#include "server/pages/page_common.h"

std::string UploaderScript() {
  static const ScriptAroundMarker script =
      SplitAtMarker(embedded::UploaderJs(), "{{max_file_bytes}}");
  // A post also carries its part's header lines: 64 KiB is room for them.
  return std::string(script.before) + std::to_string(kMaxRequestBodyBytes - 64 * 1024) +
         std::string(script.after);
}

Response UploaderPageResponse(const ServerSettings& settings, std::string_view nonce) {
  const std::string title_escaped = EscapeHtmlEntities(settings.title);
  std::string page(kPageStart);
  page += kCharsetMeta;
  page += kViewportMeta;
  page += "<meta http-equiv=\"Content-Type\" content=\"text/html;\" />\r\n";
  page += "<link rel=\"stylesheet\" type=\"text/css\" href=\"/script?name=font.css\">\r\n";
  page += "<title>" + title_escaped + " ファイルアップローダ</title>\r\n";
  // A finger-sized button and link on a phone; the drop area is the whole width anyway.
  page += "<style>@media (max-width:" + std::string(kTouchLayoutWidth) +
          "){#btn{min-width:48px;min-height:48px;padding:0 16px;font-size:16px;}"
          "a[href]{display:inline-block;min-height:44px;line-height:44px;}}</style>\r\n";
  page += ScriptTagStart(nonce) + " src = \"/script?name=jquery.min.js\"></script>\r\n";
  page += ScriptTagStart(nonce) + ">\r\n";
  page += UploaderScript();
  page += "</script>\r\n</head>\r\n<body>\r\n";
  page +=
      "<div id=\"drag-area\" style=\"border-style: dashed;background-color: #042943; color: "
      "#ffffff;\">\r\n"
      " <p>アップロードするファイルをドロップ</p>\r\n"
      " <p>または</p>\r\n"
      " <div class=\"btn-group\">\r\n"
      // The types the upload takes: a phone opens its photo library for them (and one that
      // stores HEIC hands over JPEG). ZIP archives can still be dropped.
      "    <input id=\"file_selecter\" type=\"file\" multiple=\"multiple\" "
      "accept=\"image/jpeg,image/png,image/gif,image/bmp,image/heic,image/heif,image/avif\" "
      "style=\"display:none;\" name=\"userfile\"/>\r\n"
      "    <button id=\"btn\">ファイルを選択</button>\r\n"
      " </div>\r\n"
      "</div>\r\n"
      "<progress value=\"0\" id=\"prog\" max=100></progress>(<span id=\"pv\" "
      "style=\"color:#00b200\">0</span>%)\r\n"
      "\t<div id = \"result\"></div>\r\n"
      "<p><a href = \"/\">ギャラリーに戻る</a></p>\r\n"
      "</body>\r\n"
      "</html>\r\n";
  return UncachedPageResponse(ShiftJisPage(page), nonce);
}

int CImageUploadProcess::Process(IncomingRequest& request) {
  request.Respond(UploaderPageResponse(settings_, MakeNonce()));
  return 1;
}
