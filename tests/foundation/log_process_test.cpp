// The log shared by threads and processes: every record whole and once.
#include <brim/brim.h>

#include "tests/support/process.h"
#include "tests/support/temp_dir.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <map>
#include <memory>
#include <regex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#if !defined(_WIN32)
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

namespace {

using brimtest::ChildProcess;
using brimtest::ReadBytes;
using brimtest::TempDir;

constexpr int kProcesses = 4;
constexpr int kThreads = 4;
constexpr int kRecords = 5000;

std::string FolderArg(const TempDir& dir) { return dir.Path().string() + "/"; }

// Checks every .log file: one mark at its start, then only whole records of
// the writers' form ("tag t<thread> i<index>"), each of these writers' once,
// and exactly `strays` lines of any other form (any number when negative:
// then the records of other tags are ignored too).
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
    if (strays >= 0) {
        EXPECT_EQ(others, strays) << "interleaved or broken records";
    }
    std::size_t expected = 0;
    for (const std::string& tag : tags) {
        for (int t = 0; t < kThreads; ++t) {
            for (int i = 0; i < records; ++i, ++expected) {
                const auto it = seen.find(tag + " t" + std::to_string(t) + " i" + std::to_string(i));
                ASSERT_TRUE(it != seen.end() && it->second == 1) << "lost or repeated: " << tag << " t" << t << " i" << i;
                if (strays < 0) seen.erase(it);
            }
        }
    }
    if (strays >= 0) {
        EXPECT_EQ(seen.size(), expected);
    }
}

// Starts a log-write child per tag: kThreads threads of `records` records each.
std::vector<std::unique_ptr<ChildProcess>> StartWriters(const TempDir& dir, const std::vector<std::string>& tags,
                                                        int records, const std::vector<std::string>& environment = {}) {
    std::vector<std::unique_ptr<ChildProcess>> writers;
    for (const std::string& tag : tags)
        writers.push_back(ChildProcess::Start(
            {"log-write", FolderArg(dir), std::to_string(kThreads), std::to_string(records), tag}, environment));
    return writers;
}

void ExpectDone(const std::vector<std::unique_ptr<ChildProcess>>& writers) {
    for (auto& w : writers) {
        EXPECT_EQ(w->ReadLine(), "done");
        EXPECT_EQ(w->Wait(), 0);
    }
}

