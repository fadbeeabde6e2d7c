// The daily log: the exact record, filtering, the day file, failures, and
// the named mutex that every path must release.
#include <brim/brim.h>

#include "tests/support/printers.h"
#include "tests/support/temp_dir.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <regex>
#include <string>
#include <thread>
#include <vector>

namespace {

using brimtest::ReadBytes;
using brimtest::TempDir;

// The log's folder is process-wide: each test points it at its own folder
// and puts the default back afterwards.
class LogTest : public ::testing::Test {
protected:
    void SetUp() override { Use(0); }
    void TearDown() override { CBrimLog::Init(0, L"./Log/"); }

    void Use(int level) { CBrimLog::Init(level, Folder()); }
    CStringW Folder() const { return CStringW((dir.Path().wstring() + L"/").c_str()); }

    // Every .log file of the folder, concatenated (normally just today's).
    std::string Written() const {
        std::string all;
        for (const auto& entry : std::filesystem::directory_iterator(dir.Path())) {
            if (entry.path().extension() == ".log") all += ReadBytes(entry.path());
        }
        return all;
    }

    // The records after the byte-order mark, with their stamps replaced by "[T] ".
    std::string Records() const {
        std::string text = Written();
        if (text.rfind("\xEF\xBB\xBF", 0) == 0) text.erase(0, 3);
        static const std::regex stamp(R"(\[\d{4}-\d{2}-\d{2} \d{2}:\d{2}:\d{2}\] )");
        return std::regex_replace(text, stamp, "[T] ");
    }

