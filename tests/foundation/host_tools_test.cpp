// CBrimMemPool (the printed figures, sizes, a single release), CBrimTime and CBrimObject.
#include "tests/support/suite.h"
#include "tests/foundation/suite.h"

#include <sstream>

namespace {

using testing::internal::CaptureStdout;
using testing::internal::GetCapturedStdout;

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

// "<label>\tWorking %7ld Kbytes, PageFileUsage %10ld Kbytes"; a running process has both figures.
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
    explicit Pool(long pages) : CBrimMemPool(pages) {}
    void* Base() const { return m_pBase; }
    bool Create(long pages) { return _Create(pages); }
};

std::string Flushed() {
    std::fflush(stdout);
    return GetCapturedStdout();
}

// The figures go to standard output; Destroy() prints the current ones again.
TEST(CBrimMemPool, ReservationPrintsItsFiguresAndGivesWritablePages) {
    CaptureStdout();
    Pool pool(1);
    std::vector<std::string> lines = Lines(Flushed());
    ASSERT_EQ(lines.size(), 2u);
    ExpectFigures(lines[0], "current mem ==> ");
    ExpectFigures(lines[1], "reserved mem ==> ");
    ASSERT_NE(pool.Base(), nullptr);
    static_cast<unsigned char*>(pool.Base())[4095] = 0x5A;
    CaptureStdout();
    pool.Destroy();
    lines = Lines(Flushed());
    ASSERT_EQ(lines.size(), 1u);
    ExpectFigures(lines[0], "current mem ==> ");
    EXPECT_EQ(pool.Base(), nullptr);
}

TEST(CBrimMemPool, RefusedSizesLeaveNullAndStillPrint) {
    for (long pages : {0L, 1L << 20}) {   // 1 << 20 pages of 4 KiB is 4 GiB
        SCOPED_TRACE(pages);
        CaptureStdout();
        SetLastError(0);
        Pool pool(pages);
        EXPECT_EQ(GetLastError(), 87u);
        pool.Destroy();   // nothing held: nothing released
        const std::vector<std::string> lines = Lines(Flushed());
        EXPECT_EQ(pool.Base(), nullptr);
        ASSERT_EQ(lines.size(), 3u);
        ExpectFigures(lines[1], "reserved mem ==> ");
    }
}

TEST(CBrimMemPool, CopiesReleaseTheSharedBlockOnce) {
    CaptureStdout();
    Pool* original = new Pool(4);
    Pool copy(*original), assigned(1);
    assigned.Destroy();
    assigned = copy;
    EXPECT_EQ(copy.Base(), original->Base());
    EXPECT_EQ(assigned.Base(), original->Base());
    original->Destroy();
    delete original;
    // The address may be reused by the next reservation; the stale copies must not release it.
    Pool next(4);
    copy.Destroy();
    assigned.Destroy();
    std::memset(next.Base(), 0x22, 4 * 4096);   // still mapped
    next.Create(1);   // releases the block held before (LeakSanitizer would see it)
    EXPECT_NE(next.Base(), nullptr);
    next.Destroy();
    next.Destroy();
    Flushed();
}

class Stopwatch : public CBrimTime {
public:
    void Set(const SYSTEMTIME& before, const SYSTEMTIME& after) {
        m_tmBefore = before;
        m_tmAfter = after;
    }
};

SYSTEMTIME At(WORD year, WORD month, WORD day, WORD hour, WORD minute, WORD second, WORD ms) {
    return SYSTEMTIME{year, month, 0, day, hour, minute, second, ms};   // no day of the week
}

TEST(CBrimTime, ElapsedSecondsWithFourDecimals) {
    const struct {
        SYSTEMTIME before, after;
        const wchar_t* text;
    } cases[] = {
        {At(2024, 3, 1, 10, 0, 0, 500), At(2024, 3, 1, 10, 0, 1, 734), L"1.2340"},
        {At(2024, 2, 29, 23, 59, 59, 999), At(2024, 3, 1, 0, 0, 0, 1), L"0.0020"},   // a leap month's end
        {At(2024, 3, 1, 10, 0, 5, 250), At(2024, 3, 1, 10, 0, 0, 0), L"-5.2500"},    // the clock set back
        // 5 hours and 1 ms = 18 000 001 ms, not exact in single precision.
        {At(2024, 3, 1, 0, 0, 0, 0), At(2024, 3, 1, 5, 0, 0, 1), L"18000.0000"},
    };
    Stopwatch w;
    for (const auto& c : cases) {
        w.Set(c.before, c.after);
        EXPECT_EQ(w.GetTimeString(), CStringW(c.text));
    }
    CBrimTime clock;   // marks from the clock: never backwards between two marks
    clock.Before();
    clock.After();
    EXPECT_GE(wcstod(clock.GetTimeString(), nullptr), 0.0);
}

// The host supplies the operation, called through the base; a copy carries the word.
TEST(CBrimObject, CallsTheHostsOperationAndCopiesItsWord) {
    struct Task : CBrimObject {
        void vExecute() override { ++runs; }
        int runs = 0;
    } task;
    task.m_dwData = 7;
    Task copy(task);
    static_cast<CBrimObject&>(copy).vExecute();
    EXPECT_EQ(copy.m_dwData, 7u);
    EXPECT_EQ(copy.runs, 1);
}

}  // namespace
