// The log shared by threads and processes: every record whole and once.
#include <brim/brim.h>

#include "tests/support/process.h"
#include "tests/support/temp_dir.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <memory>
#include <regex>
#include <sstream>
#include <string>
#include <tuple>
#include <vector>

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
