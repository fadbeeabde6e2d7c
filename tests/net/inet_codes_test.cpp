// POSIX only: every code the internet layer can set has its text in the
// library's tables, the curl results through the same mapping the layer uses.

#include "framework/inet/curl_errors_posix.h"

#include <brim/brim.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <iterator>

namespace {

// A code without a table entry gets the generic "ERRORNUMBER ( code )".
bool HasText(unsigned long code) { return CBrimUtil::MessageError(code).Find(L"ERRORNUMBER") < 0; }

TEST(InternetCodes, EveryCodeTheLayerSetsHasItsText) {
    CInternetSession session;   // the internet table counts once the layer is in use
    for (const DWORD code : brim::err::kPosixInternetLayerCodes) EXPECT_TRUE(HasText(code)) << code;
    for (int curl = CURLE_OK + 1; curl < CURL_LAST; ++curl) {
        const DWORD code = brim::detail::CurlErrorToInternet(curl);
        EXPECT_TRUE(HasText(code)) << "curl " << curl << " -> " << code;
        EXPECT_NE(std::find(std::begin(brim::err::kPosixInternetLayerCodes), std::end(brim::err::kPosixInternetLayerCodes), code),
                  std::end(brim::err::kPosixInternetLayerCodes))
            << "curl " << curl << " -> " << code << " is not among the layer's codes";
    }
}

TEST(InternetCodes, TheWholeDocumentedRangeHasTexts) {
    CInternetSession session;
    int withText = 0;
    for (unsigned long code = 12001; code <= 12175; ++code) withText += HasText(code) ? 1 : 0;
    // 12001-12034, 12036-12057, 12110-12112, 12130-12138, 12150-12175.
    EXPECT_EQ(withText, 34 + 22 + 3 + 9 + 26);
    EXPECT_FALSE(HasText(12035));
    EXPECT_FALSE(HasText(12100));
}

}  // namespace
