// One running Lumenvale server: its configuration, its HTTP server and handler list. The
// loop that drives it (console or service) calls Start once, Step over and over, then Stop.
#pragma once

#include "common/config/server_settings.h"
#include "server/net/image_server.h"

class LumenvaleServer {
 public:
  // `settings` must be loaded and must outlive the server.
  explicit LumenvaleServer(const ServerSettings& settings);

  // Builds the handler list and opens the listening socket; true when it listens.
  bool Start();
  // One turn of the main loop: one pass of the socket server; when it found nothing to do,
  // a wait of at most 1 ms for the next socket event or posted response.
  void Step();
  void Stop();

  int ListeningPort() const { return http_.ListeningPort(); }

 private:
  const ServerSettings& settings_;
  CImageServer http_;
};
