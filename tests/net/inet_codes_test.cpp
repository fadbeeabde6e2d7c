// POSIX only: every code the internet layer can set (curl results mapped as it maps them) has a text.

#include "tests/support/suite.h"
#include "framework/inet/curl_api_posix.h"
#include "framework/inet/curl_errors_posix.h"

#include <fstream>
#include <iterator>

namespace {

// A code without a table entry gets the generic "ERRORNUMBER ( code )".
bool HasText(unsigned long code) { return CBrimUtil::MessageError(code).Find(L"ERRORNUMBER") < 0; }

TEST(InternetCodes, EveryCodeTheLayerSetsAndTheWholeDocumentedRangeHaveTexts) {
    CInternetSession session;   // the internet table counts once the layer is in use
    const auto& layer = brim::err::kPosixInternetLayerCodes;
    for (const DWORD code : layer) EXPECT_TRUE(HasText(code)) << code;
    for (int curl = CURLE_OK + 1; curl < CURL_LAST; ++curl) {
        const DWORD code = brim::detail::CurlErrorToInternet(curl);
        EXPECT_TRUE(HasText(code)) << "curl " << curl << " -> " << code;
        EXPECT_EQ(std::count(std::begin(layer), std::end(layer), code), 1) << "curl " << curl << " -> " << code;
    }
    int withText = 0;
    for (unsigned long code = 12001; code <= 12176; ++code) withText += HasText(code) ? 1 : 0;
    // 12001-12034, 12036-12057, 12110-12112, 12130-12138, 12150-12175.
    EXPECT_EQ(withText, 34 + 22 + 3 + 9 + 26);
}

// Whether a library whose file name starts with prefix is in the process.
bool IsMapped(const char* prefix) {
    std::ifstream maps("/proc/self/maps");
    const std::string all((std::istreambuf_iterator<char>(maps)), std::istreambuf_iterator<char>());
    return all.find(prefix) != std::string::npos;
}

// libcurl is opened when HTTP first needs it, never at start-up.
TEST(CurlLoading, OnlyWhenAskedForAndOnlyAWholeTable) {
    { CInternetSession session; }
    CBrimUtil::MessageError(12004);
    EXPECT_FALSE(IsMapped("/libcurl")) << "libcurl was loaded by a process that made no HTTP request";
    // The same holds for SQLite, which only the registry uses.
    EXPECT_FALSE(IsMapped("/libsqlite3")) << "SQLite was loaded by a process that did not use the registry";

    brim::detail::CurlApi api{};
    EXPECT_FALSE(brim::detail::OpenCurl("libbrim-no-such-curl.so.4", api));
    EXPECT_EQ(api.easy_init, nullptr);
    // A library that opens but is not curl: refused, nothing half-filled.
    EXPECT_FALSE(brim::detail::OpenCurl("libc.so.6", api));
    EXPECT_EQ(api.easy_init, nullptr);

    ASSERT_TRUE(brim::detail::OpenCurl(BRIM_CURL_SONAME, api));
    EXPECT_NE(api.multi_poll, nullptr);
    EXPECT_NE(api.slist_free_all, nullptr);
    EXPECT_TRUE(IsMapped("/libcurl"));
}

}  // namespace
