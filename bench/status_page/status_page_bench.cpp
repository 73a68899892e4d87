// Server-side time to build the /info page (the complete response, everything but the sending)
// while 1 000 connections are open, against the target of 5 ms, with the same page over an
// empty connection table as the anchor. The connections are real: 1 000 loopback clients of a
// socket server that has accepted them all.
#include <algorithm>
#include <cstdio>
#include <vector>

#include "bench/support/bench_gallery.h"
#include "server/catalogue/omni_file_access.h"
#include "server/net/http1_writer.h"
#include "server/net/image_server.h"
#include "server/net/testing/loopback_test_util.h"
#include "server/pages/status_process.h"

namespace {

constexpr int kConnections = 1000;
constexpr int kRepeats = 101;
constexpr double kTargetMs = 5.0;

void Measure(const char* label, const StatusSources& sources,
             const std::vector<s_socket_stage>& connections) {
  std::vector<double> times;
  size_t bytes = 0;
  for (int r = 0; r < kRepeats; ++r) {
    const double start = NowMs();
    bytes = Http1Message(StatusPageResponse(sources, connections, "NONCE0123456789abcdefg=="))
                .bytes.size();
    times.push_back(NowMs() - start);
  }
  const double median = Median(times);
  std::printf("/info %-28s median %7.3f ms  max %7.3f ms  (%zu bytes)  target < %.0f ms  %s\n",
              label, median, *std::max_element(times.begin(), times.end()), bytes, kTargetMs,
              median < kTargetMs ? "met" : "MISSED");
}

}  // namespace

int main() {
  ReadBudget budget(ReadBudget::kReadBytesInFlight);
  COmniFileAccess files(budget);
  MySystem::CThreadMgr pool(1);
  ImageCatalogue catalogue(&pool, files);
  ServerSettings settings;
  settings.folders = {"/srv/pictures"};
  settings.show_fullpath = 1;
  UpnpPortMapper upnp(settings);
  CImageServer server;
  const StatusSources sources{settings, catalogue, upnp, pool, [] { return LoopFigures{}; },
                              server};
  if (!server.Start("0")) return 1;
  std::vector<int> clients;
  for (int i = 0; i < kConnections; ++i) {
    // One address holds only its share of the table: the clients come from several.
    const std::string source = "127.0.5." + std::to_string(1 + i / 64);
    int s = ConnectLoopbackFrom(source.c_str(), server.ListeningPort());
    if (s < 0) break;
    clients.push_back(s);
  }
  const double deadline = NowMs() + 10000;
  while (server.ConnectionCount() < clients.size() && NowMs() < deadline) server.Step();

  const size_t open = server.connections().size();
  Measure("0 connections (anchor)", sources, {});
  char label[64];
  std::snprintf(label, sizeof label, "%zu open connections", open);
  Measure(label, sources, server.connections());

  for (int s : clients) CloseClient(s);
  server.Stop();
  return open == static_cast<size_t>(kConnections) ? 0 : 1;
}
