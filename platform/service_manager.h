// The server's side of systemd: is this process one of its services, and telling it how the
// service is doing.
#pragma once

#include <string>
#include <vector>

namespace platform {

// True when systemd started this process as (part of) a unit: it sets INVOCATION_ID.
bool StartedByServiceManager();

// The folders systemd reads unit files from: those of $SYSTEMD_UNIT_PATH when it is set
// (colon-separated; an empty entry stands for the usual folders), else the usual folders.
std::vector<std::string> UnitFolders();

// True when a unit file `unit` (such as "Lumenvale:12345.service") lies in one of `folders`.
bool UnitInstalled(const std::vector<std::string>& folders, const std::string& unit);

// Sends `state` ("READY=1", "STATUS=...", "STOPPING=1", several joined by "\n") to the
// service manager named by $NOTIFY_SOCKET; does nothing when there is none.
void NotifyServiceManager(const std::string& state);

}  // namespace platform
