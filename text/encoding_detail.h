// Internals of encoding detection, shared by the detector and the tools that
// check it.
#pragma once

#include <brim/text.h>

namespace brim::detail {

// The vector instructions a chunk runner may use, narrowest first. Every
// choice gives the same prober states; the tests run each one this machine has.
enum class ProbeVectors { kNone, kSse2, kAvx2, kAvx512 };

// The widest choice this build and processor allow.
ProbeVectors BestProbeVectors();

// Hands n bytes to prober number index (0 ASCII, 1 UTF-8, 2 EUC-KR, 3 CP949)
// of CBrimFile::_probers; leaves it exactly as n calls of its step function
// would, except that the state of a prober that was rejected is left open.
// A choice of vectors wider than BestProbeVectors() is narrowed to it.
void RunProber(int index, CBrimFile::Prober& prober, const unsigned char* data, unsigned int n,
               ProbeVectors vectors = BestProbeVectors());

// EncodingCheck done literally: every byte through every live step function.
int EncodingCheckByteWise(const unsigned char* buf, unsigned int size);

}  // namespace brim::detail
