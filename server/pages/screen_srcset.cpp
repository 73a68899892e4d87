#include "server/pages/screen_srcset.h"

#include "server/pages/safe_link.h"
#include "server/pictures/screen_renditions.h"

namespace {

template <typename LinkAt>
std::string Srcset(LinkAt link_at) {
  std::string srcset;
  for (int width : kScreenWidths) {
    if (!srcset.empty()) srcset += ", ";
    srcset += link_at(std::to_string(width)) + " " + std::to_string(width) + "w";
  }
  return srcset;
}

}  // namespace

std::string ScreenSrcset(const s_request& request, std::string_view key) {
  return Srcset([&](const std::string& width) {
    return SafeLinkFrom(request, "image", {{"page", key}, {"width", width}});
  });
}

std::string ScreenSrcset(const s_request& request) {
  return Srcset([&](const std::string& width) {
    return SafeLinkFrom(request, "image", {{"width", width}});
  });
}
