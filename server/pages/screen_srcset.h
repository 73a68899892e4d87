// What lets a browser fetch a picture at the size its screen needs: a srcset of the picture's
// screen renditions (/image with `width`), with sizes for a picture that fills at most the
// window's width, as the image page and the slide show fit it.
#pragma once

#include <string>
#include <string_view>

#include "server/net/request.h"

inline constexpr std::string_view kScreenSizes = "100vw";

// "image?...&width=640 640w, ...", each link to `image` built from `request` with `page` set to
// `key`.
std::string ScreenSrcset(const s_request& request, std::string_view key);

// The same, with the request's own `page`.
std::string ScreenSrcset(const s_request& request);
