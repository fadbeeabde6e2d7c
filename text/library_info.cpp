// Lives with the text subsystem because the loops it reports on are the UTF-8
// conversions (framework/codepages) and the encoding probers (text), and the
// framework may not see the text subsystem.
#include <brim/library.h>

#include "framework/codepages/utf8.h"
#include "text/encoding_detail.h"

#ifndef BRIMCOMMON_VERSION
#define BRIMCOMMON_VERSION "unknown"   // compiled into a fuzz target, not the library
#endif
#ifndef BRIMCOMMON_BACKEND
#define BRIMCOMMON_BACKEND "unknown"
#endif

#define BRIM_WIDEN_(text) L##text
#define BRIM_WIDEN(text) BRIM_WIDEN_(text)

CStringW CBrimLibraryInfo::GetVersion() { return BRIM_WIDEN(BRIMCOMMON_VERSION); }

CStringW CBrimLibraryInfo::GetBackend() { return BRIM_WIDEN(BRIMCOMMON_BACKEND); }

CStringW CBrimLibraryInfo::GetVectorPaths() {
    using brim::detail::ProbeVectors;
    using brim::detail::VectorPath;
    const VectorPath utf8 = brim::detail::BestVectorPath();
    const ProbeVectors probe = brim::detail::BestProbeVectors();
    const wchar_t* utf8Name = utf8 == VectorPath::kAvx512 ? L"AVX-512" : utf8 == VectorPath::kAvx2 ? L"AVX2" : L"portable";
    const wchar_t* probeName = probe == ProbeVectors::kAvx512 ? L"AVX-512"
                               : probe == ProbeVectors::kAvx2 ? L"AVX2"
                               : probe == ProbeVectors::kSse2 ? L"SSE2"
                                                              : L"portable";
    return CStringW(L"UTF-8 conversion ") + utf8Name + L", encoding probers " + probeName;
}
