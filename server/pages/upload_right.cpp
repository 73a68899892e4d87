#include "server/pages/upload_right.h"

bool MayUpload(const ServerSettings& settings, const std::vector<UserAccount>& accounts) {
  if (settings.need_user == 0) return true;
  return !settings.users.empty() && !accounts.empty() && accounts.front().privilege == 1;
}
