#include <brim/text.h>

#include "framework/codepages/codepage.h"
#include "framework/system/clock.h"

#include <algorithm>
#include <climits>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <utility>
#include <vector>

namespace {

using brim::platform::kCodePageAnsi;
using brim::platform::kCodePageUtf8;

// What the converting call of Unicode2UTF8 declares, whatever dst holds.
constexpr int kUtf8DeclaredCapacity = 32767;

// The texts of one direction: a null source, a failed sizing call.
struct Direction {
    const wchar_t* noSource;
    const wchar_t* cannotSize;
};
constexpr Direction kToMbcs = {L"No Unicode Value", L"Can not change Unicode to MBCS"};
constexpr Direction kToUtf8 = {L"No Unicode Value", L"Can not change Unicode to UTF8"};
constexpr Direction kFromUtf8 = {L"No UTF-8 Value", L"Can not change UTF8 to Unicode"};
constexpr Direction kFromMbcs = {L"No MBCS Value", L"Can not change MBCS to Unicode"};

// Fixed texts go through the format constructor as the format itself; none
// holds a '%'.
[[noreturn]] void Fail(const wchar_t* text) { throw new CBrimException(text); }

[[noreturn]] void FailWithLastError() {
    const unsigned long code = GetLastError();
    throw new CBrimException(code);
}

int WideSize(unsigned codePage, const wchar_t* src, const Direction& d) {
    if (src == nullptr) Fail(d.noSource);
    const int n = brim::platform::WideToMultiByte(codePage, src, -1, nullptr, 0);
    if (n == 0) Fail(d.cannotSize);
    return n;
}

int ByteSize(unsigned codePage, const char* src, const Direction& d) {
    if (src == nullptr) Fail(d.noSource);
    const int n = brim::platform::MultiByteToWide(codePage, src, -1, nullptr, 0);
    if (n == 0) Fail(d.cannotSize);
    return n;
}

void WideConvert(unsigned codePage, char* dst, int capacity, const wchar_t* src) {
    if (brim::platform::WideToMultiByte(codePage, src, -1, dst, capacity) == 0) FailWithLastError();
}

void ByteConvert(unsigned codePage, wchar_t* dst, int capacity, const char* src) {
    if (brim::platform::MultiByteToWide(codePage, src, -1, dst, capacity) == 0) FailWithLastError();
}

// UTF-8 takes at least one byte for every wide unit (a U+FFFD included), so a
// text of fewer than INT_MAX bytes always sizes, and its conversion writes
// exactly its count whatever larger capacity is declared. For such a text the
// sizing call is settled by the length alone, a quick read rather than a
// second decoding pass, and nothing is written to dst that sizing would not
// have allowed. A longer text takes the full sizing call and its failure.
void Utf8ToWide(wchar_t* dst, const char* src) {
    if (src == nullptr) Fail(kFromUtf8.noSource);
    const std::size_t length = strnlen(src, INT_MAX);
    if (length >= INT_MAX) {
        ByteConvert(kCodePageUtf8, dst, ByteSize(kCodePageUtf8, src, kFromUtf8), src);
        return;
    }
    const int units = static_cast<int>(length) + 1;   // the terminator too
    if (brim::platform::MultiByteToWide(kCodePageUtf8, src, units, dst, units) == 0) FailWithLastError();
}

// The same for the other direction: a wide unit takes at most four UTF-8
// bytes, so a text of fewer than INT_MAX / 4 units always sizes, and the
// converting call returns the count the sizing call would have. Its declared
// capacity, and the failure when the text does not fit it, are unchanged.
int WideToUtf8(char* dst, const wchar_t* src) {
    if (src == nullptr) Fail(kToUtf8.noSource);
    constexpr std::size_t kSurelySized = INT_MAX / 4;
    const std::size_t length = wcsnlen(src, kSurelySized);
    if (length >= kSurelySized) {
        const int n = WideSize(kCodePageUtf8, src, kToUtf8);
        WideConvert(kCodePageUtf8, dst, kUtf8DeclaredCapacity, src);
        return n;
    }
    const int n = brim::platform::WideToMultiByte(kCodePageUtf8, src, static_cast<int>(length) + 1, dst,
                                                  kUtf8DeclaredCapacity);
    if (n == 0) FailWithLastError();
    return n;
}

// The UTF-16 code units of a wide text one by one (wchar_t is UTF-32 on
// POSIX), so that strings sort the same on every platform.
class Utf16Units {
public:
    explicit Utf16Units(const wchar_t* text) : m_text(text) {}
    // The next unit, 0 at the end.
    std::uint32_t Next() {
        if (m_low != 0) {
            const std::uint32_t low = m_low;
            m_low = 0;
            return low;
        }
        const auto c = static_cast<std::uint32_t>(*m_text);
        if (c == 0) return 0;
        ++m_text;
        if (sizeof(wchar_t) == 2 || c < 0x10000 || c > 0x10FFFF) return c & (sizeof(wchar_t) == 2 ? 0xFFFFu : 0xFFFFFFFFu);
        m_low = 0xDC00 + ((c - 0x10000) & 0x3FF);
        return 0xD800 + ((c - 0x10000) >> 10);
    }

private:
    const wchar_t* m_text;
    std::uint32_t m_low = 0;
};

// Ordinal: unit by unit as unsigned numbers; a prefix sorts first.
int CompareOrdinal(const wchar_t* a, const wchar_t* b) {
    Utf16Units x(a), y(b);
    for (;;) {
        const std::uint32_t u = x.Next(), v = y.Next();
        if (u != v) return u < v ? -1 : 1;
        if (u == 0) return 0;
    }
}

// The first eight UTF-16 units of a text as two numbers, the first unit
// highest, zeros past its end: a text that sorts before another never has a
// larger key, so texts whose keys differ sort by them alone. A value past 16
// bits (no code point, kept whole on POSIX) and all after it count as FFFF.
struct SortEntry {
    std::uint64_t lead;
    std::uint64_t next;
    CStringW* text;
};

void LeadingUnits(const wchar_t* text, SortEntry& entry) {
    Utf16Units units(text);
    std::uint64_t key[2] = {0, 0};
    bool ended = false, saturated = false;
    for (int k = 0; k < 8; ++k) {
        std::uint32_t u = 0;
        if (saturated) {
            u = 0xFFFF;
        } else if (!ended) {
            u = units.Next();
            if (u > 0xFFFF) u = 0xFFFF, saturated = true;
            ended = u == 0;
        }
        key[k / 4] = key[k / 4] << 16 | u;
    }
    entry.lead = key[0];
    entry.next = key[1];
}

}  // namespace

