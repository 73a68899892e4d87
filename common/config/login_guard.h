// Login fails closed: a file whose wish about login is in doubt gets login, when it names
// users. Internal to lv_config.
#pragma once

#include <string>
#include <string_view>

#include "common/config/server_settings.h"

// Looks at the NEED_USER elements of the decoded file `text`, which `settings` was read from.
// Login is in doubt when the reader took it as off but the file says more than one plain
// number: a value that is not a decimal number ("yes", "true"), several elements with
// different values, an opening tag never closed, or the key in another letter case. Then,
// when `settings` holds users, login is turned on. Returns the warning that names the key
// and says so; empty when nothing was turned on.
std::string FailClosedLogin(std::string_view text, ServerSettings* settings);
