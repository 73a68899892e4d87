#include "server/upload/multipart_reader.h"

#include <string.h>

MultipartReader::MultipartReader(std::string_view boundary, Listener* listener)
    : needle_("\n--" + std::string(boundary)), listener_(listener) {}

void MultipartReader::Feed(std::string_view bytes) {
  if (state_ == State::kDone || state_ == State::kTooManyParts) return;
  held_.append(bytes);
  Process(false);
}

MultipartResult MultipartReader::Finish() {
  Process(true);
  return TooManyParts() ? MultipartResult::kTooManyParts : MultipartResult::kSplit;
}

size_t MultipartReader::FindDelimiter(bool at_end, size_t* keep_from) const {
  // Kept: the bytes where a delimiter may yet begin, and the one before them, which is the
  // "\r" of the line break that a delimiter takes from the content before it.
  const size_t keep = needle_.size() + 1;
  *keep_from = held_.size() > keep ? held_.size() - keep : 0;
  size_t from = 0;
  while (true) {
    // memmem skips through a file's bytes far faster than a search for each line break.
    const void* found =
        memmem(held_.data() + from, held_.size() - from, needle_.data(), needle_.size());
    if (found == nullptr) return std::string::npos;
    size_t hit = static_cast<size_t>(static_cast<const char*>(found) - held_.data());
    size_t after = hit + needle_.size();
    if (after == held_.size()) return at_end ? hit : std::string::npos;
    if (EndsDelimiter(held_[after])) return hit;
    from = hit + 1;
  }
}

void MultipartReader::Process(bool at_end) {
  const size_t delimiter_size = needle_.size() - 1;  // "--" + boundary
  while (true) {
    switch (state_) {
      case State::kStart:
        // Only here may a delimiter stand without a line break before it.
        if (held_.size() < delimiter_size && !at_end) return;
        if (held_.compare(0, delimiter_size, needle_, 1) == 0) {
          held_.erase(0, delimiter_size);
          state_ = State::kDelimiterTail;
        } else {
          state_ = State::kPreamble;
        }
        break;
      case State::kPreamble: {
        size_t keep_from = 0;
        size_t hit = FindDelimiter(at_end, &keep_from);
        if (hit == std::string::npos) {
          held_.erase(0, keep_from);
          return;
        }
        held_.erase(0, hit + needle_.size());
        state_ = State::kDelimiterTail;
        break;
      }
      case State::kDelimiterTail:
        if (held_.empty() || (held_[0] == '-' && held_.size() < 2)) return;
        if (held_.compare(0, 2, "--") == 0) {
          held_.clear();
          state_ = State::kDone;
          return;
        }
        state_ = State::kDelimiterLine;
        break;
      case State::kDelimiterLine: {
        size_t line_end = held_.find('\n');
        if (line_end == std::string::npos) {
          held_.clear();
          return;
        }
        // The line break stays: the next delimiter may begin with it.
        held_.erase(0, line_end);
        content_from_ = 1;
        content_length_ = 0;
        in_body_ = skipping_ = false;
        header_.clear();
        header_scanned_ = line_start_ = 0;
        state_ = State::kContent;
        break;
      }
      case State::kContent: {
        size_t keep_from = 0;
        size_t hit = FindDelimiter(at_end, &keep_from);
        if (hit == std::string::npos) {
          if (keep_from > content_from_) {
            Content(std::string_view(held_).substr(content_from_, keep_from - content_from_));
            held_.erase(0, keep_from);
            content_from_ = 0;
          }
          return;
        }
        if (hit > content_from_) {
          size_t end = held_[hit - 1] == '\r' ? hit - 1 : hit;
          Content(std::string_view(held_).substr(content_from_, end - content_from_));
        }
        held_.erase(0, hit + needle_.size());
        EndContent();
        if (state_ == State::kContent) state_ = State::kDelimiterTail;
        break;
      }
      case State::kDone:
      case State::kTooManyParts:
        held_.clear();
        return;
    }
  }
}

void MultipartReader::Content(std::string_view bytes) {
  content_length_ += bytes.size();
  if (skipping_) return;
  if (in_body_) {
    if (!bytes.empty()) listener_->PartData(bytes);
    return;
  }
  header_.append(bytes);
  // The header block ends with the first empty line (a lone "\r" counts as empty).
  while (true) {
    size_t line_end = header_.find('\n', header_scanned_);
    if (line_end == std::string::npos) break;
    std::string_view line = std::string_view(header_).substr(line_start_, line_end - line_start_);
    header_scanned_ = line_start_ = line_end + 1;
    if (line_start_ > kMaxPartHeaderBytes) break;
    if (line.empty() || line == "\r") {
      MultipartPart part;
      ReadMultipartPart(header_, &part);
      std::string_view first_bytes = part.body;
      part.body = {};
      in_body_ = true;
      listener_->PartBegin(part);
      if (!first_bytes.empty()) listener_->PartData(first_bytes);
      header_.clear();
      return;
    }
  }
  header_scanned_ = header_.size();
  if (header_.size() > kMaxPartHeaderBytes) {
    skipping_ = true;
    header_.clear();
  }
}

void MultipartReader::EndContent() {
  if (!in_body_) return;  // a part without a header block is skipped
  in_body_ = false;
  if (whole_parts_ == kMaxMultipartParts) {
    state_ = State::kTooManyParts;
    held_.clear();
    return;
  }
  ++whole_parts_;
  listener_->PartEnd();
}
