// Reader/writer lock in which a waiting writer goes before readers that arrive after it,
// so a steady stream of readers cannot starve a writer. Held through ReaderLock and
// WriterLock, which clang's -Wthread-safety checks (see platform/thread_annotations.h).
#pragma once

#include <pthread.h>

#include "platform/thread_annotations.h"

class CAPABILITY("shared_mutex") CSharedLock {
 public:
  CSharedLock();
  ~CSharedLock();
  CSharedLock(const CSharedLock&) = delete;
  CSharedLock& operator=(const CSharedLock&) = delete;

  void lock() ACQUIRE();
  void unlock() RELEASE();
  void lock_shared() ACQUIRE_SHARED();
  void unlock_shared() RELEASE_SHARED();

 private:
  pthread_rwlock_t lock_;
};

// Holds `lock` shared from construction to destruction.
class SCOPED_CAPABILITY ReaderLock {
 public:
  explicit ReaderLock(CSharedLock* lock) ACQUIRE_SHARED(lock) : lock_(lock) {
    lock_->lock_shared();
  }
  ~ReaderLock() RELEASE() { lock_->unlock_shared(); }
  ReaderLock(const ReaderLock&) = delete;
  ReaderLock& operator=(const ReaderLock&) = delete;

 private:
  CSharedLock* const lock_;
};

// Holds `lock` exclusively from construction to destruction.
class SCOPED_CAPABILITY WriterLock {
 public:
  explicit WriterLock(CSharedLock* lock) ACQUIRE(lock) : lock_(lock) { lock_->lock(); }
  ~WriterLock() RELEASE() { lock_->unlock(); }
  WriterLock(const WriterLock&) = delete;
  WriterLock& operator=(const WriterLock&) = delete;

 private:
  CSharedLock* const lock_;
};
