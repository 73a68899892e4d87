// A single-threaded, never-blocking TCP server. The owner calls Step() over and over; each
// connection moves through waiting -> receiving -> processing -> awaiting response ->
// sending -> closing, and serves exactly one request. One address holds at most a share of
// the table, and when the table is full a new connection takes the place of an idle one (the
// oldest of the address that holds the most), else of one whose body or answer has stalled,
// so idle, trickling or never-reading clients cannot lock others out. A body or an answer
// that makes no progress for a while closes its connection. A derived class receives each whole
// request through OnRequest with the connection's responder (http1_responder.h), through
// which any thread answers it.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "platform/socket_layer.h"
#include "platform/tcp_socket.h"
#include "platform/wake_event.h"
#include "server/net/http1_responder.h"
#include "server/net/http2/http2_session.h"
#include "server/net/message_queue.h"
#include "server/net/request_body_stream.h"
#include "server/net/stream_router.h"

// One open connection.
struct s_socket_stage {
  platform::SocketHandle socket = platform::kInvalidSocket;
  int32_t connection_id = 0;
  int32_t stage = 0;  // see CNoneBlockingServer::Stage
  int64_t last_activity_ms = 0;
  double timeout_ms = 0;
  int64_t first_byte_ms = -1;    // when the request's first byte arrived; -1 before
  bool header_complete = false;  // the request's header block has fully arrived
  size_t reserved_bytes = 0;     // this request's share of kMaxBufferedRequestBytes
  // The request as it arrives; once it is whole (kProcessing), the request itself, until the
  // owner takes it.
  std::string receive_buffer;
  // Answers the connection's request; made when the request is handed on, and told when the
  // connection closes.
  std::shared_ptr<CHttp1Responder> responder;
  // Set while the request's body goes to a handler's stream as it arrives, in place of the
  // receive buffer; body_remaining is how much of it is still to come.
  std::shared_ptr<CRequestBodyStream> body_stream;
  size_t body_remaining = 0;
  bool readable = false;  // set from the readiness wait of the current pass
  bool writable = false;
  bool hung_up = false;      // awaiting its answer, the peer ended its side (this pass)
  bool owner_heard = false;  // the owner heard of the hang-up and answers all the same
  // The whole request came in reads that took all the socket held, and nothing after it: no
  // unread byte is left when the connection closes after its answer (see SendLast).
  bool drained = false;
  std::string peer;  // the client's address, as CNoneBlockingServer::PeerAddress
  // Set once the connection speaks HTTP/2 (stage kHttp2): its many requests are the
  // session's, and none of the fields above but the socket's, the peer's and the times apply.
  std::unique_ptr<Http2Session> http2;
};

class CNoneBlockingServer {
 public:
  enum Stage : int32_t {
    kWaiting = 0,
    kReceiving = 1,
    kProcessing = 2,
    kAwaitingResponse = 3,
    kSending = 4,
    kHttp2 = 5,  // the connection carries HTTP/2 streams until either side ends it
    kClosing = -1,
  };

  static constexpr size_t kDefaultMaxConnections = 1024;
  // A request's header block must be whole this long after its first byte, however slowly
  // the bytes trickle in.
  static constexpr double kHeaderDeadlineMs = 30000;
  // A request body that receives no byte, or an answer of which the client takes no byte, for
  // this long closes its connection.
  static constexpr double kStallMs = 60000;
  // When the table is full, a body or an answer that has moved no byte for this long may make
  // room for a new connection; one that moves bytes more often is never closed for another.
  static constexpr double kProgressWindowMs = 5000;
  // The connections one client address may hold at once; more are closed as they are accepted.
  static constexpr size_t kMaxConnectionsPerAddress = 64;
  // The most bytes queued responses may hold together (a shared body counts once). A
  // response that would pass it is answered 503 instead: its bytes exist already, so
  // holding it back would not bound anything, and a client that does not read must not
  // make the process grow.
  static constexpr size_t kMaxQueuedResponseBytes = 256u * 1024 * 1024;
  // An HTTP/2 connection without an open stream is closed after this long.
  static constexpr double kHttp2IdleMs = 60000;

  // `sockets` must outlive the server.
  explicit CNoneBlockingServer(size_t max_connections = kDefaultMaxConnections,
                               platform::SocketLayer* sockets = &platform::SystemSockets());
  virtual ~CNoneBlockingServer();
  CNoneBlockingServer(const CNoneBlockingServer&) = delete;
  CNoneBlockingServer& operator=(const CNoneBlockingServer&) = delete;

