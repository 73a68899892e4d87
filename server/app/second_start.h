// A start whose port another server holds already: the running server's configuration is
// not replaced, so a start with another file says so instead of passing in silence.
#pragma once

#include <string>

#include "common/config/server_settings.h"
#include "platform/instance_lock.h"

// What the holder of the instance lock records for a second start: the configuration file
// it serves, as an absolute path ("" when it serves the defaults).
void RecordServedConfiguration(const ServerSettings& settings, platform::InstanceLock* lock);

// Tells the user of a start whose instance name `instance` another server holds what runs,
// and returns the exit status: 0 when that server serves this start's configuration file
// too (or its file is not known: another user's, or one that has not recorded it yet), 1
// when it serves another one, which this start does not apply. The message names the running
// server's file and how to restart it with this one.
int AnswerSecondStart(const std::string& instance, const ServerSettings& settings);
