// Test helper: a URL handler made of a function, for servers put together inside a test.
#pragma once

#include <functional>
#include <string>
#include <utility>

#include "server/net/request_process.h"

class LambdaProcess : public CRequestProcess {
 public:
  LambdaProcess(std::string path, std::function<int(IncomingRequest&)> process,
                bool streams = false)
      : path_(std::move(path)), process_(std::move(process)), streams_(streams) {}
  std::string GetPath() override { return path_; }
  int Process(IncomingRequest& request) override { return process_(request); }
  bool StreamsPostBody() const override { return streams_; }

 private:
  std::string path_;
  std::function<int(IncomingRequest&)> process_;
  bool streams_;
};
