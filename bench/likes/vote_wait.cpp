// The longest wait of cheap requests while a server hashes a big picture for its first like.
// Four client threads keep asking the server for a missing page (its 404, answered on the
// server loop), one request after another, while a fifth sends one vote; the figure is the
// longest single request among those that overlapped the vote, beside the longest wait in
// the second before the vote.
//
// Usage: vote_wait PORT VOTE_TARGET...   (each target is voted on once, in turn)
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "bench/support/bench_gallery.h"
#include "server/net/testing/loopback_test_util.h"

namespace {

constexpr int kCheapClients = 4;

struct Request {
  double start_ms;
  double end_ms;
};

std::string Get(int port, const std::string& target) {
  // The header line of the gallery's like script, which a like needs; other pages ignore it.
  return Exchange(port, "GET " + target +
                            " HTTP/1.1\r\nHost: 127.0.0.1\r\nX-Requested-With: XMLHttpRequest\r\n\r\n");
}

// Runs the cheap clients until `stop`; returns every request they made.
std::vector<Request> CheapRequests(int port, const std::atomic<bool>& stop) {
  std::vector<Request> all;
  std::mutex lock;
  std::vector<std::thread> clients;
  for (int c = 0; c < kCheapClients; ++c) {
    clients.emplace_back([&] {
      std::vector<Request> mine;
      while (!stop) {
        const double start = NowMs();
        if (Get(port, "/nothing").empty()) std::fprintf(stderr, "no answer\n");
        mine.push_back({start, NowMs()});
      }
      std::lock_guard<std::mutex> hold(lock);
      all.insert(all.end(), mine.begin(), mine.end());
    });
  }
  for (std::thread& client : clients) client.join();
  return all;
}

// The longest request that overlapped [from, to].
double LongestWait(const std::vector<Request>& requests, double from, double to) {
  double longest = 0;
  for (const Request& r : requests) {
    if (r.end_ms >= from && r.start_ms <= to) longest = std::max(longest, r.end_ms - r.start_ms);
  }
  return longest;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) {
    std::fprintf(stderr, "usage: vote_wait PORT VOTE_TARGET...\n");
    return 2;
  }
  const int port = std::atoi(argv[1]);
  for (int v = 2; v < argc; ++v) {
    std::atomic<bool> stop{false};
    double vote_start = 0, vote_end = 0;
    std::string answer;
    std::thread voter([&] {
      std::this_thread::sleep_for(std::chrono::milliseconds(1000));
      vote_start = NowMs();
      answer = Get(port, argv[v]);
      vote_end = NowMs();
      std::this_thread::sleep_for(std::chrono::milliseconds(300));
      stop = true;
    });
    const double begin = NowMs();
    const std::vector<Request> requests = CheapRequests(port, stop);
    voter.join();
    const std::string body = answer.substr(answer.find("\r\n\r\n") + 4);
    std::printf("first vote on %s: answered in %.0f ms (%zu cheap requests, %s)\n", argv[v],
                vote_end - vote_start, requests.size(), body.substr(0, body.find('\r')).c_str());
    std::printf("  longest cheap wait during the vote: %6.2f ms   (target < 10 ms)\n",
                LongestWait(requests, vote_start, vote_end));
    std::printf("  longest cheap wait before it:       %6.2f ms   (no vote, %.0f ms)\n",
                LongestWait(requests, begin, vote_start - 1), vote_start - 1 - begin);
  }
  return 0;
}
