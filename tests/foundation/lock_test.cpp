// CBrimLock: a guard blocks other threads until it is left, nests on one
// thread, and frees the section between Unlock() and Lock().
#include <brim/brim.h>

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

namespace {

class Section {
public:
    Section() { InitializeCriticalSection(&m_section); }
    ~Section() { DeleteCriticalSection(&m_section); }
    CRITICAL_SECTION& Get() { return m_section; }

    // Whether another thread can enter right now.
    bool FreeForOthers() {
        bool entered = false;
        std::thread([&] {
            entered = TryEnterCriticalSection(&m_section) != FALSE;
            if (entered) LeaveCriticalSection(&m_section);
        }).join();
        return entered;
    }

private:
    CRITICAL_SECTION m_section;
};

TEST(CBrimLock, GuardWaitsForTheHolder) {
    Section section;
    std::atomic<int> stage{0};
    std::atomic<bool> guardEntered{false};
    EnterCriticalSection(&section.Get());
    std::thread waiter([&] {
        stage = 1;
        CBrimLock guard(section.Get());
        guardEntered = true;
        while (stage.load() != 2) std::this_thread::yield();
    });
    while (stage.load() != 1) std::this_thread::yield();
    // The waiter cannot have entered while the section is ours, however long
    // it has been trying.
    for (int i = 0; i < 1000; ++i) std::this_thread::yield();
    EXPECT_FALSE(guardEntered.load());
    LeaveCriticalSection(&section.Get());
    while (!guardEntered.load()) std::this_thread::yield();
    EXPECT_FALSE(section.FreeForOthers());
    stage = 2;
    waiter.join();
    EXPECT_TRUE(section.FreeForOthers());
}

TEST(CBrimLock, NestedGuardsAndUnlockLockInsideAGuardBalance) {
    Section section;
    {
        CBrimLock outer(section.Get());
        {
            CBrimLock inner(section.Get());
            inner.Unlock();
            EXPECT_FALSE(section.FreeForOthers());   // the outer guard still holds it
            inner.Lock();
        }
        EXPECT_FALSE(section.FreeForOthers());
        outer.Unlock();
        EXPECT_TRUE(section.FreeForOthers());
        outer.Lock();
        EXPECT_FALSE(section.FreeForOthers());
    }
    EXPECT_TRUE(section.FreeForOthers());
}

}  // namespace
