#include "server/app/lumenvale_server.h"

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "platform/clock.h"
#include "platform/known_folders.h"
#include "platform/local_address.h"
#include "server/app/serving_identity.h"
#include "server/net/digest_process.h"
#include "server/net/not_found_process.h"
#include "server/pages/home_page_process.h"
#include "server/pages/image_direct_process.h"
#include "server/pages/image_page_process.h"
#include "server/pages/image_thumbnail_process.h"
#include "server/pages/image_upload_process.h"
#include "server/pages/jquery_process.h"
#include "server/pages/next_page_data_process.h"
#include "server/pages/slide_show_process.h"
#include "server/pages/status_process.h"
#include "server/pages/upload_recv_process.h"
#include "server/pages/vote_process.h"
#include "server/tls/self_signed_certificate.h"

namespace {

// Where the self-signed certificate is kept.
std::string CertificateFolder() {
  return platform::DataFolder() + "/lumenvale";
}

// Whether a request is being received or answered on any connection. A connection that has
// sent nothing yet and an HTTP/2 connection without an open stream wait for a request.
bool AnswersRequests(const CImageServer& http) {
  for (const s_socket_stage& c : http.connections()) {
    if (c.stage == CNoneBlockingServer::kWaiting) continue;
    if (c.stage == CNoneBlockingServer::kHttp2 && c.http2 != nullptr && c.http2->Idle()) continue;
    return true;
  }
  return false;
}

std::unique_ptr<CertificateStore> CertificatesFor(const ServerSettings& settings) {
  if (settings.https == 0) return nullptr;
  if (settings.tls_cert.empty() && settings.tls_key.empty()) {
    const CertificatePaths made = SelfSignedPaths(CertificateFolder());
    return std::make_unique<CertificateStore>(made.cert, made.key);
  }
  return std::make_unique<CertificateStore>(settings.tls_cert, settings.tls_key);
}

}  // namespace

LumenvaleServer::LumenvaleServer(const ServerSettings& settings,
                                 std::unique_ptr<SleepLock> sleep_lock, UpnpNetwork upnp_network)
    : settings_(settings),
      read_budget_(ReadBudget::kReadBytesInFlight),
      files_(read_budget_),
      thumbnails_(files_, ThumbnailStore::DefaultFolder(), ThumbnailStore::kMemoryBytes,
                  ThumbnailStore::kDiskBytes),
      renditions_(files_, ThumbnailStore::RenditionFolder(), ThumbnailStore::kRenditionMemoryBytes,
                  ThumbnailStore::kRenditionDiskBytes),
      catalogue_(&pool_, files_),
      certificates_(CertificatesFor(settings)),
      tls_(certificates_ != nullptr ? std::make_unique<TlsTransport>(certificates_.get())
                                    : nullptr),
      http_(CImageServer::kDefaultMaxConnections,
            tls_ != nullptr ? static_cast<platform::SocketLayer*>(tls_.get())
                            : &platform::SystemSockets()),
      keep_awake_(settings.reset_standby_access, std::move(sleep_lock)),
      upnp_(settings, std::move(upnp_network)),
      thumbnail_prefetch_(catalogue_.orders(), &pool_, &thumbnails_),
      pool_(MySystem::ServerThreadCount()) {
  http_.SetPool(&pool_);
  // Over TLS, clients that offer HTTP/2 get it.
  if (tls_ != nullptr) tls_->SetHttp2Enabled(true);
}

bool LumenvaleServer::PrepareTls(std::string* error) {
  if (certificates_ == nullptr) return true;
  if (settings_.tls_cert.empty() != settings_.tls_key.empty()) {
    *error = "HTTPS needs both TLS_CERT and TLS_KEY, or neither for a self-signed certificate";
    return false;
  }
  if (settings_.tls_cert.empty()) {
    std::vector<std::string> names = {platform::HostName(), "localhost"};
    if (!EnsureSelfSignedCertificate(CertificateFolder(), names, platform::InterfaceAddresses(),
                                     error)) {
      return false;
    }
  }
  return certificates_->Load(error);
}

