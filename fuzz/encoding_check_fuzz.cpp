// Differential check of encoding detection: the fast detector, the literal
// byte-by-byte loop over the step functions, and a plain reference written
// from the rules must give the same identifier for every buffer. The input is
// also repeated to reach past the detector's internal chunk size. Each
// prober's runner is checked alone on every vector path, since a prober
// behind one that accepts is never reached by the detector.
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

// Each prober's runner on every vector path, whole and in two pieces, must
// leave the state its step function does (the state counts while it accepts).
void CheckRunners(const std::vector<unsigned char>& bytes, std::size_t cut) {
    for (int index = 0; index < 4; ++index) {
        CBrimFile::Prober want = CBrimFile::_probers[index];
        for (unsigned char b : bytes) {
            if (want.bActive) want.pfnProbe(&want, b);
        }
        for (int path = 0; path <= static_cast<int>(brim::detail::BestProbeVectors()); ++path) {
            for (std::size_t first : {bytes.size(), cut}) {
                CBrimFile::Prober got = CBrimFile::_probers[index];
                const std::vector<unsigned char> head(bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(first));
                const std::vector<unsigned char> tail(bytes.begin() + static_cast<std::ptrdiff_t>(first), bytes.end());
                for (const auto* piece : {&head, &tail}) {
                    if (got.bActive && !piece->empty()) {
                        brim::detail::RunProber(index, got, piece->data(), static_cast<unsigned int>(piece->size()),
                                                static_cast<brim::detail::ProbeVectors>(path));
                    }
                }
                if (got.bActive != want.bActive || (want.bActive && got.nState != want.nState)) std::abort();
            }
        }
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::vector<unsigned char> bytes(data, data + size);
    Check(bytes);
    CheckRunners(bytes, size == 0 ? 0 : data[size - 1] % (size + 1));
    if (size > 0 && size < 4096) {
        // Repeated up to just past 16 KiB, with a 7-bit prefix that moves the
        // sequences across word and chunk boundaries.
        std::vector<unsigned char> longer(data[0] % 13, 'x');
        while (longer.size() < 16 * 1024 + 64) longer.insert(longer.end(), data, data + size);
        Check(longer);
    }
    return 0;
}
