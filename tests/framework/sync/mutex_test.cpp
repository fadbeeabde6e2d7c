// CMutex: recursion on one thread, exclusion between threads and processes,
// and a holder that dies handing the mutex on.
#include <brim/brim.h>

#include "tests/support/printers.h"
#include "tests/support/process.h"
#include "tests/support/temp_dir.h"

#include <gtest/gtest.h>

#if !defined(_WIN32)
#include <sys/wait.h>
#include <unistd.h>
#endif

#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <chrono>
#include <string>
#include <thread>
#include <vector>

namespace {

std::string Narrow(const std::wstring& s) { return std::string(s.begin(), s.end()); }   // names are ASCII

// Lock(0) from another thread: can someone else take it right now?
bool FreeForOtherThreads(const std::wstring& name) {
    bool taken = false;
    std::thread([&] {
        CMutex other(FALSE, name.c_str());
        taken = other.Lock(0) != FALSE;
        if (taken) other.Unlock();
    }).join();
    return taken;
}

// Recursive for its owner, also through a second object of the same name;
// releasing what one does not own fails.
TEST(CMutex, RecursiveForItsOwnerAndOneMutexPerName) {
    const std::wstring name = brimtest::UniqueName(L"BrimTestRecursive");
    CMutex mutex(FALSE, name.c_str()), same(FALSE, name.c_str());
    ASSERT_TRUE(mutex.Lock());
    ASSERT_TRUE(mutex.Lock());
    EXPECT_FALSE(FreeForOtherThreads(name));
    EXPECT_TRUE(mutex.Unlock());
    EXPECT_FALSE(FreeForOtherThreads(name));   // one level is still held
    EXPECT_TRUE(same.Lock(0));
    EXPECT_TRUE(same.Unlock());
    EXPECT_TRUE(mutex.Unlock());
    EXPECT_TRUE(FreeForOtherThreads(name));
    SetLastError(0);
    EXPECT_FALSE(mutex.Unlock());
    EXPECT_EQ(GetLastError(), 288u);
}

TEST(CMutex, ThreadsWaitTheirTurn) {
    const std::wstring name = brimtest::UniqueName(L"BrimTestThreads");
    std::atomic<int> inside{0};
    std::atomic<int> overlaps{0};
    long long counter = 0;   // guarded by the mutex only
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&] {
            CMutex mutex(FALSE, name.c_str());
            for (int i = 0; i < 300; ++i) {
                ASSERT_TRUE(mutex.Lock());
                if (inside.fetch_add(1) != 0) overlaps.fetch_add(1);
                ++counter;
                inside.fetch_sub(1);
                mutex.Unlock();
            }
        });
    }
    for (auto& t : threads) t.join();
    EXPECT_EQ(overlaps.load(), 0);
    EXPECT_EQ(counter, 1200);
}

TEST(CMutex, AThreadEndingWhileHoldingItAbandonsIt) {
    const std::wstring name = brimtest::UniqueName(L"BrimTestAbandon");
    std::thread([&] {
        CMutex mutex(FALSE, name.c_str());
        ASSERT_TRUE(mutex.Lock());
        // ends without Unlock
    }).join();
    CMutex mutex(FALSE, name.c_str());
    EXPECT_TRUE(mutex.Lock(5000));
    mutex.Unlock();
}

TEST(CMutex, AnotherProcessWaitsWhileItIsHeld) {
    const std::wstring name = brimtest::UniqueName(L"BrimTestProcess");
    CMutex mutex(FALSE, name.c_str());
    ASSERT_TRUE(mutex.Lock());

    auto busy = brimtest::ChildProcess::Start({"try-mutex", Narrow(name)});
    EXPECT_EQ(busy->ReadLine(), "busy");
    EXPECT_EQ(busy->Wait(), 0);

    auto waiter = brimtest::ChildProcess::Start({"wait-mutex", Narrow(name)});
    ASSERT_EQ(waiter->ReadLine(), "waiting");
    // The child cannot get further until this process lets go.
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    mutex.Unlock();
    EXPECT_EQ(waiter->ReadLine(), "acquired");
    EXPECT_EQ(waiter->Wait(), 0);
}

