#include "server/pages/image_upload_process.h"

#include "server/net/image_server.h"
#include "server/net/nonce.h"
#include "server/pages/html_escape.h"
#include "server/pages/page_common.h"

const std::string_view kUploaderScript =
    "$(function () {\r\n"
    "\tvar area = $('#drag-area');\r\n"
    "\t// Returning false keeps the browser from opening a dragged file itself.\r\n"
    "\tarea.on('dragenter dragover', function () {\r\n"
    "\t\treturn false;\r\n"
    "\t});\r\n"
    "\tarea.on('drop', function (e) {\r\n"
    "\t\te.preventDefault();\r\n"
    "\t\tuploadFiles(e.originalEvent.dataTransfer.files);\r\n"
    "\t\treturn false;\r\n"
    "\t});\r\n"
    "\t$('#btn').on('click', function () {\r\n"
    "\t\t$('#file_selecter').click();\r\n"
    "\t});\r\n"
    "\t$('#file_selecter').on('change', function () {\r\n"
    "\t\tuploadFiles(this.files);\r\n"
    "\t\t// Choosing the same files again is a change too.\r\n"
    "\t\tthis.value = '';\r\n"
    "\t});\r\n"
    "});\r\n"
    "var totalBytes = 0;\r\n"
    "var progress = [];\r\n"
    "function uploadFiles(files) {\r\n"
    "\ttotalBytes = 0;\r\n"
    "\tfor (var i = 0; i < files.length; i++) {\r\n"
    "\t\ttotalBytes += files[i].size;\r\n"
    "\t}\r\n"
    "\tconsole.log(totalBytes);\r\n"
    "\tprogress = [];\r\n"
    "\tvar batch = new FormData();\r\n"
    "\tvar batchBytes = 0;\r\n"
    "\tvar batchFiles = 0;\r\n"
    "\tfor (var i = 0; i < files.length; i++) {\r\n"
    "\t\tif ((batchBytes + files[i].size >= 8000000 && batchFiles > 0) || batchFiles >= 20) {\r\n"
    "\t\t\tuploadFormData(batch, progress.length);\r\n"
    "\t\t\tbatch = new FormData();\r\n"
    "\t\t\tbatchBytes = 0;\r\n"
    "\t\t\tbatchFiles = 0;\r\n"
    "\t\t}\r\n"
    "\t\tbatch.append('userfile', files[i]);\r\n"
    "\t\tbatchBytes += files[i].size;\r\n"
    "\t\tbatchFiles++;\r\n"
    "\t}\r\n"
    "\tif (batchFiles > 0) {\r\n"
    "\t\tuploadFormData(batch, progress.length);\r\n"
    "\t}\r\n"
    "}\r\n"
    "function showProgress() {\r\n"
    "\tvar sent = 0;\r\n"
    "\tfor (var i = 0; i < progress.length; i++) {\r\n"
    "\t\tsent += progress[i];\r\n"
    "\t}\r\n"
    "\t// The bytes sent include each part's header lines, so the sum may pass the total.\r\n"
    "\tvar percent = totalBytes > 0 ? Math.min(100, parseInt(sent / totalBytes * 100)) : 100;\r\n"
    "\t$('#prog').val(percent);\r\n"
    "\t$('#pv').text(percent);\r\n"
    "}\r\n"
    "function uploadFormData(formData, slot) {\r\n"
    "\tprogress[slot] = 0;\r\n"
    "\t$('#result').text('');\r\n"
    "\t$.ajax({\r\n"
    "\t\turl: 'upload.php',\r\n"
    "\t\ttype: 'POST',\r\n"
    "\t\tdata: formData,\r\n"
    "\t\tcache: false,\r\n"
    "\t\tprocessData: false,\r\n"
    "\t\tcontentType: false,\r\n"
    "\t\tdataType: 'json',\r\n"
    "\t\txhr: function () {\r\n"
    "\t\t\tvar xhr = $.ajaxSettings.xhr();\r\n"
    "\t\t\txhr.upload.addEventListener('progress', function (e) {\r\n"
    "\t\t\t\tprogress[slot] = e.loaded;\r\n"
    "\t\t\t\tshowProgress();\r\n"
    "\t\t\t});\r\n"
    "\t\t\treturn xhr;\r\n"
    "\t\t}\r\n"
    "\t}).done(function (data) {\r\n"
    "\t\tif (data.state == 'success') {\r\n"
    "\t\t\t$('#result').text('成功');\r\n"
    "\t\t} else if (data.state == 'refused') {\r\n"
    "\t\t\t$('#result').text('拒否');\r\n"
    "\t\t} else {\r\n"
    "\t\t\t$('#result').text('失敗');\r\n"
    "\t\t}\r\n"
    "\t}).fail(function () {\r\n"
    "\t\t$('#result').text('失敗');\r\n"
    "\t});\r\n"
    "}\r\n";

std::string UploaderPageResponse(const ServerSettings& settings, std::string_view nonce) {
  const std::string title_escaped = EscapeHtmlEntities(settings.title);
  std::string page(kPageStart);
  page += kCharsetMeta;
  page += "<meta http-equiv=\"Content-Type\" content=\"text/html;\" />\r\n";
  page += "<link rel=\"stylesheet\" type=\"text/css\" href=\"/script?name=font.css\">\r\n";
  page += "<title>" + title_escaped + " ファイルアップローダ</title>\r\n";
  page += ScriptTagStart(nonce) + " src = \"/script?name=jquery.min.js\"></script>\r\n";
  page += ScriptTagStart(nonce) + ">\r\n";
  page += kUploaderScript;
  page += "</script>\r\n</head>\r\n<body>\r\n";
  page +=
      "<div id=\"drag-area\" style=\"border-style: dashed;background-color: #042943; color: "
      "#ffffff;\">\r\n"
      " <p>アップロードするファイルをドロップ</p>\r\n"
      " <p>または</p>\r\n"
      " <div class=\"btn-group\">\r\n"
      "    <input id=\"file_selecter\" type=\"file\" multiple=\"multiple\" "
      "style=\"display:none;\" name=\"userfile\"/>\r\n"
      "    <button id=\"btn\">ファイルを選択</button>\r\n"
      " </div>\r\n"
      "</div>\r\n"
      "<progress value=\"0\" id=\"prog\" max=100></progress>(<span id=\"pv\" "
      "style=\"color:#00b200\">0</span>%)\r\n"
      "\t<div id = \"result\"></div>\r\n"
      "</body>\r\n"
      "</html>\r\n";
  return UncachedPageResponse(ShiftJisPage(page), nonce);
}

int CImageUploadProcess::Process(platform::SocketHandle socket, int32_t connection_id,
                                 const s_request&) {
  server()->Respond(socket, connection_id, UploaderPageResponse(settings_, MakeNonce()));
  return 1;
}