bool LumenvaleServer::Start() {
  files_.SetCacheLimit(settings_.buffer_size);
  counters_.answered = 0;
  counters_.rejected = 0;
  counters_.received = 0;

  // What the status page reads from the loop, each time it is asked.
  auto loop_figures = [this] {
    return LoopFigures{timing_.last_step_ms(), timing_.last_busy_length_ms(), counters_.answered,
                       counters_.rejected, counters_.received};
  };
  const StatusSources status_sources{
      settings_, catalogue_, upnp_.mapper(), pool_, loop_figures, http_, tls_.get(), [this] {
        return WorkAhead{thumbnail_prefetch_.Done(), thumbnail_prefetch_.Total()};
      }};
  // The handler list, in the order requests are offered to it.
  std::vector<std::unique_ptr<CRequestProcess>> handlers;
  handlers.push_back(std::make_unique<CDigestProcess>(settings_));  // ""  every request
  handlers.push_back(std::make_unique<CNextPageDataProcess>(        // /next_url
      catalogue_, counters_.answered, &pool_));
  handlers.push_back(std::make_unique<CSlideShowProcess>(settings_));  // /slideshow
  handlers.push_back(std::make_unique<CImageDirectProcess>(            // /image
      catalogue_, files_, thumbnails_, renditions_, &pool_));
  handlers.push_back(std::make_unique<CImagePageProcess>(  // /individual
      settings_, catalogue_, files_, &pool_));
  handlers.push_back(std::make_unique<CImageThumbnailProcess>(  // /view
      settings_, catalogue_, files_, &pool_));
  handlers.push_back(std::make_unique<CStatusProcess>(status_sources));    // /info
  handlers.push_back(std::make_unique<CJQueryProcess>());                  // /script
  handlers.push_back(std::make_unique<CVoteProcess>(catalogue_, &pool_));  // /vote
  handlers.push_back(std::make_unique<CImageUploadProcess>(settings_));    // /Uploader
  handlers.push_back(std::make_unique<CUploadRecvProcess>(                 // /upload.php
      settings_, counters_.received, counters_.rejected, counters_.answered, &pool_));
  handlers.push_back(std::make_unique<CHomePageProcess>(settings_));  // /
  handlers.push_back(std::make_unique<C404rocess>());                 // ""  whatever is left
  http_.SetHandlers(std::move(handlers));
  if (!http_.Start(std::to_string(settings_.port))) return false;
  // The port is bound: from here on nothing needs root, and files are read as the serving
  // user. Requests wait for the first Step.
  TakeServingIdentity();

  catalogue_.likes().Load(settings_.hash_file_name);
  upnp_.Start(port_mapped_);
  catalogue_.SetFolders(settings_.folders);
  catalogue_.SetRecursive(settings_.sub != 0);
  catalogue_.SetZipReject(settings_.zip_reject != 0);
  catalogue_.Rescan();
  return true;
}

void LumenvaleServer::Step(int quiet_wait_ms) {
  int64_t start = platform::TickCountMs();
  catalogue_.RescanWhenDue(start, settings_.zip_reject != 0);
  catalogue_.UpdateList(settings_.sort_windows != 0);
  // Work ahead waits while requests come: the last turn's activity tells of them too.
  thumbnail_prefetch_.Update(timing_.busy() || AnswersRequests(http_));
  bool busy = http_.Step();
  int64_t end = platform::TickCountMs();
  timing_.RecordStep(start, end, busy);
  keep_awake_.OnTurn(end, busy);
  if (!busy) http_.WaitForWork(IdleWaitMs(quiet_wait_ms));
}

int LumenvaleServer::IdleWaitMs(int quiet_wait_ms) const {
  // Work of the server's own ends without a socket event: a scan or the list made from it,
  // the likes' job, the thumbnails made ahead (whose threads the loop keeps supplied). Open
  // connections have timeouts to be kept.
  const bool under_way = http_.ConnectionCount() != 0 || !catalogue_.IsSettled() ||
                         catalogue_.likes().Working() || thumbnail_prefetch_.Working();
  return under_way ? kBusyWaitMs : quiet_wait_ms;
}

LumenvaleServer::~LumenvaleServer() {
  EndJobs();
}

void LumenvaleServer::EndJobs() {
  thumbnail_prefetch_.Stop();
  catalogue_.likes().CutJobsShort();
  pool_.Stop();
}

void LumenvaleServer::Stop() {
  upnp_.Stop();
  // Before the save: every like a job counted is then in the table.
  EndJobs();
  http_.Stop();
  // The likes counted since the last save would otherwise be lost.
  if (!catalogue_.likes().SaveAtStop()) {
    std::fprintf(stderr, "Could not save the hash list file %s.\n",
                 settings_.hash_file_name.c_str());
  }
}

std::string LumenvaleServer::BaseAddress() const {
  return Scheme() + platform::LocalIpv4Address() + ":" + std::to_string(ListeningPort());
}

std::string LumenvaleServer::PublicBaseAddress() const {
  const UpnpPortMapper& mapper = upnp_.mapper();
  if (mapper.stage() < 2) return "";
  const std::string address = mapper.KnownExternalAddress();
  if (address.empty()) return "";
  return Scheme() + address + ":" + std::to_string(mapper.external_port());
}

std::string LumenvaleServer::Scheme() const {
  return tls_ != nullptr ? "https://" : "http://";
}
