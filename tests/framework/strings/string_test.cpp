// CStringW as a host of the framework expects it to behave.
#include "tests/support/suite.h"

#include <iterator>

namespace {

TEST(CStringW, ConstructionCopiesAndConcatenation) {
    const std::pair<CStringW, std::wstring> made[] = {
        {CStringW(static_cast<const wchar_t*>(nullptr)), L""}, {CStringW(static_cast<const char*>(nullptr)), L""},
        {CStringW("ascii"), L"ascii"}, {CStringW(L'x', 3), L"xxx"}, {CStringW(L'x', 0), L""},
        {CStringW(L"abcdef", 3), L"abc"}, {CStringW(L"ab\0cd", 5), std::wstring(L"ab\0cd", 5)}};   // zeros kept
    for (const auto& [got, want] : made) EXPECT_EQ(std::wstring(got.GetString(), got.GetLength()), want);
    EXPECT_EQ(*CStringW().GetString(), L'\0');

    CStringW a = L"shared";
    CStringW b = a, c = a;
    EXPECT_EQ(a.GetString(), b.GetString());   // one block until one changes
    b += L"!";
    c.SetAt(0, L'S');
    EXPECT_EQ(a, L"shared");
    EXPECT_EQ(b, L"shared!");
    EXPECT_EQ(c, L"Shared");
    a = a;
    EXPECT_EQ(a, L"shared");

    CStringW s = L"ab";
    s += s;
    s += s.GetString() + 1;   // a pointer into its own text
    s += L'c';
    s += "d";
    EXPECT_EQ(s, L"ababbabcd");
    EXPECT_EQ(L"<" + CStringW(L"x") + L'>', L"<x>");
    CStringW grown;
    for (int i = 0; i < 10000; ++i) grown += L"0123456789";
    ASSERT_EQ(grown.GetLength(), 100000);
    for (int i = 0; i < 100000; i += 10) ASSERT_EQ(grown.Mid(i, 10), L"0123456789") << i;
}

TEST(CStringW, SearchingReplacingAndTrimming) {
    const CStringW s = L"abcabc";
    // The start itself is searched, and so is the first unit backwards.
    const int found[][2] = {{s.Find(L"bc"), 1},       {s.Find(L"bc", 2), 4},   {s.Find(L"bc", 5), -1},
                            {s.Find(L"", 3), 3},      {s.Find(L"a", 6), -1},   {s.Find(L"a", 7), -1},
                            {s.Find(L"a", -1), -1},   {s.Find(nullptr), -1},   {s.Find(L'c', 3), 5},
                            {s.Find(L'b', 4), 4},     {s.ReverseFind(L'a'), 3}, {CStringW(L"abc").ReverseFind(L'a'), 0},
                            {s.ReverseFind(L'z'), -1}, {s.FindOneOf(L"xc"), 2}};
    for (const auto& f : found) EXPECT_EQ(f[0], f[1]) << "case " << &f - found;

    CStringW r = L"\r\nline\r\n";
    EXPECT_EQ(r.Replace(L"\r\n", L"\r\n\t"), 2);
    EXPECT_EQ(r, L"\r\n\tline\r\n\t");
    CStringW t = L"aaa";
    EXPECT_EQ(t.Replace(L"a", L"aa"), 3);   // replacements are not searched again
    EXPECT_EQ(t, L"aaaaaa");
    EXPECT_EQ(t.Replace(L"aa", nullptr), 3);
    EXPECT_TRUE(t.IsEmpty());
    CStringW u = L"keep";
    EXPECT_EQ(u.Replace(L"", L"x"), 0);
    EXPECT_EQ(u.Replace(nullptr, L"x"), 0);
    EXPECT_EQ(u.Replace(L'e', L'E'), 2);
    EXPECT_EQ(u.Remove(L'E'), 2);
    EXPECT_EQ(u, L"kp");

    CStringW w = L" \t text \r\n";
    const std::pair<CStringW, const wchar_t*> trimmed[] = {
        {w.TrimRight(), L" \t text"}, {w.TrimLeft(), L"text"}, {CStringW(L"line\r\n\r\n").TrimRight(L"\r\n"), L"line"},
        {CStringW(L"\t\tx\t").Trim(L'\t'), L"x"}, {CStringW(L"xxxx").Trim(L'x'), L""},
        {CStringW(L"abc").TrimRight(static_cast<const wchar_t*>(nullptr)), L"abc"}};
    for (std::size_t k = 0; k < std::size(trimmed); ++k) EXPECT_EQ(trimmed[k].first, trimmed[k].second) << "case " << k;
}

TEST(CStringW, TokenizeWalksTheText) {
    const CStringW s = L",,txt, log,,";
    int pos = 0;
    std::vector<std::wstring> tokens;
    for (CStringW t = s.Tokenize(L",", pos); pos != -1; t = s.Tokenize(L",", pos)) tokens.emplace_back(t.GetString());
    EXPECT_EQ(tokens, (std::vector<std::wstring>{L"txt", L" log"}));
    for (int start : {0, -5}) {
        EXPECT_EQ(CStringW(start == 0 ? L"" : L"abc").Tokenize(L",", start), L"");
        EXPECT_EQ(start, -1);
    }
    int whole = 1;   // without delimiters the rest is one token, then the walk ends
    EXPECT_EQ(CStringW(L"abc").Tokenize(nullptr, whole), L"bc");
    EXPECT_EQ(CStringW(L"abc").Tokenize(nullptr, whole), L"");
    EXPECT_EQ(whole, -1);
}

TEST(CStringW, PiecesClampToTheStringAndIndexingOutsideThrows) {
    const CStringW s = L"a.tar.gz";
    const std::pair<CStringW, const wchar_t*> pieces[] = {
        {s.Left(1), L"a"},       {s.Left(-1), L""},    {s.Left(100), L"a.tar.gz"}, {s.Right(2), L"gz"},
        {s.Right(-3), L""},      {s.Right(100), s},    {s.Mid(2), L"tar.gz"},      {s.Mid(2, 3), L"tar"},
        {s.Mid(-4, 2), L"a."},   {s.Mid(7, 10), L"z"}, {s.Mid(8), L""},            {s.Mid(50, 2), L""},
        {s.Mid(1, -2), L""}};
    for (std::size_t k = 0; k < std::size(pieces); ++k) EXPECT_EQ(pieces[k].first, pieces[k].second) << "case " << k;
    EXPECT_EQ(s.GetAt(0), L'a');
    for (int bad : {-1, 8, 100}) {
        try {
            (void)s.GetAt(bad);
            ADD_FAILURE() << "index " << bad;
        } catch (CInvalidArgException* e) {
            e->Delete();
        }
    }

    CStringW t = L"ace";
    EXPECT_EQ(t.Insert(1, L"b"), 4);
    EXPECT_EQ(t.Insert(3, L'd'), 5);
    EXPECT_EQ(t.Insert(99, L"!"), 6);
    EXPECT_EQ(t, L"abcde!");
    EXPECT_EQ(t.Delete(1, 2), 4);
    EXPECT_EQ(t, L"ade!");
    EXPECT_EQ(t.Delete(2, 99), 2);
    EXPECT_EQ(t.Delete(5), 2);
}

TEST(CStringW, CompareIsOrdinalAndUnsigned) {
    const int order[][2] = {{CStringW(L"B").Compare(L"a"), -1},   {CStringW(L"b").Compare(L"B"), 1},
                            {CStringW(L"ab").Compare(L"abc"), -1}, {CStringW(L"").Compare(nullptr), 0},
                            {CStringW(L"\xFF01").Compare(L"a"), 1}, {CStringW(L"MiXeD").CompareNoCase(L"mixed"), 0}};
    for (const auto& o : order) EXPECT_EQ((o[0] > 0) - (o[0] < 0), o[1]) << "case " << &o - order;
    EXPECT_TRUE(L"b" > CStringW(L"a"));
    EXPECT_TRUE(CStringW(L"a") != L"A");
}

TEST(CStringW, BuffersAndSysStrings) {
    CStringW s;
    std::wcscpy(s.GetBuffer(10), L"filled");
    s.ReleaseBuffer();
    EXPECT_EQ(s, L"filled");
    s.GetBufferSetLength(3);
    EXPECT_EQ(s, L"fil");
    for (const wchar_t* text : {L"bstr", L""}) {
        BSTR b = CStringW(text).AllocSysString();
        ASSERT_NE(b, nullptr);
        EXPECT_EQ(SysStringLen(b), wcslen(text));
        EXPECT_EQ(std::wstring(b), text);
        SysFreeString(b);
    }
}

TEST(CStringW, CopiesMayLiveOnOtherThreads) {
    const CStringW original = L"shared between threads";
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([original] {
            for (int i = 0; i < 20000; ++i) {
                CStringW copy = original;
                if (i % 7 == 0) copy += L"x";
                ASSERT_EQ(copy.Left(6), L"shared");
            }
        });
    }
    for (auto& t : threads) t.join();
    EXPECT_EQ(original, L"shared between threads");
}

}  // namespace
