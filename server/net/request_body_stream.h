// Where a request's body goes while it arrives, for the handlers that take it piece by piece
// instead of as one whole request held in memory (uploads). The socket server owns the
// receiving side: it calls Append for each piece as it arrives, then either Finish (the body
// is whole) or Abandon (it never will be). The stream answers the request itself.
#pragma once

#include <cstddef>
#include <string>

// A body stream turns Full once it holds this much that it has not yet passed on.
constexpr size_t kBodyStreamWindowBytes = 4 * 1024 * 1024;

class CRequestBodyStream {
 public:
  virtual ~CRequestBodyStream() = default;

  // Takes the next piece of the body. Called on the socket loop thread: must not block.
  virtual void Append(std::string bytes) = 0;
  // True while the stream holds as much as it may: the server reads no more of the body
  // until it turns false, and the stream then tells the request's responder
  // (CResponder::ResumeBody), since the transport may be waiting.
  virtual bool Full() = 0;
  // A buffer for the next piece, of any size and with stale bytes: one the stream has used up,
  // so that a long body does not make the server allocate (and the kernel clear) fresh memory
  // for every piece. Empty when the stream has none.
  virtual std::string SpareBuffer() { return {}; }
  // Every byte of the body has been appended.
  virtual void Finish() = 0;
  // The body will never be whole (the client left, the connection timed out): nothing of it
  // may be kept, and the request is not answered by the stream.
  virtual void Abandon() = 0;
};
