// The pieces that the gallery's pages and responses have in common: the page prologue, the
// shared header lines, script tags that carry the response's nonce, links built from the
// current request, and the Shift-JIS encoding of a finished page.
#pragma once

#include <initializer_list>
#include <string>
#include <string_view>
#include <utility>

#include "server/net/request.h"
#include "server/net/response.h"

// The first lines of every page.
inline constexpr std::string_view kPageStart = "<!DOCTYPE html>\r\n<html>\r\n<head>\r\n";
inline constexpr std::string_view kCharsetMeta =
    "<meta http-equiv=\"content-type\" charset=\"Shift-JIS\">\r\n";
// Makes a phone lay the page out at its own width, not at the 980 px of a desktop window.
// Pages that set themselves out for fingers below a width name kTouchLayoutWidth.
inline constexpr std::string_view kViewportMeta =
    "<meta name = \"viewport\" content = \"width=device-width, initial-scale=1\" >\r\n";

// The width below which pages lay out their links and buttons touch-sized (44 CSS px at
// least): phones held either way, not tablets or desktop windows.
inline constexpr std::string_view kTouchLayoutWidth = "600px";

// "<title>" + the entity-escaped `title` + "</title>\r\n".
std::string TitleLine(std::string_view title);

// "<script nonce=\"" + nonce + "\"": the opening of a script tag up to its nonce attribute;
// the caller writes the remaining attributes and the closing.
std::string ScriptTagStart(std::string_view nonce);

// A link from a copy of the current request: `path`, then those of the request's parameters
// that the current page (the request's path: /view, /individual or /slideshow) reads, with
// those named in `set` given the new values and those named in `removed` left out, written in
// name order without any encoding (s_request::to_text).
using LinkParameter = std::pair<std::string_view, std::string_view>;
std::string LinkFrom(s_request request, std::string_view path,
                     std::initializer_list<LinkParameter> set,
                     std::initializer_list<std::string_view> removed = {});

// A built-in script (embedded_resources.h) cut at the one place where its user fills in its
// own part, marked in the script by `marker`, such as "{{vote_link}}".
struct ScriptAroundMarker {
  std::string_view before;
  std::string_view after;
};
// REQUIRES: `marker` stands in `script` exactly once. The scripts are fixed when the program is
// built, so a marker out of place is a fault of the build: the program stops with a message.
ScriptAroundMarker SplitAtMarker(std::string_view script, std::string_view marker);

// The 200 answer of an HTML page the browser may keep: Content-Length, the policy for `nonce`,
// Connection, Content-Type, then `body`.
Response PageResponse(std::string body, std::string_view nonce);
// The 200 answer of an HTML page the browser must ask for again each time: the no-cache lines,
// Content-Length, Connection, the policy for `nonce`, Content-Type, then `body`.
Response UncachedPageResponse(std::string body, std::string_view nonce);

// A finished page in UTF-8 converted to Shift-JIS (code page 932), the charset the pages
// declare. Pages write everything taken from outside as numeric entities, so their text always
// has a Shift-JIS form; text without one comes back empty rather than half converted.
std::string ShiftJisPage(std::string_view utf8);
