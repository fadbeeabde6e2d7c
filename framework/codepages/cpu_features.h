// Which vector instruction sets the processor offers, for the few hot loops
// that pick a wider path at run time (each keeps a portable path that gives
// the same results).
//
// The 256- and 512-bit paths are built only for x86-64 outside Windows:
// mingw-w64's GCC spills vector registers with aligned moves into frames it
// aligns to 16 bytes only, which faults at run time. Windows builds use the
// portable paths.
#pragma once

#if defined(__x86_64__) && !defined(_WIN32) && (defined(__GNUC__) || defined(__clang__))
#define BRIM_WIDE_VECTORS 1
#else
#define BRIM_WIDE_VECTORS 0
#endif

namespace brim::detail {

#if BRIM_WIDE_VECTORS
inline bool CpuHasAvx2() {
    static const bool yes =
        __builtin_cpu_supports("avx2") && __builtin_cpu_supports("bmi") && __builtin_cpu_supports("bmi2");
    return yes;
}

inline bool CpuHasAvx512() {
    static const bool yes = CpuHasAvx2() && __builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512bw") &&
                            __builtin_cpu_supports("avx512vl") && __builtin_cpu_supports("pclmul");
    return yes;
}
// AVX-512 with the byte permutes and byte compress (VBMI, VBMI2).
inline bool CpuHasAvx512Vbmi2() {
    static const bool yes =
        CpuHasAvx512() && __builtin_cpu_supports("avx512vbmi") && __builtin_cpu_supports("avx512vbmi2");
    return yes;
}
#else
inline bool CpuHasAvx2() { return false; }
inline bool CpuHasAvx512() { return false; }
inline bool CpuHasAvx512Vbmi2() { return false; }
#endif

}  // namespace brim::detail
