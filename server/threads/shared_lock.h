// Reader/writer lock in which a waiting writer goes before readers that arrive after it,
// so a steady stream of readers cannot starve a writer. Use with std::shared_lock /
// std::unique_lock.
#pragma once

#include <pthread.h>

class CSharedLock {
 public:
  CSharedLock();
  ~CSharedLock();
  CSharedLock(const CSharedLock&) = delete;
  CSharedLock& operator=(const CSharedLock&) = delete;

  void lock();
  void unlock();
  void lock_shared();
  void unlock_shared();

 private:
  pthread_rwlock_t lock_;
};
