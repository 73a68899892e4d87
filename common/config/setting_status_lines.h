// The lines /info shows for the settings, produced from the settings table.
#pragma once

#include <string>
#include <string_view>

#include "common/config/server_settings.h"

// The spots on /info where setting lines appear; the page's other lines stay where they are.
enum class StatusPlace {
  kNotShown,
  kAfterFileName,  // after "Config file name is ..."
  kAfterLinks,     // after the distribution link and the empty anchor
  kNetwork,        // first in the network block
  kSearchPaths,    // under the "検索パス" heading
  kOptions,        // before the upload counters
  kTls,            // the HTTPS block after the options, shown only while HTTPS is on
};

// The lines of the settings shown at `place`, in table order, each ending in "<br>". Every
// text value passes through `escape` before it enters the page; numbers are written in decimal.
std::string SettingStatusLines(const ServerSettings& settings, StatusPlace place,
                               std::string (*escape)(std::string_view));
