// CBrimString: the count/convert contract, substitution of bad input, the
// fixed UTF-8 capacity, the ANSI code page of the user's locale, and the
// small string utilities.
#include <brim/brim.h>

#include "tests/support/printers.h"
#include "tests/text/text_helpers.h"
#include "tests/support/process.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cstdint>
#include <functional>
#include <random>
#include <string>
#include <vector>

namespace {

using brimtest::CodeText;
using brimtest::Smiley;
using brimtest::Thrown;

// The message of the exception fn throws ("" if it throws none).
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
#else
bool RunningUnderWine() { return false; }
#endif

TEST(CBrimStringConvert, EmptySourcesCountOnlyTheTerminator) {
    EXPECT_EQ(CBrimString::Unicode2MBCSCount(L""), 1);
    EXPECT_EQ(CBrimString::UTF82UnicodeCount(""), 1);
    EXPECT_EQ(CBrimString::MBCS2UnicodeCount(""), 1);
    char bytes[2] = {'#', '#'};
    wchar_t wide[2] = {L'#', L'#'};
    CBrimString::Unicode2MBCS(bytes, L"");
    EXPECT_EQ(bytes[0], '\0');
    EXPECT_EQ(bytes[1], '#');
    CBrimString::UTF82Unicode(wide, "");
    EXPECT_EQ(wide[0], L'\0');
    EXPECT_EQ(wide[1], L'#');
    wide[0] = L'#';
    CBrimString::MBCS2Unicode(wide, "");
    EXPECT_EQ(wide[0], L'\0');
    EXPECT_EQ(CBrimString::Unicode2UTF8(bytes, L""), 1);
    EXPECT_EQ(bytes[0], '\0');
}

TEST(CBrimStringConvert, NullSourcesThrowTheTextsOfTheirDirection) {
    char bytes[4];
    wchar_t wide[4];
    const CStringW noUnicode = L"BrimException : No Unicode Value";
    EXPECT_EQ(Thrown([] { CBrimString::Unicode2MBCSCount(nullptr); }), noUnicode);
    EXPECT_EQ(Thrown([&] { CBrimString::Unicode2MBCS(bytes, nullptr); }), noUnicode);
    EXPECT_EQ(Thrown([&] { CBrimString::Unicode2UTF8(bytes, nullptr); }), noUnicode);
    EXPECT_EQ(Thrown([] { CBrimString::UTF82UnicodeCount(nullptr); }), L"BrimException : No UTF-8 Value");
    EXPECT_EQ(Thrown([&] { CBrimString::UTF82Unicode(wide, nullptr); }), L"BrimException : No UTF-8 Value");
    EXPECT_EQ(Thrown([] { CBrimString::MBCS2UnicodeCount(nullptr); }), L"BrimException : No MBCS Value");
    EXPECT_EQ(Thrown([&] { CBrimString::MBCS2Unicode(wide, nullptr); }), L"BrimException : No MBCS Value");
}

TEST(CBrimStringConvert, Utf8BothWays) {
    char bytes[8] = {};
    EXPECT_EQ(CBrimString::Unicode2UTF8(bytes, L"abc"), 4);
    EXPECT_EQ(std::string(bytes, 4), std::string("abc\0", 4));

    const std::wstring korean = L"\xD55C\xAE00 text";   // "한글 text"
    const std::string encoded = "\xED\x95\x9C\xEA\xB8\x80 text";
    EXPECT_EQ(ToUtf8(korean), encoded);
    EXPECT_EQ(FromUtf8(encoded), korean);
    EXPECT_EQ(CBrimString::UTF82UnicodeCount(encoded.c_str()), static_cast<int>(korean.size()) + 1);

    // Beyond the basic plane: four bytes, one or two wide units.
    EXPECT_EQ(ToUtf8(Smiley()), "\xF0\x9F\x98\x80");
    EXPECT_EQ(FromUtf8("\xF0\x9F\x98\x80"), Smiley());
}

TEST(CBrimStringConvert, MalformedUtf8BecomesOneReplacementPerMaximalSubsequence) {
    const std::wstring r(1, wchar_t(0xFFFD));
    EXPECT_EQ(FromUtf8("a\xC3"), L"a" + r);                         // cut off by the end
    EXPECT_EQ(FromUtf8("\xF0\x9F\x98" "A"), r + L"A");              // cut short by a new character
    EXPECT_EQ(FromUtf8("\xC0\xAF"), r + r);                         // C0 never starts a sequence
    EXPECT_EQ(FromUtf8("\x80\xBF" "b\xFF"), r + r + L"b" + r);      // stray continuations, FF
    EXPECT_EQ(FromUtf8("\xE2\x82\xAC\xE2\x82"), L"\x20AC" + r);     // a good sequence, then a cut one
    // A lead whose second byte is out of its range (overlong E0 80, encoded
    // surrogate ED A0, past U+10FFFF F4 90) is one subsequence by itself, so
    // each byte becomes a U+FFFD. Wine's converter instead takes the lead
    // and that second byte together as one.
    const std::wstring leadAndSecond = RunningUnderWine() ? r : r + r;
    EXPECT_EQ(FromUtf8("\xE0\x80" "A"), leadAndSecond + L"A");
    EXPECT_EQ(FromUtf8("\xED\xA0\x80"), leadAndSecond + r);
    EXPECT_EQ(FromUtf8("\xF4\x90\x80\x80"), leadAndSecond + r + r);
}

TEST(CBrimStringConvert, LoneSurrogatesBecomeTheReplacementCharacter) {
    const std::string replacement = "\xEF\xBF\xBD";
    EXPECT_EQ(ToUtf8(std::wstring{L'a', wchar_t(0xD800), L'b'}), "a" + replacement + "b");
    EXPECT_EQ(ToUtf8(std::wstring{wchar_t(0xDC00)}), replacement);
    EXPECT_EQ(ToUtf8(std::wstring{L'x', wchar_t(0xDBFF)}), "x" + replacement);   // high surrogate at the end
}

// A text whose count does not fit an int fails the sizing call, and nothing
// reaches dst: the conversion may not start before the length is known.
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
    // 32766 characters and the terminator fill the declared capacity exactly.
    const std::wstring fits(32766, L'x');
    EXPECT_EQ(CBrimString::Unicode2UTF8(buffer.data(), fits.c_str()), 32767);
    EXPECT_EQ(buffer[32766], '\0');
    EXPECT_EQ(buffer[32767], '#');

