// The probers' chunk runners against their step functions on every vector path, on exactly sized buffers.
#include "tests/support/suite.h"
#include "text/encoding_detail.h"

namespace {

using brim::detail::ProbeVectors;
using Bytes = std::vector<unsigned char>;

std::vector<ProbeVectors> Paths() {
    std::vector<ProbeVectors> paths;
    for (ProbeVectors v : {ProbeVectors::kNone, ProbeVectors::kSse2, ProbeVectors::kAvx2, ProbeVectors::kAvx512}) {
        if (v <= brim::detail::BestProbeVectors()) paths.push_back(v);
    }
    return paths;
}

CBrimFile::Prober Stepped(int index, const Bytes& bytes) {
    CBrimFile::Prober p = CBrimFile::_probers[index];
    for (unsigned char b : bytes) {
        if (p.bActive) p.pfnProbe(&p, b);
    }
    return p;
}

// The runner on bytes cut at the given offsets gives the step function's verdict, and state while it accepts.
::testing::AssertionResult Agrees(int index, const Bytes& bytes, ProbeVectors path, std::vector<std::size_t> cuts = {}) {
    CBrimFile::Prober got = CBrimFile::_probers[index];
    cuts.push_back(bytes.size());
    for (std::size_t at = 0, k = 0; k < cuts.size() && got.bActive && std::min(cuts[k], bytes.size()) >= at; ++k) {
        const Bytes piece(bytes.begin() + static_cast<std::ptrdiff_t>(at),
                          bytes.begin() + static_cast<std::ptrdiff_t>(std::min(cuts[k], bytes.size())));
        brim::detail::RunProber(index, got, piece.empty() ? nullptr : piece.data(),
                                static_cast<unsigned int>(piece.size()), path);
        at += piece.size();
    }
    const CBrimFile::Prober want = Stepped(index, bytes);
    if (got.bActive == want.bActive && (!want.bActive || got.nState == want.nState)) return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "prober " << index << ", path " << static_cast<int>(path) << ", "
                                         << bytes.size() << " bytes: active " << got.bActive << " state " << got.nState
                                         << ", step function gives " << want.bActive << " / " << want.nState;
}

// About 200 bytes each prober accepts, with multi-byte sequences at every
// offset modulo 8 and 64. CP949 has a second text of high pairs alone, whose
// blocks take the vector loop's pair path (until a byte changed makes an
// ASCII trail): its first block ends on a lead of C6 and above, its third
// on one below with the trail 81.
std::vector<Bytes> GoodTexts(int index) {
    static const char* const pieces[5][3] = {
        {"plain ", "words\t", "0123456789;\n"},
        {"\xED\x95\x9C\xEA\xB8\x80 ", "\xF0\x9F\x98\x80", "\xC3\xA9x"},
        {"\xC7\xD1\xB1\xDB ", "\xB0\xA1", "\xFE\xFEz"},
        {"\x81\x41\xB0\x5A ", "\xC6\xA1\x81\xFE", "\xC5\x7A."},
        {"\xC5\xFE\xC6\xA1", "\xC7\xD1\x81\xA1 ", "\xFE\xFE\x81\x81z"}};
    std::vector<Bytes> texts;
    for (int kind : {index, index == 3 ? 4 : -1}) {
        if (kind < 0) continue;
        std::string text = kind == 4 ? "abc" : "";
        for (int k = 0; text.size() < 200; ++k) text += pieces[kind][(k + k / 4) % 3];
        texts.emplace_back(text.begin(), text.end());
    }
    return texts;
}

TEST(ProbeRunners, OneByteChangedAtEveryOffsetAndSequencesCut) {
    // Byte values at the edges of every class of every prober.
    const unsigned char values[] = {0x00, 0x40, 0x41, 0x5A, 0x5B, 0x60, 0x61, 0x7A, 0x7B, 0x7F, 0x80, 0x81, 0xA0, 0xA1,
                                    0xBF, 0xC0, 0xC1, 0xC5, 0xC6, 0xDF, 0xE0, 0xEF, 0xF0, 0xF7, 0xF8, 0xFE, 0xFF};
    for (ProbeVectors path : Paths()) {
        for (int index = 0; index < 4; ++index) {
            for (const Bytes& good : GoodTexts(index)) {
                ASSERT_TRUE(Stepped(index, good).bActive) << index;
                for (std::size_t at = 0; at < good.size(); ++at) {
                    for (unsigned char value : values) {
                        Bytes bytes = good;
                        bytes[at] = value;
                        ASSERT_TRUE(Agrees(index, bytes, path)) << "byte " << int(value) << " at " << at;
                    }
                }
                // Cut by the end, or into pieces (shorter than a sequence too) that carry the state on.
                for (std::size_t n = 0; n <= good.size(); ++n) {
                    ASSERT_TRUE(Agrees(index, Bytes(good.begin(), good.begin() + static_cast<std::ptrdiff_t>(n)), path)) << n;
                    ASSERT_TRUE(Agrees(index, good, path, {n})) << "cut at " << n;
                    ASSERT_TRUE(Agrees(index, good, path, {n, n + 1, n + 3})) << "short pieces at " << n;
                }
            }
        }
    }
}

}  // namespace
