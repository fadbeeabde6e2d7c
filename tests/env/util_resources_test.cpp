#include <brim/brim.h>

#include "tests/env/resource_module.h"
#include "tests/support/printers.h"
#include "tests/support/temp_dir.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

namespace brimtest {
namespace {

TEST(SaveResource, WritesTheBytesUntranslatedOrNoFileAtAll) {
    TempDir dir;
    const std::string blob("AB\0\r\nCD", 7);
    EXPECT_EQ(CBrimUtil::SaveResource(L"BLOB", dir.File(L"blob.bin")), 0);
    EXPECT_EQ(ReadBytes(dir.Path() / "blob.bin"), blob);
    // Names compare without regard to case; an existing file is truncated.
    WriteBytes(dir.Path() / "again.bin", std::string(100, 'x'));
    EXPECT_EQ(CBrimUtil::SaveResource(L"blob", dir.File(L"again.bin")), 0);
    EXPECT_EQ(ReadBytes(dir.Path() / "again.bin"), blob);
    EXPECT_EQ(CBrimUtil::SaveResource(L"EMPTY", dir.File(L"empty.bin")), 0);
    ASSERT_TRUE(std::filesystem::exists(dir.Path() / "empty.bin"));
    EXPECT_EQ(std::filesystem::file_size(dir.Path() / "empty.bin"), 0u);
    EXPECT_EQ(CBrimUtil::SaveResource(L"MISSING", dir.File(L"none.bin")), 0);
    EXPECT_EQ(CBrimUtil::SaveResource(nullptr, dir.File(L"none.bin")), 0);
    EXPECT_FALSE(std::filesystem::exists(dir.Path() / "none.bin"));
    try {
        CBrimUtil::SaveResource(L"BLOB", dir.File(L"no-such-folder/blob.bin"));
        ADD_FAILURE() << "no exception";
    } catch (CFileException* e) {
        EXPECT_NE(e->m_cause, CFileException::none);
        e->Delete();
    }
}

TEST(LoadStringW, FormatsTheEntryWithTheArguments) {
    unsigned int id = 101;
    EXPECT_EQ(CBrimUtil::LoadStringW(id, 3), L"Count: 3 items");
    id = 102;
    EXPECT_EQ(CBrimUtil::LoadStringW(id), L"Plain text");
    id = 999;
    EXPECT_EQ(CBrimUtil::LoadStringW(id, 3), L"");
    CStringW text(L"unchanged");
    EXPECT_FALSE(text.LoadStringW(999));
    EXPECT_EQ(text, L"unchanged");
    EXPECT_TRUE(text.LoadStringW(101));
    EXPECT_EQ(text, L"Count: %d items");
}

TEST(LoadStringW, TheResourceModuleIsSearchedFirst) {
    const HINSTANCE module = LoadResourceModule();
    ASSERT_NE(module, nullptr);
    const HINSTANCE before = AfxGetResourceHandle();
    EXPECT_EQ(before, AfxGetInstanceHandle());
    unsigned int id = 301;
    AfxSetResourceHandle(module);
    EXPECT_EQ(CBrimUtil::LoadStringW(id, L"found"), L"Module string found");
    // The executable's own entries are still found after the resource module's.
    unsigned int own = 102;
    EXPECT_EQ(CBrimUtil::LoadStringW(own), L"Plain text");
    AfxSetResourceHandle(nullptr);
    EXPECT_EQ(AfxGetResourceHandle(), before);
#if !defined(_WIN32)
    // POSIX: every loaded module that embeds strings is an extension library
    // whose table is searched after the executable's. Windows searches the
    // resource module, the executable and this library only.
    EXPECT_EQ(CBrimUtil::LoadStringW(id, L"too"), L"Module string too");
#endif
}

}  // namespace
}  // namespace brimtest
