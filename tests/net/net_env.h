// The network test servers that tests/servers/run_with_servers.py starts
// around a test program, as the program finds them in its environment.
#pragma once

#include <brim/brim.h>

#include "tests/support/thrown.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <string>

namespace brimtest {

// The port in variable, or 0 when the servers were not started.
int ServerPort(const char* variable);
// Why a test has no server (for its failure or skip message).
std::string MissingServerReason(const char* variable);
bool InCi();

// The FTP servers' root folder, as this process names it.
std::filesystem::path FtpRoot();
std::wstring FtpUser();
std::wstring FtpPassword();

// A GET over a plain socket, outside the library: the response body.
std::string HttpGetBody(int port, const std::string& path);

// A line-by-line conversation with a test server's side channel: each
// request line gets one answer line. Opened at construction.
class LineChannel {
public:
    explicit LineChannel(int port);
    ~LineChannel();
    LineChannel(const LineChannel&) = delete;
    LineChannel& operator=(const LineChannel&) = delete;
    // The answer, without its line break; "<no answer>" when there is none.
    std::string Ask(const std::string& line);

private:
    std::intptr_t m_socket;
    std::string m_unread;
};

std::wstring Widen(const std::string& ascii);
// The message of a CBrimException made from an error code.
CStringW CodeMessage(unsigned long code);

// The message of a CBrimException thrown by call, or "<nothing thrown>".
template <typename F>
CStringW BrimFailure(F&& call) {
    return Thrown(call);
}

}  // namespace brimtest

// Declares int var = the server's port, or ends the test: a failure in CI,
// a skip with the reason elsewhere.
#define BRIM_REQUIRE_SERVER(var, variable)                                                       \
    const int var = brimtest::ServerPort(variable);                                              \
    if (var == 0) {                                                                              \
        if (brimtest::InCi()) FAIL() << brimtest::MissingServerReason(variable);                 \
        GTEST_SKIP() << brimtest::MissingServerReason(variable);                                 \
    }
