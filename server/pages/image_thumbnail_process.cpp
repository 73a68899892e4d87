#include "server/pages/image_thumbnail_process.h"

#include <cstdint>
#include <memory>
#include <string_view>

#include "server/catalogue/omni_file_access.h"
#include "server/catalogue/page_keys.h"
#include "server/catalogue/word_decode.h"
#include "server/net/nonce.h"
#include "server/pages/html_escape.h"
#include "server/pages/page_common.h"
#include "server/pages/page_numbers.h"
#include "server/pages/safe_link.h"
#include "server/pages/upload_right.h"

// The page is assembled from bytes: ASCII markup, the Japanese literals converted to Shift-JIS
// once, entity-escaped text, and request values exactly as received. Converting the finished
// page instead would throw the whole page away for one request byte without a Shift-JIS form.

namespace {

constexpr uint32_t kThumbnailsPerLine = 10;

// On the folders-first pages a thumbnail and its folder's name make one tile, as wide as a
// thumbnail elsewhere.
constexpr std::string_view kFolderStyle =
    "a.folder{\r\ndisplay:inline-block;\r\nwidth:9.5%;\r\nmargin-right:0.4%;\r\n"
    "vertical-align:top;\r\nfont-size:small;\r\ntext-align:center;\r\n"
    "overflow-wrap:anywhere;\r\n}\r\na.folder img{\r\nmin-width:100%;\r\nmax-width:100%;\r\n"
    "min-height:0;\r\nmax-height:none;\r\nmargin:0;\r\n}\r\na.folder span{\r\n"
    "display:block;\r\n}\r\n";

// Below kTouchLayoutWidth the page is laid out for fingers: four square thumbnails a line,
// and page numbers, order links and the search form at least 44 CSS px in both directions.
// Wider screens keep the layout above.
const std::string kTouchStyle =
    "@media (max-width:" + std::string(kTouchLayoutWidth) +
    "){\r\n"
    "article br{\r\ndisplay:none;\r\n}\r\n"
    "article img,a.folder{\r\nmin-width:calc(25% - 6px);\r\nmax-width:calc(25% - 6px);\r\n"
    "margin:0 3px 6px 3px;\r\n}\r\n"
    "article img{\r\nmin-height:0;\r\nmax-height:none;\r\naspect-ratio:1;\r\n"
    "object-fit:cover;\r\n}\r\n"
    "a.folder img{\r\nmin-width:100%;\r\nmax-width:100%;\r\nmargin:0;\r\n}\r\n"
    "nav a{\r\ndisplay:inline-block;\r\nbox-sizing:border-box;\r\nmin-width:44px;\r\n"
    "min-height:44px;\r\npadding:0 8px;\r\nline-height:44px;\r\ntext-align:center;\r\n}\r\n"
    "nav input{\r\nbox-sizing:border-box;\r\nmin-height:44px;\r\nmin-width:44px;\r\n"
    "font-size:16px;\r\n}\r\n"
    "}\r\n";

// The name of the folder that holds `path`: the last part of its folder, for a picture at the
// top of a ZIP archive the archive's file name.
std::string_view FolderName(std::string_view path) {
  const size_t end = path.rfind('/');
  std::string_view folder = path.substr(0, end == std::string_view::npos ? 0 : end);
  if (!folder.empty() && folder.back() == '|') folder.remove_suffix(1);  // "archive.zip|/..."
  const size_t slash = folder.rfind('/');
  return slash == std::string_view::npos ? folder : folder.substr(slash + 1);
}

struct OrderLink {
  std::string_view code;
  std::string_view label;  // UTF-8
};
constexpr OrderLink kOrderLinks[] = {
    {"N", "名前順"},
    {"D", "更新日順"},
    {"F", "いいねランキング"},
    {"PN", "フォルダ先頭(名前)"},
    {"PD", "フォルダ先頭(日付)"},
};

std::string Head(const ServerSettings& settings, const std::string& nonce) {
  std::string head(kPageStart);
  head += kCharsetMeta;
  head += TitleLine(settings.title);
  head += kViewportMeta;
  // Ten thumbnails of 9.5% make a line. The line ends between their links would each take a
  // space's width, which on a phone pushes the tenth onto a line of its own: there the text of
  // the article has no size (the links keep theirs), and a margin in proportion to the width
  // parts the thumbnails instead.
  head +=
      "<style>img{\r\nmin-width:9.5%;\r\nmin-height:9.5%;\r\nmax-width:9.5%;\r\n"
      "max-height:9.5%;\r\n}\r\narticle:has(a){\r\nfont-size:0;\r\n}\r\narticle a{\r\n"
      "font-size:1rem;\r\n}\r\narticle img{\r\nmargin-right:0.4%;\r\n}\r\n";
  head += kFolderStyle;
  head += kTouchStyle;
  head += "</style>\r\n";
  head += "<link rel=\"stylesheet\" type=\"text/css\" href=\"/script?name=font.css\">\r\n";
  for (std::string_view script : {"jquery.min.js", "jquery_ui.js", "ImageThumbnailPageMoveByKey.js",
                                  "ImageThumbnailPageMoveByTouch.js"}) {
    head += ScriptTagStart(nonce);
    head += " type=\"text/javascript\" src=\"/script?name=";
    head += script;
    head += "\"></script>\r\n";
  }
  head += "</head>\r\n<body>\r\n";
  return head;
}

// Everything of the page that depends on the key and the request.
class ThumbnailPage {
 public:
  ThumbnailPage(const ServerSettings& settings, ImageCatalogue& catalogue, COmniFileAccess& files,
                const s_request& request, const PageKey& key, std::string word)
      : settings_(settings),
        catalogue_(catalogue),
        files_(files),
        request_(request),
        key_(key),
        word_(std::move(word)),
        view_(catalogue.orders().View(key.order, word_)),
        pages_(MakePages(view_.Count())) {}

