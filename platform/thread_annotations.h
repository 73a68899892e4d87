// Annotations that let clang's -Wthread-safety check, at compile time, which lock guards
// which data and which locks a function needs held. Under other compilers they are empty.
// The lock types that carry them are in platform/mutex.h and server/net/shared_lock.h.
#pragma once

#if defined(__clang__)
#define LV_THREAD_ANNOTATION(x) __attribute__((x))
#else
#define LV_THREAD_ANNOTATION(x)
#endif

// On a class: its objects are locks ("mutex", "shared_mutex").
#define CAPABILITY(x) LV_THREAD_ANNOTATION(capability(x))
// On a class: its objects hold a lock from construction to destruction.
#define SCOPED_CAPABILITY LV_THREAD_ANNOTATION(scoped_lockable)

// On data: read only with the lock held (shared or exclusive), written only with it held
// exclusively. PT_: the same for the data a pointer points at.
#define GUARDED_BY(x) LV_THREAD_ANNOTATION(guarded_by(x))
#define PT_GUARDED_BY(x) LV_THREAD_ANNOTATION(pt_guarded_by(x))

// On a lock: the order in which it is taken with the others named, where both are held.
#define ACQUIRED_BEFORE(...) LV_THREAD_ANNOTATION(acquired_before(__VA_ARGS__))
#define ACQUIRED_AFTER(...) LV_THREAD_ANNOTATION(acquired_after(__VA_ARGS__))

// On functions: the locks the caller must hold, or must not hold, when calling.
#define REQUIRES(...) LV_THREAD_ANNOTATION(requires_capability(__VA_ARGS__))
#define REQUIRES_SHARED(...) LV_THREAD_ANNOTATION(requires_shared_capability(__VA_ARGS__))
#define EXCLUDES(...) LV_THREAD_ANNOTATION(locks_excluded(__VA_ARGS__))

// On the functions of lock types: what they take and give back.
#define ACQUIRE(...) LV_THREAD_ANNOTATION(acquire_capability(__VA_ARGS__))
#define ACQUIRE_SHARED(...) LV_THREAD_ANNOTATION(acquire_shared_capability(__VA_ARGS__))
#define RELEASE(...) LV_THREAD_ANNOTATION(release_capability(__VA_ARGS__))
#define RELEASE_SHARED(...) LV_THREAD_ANNOTATION(release_shared_capability(__VA_ARGS__))
#define TRY_ACQUIRE(...) LV_THREAD_ANNOTATION(try_acquire_capability(__VA_ARGS__))
#define ASSERT_CAPABILITY(x) LV_THREAD_ANNOTATION(assert_capability(x))

// Turns the analysis off for one function. Every use says why the analysis cannot follow it.
#define NO_THREAD_SAFETY_ANALYSIS LV_THREAD_ANNOTATION(no_thread_safety_analysis)
