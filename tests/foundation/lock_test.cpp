// CBrimLock: a guard blocks other threads until it is left, nests, and frees the section between Unlock and Lock.
#include "tests/foundation/suite.h"

namespace {

class CBrimLockTest : public ::testing::Test {
protected:
    CBrimLockTest() { InitializeCriticalSection(&section); }
    ~CBrimLockTest() override { DeleteCriticalSection(&section); }

    // Whether another thread can enter right now.
    bool FreeForOthers() {
        return brimtest::OnAnotherThread([&] {
            const bool entered = TryEnterCriticalSection(&section) != FALSE;
            if (entered) LeaveCriticalSection(&section);
            return entered;
        });
    }

    CRITICAL_SECTION section;
};

TEST_F(CBrimLockTest, GuardWaitsForTheHolder) {
    std::atomic<int> stage{0};
    std::atomic<bool> guardEntered{false};
    EnterCriticalSection(&section);
    std::thread waiter([&] {
        stage = 1;
        CBrimLock guard(section);
        guardEntered = true;
        while (stage.load() != 2) std::this_thread::yield();
    });
    while (stage.load() != 1) std::this_thread::yield();
    for (int i = 0; i < 1000; ++i) std::this_thread::yield();   // however long it has been trying
    EXPECT_FALSE(guardEntered.load());
    LeaveCriticalSection(&section);
    while (!guardEntered.load()) std::this_thread::yield();
    EXPECT_FALSE(FreeForOthers());
    stage = 2;
    waiter.join();
    EXPECT_TRUE(FreeForOthers());
}

TEST_F(CBrimLockTest, NestedGuardsAndUnlockLockInsideAGuardBalance) {
    {
        CBrimLock outer(section);
        {
            CBrimLock inner(section);
            inner.Unlock();
            EXPECT_FALSE(FreeForOthers());   // the outer guard still holds it
            inner.Lock();
        }
        EXPECT_FALSE(FreeForOthers());
        outer.Unlock();
        EXPECT_TRUE(FreeForOthers());
        outer.Lock();
        EXPECT_FALSE(FreeForOthers());
    }
    EXPECT_TRUE(FreeForOthers());
}

}  // namespace
