// Spreading independent pieces of one job over the idle workers of the pool.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>

#include "server/threads/thread_mgr.h"

// Runs `body(i)` for every i < `count`, on the calling thread and on helper jobs posted to
// `pool` with `priority`, each claiming the next index; returns when every index is done. A
// helper runs a few indices a turn and then queues itself again, so jobs posted meanwhile get
// a worker soon; a helper whose turn comes after the indices have run out returns at once, so
// a busy pool delays nothing. `body` must be safe to run on several threads at once for
// different indices.
void ForEachIndex(MySystem::CThreadMgr* pool, int32_t priority, size_t count,
                  const std::function<void(size_t)>& body);
