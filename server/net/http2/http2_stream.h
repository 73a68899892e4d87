// One request and its answer on an HTTP/2 connection, as the session keeps them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "server/net/http2/http2_responder.h"
#include "server/net/request_body_stream.h"
#include "server/net/response.h"

struct Http2Stream {
  int32_t id = 0;
  std::shared_ptr<CHttp2Responder> responder;

  // The request's header list as it arrives: the pseudo-header fields apart, the others as
  // HTTP/1.1 header lines.
  std::string method, path, authority;
  std::string header_lines;
  std::string cookies;  // the cookie fields joined, as one line holds them
  bool has_host = false;
  size_t header_list_bytes = 0;
  // Once the header list is whole: the request line, the header lines and the blank line.
  std::string head;

  // The body, collected when it is routed with its request.
  std::string body;
  size_t body_received = 0;
  size_t declared_length = static_cast<size_t>(-1);  // its content-length; unknown: the most
  bool body_decided = false;  // whether the body goes to a stream has been asked
  // Or the handler's stream it goes to while it arrives.
  std::shared_ptr<CRequestBodyStream> body_stream;
  // Body bytes passed on while the stream was full: the stream's window reopens by them once
  // it has room again.
  size_t held_bytes = 0;
  size_t reserved = 0;  // this stream's share of the request budget
  bool request_complete = false;
  bool awaiting_route = false;  // no handler took the whole request yet

  bool refused = false;   // answered by the session itself; nothing more of it is read
  bool answered = false;  // the final answer is submitted
  Response answer;
  size_t body_framed = 0;      // bytes of the answer's body given to DATA frames so far
  size_t body_sent = 0;        // of those, the bytes written to the output
  size_t answer_reserved = 0;  // the answer's share of the answer budget
};
