// POSIX: every errno becomes a Windows code with a text in the (sorted) system table; the suite compiles both in.
#include "tests/support/suite.h"
#include "framework/errors/errno_posix.h"
#include "framework/errors/message_tables.h"

#include <cerrno>

namespace {

using namespace brim::platform;

TEST(ErrnoMapping, EveryErrnoHasATextAndUnknownOnesAreAGeneralFailure) {
    for (int error = 1; error < 134; ++error) {
        const DWORD code = ErrnoToWin32(error);
        EXPECT_NE(FindMessage(kSystemMessages, kSystemMessageCount, code), nullptr) << "errno " << error << " -> " << code;
    }
    EXPECT_EQ(ErrnoToWin32(0), 0u);
    EXPECT_EQ(ErrnoToWin32(ENOSPC), 112u);
    EXPECT_EQ(ErrnoToWin32(ECONNREFUSED), 10061u);
    EXPECT_EQ(ErrnoToWin32(-1), 31u);   // "A device attached to the system is not functioning."
}

TEST(ErrnoMapping, TablesAreSortedWithoutRepeats) {
    for (std::size_t i = 1; i < kSystemMessageCount; ++i) EXPECT_LT(kSystemMessages[i - 1].code, kSystemMessages[i].code);
    for (std::size_t i = 1; i < kInternetMessageCount; ++i) EXPECT_LT(kInternetMessages[i - 1].code, kInternetMessages[i].code);
    EXPECT_EQ(FindMessage(kSystemMessages, kSystemMessageCount, 0xFFFFFFFFu), nullptr);
}

}  // namespace
