#include "server/pages/image_page_process.h"

#include <random>
#include <utility>

#include "platform/clock.h"
#include "server/catalogue/page_keys.h"
#include "server/catalogue/word_decode.h"
#include "server/net/image_server.h"
#include "server/net/nonce.h"
#include "server/net/not_found_process.h"
#include "server/pages/fast_read_for_cache.h"
#include "server/pages/html_escape.h"
#include "server/pages/image_page_loading.h"
#include "server/pages/page_common.h"
#include "server/pages/safe_link.h"

namespace {

// The orders the header bar links to, in link order; the like ranking gets no link.
struct OrderLink {
  ListOrder order;
  std::string_view label;
};
constexpr OrderLink kOrderLinks[] = {
    {ListOrder::Name, "ファイル名順"},
    {ListOrder::Date, "更新日順"},
    {ListOrder::FolderTopByName, "フォルダ先頭(名前)"},
    {ListOrder::FolderTopByDate, "フォルダ先頭(日時)"},
};

// The shown image and its neighbours, in the order the hints and pre-reads name them.
enum Neighbour { kCurrent, kNext, kPrevious, kTwoBack, kTwoAhead, kNeighbourCount };

std::string Param(const s_request& request, const std::string& name) {
  auto found = request.params.find(name);
  return found == request.params.end() ? std::string() : found->second;
}

// The image key "list-code-" followed by `position` when a list entry exists there, else with
// an empty position.
std::string KeyIfPresent(const ImageKey& key, uint32_t count, int64_t position) {
  if (position >= 0 && position < count) return MakeImageKey(key.list_field, key.order, position);
  return key.list_field + "-" + std::string(ListOrderCode(key.order)) + "-";
}

// Positions of the neighbours of `p` in a list of `n`; next and previous wrap around, two
// back falls to the last entry and two ahead to the first.
void NeighbourPositions(int64_t p, int64_t n, int64_t (&out)[kNeighbourCount]) {
  out[kCurrent] = p;
  out[kNext] = p + 1 >= n ? 0 : p + 1;
  out[kPrevious] = p - 1 < 0 ? n - 1 : p - 1;
  out[kTwoBack] = p - 2 < 0 ? n - 1 : p - 2;
  out[kTwoAhead] = p + 2 < n ? p + 2 : 0;
}

// The image's position in `order` as its own entry records it. REQUIRES: order is not Likes.
int64_t OwnPosition(const ImageEntry& entry, ListOrder order) {
  switch (order) {
    case ListOrder::Name:
      return entry.namePos;
    case ListOrder::Date:
      return entry.datePos;
    default:
      return entry.folderIndex;  // both folder orders list one image per folder
  }
}

// The name the header bar shows: the whole path, or only the file (or member) name.
std::string_view ShownName(std::string_view path, bool full_path) {
  if (full_path) return path;
  size_t slash = path.rfind('/');
  return slash == std::string_view::npos ? path : path.substr(slash + 1);
}

// Colours the like button while /vote answers; `vote_link` must be safe in a script string.
std::string LikeScript(std::string_view vote_link) {
  std::string script =
      "$(function () {\n"
      "    $('#btn1').on('click', function () {\n"
      "        var button = $(this);\n"
      "        button.css('background-color', 'blue');\n"
      "        $.ajax({\n"
      "            url: \"";
  script += vote_link;
  script +=
      "\",\n"
      "            type: \"GET\",\n"
      "            dataType: \"json\"\n"
      "        }).done(function (data) {\n"
      "            if (data && data.state === 'success') {\n"
      "                button.css('background-color', 'orange');\n"
      "            } else {\n"
      "                console.warn('Unexpected answer to the like:', data);\n"
      "            }\n"
      "        }).fail(function (xhr, status, error) {\n"
      "            console.error('The like was not sent:', status, error);\n"
      "            alert(\"いいねの送信に失敗しました。\");\n"
      "            button.css('background-color', '');\n"
      "        });\n"
      "    });\n"
      "});\n";
  return script;
}

std::string ScriptTag(std::string_view nonce, std::string_view name) {
  return "\t" + ScriptTagStart(nonce) + " src = \"/script?name=" + std::string(name) +
         "\"></script>\r\n";
}

}  // namespace

