// The pieces of a multipart/form-data request body: its boundary, a part's headers, the
// delimiter rule. A part's fields are views into the body, so a large file is never copied.
#pragma once

#include <cstddef>
#include <string_view>

// A body with more parts than this is not split.
constexpr size_t kMaxMultipartParts = 1000;
// A part whose header block (with its blank line) is longer than this has no usable header
// and is skipped, so that a reader of a body still arriving holds at most this much of it.
constexpr size_t kMaxPartHeaderBytes = 64 * 1024;

struct MultipartPart {
  std::string_view name;          // the Content-Disposition's name parameter, "" when absent
  bool has_file_name = false;     // the Content-Disposition has a filename parameter
  std::string_view file_name;     // its value as sent (no decoding)
  std::string_view content_type;  // the Content-Type value, "" when the part has none
  std::string_view body;
};

// The boundary of a Content-Type header value such as
// `multipart/form-data; boundary=----x` (quoted or not). False when there is none.
bool MultipartBoundary(std::string_view content_type, std::string_view* boundary);

enum class MultipartResult {
  kSplit,         // *parts holds the parts (perhaps none)
  kTooManyParts,  // more than kMaxMultipartParts; *parts is empty
};

// Whether `c`, right after "--" + boundary, ends a delimiter: a longer word is no delimiter.
inline bool EndsDelimiter(char c) {
  return c == '\r' || c == '\n' || c == '-' || c == ' ' || c == '\t';
}

// Reads the header lines of a part's content into `part` and sets its body to the bytes after
// the blank line. False when no blank line ends the headers within kMaxPartHeaderBytes.
bool ReadMultipartPart(std::string_view content, MultipartPart* part);
