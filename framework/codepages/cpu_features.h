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
// What the processor and the system offer, read once at the first question
// (cpu_features.cpp). Read with cpuid here rather than through the
// compiler's __builtin_cpu_supports: that links a constructor into the
// library which asks the processor everything at every process start,
// converting or not (in a virtual machine, where each question is a trip to
// the host, some 80 microseconds of every start).
struct CpuVectors {
    bool avx2;          // with BMI1 and BMI2
    bool avx512;        // F, BW and VL, with carry-less multiplication, on top of the above
    bool avx512Vbmi2;   // the byte permutes and byte compress (VBMI, VBMI2), on top of the above
};
CpuVectors ReadCpuVectors();

inline const CpuVectors& Cpu() {
    static const CpuVectors vectors = ReadCpuVectors();
    return vectors;
}

inline bool CpuHasAvx2() { return Cpu().avx2; }
inline bool CpuHasAvx512() { return Cpu().avx512; }
inline bool CpuHasAvx512Vbmi2() { return Cpu().avx512Vbmi2; }
#else
inline bool CpuHasAvx2() { return false; }
inline bool CpuHasAvx512() { return false; }
inline bool CpuHasAvx512Vbmi2() { return false; }
#endif

}  // namespace brim::detail