    const CStringW insufficient = CodeText(122);
    EXPECT_EQ(Thrown([&] { CBrimString::Unicode2UTF8(buffer.data(), std::wstring(32767, L'x').c_str()); }), insufficient);
    // Three bytes a character: 10922 of them need 32767 bytes; one more ASCII does not fit.
    const std::wstring hangul(10922, wchar_t(0xD55C));
    EXPECT_EQ(CBrimString::Unicode2UTF8(buffer.data(), hangul.c_str()), 32767);
    EXPECT_EQ(Thrown([&] { CBrimString::Unicode2UTF8(buffer.data(), (hangul + L"a").c_str()); }), insufficient);
    // The other directions have no such limit: they declare the computed size.
    const std::string big(100000, 'y');
    EXPECT_EQ(FromUtf8(big).size(), big.size());
}

// The ANSI code page follows the user's locale; a child process gets one.
struct AnsiResult {
    std::string mbcs, back;
};

AnsiResult ThroughAnsi(const std::string& utf8Hex, const std::string& lang) {
    auto child = brimtest::ChildProcess::Start({"ansi", utf8Hex}, {"LANG=" + lang, "LC_ALL=", "LC_CTYPE="});
    AnsiResult r;
    const std::string first = child->ReadLine();
    const std::string second = child->ReadLine();
    EXPECT_EQ(child->Wait(), 0);
    EXPECT_EQ(first.rfind("mbcs ", 0), 0u) << first;
    EXPECT_EQ(second.rfind("back ", 0), 0u) << second;
    if (first.size() >= 5) r.mbcs = first.substr(5);
    if (second.size() >= 5) r.back = second.substr(5);
    return r;
}

#if defined(_WIN32)
bool AnsiIs(unsigned codePage) { return ::GetACP() == codePage; }
#else
bool AnsiIs(unsigned) { return true; }   // the child's LANG chooses it
#endif

TEST(CBrimStringAnsi, KoreanThroughCodePage949) {
    // Wine takes its code page from an installed Korean locale of the system.
    if (!AnsiIs(949)) GTEST_SKIP() << "the ANSI code page is not 949 here";
    // "한글 A" in UTF-8; in code page 949 C7 D1 B1 DB 20 41.
    const AnsiResult r = ThroughAnsi("ed959ceab88020" "41", "ko_KR.UTF-8");
    EXPECT_EQ(r.mbcs, "c7d1b1db2041");
    EXPECT_EQ(r.back, "ed959ceab8802041");
    // A character outside the code page becomes '?'.
    EXPECT_EQ(ThroughAnsi("e282ac", "ko_KR.UTF-8").mbcs, "a2e6");   // the euro sign is in 949
    EXPECT_EQ(ThroughAnsi("d0af", "ko_KR.UTF-8").mbcs, "acc1");     // so is Cyrillic Я
    EXPECT_EQ(ThroughAnsi("e0b881", "ko_KR.UTF-8").mbcs, "3f");   // Thai is not
}

