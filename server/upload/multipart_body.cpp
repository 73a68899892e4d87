#include "server/upload/multipart_body.h"

#include <algorithm>
#include <functional>
#include <string>

#include "platform/text.h"
#include "server/net/http_headers.h"

namespace {

// Longer than any boundary a client makes (RFC 2046 allows 70 characters).
constexpr size_t kMaxBoundaryBytes = 200;

std::string_view Trim(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r')) {
    s.remove_suffix(1);
  }
  return s;
}

// The value of a parameter: the text between its quotes, or the bare text up to a ";".
// `text` starts right after the "="; *rest is set after the value. False for a quote that is
// never closed (as when a line break cut the value short).
bool ParameterValue(std::string_view text, std::string_view* value, std::string_view* rest) {
  text = Trim(text);
  if (!text.empty() && text.front() == '"') {
    size_t close = text.find('"', 1);
    if (close == std::string_view::npos) return false;
    *value = text.substr(1, close - 1);
    *rest = text.substr(close + 1);
    return true;
  }
  size_t semicolon = text.find(';');
  *rest = semicolon == std::string_view::npos ? std::string_view() : text.substr(semicolon);
  *value = Trim(text.substr(0, semicolon));
  return true;
}

// Calls `on_parameter(name, value)` for each "name=value" after the first ";" of a header
// value such as `form-data; name="userfile"; filename="a.jpg"`.
void ForEachParameter(std::string_view text,
                      const std::function<void(std::string_view, std::string_view)>& on_parameter) {
  size_t semicolon = text.find(';');
  while (semicolon != std::string_view::npos) {
    text.remove_prefix(semicolon + 1);
    size_t equals = text.find('=');
    size_t next = text.find(';');
    if (equals == std::string_view::npos || next < equals) {
      semicolon = next;
      continue;
    }
    std::string_view name = Trim(text.substr(0, equals));
    std::string_view value, rest;
    if (!ParameterValue(text.substr(equals + 1), &value, &rest)) return;
    on_parameter(name, value);
    text = rest;
    semicolon = text.find(';');
  }
}

}  // namespace

bool ReadMultipartPart(std::string_view content, MultipartPart* part) {
  bool have_disposition = false, have_type = false;
  size_t line_start = 0;
  while (true) {
    size_t line_end = content.find('\n', line_start);
    if (line_end == std::string_view::npos) return false;
    std::string_view line = content.substr(line_start, line_end - line_start);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    line_start = line_end + 1;
    if (line_start > kMaxPartHeaderBytes) return false;
    if (line.empty()) break;
    size_t colon = line.find(':');
    if (colon == std::string_view::npos) continue;
    std::string_view header = Trim(line.substr(0, colon));
    std::string_view value = Trim(line.substr(colon + 1));
    if (!have_type && platform::EqualsIgnoreCase(header, "Content-Type")) {
      have_type = true;
      part->content_type = value;
    } else if (!have_disposition && platform::EqualsIgnoreCase(header, "Content-Disposition")) {
      have_disposition = true;
      ForEachParameter(value, [part](std::string_view name, std::string_view parameter) {
        if (platform::EqualsIgnoreCase(name, "name")) {
          part->name = parameter;
        } else if (platform::EqualsIgnoreCase(name, "filename")) {
          part->has_file_name = true;
          part->file_name = parameter;
        }
      });
    }
  }
  part->body = content.substr(line_start);
  return true;
}

bool MultipartBoundary(std::string_view content_type, std::string_view* boundary) {
  std::string_view found;
  ForEachParameter(content_type, [&found](std::string_view name, std::string_view value) {
    if (found.empty() && platform::EqualsIgnoreCase(name, "boundary")) found = value;
  });
  if (found.empty() || found.size() > kMaxBoundaryBytes) return false;
  *boundary = found;
  return true;
}
