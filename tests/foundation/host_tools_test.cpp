// CBrimMemPool (the printed figures, sizes, a single release) and CBrimTime
// (the file-time arithmetic).
#include <brim/brim.h>

#include "tests/support/printers.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

namespace {

using testing::internal::CaptureStdout;
using testing::internal::GetCapturedStdout;

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

// "<label>\tWorking %7ld Kbytes, PageFileUsage %10ld Kbytes": the label, then
// each figure right-aligned in its columns; a running process has both.
void ExpectFigures(const std::string& line, const std::string& label) {
    static const std::regex form(R"(\tWorking +(\d+) Kbytes, PageFileUsage +(\d+) Kbytes)");
    std::smatch m;
    ASSERT_EQ(line.compare(0, label.size(), label), 0) << line;
    const std::string rest = line.substr(label.size());
    ASSERT_TRUE(std::regex_match(rest, m, form)) << line;
    const long end1 = m.position(1) + m[1].length();   // " Kbytes, PageFileUsage " is 23 characters
    EXPECT_GE(end1 - 9, 7) << line;
    EXPECT_GE(static_cast<long>(rest.size()) - 7 - (end1 + 23), 10) << line;
    EXPECT_GT(std::stol(m[1]), 0);
    EXPECT_GT(std::stol(m[2]), 0);
}

class Pool : public CBrimMemPool {
public:
    Pool() = default;
    explicit Pool(long pages) : CBrimMemPool(pages) {}
    void* Base() const { return m_pBase; }
    bool Create(long pages) { return _Create(pages); }
};

std::string Flushed() {
    std::fflush(stdout);
    return GetCapturedStdout();
}

TEST(CBrimMemPool, ReservationPrintsTwoLinesAndGivesAWritablePage) {
    CaptureStdout();
    Pool pool(1);
    const std::vector<std::string> lines = Lines(Flushed());
    ASSERT_EQ(lines.size(), 2u);
    ExpectFigures(lines[0], "current mem ==> ");
    ExpectFigures(lines[1], "reserved mem ==> ");
    ASSERT_NE(pool.Base(), nullptr);
    auto* bytes = static_cast<unsigned char*>(pool.Base());
    bytes[0] = 0x5A;
    EXPECT_EQ(bytes[0], 0x5A);

    CaptureStdout();
    pool.Destroy();
    const std::vector<std::string> after = Lines(Flushed());
    ASSERT_EQ(after.size(), 1u);
    ExpectFigures(after[0], "current mem ==> ");
    EXPECT_EQ(pool.Base(), nullptr);
}

TEST(CBrimMemPool, RefusedSizesLeaveNullAndStillPrintAndTheDefaultIsAGigabyte) {
    for (long pages : {0L, -1L, 0x7FFFFFFFL, 1L << 20}) {   // 1 << 20 pages of 4 KiB is 4 GiB
        SCOPED_TRACE(pages);
        CaptureStdout();
        SetLastError(0);
        Pool pool(pages);
        const DWORD error = GetLastError();
        const std::vector<std::string> lines = Lines(Flushed());
        EXPECT_EQ(pool.Base(), nullptr);
        EXPECT_EQ(error, 87u);
        ASSERT_EQ(lines.size(), 2u);
        ExpectFigures(lines[1], "reserved mem ==> ");
        CaptureStdout();
        pool.Destroy();   // nothing held: nothing released
        Flushed();
    }
    CaptureStdout();
    Pool pool;
    EXPECT_EQ(Lines(Flushed()).size(), 2u);
    // A 32-bit process may be refused (null); a 64-bit one gets it, all usable.
    if (sizeof(void*) >= 8) {
        ASSERT_NE(pool.Base(), nullptr);
        static_cast<char*>(pool.Base())[(1u << 30) - 1] = 1;
    }
    CaptureStdout();
    pool.Destroy();
    Flushed();
}

TEST(CBrimMemPool, CopiesReleaseTheSharedBlockOnce) {
    CaptureStdout();
    Pool* original = new Pool(4);
    Pool copy(*original);
    Pool assigned(1);
    assigned.Destroy();
    assigned = copy;
    void* first = original->Base();
    EXPECT_EQ(copy.Base(), first);
    EXPECT_EQ(assigned.Base(), first);

    original->Destroy();
    delete original;
    // The address may be reused by the next reservation; the stale copies must
    // not release it.
    Pool next(4);
    std::memset(next.Base(), 0x11, 4 * 4096);
    copy.Destroy();
    assigned.Destroy();
    std::memset(next.Base(), 0x22, 4 * 4096);   // still mapped
    EXPECT_EQ(static_cast<unsigned char*>(next.Base())[4 * 4096 - 1], 0x22);

    next.Create(1);   // releases the block held before (LeakSanitizer would see it)
    EXPECT_NE(next.Base(), nullptr);
    next.Destroy();
    next.Destroy();
    Flushed();
}

// ---------------------------------------------------------------------------
class Stopwatch : public CBrimTime {
public:
    void Set(const SYSTEMTIME& before, const SYSTEMTIME& after) {
        m_tmBefore = before;
        m_tmAfter = after;
    }
};

SYSTEMTIME At(WORD year, WORD month, WORD day, WORD hour, WORD minute, WORD second, WORD ms) {
    SYSTEMTIME t = {};
    t.wYear = year, t.wMonth = month, t.wDay = day;
    t.wHour = hour, t.wMinute = minute, t.wSecond = second, t.wMilliseconds = ms;
    return t;
}

TEST(CBrimTime, ElapsedSecondsWithFourDecimals) {
    const struct {
        SYSTEMTIME before, after;
        const wchar_t* text;
    } cases[] = {
        {At(2024, 3, 1, 10, 0, 0, 0), At(2024, 3, 1, 10, 3, 35, 0), L"215.0000"},
        {At(2024, 3, 1, 10, 0, 0, 500), At(2024, 3, 1, 10, 0, 1, 734), L"1.2340"},
        {At(2024, 2, 29, 23, 59, 59, 999), At(2024, 3, 1, 0, 0, 0, 1), L"0.0020"},   // a leap month's end
        {At(1999, 12, 31, 23, 59, 0, 0), At(2000, 1, 1, 0, 1, 0, 0), L"120.0000"},  // a year's end
        {At(2024, 3, 1, 10, 0, 5, 250), At(2024, 3, 1, 10, 0, 0, 0), L"-5.2500"},    // the clock set back
        // 5 hours and 1 ms = 18 000 001 ms, not exact in single precision.
        {At(2024, 3, 1, 0, 0, 0, 0), At(2024, 3, 1, 5, 0, 0, 1), L"18000.0000"},
    };
    Stopwatch w;
    for (const auto& c : cases) {
        w.Set(c.before, c.after);
        EXPECT_EQ(w.GetTimeString(), CStringW(c.text));
        EXPECT_EQ(w.GetTimeString(), CStringW(c.text));   // reading changes nothing
    }
    CBrimTime clock;   // marks from the clock: never backwards between two marks
    clock.Before();
    clock.After();
    EXPECT_GE(wcstod(clock.GetTimeString(), nullptr), 0.0);
    EXPECT_EQ(clock.GetTimeString().Right(5).GetAt(0), L'.');
}

// CBrimObject: the host supplies the operation, called through the base; a
// new object's word is 0 and a copy carries it.
TEST(CBrimObject, CallsTheHostsOperationAndCopiesItsWord) {
    struct Task : CBrimObject {
        void vExecute() override { ++runs; }
        int runs = 0;
    } task;
    EXPECT_EQ(task.m_dwData, 0u);
    task.m_dwData = 7;
    Task copy(task);
    static_cast<CBrimObject&>(copy).vExecute();
    EXPECT_EQ(copy.m_dwData, 7u);
    EXPECT_EQ(copy.runs, 1);
}

}  // namespace
