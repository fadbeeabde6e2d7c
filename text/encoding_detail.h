// Internals of encoding detection, shared by the detector and the tools that
// check it.
#pragma once

#include <brim/text.h>

namespace brim::detail {

// Hands n bytes to prober number index (0 ASCII, 1 UTF-8, 2 EUC-KR, 3 CP949)
// of CBrimFile::_probers; leaves it exactly as n calls of its step function
// would, except that the state of a prober that was rejected is left open.
void RunProber(int index, CBrimFile::Prober& prober, const unsigned char* data, unsigned int n);

// EncodingCheck done literally: every byte through every live step function.
int EncodingCheckByteWise(const unsigned char* buf, unsigned int size);

}  // namespace brim::detail
