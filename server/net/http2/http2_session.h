// The HTTP/2 side of one connection: the bytes the client sent go in, the bytes for the client
// come out, and every request in between is routed as an HTTP/1.1 request would be, with a
// responder of its own stream. Framing, HPACK and flow control are nghttp2's; the session adds
// the bounds every connection of the server keeps (streams, header lists, request bodies,
// floods of control frames). All calls on one thread (the socket loop), except the
// responders' and the body streams', which may come from any thread and wake the loop.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "server/net/http2/http2_responder.h"
#include "server/net/response.h"
#include "server/net/stream_router.h"

struct nghttp2_session;
struct Http2Stream;

class Http2Session {
 public:
  // Streams open at once per connection (SETTINGS_MAX_CONCURRENT_STREAMS).
  static constexpr uint32_t kMaxConcurrentStreams = 100;
  // What each stream may send ahead of the server reading it (SETTINGS_INITIAL_WINDOW_SIZE):
  // an upload arrives at the pace of its writer with at most this much in flight.
  static constexpr int32_t kStreamWindowBytes = 1024 * 1024;
  // SETTINGS and PING frames per second a client may send; more closes the connection.
  static constexpr int kMaxControlFramesPerSecond = 100;
  // Bytes of output the session prepares ahead of the socket.
  static constexpr size_t kOutputChunkBytes = 64 * 1024;

  struct Environment {
    CStreamRouter* router = nullptr;
    // Takes `bytes` from the budget of request bodies being collected; false when they do not
    // fit beside the others'. Loop thread.
    std::function<bool(size_t bytes)> reserve;
    std::function<void(size_t bytes)> release;
    // The same for the bodies of answers held until their clients read them; an answer that
    // does not fit is replaced by a 503. Loop thread.
    std::function<bool(size_t bytes)> reserve_answer;
    std::function<void(size_t bytes)> release_answer;
    // Ends the loop's wait: an answer was posted or a body stream has room again. Any thread.
    std::function<void()> wake;
    // A stream closed (the client reset it, or the connection ended) before it was answered:
    // work queued only to answer it may be dropped. Loop thread.
    std::function<void(const CResponder& responder)> unanswered;
    // The tick count in milliseconds (for the flood counts).
    std::function<int64_t()> now_ms;
    std::string peer_address;
  };

  explicit Http2Session(Environment environment);
  ~Http2Session();
  Http2Session(const Http2Session&) = delete;
  Http2Session& operator=(const Http2Session&) = delete;

  // Takes bytes from the client. False when the connection must end (a protocol error or a
  // flood); the output may still hold a GOAWAY to send first.
  bool Receive(std::string_view bytes);
  // Takes the answers posted since the last call and reads on bodies whose streams have room.
  // True when it did something, or when a stream waits for something no wake announces (a
  // request no handler took yet): the loop then comes back without waiting.
  bool Poll();
  // The bytes to send now, at most about kOutputChunkBytes; empty when there are none.
  std::string_view Output();
  // The first `count` bytes of Output() have been sent.
  void Sent(size_t count);
  // Bytes of Output() are still to be sent: the socket did not take them.
  bool OutputPending() const { return output_sent_ < output_.size(); }
  // Nothing more will be read or written: the connection closes.
  bool Finished() const;
  // No stream is open: the connection waits for the client's next request.
  bool Idle() const { return streams_.empty(); }
  // The client has ended its side, or the connection broke: every stream's answer goes
  // nowhere now, and Output stays empty.
  void Abandon();

 private:
  friend struct Http2Callbacks;

  Http2Stream* StreamOf(int32_t stream_id);
  void BeginRequest(int32_t stream_id);
  // Bounds the header list of the stream being received; false when it grows past them.
  bool AddHeader(Http2Stream& stream, std::string_view name, std::string_view value);
  void EndHeaders(int32_t stream_id);
  void ReceiveData(int32_t stream_id, std::string_view bytes);
  void EndRequest(int32_t stream_id);
  void CloseStream(int32_t stream_id);
  // Answers the stream itself, for a request that never reaches a handler.
  void Refuse(Http2Stream& stream, std::string_view status);
  // Submits the answers posted so far; true when there were any.
  bool TakeAnswers();
  // Writes the DATA frame whose 9 bytes are `frame_head`, with `padding` and the next
  // `length` bytes of the stream's answer, to the output. False when the answer's file was
  // cut short (nothing is written then).
  bool AppendData(Http2Stream& stream, size_t padding, std::string_view frame_head,
                  size_t length);
  // The output holds kOutputChunkBytes or more.
  bool OutputFull() const { return output_.size() - output_sent_ >= kOutputChunkBytes; }
  void Submit(int32_t stream_id, bool final, Response response);
  // The header block of `response`: an interim one, or the final one with its body to come
  // from the stream's answer when `with_body`.
  void SubmitHeaders(int32_t stream_id, const Response& response, bool with_body);
  // Reads on a body that was held back, once its stream has room.
  void ResumeBody(Http2Stream& stream);
  bool CountControlFrame();
  void Route(Http2Stream& stream);

  Environment env_;
  nghttp2_session* session_ = nullptr;
  std::shared_ptr<CHttp2Mailbox> mailbox_;
  std::vector<CHttp2Mailbox::Posted> taken_;  // TakeAnswers' room, kept from call to call
  std::map<int32_t, std::unique_ptr<Http2Stream>> streams_;
  std::string output_;
  size_t output_sent_ = 0;
  bool failed_ = false;
  bool abandoned_ = false;  // Abandon ran: nothing more goes out
  int64_t control_window_start_ms_ = 0;
  int control_frames_ = 0;
};
