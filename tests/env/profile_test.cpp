#include "tests/env/registry_fixture.h"

namespace brimtest {
namespace {

// Both modes of the application object, through CBrimRegistry's User calls.
class Profile : public RegistryTest {
protected:
    // The registry mode's company key: the test's own key below Software.
    std::wstring Company() const { return m_base.substr(std::wstring(L"Software\\").size()); }
    TempDir m_dir;
};

TEST_F(Profile, RegistryModeStoresUnderTheCompanyAndApplicationKeys) {
    CWinApp app(L"ProfileApp");
    app.SetRegistryKey(Company().c_str());
    EXPECT_STREQ(app.m_pszProfileName, L"ProfileApp");
    CBrimRegistry registry;
    registry.SetApp(&app);
    EXPECT_EQ(registry.UserReadString(L"Window", L"Title", L"fallback"), L"fallback");
    EXPECT_EQ(registry.UserReadInt(L"Window", L"Width", 640), 640);
    ASSERT_TRUE(registry.UserWriteString(L"Window", L"Title", L"Main \xD55C"));
    ASSERT_TRUE(registry.UserWriteInt(L"Window", L"Width", -5));
    EXPECT_EQ(registry.UserReadString(L"Window", L"Title", L""), L"Main \xD55C");
    EXPECT_EQ(registry.UserReadInt(L"Window", L"Width", 0), -5);
    EXPECT_EQ(Get(L"ProfileApp\\Window", L"Title"), L"Main \xD55C");
    EXPECT_EQ(registry.UserReadInt(L"Window", L"Title", 77), 77);   // a string is not a number
    // Removing an entry, then the section.
    ASSERT_TRUE(registry.UserWriteString(L"Window", L"b", L"2"));
    EXPECT_TRUE(registry.UserWriteString(L"Window", L"Title", nullptr));
    EXPECT_EQ(registry.UserReadString(L"Window", L"Title", L"gone"), L"gone");
    EXPECT_EQ(registry.UserReadString(L"Window", L"b", L""), L"2");
    EXPECT_TRUE(registry.UserWriteString(L"Window", nullptr, nullptr));
    EXPECT_EQ(registry.UserReadString(L"Window", L"b", L"gone"), L"gone");
}

TEST_F(Profile, ValuesWrittenByOneApplicationObjectAreReadByAnother) {
    {
        CWinApp writer(L"Shared");
        writer.SetRegistryKey(Company().c_str());
        ASSERT_TRUE(writer.WriteProfileString(L"Data", L"Name", L"from writer"));
        ASSERT_TRUE(writer.WriteProfileInt(L"Data", L"Count", 42));
    }
    CWinApp reader(L"Shared");
    reader.SetRegistryKey(Company().c_str());
    EXPECT_EQ(reader.GetProfileString(L"data", L"name"), L"from writer");
    EXPECT_EQ(reader.GetProfileInt(L"DATA", L"COUNT", 0), 42u);

    const CStringW ini = m_dir.File(L"shared.ini");
    CWinApp fileWriter(L"Shared"), fileReader(L"Shared");
    fileWriter.SetProfileName(ini);
    fileReader.SetProfileName(ini);
    ASSERT_TRUE(fileWriter.WriteProfileString(L"Data", L"Name", L"in a file"));
    EXPECT_EQ(fileReader.GetProfileString(L"Data", L"Name"), L"in a file");
}

TEST_F(Profile, FileModeKeepsSectionsAndEntriesApart) {
    CWinApp app(L"IniApp");
    EXPECT_EQ(app.m_pszRegistryKey, nullptr);
    app.SetProfileName(m_dir.File(L"app.ini"));
    CBrimRegistry registry;
    registry.SetApp(&app);
    EXPECT_EQ(registry.UserReadString(L"One", L"Key", L"default"), L"default");
    EXPECT_EQ(registry.UserReadInt(L"One", L"Number", 9), 9);
    ASSERT_TRUE(registry.UserWriteString(L"One", L"Key", L"first"));
    ASSERT_TRUE(registry.UserWriteString(L"Two", L"Key", L"second"));
    ASSERT_TRUE(registry.UserWriteInt(L"One", L"Number", -12));
    ASSERT_TRUE(registry.UserWriteString(L"One", L"Key", L"replaced"));
    EXPECT_EQ(registry.UserReadString(L"one", L"KEY", L""), L"replaced");
    EXPECT_EQ(registry.UserReadString(L"Two", L"Key", L""), L"second");
    EXPECT_EQ(registry.UserReadInt(L"One", L"Number", 0), -12);
    EXPECT_EQ(registry.UserReadInt(L"Two", L"Key", 5), 0);   // text that is no number reads 0, not the default
    EXPECT_TRUE(registry.UserWriteString(L"One", L"Key", nullptr));
    EXPECT_EQ(registry.UserReadString(L"One", L"Key", L"gone"), L"gone");
    EXPECT_EQ(registry.UserReadInt(L"One", L"Number", 0), -12);
    EXPECT_TRUE(registry.UserWriteString(L"Two", nullptr, nullptr));
    EXPECT_EQ(registry.UserReadString(L"Two", L"Key", L"gone"), L"gone");
}

TEST_F(Profile, TheFirstLiveApplicationObjectIsTheApplication) {
    CWinApp* before = AfxGetApp();
    {
        CWinApp first(L"First");
        CWinApp second(L"Second");
        if (before == nullptr) {
            EXPECT_EQ(AfxGetApp(), &first);
            EXPECT_EQ(CBrimInfoModule::GetAppName(), L"First");
        }
    }
    EXPECT_EQ(AfxGetApp(), before);
    CWinApp unnamed;
    EXPECT_STRNE(unnamed.m_pszAppName, L"");
    EXPECT_STREQ(unnamed.m_pszAppName, unnamed.m_pszExeName);
}

}  // namespace
}  // namespace brimtest
