#include <brim/brim.h>

#include "tests/support/printers.h"

#include <gtest/gtest.h>

#include <cwchar>
#include <string>

namespace {

std::wstring g_title;
UINT g_capacity = 0;
HWND g_owner = nullptr;

int Chooses(HWND owner, const wchar_t* title, wchar_t* folder, UINT capacity) {
    g_owner = owner;
    g_title = title;
    g_capacity = capacity;
    std::wcscpy(folder, L"/chosen/folder");
    return 1;
}

int Cancels(HWND, const wchar_t*, wchar_t* folder, UINT) {
    std::wcscpy(folder, L"left behind");
    return 0;
}

// Fills every unit, terminator included.
int Overfills(HWND, const wchar_t*, wchar_t* folder, UINT capacity) {
    std::wmemset(folder, L'x', capacity);
    return 1;
}

TEST(FolderChooser, TheInstalledHandlerAnswersCutToTheBuffer) {
    EXPECT_EQ(BrimSetFolderChooserHandler(Chooses), nullptr);
    const HWND owner = reinterpret_cast<HWND>(static_cast<ULONG_PTR>(0x1234));
    EXPECT_EQ(CBrimDialog::GetPath(owner), L"/chosen/folder");
    EXPECT_EQ(g_owner, owner);
    EXPECT_EQ(g_title, L"\xACBD\xB85C \xC120\xD0DD :");
    EXPECT_EQ(g_capacity, 1000u);
    EXPECT_EQ(BrimSetFolderChooserHandler(Cancels), Chooses);
    EXPECT_EQ(CBrimDialog::GetPath(nullptr), L"");
    BrimSetFolderChooserHandler(Overfills);
    EXPECT_EQ(CBrimDialog::GetPath(nullptr).GetLength(), 999);
    BrimSetFolderChooserHandler(nullptr);
}

}  // namespace
