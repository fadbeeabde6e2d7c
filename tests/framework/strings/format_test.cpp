// The Windows wide printf rules, the same on every platform.
#include "tests/support/suite.h"

#include <climits>

namespace {

CStringW F(const wchar_t* format, ...) {
    va_list args;
    va_start(args, format);
    CStringW s;
    s.FormatV(format, args);
    va_end(args);
    return s;
}

std::wstring W(const CStringW& s) { return s.GetString(); }

// Formatted texts against what they must read.
void ExpectAll(std::initializer_list<std::pair<CStringW, const wchar_t*>> cases) {
    int k = 0;
    for (const auto& [got, want] : cases) EXPECT_EQ(got, want) << "case " << k++;
}

TEST(Format, StringsAndCharacters) {
    ExpectAll({
        {F(L"[%s|%ls|%ws]", L"wide", L"a", L"b"), L"[wide|a|b]"},
        {F(L"[%S|%hs|%lS]", "narrow", "too", L"wide again"), L"[narrow|too|wide again]"},
        {F(L"[%s|%S]", static_cast<const wchar_t*>(nullptr), static_cast<const char*>(nullptr)), L"[(null)|(null)]"},
        {F(L"[%5s|%-5s|%.2s|%.*s|%.3S]", L"ab", L"cd", L"efgh", 3, L"ijklm", "abcdef"), L"[   ab|cd   |ef|ijk|abc]"},
        {F(L"%s", L"\xD55C\xAE00"), L"\xD55C\xAE00"}, {F(L"%c%C%hc%lc%wc", L'a', 'b', 'c', L'd', L'e'), L"abcde"},
        {F(L"[%3c|%-3c|%c]", L'x', L'y', L'\xAC00'), L"[  x|y  |\xAC00]"}});
}

TEST(Format, Integers) {
    EXPECT_EQ(F(L"[%5d|%-5d|%05d|%+d|% d]", -42, -42, -42, 7, 7), L"[  -42|-42  |-0042|+7| 7]");
    EXPECT_EQ(F(L"[%.3d|%.0d|%5.3d]", 7, 0, 7), L"[007||  007]");
    EXPECT_EQ(F(L"%x %X %#x %#X %o %#o %#x", 255, 255, 255, 255, 8, 8, 0), L"ff FF 0xff 0XFF 10 010 0");
    EXPECT_EQ(F(L"%u %d", -1, INT_MIN), L"4294967295 -2147483648");
    EXPECT_EQ(F(L"%hd %hu %hhd %ld %lu", 70000, 70000, 300, -123L, 123UL), L"4464 4464 44 -123 123");
    EXPECT_EQ(F(L"%I64d %I64d", static_cast<std::int64_t>(INT64_MAX), static_cast<std::int64_t>(INT64_MIN)),
              L"9223372036854775807 -9223372036854775808");
    EXPECT_EQ(F(L"%I64u %I64x", static_cast<std::uint64_t>(UINT64_MAX), static_cast<std::uint64_t>(0xABCDEF0123ULL)),
              L"18446744073709551615 abcdef0123");
    EXPECT_EQ(F(L"%I32d %I32u %lld %llu", static_cast<std::int32_t>(-5), static_cast<std::uint32_t>(5), -1LL, 1ULL << 40),
              L"-5 5 -1 1099511627776");
    EXPECT_EQ(F(L"%Id %Iu %zu %td", static_cast<std::ptrdiff_t>(-9), static_cast<std::size_t>(9),
                static_cast<std::size_t>(10), static_cast<std::ptrdiff_t>(-11)),
              L"-9 9 10 -11");
    // A 64-bit conversion between 32-bit ones keeps the argument list aligned.
    EXPECT_EQ(F(L"%d %I64d %d", 1, static_cast<std::int64_t>(1) << 33, 3), L"1 8589934592 3");
    // A negative star width means left-aligned, a negative precision none.
    EXPECT_EQ(F(L"[%*d|%*d|%.*d]", 5, 42, -5, 42, -1, 42), L"[   42|42   |42]");
}

TEST(Format, FloatingPointAndPointers) {
    EXPECT_EQ(F(L"%f %.2e %E", 1.5, 12345.678, 0.5), L"1.500000 1.23e+04 5.000000E-01");
    EXPECT_EQ(F(L"[%-8.1f|%08.2f|%+.0f|%*.*f]", 2.26, -1.5, 2.0, 8, 2, 3.14159), L"[2.3     |-0001.50|+2|    3.14]");
    // Upper-case hex of the pointer's width.
    EXPECT_EQ(W(F(L"%p", static_cast<void*>(nullptr))), std::wstring(2 * sizeof(void*), L'0'));
    EXPECT_EQ(W(F(L"%p", reinterpret_cast<void*>(static_cast<std::uintptr_t>(0xBEEF)))),
              std::wstring(2 * sizeof(void*) - 4, L'0') + L"BEEF");
}

TEST(Format, WhatIsNotAConversionStaysAsWrittenAndIsNeverExpandedAgain) {
    // An unknown conversion takes no argument.
    ExpectAll({{F(L"100%%"), L"100%"}, {F(L"%y and %d", 5), L"%y and 5"}, {F(L"trailing %"), L"trailing %"},
               {F(L"cut %-5"), L"cut %-5"}, {F(L"%I64s"), L"%I64s"}, {F(nullptr), L""}});
    EXPECT_EQ(F(L"%s|%s", L"50%d done %s", L"x"), L"50%d done %s|x");
    CStringW s = L"abc";   // the format's arguments may point into the string itself
    s.AppendFormat(L"-%s-%d", s.GetString(), 1);
    EXPECT_EQ(s, L"abc-abc-1");
    s.Format(L"%s%s", s.GetString(), L"!");
    EXPECT_EQ(s, L"abc-abc-1!");
}

// Every conversion takes the arguments Windows takes for it, whatever it prints, so the next ones read theirs.
TEST(Format, LongOutputAndLargeWidthsPrecisionsAndPercentNTakeTheirArguments) {
    const CStringW s = F(L"<%s>%5000d", std::wstring(100000, L'z').c_str(), 1);
    EXPECT_EQ(s.GetLength(), 100002 + 5000);
    EXPECT_EQ(s.Left(3), L"<zz");
    const std::wstring pad(69999, L' '), zeros(69999, L'0');
    EXPECT_EQ(W(F(L"%70000d|%s", 5, L"tail")), pad + L"5|tail");
    EXPECT_EQ(W(F(L"%*d|%s", 70000, 5, L"tail")), pad + L"5|tail");
    EXPECT_EQ(W(F(L"%-*d|%s", -70000, 5, L"tail")), L"5" + pad + L"|tail");
    EXPECT_EQ(W(F(L"%.70000d|%s", 5, L"tail")), zeros + L"5|tail");
    EXPECT_EQ(W(F(L"%.*d|%s", 70000, 5, L"tail")), zeros + L"5|tail");
    EXPECT_EQ(F(L"%.70000s|%s", L"abc", L"tail"), L"abc|tail");
    EXPECT_EQ(F(L"%.99999999999s|%d", L"abc", 9), L"abc|9");   // past INT_MAX: still one argument
    int untouched = 12345;   // %n never writes through its argument, but takes it
    EXPECT_EQ(F(L"[%n]|%s", &untouched, L"tail"), L"[%n]|tail");
    EXPECT_EQ(F(L"%hn%ln%lln|%d", &untouched, &untouched, &untouched, 3), L"%hn%ln%lln|3");
    EXPECT_EQ(untouched, 12345);

    // A width past any sensible one is bounded (1,048,576 columns), its argument still taken.
    const CStringW huge = F(L"%99999999999d|%s", 5, L"tail");
    EXPECT_EQ(huge.GetLength(), (1 << 20) + 5);
    EXPECT_EQ(huge.Right(6), L"5|tail");

    // The exception's format constructor goes the same way.
    CBrimException* e = new CBrimException(L"%n|%s|%*d", &untouched, L"tail", 3, 4);
    EXPECT_EQ(e->GetMessageW(), L"BrimException : %n|tail|  4");
    e->Delete();
}

}  // namespace