  void Write(const std::vector<UserAccount>& context, std::string* body) const {
    WriteNeighbourAnchors(body);
    *body += "<nav>";
    WritePageNumbers(body);
    WriteOrderLinks(body);
    if (MayUpload(settings_, context)) {
      *body += "<a href = \"Uploader\">" + ShiftJisPage("アップロード") + "</a>\r\n";
    }
    WriteSearchForm(body);
    *body += "</nav><br><article>\r\n";
    if (pages_.empty()) {
      *body += ShiftJisPage("ファイルが見つかりませんでした。");
    } else {
      WriteThumbnails(body);
    }
    *body += "</article></body>\r\n";
  }

 private:
  std::string PageLink(int64_t page) const {
    return SafeLinkFrom(request_, "view", {{"page", MakePageKeyAsWritten(key_.order_code, page)}});
  }
  std::string MakePageKeyAsWritten(std::string_view code, int64_t page) const {
    return "T-" + key_.list_field + "-" + std::string(code) + "-" + std::to_string(page);
  }

  // The anchors the page scripts follow on arrow keys and swipes; both wrap around. With no
  // pages at all both name page 0.
  void WriteNeighbourAnchors(std::string* body) const {
    const int64_t c = key_.page;
    const int64_t last = pages_.empty() ? 0 : static_cast<int64_t>(pages_.size()) - 1;
    const int64_t previous = c < 1 ? last : c - 1;
    const int64_t next = c < static_cast<int64_t>(pages_.size()) - 1 ? c + 1 : 0;
    *body += "\t<a id = \"PrevPage\" href = \"" + PageLink(previous) + "\">\r\n";
    *body += "\t<a id = \"NextPage\" href = \"" + PageLink(next) + "\">\r\n";
  }

  // Numbers are zero-based; the requested number is the unlinked one, so none is when the
  // request is out of range. Where numbers are left out between two, a gap mark stands.
  void WritePageNumbers(std::string* body) const {
    int64_t before = -1;
    for (const int64_t i : ShownPageNumbers(static_cast<int64_t>(pages_.size()), key_.page)) {
      if (i > before + 1) *body += "<span>" + ShiftJisPage("…") + "</span>\r\n";
      before = i;
      const std::string number = std::to_string(i);
      if (i == key_.page) {
        *body += "<a>" + number + "</a>\r\n";
      } else {
        *body += "<a href = \"" + PageLink(i) + "\">" + number + "</a>\r\n";
      }
    }
  }

  void WriteOrderLinks(std::string* body) const {
    for (const OrderLink& link : kOrderLinks) {
      if (link.code == key_.order_code) continue;
      const std::string href =
          SafeLinkFrom(request_, "view", {{"page", MakePageKeyAsWritten(link.code, 0)}});
      *body += "<a href = \"" + href + "\">" + ShiftJisPage(link.label) + "</a>\r\n";
    }
  }

  // The hidden input carries the order and page into a new search.
  void WriteSearchForm(std::string* body) const {
    *body += "<form action=\"view\" method=\"get\" accept-charset=\"UTF-8\">\r\n";
    *body += " <input type=\"search\" name=\"word\" placeholder=\"" +
             ShiftJisPage("キーワードを入力") + "\"";
    if (!word_.empty()) *body += " value=\"" + EscapeHtmlEntities(word_) + "\"";
    *body += ">\r\n";
    for (const auto& [name, value] : request_.params) {
      if (name != "page") continue;
      *body += " <input type=\"hidden\" name = \"" + EscapeAttribute(name) + "\" value = \"" +
               EscapeAttribute(value) + "\">\r\n";
    }
    *body += " <input type=\"submit\" value = \"" + ShiftJisPage("検索") + "\">\r\n";
    *body += "</form>\r\n";
  }

