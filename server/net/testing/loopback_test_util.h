// Test helpers: a server stepped on its own thread, and a plain blocking client on 127.0.0.1.
#pragma once

#include <atomic>
#include <string>
#include <thread>

#include "server/net/none_blocking_server.h"

// Steps `server` on a background thread (sleeping 1 ms when idle, as the main loop does)
// until destroyed. REQUIRES: the server was started.
class SteppingThread {
 public:
  explicit SteppingThread(CNoneBlockingServer* server);
  ~SteppingThread();

 private:
  std::atomic<bool> running_{true};
  std::thread thread_;
};

// A blocking client socket connected to 127.0.0.1:port; -1 on failure. With
// `receive_buffer`, the socket's receive buffer is set to that many bytes before connecting.
int ConnectLoopback(int port, int receive_buffer = 0);
// As ConnectLoopback, from the loopback address `source` ("127.0.0.2"): a client of another
// address than the others, as the server counts them.
int ConnectLoopbackFrom(const char* source, int port, int receive_buffer = 0);
// As Exchange, from `source`.
std::string ExchangeFrom(const char* source, int port, const std::string& request);
bool SendAll(int socket, const std::string& bytes);
// Reads until the peer closes or `timeout_ms` passes; *closed tells which.
std::string ReadUntilClosed(int socket, int timeout_ms = 5000, bool* closed = nullptr);
// Reads until `count` bytes have arrived (perhaps a few more), the peer closes or `timeout_ms`
// passes.
std::string ReadBytes(int socket, size_t count, int timeout_ms = 5000, bool* closed = nullptr);
// Sends `request` on a new connection and returns everything read until the server closes.
std::string Exchange(int port, const std::string& request);
void CloseClient(int socket);
