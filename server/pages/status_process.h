// "/info": the administrator's status page. It shows whether the configuration was read, the
// version, the folders, the timings of the main loop and the catalogue, the number of pictures
// of each type, the UPnP state, the options, the upload counters and the socket server's
// connections by stage. It changes nothing.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "common/config/server_settings.h"
#include "server/catalogue/image_catalogue.h"
#include "server/net/none_blocking_server.h"
#include "server/net/request_process.h"
#include "server/threads/thread_mgr.h"
#include "server/tls/tls_transport.h"
#include "server/upnp/upnp_port_mapper.h"

// The figures the server loop keeps for the page, read fresh for every request.
struct LoopFigures {
  int64_t last_step_ms = 0;         // duration of the last loop step
  int64_t last_busy_length_ms = 0;  // length of the last busy period
  uint32_t posts_answered = 0;      // the upload counters
  uint32_t posts_rejected = 0;
  uint32_t posts_received = 0;
};

// The thumbnails made ahead of the requests: turns done of all there are.
struct WorkAhead {
  uint32_t done = 0;
  uint32_t total = 0;
};

// Where the page takes its values from. Everything must outlive the handler.
struct StatusSources {
  const ServerSettings& settings;
  const ImageCatalogue& catalogue;
  const UpnpPortMapper& upnp;
  const MySystem::CThreadMgr& pool;  // whose running jobs the page counts
  std::function<LoopFigures()> loop;
  const CNoneBlockingServer& server;  // whose connections the page lists
  // With HTTPS on, the connections' transport: the certificate and each connection's TLS
  // version and protocol are shown. Null with HTTPS off.
  const TlsTransport* tls = nullptr;
  std::function<WorkAhead()> work_ahead = [] { return WorkAhead{}; };
};

class CStatusProcess : public CRequestProcess {
 public:
  explicit CStatusProcess(StatusSources sources) : sources_(std::move(sources)) {}

  std::string GetPath() override { return "/info"; }
  int Process(IncomingRequest& request) override;

 private:
  StatusSources sources_;
};

// The complete response for the connection table `connections`. Asks the gateway for its
// external address when the mapping was made and the address is not known yet.
Response StatusPageResponse(const StatusSources& sources,
                            const std::vector<s_socket_stage>& connections,
                            const std::string& nonce);