bool MakeImagePage(const ServerSettings& settings, const OrderedLists& orders,
                   const s_request& request, std::string_view nonce, uint32_t random,
                   ImagePage* out) {
  ImageKey key;
  if (!ParseImageKey(Param(request, "page"), &key)) return false;
  const std::string word = DecodeWord(Param(request, "word"));
  const FilteredView view = orders.View(key.order, word);
  const uint32_t count = view.Count();

  int64_t positions[kNeighbourCount];
  NeighbourPositions(key.position, count, positions);
  std::string keys[kNeighbourCount];
  std::string image_links[kNeighbourCount];
  ImagePage page;
  for (int i = 0; i < kNeighbourCount; ++i) {
    keys[i] = KeyIfPresent(key, count, positions[i]);
    image_links[i] = SafeLinkFrom(request, "image", {{"page", keys[i]}});
    ImageEntry entry;
    if (!view.Get(positions[i], &entry)) continue;
    bool listed = false;
    for (const std::string& path : page.preread_paths) listed = listed || path == entry.path;
    if (!listed) page.preread_paths.push_back(std::move(entry.path));
  }
  ImageEntry current;
  const bool has_current = view.Get(key.position, &current);
  const std::string random_key =
      count > 0 ? MakeImageKey(key.list_field, key.order, random % count) : keys[kCurrent];

  page.early_hints = "HTTP/1.1 103\r\n";
  for (const std::string& link : image_links) {
    page.early_hints += "link: <" + link + ">; rel=preload; as=image\r\n";
  }
  page.early_hints += "\r\n";

  std::string body(kPageStart);
  for (const std::string& link : image_links) {
    body += "<link rel=\"preload\" href=\"" + link + "\" as=\"image\">\r\n";
  }
  body += kCharsetMeta;
  body += "<style>\r\n* {margin: 0px;padding: 0px;}</style>\r\n";
  body += "<link rel=\"stylesheet\" type=\"text/css\" href=\"/script?name=font.css\">\r\n";
  body += TitleLine(settings.title);
  body += "<link rel=\"stylesheet\" type=\"text/css\" href=\"/script?name=5-1-9.css\">";
  body += "</head>\r\n<body>\r\n";

  body += "<header id = \"header\" class=\"HideDefault\">";
  body += "<input type = \"button\" id = \"btn1\" value = \"いいね\">";
  const std::string name_escaped = EscapeHtmlEntities(
      has_current ? ShownName(current.path, settings.show_fullpath != 0) : std::string_view());
  body += name_escaped + "\r\n";

  struct Move {
    std::string_view id;
    const std::string& key;
    std::string_view label;
  };
  const Move moves[] = {
      {"NextPage", keys[kNext], "次の画像"},
      {"PrevPage", keys[kPrevious], "前の画像"},
      {"RandomPage", random_key, "ランダム"},
  };
  body += "<P>";
  for (const Move& move : moves) {
    body += "<a id = \"" + std::string(move.id) + "\" href = \"" +
            SafeLinkFrom(request, request.path, {{"page", move.key}}) + "\">" +
            std::string(move.label) + "</a>\r\n";
  }

  // The same image in the other orders. Its positions there are unnarrowed, so the word goes.
  for (const OrderLink& link : kOrderLinks) {
    if (link.order == key.order) {
      body += std::string(link.label) + "\r\n";
      continue;
    }
    const std::string order_key =
        has_current ? MakeImageKey(key.list_field, link.order, OwnPosition(current, link.order))
                    : key.list_field + "-" + std::string(ListOrderCode(link.order)) + "-";
    body += "<a href = \"" + SafeLinkFrom(request, request.path, {{"page", order_key}}, {"word"}) +
            "\">" + std::string(link.label) + "</a>\r\n";
  }
  body += "<P>\r\n";

  body += "<a href = \"" + SafeLinkFrom(request, "image", {{"page", keys[kCurrent] + "-img"}}) +
          "\" target = \"_blank\" rel=\"noopener noreferrer\">直リンク</a>\r\n";
  const int64_t thumbnail_page = has_current ? key.position / kImagesPerPage : 0;
  body += "<a href = \"" +
          SafeLinkFrom(request, "view",
                       {{"page", MakePageKey(key.list_field, key.order, thumbnail_page)}}) +
          "\">上ページ</a>\r\n";
  body += "<a href = \"" + SafeLinkFrom(request, "slideshow", {}) + "\">スライドショー</a>\r\n";
  body += "<P>\r\n</header>\r\n<article>\r\n";
  body += "<img class=\"fitImg\" id = \"main\" src=\"" + image_links[kCurrent] +
          "\" style=\"visibility: hidden;\">\r\n";
  body += "</article>\r\n";

  for (std::string_view script :
       {"jquery.min.js", "ImagePage.js", "ImagePageMove.js", "ImagePageUI.js"}) {
    body += ScriptTag(nonce, script);
  }
  body += "\t" + ScriptTagStart(nonce) + ">\r\n";
  body += LikeScript(SafeLinkFrom(request, "/vote", {}));
  body += "</script>\n";
  body += "</body>\r\n</html>";

  const std::string body_sjis = ShiftJisPage(body);
  page.response = "HTTP/1.1 200 OK\r\n" + std::string(kNoCacheHeaders) +
                  "Content-Length: " + std::to_string(body_sjis.size()) + "\r\n" +
                  std::string(kConnectionClose) + ContentSecurityPolicyLine(nonce) +
                  "Content-Type: text/html\r\n\r\n" + body_sjis;
  *out = std::move(page);
  return true;
}

CImagePageProcess::CImagePageProcess(const ServerSettings& settings,
                                     const ImageCatalogue& catalogue, MySystem::CThreadMgr* pool)
    : settings_(settings), catalogue_(catalogue), pool_(pool) {}

int CImagePageProcess::Process(platform::SocketHandle socket, int32_t connection_id,
                               const s_request& request) {
  pool_->Post(new CImagePageLoading(this, server(), socket, connection_id, request), 0, this, 0);
  return 1;
}

void CImagePageProcess::BuildPage(CImageServer* server, platform::SocketHandle socket,
                                  int32_t connection_id, const s_request& request) {
  // A generator per page, so worker threads share no random state.
  std::mt19937 generator(static_cast<uint32_t>(platform::TickCountMs()));
  const std::string nonce = MakeNonce();
  ImagePage page;
  if (!MakeImagePage(settings_, catalogue_.orders(), request, nonce, generator(), &page)) {
    // Nothing can be shown for such a key; answering at once frees the connection.
    server->Respond(socket, connection_id, NotFoundResponse(nonce));
    return;
  }
  for (std::string& path : page.preread_paths) {
    pool_->Post(new CFastReadForCache(std::move(path)), 0, nullptr, 0);
  }
  s_message hints;
  hints.socket = socket;
  hints.connection_id = connection_id;
  hints.bytes = std::move(page.early_hints);
  server->PostResponse(0, std::move(hints));
  server->Respond(socket, connection_id, std::move(page.response));
}
