// Links that carry the current request's parameters into a page. Parameter names and values
// arrive as the client sent them, so a crafted request could hold quotes, angle brackets or
// bytes that close an attribute, a script string or a Link header, or that have no Shift-JIS
// form. A safe link percent-encodes exactly those bytes, as a browser would before sending
// them: the link names the same resource and may stand in any of those places.
#pragma once

#include <initializer_list>
#include <string>
#include <string_view>

#include "server/net/request.h"
#include "server/pages/page_common.h"

// `text` with every byte outside printable ASCII (below 0x21, 0x7F and above) and every one
// of " ' < > \ ` written as "%XX" (upper-case hex). Everything else, "%" included, stays.
std::string PercentEncodeUnsafe(std::string_view text);

// LinkFrom passed through PercentEncodeUnsafe: every parameter name and value, those set here
// included, is encoded; the separators stay.
std::string SafeLinkFrom(const s_request& request, std::string_view path,
                         std::initializer_list<LinkParameter> set,
                         std::initializer_list<std::string_view> removed = {});
