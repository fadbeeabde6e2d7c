// The message box: an installed handler, no desktop, and what ReportError shows.
#include "tests/support/suite.h"
#include "tests/foundation/suite.h"

#include <cwchar>

namespace {

using Shown = std::pair<std::wstring, UINT>;
Shown g_seen;

int Recording(const wchar_t* text, UINT type) {
    g_seen = {text, type};
    return IDYES;
}

TEST(AfxMessageBox, AnInstalledHandlerAnswersInsteadOfTheDesktop) {
    const BrimMessageBoxHandler before = BrimSetMessageBoxHandler(Recording);
    EXPECT_EQ(AfxMessageBox(L"Content-Type: text/html\r\n", MB_YESNO | MB_ICONQUESTION), IDYES);
    EXPECT_EQ(g_seen, Shown(L"Content-Type: text/html\r\n", MB_YESNO | MB_ICONQUESTION));
    EXPECT_EQ(AfxMessageBox(nullptr), IDYES);   // null text is shown as empty
    EXPECT_EQ(g_seen, Shown(L"", MB_OK));
    EXPECT_EQ(BrimSetMessageBoxHandler(before), Recording);
}

#if !defined(_WIN32)
// Without a handler and a display, a box is dismissed at once: Cancel or No where it has them.
TEST(AfxMessageBox, WithoutADesktopABoxIsDismissed) {
    unsetenv("DISPLAY");
    unsetenv("WAYLAND_DISPLAY");
    EXPECT_EQ(AfxMessageBox(L"?", MB_OK), IDOK);
    EXPECT_EQ(AfxMessageBox(L"?", MB_OKCANCEL), IDCANCEL);
    EXPECT_EQ(AfxMessageBox(L"?", MB_YESNOCANCEL | MB_ICONQUESTION), IDCANCEL);
    EXPECT_EQ(AfxMessageBox(L"?", MB_YESNO), IDNO);
}
#endif

// ReportError shows the description, or the fallback when there is none (CBrimException does not give its message).
TEST(ReportError, ShowsTheDescriptionOrTheFallbackThroughTheHandler) {
    const BrimMessageBoxHandler before = BrimSetMessageBoxHandler(Recording);
    CBrimException* brim = new CBrimException(L"kept out of the box");
    EXPECT_EQ(brim->ReportError(MB_ICONERROR), IDYES);
    EXPECT_EQ(g_seen, Shown(L"No error message is available.", MB_ICONERROR));
    EXPECT_EQ(brim->ReportError(MB_OK, 0xFFFFu), IDYES);   // a string resource nobody has
    EXPECT_EQ(g_seen, Shown(L"No error message is available.", MB_OK));
    brim->Delete();

    struct Described : CException {
        BOOL GetErrorMessage(wchar_t* error, UINT maxError, UINT*) const override {
            std::wcsncpy(error, L"disk full", maxError);
            return TRUE;
        }
    } described;
    described.ReportError();
    EXPECT_EQ(g_seen, Shown(L"disk full", MB_OK));
    BrimSetMessageBoxHandler(before);
}

}  // namespace