  // The page shown is the requested one while it is inside the list, else the last.
  const PageRange& ShownPage() const {
    const int64_t c = key_.page;
    if (c >= 0 && c < static_cast<int64_t>(pages_.size()) - 1) return pages_[c];
    return pages_.back();
  }

  // An image whose file has gone since the list was built is left out.
  bool StillThere(const ImageEntry& entry) const {
    if (entry.path.empty()) return false;
    SystemTime time;
    return catalogue_.GetMemberTime(entry.path, &time) || files_.Exists(std::string(entry.path));
  }

  void WriteThumbnails(std::string* body) const {
    const PageRange& page = ShownPage();
    const bool folders_first =
        key_.order == ListOrder::FolderTopByName || key_.order == ListOrder::FolderTopByDate;
    const bool by_folder_tops = settings_.open_name_thumbnail_folder != 0 && folders_first;
    uint32_t written = 0;
    for (uint32_t position = page.first; position < page.first + page.count; ++position) {
      ImageEntry entry;
      if (!view_.Get(position, &entry) || !StillThere(entry)) continue;
      const std::string name_key = MakeImageKey(key_.list_field, ListOrder::Name, entry.namePos);
      // A folder-top thumbnail may open its image inside the whole name or date order; those
      // positions are unnarrowed, so the word must not travel with them.
      std::string individual;
      if (!by_folder_tops) {
        individual = SafeLinkFrom(
            request_, "individual",
            {{"page", key_.list_field + "-" + key_.order_code + "-" + std::to_string(position)}});
      } else if (key_.order == ListOrder::FolderTopByName) {
        individual = SafeLinkFrom(request_, "individual", {{"page", name_key}}, {"word"});
      } else {
        individual = SafeLinkFrom(
            request_, "individual",
            {{"page", MakeImageKey(key_.list_field, ListOrder::Date, entry.datePos)}}, {"word"});
      }
      *body += "<a href =\"" + individual + "\"";
      if (settings_.open_new_tab == 1) *body += " target=\"_blank\" rel=\"noopener noreferrer\"";
      const std::string src =
          SafeLinkFrom(request_, "image", {{"page", name_key}, {"shrink", "1"}}, {"word"});
      if (folders_first) {
        const std::string name = EscapeHtmlEntities(FolderName(entry.path));
        *body += " class=\"folder\"><img src=\"" + src + "\" alt=\"" + name + "\" title=\"" + name +
                 "\"><span>" + name + "</span></a>\r\n";
      } else {
        *body += "><img src=\"" + src + "\"></a>\r\n";
      }
      if (++written % kThumbnailsPerLine == 0) *body += "<br>\r\n";
    }
  }

  const ServerSettings& settings_;
  ImageCatalogue& catalogue_;
  COmniFileAccess& files_;
  const s_request& request_;
  const PageKey& key_;
  const std::string word_;
  const FilteredView view_;
  const PageList pages_;
};

}  // namespace

std::optional<Response> ThumbnailPageResponse(const ServerSettings& settings,
                                              ImageCatalogue& catalogue, COmniFileAccess& files,
                                              const std::vector<UserAccount>& context,
                                              const s_request& request, const std::string& nonce) {
  PageKey key;
  if (!ParsePageKey(request.Param("page"), &key)) return std::nullopt;

  std::string body = Head(settings, nonce);
  ThumbnailPage(settings, catalogue, files, request, key, DecodeWord(request.Param("word")))
      .Write(context, &body);

  return UncachedPageResponse(std::move(body), nonce);
}

namespace {

class CThumbnailPageJob : public CThreadCommand {
 public:
  CThumbnailPageJob(const ServerSettings& settings, ImageCatalogue& catalogue,
                    COmniFileAccess& files, IncomingRequest request)
      : settings_(settings), catalogue_(catalogue), files_(files), request_(std::move(request)) {
    AnswersClient(&request_.responder());
  }

  int Run() override {
    // The key was checked before the job was queued, so there is always a page.
    std::optional<Response> response = ThumbnailPageResponse(
        settings_, catalogue_, files_, request_.accounts(), request_.target(), MakeNonce());
    if (response) request_.Respond(std::move(*response));
    return 0;
  }

 private:
  const ServerSettings& settings_;
  ImageCatalogue& catalogue_;
  COmniFileAccess& files_;
  IncomingRequest request_;
};

}  // namespace

int CImageThumbnailProcess::Process(IncomingRequest& request) {
  PageKey key;
  if (!ParsePageKey(request.target().Param("page"), &key)) return 0;
  pool_->Post(std::make_unique<CThumbnailPageJob>(settings_, catalogue_, files_, request), 0);
  return 1;
}
