// The parsed request target: path and query parameters, both exactly as received
// (no percent-decoding, no case folding). Handlers decode what they use.
#pragma once

#include <map>
#include <string>
#include <string_view>
#include <vector>

// The target of a raw request: the text between the first and the second space of its request
// line (to the line's end when there is no second space). False when the line has no space.
bool RequestTarget(std::string_view raw, std::string* target);

struct s_request {
  std::string path;
  std::map<std::string, std::string> params;  // a repeated key keeps its last value

  // Splits `target` at "?", "=" and "&". Returns false, leaving path and params empty, when
  // the separators break the rules: "?" first and once, "=" right after "?" or "&", "&"
  // right after "=". A last key without "=" gets an empty value.
  bool parse(const std::string& target);

  void set(const std::string& key, const std::string& value) { params[key] = value; }
  bool remove(const std::string& key) { return params.erase(key) > 0; }
  std::vector<std::string> keys() const;

  // path, then "?" and key=value pairs joined by "&" in key order, without any encoding.
  std::string to_text() const;
};
