#include "server/net/http_headers.h"

#include <functional>

#include "platform/text.h"

namespace {

std::string_view Trim(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
  return s;
}

// Calls `on_header` for each header line (name, value) until it returns false.
void ForEachHeader(std::string_view raw,
                   const std::function<bool(std::string_view, std::string_view)>& on_header) {
  size_t block_size = HeaderBlockSize(raw);
  std::string_view block = raw.substr(0, block_size);
  size_t line_start = block.find('\n');  // skip the request line
  while (line_start != std::string_view::npos) {
    ++line_start;
    size_t line_end = block.find('\n', line_start);
    if (line_end == std::string_view::npos) break;
    std::string_view line = block.substr(line_start, line_end - line_start);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    size_t colon = line.find(':');
    if (colon != std::string_view::npos &&
        !on_header(line.substr(0, colon), Trim(line.substr(colon + 1)))) {
      return;
    }
    line_start = line_end;
  }
}

}  // namespace

size_t HeaderBlockSize(std::string_view raw) {
  for (size_t end = raw.find('\n'); end != std::string_view::npos; end = raw.find('\n', end + 1)) {
    std::string_view rest = raw.substr(end + 1);
    if (rest.starts_with("\n")) return end + 2;
    if (rest.starts_with("\r\n")) return end + 3;
  }
  return std::string_view::npos;
}

bool FindHeaderValue(std::string_view raw, std::string_view name, std::string* value) {
  bool found = false;
  ForEachHeader(raw, [&](std::string_view header, std::string_view header_value) {
    if (!platform::EqualsIgnoreCase(header, name)) return true;
    *value = std::string(header_value);
    found = true;
    return false;
  });
  return found;
}

int CountHeaders(std::string_view raw, std::string_view name) {
  int count = 0;
  ForEachHeader(raw, [&](std::string_view header, std::string_view) {
    if (platform::EqualsIgnoreCase(header, name)) ++count;
    return true;
  });
  return count;
}
