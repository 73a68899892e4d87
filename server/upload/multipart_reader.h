// Splitting a multipart/form-data body into its parts while it arrives, piece by piece. The
// parts, their headers and their bodies are exactly those the whole-body split of the tests
// (multipart_split.h) finds, however the body is cut into pieces; the reader holds only a
// part's header block and the few bytes that may begin a delimiter, never a part's body.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "server/upload/multipart_body.h"

class MultipartReader {
 public:
  // Receives the parts in body order. Views are valid during the call only.
  class Listener {
   public:
    virtual ~Listener() = default;
    // A part's header block has ended; `part.body` is empty.
    virtual void PartBegin(const MultipartPart& part) = 0;
    // The next bytes of the body of the part begun last.
    virtual void PartData(std::string_view bytes) = 0;
    // The part begun last is whole: a delimiter followed it.
    virtual void PartEnd() = 0;
  };

  // `listener` must outlive the reader.
  MultipartReader(std::string_view boundary, Listener* listener);

  // Takes the next bytes of the body.
  void Feed(std::string_view bytes);
  // The body has ended. A part begun and not ended is unfinished: it never ends. kTooManyParts
  // when more than kMaxMultipartParts parts were whole; the one past the limit never ended and
  // nothing more was reported after it.
  MultipartResult Finish();
  // Whether more than kMaxMultipartParts parts were whole: nothing more will be reported.
  bool TooManyParts() const { return state_ == State::kTooManyParts; }

 private:
  enum class State {
    kStart,          // the body may open with the first delimiter
    kPreamble,       // text before the first delimiter
    kDelimiterTail,  // right after a delimiter: "--" closes the body
    kDelimiterLine,  // the rest of a delimiter line
    kContent,        // a part's header block or body
    kDone,           // after the closing delimiter, or a body that stopped being split
    kTooManyParts,
  };

  // Runs the state machine over the held bytes; `at_end` when no more will come.
  void Process(bool at_end);
  // In kPreamble and kContent: the position in held_ of the "\n" that begins the first
  // delimiter, or npos; then the bytes from *keep_from on must be held, as a delimiter may
  // yet begin among them.
  size_t FindDelimiter(bool at_end, size_t* keep_from) const;
  // Passes content bytes on to the part's header block or body.
  void Content(std::string_view bytes);
  void EndContent();

  const std::string needle_;  // "\n--" + boundary
  Listener* const listener_;
  State state_ = State::kStart;
  std::string held_;           // bytes not yet passed on
  size_t content_from_ = 0;    // in kContent, held_ bytes before this are not content
  size_t content_length_ = 0;  // content bytes of the current part passed on so far
  bool in_body_ = false;       // the current part's header block has ended
  bool skipping_ = false;      // the current part's header block is too long: skip it
  std::string header_;         // the current part's header block as far as it has come
  size_t header_scanned_ = 0;  // header_ bytes searched for the blank line
  size_t line_start_ = 0;      // start of the header line being read
  size_t whole_parts_ = 0;
};
