#include "server/upload/testing/multipart_split.h"

#include <algorithm>
#include <functional>
#include <string>

MultipartResult SplitMultipart(std::string_view body, std::string_view boundary,
                               std::vector<MultipartPart>* parts) {
  parts->clear();
  // Every delimiter after the first starts a line, so the search includes the line break
  // before it; the first may also open the body.
  const std::string needle = "\n--" + std::string(boundary);
  const std::boyer_moore_horspool_searcher searcher(needle.begin(), needle.end());
  // The position of the first "--" + boundary at or after `from` that starts a line and is
  // followed by the end of its line, "--" or blanks (a longer word is not a delimiter).
  auto find_delimiter = [&](size_t from) -> size_t {
    while (from < body.size()) {
      auto hit =
          std::search(body.begin() + static_cast<std::ptrdiff_t>(from), body.end(), searcher);
      if (hit == body.end()) return std::string_view::npos;
      size_t at = static_cast<size_t>(hit - body.begin()) + 1;
      size_t after = at + needle.size() - 1;
      if (after >= body.size() || EndsDelimiter(body[after])) return at;
      from = at;
    }
    return std::string_view::npos;
  };
  const size_t delimiter_size = needle.size() - 1;
  size_t delimiter =
      body.substr(0, delimiter_size) == std::string_view(needle).substr(1) ? 0 : find_delimiter(0);
  while (delimiter != std::string_view::npos) {
    size_t after = delimiter + delimiter_size;
    if (body.substr(after, 2) == "--") break;  // the closing delimiter
    size_t line_end = body.find('\n', after);
    if (line_end == std::string_view::npos) break;
    size_t content_start = line_end + 1;
    // From the delimiter line's own line break, so that a delimiter right after it is seen.
    size_t next = find_delimiter(line_end);
    if (next == std::string_view::npos) break;  // an unfinished part
    size_t content_end = next - 1;              // the "\n" before the next delimiter
    if (content_end > content_start && body[content_end - 1] == '\r') --content_end;
    MultipartPart part;
    if (content_end >= content_start &&
        ReadMultipartPart(body.substr(content_start, content_end - content_start), &part)) {
      if (parts->size() == kMaxMultipartParts) {
        parts->clear();
        return MultipartResult::kTooManyParts;
      }
      parts->push_back(part);
    }
    delimiter = next;
  }
  return MultipartResult::kSplit;
}
