#include "server/pages/page_common.h"

#include <cstdio>
#include <cstdlib>

#include "platform/text.h"
#include "server/net/http_response.h"
#include "server/pages/html_escape.h"

std::string TitleLine(std::string_view title) {
  return "<title>" + EscapeHtmlEntities(title) + "</title>\r\n";
}

std::string ScriptTagStart(std::string_view nonce) {
  return "<script nonce=\"" + std::string(nonce) + "\"";
}

namespace {

struct PageParameters {
  std::string_view path;
  std::string_view names[5];  // "" past the last
};
// The parameters each page that makes links reads (auto and auto-type of the image page have
// no effect but belong to its address). Only they travel from a page into its links: any
// other parameter would only make every link of the page longer, by as much as the request
// chose.
constexpr PageParameters kPageParameters[] = {
    {"/view", {"page", "word"}},
    {"/individual", {"page", "word", "id", "auto", "auto-type"}},
    {"/slideshow", {"page", "word", "interval"}},
};

bool PageReads(std::string_view path, const std::string& name) {
  for (const PageParameters& page : kPageParameters) {
    if (page.path != path) continue;
    for (std::string_view known : page.names) {
      if (!known.empty() && known == name) return true;
    }
  }
  return false;
}

}  // namespace

std::string LinkFrom(s_request request, std::string_view path,
                     std::initializer_list<LinkParameter> set,
                     std::initializer_list<std::string_view> removed) {
  std::erase_if(request.params,
                [&request](const auto& param) { return !PageReads(request.path, param.first); });
  request.path = path;
  for (const auto& [name, value] : set) request.set(std::string(name), std::string(value));
  for (std::string_view name : removed) request.remove(std::string(name));
  return request.to_text();
}

ScriptAroundMarker SplitAtMarker(std::string_view script, std::string_view marker) {
  const size_t at = script.find(marker);
  if (at == std::string_view::npos || script.find(marker, at + 1) != std::string_view::npos) {
    std::fprintf(stderr, "A built-in script does not hold %.*s exactly once.\n",
                 static_cast<int>(marker.size()), marker.data());
    std::abort();
  }
  return {script.substr(0, at), script.substr(at + marker.size())};
}

Response PageResponse(std::string body, std::string_view nonce) {
  return HttpResponse("200 OK")
      .ContentLength(body.size())
      .SecurityPolicy(nonce)
      .Close()
      .Header("Content-Type", "text/html")
      .Finish(std::move(body));
}

Response UncachedPageResponse(std::string body, std::string_view nonce) {
  return HttpResponse("200 OK")
      .NoCache()
      .ContentLength(body.size())
      .Close()
      .SecurityPolicy(nonce)
      .Header("Content-Type", "text/html")
      .Finish(std::move(body));
}

std::string ShiftJisPage(std::string_view utf8) {
  std::string page;
  if (!platform::Utf8ToCp932(utf8, &page)) page.clear();
  return page;
}