TEST(CBrimStringAnsi, WesternCodePage1252) {
    if (!AnsiIs(1252)) GTEST_SKIP() << "the ANSI code page is not 1252 here";
    const AnsiResult r = ThroughAnsi("c3a9e282ac", "en_US.UTF-8");   // "é€"
    EXPECT_EQ(r.mbcs, "e980");
    EXPECT_EQ(r.back, "c3a9e282ac");
    EXPECT_EQ(ThroughAnsi("ed959c", "en_US.UTF-8").mbcs, "3f");     // Hangul is not in 1252
}

TEST(CBrimStringUtilities, Byte2CStringDumpsEveryByteWithABlank) {
    const unsigned char bytes[] = {0x0A, 0xFF, 0x00};
    EXPECT_EQ(CBrimString::BYTE2CString(bytes, 2), L"0a ff ");
    EXPECT_EQ(CBrimString::BYTE2CString(bytes, 3), L"0a ff 00 ");
    EXPECT_EQ(CBrimString::BYTE2CString(bytes, 0), L"");
    EXPECT_EQ(CBrimString::BYTE2CString(nullptr, -5), L"");
}

TEST(CBrimStringUtilities, RandomNamesAreLowerCaseLetters) {
    EXPECT_EQ(CBrimString::GetRandomName(0), L"");
    EXPECT_EQ(CBrimString::GetRandomName(-3), L"");
    for (int round = 0; round < 20; ++round) {
        const CStringW name = CBrimString::GetRandomName(8);
        ASSERT_EQ(name.GetLength(), 8);
        for (int i = 0; i < 8; ++i) EXPECT_TRUE(name[i] >= L'a' && name[i] <= L'z') << std::wstring(name.GetString());
    }
    EXPECT_EQ(CBrimString::GetRandomName(1000).GetLength(), 1000);
}

TEST(CBrimStringUtilities, BstrHandOver) {
    BSTR bstr = CBrimString::Unicode2BSTR(L"ab\xD55C");
    ASSERT_NE(bstr, nullptr);
    EXPECT_EQ(SysStringLen(bstr), 3u);
    EXPECT_EQ(CBrimString::BSTR2Unicode(bstr), L"ab\xD55C");
    SysFreeString(bstr);

    BSTR empty = CBrimString::Unicode2BSTR(nullptr);
    ASSERT_NE(empty, nullptr);
    EXPECT_EQ(SysStringLen(empty), 0u);
    EXPECT_EQ(empty[0], L'\0');
    SysFreeString(empty);

    const wchar_t held[] = {L'x', L'y', 0, L'z', 0};
    BSTR embedded = SysAllocStringLen(held, 4);
    EXPECT_EQ(CBrimString::BSTR2Unicode(embedded), L"xy");
    SysFreeString(embedded);
    EXPECT_EQ(CBrimString::BSTR2Unicode(nullptr), L"");
}

std::vector<std::wstring> Contents(const CStringList& list) {
    std::vector<std::wstring> out;
    for (POSITION p = list.GetHeadPosition(); p != nullptr;) out.emplace_back(list.GetNext(p).GetString());
    return out;
}

std::vector<std::wstring> Sorted(std::initializer_list<const wchar_t*> items) {
    CStringList list;
    for (const wchar_t* item : items) list.AddTail(item);
    CBrimString::BubbleSort(&list);
    return Contents(list);
}

TEST(CBrimStringBubbleSort, OrdinalOrder) {
    using V = std::vector<std::wstring>;
    EXPECT_EQ(Sorted({L"b", L"B", L"a"}), (V{L"B", L"a", L"b"}));
    EXPECT_EQ(Sorted({L"ab", L"abc", L"a"}), (V{L"a", L"ab", L"abc"}));
    EXPECT_EQ(Sorted({}), V{});
    EXPECT_EQ(Sorted({L"only"}), V{L"only"});
    EXPECT_EQ(Sorted({L"5", L"4", L"3", L"2", L"1"}), (V{L"1", L"2", L"3", L"4", L"5"}));
    EXPECT_EQ(Sorted({L"", L"\xD55C", L"z", L""}), (V{L"", L"", L"z", L"\xD55C"}));
    // Units compare as unsigned 16-bit numbers on every platform: a character
    // beyond the basic plane (a surrogate pair, D83D...) sorts before U+FFFD.
    const std::wstring smiley = Smiley();
    EXPECT_EQ(Sorted({L"\xFFFD", smiley.c_str(), L"\xD7FF"}), (V{L"\xD7FF", smiley, L"\xFFFD"}));
}

