// The Windows wide printf rules, the same on every platform.
#include <brim/brim.h>

#include "tests/support/printers.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstdint>
#include <string>

namespace {

CStringW F(const wchar_t* format, ...) {
    va_list args;
    va_start(args, format);
    CStringW s;
    s.FormatV(format, args);
    va_end(args);
    return s;
}

TEST(Format, StringsFollowWindowsRules) {
    EXPECT_EQ(F(L"[%s]", L"wide"), L"[wide]");
    EXPECT_EQ(F(L"[%ls|%ws]", L"a", L"b"), L"[a|b]");
    EXPECT_EQ(F(L"[%S|%hs]", "narrow", "too"), L"[narrow|too]");
    EXPECT_EQ(F(L"[%lS]", L"wide again"), L"[wide again]");
    EXPECT_EQ(F(L"[%s|%S]", static_cast<const wchar_t*>(nullptr), static_cast<const char*>(nullptr)),
              L"[(null)|(null)]");
    EXPECT_EQ(F(L"[%5s|%-5s|%.2s|%.*s]", L"ab", L"cd", L"efgh", 3, L"ijklm"), L"[   ab|cd   |ef|ijk]");
    EXPECT_EQ(F(L"[%.3S]", "abcdef"), L"[abc]");
    EXPECT_EQ(F(L"%s", L"\xD55C\xAE00"), L"\xD55C\xAE00");
}

TEST(Format, CharactersFollowWindowsRules) {
    EXPECT_EQ(F(L"%c%C%hc%lc%wc", L'a', 'b', 'c', L'd', L'e'), L"abcde");
    EXPECT_EQ(F(L"[%3c|%-3c]", L'x', L'y'), L"[  x|y  ]");
    EXPECT_EQ(F(L"%c", L'\xAC00'), L"\xAC00");
}

TEST(Format, Integers) {
    EXPECT_EQ(F(L"%d %i %u", -42, 17, 3u), L"-42 17 3");
    EXPECT_EQ(F(L"[%5d|%-5d|%05d|%+d|% d]", -42, -42, -42, 7, 7), L"[  -42|-42  |-0042|+7| 7]");
    EXPECT_EQ(F(L"[%.3d|%.0d|%5.3d]", 7, 0, 7), L"[007||  007]");
    EXPECT_EQ(F(L"%x %X %#x %#X %o %#o %#x", 255, 255, 255, 255, 8, 8, 0), L"ff FF 0xff 0XFF 10 010 0");
    EXPECT_EQ(F(L"%u", -1), L"4294967295");
    EXPECT_EQ(F(L"%hd %hu %hhd", 70000, 70000, 300), L"4464 4464 44");
    EXPECT_EQ(F(L"%ld %lu", -123L, 123UL), L"-123 123");
    EXPECT_EQ(F(L"%d", INT_MIN), L"-2147483648");
}

TEST(Format, SizedIntegersOfWindows) {
    EXPECT_EQ(F(L"%I64d", static_cast<std::int64_t>(INT64_MAX)), L"9223372036854775807");
    EXPECT_EQ(F(L"%I64d", static_cast<std::int64_t>(INT64_MIN)), L"-9223372036854775808");
    EXPECT_EQ(F(L"%I64u %I64x", static_cast<std::uint64_t>(UINT64_MAX), static_cast<std::uint64_t>(0xABCDEF0123ULL)),
              L"18446744073709551615 abcdef0123");
    EXPECT_EQ(F(L"%I32d %I32u", static_cast<std::int32_t>(-5), static_cast<std::uint32_t>(5)), L"-5 5");
    EXPECT_EQ(F(L"%lld %llu", -1LL, 1ULL << 40), L"-1 1099511627776");
    EXPECT_EQ(F(L"%Id %Iu %zu %td", static_cast<std::ptrdiff_t>(-9), static_cast<std::size_t>(9),
                static_cast<std::size_t>(10), static_cast<std::ptrdiff_t>(-11)),
              L"-9 9 10 -11");
    // A 64-bit conversion between 32-bit ones keeps the argument list aligned.
    EXPECT_EQ(F(L"%d %I64d %d", 1, static_cast<std::int64_t>(1) << 33, 3), L"1 8589934592 3");
}

TEST(Format, StarWidthAndPrecision) {
    EXPECT_EQ(F(L"[%*d]", 5, 42), L"[   42]");
    EXPECT_EQ(F(L"[%*d]", -5, 42), L"[42   ]");   // a negative width means left-aligned
    EXPECT_EQ(F(L"[%.*d]", -1, 42), L"[42]");     // a negative precision counts as none
    EXPECT_EQ(F(L"[%*.*f]", 8, 2, 3.14159), L"[    3.14]");
}

TEST(Format, FloatingPoint) {
    EXPECT_EQ(F(L"%f", 1.5), L"1.500000");
    EXPECT_EQ(F(L"%.2e", 12345.678), L"1.23e+04");
    EXPECT_EQ(F(L"%E", 0.5), L"5.000000E-01");
    EXPECT_EQ(F(L"%g %g", 0.0001, 1e20), L"0.0001 1e+20");
    EXPECT_EQ(F(L"[%-8.1f|%08.2f|%+.0f]", 2.26, -1.5, 2.0), L"[2.3     |-0001.50|+2]");
    EXPECT_EQ(F(L"%.4f", static_cast<double>(static_cast<float>(1234) / 1000.0f)), L"1.2340");
}

TEST(Format, PointersAreUpperCaseHexOfPointerWidth) {
    const std::wstring zeros(2 * sizeof(void*), L'0');
    EXPECT_EQ(F(L"%p", static_cast<void*>(nullptr)), zeros.c_str());
    std::wstring expected(2 * sizeof(void*) - 4, L'0');
    expected += L"BEEF";
    EXPECT_EQ(F(L"%p", reinterpret_cast<void*>(static_cast<std::uintptr_t>(0xBEEF))), expected.c_str());
}

TEST(Format, WhatIsNotAConversionStaysAsWritten) {
    EXPECT_EQ(F(L"100%%"), L"100%");
    EXPECT_EQ(F(L"%y and %d", 5), L"%y and 5");       // an unknown conversion takes no argument
    EXPECT_EQ(F(L"trailing %"), L"trailing %");
    EXPECT_EQ(F(L"cut %-5"), L"cut %-5");
    EXPECT_EQ(F(L"%I64s"), L"%I64s");
    int untouched = 12345;
    EXPECT_EQ(F(L"[%n]", &untouched), L"[%n]");        // %n never writes through an argument, but takes it
    EXPECT_EQ(untouched, 12345);
    EXPECT_EQ(F(nullptr), L"");
}

TEST(Format, FinishedTextIsNeverExpandedAgain) {
    const CStringW finished = F(L"%s", L"50%d done %s");
    EXPECT_EQ(finished, L"50%d done %s");
    EXPECT_EQ(F(L"%s|%s", finished.GetString(), L"x"), L"50%d done %s|x");
}

TEST(Format, AppendFormatMayUseItsOwnText) {
    CStringW s = L"abc";
    s.AppendFormat(L"-%s-%d", s.GetString(), 1);
    EXPECT_EQ(s, L"abc-abc-1");
    s.Format(L"%s%s", s.GetString(), L"!");
    EXPECT_EQ(s, L"abc-abc-1!");
}

TEST(Format, LongOutputIsWhole) {
    const std::wstring big(100000, L'z');
    const CStringW s = F(L"<%s>%5000d", big.c_str(), 1);
    EXPECT_EQ(s.GetLength(), 100002 + 5000);
    EXPECT_EQ(s.Left(3), L"<zz");
}

}  // namespace