  // Opens the listening socket; `port` is decimal text ("0" picks a free port).
  bool Start(const std::string& port);
  // Closes the listening socket; open connections are left to the process's end.
  void Stop();
  // The port actually listened on, 0 when not listening.
  int ListeningPort() const;

  // One pass over all connections; true when anything happened. Does not wait.
  bool Step();

  // Waits at most `timeout_ms` until a connection or the listening socket is ready or a
  // response is posted: the idle sleep between passes that found nothing to do.
  void WaitForWork(int timeout_ms);

  // Queues a response piece for a connection; pieces are sent in the order posted, and the
  // connection closes after the piece posted with final_flag 1. Callable from any thread.
  // A final piece that would take the queued bytes past GetResponseByteLimit is replaced by
  // an empty 503 answer. REQUIRES: pieces before the final one are interim answers (such as
  // 103 Early Hints), which are small and always queued.
  virtual void PostResponse(int16_t final_flag, s_message message);
  void PostFinalResponse(s_message message) { PostResponse(1, std::move(message)); }
  // Ends a wait of the loop (WaitForWork) at once, as a posted response does. Any thread.
  void WakeLoop() { response_posted_.Signal(); }
  // The bytes held by queued responses now.
  // Tests and fuzzers only.
  size_t QueuedResponseBytes() const { return send_queue_.held_bytes(); }
  // The address of a connection's peer, "" when unknown.
  std::string PeerAddress(platform::SocketHandle socket) { return sockets_.PeerAddress(socket); }

  // Tests, fuzzers and benchmarks only.
  size_t ConnectionCount() const { return connections_.size(); }
  // The open connections in accept order. Step thread only (handlers run there).
  const std::vector<s_socket_stage>& connections() const { return connections_; }

 protected:
  // Offered each complete request, with the responder that answers it; true = consumed,
  // false = offer it again next pass. An implementation that consumes the request may keep
  // its bytes by moving them out of `message`; one that declines must leave the message as
  // it was.
  virtual bool OnRequest(s_message& message, const std::shared_ptr<CHttp1Responder>& responder);
  // Takes a request from its header block and returns the stream its body goes to while it
  // arrives (never null).
  using BodyStreamOpener = std::function<std::shared_ptr<CRequestBodyStream>()>;
  // Asked once a request's header block `head` has arrived with a body still to come. Empty:
  // the whole request is held and offered to OnRequest. Otherwise the opener runs at once,
  // before any room is made for the body: it may answer the request from its header block
  // alone (a refusal) and return null, and the body is then never read (the connection
  // closes after the answer). A stream it returns takes the body once room is made for it;
  // without room it is abandoned and the request answered 503. Must have no other effect.
  virtual BodyStreamOpener BodyStreamFor(std::string_view head,
                                         const std::shared_ptr<CHttp1Responder>& responder);
  // The peer of a connection whose answer has not been posted yet has ended its side: it
  // closed, or shut down only its sending. True when nothing will answer the connection any
  // more (its job was dropped), so it closes now; false keeps it open for the answer, which
  // a peer that only shut down its sending may still read.
  virtual bool OnPeerHungUp(const CHttp1Responder& responder);
  // An HTTP/2 stream closed before its answer was posted (the client reset it or left): as
  // OnPeerHungUp, nothing will read its answer.
  virtual void OnStreamUnanswered(const CResponder& responder);
  // A line about connections dropped by the time-out sweep.
  virtual void Log(const std::string& text);
  // Inactivity and queue time-out in milliseconds.
  virtual double GetTimeoutMs();
  // Time from a request's first byte to the end of its header block, in milliseconds.
  virtual double GetHeaderDeadlineMs();
  // The bound on QueuedResponseBytes.
  virtual size_t GetResponseByteLimit();
  // kStallMs, kProgressWindowMs and kMaxConnectionsPerAddress, for tests.
  virtual double GetStallMs();
  virtual double GetProgressWindowMs();
  virtual size_t GetMaxConnectionsPerAddress();
  // How long an HTTP/2 connection without an open stream stays open, in milliseconds.
  virtual double GetHttp2IdleMs();
  // Where requests on HTTP/2 streams go; null when the server routes none (it then speaks
  // only HTTP/1.1).
  virtual CStreamRouter* StreamRouter();
  // Tests and fuzzers only: every connection speaks HTTP/2 from its first byte, without TLS.
  // Otherwise a connection comes to HTTP/2 only by TLS's protocol choice.
  virtual bool SpeaksPriorKnowledgeHttp2();

