#include "server/pages/image_page_process.h"

#include <algorithm>
#include <random>
#include <utility>

#include "platform/clock.h"
#include "server/catalogue/image_types.h"
#include "server/catalogue/page_keys.h"
#include "server/catalogue/picture_id.h"
#include "server/catalogue/word_decode.h"
#include "server/net/nonce.h"
#include "server/net/not_found_process.h"
#include "server/pages/embedded_resources.h"
#include "server/pages/fast_read_for_cache.h"
#include "server/pages/html_escape.h"
#include "server/pages/image_page_loading.h"
#include "server/pages/page_common.h"
#include "server/pages/safe_link.h"
#include "server/pages/screen_srcset.h"
#include "server/pictures/image_reduce.h"

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

// The key of a place where no image is: the position part stays empty.
std::string KeyWithoutPosition(std::string_view list_field, ListOrder order) {
  return std::string(list_field) + "-" + std::string(ListOrderCode(order)) + "-";
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

// Colours the like button while /vote answers (resources/ImagePageLike.js); `vote_link` must be
// safe in a script string. In UTF-8, like the rest of the page until it is finished.
std::string LikeScript(std::string_view vote_link) {
  static const ScriptAroundMarker script =
      SplitAtMarker(embedded::ImagePageLikeJs(), "{{vote_link}}");
  return std::string(script.before) + std::string(vote_link) + std::string(script.after);
}

std::string ScriptTag(std::string_view nonce, std::string_view name) {
  return "\t" + ScriptTagStart(nonce) + " src = \"/script?name=" + std::string(name) +
         "\"></script>\r\n";
}

// What the pieces of one page are made from.
struct PageInput {
  explicit PageInput(const s_request& r) : request(r) {}

  const s_request& request;
  ImageKey key;
  uint32_t count = 0;  // images in the word-filtered order
  std::string keys[kNeighbourCount];
  std::string image_links[kNeighbourCount];
  bool present[kNeighbourCount] = {};
  bool reduced[kNeighbourCount] = {};  // sent in screen renditions
  bool has_current = false;
  ImageEntry current;
  std::string current_id;  // PictureId of `current`; empty without one
  std::string random_key;
};

// No preload hints: on a slow link the neighbours' pictures would share it with the shown
// one. ImageViewer.js fetches them once the shown picture has loaded.
std::string Head(const ServerSettings& settings) {
  std::string head(kPageStart);
  head += kCharsetMeta;
  head += kViewportMeta;
  head += "<style>\r\n* {margin: 0px;padding: 0px;}</style>\r\n";
  head += "<link rel=\"stylesheet\" type=\"text/css\" href=\"/script?name=font.css\">\r\n";
  head += TitleLine(settings.title);
  head += "<link rel=\"stylesheet\" type=\"text/css\" href=\"/script?name=5-1-9.css\">";
  return head + "</head>\r\n";
}

// Next, previous and random, read by the key and swipe script through their ids.
std::string MoveLinks(const PageInput& in) {
  struct Move {
    std::string_view id;
    const std::string& key;
    std::string_view label;
  };
  const Move moves[] = {
      {"NextPage", in.keys[kNext], "次の画像"},
      {"PrevPage", in.keys[kPrevious], "前の画像"},
      {"RandomPage", in.random_key, "ランダム"},
  };
  std::string links = "<P>";
  for (const Move& move : moves) {
    links += "<a id = \"" + std::string(move.id) + "\" href = \"" +
             SafeLinkFrom(in.request, in.request.path, {{"page", move.key}}) + "\">" +
             std::string(move.label) + "</a>\r\n";
  }
  return links;
}

// The same image in the other orders. Its positions there are unnarrowed, so the word goes.
std::string OrderLinks(const PageInput& in) {
  std::string links;
  for (const OrderLink& link : kOrderLinks) {
    if (link.order == in.key.order) {
      links += std::string(link.label) + "\r\n";
      continue;
    }
    const std::string key = in.has_current ? MakeImageKey(in.key.list_field, link.order,
                                                          OwnPosition(in.current, link.order))
                                           : KeyWithoutPosition(in.key.list_field, link.order);
    links += "<a href = \"" + SafeLinkFrom(in.request, in.request.path, {{"page", key}}, {"word"}) +
             "\">" + std::string(link.label) + "</a>\r\n";
  }
  return links + "<P>\r\n";
}

// The picture as stored, for saving it.
std::string DirectLink(const PageInput& in) {
  return SafeLinkFrom(in.request, "image", {{"page", DirectLinkKey(in.keys[kCurrent])}});
}

// The thumbnail page that holds the picture.
std::string ViewLink(const PageInput& in) {
  const int64_t thumbnail_page = in.has_current ? in.key.position / kImagesPerPage : 0;
  const std::string view_key = MakePageKey(in.key.list_field, in.key.order, thumbnail_page);
  return SafeLinkFrom(in.request, "view", {{"page", view_key}});
}

// The bar that a double click on the image shows.
std::string HeaderBar(const PageInput& in, const ServerSettings& settings) {
  std::string bar = "<header id = \"header\" class=\"HideDefault\">";
  bar += "<input type = \"button\" id = \"btn1\" value = \"いいね\">";
  const std::string name_escaped =
      EscapeHtmlEntities(in.has_current ? ShownName(in.current.path, settings.show_fullpath != 0)
                                        : std::string_view());
  bar += name_escaped + "\r\n";
  bar += MoveLinks(in);
  bar += OrderLinks(in);
  bar += "<a href = \"" + DirectLink(in) +
         "\" target = \"_blank\" rel=\"noopener noreferrer\">直リンク</a>\r\n";
  // The link to share or bookmark names the picture, not its position, which a rescan moves.
  if (in.has_current) {
    bar +=
        "<a id = \"ShareLink\" href = \"individual?id=" + in.current_id + "\">共有リンク</a>\r\n";
  }
  bar += "<a id = \"ViewPage\" href = \"" + ViewLink(in) + "\">上ページ</a>\r\n";
  bar += "<a href = \"" + SafeLinkFrom(in.request, "slideshow", {}) + "\">スライドショー</a>\r\n";
  return bar + "<P>\r\n</header>\r\n";
}

// The attributes that load the picture of `neighbour`: its screen renditions where it has
// them (the original stays `src`, for browsers without srcset), else the original alone.
// `prefix` "data-" keeps them from loading until a script renames them.
std::string PictureSource(const PageInput& in, int neighbour, std::string_view prefix) {
  const std::string p(prefix);
  std::string source = " " + p + "src=\"" + in.image_links[neighbour] + "\"";
  if (in.reduced[neighbour]) {
    source += " " + p + "srcset=\"" + ScreenSrcset(in.request, in.keys[neighbour]) + "\" sizes=\"" +
              std::string(kScreenSizes) + "\"";
  }
  return source;
}

// What a touch screen shows over the picture, hidden elsewhere by 5-1-9.css: the way out to
// the thumbnail page, the original one tap away, and on a first visit how to reach the header.
std::string TouchControls(const PageInput& in) {
  return "<nav id=\"touchControls\"><a id=\"TouchViewPage\" href=\"" + ViewLink(in) +
         "\">一覧</a><a href=\"" + DirectLink(in) +
         "\" target=\"_blank\" rel=\"noopener noreferrer\">元画像</a></nav>\r\n"
         "<div id=\"headerHint\" hidden>ダブルタップでメニュー</div>\r\n";
}

// The neighbours' pictures, loaded by ImageViewer.js once the shown one has loaded; the random
// one is not among them.
std::string Neighbours(const PageInput& in) {
  std::string out = "<div id=\"neighbours\" hidden>";
  std::vector<std::string_view> written = {in.keys[kCurrent]};
  for (int neighbour : {kNext, kPrevious, kTwoAhead, kTwoBack}) {
    const std::string& key = in.keys[neighbour];
    if (!in.present[neighbour] || std::find(written.begin(), written.end(), key) != written.end()) {
      continue;
    }
    written.push_back(key);
    out += "<img alt=\"\"" + PictureSource(in, neighbour, "data-") + ">";
  }
  return out + "</div>\r\n";
}

std::string Body(const PageInput& in, const ServerSettings& settings, std::string_view nonce) {
  std::string body = Head(settings);
  body += "<body>\r\n";
  body += HeaderBar(in, settings);
  body += "<article>\r\n";
  body += "<img class=\"fitImg\" id = \"main\"" + PictureSource(in, kCurrent, "") +
          " style=\"visibility: hidden;\">\r\n";
  body += TouchControls(in);
  body += Neighbours(in);
  body += "</article>\r\n";
  for (std::string_view script :
       {"jquery.min.js", "ImagePage.js", "ImagePageMove.js", "ImagePageUI.js", "ImageViewer.js"}) {
    body += ScriptTag(nonce, script);
  }
  body += "\t" + ScriptTagStart(nonce) + ">\r\n";
  // The like names the shown picture by its id too: it counts for that one even when a rescan
  // has moved it away from the key's position since.
  body += LikeScript(in.has_current ? SafeLinkFrom(in.request, "/vote", {{"id", in.current_id}})
                                    : SafeLinkFrom(in.request, "/vote", {}));
  body += "</script>\n";
  return body + "</body>\r\n</html>";
}

}  // namespace