TEST(LogProcesses, FourProcessesOfFourThreadsShareOneDayFile) {
    TempDir dir;
    std::vector<std::string> tags;
    for (int p = 0; p < kProcesses; ++p) tags.push_back(brimtest::Numbered("p", p));
    ExpectDone(StartWriters(dir, tags, kRecords));
    ExpectRecords(dir, tags, kRecords);
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

// A stress run by hand, for BRIM_LOG_STRESS_SECONDS (60): four writer
// processes log while other logging processes, with long records so that a
// kill lands inside a write now and then, are killed in turn. Every writer
// record must be there once, whatever the killed ones left.
//   foundation_log_process_test --gtest_also_run_disabled_tests --gtest_filter='*Stress*'
TEST(LogProcesses, DISABLED_StressWritersWhileOtherLoggersAreKilled) {
    const char* seconds = std::getenv("BRIM_LOG_STRESS_SECONDS");
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(seconds ? std::atoi(seconds) : 60);
    TempDir dir, runtime;   // a runtime folder of its own when run by hand
    const std::vector<std::string> environment = {"XDG_RUNTIME_DIR=" + runtime.Path().string()};
    const std::vector<std::string> tags = {"s0", "s1", "s2", "s3"};
    const auto writers = StartWriters(dir, tags, 50000, environment);
    const std::string victim = "v" + std::string(2000, 'p');
    for (int killed = 0; std::chrono::steady_clock::now() < deadline; ++killed) {
        auto child = ChildProcess::Start({"log-write", FolderArg(dir), "1", "100000000", victim}, environment);
        std::this_thread::sleep_for(std::chrono::milliseconds(1 + killed * 7 % 30));
        child->Kill();
        child->Wait();
    }
    ExpectDone(writers);
    ExpectRecords(dir, tags, 50000, -1);
}

std::string Today() {
    const std::time_t now = std::time(nullptr);
    char day[16] = {};
    std::strftime(day, sizeof day, "%Y-%m-%d", std::localtime(&now));
    return day;
}

// A process killed inside a record hands the mutex on while its own open of
// the day file may linger (here another process holds the file alone for a
// moment), and leaves the start of its record without a line break. The
// next holder waits for the file instead of losing its records, and the
// torn start ends on a line of its own.
TEST(LogProcesses, ATakeoverFromAKilledHolderWaitsForTheFileAndEndsTheTornRecord) {
    TempDir dir;
    const std::string day = (dir.Path() / (Today() + ".log")).string();
    auto stalled = ChildProcess::Start({"log-stall-torn", FolderArg(dir), day});
    ASSERT_EQ(stalled->ReadLine(), "prefixed");
    auto holder = ChildProcess::Start({"open-file", day, "2"});   // read-write, shared with nobody
    ASSERT_EQ(holder->ReadLine(), "open");
    // This process stays a user of the mutex, so the killed holder's mark
    // on it waits for whichever writer comes next, however late it starts.
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
// POSIX: the named mutex lives in $XDG_RUNTIME_DIR/brim. A folder there that
// another user owns, or that others may write, is never used; the log then
// orders this process's threads by itself and says why through the last
// error (and once on standard error).
TEST(LogProcesses, AnUnusableMutexFolderIsNotUsedAndLoggingGoesOnLocked) {
    TempDir runtime;
    const std::filesystem::path folder = runtime.Path() / "brim";
    std::filesystem::create_directory(folder);
    struct Case {
        const char* what;
        mode_t mode;
        bool givenAway;
    };
    for (const Case& c : {Case{"open to everyone", 0777, false}, Case{"owned by another user", 0700, true}}) {
        ASSERT_EQ(chmod(folder.c_str(), c.mode), 0);
        if (c.givenAway && chown(folder.c_str(), 54321, 54321) != 0) continue;   // only root can give it away
        TempDir dir;
        auto writer = ChildProcess::Start({"log-write-init", FolderArg(dir), std::to_string(kThreads), "400", "u"},
                                          {"XDG_RUNTIME_DIR=" + runtime.Path().string()});
        EXPECT_EQ(writer->ReadLine(), "lasterror 5") << c.what;
        EXPECT_EQ(writer->ReadLine(), "done") << c.what;
        EXPECT_EQ(writer->Wait(), 0) << c.what;
        ExpectRecords(dir, {"u"}, 400);
        EXPECT_TRUE(std::filesystem::is_empty(folder)) << c.what << ": the folder was used";
    }
}

std::string ChildProgram() {
    return (std::filesystem::read_symlink("/proc/self/exe").parent_path() / "brim_test_child").string();
}

// POSIX: a runtime file system with no room left. The mutex file cannot be
// given its blocks, so the mutex fails (112) instead of its first touch
// killing the process with SIGBUS; the log goes on as above. Needs a user
// and mount namespace for a small tmpfs of its own.
TEST(LogProcesses, AFullRuntimeFileSystemFailsTheMutexCleanly) {
    if (std::system("unshare -Urm true >/dev/null 2>&1") != 0) GTEST_SKIP() << "no user namespaces here (unshare -Urm)";
    TempDir mount, dir, work;
    const std::string script = (work.Path() / "full.sh").string();
    const std::string out = (work.Path() / "out").string();
    brimtest::WriteBytes(script,
                         "set -e\n"
                         "mount -t tmpfs -o size=64k brimfull '" + mount.Path().string() + "'\n"
                         "cat /dev/zero > '" + mount.Path().string() + "/fill' 2>/dev/null || true\n"
                         "XDG_RUNTIME_DIR='" + mount.Path().string() + "' exec '" + ChildProgram() +
                         "' log-write-init '" + FolderArg(dir) + "' " + std::to_string(kThreads) + " 100 f\n");
    const int status = std::system(("unshare -Urm sh '" + script + "' >'" + out + "' </dev/null").c_str());
    ASSERT_TRUE(WIFEXITED(status)) << "the child was killed by signal " << WTERMSIG(status);
    EXPECT_EQ(WEXITSTATUS(status), 0);
    EXPECT_EQ(ReadBytes(out), "lasterror 112\ndone\n");
    ExpectRecords(dir, {"f"}, 100);
}
#endif

}  // namespace
