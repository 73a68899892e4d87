// What a start must tell about its configuration file beyond the settings it reads: values
// that cannot be served, and what the readers pass over in silence. Internal to lv_config.
#pragma once

#include <string>
#include <string_view>
#include <vector>

struct ConfigFindings {
  std::vector<std::string> errors;    // each names its key; the file must not be served
  std::vector<std::string> warnings;  // each names what was ignored
};

// Checks the decoded file `text`: a port element (PORT, UPnP_PORT) whose value is no number
// from 0 to 65535 is an error; a tag left open, and a file in which no element is a known
// setting, get a warning.
ConfigFindings CheckConfigText(std::string_view text);