int CBrimString::Unicode2MBCSCount(const wchar_t* src) { return WideSize(kCodePageAnsi, src, kToMbcs); }

// A conversion writes exactly the units its sizing call reports, whatever
// larger capacity it declares, so the ANSI conversions try first without a
// sizing pass; only a failure (the text does not size, or has no converter)
// takes the sizing call and its failure, as before.
void CBrimString::Unicode2MBCS(char* dst, const wchar_t* src) {
    if (src == nullptr) Fail(kToMbcs.noSource);
    if (brim::platform::WideToMultiByte(kCodePageAnsi, src, -1, dst, INT_MAX) != 0) return;
    WideConvert(kCodePageAnsi, dst, WideSize(kCodePageAnsi, src, kToMbcs), src);
}

int CBrimString::UTF82UnicodeCount(const char* src) { return ByteSize(kCodePageUtf8, src, kFromUtf8); }

void CBrimString::UTF82Unicode(wchar_t* dst, const char* src) { Utf8ToWide(dst, src); }

int CBrimString::MBCS2UnicodeCount(const char* src) { return ByteSize(kCodePageAnsi, src, kFromMbcs); }

void CBrimString::MBCS2Unicode(wchar_t* dst, const char* src) {
    if (src == nullptr) Fail(kFromMbcs.noSource);
    if (brim::platform::MultiByteToWide(kCodePageAnsi, src, -1, dst, INT_MAX) != 0) return;
    ByteConvert(kCodePageAnsi, dst, ByteSize(kCodePageAnsi, src, kFromMbcs), src);
}

int CBrimString::Unicode2UTF8(char* dst, const wchar_t* src) { return WideToUtf8(dst, src); }

CStringW CBrimString::CodePage2Unicode(unsigned int codePage, const char* src, int length) {
    if (src == nullptr || length < 0) {
        SetLastError(87);
        FailWithLastError();
    }
    CStringW text;
    if (length == 0) return text;
    const int n = brim::platform::MultiByteToWide(codePage, src, length, nullptr, 0);
    if (n == 0) FailWithLastError();
    const int made = brim::platform::MultiByteToWide(codePage, src, length, text.GetBufferSetLength(n), n);
    if (made == 0) FailWithLastError();
    text.ReleaseBuffer(made);
    return text;
}

CStringW CBrimString::BYTE2CString(const unsigned char* data, const int& len) {
    static constexpr wchar_t kHex[] = L"0123456789abcdef";
    CStringW result;
    for (int i = 0; i < len; ++i) {
        const wchar_t item[3] = {kHex[data[i] >> 4], kHex[data[i] & 0xF], L' '};
        result.Append(item, 3);
    }
    return result;
}

CStringW CBrimString::GetRandomName(const int& len) {
    std::srand(brim::platform::TickCount());
    CStringW result;
    for (int i = 0; i < len; ++i) {
        const auto r = static_cast<std::uint32_t>(std::rand());
        const std::uint32_t t = brim::platform::TickCount();
        result += static_cast<wchar_t>(L'a' + (t * r) % 26u);
    }
    return result;
}

CStringW CBrimString::BSTR2Unicode(wchar_t* bstr) { return CStringW(bstr); }

wchar_t* CBrimString::Unicode2BSTR(const wchar_t* src) { return CStringW(src).AllocSysString(); }

// A stable ordinal sort. The nodes stay where they are and the strings move
// between them (moves hand a block over, they never copy text): an array of
// keys is sorted by a merge sort, then each node takes its string.
void CBrimString::BubbleSort(CStringList* list) {
    const INT_PTR count = list->GetCount();
    if (count < 2) return;
    std::vector<SortEntry> entries;
    entries.reserve(static_cast<std::size_t>(count));
    for (POSITION at = list->GetHeadPosition(); at != nullptr;) {
        CStringW& text = list->GetNext(at);
        entries.push_back({0, 0, &text});
        LeadingUnits(text, entries.back());
    }
    std::stable_sort(entries.begin(), entries.end(), [](const SortEntry& a, const SortEntry& b) {
        if (a.lead != b.lead) return a.lead < b.lead;
        if (a.next != b.next) return a.next < b.next;
        return CompareOrdinal(a.text->GetString(), b.text->GetString()) < 0;
    });
    std::vector<CStringW> sorted;
    sorted.reserve(entries.size());
    for (SortEntry& e : entries) sorted.push_back(std::move(*e.text));
    std::size_t next = 0;
    for (POSITION at = list->GetHeadPosition(); at != nullptr;) list->GetNext(at) = std::move(sorted[next++]);
}