// Every conversion takes the arguments Windows takes for it, whatever it
// prints, so that the conversions after it read the right ones.
TEST(Format, LargeWidthsPrecisionsAndPercentNTakeTheirArguments) {
    const std::wstring pad(69999, L' ');
    EXPECT_EQ(std::wstring(F(L"%70000d|%s", 5, L"tail").GetString()), pad + L"5|tail");
    EXPECT_EQ(std::wstring(F(L"%*d|%s", 70000, 5, L"tail").GetString()), pad + L"5|tail");
    EXPECT_EQ(std::wstring(F(L"%-*d|%s", -70000, 5, L"tail").GetString()), L"5" + pad + L"|tail");
    EXPECT_EQ(std::wstring(F(L"%.70000d|%s", 5, L"tail").GetString()), std::wstring(69999, L'0') + L"5|tail");
    EXPECT_EQ(std::wstring(F(L"%.*d|%s", 70000, 5, L"tail").GetString()), std::wstring(69999, L'0') + L"5|tail");
    EXPECT_EQ(F(L"%.70000s|%s", L"abc", L"tail"), L"abc|tail");
    EXPECT_EQ(F(L"%.99999999999s|%d", L"abc", 9), L"abc|9");   // past INT_MAX: still one argument
    int untouched = 12345;
    EXPECT_EQ(F(L"%n|%s", &untouched, L"tail"), L"%n|tail");
    EXPECT_EQ(F(L"%hn%ln%lln|%d", &untouched, &untouched, &untouched, 3), L"%hn%ln%lln|3");
    EXPECT_EQ(untouched, 12345);

    // A width past any sensible one is bounded (1,048,576 columns), its argument still taken.
    const CStringW huge = F(L"%99999999999d|%s", 5, L"tail");
    EXPECT_EQ(huge.GetLength(), (1 << 20) + 5);
    EXPECT_EQ(huge.Right(6), L"5|tail");

    // The exception's format constructor goes the same way (its text is cut at 1023).
    CBrimException* e = new CBrimException(L"%n|%s|%*d", &untouched, L"tail", 3, 4);
    EXPECT_EQ(e->GetMessageW(), L"BrimException : %n|tail|  4");
    e->Delete();
    e = new CBrimException(L"%2000d%s", 1, L"tail");
    EXPECT_EQ(e->GetMessageW().GetLength(), 16 + 1023);
    e->Delete();
}
