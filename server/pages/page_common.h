// The pieces that the gallery's pages and responses have in common: the page prologue, the
// shared header lines, script tags that carry the response's nonce, links built from the
// current request, and the Shift-JIS encoding of a finished page.
#pragma once

#include <initializer_list>
#include <string>
#include <string_view>
#include <utility>

#include "server/net/request.h"

// The first lines of every page. Pages that put preload links into the head write them between
// the two.
inline constexpr std::string_view kPageStart = "<!DOCTYPE html>\r\n<html>\r\n<head>\r\n";
inline constexpr std::string_view kCharsetMeta =
    "<meta http-equiv=\"content-type\" charset=\"Shift-JIS\">\r\n";

// "<title>" + the entity-escaped `title` + "</title>\r\n".
std::string TitleLine(std::string_view title);

// "<script nonce=\"" + nonce + "\"": the opening of a script tag up to its nonce attribute;
// the caller writes the remaining attributes and the closing.
std::string ScriptTagStart(std::string_view nonce);

// A link from a copy of the current request: `path`, then the request's parameters with those
// named in `set` given the new values and those named in `removed` left out, written in name
// order without any encoding (s_request::to_text).
using LinkParameter = std::pair<std::string_view, std::string_view>;
std::string LinkFrom(s_request request, std::string_view path,
                     std::initializer_list<LinkParameter> set,
                     std::initializer_list<std::string_view> removed = {});

// The 200 response carrying the HTML `body` of a page the browser must fetch anew every time:
// the no-cache lines, the length, Connection: Close, the policy for `nonce`, the type.
std::string UncachedPageResponse(std::string_view body, std::string_view nonce);

// A finished page in UTF-8 converted to Shift-JIS (code page 932), the charset the pages
// declare. Pages write everything taken from outside as numeric entities, so their text always
// has a Shift-JIS form; text without one comes back empty rather than half converted.
std::string ShiftJisPage(std::string_view utf8);
