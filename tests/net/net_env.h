// What the network suites share: the test servers that run_with_servers.py
// starts around a test program, and a transfer host that records its hooks.
#pragma once

#include <brim/brim.h>
#include <brim/net.h>

#include "tests/support/thrown.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace brimtest {

inline const wchar_t* const kNoConnection = L"BrimException : Connection이 없습니다.";

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

// A connection to a test server's side channel: one answer line per request line.
class LineChannel {
public:
    explicit LineChannel(int port);
    ~LineChannel();
    LineChannel(const LineChannel&) = delete;
    LineChannel& operator=(const LineChannel&) = delete;
    // The answer, without its line break; "<no answer>" when there is none.
    std::string Ask(const std::string& line);

private:
    friend std::string HttpGetBody(int port, const std::string& path);
    bool Receive();   // false at the end or on an error
    std::intptr_t m_socket;
    std::string m_unread;
};

std::wstring Widen(const std::string& ascii);
// The message of a CBrimException made from an error code.
CStringW CodeMessage(unsigned long code);

struct BlockCall {
    DWORD bytes;
    int index;
    ULONGLONG total;
    const wchar_t* source;
    const wchar_t* destination;
};

// Records every hook call and may throw from one; the throttle returns at
// once (tests count its calls, not its pauses). Host is CBrimFTP or CBrimHTTP.
template <typename Host>
class Recording : public Host {
public:
    void vDownloadProgress(DWORD& bytes, int& index, ULONGLONG& total, const wchar_t* source,
                           const wchar_t* destination) override {
        downloads.push_back({bytes, index, total, source, destination});
        if (throwAtBlock == index) throw std::string("hook stopped the transfer");
    }
    void vWaitForSpeedBalance() override { ++waits; }
    void Reset() {
        uploads.clear();
        downloads.clear();
        waits = 0;
    }

    std::vector<BlockCall> uploads, downloads;
    int waits = 0;
    int throwAtBlock = -1;
};

class RecordingFtp : public Recording<CBrimFTP> {
public:
    void vUploadProgress(DWORD& bytes, int& index, ULONGLONG& total, const wchar_t* source,
                         const wchar_t* destination) override {
        uploads.push_back({bytes, index, total, source, destination});
        if (throwAtBlock == index) throw std::string("hook stopped the transfer");
    }
};

}  // namespace brimtest

// Declares int var = the server's port, or ends the test: a failure in CI,
// a skip with the reason elsewhere.
#define BRIM_REQUIRE_SERVER(var, variable)                                                       \
    const int var = brimtest::ServerPort(variable);                                              \
    if (var == 0) {                                                                              \
        if (brimtest::InCi()) FAIL() << brimtest::MissingServerReason(variable);                 \
        GTEST_SKIP() << brimtest::MissingServerReason(variable);                                 \
    }
