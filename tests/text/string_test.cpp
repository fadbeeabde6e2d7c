// CBrimString's conversions and utilities, the locale's ANSI code page, and CBrimNumber.
#include "tests/support/suite.h"

#include "tests/text/text_helpers.h"

#include <climits>
#include <random>

namespace {

using brimtest::CodeText;
using brimtest::Smiley;
using brimtest::Thrown;

std::string ToUtf8(const std::wstring& text) {
    std::vector<char> buffer(32767, '#');
    const int n = CBrimString::Unicode2UTF8(buffer.data(), text.c_str());
    EXPECT_GE(n, 1);
    EXPECT_EQ(buffer[static_cast<std::size_t>(n - 1)], '\0');
    return std::string(buffer.data(), static_cast<std::size_t>(n - 1));
}

std::wstring FromUtf8(const std::string& bytes) {
    const int n = CBrimString::UTF82UnicodeCount(bytes.c_str());
    std::vector<wchar_t> buffer(static_cast<std::size_t>(n) + 1, L'#');   // one guard unit
    CBrimString::UTF82Unicode(buffer.data(), bytes.c_str());
    EXPECT_EQ(buffer[static_cast<std::size_t>(n - 1)], L'\0');
    EXPECT_EQ(buffer[static_cast<std::size_t>(n)], L'#') << "written past the count";
    return std::wstring(buffer.data(), static_cast<std::size_t>(n - 1));
}

#if defined(_WIN32)
bool RunningUnderWine() {
    const HMODULE ntdll = ::GetModuleHandleW(L"ntdll.dll");
    return ntdll != nullptr && ::GetProcAddress(ntdll, "wine_get_version") != nullptr;
}
bool AnsiIs(unsigned codePage) { return ::GetACP() == codePage; }
#else
bool RunningUnderWine() { return false; }
bool AnsiIs(unsigned) { return true; }   // the child's LANG chooses it
#endif

TEST(CBrimStringConvert, EmptyAndNullSources) {
    EXPECT_EQ(CBrimString::Unicode2MBCSCount(L""), 1);
    EXPECT_EQ(CBrimString::MBCS2UnicodeCount(""), 1);
    char bytes[2] = {'#', '#'};
    wchar_t wide[2] = {L'#', L'#'};
    CBrimString::Unicode2MBCS(bytes, L"");
    EXPECT_EQ(std::string(bytes, 2), std::string("\0#", 2));
    CBrimString::MBCS2Unicode(wide, "");
    EXPECT_EQ(std::wstring(wide, 2), std::wstring(L"\0#", 2));
    EXPECT_EQ(FromUtf8(""), L"");
    EXPECT_EQ(ToUtf8(L""), "");

    const CStringW noUnicode = L"BrimException : No Unicode Value", noUtf8 = L"BrimException : No UTF-8 Value",
                   noMbcs = L"BrimException : No MBCS Value";
    EXPECT_EQ(Thrown([] { CBrimString::Unicode2MBCSCount(nullptr); }), noUnicode);
    EXPECT_EQ(Thrown([&] { CBrimString::Unicode2MBCS(bytes, nullptr); }), noUnicode);
    EXPECT_EQ(Thrown([&] { CBrimString::Unicode2UTF8(bytes, nullptr); }), noUnicode);
    EXPECT_EQ(Thrown([] { CBrimString::UTF82UnicodeCount(nullptr); }), noUtf8);
    EXPECT_EQ(Thrown([&] { CBrimString::UTF82Unicode(wide, nullptr); }), noUtf8);
    EXPECT_EQ(Thrown([] { CBrimString::MBCS2UnicodeCount(nullptr); }), noMbcs);
    EXPECT_EQ(Thrown([&] { CBrimString::MBCS2Unicode(wide, nullptr); }), noMbcs);
}

TEST(CBrimStringConvert, Utf8BothWaysAndItsSubstitutions) {
    const std::wstring korean = L"\xD55C\xAE00 text";
    const std::string encoded = "\xED\x95\x9C\xEA\xB8\x80 text";
    EXPECT_EQ(ToUtf8(korean), encoded);
    EXPECT_EQ(FromUtf8(encoded), korean);
    EXPECT_EQ(ToUtf8(Smiley()), "\xF0\x9F\x98\x80");   // one or two wide units
    EXPECT_EQ(FromUtf8("\xF0\x9F\x98\x80"), Smiley());

    // Lone surrogates become U+FFFD, also a high one at the end.
    const std::string replacement = "\xEF\xBF\xBD";
    EXPECT_EQ(ToUtf8(std::wstring{L'a', wchar_t(0xD800), L'b'}), "a" + replacement + "b");
    EXPECT_EQ(ToUtf8(std::wstring{wchar_t(0xDC00)}), replacement);
    EXPECT_EQ(ToUtf8(std::wstring{L'x', wchar_t(0xDBFF)}), "x" + replacement);

    // One U+FFFD per maximal subsequence; Wine's converter takes a lead and an out-of-range second byte as one.
    const std::wstring r(1, wchar_t(0xFFFD)), leadAndSecond = RunningUnderWine() ? r : r + r;
    const std::pair<const char*, std::wstring> malformed[] = {
        {"a\xC3", L"a" + r},          {"\xF0\x9F\x98" "A", r + L"A"},     {"\xC0\xAF", r + r},
        {"\x80\xBF" "b\xFF", r + r + L"b" + r}, {"\xE2\x82\xAC\xE2\x82", L"\x20AC" + r}, {"\xE0\x80" "A", leadAndSecond + L"A"},
        {"\xED\xA0\x80", leadAndSecond + r}, {"\xF4\x90\x80\x80", leadAndSecond + r + r}};
    for (const auto& [bytes, wide] : malformed) EXPECT_EQ(FromUtf8(bytes), wide) << ::testing::PrintToString(bytes);
}

// Nothing reaches dst before the count is known to fit an int.
TEST(CBrimStringConvert, Utf8TooLongToCountWritesNothing) {
    const std::string text(static_cast<std::size_t>(INT_MAX), 'a');   // INT_MAX + 1 units with the terminator
    const CStringW cannot = L"BrimException : Can not change UTF8 to Unicode";
    EXPECT_EQ(Thrown([&] { CBrimString::UTF82UnicodeCount(text.c_str()); }), cannot);
    std::vector<wchar_t> dst(64, L'#');
    EXPECT_EQ(Thrown([&] { CBrimString::UTF82Unicode(dst.data(), text.c_str()); }), cannot);
    EXPECT_EQ(std::wstring(dst.data(), dst.size()), std::wstring(dst.size(), L'#'));
}

TEST(CBrimStringConvert, Utf8DeclaresExactly32767Bytes) {
    std::vector<char> buffer(40000, '#');
    EXPECT_EQ(CBrimString::Unicode2UTF8(buffer.data(), std::wstring(32766, L'x').c_str()), 32767);
    EXPECT_EQ(buffer[32766], '\0');
    EXPECT_EQ(buffer[32767], '#');
    const CStringW insufficient = CodeText(122);
    EXPECT_EQ(Thrown([&] { CBrimString::Unicode2UTF8(buffer.data(), std::wstring(32767, L'x').c_str()); }), insufficient);
    // 10922 three-byte characters fill it; one more ASCII does not fit.
    const std::wstring hangul(10922, wchar_t(0xD55C));
    EXPECT_EQ(CBrimString::Unicode2UTF8(buffer.data(), hangul.c_str()), 32767);
    EXPECT_EQ(Thrown([&] { CBrimString::Unicode2UTF8(buffer.data(), (hangul + L"a").c_str()); }), insufficient);
    // The other direction declares the computed size.
    EXPECT_EQ(FromUtf8(std::string(100000, 'y')).size(), 100000u);
}

// A child with the locale's ANSI code page (Wine's from an installed locale) prints the bytes and back, in hex.
TEST(CBrimStringAnsi, ThroughTheCodePageOfTheLocale) {
    const struct {
        unsigned codePage;
        const char *lang, *utf8, *mbcs;
    } cases[] = {
        {949, "ko_KR.UTF-8", "ed959ceab8802041", "c7d1b1db2041"},   // "한글 A"
        {949, "ko_KR.UTF-8", "e282ac", "a2e6"},                     // the euro sign is in 949
        {949, "ko_KR.UTF-8", "e0b881", "3f"},                       // Thai is not
        {1252, "en_US.UTF-8", "c3a9e282ac", "e980"},                // "é€"
    };
    for (const auto& c : cases) {
        if (!AnsiIs(c.codePage)) continue;
        auto child = brimtest::ChildProcess::Start({"ansi", c.utf8}, {std::string("LANG=") + c.lang, "LC_ALL=", "LC_CTYPE="});
        EXPECT_EQ(child->ReadLine(), std::string("mbcs ") + c.mbcs);
        const std::string back = child->ReadLine();   // what the page lacks does not come back
        EXPECT_TRUE(std::string(c.mbcs) == "3f" || back == std::string("back ") + c.utf8) << back;
        EXPECT_EQ(child->Wait(), 0);
    }
}

// Any code page, whatever the locale: the given length (a NUL inside it too), and its failures.
TEST(CBrimStringAnsi, CodePage2UnicodeTakesItsPageAndLength) {
    const CStringW text = CBrimString::CodePage2Unicode(949, "\xC7\xD1\xB1\xDB\0A", 6);   // EUC-KR "한글", NUL, A
    EXPECT_EQ(std::wstring(text.GetString(), static_cast<std::size_t>(text.GetLength())), std::wstring(L"\xD55C\xAE00\0A", 4));
    EXPECT_TRUE(CBrimString::CodePage2Unicode(949, "", 0).IsEmpty());
    EXPECT_EQ(Thrown([] { CBrimString::CodePage2Unicode(949, nullptr, 1); }), CodeText(87));
    EXPECT_EQ(Thrown([] { CBrimString::CodePage2Unicode(949, "a", -1); }), CodeText(87));
    EXPECT_NE(Thrown([] { CBrimString::CodePage2Unicode(12345, "a", 1); }), L"<nothing thrown>");
}

TEST(CBrimStringUtilities, BytesNamesBstrsAndNumbers) {
    const unsigned char bytes[] = {0x0A, 0xFF, 0x00};
    EXPECT_EQ(CBrimString::BYTE2CString(bytes, 3), L"0a ff 00 ");
    EXPECT_EQ(CBrimString::BYTE2CString(nullptr, -5), L"");

    EXPECT_EQ(CBrimString::GetRandomName(-3), L"");
    const CStringW name = CBrimString::GetRandomName(1000);
    ASSERT_EQ(name.GetLength(), 1000);
    for (int i = 0; i < 1000; ++i) ASSERT_TRUE(name[i] >= L'a' && name[i] <= L'z') << i;

    // A null text makes an empty string; one read back ends at its first NUL.
    for (const auto& [text, length] : {std::pair{L"ab\xD55C", 3u}, std::pair{static_cast<const wchar_t*>(nullptr), 0u}}) {
        BSTR bstr = CBrimString::Unicode2BSTR(text);
        ASSERT_NE(bstr, nullptr);
        EXPECT_EQ(SysStringLen(bstr), length);
        EXPECT_EQ(CBrimString::BSTR2Unicode(bstr), text == nullptr ? L"" : text);
        SysFreeString(bstr);
    }
    BSTR embedded = SysAllocStringLen(L"xy\0z", 4);
    EXPECT_EQ(CBrimString::BSTR2Unicode(embedded), L"xy");
    SysFreeString(embedded);
    EXPECT_EQ(CBrimString::BSTR2Unicode(nullptr), L"");

    // Heap blocks of exactly 4 and 8 bytes: the sanitizer sees a read past them.
    const std::vector<unsigned char> four = {0x12, 0x34, 0x56, 0x78}, ones(4, 0xFF), eight = {1, 2, 3, 4, 5, 6, 7, 8},
                                     top = {0x80, 0, 0, 0, 0, 0, 0, 0};
    EXPECT_EQ(CBrimNumber::BYTE2UINT(four.data()), 0x12345678u);
    EXPECT_EQ(CBrimNumber::BYTE2UINT(ones.data()), 4294967295u);
    EXPECT_EQ(CBrimNumber::BYTE2ULONGLONG(eight.data()), 0x0102030405060708ull);
    EXPECT_EQ(CBrimNumber::BYTE2ULONGLONG(top.data()), 1ull << 63);
}

// The UTF-16 units of a wide text (values that are no code point kept whole).
std::vector<std::uint32_t> OrdinalUnits(const std::wstring& text) {
    std::vector<std::uint32_t> units;
    for (wchar_t w : text) {
        const auto c = static_cast<std::uint32_t>(w) & (sizeof(wchar_t) == 2 ? 0xFFFFu : 0xFFFFFFFFu);
        if (c >= 0x10000 && c <= 0x10FFFF) {
            units.push_back(0xD800 + ((c - 0x10000) >> 10));
            units.push_back(0xDC00 + ((c - 0x10000) & 0x3FF));
        } else {
            units.push_back(c);
        }
    }
    return units;
}

// Units compare as unsigned 16-bit numbers on every platform: a stable sort that moves strings, not nodes.
TEST(CBrimStringBubbleSort, MatchesAStableSortOnRandomTexts) {
    std::mt19937 rng(4);
    std::vector<wchar_t> alphabet = {L'a',      L'b',      L'B',      L'\xD7FF', L'\xE000',
                                     L'\xFFFD', L'\xFFFF', L'0',      L'\xD83D', L'\xDE00'};
    if (sizeof(wchar_t) == 4) {
        for (std::uint32_t c : {0x10000u, 0x1F600u, 0x10FFFFu, 0x110000u, 0x7FFFFFFFu}) alphabet.push_back(static_cast<wchar_t>(c));
    }
    for (const std::size_t size : {0, 1, 2, 3, 17, 1000, 100000}) {
        const std::size_t letters = size < 1000 ? alphabet.size() : 3 + rng() % alphabet.size();
        CStringList list;
        std::vector<std::pair<std::vector<std::uint32_t>, const wchar_t*>> expected;
        std::vector<POSITION> nodes;
        for (std::size_t i = 0; i < size; ++i) {
            std::wstring text = rng() % 3 == 0 ? L"aaaaaa" : L"";
            for (std::size_t k = rng() % 9; k > 0; --k) text.push_back(alphabet[rng() % letters]);
            nodes.push_back(list.AddTail(CStringW(text.c_str())));
            expected.emplace_back(OrdinalUnits(text), list.GetAt(nodes.back()).GetString());
        }
        std::stable_sort(expected.begin(), expected.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
        CBrimString::BubbleSort(&list);
        ASSERT_EQ(list.GetCount(), static_cast<INT_PTR>(size));
        std::size_t i = 0;
        for (POSITION p = list.GetHeadPosition(); p != nullptr; ++i) {
            ASSERT_EQ(p, nodes[i]) << "a node moved";
            ASSERT_EQ(list.GetNext(p).GetString(), expected[i].second) << "size " << size << ", item " << i;
        }
    }
}

}  // namespace
