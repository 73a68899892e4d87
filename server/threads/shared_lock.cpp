#include "server/threads/shared_lock.h"

CSharedLock::CSharedLock() {
  pthread_rwlockattr_t attr;
  pthread_rwlockattr_init(&attr);
  // glibc's default lets new readers overtake a waiting writer; this kind does not.
  pthread_rwlockattr_setkind_np(&attr, PTHREAD_RWLOCK_PREFER_WRITER_NONRECURSIVE_NP);
  pthread_rwlock_init(&lock_, &attr);
  pthread_rwlockattr_destroy(&attr);
}

CSharedLock::~CSharedLock() {
  pthread_rwlock_destroy(&lock_);
}

void CSharedLock::lock() {
  pthread_rwlock_wrlock(&lock_);
}
void CSharedLock::unlock() {
  pthread_rwlock_unlock(&lock_);
}
void CSharedLock::lock_shared() {
  pthread_rwlock_rdlock(&lock_);
}
void CSharedLock::unlock_shared() {
  pthread_rwlock_unlock(&lock_);
}
