// The code pages on POSIX against iconv: what it takes, one substitute and a step of one unit where it stops.
#include "tests/support/suite.h"
#include "framework/codepages/mbcs_posix.h"

#include <iconv.h>

#include <cerrno>
#include <map>
#include <tuple>
#include <type_traits>

namespace {

namespace d = brim::platform::mbcs;

constexpr unsigned kAllPages[] = {932,  936,  949,  950,  51949, 874,   1250, 1251, 1252,
                                  1253, 1254, 1256, 1257, 20127, 28591, 1255, 1258};

struct Close {
    void operator()(iconv_t cd) const { iconv_close(cd); }
};

template <typename In, typename Out>
std::basic_string<Out> ByIconv(const char* to, const char* from, const std::basic_string<In>& src, Out substitute) {
    static std::map<std::pair<std::string, std::string>, std::unique_ptr<void, Close>> open;   // one per direction
    auto& converter = open[{to, from}];
    if (converter == nullptr) converter.reset(iconv_open(to, from));
    const iconv_t cd = converter.get();
    EXPECT_NE(cd, reinterpret_cast<iconv_t>(-1)) << from << " -> " << to;
    iconv(cd, nullptr, nullptr, nullptr, nullptr);
    std::basic_string<Out> out;
    char* in = reinterpret_cast<char*>(const_cast<In*>(src.data()));
    std::size_t inLeft = src.size() * sizeof(In);
    Out chunk[64];
    auto convert = [&](char** from, std::size_t* left) {   // null: what the converter holds back
        char* o = reinterpret_cast<char*>(chunk);
        std::size_t outLeft = sizeof chunk;
        const std::size_t r = iconv(cd, from, left, &o, &outLeft);
        out.append(chunk, static_cast<std::size_t>(reinterpret_cast<Out*>(o) - chunk));
        return r;
    };
    while (inLeft > 0) {
        if (convert(&in, &inLeft) != static_cast<std::size_t>(-1) || errno == E2BIG) continue;
        convert(nullptr, nullptr);
        out.push_back(substitute);
        const std::size_t step = std::min(sizeof(In), inLeft);
        in += step;
        inLeft -= step;
        iconv(cd, nullptr, nullptr, nullptr, nullptr);
    }
    convert(nullptr, nullptr);
    return out;
}

std::wstring Expected(unsigned cp, const std::string& s) {
    return ByIconv("WCHAR_T", d::IconvName(cp), s, cp == 932 ? L'\x30FB' : L'?');
}
std::string Expected(unsigned cp, const std::wstring& s) { return ByIconv(d::IconvName(cp), "WCHAR_T", s, '?'); }

// Both directions under one set of names: count and convert, of a counted text and a NUL-terminated one.
auto ApiOf(const std::string&) {
    return std::tuple(&d::MbcsToWideCount, &d::MbcsToWide, &d::MbcsToWideCountTerminated, &d::MbcsToWideTerminated);
}
auto ApiOf(const std::wstring&) {
    return std::tuple(&d::WideToMbcsCount, &d::WideToMbcs, &d::WideToMbcsCountTerminated, &d::WideToMbcsTerminated);
}

// The count; the conversion into exactly that, shift units in, touching nothing around; overflow one unit short.
template <typename Text>
const char* Fault(unsigned cp, const Text& text, std::size_t shift, bool terminated) {
    using Unit = typename Text::value_type;
    using Out = std::conditional_t<std::is_same_v<Unit, char>, wchar_t, char>;
    const auto [count, convertCounted, countTerminated, convertTerminated] = ApiOf(text);
    const auto convert = [&](Out* out, std::size_t room) {
        return terminated ? convertTerminated(cp, text.c_str(), out, room)
                          : convertCounted(cp, text.data(), text.size(), out, room);
    };
    const std::basic_string<Out> expected = Expected(cp, terminated ? text + Unit(0) : text);
    const std::size_t n = terminated ? countTerminated(cp, text.c_str()) : count(cp, text.data(), text.size());
    if (n != expected.size()) return "count";
    std::vector<Out> buffer(shift + n + 1, Out('Z'));
    Out* out = buffer.data() + shift;
    if (convert(out, n) != n) return "size of the conversion";
    if (!std::equal(expected.begin(), expected.end(), out)) return "conversion";
    if (out[n] != Out('Z') || !std::all_of(buffer.data(), out, [](Out u) { return u == Out('Z'); })) {
        return "written outside the buffer";
    }
    if (n > 0 && convert(out, n - 1) != d::kMbcsOverflow) return "no overflow one unit short";
    return nullptr;
}

// The library against iconv on one text, and on a text without a NUL through the terminated calls too.
template <typename Text>
::testing::AssertionResult Same(unsigned cp, const Text& text, std::size_t shift = 0) {
    for (const bool terminated : {false, true}) {
        if (terminated && text.find(typename Text::value_type(0)) != Text::npos) break;
        if (const char* fault = Fault(cp, text, shift, terminated)) {
            return ::testing::AssertionFailure() << "code page " << cp << (terminated ? ", terminated: " : ", ")
                                                 << fault << ": " << ::testing::PrintToString(text);
        }
    }
    return ::testing::AssertionSuccess();
}

std::string Pair(unsigned pair) { return {static_cast<char>(pair >> 8), static_cast<char>(pair)}; }

// Tables where the converter keeps no state; a page it does not know is refused.
TEST(MbcsTables, TakenWhereTheConverterKeepsNoState) {
    for (unsigned cp : kAllPages) {
        EXPECT_TRUE(d::MbcsDecodesByTable(cp)) << cp;
        EXPECT_TRUE(d::MbcsEncodesByTable(cp)) << cp;
    }
    EXPECT_FALSE(d::MbcsDecodesByTable(12345));
    EXPECT_EQ(d::MbcsToWideCount(12345, "a", 1), d::kMbcsUnsupported);
    EXPECT_EQ(d::WideToMbcsCount(12345, L"a", 1), d::kMbcsUnsupported);
}

// Every byte, pair and basic-plane unit alone and before a letter, samples beyond; then all in long shifted texts.
TEST(MbcsTables, EveryPairAndEveryCodePointAsIconvConvertsThem) {
    std::string pairs;
    for (unsigned pair = 0x8000; pair < 0x10000; ++pair) pairs += Pair(pair);
    std::wstring points;
    for (std::uint32_t c = 0; c < 0x10000; ++c) points.push_back(static_cast<wchar_t>(c));
    for (std::uint32_t c = 0x10000; c < 0x110000; c += 0x1003) points.push_back(static_cast<wchar_t>(c));
    for (wchar_t c : {0xE0001, 0xE0041, 0xE007F, 0x110000, 0x7FFFFFFF, -1}) points.push_back(c);
    for (unsigned cp : kAllPages) {
        ASSERT_TRUE(Same(cp, std::string()) && Same(cp, std::wstring()));   // terminated: the NUL alone
        for (unsigned pair = 0; pair < 0x10000; ++pair) {
            const std::string two = Pair(pair);
            ASSERT_TRUE(Same(cp, (pair & 0xFF) == 0 ? two.substr(0, 1) : two));
            ASSERT_TRUE(Same(cp, two + "A"));
        }
        for (wchar_t c : points) {
            ASSERT_TRUE(Same(cp, std::wstring(1, c)));
            ASSERT_TRUE(Same(cp, std::wstring(1, c) + L"A"));
        }
        for (std::size_t shift : {0, 1, 7, 15, 63}) {
            ASSERT_TRUE(Same(cp, std::string(shift, 'a') + pairs)) << "shift " << shift;
            ASSERT_TRUE(Same(cp, std::wstring(shift, L'a') + points.substr(0x80, 0xFF80))) << "shift " << shift;
        }
    }
}

TEST(MbcsVectorSeams, SeamsAtEveryOffsetBothWays) {
    for (unsigned cp : {949u, 51949u, 932u, 936u, 950u, 1252u, 1251u}) {
        // The page's own characters among short ASCII runs; seams of units most pages lack, and no code points.
        std::wstring filler;
        for (unsigned pair = 0xB0A1; filler.size() < 120; pair += 0x0103) {
            for (wchar_t c : Expected(cp, Pair(pair))) {
                if (c > 0x7F && c != L'?' && c != L'\x30FB') filler.push_back(c);
            }
            filler.append(pair % 5, static_cast<wchar_t>(L'a' + pair % 26));
        }
        for (wchar_t seam : {0x2603, 0x1F600, 0xE0041, 0xD800, 0xFEFF, 0x200B, 0x110000, -1}) {
            for (std::size_t offset = 0; offset <= 40; ++offset) {
                ASSERT_TRUE(Same(cp, filler.substr(0, offset) + seam + filler, offset % 3)) << "at " << offset;
                ASSERT_TRUE(Same(cp, filler.substr(0, offset) + seam));
            }
        }
        if (cp == 1252 || cp == 1251) continue;
        // One character of two bytes whose second byte, alone, takes nothing after it (iconv agrees on these).
        const std::string pair = cp == 932 ? "\xE0\x40" : "\xB0\xB0", lead = pair.substr(0, 1);
        std::string run, mixed;
        while (run.size() < 200) run += pair;
        while (mixed.size() < 200) mixed += pair + "ab" + pair + pair + " 1" + pair;
        // Leads before what cannot trail them, before letters, in odd runs; lone high bytes; CP949's refused A2 E8.
        const std::string seams[] = {lead + " ",  lead + "A", lead + "z",     pair + lead + "!", "\x80", "\xFF",
                                     "\xA1",      "\xA2\xE8xyz", lead + "\x7F", lead};
        for (const std::string* filler : {&run, &mixed}) {
            for (const std::string& seam : seams) {
                for (std::size_t offset = 0; offset <= 140; ++offset) {
                    ASSERT_TRUE(Same(cp, filler->substr(0, offset) + seam + *filler, offset % 4));
                    ASSERT_TRUE(Same(cp, filler->substr(0, offset) + seam));   // the seam at the very end
                }
            }
        }
    }
}

// glibc's converters for 1255 and 1258 hold a letter back to combine it with the accents after it (1255: up to two).
// The letter must come out where nothing combines with it: before a byte it cannot convert, and at the very end.
TEST(MbcsCombining, LettersAndAccentsAtEveryOffset) {
    const std::pair<unsigned, std::string> pages[] = {
        {1258, "a\xEC" "e\xCC\xEC" "\xC2\xEC" "\xEC" "y\x81\xEC" "Tie\xE2\xEC" "ng \xD5\xF2" "0\xCC"},
        {1255, "\xF9\xCC\xD1" "\xF9\xD1\xCC" "\xE0\xC8" "\xC8" "\xE1\x81\xCC" "\xE5\xD0\xE5" "a\xC8"},
    };
    for (const auto& [cp, seam] : pages) {
        std::string filler;
        while (filler.size() < 100) filler += seam;
        for (std::size_t offset = 0; offset <= 70; ++offset) {
            const std::string text = filler.substr(0, offset) + seam + filler;
            ASSERT_TRUE(Same(cp, text, offset % 3)) << "at " << offset;
            ASSERT_TRUE(Same(cp, text.substr(0, offset + 2))) << "at " << offset;   // a letter cut off from its accent
            ASSERT_TRUE(Same(cp, Expected(cp, text))) << "at " << offset;          // composed characters taken apart
        }
    }
}

// A terminated text is converted in windows found ahead: what straddles a window's end comes out as in one piece.
TEST(MbcsVectorSeams, TerminatedTextsAcrossWindows) {
    constexpr std::size_t kWindow = 1 << 14;
    for (unsigned cp : {949u, 932u, 1252u, 1258u}) {
        const std::string pair = cp == 949 ? "\xB0\xA1" : cp == 932 ? "\x88\x9F" : cp == 1258 ? "a\xEC" : "\xE9\xE8";
        for (const std::string& seam : {std::string("\xA2\xE8xy"), pair.substr(0, 1) + " ",
                                        pair + pair.substr(0, 1) + "!", std::string("\x80\xFF")}) {
            for (std::size_t at = kWindow - 6; at <= kWindow + 2; ++at) {
                std::string text = std::string(at % 2, 'a');
                while (text.size() < at) text += pair;
                text.resize(at);
                text += seam;
                while (text.size() < 2 * kWindow + 100) text += pair + "bc";
                ASSERT_TRUE(Same(cp, text)) << "seam at " << at;
                ASSERT_TRUE(Same(cp, Expected(cp, text))) << "seam at " << at;
            }
        }
    }
}

}  // namespace
