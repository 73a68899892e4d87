#include "server/net/request.h"

#include "server/net/http_headers.h"

bool s_request::parse(const std::string& target) {
  path.clear();
  params.clear();
  if (target.find_first_of("?=&") == std::string::npos) {
    path = target;
    return true;
  }
  std::vector<std::string> pieces;
  std::string separators;
  size_t start = 0;
  while (true) {
    size_t at = target.find_first_of("?=&", start);
    if (at == std::string::npos) {
      if (start < target.size()) pieces.push_back(target.substr(start));
      break;
    }
    pieces.push_back(target.substr(start, at - start));
    separators.push_back(target[at]);
    start = at + 1;
  }
  for (size_t i = 0; i < separators.size(); ++i) {
    char s = separators[i];
    bool ok = (s == '?' && i == 0) || (s == '=' && i > 0 && separators[i - 1] != '=') ||
              (s == '&' && i > 0 && separators[i - 1] == '=');
    if (!ok) return false;
  }
  if (pieces.size() % 2 == 0) pieces.emplace_back();
  path = pieces[0];
  for (size_t i = 1; i + 1 < pieces.size(); i += 2) params[pieces[i]] = pieces[i + 1];
  return true;
}

std::vector<std::string> s_request::keys() const {
  std::vector<std::string> result;
  result.reserve(params.size());
  for (const auto& entry : params) result.push_back(entry.first);
  return result;
}

std::string s_request::to_text() const {
  std::string text = path;
  char separator = '?';
  for (const auto& [key, value] : params) {
    text += separator;
    text += key;
    text += '=';
    text += value;
    separator = '&';
  }
  return text;
}

std::string s_request::Param(std::string_view key) const {
  auto found = params.find(std::string(key));
  return found == params.end() ? std::string() : found->second;
}

bool HttpRequest::Parse(std::string_view raw) {
  bytes = raw;
  std::string_view text = raw.substr(0, raw.find('\0'));
  std::string_view line = text.substr(0, text.find('\n'));
  if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
  size_t space = line.find(' ');
  if (space == std::string_view::npos) return false;
  method = line.substr(0, space);
  line.remove_prefix(space + 1);
  target_text = line.substr(0, line.find(' '));
  target.parse(std::string(target_text));
  return true;
}

bool HttpRequest::Header(std::string_view name, std::string* value) const {
  return FindHeaderValue(bytes, name, value);
}

std::string_view HttpRequest::Body() const {
  size_t header_size = HeaderBlockSize(bytes);
  return header_size == std::string_view::npos ? std::string_view() : bytes.substr(header_size);
}
