// Differential check of encoding detection: the fast detector, the literal
// byte-by-byte loop over the step functions, and a plain reference written
// from the rules must give the same identifier for every buffer. The input is
// also repeated to reach past the detector's internal chunk size.
#include <brim/text.h>

#include "tests/text/reference_detector.h"
#include "text/encoding_detail.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <vector>

namespace {

void Check(const std::vector<unsigned char>& bytes) {
    std::vector<unsigned char> block = bytes;   // exactly sized: reads past it are caught
    const auto size = static_cast<unsigned int>(block.size());
    unsigned char* data = block.empty() ? nullptr : block.data();
    const int fast = CBrimFile::EncodingCheck(data, size);
    const int literal = brim::detail::EncodingCheckByteWise(data, size);
    const int reference = brimtest::ReferenceEncoding(data, size);
    if (fast != literal || fast != reference || block != bytes) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::vector<unsigned char> bytes(data, data + size);
    Check(bytes);
    if (size > 0 && size < 4096) {
        // Repeated up to just past 16 KiB, with a 7-bit prefix that moves the
        // sequences across word and chunk boundaries.
        std::vector<unsigned char> longer(data[0] % 13, 'x');
        while (longer.size() < 16 * 1024 + 64) longer.insert(longer.end(), data, data + size);
        Check(longer);
    }
    return 0;
}
