// Thread-safety annotations: which lock guards a field, and which locks a function needs, takes
// or must not hold. Clang checks them at compile time with -Wthread-safety (the thread-safety
// build, BX_THREAD_SAFETY=ON, turns every finding into an error); other compilers see nothing.
//
// Use: the lock is a TMutex or TSharedMutex (mutex.h), taken with a scoped lock. Mark a field
// `GUARDED_BY(FLock)`, a pointer whose target the lock guards `PT_GUARDED_BY(FLock)`, a function
// that expects the caller to hold the lock `REQUIRES(FLock)` (the "...Locked" helpers), and one
// that takes it itself and must not be entered with it held `EXCLUDES(FLock)`.
// NO_THREAD_SAFETY_ANALYSIS marks the rare function the analysis cannot follow; each use says
// why in a comment.
//
// Threads and failure: declarations only; nothing here runs.
#pragma once

#if defined(__clang__)
#define BX_THREAD_ANNOTATION(x) __attribute__((x))
#else
#define BX_THREAD_ANNOTATION(x)
#endif

// On a class: its objects are locks ("mutex") or scoped holders of one.
#define CAPABILITY(x) BX_THREAD_ANNOTATION(capability(x))
#define SCOPED_CAPABILITY BX_THREAD_ANNOTATION(scoped_lockable)

// On a field: read and written only with the lock held (shared for reads of a shared lock).
#define GUARDED_BY(x) BX_THREAD_ANNOTATION(guarded_by(x))
// On a pointer field: what it points to is read and written only with the lock held.
#define PT_GUARDED_BY(x) BX_THREAD_ANNOTATION(pt_guarded_by(x))

// On a lock: the order in which locks are taken, where two are ever held together.
#define ACQUIRED_BEFORE(...) BX_THREAD_ANNOTATION(acquired_before(__VA_ARGS__))
#define ACQUIRED_AFTER(...) BX_THREAD_ANNOTATION(acquired_after(__VA_ARGS__))

// On a function: the caller holds the lock (exclusively, or at least shared).
#define REQUIRES(...) BX_THREAD_ANNOTATION(requires_capability(__VA_ARGS__))
#define REQUIRES_SHARED(...) BX_THREAD_ANNOTATION(requires_shared_capability(__VA_ARGS__))
// On a function: it takes the lock and returns with it held (or, TRY_, when it returns `x`).
#define ACQUIRE(...) BX_THREAD_ANNOTATION(acquire_capability(__VA_ARGS__))
#define ACQUIRE_SHARED(...) BX_THREAD_ANNOTATION(acquire_shared_capability(__VA_ARGS__))
#define TRY_ACQUIRE(...) BX_THREAD_ANNOTATION(try_acquire_capability(__VA_ARGS__))
// On a function: it releases a lock the caller held.
#define RELEASE(...) BX_THREAD_ANNOTATION(release_capability(__VA_ARGS__))
#define RELEASE_SHARED(...) BX_THREAD_ANNOTATION(release_shared_capability(__VA_ARGS__))
// On a function: the caller must not hold the lock (the function takes it).
#define EXCLUDES(...) BX_THREAD_ANNOTATION(locks_excluded(__VA_ARGS__))
// On a function: after it returns, the analysis takes the lock as held.
#define ASSERT_CAPABILITY(x) BX_THREAD_ANNOTATION(assert_capability(x))
// On a function returning a lock by reference: which lock that is.
#define RETURN_CAPABILITY(x) BX_THREAD_ANNOTATION(lock_returned(x))

// On a function: not checked. Say why beside it.
#define NO_THREAD_SAFETY_ANALYSIS BX_THREAD_ANNOTATION(no_thread_safety_analysis)
