// The daily log: the exact record, filtering, the day file, failures, and the named mutex every path releases.
#include "tests/support/suite.h"
#include "tests/foundation/suite.h"

namespace {

namespace fs = std::filesystem;
using namespace brimtest;

CStringW FolderOf(const fs::path& path) { return Wide(path) + L"/"; }

// Every .log file of a folder, concatenated (normally just today's).
std::string Written(const fs::path& folder) {
    std::string all;
    for (const auto& entry : fs::directory_iterator(folder))
        if (entry.path().extension() == ".log") all += ReadBytes(entry.path());
    return all;
}

// One record from a.cpp, line 1, function f.
void Rec(int level, const wchar_t* text) {
    _brimLog.LogPreFix("a.cpp", 1, "f");
    _brimLog.Log(level, L"%s", text);
}

// Whether another thread can take the log's mutex in time; it is shared with the user's other processes.
bool LogMutexComesFree(DWORD timeoutMs) {
    return OnAnotherThread([&] {
        CMutex probe(FALSE, L"MutexBrimLog");
        return probe.Lock(timeoutMs) && probe.Unlock();
    });
}

// The log's folder is process-wide: each test gets its own and puts the default back.
class LogTest : public ::testing::Test {
protected:
    void SetUp() override { Use(0); }
    void TearDown() override { CBrimLog::Init(0, L"./Log/"); }
    void Use(int level) { CBrimLog::Init(level, FolderOf(dir.Path())); }
    CStringW Under(const wchar_t* rest) const { return CStringW(dir.Path().wstring().c_str()) + rest; }

    // The records after the byte-order mark, with their stamps replaced by "[T] ".
    std::string Records() const {
        std::string text = Written(dir.Path());
        if (text.rfind("\xEF\xBB\xBF", 0) == 0) text.erase(0, 3);
        static const std::regex stamp(R"(\[\d{4}-\d{2}-\d{2} \d{2}:\d{2}:\d{2}\] )");
        return std::regex_replace(text, stamp, "[T] ");
    }

