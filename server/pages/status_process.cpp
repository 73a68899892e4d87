#include "server/pages/status_process.h"

#include <map>

#include "common/config/setting_status_lines.h"
#include "server/catalogue/image_types.h"
#include "server/net/image_server.h"
#include "server/net/nonce.h"
#include "server/net/request_gate.h"
#include "server/pages/html_escape.h"
#include "server/pages/page_common.h"
#include "server/pages/upload_right.h"
#include "server/threads/thread_mgr.h"

#ifndef LUMENVALE_FILE_VERSION
#error "LUMENVALE_FILE_VERSION must be the program's version as four numbers"
#endif

namespace {

// The lowest and highest connection stages listed.
constexpr int32_t kFirstListedStage = -1;
constexpr int32_t kLastListedStage = 5;

// The problems the list update and the hash list have noted, "" when there are none. It is
// the program's own text, markup ("<br>") included; nothing from outside is in it.
std::string DiagnosticText(const StatusSources& sources) {
  return sources.catalogue.DiagnosticsText();
}

std::string Line(const std::string& text) {
  return text + "<br>";
}

// The lines of the settings the table shows at `place`; their texts (the title, the folders)
// are escaped as the other configuration lines are, one "&#x%X" per code point.
std::string SettingLines(const ServerSettings& settings, StatusPlace place) {
  return SettingStatusLines(settings, place, EscapeHtmlEntitiesBare);
}

void AppendHead(const ServerSettings& settings, std::string* page) {
  *page += kPageStart;
  *page += kCharsetMeta;
  *page += kViewportMeta;
  *page += "<link rel=\"stylesheet\" type=\"text/css\" href=\"/script?name=font.css\">\r\n";
  *page += "<title>" + EscapeHtmlEntities(settings.title) + " Status Info</title>\r\n";
  // Long paths and socket lists wrap instead of widening the page; on a phone the link is
  // finger-sized.
  *page +=
      "<style>body{overflow-wrap:anywhere;}@media (max-width:" + std::string(kTouchLayoutWidth) +
      "){a[href]{display:inline-block;min-height:44px;line-height:44px;}}</style>\r\n";
  *page += "</head>\r\n<body>\r\n";
}

void AppendConfiguration(const StatusSources& sources, std::string* page) {
  const ServerSettings& settings = sources.settings;
  *page += Line(std::string("Config file:") + (settings.loaded ? "Loaded." : "Not loaded."));
  const std::string path_escaped = EscapeHtmlEntitiesBare(settings.config_path);
  *page += Line("Config file name is \"" + path_escaped + "\"");
  *page += SettingLines(settings, StatusPlace::kAfterFileName);
  *page += Line("Ver:" LUMENVALE_FILE_VERSION);
  *page += Line("<a></a>");
  *page += SettingLines(settings, StatusPlace::kAfterLinks);
  const std::string diagnostics = DiagnosticText(sources);
  if (!diagnostics.empty()) *page += Line("Debug:" + diagnostics);
}

// "Pictures:" and the number of pictures in the catalogue, then the number of each type, as
// "image/heic:2", in the order of the type names.
std::string PictureCountsLine(const ImageCatalogue& catalogue) {
  const std::shared_ptr<const std::vector<ImageEntry>> list = catalogue.CurrentList();
  std::map<std::string_view, size_t> by_type;
  for (const ImageEntry& entry : *list) ++by_type[ImageContentType(entry.path)];
  std::string line = "Pictures:" + std::to_string(list->size());
  for (const auto& [type, count] : by_type) {
    line += " " + std::string(type) + ":" + std::to_string(count);
  }
  return Line(line);
}

// The catalogue's folders and rescans: how many folders, how many watched for changes, the
// rescans of the last hour (newest first, as folders listed/milliseconds, a full one marked
// "full"), the last full scan and the thumbnails made ahead.
void AppendCatalogueState(const StatusSources& sources, std::string* page) {
  const CatalogueStatus status = sources.catalogue.Status();
  *page += Line("Folders:" + std::to_string(status.folders));
  *page += Line("Folders_watched:" + std::to_string(status.watched));
  std::string rescans = "Rescans_last_hour:" + std::to_string(status.last_hour.size());
  for (auto it = status.last_hour.rbegin(); it != status.last_hour.rend(); ++it) {
    rescans += " " + std::to_string(it->listed) + "/" + std::to_string(it->ms) + "ms";
    if (it->full) rescans += "(full)";
  }
  *page += Line(rescans);
  if (status.full_scan_done) {
    *page += Line("Last_full_scan:" + status.last_full_scan_time + " " +
                  std::to_string(status.last_full_scan.listed) + "/" +
                  std::to_string(status.last_full_scan.ms) + "ms");
  } else {
    *page += Line("Last_full_scan:none");
  }
  const WorkAhead ahead = sources.work_ahead();
  *page += Line("Work_ahead:" + std::to_string(ahead.done) + "/" + std::to_string(ahead.total));
}

void AppendTimings(const StatusSources& sources, const LoopFigures& loop, std::string* page) {
  *page += sources.catalogue.TimingText();
  *page += Line("Time_Loop:" + std::to_string(loop.last_step_ms));
  *page += Line("Time_FileListUp:" + std::to_string(sources.catalogue.LastScanMs()));
  *page += Line("Time_Sleep:" + std::to_string(loop.last_busy_length_ms));
  *page += Line("Thread_now_run:" + std::to_string(sources.pool.RunningJobs()));
  *page += PictureCountsLine(sources.catalogue);
  AppendCatalogueState(sources, page);
}

std::string UpnpStageText(uint32_t upnp, int32_t stage) {
  if (stage >= 2) return "ポート開放処理完了";
  if (upnp == 0 && stage == 0) return "ポート開放処理しない";
  if (upnp == 1) return "ポート開放処理に失敗";
  return "";
}

void AppendNetwork(const StatusSources& sources, std::string* page) {
  const ServerSettings& settings = sources.settings;
  const UpnpPortMapper& upnp = sources.upnp;
  *page += SettingLines(settings, StatusPlace::kNetwork);
  if (upnp.stage() > 1) *page += Line("External Port No:" + std::to_string(upnp.external_port()));
  *page += Line("検索パス");
  *page += SettingLines(settings, StatusPlace::kSearchPaths);
  *page += "<br>";
  *page += Line("UPnP stage:" + std::to_string(upnp.stage()) + "," +
                UpnpStageText(settings.upnp, upnp.stage()));
  if (upnp.stage() > 1) {
    // What the mapping thread has found: the page never waits for the gateway.
    const std::string address_escaped = EscapeAttribute(upnp.KnownExternalAddress());
    *page += Line("グローバルIP:" + address_escaped);
  }
}

void AppendOptions(const ServerSettings& settings, const LoopFigures& loop, std::string* page) {
  *page += SettingLines(settings, StatusPlace::kOptions);
  *page +=
      Line("Post(" + std::to_string(loop.posts_answered) + ":" +
           std::to_string(loop.posts_rejected) + "/" + std::to_string(loop.posts_received) + ")");
}

// The HTTPS settings and the certificate in use: its file, its fingerprint, and why files
// that replaced it were not taken.
void AppendTls(const ServerSettings& settings, const CertificateStore& certificates,
               std::string* page) {
  *page += SettingLines(settings, StatusPlace::kTls);
  const std::string cert_path_escaped = EscapeHtmlEntitiesBare(certificates.cert_path());
  *page += Line("TLS certificate:\"" + cert_path_escaped + "\"" +
                (settings.tls_cert.empty() ? " (self-signed)" : ""));
  *page += Line("SHA-256 fingerprint:" + certificates.fingerprint());
  if (!certificates.problem().empty()) {
    const std::string problem_escaped = EscapeHtmlEntities(certificates.problem());
    *page += Line("Certificate problem:" + problem_escaped);
  }
}

void AppendConnections(const std::vector<s_socket_stage>& connections, const TlsTransport* tls,
                       std::string* page) {
  for (int32_t stage = kFirstListedStage; stage <= kLastListedStage; ++stage) {
    size_t count = 0;
    std::string sockets;
    for (const s_socket_stage& connection : connections) {
      if (connection.stage != stage) continue;
      ++count;
      sockets += "[" + std::to_string(connection.socket);
      // The transport's own words (versions, protocol names), never a client's bytes.
      if (tls != nullptr) sockets += " " + tls->Describe(connection.socket);
      sockets += "]";
    }
    *page += Line(std::to_string(stage) + ":" + std::to_string(count) + " sockets." + sockets);
  }
}

}  // namespace

Response StatusPageResponse(const StatusSources& sources,
                            const std::vector<s_socket_stage>& connections,
                            const std::string& nonce) {
  const LoopFigures loop = sources.loop();
  std::string page;
  AppendHead(sources.settings, &page);
  AppendConfiguration(sources, &page);
  AppendTimings(sources, loop, &page);
  AppendNetwork(sources, &page);
  AppendOptions(sources.settings, loop, &page);
  if (sources.tls != nullptr) AppendTls(sources.settings, sources.tls->certificates(), &page);
  AppendConnections(connections, sources.tls, &page);
  page += "</body>\r\n</html>";
  return UncachedPageResponse(ShiftJisPage(page), nonce);
}

int CStatusProcess::Process(IncomingRequest& request) {
  // The page shows the configuration and every client's connection: with login on, it is for
  // the users who administer the gallery (those who may upload), not for every viewer.
  if (!MayUpload(sources_.settings, request.accounts())) {
    request.Respond(RefusalResponse("403 Forbidden"));
    return 1;
  }
  request.Respond(StatusPageResponse(sources_, sources_.server.connections(), MakeNonce()));
  return 1;
}
