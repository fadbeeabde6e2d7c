#include <brim/brim.h>

#include "tests/support/printers.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cwchar>
#include <string>

namespace {

std::wstring g_seenText;
UINT g_seenType = 0;

int Recording(const wchar_t* text, UINT type) {
    g_seenText = text;
    g_seenType = type;
    return IDYES;
}

TEST(AfxMessageBox, AnInstalledHandlerAnswersInsteadOfTheDesktop) {
    const BrimMessageBoxHandler before = BrimSetMessageBoxHandler(Recording);
    EXPECT_EQ(AfxMessageBox(L"Content-Type: text/html\r\n", MB_YESNO | MB_ICONQUESTION), IDYES);
    EXPECT_EQ(g_seenText, L"Content-Type: text/html\r\n");
    EXPECT_EQ(g_seenType, MB_YESNO | MB_ICONQUESTION);
    EXPECT_EQ(AfxMessageBox(nullptr), IDYES);   // null text is shown as empty
    EXPECT_EQ(g_seenText, L"");
    EXPECT_EQ(g_seenType, MB_OK);
    EXPECT_EQ(BrimSetMessageBoxHandler(before), Recording);
}

#if !defined(_WIN32)
// Without a handler and without a display, a box is dismissed at once: it
// answers Cancel or No where it has them.
TEST(AfxMessageBox, WithoutADesktopABoxIsDismissed) {
    unsetenv("DISPLAY");
    unsetenv("WAYLAND_DISPLAY");
    EXPECT_EQ(AfxMessageBox(L"?", MB_OK), IDOK);
    EXPECT_EQ(AfxMessageBox(L"?", MB_OKCANCEL), IDCANCEL);
    EXPECT_EQ(AfxMessageBox(L"?", MB_YESNOCANCEL | MB_ICONQUESTION), IDCANCEL);
    EXPECT_EQ(AfxMessageBox(L"?", MB_YESNO), IDNO);
}
#endif

// What a host catching a library failure does with it: ReportError shows the
// framework's description, or the fallback text when the exception has none
// (CBrimException keeps the base behaviour and does not show its message).
TEST(ReportError, ShowsTheDescriptionOrTheFallbackThroughTheHandler) {
    const BrimMessageBoxHandler before = BrimSetMessageBoxHandler(Recording);
    CBrimException* brim = new CBrimException(L"kept out of the box");
    EXPECT_EQ(brim->ReportError(MB_ICONERROR), IDYES);
    EXPECT_EQ(g_seenText, L"No error message is available.");
    EXPECT_EQ(g_seenType, MB_ICONERROR);
    EXPECT_EQ(brim->ReportError(MB_OK, 0xFFFFu), IDYES);   // a string resource nobody has
    EXPECT_EQ(g_seenText, L"No error message is available.");
    brim->Delete();

    struct Described : CException {
        BOOL GetErrorMessage(wchar_t* error, UINT maxError, UINT*) const override {
            std::wcsncpy(error, L"disk full", maxError);
            return TRUE;
        }
    } described;
    described.ReportError();
    EXPECT_EQ(g_seenText, L"disk full");
    EXPECT_EQ(g_seenType, MB_OK);
    BrimSetMessageBoxHandler(before);
}

}  // namespace
