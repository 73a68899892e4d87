#include "server/app/lumenvale_server.h"

#include <memory>
#include <string>
#include <vector>

#include "server/net/digest_process.h"
#include "server/net/not_found_process.h"

LumenvaleServer::LumenvaleServer(const ServerSettings& settings) : settings_(settings) {}

bool LumenvaleServer::Start() {
  // The handler list, in the order requests are offered to it.
  std::vector<std::unique_ptr<CRequestProcess>> handlers;
  handlers.push_back(std::make_unique<CDigestProcess>(settings_));  // ""  every request
  handlers.push_back(std::make_unique<C404rocess>());               // ""  whatever is left
  http_.SetHandlers(std::move(handlers));
  return http_.Start(std::to_string(settings_.port));
}

void LumenvaleServer::Step() {
  if (!http_.Step()) http_.WaitForWork(1);
}

void LumenvaleServer::Stop() { http_.Stop(); }
