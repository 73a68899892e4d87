// One running Lumenvale server: its configuration, catalogue, HTTP server and handler list.
// The loop that drives it (console or service) calls Start once, Step over and over, then
// Stop, all on the same thread.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>

#include "common/config/server_settings.h"
#include "server/app/keep_awake.h"
#include "server/app/loop_timing.h"
#include "server/catalogue/image_catalogue.h"
#include "server/net/image_server.h"
#include "server/pictures/thumbnail_prefetch.h"
#include "server/upnp/upnp_port_mapper.h"

// What became of the uploads and data requests since the start, for the status page.
struct UploadCounters {
  std::atomic<uint32_t> answered{0};  // uploads answered and /next_url replies
  std::atomic<uint32_t> rejected{0};
  std::atomic<uint32_t> received{0};
};

class LumenvaleServer {
 public:
  // `settings` must be loaded and must outlive the server. `sleep_lock` keeps the computer
  // awake while requests arrive, when the settings ask for it.
  explicit LumenvaleServer(const ServerSettings& settings,
                           std::unique_ptr<SleepLock> sleep_lock = MakeLogindSleepLock());

  // Loads the hash list file, asks the gateway for the port mapping when UPnP is on, hands
  // the folders to the catalogue and starts the first scan, builds the handler list and
  // opens the listening socket; true when it listens.
  bool Start();
  // One turn of the main loop: the rescan when due, the list update, one pass of the socket
  // server and, when that found nothing to do, a wait of at most 10 ms for the next socket
  // event or posted response. Never waits for a scan.
  void Step();
  // Removes the port mapping, when one was made, closes the listening socket and saves the
  // hash list file when likes changed since the last save.
  void Stop();

  int ListeningPort() const { return http_.ListeningPort(); }
  // "http://" + this computer's address on the local network + ":" + the listening port:
  // where the tray menu's pages are opened.
  std::string BaseAddress() const;
  const ImageCatalogue& catalogue() const { return catalogue_; }
  const LoopTiming& timing() const { return timing_; }

 private:
  const ServerSettings& settings_;
  ImageCatalogue catalogue_;
  CImageServer http_;
  LoopTiming timing_;
  UploadCounters counters_;
  KeepAwake keep_awake_;
  UpnpPortMapper upnp_;
  ThumbnailPrefetch thumbnail_prefetch_;  // makes the thumbnails of each new list ahead
};