TEST(CBrimStringBubbleSort, ExchangesContentsInPlaceAndIsStable) {
    CStringList list;
    const CStringW firstB = L"b";
    const CStringW secondB = L"b";   // equal text, its own block
    POSITION p1 = list.AddTail(firstB);
    POSITION p2 = list.AddTail(L"a");
    POSITION p3 = list.AddTail(secondB);
    const wchar_t* firstBlock = list.GetAt(p1).GetString();
    const wchar_t* secondBlock = list.GetAt(p3).GetString();
    CBrimString::BubbleSort(&list);
    // The nodes stay where they were; their strings moved.
    EXPECT_EQ(list.GetHeadPosition(), p1);
    EXPECT_EQ(list.GetTailPosition(), p3);
    EXPECT_EQ(list.GetAt(p1), L"a");
    EXPECT_EQ(list.GetAt(p2), L"b");
    EXPECT_EQ(list.GetAt(p3), L"b");
    // Equal strings kept their order.
    EXPECT_EQ(list.GetAt(p2).GetString(), firstBlock);
    EXPECT_EQ(list.GetAt(p3).GetString(), secondBlock);
}

TEST(CBrimNumber, BigEndianDecoding) {
    const unsigned char a[] = {0x12, 0x34, 0x56, 0x78, 0xEE};
    EXPECT_EQ(CBrimNumber::BYTE2UINT(a), 0x12345678u);
    const unsigned char ff[] = {0xFF, 0xFF, 0xFF, 0xFF};
    EXPECT_EQ(CBrimNumber::BYTE2UINT(ff), 4294967295u);
    const unsigned char b[] = {1, 2, 3, 4, 5, 6, 7, 8};
    EXPECT_EQ(CBrimNumber::BYTE2ULONGLONG(b), 0x0102030405060708ull);
    const unsigned char top[] = {0x80, 0, 0, 0, 0, 0, 0, 0};
    EXPECT_EQ(CBrimNumber::BYTE2ULONGLONG(top), 1ull << 63);
    // Exactly 4 (or 8) bytes are read: a heap block of that size and no more.
    std::vector<unsigned char> exact4(a, a + 4), exact8(b, b + 8);
    EXPECT_EQ(CBrimNumber::BYTE2UINT(exact4.data()), 0x12345678u);
    EXPECT_EQ(CBrimNumber::BYTE2ULONGLONG(exact8.data()), 0x0102030405060708ull);
}

// The UTF-16 units of a wide text (values that are no code point kept
// whole), the order the sort must give.
std::vector<std::uint32_t> OrdinalUnits(const wchar_t* text) {
    std::vector<std::uint32_t> units;
    for (; *text != 0; ++text) {
        const auto c = static_cast<std::uint32_t>(*text) & (sizeof(wchar_t) == 2 ? 0xFFFFu : 0xFFFFFFFFu);
        if (c >= 0x10000 && c <= 0x10FFFF) {
            units.push_back(0xD800 + ((c - 0x10000) >> 10));
            units.push_back(0xDC00 + ((c - 0x10000) & 0x3FF));
        } else {
            units.push_back(c);
        }
    }
    return units;
}

// Texts from a small alphabet (many equal, many sharing long prefixes), with
// characters on both sides of the surrogates and values past the code points:
// the result must be a reference stable sort, each node holding the very
// block that sorted there.
TEST(CBrimStringBubbleSort, MatchesAStableSortOnRandomTexts) {
    std::mt19937 rng(4);
    std::vector<wchar_t> alphabet = {L'a', L'b', L'B', L'\xD7FF', L'\xE000', L'\xFFFD', L'\xFFFF', L'0'};
    if (sizeof(wchar_t) == 4) {
        for (std::uint32_t c : {0x10000u, 0x1F600u, 0x10FFFFu, 0x110000u, 0x7FFFFFFFu}) alphabet.push_back(static_cast<wchar_t>(c));
    }
    for (const std::size_t size : {std::size_t{2}, std::size_t{3}, std::size_t{17}, std::size_t{1000}, std::size_t{100000}}) {
        const std::size_t letters = size < 1000 ? alphabet.size() : 3 + rng() % alphabet.size();
        CStringList list;
        std::vector<std::pair<std::vector<std::uint32_t>, const wchar_t*>> expected;
        for (std::size_t i = 0; i < size; ++i) {
            std::wstring text;
            const std::size_t length = rng() % 9;
            // Long shared prefixes: the first units decide nothing.
            if (rng() % 3 == 0) text = L"aaaaaa";
            for (std::size_t k = 0; k < length; ++k) text.push_back(alphabet[rng() % letters]);
            POSITION p = list.AddTail(CStringW(text.c_str()));
            expected.emplace_back(OrdinalUnits(text.c_str()), list.GetAt(p).GetString());
        }
        std::stable_sort(expected.begin(), expected.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
        CBrimString::BubbleSort(&list);
        ASSERT_EQ(list.GetCount(), static_cast<INT_PTR>(size));
        std::size_t i = 0;
        for (POSITION p = list.GetHeadPosition(); p != nullptr; ++i) {
            const wchar_t* block = list.GetNext(p).GetString();
            ASSERT_EQ(block, expected[i].second) << "size " << size << ", item " << i;
        }
    }
}

}  // namespace