    TempDir dir;
};

TEST_F(LogTest, TheRecordLevelWordsAndTheSourceLocation) {
    _brimLog.LogPreFix("C:\\work\\net\\Ftp.cpp", 120, "CHost::Run");
    _brimLog.Log(1, L"Started %d", 3);
    const std::string first = "[T] INFO  Ftp.cpp                CHost::Run                                   (  120) - Started 3\r\n";
    EXPECT_EQ(Records(), first);
    for (int level : {0, 1, 2, 5, -1}) {
        _brimLog.LogPreFix("/src/main.cpp", 7, "f");
        _brimLog.Log(level, L"L%d", level);
    }
    const std::string prefix = "main.cpp               f" + std::string(43, ' ') + " (    7) - ";
    EXPECT_EQ(Records(), first + "[T] DEBUG " + prefix + "L0\r\n"
                         "[T] INFO  " + prefix + "L1\r\n"
                         "[T] ERROR " + prefix + "L2\r\n"
                         "[T] " + prefix + "L5\r\n");   // -1 is below the threshold 0
}

TEST_F(LogTest, ThresholdsDropRecordsAndTheLocation) {
    Use(1);
    Rec(0, L"dropped");
    EXPECT_TRUE(LogMutexComesFree(30000)) << "a dropped record must release the mutex";
    Rec(2, L"kept");
    Use(-3);
    Rec(-3, L"negative");
    Rec(-4, L"below");
    EXPECT_EQ(Records(), "[T] ERROR kept\r\n[T] negative\r\n");
}

// A CR LF anywhere after the first character makes the text multi-line, also after a leading CR LF.
TEST_F(LogTest, TextLinesAreIndentedAndEndInOneLineBreak) {
    Use(1);
    const struct {
        const wchar_t* text;
        const char* expected;
    } cases[] = {
        {L"two\r\nlines\r\n", "\r\n\ttwo\r\n\tlines\r\n"},
        {L"one\r\n\r\n\r\n", "one\r\n"},
        {L"", "\r\n"},
        {L"bare\nfeed", "bare\nfeed\r\n"},
        {L"\r\nleading", "\r\n\tleading\r\n"},
        {L"\r\nabc\r\ndef", "\r\n\t\r\n\tabc\r\n\tdef\r\n"},
        {L"a\r\nb", "\r\n\ta\r\n\tb\r\n"},   // a CR LF right after the first character counts
    };
    std::string expected;
    for (const auto& c : cases) {
        Rec(1, c.text);
        expected += std::string("[T] INFO  ") + c.expected;
    }
    EXPECT_EQ(Records(), expected);
}

TEST_F(LogTest, NamesAreReadAgainEachTimeAndNeverCut) {
    char file[64] = "src/one.cpp";
    char function[32] = "First";
    _brimLog.LogPreFix(file, 1, function);
    _brimLog.Log(1, L"a");
    std::snprintf(file, sizeof file, "a/very_long_source_file_name_beyond.cpp");
    _brimLog.LogPreFix(file, 22, nullptr);   // a null function keeps the previous one
    _brimLog.Log(1, L"b");
    std::snprintf(file, sizeof file, "src/two.cpp");
    std::snprintf(function, sizeof function, "Second");
    _brimLog.LogPreFix(file, 2, function);
    _brimLog.Log(1, L"c");
    const std::string records = Records();
    EXPECT_NE(records.find("INFO  one.cpp                First "), std::string::npos) << records;
    EXPECT_NE(records.find("INFO  very_long_source_file_name_beyond.cpp First" + std::string(39, ' ') + " (   22) - b\r\n"),
              std::string::npos) << records;
    EXPECT_NE(records.find("INFO  two.cpp                Second "), std::string::npos) << records;
}

// Percent signs in arguments stay, %n and * still take their arguments, and the text is cut at 8195 characters.
TEST_F(LogTest, ArgumentsStayInStepAndLongTextIsCut) {
    Use(1);
    Rec(1, L"100% %d %s");
    int untouched = 7;
    BRIM_LOG(1, L"%n|%s", &untouched, L"tail");
    EXPECT_EQ(untouched, 7);
    const std::wstring huge(9000, L'x');
    Rec(1, huge.c_str());
    BRIM_LOG(1, L"%*d|%s", 70000, 5, L"cut");   // all blanks
    const std::string records = Records();
    EXPECT_EQ(records.substr(0, 42), "[T] INFO  100% %d %s\r\n[T] INFO  %n|tail\r\n[");
    EXPECT_EQ(records.size(), 22u + 19u + 2 * (10u + 8195u + 2u));
    EXPECT_EQ(records.find("|cut"), std::string::npos);
}

// A folder without a final separator prefixes the file name; only that one level is ever created.
TEST_F(LogTest, TheFolderNameIsAPrefixAndOnlyOneLevelIsCreated) {
    CBrimLog::Init(1, Under(L"/Log"));
    Rec(1, L"beside");
    static const std::regex day(R"(Log\d{4}-\d{2}-\d{2}\.log)");
    const auto beside = [](const fs::directory_entry& e) { return std::regex_match(e.path().filename().string(), day); };
    EXPECT_TRUE(std::any_of(fs::directory_iterator(dir.Path()), {}, beside)) << "expected LogYYYY-MM-DD.log beside it";
    EXPECT_TRUE(fs::is_directory(dir.Path() / "Log")) << "the folder itself is still created";

    CBrimLog::Init(0, Under(L"/no/such/folder/"));
    EXPECT_NO_THROW(Rec(1, L"lost"));   // dropped silently
    EXPECT_TRUE(LogMutexComesFree(30000));
    EXPECT_FALSE(fs::exists(dir.Path() / "no"));
}

TEST_F(LogTest, AFolderThatGoesAwayIsMadeAgainAndANewFolderTakesTheNextRecord) {
    const fs::path logs = dir.Path() / "logs";
    CBrimLog::Init(1, FolderOf(logs));
    Rec(1, L"first");
    ASSERT_TRUE(fs::is_directory(logs));
    fs::remove_all(logs);
    Rec(1, L"second");
    const std::string all = Written(logs);
    EXPECT_EQ(all.substr(0, 3), "\xEF\xBB\xBF");
    EXPECT_NE(all.find("INFO  second\r\n"), std::string::npos) << all;

    TempDir other;   // set within the same second
    CBrimLog::Init(0, FolderOf(other.Path()));
    Rec(1, L"there");
    EXPECT_NE(Written(other.Path()).find("there"), std::string::npos);
}

TEST_F(LogTest, ANestedPrefixOverwritesTheFirstAndHoldsTheMutexOnce) {
    _brimLog.LogPreFix("a.cpp", 1, "outer");
    _brimLog.LogPreFix("b.cpp", 2, "inner");   // the mutex is recursive for its owner
    _brimLog.Log(1, L"one");
    EXPECT_FALSE(LogMutexComesFree(300)) << "one level is still held";
    _brimLog.Log(1, L"two");   // completes the overwritten record again
    EXPECT_TRUE(LogMutexComesFree(30000));
}

#if !defined(_WIN32)
// /dev/full accepts the open and refuses the write, which no Windows file does on demand.
TEST_F(LogTest, AWriteFailureIsWrappedAndTheMutexIsFree) {
    Use(1);
    Rec(1, L"creates today's file");
    const fs::path today = fs::directory_iterator(dir.Path())->path();
    fs::remove(today);
    fs::create_symlink("/dev/full", today);
    EXPECT_EQ(Thrown([] { Rec(1, L"cannot be written"); }).Left(32), L"BrimException : BrimException : ");
    EXPECT_TRUE(LogMutexComesFree(30000));
}
#endif

}  // namespace
