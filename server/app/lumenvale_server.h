// One running Lumenvale server: its configuration, catalogue, HTTP server and handler list.
// The loop that drives it (console or service) calls Start once, Step over and over, then
// Stop, all on the same thread.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "common/config/server_settings.h"
#include "server/app/keep_awake.h"
#include "server/app/loop_timing.h"
#include "server/catalogue/image_catalogue.h"
#include "server/catalogue/omni_file_access.h"
#include "server/catalogue/read_budget.h"
#include "server/net/image_server.h"
#include "server/pictures/thumbnail_prefetch.h"
#include "server/pictures/thumbnail_store.h"
#include "server/threads/thread_mgr.h"
#include "server/tls/certificate_store.h"
#include "server/tls/tls_transport.h"
#include "server/upnp/port_mapping_keeper.h"

// What became of the uploads and data requests since the start, for the status page.
struct UploadCounters {
  std::atomic<uint32_t> answered{0};  // uploads answered and /next_url replies
  std::atomic<uint32_t> rejected{0};
  std::atomic<uint32_t> received{0};
};

class LumenvaleServer {
 public:
  // `settings` must be loaded and must outlive the server. `sleep_lock` keeps the computer
  // awake while requests arrive, when the settings ask for it. `upnp_network` is where the
  // gateway is looked for, with UPnP on (tests name one of their own).
  explicit LumenvaleServer(const ServerSettings& settings,
                           std::unique_ptr<SleepLock> sleep_lock = MakeLogindSleepLock(),
                           UpnpNetwork upnp_network = {});
  // Ends the jobs as Stop does, if Stop has not.
  ~LumenvaleServer();
  LumenvaleServer(const LumenvaleServer&) = delete;
  LumenvaleServer& operator=(const LumenvaleServer&) = delete;

  // With HTTPS on: makes the self-signed certificate when none is configured and none was
  // made before, and reads the certificate; false with `*error` when it cannot be used, and
  // then nothing may be served. Does nothing with HTTPS off. Call before Start.
  bool PrepareTls(std::string* error);
  // Builds the handler list and opens the listening socket; then, no longer as root (see
  // serving_identity.h), loads the hash list file, starts keeping the port mapping when UPnP
  // is on (on a thread of its own), hands the folders to the catalogue and starts the first
  // scan. True when it listens.
  bool Start();
  // The longest an idle turn waits while work of the server's own is under way (a scan, the
  // likes' job, thumbnails made ahead) or connections are open: its end is taken up soon.
  static constexpr int kBusyWaitMs = 10;
  // The longest an idle turn waits with nothing under way. Then only a socket, a posted
  // response or the rescan schedule can bring work, and the first two end the wait at once:
  // the bound keeps an idle server's wake-ups few and the rescans on time.
  static constexpr int kQuietWaitMs = 100;

  // One turn of the main loop: the rescan when due, the list update, one pass of the socket
  // server and, when that found nothing to do, a wait for the next socket event or posted
  // response, of at most kBusyWaitMs or `quiet_wait_ms`. Never waits for a scan. A loop that
  // has other events to look at between turns (the tray's) passes kBusyWaitMs.
  void Step(int quiet_wait_ms = kQuietWaitMs);
  // Removes the port mapping, when one was made (waiting at most for one exchange); ends the
  // jobs of the worker pool (those
  // that would answer a client are dropped, the running ones waited for, the background
  // work cut short); closes the listening socket and saves the hash list file when likes
  // changed since the last save.
  void Stop();

  int ListeningPort() const { return http_.ListeningPort(); }
  // "http://" (or "https://") + this computer's address on the local network + ":" + the
  // listening port: where the tray menu's pages are opened.
  std::string BaseAddress() const;
  // The scheme, the external address the gateway reported and the external port, when UPnP
  // made the mapping and the address is known; "" otherwise. Never waits for the gateway.
  std::string PublicBaseAddress() const;
  // `mapped` runs on the mapping's thread once the gateway has made the mapping (and told its
  // address, if it does). Call before Start.
  void OnPortMapped(std::function<void()> mapped) { port_mapped_ = std::move(mapped); }
  // The certificate HTTPS connections are made with; null with HTTPS off.
  const CertificateStore* certificates() const { return certificates_.get(); }
  const ImageCatalogue& catalogue() const { return catalogue_; }
  const LoopTiming& timing() const { return timing_; }

 private:
  std::string Scheme() const;  // "https://" with HTTPS on, else "http://"
  // Tells the background work to end, then stops the pool: no job runs after it returns.
  void EndJobs();
  // How long an idle turn may wait.
  int IdleWaitMs(int quiet_wait_ms) const;

  // The order of the members is the order of the server's life. The shared services come
  // first, as everything after them uses them: the read budget, the file access that reads
  // within it, the thumbnail and rendition stores that read through the file access. Then the
  // catalogue, the HTTP server with its handlers, and what the handlers and jobs count and ask. The
  // worker pool comes last: members before it only keep its address, no job can start
  // before everything it uses exists, and the pool is destroyed first, its workers joined,
  // so no job runs once anything it uses is gone.
  const ServerSettings& settings_;
  ReadBudget read_budget_;
  COmniFileAccess files_;
  ThumbnailStore thumbnails_;
  // The screen-sized renditions and the full-size JPEGs of HEIF pictures, within bounds of
  // their own.
  ThumbnailStore renditions_;
  ImageCatalogue catalogue_;
  // With HTTPS on, the connections' transport, which the HTTP server below reads and writes
  // through; null otherwise.
  std::unique_ptr<CertificateStore> certificates_;
  std::unique_ptr<TlsTransport> tls_;
  CImageServer http_;
  LoopTiming timing_;
  UploadCounters counters_;
  KeepAwake keep_awake_;
  PortMappingKeeper upnp_;
  std::function<void()> port_mapped_;
  ThumbnailPrefetch thumbnail_prefetch_;  // makes the thumbnails of each new list ahead
  MySystem::CThreadMgr pool_;
};
