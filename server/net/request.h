// A request as the handlers see it: the target cut into path and query parameters, both
// exactly as received (no percent-decoding, no case folding; handlers decode what they use),
// and, for the handlers that read headers or the body, the bytes it was parsed from.
#pragma once

#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

struct s_request {
  std::string path;
  std::map<std::string, std::string> params;  // a repeated key keeps its last value

  // Splits `target` at "?", "=" and "&". Returns false, leaving path and params empty, when
  // the separators break the rules: "?" first and once, "=" right after "?" or "&", "&"
  // right after "=". A last key without "=" gets an empty value.
  bool parse(const std::string& target);

  // The value of `key` as received; "" when the request has none.
  std::string Param(std::string_view key) const;

  void set(const std::string& key, const std::string& value) { params[key] = value; }
  bool remove(const std::string& key) { return params.erase(key) > 0; }
  std::vector<std::string> keys() const;

  // path, then "?" and key=value pairs joined by "&" in key order, without any encoding.
  std::string to_text() const;
};

// One whole request, parsed once by the dispatcher and handed to every handler.
struct HttpRequest {
  std::string_view bytes;        // request line, headers and body as received
  std::string_view method;       // the request line up to its first space
  std::string_view target_text;  // the request target as received
  s_request target;              // empty path when the target's separators break the rules

  // Reads the request line of `raw` (up to its first zero byte): the method is the text
  // before the first space, the target the text between the first and the second space (to
  // the line's end when there is no second space). False when the line has no space; the
  // request then has nothing to route. `raw` must outlive the request.
  bool Parse(std::string_view raw);

  // The value of the header line `name` (compared case-insensitively, the first such line
  // wins), without the blanks around it.
  bool Header(std::string_view name, std::string* value) const;
  // The bytes after the header block.
  std::string_view Body() const;
};
