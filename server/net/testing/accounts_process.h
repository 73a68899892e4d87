// Test helper: a handler for every request that gives it the accounts of an authenticated
// user, as the Digest check does, and lets it go on.
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "common/config/server_settings.h"
#include "server/net/request_process.h"

class AccountsProcess : public CRequestProcess {
 public:
  explicit AccountsProcess(std::vector<UserAccount> accounts) : accounts_(std::move(accounts)) {}
  std::string GetPath() override { return ""; }
  int Process(IncomingRequest& request) override {
    request.set_accounts(accounts_);
    return 0;
  }

 private:
  std::vector<UserAccount> accounts_;
};
