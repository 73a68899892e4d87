// Who may upload: the rule behind both the uploader link of the thumbnail pages and the
// receiving of posts, so that the link is shown exactly to those whose posts are taken.
#pragma once

#include <vector>

#include "common/config/server_settings.h"

// Anybody when no users are required; otherwise a configured user whose first account (of
// `accounts`, those the Digest check found for the request) has privilege 1.
bool MayUpload(const ServerSettings& settings, const std::vector<UserAccount>& accounts);
