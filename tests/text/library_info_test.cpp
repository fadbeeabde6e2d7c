#include <brim/brim.h>

#include <gtest/gtest.h>

#include <regex>
#include <string>

namespace {

std::wstring Of(const CStringW& text) { return text.GetString(); }

TEST(LibraryInfo, NamesItsVersionBackendAndTheVectorsOfEachLoop) {
    EXPECT_TRUE(std::regex_match(Of(CBrimLibraryInfo::GetVersion()), std::wregex(L"[0-9]+\\.[0-9]+\\.[0-9]+")))
        << Of(CBrimLibraryInfo::GetVersion());
#if defined(_WIN32)
    EXPECT_EQ(Of(CBrimLibraryInfo::GetBackend()), L"win32");
    // The wide vector paths are not built for Windows.
    EXPECT_TRUE(std::regex_match(Of(CBrimLibraryInfo::GetVectorPaths()),
                                 std::wregex(L"UTF-8 conversion portable, encoding probers (portable|SSE2)")))
        << Of(CBrimLibraryInfo::GetVectorPaths());
#else
    EXPECT_EQ(Of(CBrimLibraryInfo::GetBackend()), L"posix");
    EXPECT_TRUE(std::regex_match(Of(CBrimLibraryInfo::GetVectorPaths()),
                                 std::wregex(L"UTF-8 conversion (portable|AVX2|AVX-512), "
                                             L"encoding probers (portable|SSE2|AVX2|AVX-512)")))
        << Of(CBrimLibraryInfo::GetVectorPaths());
#endif
}

}  // namespace