    TempDir dir;
};

// Whether another thread can take the log's mutex within the time-out. The
// mutex is shared with every process of the user (other test programs
// included), so a free mutex may need a moment; a held one never comes free.
bool LogMutexComesFree(DWORD timeoutMs) {
    bool free = false;
    std::thread([&] {
        CMutex probe(FALSE, L"MutexBrimLog");
        free = probe.Lock(timeoutMs) != FALSE;
        if (free) probe.Unlock();
    }).join();
    return free;
}

TEST_F(LogTest, RecordAtThresholdZeroCarriesTheSourceLocation) {
    _brimLog.LogPreFix("C:\\work\\net\\Ftp.cpp", 120, "CHost::Run");
    _brimLog.Log(1, L"Started %d", 3);
    EXPECT_EQ(Records(), "[T] INFO  Ftp.cpp                CHost::Run                                   (  120) - Started 3\r\n");
    EXPECT_EQ(Written().substr(0, 3), "\xEF\xBB\xBF");
}

TEST_F(LogTest, LevelWordsAndLevelsOutsideTheTable) {
    const char* file = "/src/main.cpp";
    for (int level : {0, 1, 2, 5, -1}) {
        _brimLog.LogPreFix(file, 7, "f");
        _brimLog.Log(level, L"L%d", level);
    }
    const std::string prefix = "main.cpp               f" + std::string(43, ' ') + " (    7) - ";
    EXPECT_EQ(Records(), "[T] DEBUG " + prefix + "L0\r\n"
                         "[T] INFO  " + prefix + "L1\r\n"
                         "[T] ERROR " + prefix + "L2\r\n"
                         "[T] " + prefix + "L5\r\n");   // -1 is below the threshold 0
}

TEST_F(LogTest, ThresholdsDropRecordsAndTheLocation) {
    Use(1);
    _brimLog.LogPreFix("a.cpp", 1, "f");
    _brimLog.Log(0, L"dropped");
    EXPECT_TRUE(LogMutexComesFree(30000)) << "a dropped record must release the mutex";
    _brimLog.LogPreFix("a.cpp", 1, "f");
    _brimLog.Log(2, L"kept");
    Use(-3);
    _brimLog.LogPreFix("a.cpp", 1, "f");
    _brimLog.Log(-3, L"negative");
    _brimLog.LogPreFix("a.cpp", 1, "f");
    _brimLog.Log(-4, L"below");
    EXPECT_EQ(Records(), "[T] ERROR kept\r\n[T] negative\r\n");
}

TEST_F(LogTest, TextLinesAreIndentedAndEndInOneLineBreak) {
    Use(1);
    const struct {
        const wchar_t* text;
        const char* expected;
    } cases[] = {
        {L"two\r\nlines\r\n", "[T] INFO  \r\n\ttwo\r\n\tlines\r\n"},
        {L"one\r\n\r\n\r\n", "[T] INFO  one\r\n"},
        {L"", "[T] INFO  \r\n"},
        {L"bare\nfeed", "[T] INFO  bare\nfeed\r\n"},
        {L"\r\nleading", "[T] INFO  \r\n\tleading\r\n"},
        {L"tab\t\r\nend\t", "[T] INFO  \r\n\ttab\t\r\n\tend\t\r\n"},
    };
    std::string expected;
    for (const auto& c : cases) {
        _brimLog.LogPreFix("a.cpp", 1, "f");
        _brimLog.Log(1, L"%s", c.text);
        expected += c.expected;
    }
    EXPECT_EQ(Records(), expected);
}

TEST_F(LogTest, NullFunctionKeepsThePreviousOneAndLongNamesAreNotCut) {
    _brimLog.LogPreFix("x.cpp", 1, "First");
    _brimLog.Log(1, L"a");
    _brimLog.LogPreFix("a/very_long_source_file_name_beyond.cpp", 22, nullptr);
    _brimLog.Log(1, L"b");
    const std::string records = Records();
    EXPECT_NE(records.find("INFO  very_long_source_file_name_beyond.cpp First" + std::string(39, ' ') + " (   22) - b\r\n"),
              std::string::npos)
        << records;
}

TEST_F(LogTest, PercentSignsInArgumentsStayAndLongTextIsCut) {
    Use(1);
    _brimLog.LogPreFix("a.cpp", 1, "f");
    _brimLog.Log(1, L"%s", L"100% %d %s");
    const std::wstring huge(9000, L'x');
    _brimLog.LogPreFix("a.cpp", 1, "f");
    _brimLog.Log(1, L"%s", huge.c_str());
    const std::string records = Records();
    EXPECT_EQ(records.substr(0, 26), "[T] INFO  100% %d %s\r\n[T] ");
    EXPECT_EQ(records.size(), 22u + 10u + 8195u + 2u);   // 8196 units with the terminator
}

TEST_F(LogTest, FolderWithoutSeparatorPrefixesTheFileName) {
    const CStringW prefix = CStringW(dir.Path().wstring().c_str()) + L"/Log";
    CBrimLog::Init(1, prefix);
    _brimLog.LogPreFix("a.cpp", 1, "f");
    _brimLog.Log(1, L"beside");
    bool found = false;
    for (const auto& entry : std::filesystem::directory_iterator(dir.Path())) {
        const std::string name = entry.path().filename().string();
        if (name.size() == 17 && name.rfind("Log", 0) == 0 && name.substr(13) == ".log") found = true;
    }
    EXPECT_TRUE(found) << "expected LogYYYY-MM-DD.log beside the folder";
    EXPECT_TRUE(std::filesystem::is_directory(dir.Path() / "Log")) << "the folder itself is still created";
}

TEST_F(LogTest, AFolderThatGoesAwayIsMadeAgain) {
    const std::filesystem::path logs = dir.Path() / "logs";
    CBrimLog::Init(1, (logs.wstring() + L"/").c_str());
    _brimLog.LogPreFix("a.cpp", 1, "f");
    _brimLog.Log(1, L"first");
    ASSERT_TRUE(std::filesystem::is_directory(logs));
    std::filesystem::remove_all(logs);
    _brimLog.LogPreFix("a.cpp", 1, "f");
    _brimLog.Log(1, L"second");
    std::string all;
    for (const auto& entry : std::filesystem::directory_iterator(logs)) all += ReadBytes(entry.path());
    EXPECT_EQ(all.substr(0, 3), "\xEF\xBB\xBF");
    EXPECT_NE(all.find("INFO  second\r\n"), std::string::npos) << all;
    EXPECT_EQ(all.find("first"), std::string::npos);
}

TEST_F(LogTest, ANameBufferFilledAgainIsReadAgain) {
    Use(0);
    char file[32] = "src/one.cpp";
    char function[32] = "First";
    _brimLog.LogPreFix(file, 1, function);
    _brimLog.Log(1, L"a");
    std::snprintf(file, sizeof file, "src/two.cpp");
    std::snprintf(function, sizeof function, "Second");
    _brimLog.LogPreFix(file, 2, function);
    _brimLog.Log(1, L"b");
    const std::string records = Records();
    EXPECT_NE(records.find("INFO  one.cpp                First "), std::string::npos) << records;
    EXPECT_NE(records.find("INFO  two.cpp                Second "), std::string::npos) << records;
}

TEST_F(LogTest, AFolderSetMidSecondTakesTheNextRecord) {
    TempDir other;
    _brimLog.LogPreFix("a.cpp", 1, "f");
    _brimLog.Log(1, L"here");
    CBrimLog::Init(0, (other.Path().wstring() + L"/").c_str());
    _brimLog.LogPreFix("a.cpp", 1, "f");
    _brimLog.Log(1, L"there");
    EXPECT_EQ(Records().find("there"), std::string::npos);
    std::string moved;
    for (const auto& entry : std::filesystem::directory_iterator(other.Path())) moved += ReadBytes(entry.path());
    EXPECT_NE(moved.find("there"), std::string::npos);
}

TEST_F(LogTest, ADayFileThatCannotBeCreatedDropsTheRecordSilently) {
    const CStringW missing = CStringW(dir.Path().wstring().c_str()) + L"/no/such/folder/";
    CBrimLog::Init(0, missing);
    _brimLog.LogPreFix("a.cpp", 1, "f");
    EXPECT_NO_THROW(_brimLog.Log(1, L"lost"));
    EXPECT_TRUE(LogMutexComesFree(30000));
    EXPECT_FALSE(std::filesystem::exists(dir.Path() / "no"));   // only one level is ever created
}

TEST_F(LogTest, RecordsAppendToOneFileWithOneMark) {
    for (int i = 0; i < 3; ++i) {
        _brimLog.LogPreFix("a.cpp", 1, "f");
        _brimLog.Log(1, L"r%d", i);
    }
    const std::string all = Written();
    EXPECT_EQ(all.find("\xEF\xBB\xBF"), 0u);
    EXPECT_EQ(all.find("\xEF\xBB\xBF", 1), std::string::npos);
}

TEST_F(LogTest, HostMacroWritesOneRecord) {
    BRIM_LOG(2, L"macro %s", L"works");
    const std::string records = Records();
    EXPECT_NE(records.find("ERROR log_test.cpp"), std::string::npos) << records;
    EXPECT_NE(records.find(") - macro works\r\n"), std::string::npos) << records;
}

TEST_F(LogTest, NestedPrefixOnOneThreadOverwritesTheFirstRecord) {
    _brimLog.LogPreFix("a.cpp", 1, "outer");
    _brimLog.LogPreFix("b.cpp", 2, "inner");   // the mutex is recursive for its owner
    _brimLog.Log(1, L"one");
    EXPECT_FALSE(LogMutexComesFree(300)) << "one level is still held";
    _brimLog.Log(1, L"two");   // completes the overwritten record again
    EXPECT_TRUE(LogMutexComesFree(30000));
}

#if !defined(_WIN32)
// POSIX only: /dev/full accepts the open and refuses the write, which no
// Windows file reproduces on demand.
TEST_F(LogTest, AWriteFailureIsWrappedAndTheMutexIsFree) {
    CBrimLog::Init(1, Folder());
    _brimLog.LogPreFix("a.cpp", 1, "f");
    _brimLog.Log(1, L"creates today's file");
    std::filesystem::path today;
    for (const auto& entry : std::filesystem::directory_iterator(dir.Path())) today = entry.path();
    std::filesystem::remove(today);
    std::filesystem::create_symlink("/dev/full", today);
    _brimLog.LogPreFix("a.cpp", 1, "f");
    try {
        _brimLog.Log(1, L"cannot be written");
        ADD_FAILURE() << "the write failure must surface";
    } catch (CBrimException* e) {
        const CStringW message = e->GetMessageW();
        e->Delete();
        EXPECT_EQ(message.Left(32), L"BrimException : BrimException : ");
    }
    EXPECT_TRUE(LogMutexComesFree(30000));
}
#endif

}  // namespace

