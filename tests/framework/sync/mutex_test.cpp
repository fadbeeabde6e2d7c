// CMutex: recursion on one thread, exclusion between threads and processes, and holders that die.
#include "tests/foundation/suite.h"

namespace {

using namespace brimtest;

std::string Narrow(const std::wstring& s) { return std::string(s.begin(), s.end()); }   // names are ASCII

// Whether another thread can take it right now (Lock(0)): the very object, or one opened by name ("": unnamed).
bool FreeForOtherThreads(const std::wstring& name, CMutex* same = nullptr) {
    return OnAnotherThread([&] {
        CMutex other(FALSE, name.empty() ? nullptr : name.c_str());
        CMutex& mutex = same != nullptr ? *same : other;
        return mutex.Lock(0) && mutex.Unlock();
    });
}

// Recursive for its owner, named (also through a second object) or not; releasing what one does not own fails.
TEST(CMutex, RecursiveForItsOwnerAndOneMutexPerName) {
    const std::wstring name = UniqueName(L"BrimTestRecursive");
    CMutex named(FALSE, name.c_str()), same(FALSE, name.c_str()), unnamed;
    for (CMutex* mutex : {&named, &unnamed}) {
        CMutex* probe = mutex == &named ? nullptr : mutex;
        ASSERT_TRUE(mutex->Lock());
        ASSERT_TRUE(mutex->Lock());
        EXPECT_FALSE(FreeForOtherThreads(name, probe));
        EXPECT_TRUE(mutex->Unlock());
        EXPECT_FALSE(FreeForOtherThreads(name, probe)) << "one level is still held";
        EXPECT_TRUE(mutex->Unlock());
        EXPECT_TRUE(FreeForOtherThreads(name, probe));
        SetLastError(0);
        EXPECT_FALSE(mutex->Unlock());
        EXPECT_EQ(GetLastError(), 288u);
    }
    ASSERT_TRUE(named.Lock());
    EXPECT_TRUE(same.Lock(0));
    EXPECT_TRUE(same.Unlock());
    EXPECT_TRUE(named.Unlock());
    ASSERT_TRUE(unnamed.Lock());
    EXPECT_TRUE(FreeForOtherThreads(L"")) << "unnamed mutexes are private";
    unnamed.Unlock();
}

TEST(CMutex, ThreadsWaitTheirTurnAndOneEndingWhileHoldingItAbandonsIt) {
    const std::wstring name = UniqueName(L"BrimTestThreads");
    std::atomic<int> inside{0}, overlaps{0};
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

    CMutex unnamed;
    for (const bool isNamed : {true, false}) {
        std::thread([&] {
            CMutex named(FALSE, name.c_str());
            ASSERT_TRUE((isNamed ? named : unnamed).Lock());   // ends without Unlock
        }).join();
        CMutex named(FALSE, name.c_str());
        CMutex& mutex = isNamed ? named : unnamed;
        EXPECT_TRUE(mutex.Lock(5000)) << isNamed;
        mutex.Unlock();
    }
}

TEST(CMutex, AnotherProcessWaitsWhileItIsHeldAndTakesItFromAKilledHolder) {
    const std::wstring name = UniqueName(L"BrimTestProcess");
    CMutex mutex(FALSE, name.c_str());
    ASSERT_TRUE(mutex.Lock());
    auto busy = ChildProcess::Start({"try-mutex", Narrow(name)});
    EXPECT_EQ(busy->ReadLine(), "busy");
    EXPECT_EQ(busy->Wait(), 0);
    auto waiter = ChildProcess::Start({"wait-mutex", Narrow(name)});
    ASSERT_EQ(waiter->ReadLine(), "waiting");
    std::this_thread::sleep_for(std::chrono::milliseconds(200));   // the child cannot get further meanwhile
    mutex.Unlock();
    EXPECT_EQ(waiter->ReadLine(), "acquired");
    EXPECT_EQ(waiter->Wait(), 0);

    auto holder = ChildProcess::Start({"hold-mutex", Narrow(name)});
    ASSERT_EQ(holder->ReadLine(), "locked");
    EXPECT_FALSE(mutex.Lock(0));
    holder->Kill();
    holder->Wait();
    EXPECT_TRUE(mutex.Lock());   // no time-out: the dead holder's lock is gone
    EXPECT_TRUE(mutex.Unlock());
}

// Processes meeting a new name all at once: one sets the mutex up, and no increment under it is lost.
TEST(CMutex, ProcessesStartingTogetherOnANewNameExcludeEachOther) {
    const std::wstring name = UniqueName(L"BrimTestTogether");
    TempDir dir;
    const std::filesystem::path counter = dir.Path() / "count";
    WriteBytes(counter, "0");
    std::vector<std::unique_ptr<ChildProcess>> children;
    for (int p = 0; p < 6; ++p) children.push_back(ChildProcess::Start({"count-mutex", Narrow(name), counter.string(), "300"}));
    for (auto& child : children) {
        EXPECT_EQ(child->ReadLine(), "done");
        EXPECT_EQ(child->Wait(), 0);
    }
    EXPECT_EQ(ReadBytes(counter), "1800");
}

#if !defined(_WIN32)
// A forked child inherits the descriptors: it must neither hold the mutex nor, by ending, release the parent's.
TEST(CMutex, AForkedChildDoesNotShareItsParentsHold) {
    const std::wstring name = UniqueName(L"BrimTestFork");
    CMutex mutex(FALSE, name.c_str());
    ASSERT_TRUE(mutex.Lock());
    const pid_t child = fork();
    if (child == 0) _exit(CMutex(FALSE, name.c_str()).Lock(0) ? 1 : 0);
    ASSERT_GT(child, 0);
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "the child took a mutex its parent holds";
    EXPECT_FALSE(FreeForOtherThreads(name)) << "the child's exit released the parent's hold";
    EXPECT_TRUE(mutex.Unlock());
}

// A hold left in the file by no living process (the machine went down): the next opener alone starts afresh.
TEST(CMutex, AHoldLeftInTheFileByNoLivingProcessIsIgnored) {
    const std::wstring name = UniqueName(L"BrimTestStale");
    auto holder = ChildProcess::Start({"hold-mutex", Narrow(name)});
    ASSERT_EQ(holder->ReadLine(), "locked");
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    const std::filesystem::path folder = runtime != nullptr && runtime[0] == '/'
                                             ? std::filesystem::path(runtime) / "brim"
                                             : std::filesystem::path("/tmp/brim-" + std::to_string(geteuid()));
    std::filesystem::path file;
    for (const auto& entry : std::filesystem::directory_iterator(folder))
        if (entry.path().stem().string() == Narrow(name)) file = entry.path();
    ASSERT_FALSE(file.empty());
    const std::string held = ReadBytes(file);
    holder->Kill();
    holder->Wait();
    WriteBytes(file, held);
    auto opener = ChildProcess::Start({"try-mutex", Narrow(name)});
    EXPECT_EQ(opener->ReadLine(), "acquired");
    EXPECT_EQ(opener->Wait(), 0);
}
#endif

}  // namespace
