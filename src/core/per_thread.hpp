#pragma once

// Storage kept per thread between calls. WASI without threads has one thread
// and no hook to run destructors at a thread's exit, so there it is a plain
// static.
#if defined(__wasi__) && !defined(_REENTRANT)
#define EPOCHSIFT_PER_THREAD static
#else
#define EPOCHSIFT_PER_THREAD thread_local
#endif
