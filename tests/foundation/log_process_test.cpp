// The log shared by threads and processes: every record whole and once.
#include "tests/foundation/suite.h"

#include <ctime>
#include <map>
#include <sstream>

namespace {

using namespace brimtest;
using Children = std::vector<std::unique_ptr<ChildProcess>>;

constexpr int kThreads = 4;

std::string FolderArg(const TempDir& dir) { return dir.Path().string() + "/"; }

// One mark per file, each writer record ("tag t<thread> i<index>") once, and exactly `strays` other lines.
void ExpectRecords(const TempDir& dir, const std::vector<std::string>& tags, int records, int strays = 0) {
    static const std::regex record(
        R"(\[\d{4}-\d{2}-\d{2} \d{2}:\d{2}:\d{2}\] INFO  child_\w+\.cpp +\S+ +\( *\d+\) - (\w+ t\d+ i\d+))");
    std::map<std::string, int> seen;
    int others = 0;
    for (const auto& entry : std::filesystem::directory_iterator(dir.Path())) {
        std::string text = ReadBytes(entry.path());
        EXPECT_EQ(text.rfind("\xEF\xBB\xBF", 0), 0u) << entry.path();
        EXPECT_EQ(text.find("\xEF\xBB\xBF", 3), std::string::npos) << "a second mark in " << entry.path();
        std::istringstream lines(text.erase(0, 3));
        for (std::string line; std::getline(lines, line);) {
            std::smatch m;
            // A line without its CR LF is a broken record.
            if (!line.empty() && line.back() == '\r' && std::regex_match(line.erase(line.size() - 1), m, record)) ++seen[m[1]];
            else ++others;
        }
    }
    EXPECT_EQ(others, strays) << "interleaved or broken records";
    for (const auto& [key, count] : seen) EXPECT_EQ(count, 1) << "repeated: " << key;
    EXPECT_EQ(seen.size(), tags.size() * kThreads * records) << "lost records";
}

// A log-write child per tag: kThreads threads of `records` records each.
Children StartWriters(const TempDir& dir, const std::vector<std::string>& tags, int records) {
    Children writers;
    for (const std::string& tag : tags)
        writers.push_back(ChildProcess::Start(
            {"log-write", FolderArg(dir), std::to_string(kThreads), std::to_string(records), tag}));
    return writers;
}

void ExpectDone(const Children& writers) {
    for (auto& w : writers) {
        EXPECT_EQ(w->ReadLine(), "done");
        EXPECT_EQ(w->Wait(), 0);
    }
}

TEST(LogProcesses, FourProcessesOfFourThreadsShareOneDayFile) {
    TempDir dir;
    const std::vector<std::string> tags = {"p0", "p1", "p2", "p3"};
    ExpectDone(StartWriters(dir, tags, 2000));
    ExpectRecords(dir, tags, 2000);
}

TEST(LogProcesses, AProcessKilledInsideARecordDoesNotStopTheOthers) {
    TempDir dir;
    auto stalled = ChildProcess::Start({"log-stall", FolderArg(dir)});
    ASSERT_EQ(stalled->ReadLine(), "prefixed");   // it holds the log's mutex now
    const auto writers = StartWriters(dir, {"w0", "w1"}, 500);
    stalled->Kill();
    stalled->Wait();
    ExpectDone(writers);
    ExpectRecords(dir, {"w0", "w1"}, 500);
}

// A holder killed inside a record while the day file is held elsewhere: the next writer waits, ending the torn start.
TEST(LogProcesses, ATakeoverFromAKilledHolderWaitsForTheFileAndEndsTheTornRecord) {
    TempDir dir;
    const std::time_t now = std::time(nullptr);
    char today[16] = {};
    std::strftime(today, sizeof today, "%Y-%m-%d", std::localtime(&now));
    const std::string day = (dir.Path() / (std::string(today) + ".log")).string();
    auto stalled = ChildProcess::Start({"log-stall-torn", FolderArg(dir), day});
    ASSERT_EQ(stalled->ReadLine(), "prefixed");
    auto holder = ChildProcess::Start({"open-file", day, "2"});   // read-write, shared with nobody
    ASSERT_EQ(holder->ReadLine(), "open");
    // Stays a user of the mutex, so the killed holder's mark waits for the next writer, however late.
    CMutex user(FALSE, L"MutexBrimLog");
    EXPECT_FALSE(user.Lock(0));
    const auto writer = StartWriters(dir, {"w0"}, 50);
    stalled->Kill();
    stalled->Wait();
    std::this_thread::sleep_for(std::chrono::seconds(1));   // pacing only: the writer meets the held file
    holder->WriteLine("close");
    holder->Wait();
    ExpectDone(writer);
    ExpectRecords(dir, {"w0"}, 50, 1);   // and the torn start
    EXPECT_NE(ReadBytes(day).find("\xEF\xBB\xBF[torn\r\n["), std::string::npos) << ReadBytes(day).substr(0, 200);
}

#if !defined(_WIN32)
// A mutex folder ($XDG_RUNTIME_DIR/brim) open to others or owned by another user is never used (last error 5).
TEST(LogProcesses, AnUnusableMutexFolderIsNotUsedAndLoggingGoesOnLocked) {
    TempDir runtime;
    const std::filesystem::path folder = runtime.Path() / "brim";
    std::filesystem::create_directory(folder);
    for (const bool givenAway : {false, true}) {
        ASSERT_EQ(chmod(folder.c_str(), givenAway ? 0700 : 0777), 0);
        if (givenAway && chown(folder.c_str(), 54321, 54321) != 0) continue;   // only root can give it away
        TempDir dir;
        auto writer = ChildProcess::Start({"log-write-init", FolderArg(dir), std::to_string(kThreads), "400", "u"},
                                          {"XDG_RUNTIME_DIR=" + runtime.Path().string()});
        EXPECT_EQ(writer->ReadLine(), "lasterror 5") << givenAway;
        EXPECT_EQ(writer->ReadLine(), "done") << givenAway;
        EXPECT_EQ(writer->Wait(), 0) << givenAway;
        ExpectRecords(dir, {"u"}, 400);
        EXPECT_TRUE(std::filesystem::is_empty(folder)) << givenAway << ": the folder was used";
    }
}

// A full runtime tmpfs (own user and mount namespace): the mutex fails (112) instead of a SIGBUS; logging goes on.
TEST(LogProcesses, AFullRuntimeFileSystemFailsTheMutexCleanly) {
    if (std::system("unshare -Urm true >/dev/null 2>&1") != 0) GTEST_SKIP() << "no user namespaces here (unshare -Urm)";
    TempDir mount, dir, work;
    const std::string script = (work.Path() / "full.sh").string(), out = (work.Path() / "out").string();
    const auto child = (std::filesystem::read_symlink("/proc/self/exe").parent_path() / "brim_test_child").string();
    WriteBytes(script,
                         "set -e\n"
                         "mount -t tmpfs -o size=64k brimfull '" + mount.Path().string() + "'\n"
                         "cat /dev/zero > '" + mount.Path().string() + "/fill' 2>/dev/null || true\n"
                         "XDG_RUNTIME_DIR='" + mount.Path().string() + "' exec '" + child +
                         "' log-write-init '" + FolderArg(dir) + "' " + std::to_string(kThreads) + " 100 f\n");
    const int status = std::system(("unshare -Urm sh '" + script + "' >'" + out + "' </dev/null").c_str());
    ASSERT_TRUE(WIFEXITED(status)) << "the child was killed by signal " << WTERMSIG(status);
    EXPECT_EQ(WEXITSTATUS(status), 0);
    EXPECT_EQ(ReadBytes(out), "lasterror 112\ndone\n");
    ExpectRecords(dir, {"f"}, 100);
}
#endif

}  // namespace
