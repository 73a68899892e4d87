// A worker job that reads one image file into the file cache ahead of its /image request, so
// that the request is answered from memory.
#pragma once

#include <string>

#include "server/net/thread_mgr.h"

class CFastReadForCache : public CThreadCommand {
 public:
  explicit CFastReadForCache(std::string path) : path_(std::move(path)) {}

  // Reads the file through the shared COmniFileAccess with its cache in use and drops the
  // bytes; a file that cannot be read is left alone. Returns 0.
  int Run() override;

 private:
  std::string path_;
};