// Processes that meet a name for the first time all at once: one of them
// sets the mutex up, and no increment made under it is lost.
TEST(CMutex, ProcessesStartingTogetherOnANewNameExcludeEachOther) {
    const std::wstring name = brimtest::UniqueName(L"BrimTestTogether");
    brimtest::TempDir dir;
    const std::filesystem::path counter = dir.Path() / "count";
    brimtest::WriteBytes(counter, "0");
    std::vector<std::unique_ptr<brimtest::ChildProcess>> children;
    for (int p = 0; p < 6; ++p) children.push_back(brimtest::ChildProcess::Start({"count-mutex", Narrow(name), counter.string(), "300"}));
    for (auto& child : children) {
        EXPECT_EQ(child->ReadLine(), "done");
        EXPECT_EQ(child->Wait(), 0);
    }
    EXPECT_EQ(brimtest::ReadBytes(counter), "1800");
}

TEST(CMutex, AKilledHolderHandsItToTheWaiter) {
    const std::wstring name = brimtest::UniqueName(L"BrimTestKilled");
    auto holder = brimtest::ChildProcess::Start({"hold-mutex", Narrow(name)});
    ASSERT_EQ(holder->ReadLine(), "locked");
    CMutex mutex(FALSE, name.c_str());
    EXPECT_FALSE(mutex.Lock(0));
    holder->Kill();
    holder->Wait();
    EXPECT_TRUE(mutex.Lock());   // no time-out: the dead holder's lock is gone
    EXPECT_TRUE(mutex.Unlock());
}

#if !defined(_WIN32)
// A forked child inherits the holder's descriptors: it must neither hold the
// mutex nor, by ending, take the parent's hold away.
TEST(CMutex, AForkedChildDoesNotShareItsParentsHold) {
    const std::wstring name = brimtest::UniqueName(L"BrimTestFork");
    CMutex mutex(FALSE, name.c_str());
    ASSERT_TRUE(mutex.Lock());
    const pid_t child = fork();
    if (child == 0) {
        CMutex inherited(FALSE, name.c_str());
        const bool took = inherited.Lock(0) != FALSE;
        _exit(took ? 1 : 0);
    }
    ASSERT_GT(child, 0);
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "the child took a mutex its parent holds";
    EXPECT_FALSE(FreeForOtherThreads(name)) << "the child's exit released the parent's hold";
    EXPECT_TRUE(mutex.Unlock());
    EXPECT_TRUE(FreeForOtherThreads(name));
}

// The file behind a name, found in the user's lock folder.
std::filesystem::path FileOfName(const std::wstring& name) {
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    const std::filesystem::path folder = runtime != nullptr && runtime[0] == '/'
                                             ? std::filesystem::path(runtime) / "brim"
                                             : std::filesystem::path("/tmp/brim-" + std::to_string(geteuid()));
    for (const auto& entry : std::filesystem::directory_iterator(folder)) {
        if (entry.path().stem().string() == Narrow(name)) return entry.path();
    }
    return {};
}

// What a holder leaves when nobody marks its death (the machine went down):
// a mutex that reads as held. The next process to open the name alone
// starts it afresh instead of waiting for ever.
TEST(CMutex, AHoldLeftInTheFileByNoLivingProcessIsIgnored) {
    const std::wstring name = brimtest::UniqueName(L"BrimTestStale");
    auto holder = brimtest::ChildProcess::Start({"hold-mutex", Narrow(name)});
    ASSERT_EQ(holder->ReadLine(), "locked");
    const std::filesystem::path file = FileOfName(name);
    ASSERT_FALSE(file.empty());
    const std::string held = brimtest::ReadBytes(file);
    holder->Kill();
    holder->Wait();
    brimtest::WriteBytes(file, held);

    auto opener = brimtest::ChildProcess::Start({"try-mutex", Narrow(name)});
    EXPECT_EQ(opener->ReadLine(), "acquired");
    EXPECT_EQ(opener->Wait(), 0);
}
#endif

TEST(CMutex, UnnamedMutexesArePrivate) {
    CMutex a, b;
    ASSERT_TRUE(a.Lock());
    bool otherTook = false;
    std::thread([&] { otherTook = b.Lock(0) != FALSE && b.Unlock() != FALSE; }).join();
    EXPECT_TRUE(otherTook);
    a.Unlock();
}

}  // namespace