bool MakeImagePage(const ServerSettings& settings, const OrderedLists& orders,
                   const s_request& request, std::string_view nonce, uint32_t random,
                   ImagePage* out) {
  if (!request.params.contains("page") && request.params.contains("id")) {
    // The shared link: the picture is shown at its place in the name order of the list of
    // now, as a thumbnail of the name order would open it.
    ImageEntry entry;
    if (!orders.FindPicture(request.Param("id"), &entry)) return false;
    s_request by_position = request;
    by_position.remove("id");
    by_position.remove("word");
    by_position.set("page", MakeImageKey("1", ListOrder::Name, entry.namePos));
    return MakeImagePage(settings, orders, by_position, nonce, random, out);
  }
  PageInput in(request);
  if (!ParseImageKey(request.Param("page"), &in.key)) return false;
  const FilteredView view = orders.View(in.key.order, DecodeWord(request.Param("word")));
  in.count = view.Count();

  ImagePage page;
  int64_t positions[kNeighbourCount];
  NeighbourPositions(in.key.position, in.count, positions);
  for (int i = 0; i < kNeighbourCount; ++i) {
    ImageEntry entry;
    const bool present = view.Get(positions[i], &entry);
    in.present[i] = present;
    in.keys[i] = present ? MakeImageKey(in.key.list_field, in.key.order, positions[i])
                         : KeyWithoutPosition(in.key.list_field, in.key.order);
    in.image_links[i] = SafeLinkFrom(request, "image", {{"page", in.keys[i]}});
    if (!present) continue;
    in.reduced[i] = ReducesType(ImageContentType(entry.path));
    // A rendition is made from the file read past the cache: only pictures sent as stored
    // are worth reading into it ahead.
    if (!in.reduced[i] && std::find(page.preread_paths.begin(), page.preread_paths.end(),
                                    entry.path) == page.preread_paths.end()) {
      page.preread_paths.emplace_back(entry.path);
    }
  }
  in.has_current = view.Get(in.key.position, &in.current);
  if (in.has_current) in.current_id = PictureId(in.current.path);
  in.random_key = in.count > 0 ? MakeImageKey(in.key.list_field, in.key.order, random % in.count)
                               : in.keys[kCurrent];

  page.response = UncachedPageResponse(ShiftJisPage(Body(in, settings, nonce)), nonce);
  *out = std::move(page);
  return true;
}

CImagePageProcess::CImagePageProcess(const ServerSettings& settings,
                                     const ImageCatalogue& catalogue, COmniFileAccess& files,
                                     MySystem::CThreadMgr* pool)
    : settings_(settings), catalogue_(catalogue), files_(files), pool_(pool) {}

int CImagePageProcess::Process(IncomingRequest& request) {
  pool_->Post(std::make_unique<CImagePageLoading>(this, request), 0);
  return 1;
}

void CImagePageProcess::BuildPage(const IncomingRequest& request) {
  // A generator per page, so worker threads share no random state.
  std::mt19937 generator(static_cast<uint32_t>(platform::TickCountMs()));
  const std::string nonce = MakeNonce();
  ImagePage page;
  if (!MakeImagePage(settings_, catalogue_.orders(), request.target(), nonce, generator(), &page)) {
    // Nothing can be shown for such a key; answering at once frees the connection.
    request.Respond(NotFoundResponse(nonce));
    return;
  }
  for (std::string& path : page.preread_paths) {
    if (WorthPreReading(files_, path)) {
      pool_->Post(std::make_unique<CFastReadForCache>(files_, std::move(path)), 0);
    }
  }
  request.Respond(std::move(page.response));
}
