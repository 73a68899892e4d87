// A single-threaded, never-blocking TCP server. The owner calls Step() over and over; each
// connection moves through waiting -> receiving -> processing -> awaiting response ->
// sending -> closing, and serves exactly one request. A derived class receives each whole
// request through OnRequest and answers with PostResponse / PostFinalResponse, which any
// thread may call.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "platform/tcp_socket.h"
#include "platform/wake_event.h"
#include "server/net/message_queue.h"

// One open connection.
struct s_socket_stage {
  platform::SocketHandle socket = platform::kInvalidSocket;
  int32_t connection_id = 0;
  int32_t stage = 0;  // see CNoneBlockingServer::Stage
  int64_t last_activity_ms = 0;
  double timeout_ms = 0;
  std::string receive_buffer;
  bool header_seen = false;  // the request's header block has arrived whole
  bool readable = false;     // set from the readiness wait of the current pass
  bool writable = false;
};

class CNoneBlockingServer {
 public:
  enum Stage : int32_t {
    kWaiting = 0,
    kReceiving = 1,
    kProcessing = 2,
    kAwaitingResponse = 3,
    kSending = 4,
    kClosing = -1,
  };

  static constexpr size_t kDefaultMaxConnections = 1024;

  explicit CNoneBlockingServer(size_t max_connections = kDefaultMaxConnections);
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
  virtual void PostResponse(int16_t final_flag, s_message message);
  void PostFinalResponse(s_message message) { PostResponse(1, std::move(message)); }

  size_t ConnectionCount() const { return connections_.size(); }

 protected:
  // Offered each complete request; true = consumed, false = offer it again next pass. An
  // implementation that consumes the request may keep its bytes by moving them out of
  // `message`; one that declines must leave the message as it was.
  virtual bool OnRequest(s_message& message);
  // Called at the end of a pass in which anything happened.
  virtual int OnActivity();
  // Diagnostic line; codes: 101 connection closed, 102 connection added, 103 time-out sweep.
  virtual void Log(int code, const std::string& text);
  // Inactivity and queue time-out in milliseconds.
  virtual double GetTimeoutMs();

  using StageHandler =
      std::function<int(std::vector<s_socket_stage>& table, const std::vector<size_t>& indices)>;
  // Fills the stage table; the handlers run in the order registered.
  virtual void RegisterStages();
  void AddStage(int32_t stage, StageHandler handler);

 private:
  void AcceptPending();
  bool AcceptOne();  // false when nothing was accepted
  // Fills the readiness flags of the listener and the connections, waiting at most
  // `timeout_us` (and, with `wake`, ending early when a response is posted).
  void WaitForReadiness(int timeout_us, bool wake);
  int RunWaiting(std::vector<s_socket_stage>& table, const std::vector<size_t>& indices);
  int RunReceiving(std::vector<s_socket_stage>& table, const std::vector<size_t>& indices);
  int RunProcessing(std::vector<s_socket_stage>& table, const std::vector<size_t>& indices);
  int RunAwaiting(std::vector<s_socket_stage>& table, const std::vector<size_t>& indices);
  int RunSending(std::vector<s_socket_stage>& table, const std::vector<size_t>& indices);
  int RunClosing(std::vector<s_socket_stage>& table, const std::vector<size_t>& indices);
  void ReceiveOnce(s_socket_stage& connection);
  // Once the header block is whole and a body of known size is still to come: makes room
  // for the whole request, and tells a client that asked with "Expect: 100-continue" to send
  // the body, so that it does not wait before sending.
  void OnHeaderBlock(s_socket_stage& connection, size_t request_size);
  void RefuseRequest(s_socket_stage& connection, std::string response);
  void SweepTimeouts();

  const size_t max_connections_;
  std::vector<s_socket_stage> connections_;  // accept order; touched by the Step thread only
  platform::SocketHandle listener_ = platform::kInvalidSocket;
  bool listener_ready_ = false;
  bool readiness_fresh_ = false;  // the flags come from a WaitForWork just before
  CMessageQueue receive_queue_;
  CMessageQueue send_queue_;
  platform::WakeEvent response_posted_;
  std::vector<std::pair<int32_t, StageHandler>> stages_;
  int32_t connection_counter_ = 0;
  int64_t last_orphan_sweep_ms_ = 0;
};
