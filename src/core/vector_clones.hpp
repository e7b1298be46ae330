// Loops worth vectorising wider than the baseline are built for AVX2 as
// well where the compiler and the loader can choose at run time (glibc's
// ifunc on x86-64 Linux); elsewhere, including WebAssembly, plainly.
#pragma once

#if defined(__x86_64__) && defined(__linux__) && defined(__GNUC__)
#define EPOCHSIFT_VECTOR_CLONES __attribute__((target_clones("avx2", "default")))
#else
#define EPOCHSIFT_VECTOR_CLONES
#endif
