// What the network suites share: the servers' settings and a transfer host that records its hooks.
#pragma once

#include "tests/support/suite.h"
#include <brim/net.h>

namespace brimtest {

inline const wchar_t* const kNoConnection = L"BrimException : Connection이 없습니다.";
// Windows builds (backslash paths) run under Wine, whose WinINet differs where a test says so.
constexpr bool kWine = std::filesystem::path::preferred_separator == L'\\';

inline std::wstring Widen(const std::string& ascii) { return std::wstring(ascii.begin(), ascii.end()); }
// The variable's value, or empty.
inline std::string Env(const char* name) {
    const char* value = std::getenv(name);
    return value == nullptr ? std::string() : std::string(value);
}
// The port in variable, or 0 when the servers were not started.
inline int ServerPort(const char* variable) { return std::atoi(Env(variable).c_str()); }
// Why a test has no server (for its failure or skip message).
inline std::string MissingServerReason(const char* variable) {
    const std::string missing = Env("BRIM_SERVERS_MISSING");
    if (!missing.empty()) return "test server missing: " + missing;
    return std::string("no test server (") + variable +
           " unset): run the test through ctest, which starts tests/servers/run_with_servers.py";
}

// The FTP servers' root folder, as this process names it.
inline std::filesystem::path FtpRoot() {
    std::string root = Env("BRIM_FTP_ROOT");
#if defined(_WIN32)
    // Wine shows the Unix root as drive Z:.
    if (!root.empty() && root[0] == '/') root = "Z:" + root;
#endif
    return std::filesystem::path(root);
}
inline std::wstring FtpUser() { return Widen(Env("BRIM_FTP_USER")); }
inline std::wstring FtpPassword() { return Widen(Env("BRIM_FTP_PASSWORD")); }

// The message of a CBrimException made from an error code.
inline CStringW CodeMessage(unsigned long code) { return CBrimException(code).GetMessageW(); }

// n bytes, byte i being i % 251, as the HTTP server's /bytes/N sends them.
inline std::string Pattern(std::size_t n) {
    std::string bytes(n, '\0');
    for (std::size_t i = 0; i < n; ++i) bytes[i] = static_cast<char>(i % 251);
    return bytes;
}

// The cause of the CFileException a call throws, or -1.
template <typename Call>
int FileFailureCause(Call call) {
    try {
        call();
    } catch (CFileException* e) {
        const int cause = e->m_cause;
        e->Delete();
        return cause;
    }
    return -1;
}

struct BlockCall {
    DWORD bytes;
    int index;
    ULONGLONG total;
    const wchar_t* source;
    const wchar_t* destination;
};

// Records every hook call, runs onBlock, may throw; the throttle returns at once. Not override: HTTP has no upload.
template <typename Host>
class Recording : public Host {
public:
    void vUploadProgress(DWORD& bytes, int& index, ULONGLONG& total, const wchar_t* source,
                         const wchar_t* destination) {
        Record(uploads, {bytes, index, total, source, destination});
    }
    void vDownloadProgress(DWORD& bytes, int& index, ULONGLONG& total, const wchar_t* source,
                           const wchar_t* destination) {
        Record(downloads, {bytes, index, total, source, destination});
    }
    void vWaitForSpeedBalance() { ++waits; }
    void Reset() {
        uploads.clear();
        downloads.clear();
        waits = 0;
    }
    // A wait per block and one more; blocks in order, 1-4096 bytes (whole: all full but the last), summing to size.
    void ExpectCalls(const std::vector<BlockCall>& calls, std::size_t size, ULONGLONG announced,
                     const wchar_t* source, const wchar_t* destination, bool whole = false) const {
        EXPECT_EQ(waits, static_cast<int>(calls.size()) + 1);
        std::size_t sum = 0;
        for (std::size_t i = 0; i < calls.size(); ++i) {
            const BlockCall& b = calls[i];
            EXPECT_TRUE(b.bytes >= 1 && b.bytes <= 4096) << b.bytes;
            EXPECT_TRUE(!whole || i + 1 == calls.size() || b.bytes == 4096) << b.bytes;
            EXPECT_EQ(b.index, static_cast<int>(i));
            EXPECT_EQ(b.total, announced != 0 ? announced : 4096 * i + b.bytes);
            EXPECT_EQ(b.source, source);
            EXPECT_EQ(b.destination, destination);
            sum += b.bytes;
        }
        EXPECT_EQ(sum, size);
    }

    std::vector<BlockCall> uploads, downloads;
    int waits = 0;
    int throwAtBlock = -1;
    std::function<void(const std::vector<BlockCall>& calls)> onBlock;   // calls: uploads or downloads

private:
    void Record(std::vector<BlockCall>& calls, const BlockCall& call) {
        calls.push_back(call);
        if (onBlock) onBlock(calls);
        if (throwAtBlock == call.index) throw std::string("hook stopped the transfer");
    }
};

using RecordingFtp = Recording<CBrimFTP>;

// A GET through a host of its own: the response body.
inline std::string HttpGet(int port, const std::string& path) {
    Recording<CBrimHTTP> http;
    http.ConnectHttp(L"127.0.0.1", port);
    TempDir local;
    http.Download(Widen("http://127.0.0.1:" + std::to_string(port) + path).c_str(), local.File(L"body"), 2);
    return ReadBytes(local.Path() / "body");
}

}  // namespace brimtest

// Declares int var = the server's port, or ends the test: a failure in CI, a skip elsewhere.
#define BRIM_REQUIRE_SERVER(var, variable)                                                       \
    const int var = brimtest::ServerPort(variable);                                              \
    if (var == 0) {                                                                              \
        if (brimtest::Env("CI") == "true") FAIL() << brimtest::MissingServerReason(variable);    \
        GTEST_SKIP() << brimtest::MissingServerReason(variable);                                 \
    }