namespace {

// A CR LF anywhere after the first character makes the text a multi-line
// one, also when the text itself starts with a CR LF.
TEST_F(LogTest, ALineBreakAfterALeadingOneStillStartsTheTextOnItsOwnLine) {
    Use(1);
    for (const wchar_t* text : {L"\r\nabc\r\ndef", L"\r\nabc", L"a\r\nb", L"\r\n\r\n"}) {
        _brimLog.LogPreFix("f.cpp", 1, "f");
        _brimLog.Log(1, L"%s", text);
    }
    EXPECT_EQ(Records(), "[T] INFO  \r\n\t\r\n\tabc\r\n\tdef\r\n"
                         "[T] INFO  \r\n\tabc\r\n"
                         "[T] INFO  \r\n\ta\r\n\tb\r\n"
                         "[T] INFO  \r\n");
}

// Conversions whose width or precision is large, and %n, still take their
// arguments: the ones after them read the right argument.
TEST_F(LogTest, LargeWidthsAndPercentNKeepTheArgumentsInStep) {
    Use(1);
    int untouched = 7;
    BRIM_LOG(1, L"%n|%s", &untouched, L"tail");
    BRIM_LOG(1, L"%*d|%s", 70000, 5, L"cut");   // the text is cut at 8195 characters, all blanks
    EXPECT_EQ(untouched, 7);
    const std::string records = Records();
    EXPECT_EQ(records.substr(0, 20), "[T] INFO  %n|tail\r\n[");
    EXPECT_EQ(records.size(), 19 + 10 + 8195 + 2);
}

}  // namespace