 private:
  void AcceptPending();
  bool AcceptOne();  // false when nothing was accepted
  // The index of the connection that makes room for a new one when the table is full: of
  // those that have not sent a whole header block, the oldest of the address that holds the
  // most connections; failing that, likewise of those whose body or answer has moved no byte
  // within GetProgressWindowMs. connections_.size() when there is none.
  size_t EvictionCandidate(int64_t now) const;
  // Whether `c` may be closed to make room for a new connection.
  bool IdleForEviction(const s_socket_stage& c) const;
  bool StalledForEviction(const s_socket_stage& c, int64_t now) const;
  // Fills the readiness flags of the listener and the connections, waiting at most
  // `timeout_us` (and, with `wake`, ending early when a response is posted).
  void WaitForReadiness(int timeout_us, bool wake);
  // The stages, each over the connections in it (`indices` ascend); each returns how many
  // connections it moved on or worked on.
  int RunWaiting(const std::vector<size_t>& indices);
  int RunReceiving(const std::vector<size_t>& indices);
  int RunProcessing(const std::vector<size_t>& indices);
  int RunAwaiting(const std::vector<size_t>& indices);
  int RunSending(const std::vector<size_t>& indices);
  int RunClosing(const std::vector<size_t>& indices);
  // The connection's responder, made on first use.
  const std::shared_ptr<CHttp1Responder>& ResponderOf(s_socket_stage& connection);
  void ReceiveOnce(s_socket_stage& connection);
  // Once the header block (its first `head_size` bytes) is whole and a body follows: hands the
  // body to a stream when the request wants one. True when the request went that way (or was
  // refused for want of room).
  bool StartBodyStream(s_socket_stage& connection, size_t head_size, size_t request_size);
  void ReceiveBody(s_socket_stage& connection);
  // Passes the next body bytes to the connection's stream, and finishes it with the last.
  void DeliverBody(s_socket_stage& connection, std::string bytes);
  // One send call for the unsent rest of `message` (its header bytes and shared body, or
  // its file once the header bytes are out); advances message.sent by *sent. `last`: the
  // message ends what the connection sends, and the connection has no unread bytes.
  platform::IoStatus SendSomeOf(platform::SocketHandle socket, s_message& message, bool last,
                                size_t* sent);
  void RefuseRequest(s_socket_stage& connection, std::string response);
  // Takes a share of the budget for requests whose bodies are arriving (`bytes`: the whole
  // request, or what its stream holds at most); false when it does not fit beside the others.
  bool ReserveRequest(s_socket_stage& connection, size_t bytes);
  // Once room is made for a body still to come: tells a client that asked with
  // "Expect: 100-continue" to send it, so that it does not wait before sending.
  void AnswerExpectContinue(s_socket_stage& connection);
  void CloseConnection(s_socket_stage& connection);
  // Hands the connection to an HTTP/2 session of its own (none_blocking_server_http2.cpp).
  void StartHttp2(s_socket_stage& connection);
  int RunHttp2(const std::vector<size_t>& indices);
  // One read into the session; false when the connection must end.
  bool ReceiveHttp2(s_socket_stage& connection);
  // Sends what the session has until the socket takes no more; false when it broke.
  // `*wrote` (when given) is set when the socket took any bytes.
  bool SendHttp2(s_socket_stage& connection, bool* wrote = nullptr);
  void SweepTimeouts();

  const size_t max_connections_;
  platform::SocketLayer& sockets_;
  std::vector<s_socket_stage> connections_;  // accept order; touched by the Step thread only
  platform::SocketHandle listener_ = platform::kInvalidSocket;
  bool listener_ready_ = false;
  bool readiness_fresh_ = false;  // the flags come from a WaitForWork just before
  CMessageQueue send_queue_;
  platform::WakeEvent response_posted_;
  int32_t connection_counter_ = 0;
  size_t reserved_bytes_ = 0;  // sum of the connections' reserved_bytes
  // The bodies of answers HTTP/2 streams hold in memory, within GetResponseByteLimit beside
  // the queued ones. Changed on the Step thread, read by any poster.
  std::atomic<size_t> http2_answer_bytes_{0};
  // The open connections of each client address. Step thread.
  std::unordered_map<std::string, size_t> connections_per_address_;
  int64_t last_orphan_sweep_ms_ = 0;
  // The readiness wait's list and, for each watch after the listener's, its connection.
  std::vector<platform::ReadinessWatch> watches_;
  std::vector<size_t> watch_owners_;
  std::vector<size_t> stage_indices_;  // the connections in the stage a pass works on
  int64_t pass_ms_ = 0;                // the tick count when the current (or last) pass began
  bool posted_in_step_ = false;        // a response was posted on the Step thread during its pass
  double progress_window_ms_ = kProgressWindowMs;  // GetProgressWindowMs, asked by Start
  size_t max_per_address_ = kMaxConnectionsPerAddress;
};
