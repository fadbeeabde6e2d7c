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
#include <tuple>
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
// the writers' form. Returns how often each "tag thread index" appeared.
std::map<std::string, int> Census(const TempDir& dir, int& strays) {
    static const std::regex record(
        R"(\[\d{4}-\d{2}-\d{2} \d{2}:\d{2}:\d{2}\] INFO  child_\w+\.cpp +\S+ +\( *\d+\) - (\w+ t\d+ i\d+))");
    std::map<std::string, int> seen;
    strays = 0;
    for (const auto& entry : std::filesystem::directory_iterator(dir.Path())) {
        std::string text = ReadBytes(entry.path());
        EXPECT_EQ(text.rfind("\xEF\xBB\xBF", 0), 0u) << entry.path();
        EXPECT_EQ(text.find("\xEF\xBB\xBF", 3), std::string::npos) << "a second mark in " << entry.path();
        text.erase(0, 3);
        std::size_t start = 0;
        while (start < text.size()) {
            const std::size_t end = text.find("\r\n", start);
            if (end == std::string::npos) {
                ++strays;   // a record without its line break
                break;
            }
            std::smatch m;
            const std::string line = text.substr(start, end - start);
            if (std::regex_match(line, m, record)) ++seen[m[1]];
            else ++strays;
            start = end + 2;
        }
    }
    return seen;
}

void ExpectEveryRecordOnce(const std::map<std::string, int>& seen, const std::vector<std::string>& tags, int records) {
    std::size_t expected = 0;
    for (const std::string& tag : tags) {
        for (int t = 0; t < kThreads; ++t) {
            for (int i = 0; i < records; ++i) {
                const std::string key = tag + " t" + std::to_string(t) + " i" + std::to_string(i);
                const auto it = seen.find(key);
                ASSERT_TRUE(it != seen.end()) << "lost: " << key;
                ASSERT_EQ(it->second, 1) << "repeated: " << key;
                ++expected;
            }
        }
    }
    EXPECT_EQ(seen.size(), expected);
}

TEST(LogProcesses, FourProcessesOfFourThreadsShareOneDayFile) {
    TempDir dir;
    std::vector<std::unique_ptr<ChildProcess>> writers;
    std::vector<std::string> tags;
    for (int p = 0; p < kProcesses; ++p) {
        tags.push_back(brimtest::Numbered("p", p));
        writers.push_back(ChildProcess::Start(
            {"log-write", FolderArg(dir), std::to_string(kThreads), std::to_string(kRecords), tags.back()}));
    }
    for (auto& w : writers) {
        EXPECT_EQ(w->ReadLine(), "done");
        EXPECT_EQ(w->Wait(), 0);
    }
    int strays = 0;
    const auto seen = Census(dir, strays);
    EXPECT_EQ(strays, 0) << "interleaved or broken records";
    ExpectEveryRecordOnce(seen, tags, kRecords);
}

TEST(LogProcesses, AProcessKilledInsideARecordDoesNotStopTheOthers) {
    TempDir dir;
    auto stalled = ChildProcess::Start({"log-stall", FolderArg(dir)});
    ASSERT_EQ(stalled->ReadLine(), "prefixed");   // it holds the log's mutex now
    std::vector<std::unique_ptr<ChildProcess>> writers;
    const std::vector<std::string> tags = {"w0", "w1"};
    for (const std::string& tag : tags) {
        writers.push_back(ChildProcess::Start({"log-write", FolderArg(dir), std::to_string(kThreads), "500", tag}));
    }
    stalled->Kill();
    stalled->Wait();
    for (auto& w : writers) {
        EXPECT_EQ(w->ReadLine(), "done");
        EXPECT_EQ(w->Wait(), 0);
    }
    int strays = 0;
    const auto seen = Census(dir, strays);
    EXPECT_EQ(strays, 0);
    ExpectEveryRecordOnce(seen, tags, 500);
}

}  // namespace

namespace {

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
    auto writer = ChildProcess::Start({"log-write", FolderArg(dir), std::to_string(kThreads), "50", "w0"});
    stalled->Kill();
    stalled->Wait();
    std::this_thread::sleep_for(std::chrono::seconds(1));   // pacing only: the writer meets the held file
    holder->WriteLine("close");
    holder->Wait();
    EXPECT_EQ(writer->ReadLine(), "done");
    EXPECT_EQ(writer->Wait(), 0);
    int strays = 0;
    const auto seen = Census(dir, strays);
    EXPECT_EQ(strays, 1);   // the torn start
    ExpectEveryRecordOnce(seen, {"w0"}, 50);
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
        int strays = 0;
        const auto seen = Census(dir, strays);
        EXPECT_EQ(strays, 0) << c.what;
        ExpectEveryRecordOnce(seen, {"u"}, 400);
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
    int strays = 0;
    const auto seen = Census(dir, strays);
    EXPECT_EQ(strays, 0);
    ExpectEveryRecordOnce(seen, {"f"}, 100);
}
#endif

}  // namespace
