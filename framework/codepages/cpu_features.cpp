#include "framework/codepages/cpu_features.h"

#if BRIM_WIDE_VECTORS
#include <cpuid.h>

namespace brim::detail {
namespace {
bool Has(unsigned word, unsigned bit) { return (word & (1u << bit)) != 0; }

// The register state the system saves for a process (XCR0).
unsigned long long SavedState() {
    unsigned low = 0, high = 0;
    __asm__ volatile("xgetbv" : "=a"(low), "=d"(high) : "c"(0));
    return static_cast<unsigned long long>(high) << 32 | low;
}
}  // namespace

CpuVectors ReadCpuVectors() {
    CpuVectors v{};
    unsigned a = 0, b = 0, c = 0, d = 0;
    if (__get_cpuid_max(0, nullptr) < 7 || !__get_cpuid(1, &a, &b, &c, &d)) return v;
    const bool pclmul = Has(c, 1);
    // AVX needs the system to save the 256-bit registers (XCR0 bits 1, 2);
    // AVX-512 the mask and upper registers too (bits 5, 6, 7).
    if (!Has(c, 27) || !Has(c, 28)) return v;   // OSXSAVE, AVX
    const unsigned long long state = SavedState();
    const bool ymm = (state & 0x6) == 0x6, zmm = (state & 0xE6) == 0xE6;
    __cpuid_count(7, 0, a, b, c, d);
    v.avx2 = ymm && Has(b, 5) && Has(b, 3) && Has(b, 8);                                  // AVX2, BMI1, BMI2
    v.avx512 = v.avx2 && zmm && pclmul && Has(b, 16) && Has(b, 30) && Has(b, 31);         // F, BW, VL
    v.avx512Vbmi2 = v.avx512 && Has(c, 1) && Has(c, 6);                                   // VBMI, VBMI2
    return v;
}

}  // namespace brim::detail
#endif
