// What the processor offers beyond the baseline the program is built for;
// the row kernels pick their fast variants from it once, at start-up.
#pragma once

#if defined(__x86_64__) || defined(__i386__)
// SSSE3's byte shuffle, which the 24- and 32-bit row conversions use. Asked
// from static initialisers, before any constructor of ours may have run
// __builtin_cpu_init.
inline bool HasSsse3() {
    __builtin_cpu_init();
    return __builtin_cpu_supports("ssse3");
}
// AVX2's 256-bit integer lanes, which the widest row kernels use.
inline bool HasAvx2() {
    __builtin_cpu_init();
    return __builtin_cpu_supports("avx2");
}
#endif
