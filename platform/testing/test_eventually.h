// Test helper: waits for a condition that another thread (or process) makes true.
#pragma once

#include <chrono>
#include <thread>

// Polls `done` every millisecond until it holds or `timeout` has passed; its last answer.
template <typename Done>
bool Eventually(Done done, std::chrono::milliseconds timeout = std::chrono::seconds(5)) {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  while (!done() && std::chrono::steady_clock::now() < deadline) {
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  return done();
}
