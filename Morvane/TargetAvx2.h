// Builds the functions between AVX2_BEGIN and AVX2_END for AVX2 only. Put AVX2_BEGIN after
// every include, so no inline function shared with other files is built for AVX2; callers
// run these functions only on a processor that has AVX2.
#pragma once

#if defined(__clang__)
#define AVX2_BEGIN _Pragma("clang attribute push(__attribute__((target(\"avx2\"))), apply_to = function)")
#define AVX2_END _Pragma("clang attribute pop")
#else
#define AVX2_BEGIN _Pragma("GCC push_options") _Pragma("GCC target(\"avx2\")")
#define AVX2_END _Pragma("GCC pop_options")
#endif

// Whether this processor runs AVX2 (asked once).
inline bool CpuHasAvx2() {
  static const bool has = [] {
    __builtin_cpu_init();  // may run from a static initialiser, before libgcc's own
    return __builtin_cpu_supports("avx2") != 0;
  }();
  return has;
}
