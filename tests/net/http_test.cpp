// CBrimHTTP against the scripted HTTP server (tests/servers/http_server.py),
// which records every request so the tests can check it byte for byte.

#include "tests/net/net_env.h"
#include "tests/support/printers.h"
#include "tests/support/temp_dir.h"

#include <brim/text.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#if !defined(_WIN32)
#include <sched.h>
#include <sys/mount.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

namespace {
using brimtest::BlockCall;
using brimtest::CodeMessage;
using brimtest::kNoConnection;
using brimtest::Thrown;
using RecordingHttp = brimtest::Recording<CBrimHTTP>;

// Message boxes are recorded, never shown.
std::vector<std::pair<CStringW, UINT>> g_boxes;
int RecordBox(const wchar_t* text, UINT type) {
    g_boxes.emplace_back(text, type);
    return IDOK;
}

std::string Pattern(std::size_t n) {
    std::string bytes(n, '\0');
    for (std::size_t i = 0; i < n; ++i) bytes[i] = static_cast<char>(i % 251);
    return bytes;
}

// A recorded request: its request line, header lines and body.
struct Recorded {
    std::string requestLine;
    std::vector<std::string> headers;
    std::string body;
    std::size_t IndexOf(const std::string& line) const {
        std::size_t i = 0;
        while (i < headers.size() && headers[i] != line) ++i;
        return i;
    }
    bool Has(const std::string& line) const { return IndexOf(line) < headers.size(); }
};

Recorded Record(int port, const std::string& path) {
    const std::string raw = brimtest::HttpGetBody(port, "/__record" + path);
    Recorded r;
    const std::size_t end = raw.find("\r\n\r\n");
    if (end == std::string::npos) return r;
    r.body = raw.substr(end + 4);
    for (std::size_t start = 0; start < end;) {
        const std::size_t eol = std::min(raw.find("\r\n", start), end);
        (start == 0 ? r.requestLine : r.headers.emplace_back()) = raw.substr(start, eol - start);
        start = eol + 2;
    }
    return r;
}

class HttpTest : public ::testing::Test {
protected:
    void SetUp() override {
        g_boxes.clear();
        m_previous = BrimSetMessageBoxHandler(&RecordBox);
    }
    void TearDown() override { BrimSetMessageBoxHandler(m_previous); }

    static std::wstring Url(int port, const std::string& path) {
        return L"http://127.0.0.1:" + std::to_wstring(port) + brimtest::Widen(path);
    }

    brimtest::TempDir m_local;
    BrimMessageBoxHandler m_previous = nullptr;
};

TEST_F(HttpTest, FormPostSendsTheSevenHeadersInOrderAndTheBodyWithItsZeroByte) {
    BRIM_REQUIRE_SERVER(port, "BRIM_HTTP_PORT");
    RecordingHttp http;
    http.ConnectHttp(L"127.0.0.1", port + 0x10000);   // only the low 16 bits count
    EXPECT_EQ(http.SendRequestHttp(L"/form/basic", L"a=1&b=2"), L"received");
    http.SendRequestHttp(L"/form/empty", L"");
    EXPECT_EQ(Record(port, "/form/empty").body, std::string(1, '\0'));

    const Recorded r = Record(port, "/form/basic");
    EXPECT_EQ(r.requestLine, "POST /form/basic HTTP/1.1");
    EXPECT_EQ(r.body, std::string("a=1&b=2\0", 8));
    EXPECT_TRUE(r.Has("Content-Length: 8"));
    EXPECT_TRUE(r.Has("Host: 127.0.0.1:" + std::to_string(port)));
    // The seven lines keep their order; the session's own agent is sent
    // only for a request without a User-Agent line, so this one gives way.
    std::size_t last = 0;
    for (const std::string line : {"Accept: text/html, application/xhtml+xml, */*", "Referer: http://www.example.com/",
                                    "Accept-Language: ko-KR",
                                    "User-Agent: Mozilla/5.0 (compatible; MSIE 9.0; Windows NT 6.1; WOW64; Trident/5.0)",
                                    "Content-Type: application/x-www-form-urlencoded", "Accept-Encoding: gzip, deflate",
                                    "Connection: Keep-Alive"}) {
        const std::size_t at = r.IndexOf(line);
        ASSERT_LT(at, r.headers.size()) << line;
        EXPECT_GE(at, last) << line;
        last = at;
    }
    std::size_t agents = 0;
    for (const std::string& h : r.headers) agents += h.rfind("User-Agent:", 0) == 0 ? 1 : 0;
    EXPECT_EQ(agents, 1u);

    // Each response's headers were shown once, with an OK button.
    ASSERT_EQ(g_boxes.size(), 2u);
    EXPECT_EQ(g_boxes[0].second, static_cast<UINT>(MB_OK));
    EXPECT_EQ(g_boxes[0].first.Find(L"HTTP/1.1 200 OK\r\n"), 0);
    EXPECT_GE(g_boxes[0].first.Find(L"Server: brim-test\r\n"), 0);
}

TEST_F(HttpTest, ResponseTextIsTheBodyOfA200UpToEachBlocksZeroByte) {
    BRIM_REQUIRE_SERVER(port, "BRIM_HTTP_PORT");
    RecordingHttp http;
    http.ConnectHttp(L"127.0.0.1", port);
    // /zero's first block is "abc", a zero byte and filler; its second is "second".
    const std::pair<const wchar_t*, const wchar_t*> cases[] = {
        {L"/status/404/form", L""}, {L"/bytes/0/form", L""}, {L"/zero", L"abcsecond"}};
    for (const auto& [path, text] : cases) EXPECT_EQ(http.SendRequestHttp(path, L"a=1"), text);
    ASSERT_EQ(g_boxes.size(), 3u);   // every response is shown
    EXPECT_EQ(g_boxes[0].first.Find(L"HTTP/1.1 404"), 0);
    EXPECT_NE(http.m_pConnection, nullptr);
}

TEST_F(HttpTest, MultiByteCharacterAcrossBlocksIsConvertedInHalves) {
    BRIM_REQUIRE_SERVER(port, "BRIM_HTTP_PORT");
    // U+D55C in a double-byte ANSI code page takes two bytes.
    if (CBrimString::Unicode2MBCSCount(L"\xD55C") != 3) {
        GTEST_SKIP() << "the ANSI code page has no double-byte characters here (POSIX takes it from LANG; "
                        "Wine from an installed system locale)";
    }
    char pair[3] = {};
    CBrimString::Unicode2MBCS(pair, L"\xD55C");
    char hex[5];
    std::snprintf(hex, sizeof(hex), "%02x%02x", static_cast<unsigned char>(pair[0]), static_cast<unsigned char>(pair[1]));
    RecordingHttp http;
    http.ConnectHttp(L"127.0.0.1", port);
    const CStringW text = http.SendRequestHttp(brimtest::Widen(std::string("/pad/4095/") + hex + "7a").c_str(), L"");

    // Each block on its own: 4095 "a" and a lead byte, then the trail byte and "z".
    const std::string first = std::string(4095, 'a') + pair[0];
    const std::string second = std::string(1, pair[1]) + "z";
    std::vector<wchar_t> a(first.size() + 1), b(second.size() + 1);
    CBrimString::MBCS2Unicode(a.data(), first.c_str());
    CBrimString::MBCS2Unicode(b.data(), second.c_str());
    EXPECT_EQ(text, CStringW(a.data()) + b.data());
    EXPECT_EQ(text.Find(L'\xD55C'), -1);
}

TEST_F(HttpTest, DownloadReportsTheAnnouncedLengthOrTheRunningEstimateToItsHooks) {
    BRIM_REQUIRE_SERVER(port, "BRIM_HTTP_PORT");
    RecordingHttp http;
    // Connecting makes no network traffic, so a closed port is accepted;
    // Download goes to the URL's own server.
    http.ConnectHttp(L"127.0.0.1", brimtest::ServerPort("BRIM_CLOSED_PORT"));
    struct Case {
        std::string path;
        std::size_t size;
        bool announced;   // a Content-Length of at most 7 digits
        const char* page = nullptr;
    };
    const Case cases[] = {{"/bytes/10000", 10000, true},   {"/bytes/1234567", 1234567, true},
                          {"/bytes/12345678", 12345678, false}, {"/nolen/10000", 10000, false},
                          {"/chunked/10000", 10000, false}, {"/slow/5000", 5000, true},
                          {"/bytes/0", 0, true},            {"/status/404/page", 9, true, "page 404\n"}};   // error pages are saved
    int n = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.path);
        http.Reset();
        const std::wstring url = Url(port, c.path);
        const CStringW local = m_local.File(L"d" + std::to_wstring(++n));
        http.Download(url.c_str(), local, 2);
        EXPECT_TRUE(brimtest::ReadBytes(m_local.Path() / ("d" + std::to_string(n))) ==
                    (c.page != nullptr ? c.page : Pattern(c.size)));
        EXPECT_EQ(http.waits, static_cast<int>(http.downloads.size()) + 1);
        std::size_t sum = 0;
        for (std::size_t i = 0; i < http.downloads.size(); ++i) {
            const BlockCall& b = http.downloads[i];
            sum += b.bytes;
            EXPECT_EQ(b.index, static_cast<int>(i));
            EXPECT_EQ(b.total, c.announced ? c.size : 4096 * i + b.bytes);
            EXPECT_EQ(b.source, url.c_str());
            EXPECT_EQ(b.destination, local.GetString());
        }
        EXPECT_EQ(sum, c.size);
        if (c.size == 12345678) {
            EXPECT_EQ(http.downloads.at(2).total, 12288u);
        }
    }
    // A download's GET carries the session's agent.
    const Recorded r = Record(port, "/status/404/page");
    EXPECT_EQ(r.requestLine, "GET /status/404/page HTTP/1.1");
    EXPECT_TRUE(r.Has("User-Agent: Mozilla/4.0 (compatible; MSIE 8.0; Windows NT 6.1; Trident/4.0; .NET CLR 1.1.4322; "
                      ".NET CLR 2.0.50727; .NET CLR 3.5.30729; .NET CLR 3.0.30729)"));

    // A hook's exception passes through and keeps the connection.
    http.Reset();
    http.throwAtBlock = 1;
    EXPECT_THROW(http.Download(Url(port, "/bytes/10000").c_str(), m_local.File(L"h"), 2), std::string);
    EXPECT_EQ(http.downloads.size(), 2u);
    EXPECT_NE(http.m_pConnection, nullptr);
}

TEST_F(HttpTest, FailuresThrowTheirCodeAndInternetOnesForgetTheConnection) {
    BRIM_REQUIRE_SERVER(port, "BRIM_HTTP_PORT");
    const int closed = brimtest::ServerPort("BRIM_CLOSED_PORT");
    RecordingHttp http;
    EXPECT_EQ(Thrown([&] { http.Download(L"http://127.0.0.1/", m_local.File(L"a"), 2); }), kNoConnection);
    EXPECT_EQ(Thrown([&] { http.SendRequestHttp(L"/", L""); }), kNoConnection);
    EXPECT_EQ(http.waits, 0);

    http.ConnectHttp(L"127.0.0.1", port);
    EXPECT_EQ(Thrown([&] { http.Download(Url(closed, "/x").c_str(), m_local.File(L"x"), 2); }), CodeMessage(12029));
    EXPECT_EQ(http.m_pConnection, nullptr);
    EXPECT_EQ(Thrown([&] { http.SendRequestHttp(L"/form", L"a=1"); }), kNoConnection);

    http.ConnectHttp(L"127.0.0.1", port);
    EXPECT_EQ(Thrown([&] { http.Download(L"http://no-such-host.invalid/", m_local.File(L"y"), 2); }), CodeMessage(12007));
    EXPECT_EQ(http.m_pConnection, nullptr);

    // The server resets the connection half-way through the body.
    http.ConnectHttp(L"127.0.0.1", port);
    const CStringW dropped = Thrown([&] { http.Download(Url(port, "/drop/100000").c_str(), m_local.File(L"z"), 2); });
#if defined(_WIN32)
    EXPECT_EQ(dropped, CodeMessage(10054));   // Wine passes the socket error on (WSAECONNRESET)
#else
    EXPECT_EQ(dropped, CodeMessage(12031));
#endif
    EXPECT_EQ(http.m_pConnection, nullptr);

    // A form post that cannot be sent throws the last error and keeps the connection.
    http.ConnectHttp(L"127.0.0.1", closed);
    for (int attempt = 0; attempt < 2; ++attempt) {
        EXPECT_EQ(Thrown([&] { http.SendRequestHttp(L"/form", L"a=1"); }), CodeMessage(12029));
        EXPECT_NE(http.m_pConnection, nullptr);
    }
    EXPECT_TRUE(g_boxes.empty());

    // The session is gone with CloseHttp: connecting again is refused.
    http.CloseHttp();
    EXPECT_EQ(http.m_pSession, nullptr);
    EXPECT_EQ(Thrown([&] { http.ConnectHttp(L"127.0.0.1", 80); }), CodeMessage(6));
}

TEST_F(HttpTest, HookExceptionsPassThroughAndKeepTheConnection) {
    BRIM_REQUIRE_SERVER(port, "BRIM_HTTP_PORT");
    RecordingHttp http;
    http.ConnectHttp(L"127.0.0.1", port);
    http.throwAtBlock = 1;
    EXPECT_THROW(http.Download(Url(port, "/bytes/10000").c_str(), m_local.File(L"h"), 2), std::string);
    EXPECT_EQ(http.downloads.size(), 2u);
    EXPECT_NE(http.m_pConnection, nullptr);
    // What was written before the hook threw is in the file, whatever the
    // writes to the disk are gathered into.
    EXPECT_EQ(brimtest::ReadBytes(m_local.Path() / "h"), Pattern(8192));
}

#if !defined(_WIN32)
// In a child with its own user and mount namespaces, a 64 KiB file system is
// filled by one download and refuses the next. 0: both failed with diskFull;
// 77: no namespaces here; anything else names the step that went wrong.
int DownloadsToAFullFileSystem(int port, const std::wstring& base, const std::filesystem::path& mountPoint) {
    const pid_t child = fork();
    if (child < 0) return 70;
    if (child == 0) {
        const unsigned uid = getuid(), gid = getgid();
        if (unshare(CLONE_NEWUSER | CLONE_NEWNS) != 0) _exit(77);
        // Files can be made only by a user the namespace maps.
        const auto put = [](const char* file, const std::string& text) {
            FILE* f = std::fopen(file, "w");
            const bool ok = f != nullptr && std::fputs(text.c_str(), f) >= 0;
            return f != nullptr && std::fclose(f) == 0 && ok;
        };
        if (!put("/proc/self/setgroups", "deny") || !put("/proc/self/uid_map", "0 " + std::to_string(uid) + " 1") ||
            !put("/proc/self/gid_map", "0 " + std::to_string(gid) + " 1")) {
            _exit(77);
        }
        if (mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0) _exit(77);
        if (mount("brim-test", mountPoint.c_str(), "tmpfs", 0, "size=64k") != 0) _exit(77);
        RecordingHttp http;
        http.ConnectHttp(L"127.0.0.1", port);
        int step = 1;
        // The first fails in a batch of the middle, the second in the last
        // one, written before the file is closed.
        for (const char* path : {"/bytes/1234567", "/bytes/10000"}) {
            const std::wstring local = mountPoint.wstring() + L"/" + std::to_wstring(step);
            try {
                http.Download((base + brimtest::Widen(path)).c_str(), local.c_str(), 2);
                _exit(10 + step);   // no failure
            } catch (CFileException* e) {
                const bool full = e->m_cause == CFileException::diskFull;
                e->Delete();
                if (!full) _exit(20 + step);
            } catch (...) {
                _exit(30 + step);
            }
            if (step == 1 && http.downloads.size() >= 1234567 / 4096) _exit(40);   // failed only after the last block
            ++step;
        }
        _exit(0);
    }
    int status = 0;
    if (waitpid(child, &status, 0) != child || !WIFEXITED(status)) return 71;
    return WEXITSTATUS(status);
}
#endif

// The local file's write failure leaves Download as CFileException, at the
// latest before the file is closed, however the writes are gathered.
TEST_F(HttpTest, AFailedLocalWriteThrowsTheFileException) {
    BRIM_REQUIRE_SERVER(port, "BRIM_HTTP_PORT");
#if defined(_WIN32)
    GTEST_SKIP() << "a full file system is made with a Linux mount namespace";
#else
    std::filesystem::create_directory(m_local.Path() / "full");
    const int result = DownloadsToAFullFileSystem(port, Url(port, ""), m_local.Path() / "full");
    if (result == 77) GTEST_SKIP() << "no user and mount namespaces here to make a small full file system";
    EXPECT_EQ(result, 0);
#endif
}

// A local file that could not be opened fails at the first block, before
// any progress is reported.
TEST_F(HttpTest, ALocalFileThatDidNotOpenFailsAtTheFirstBlock) {
    BRIM_REQUIRE_SERVER(port, "BRIM_HTTP_PORT");
    RecordingHttp http;
    http.ConnectHttp(L"127.0.0.1", port);
    const CStringW folder = m_local.File(L"");   // a folder, not a file
    bool threw = false;
    try {
        http.Download(Url(port, "/bytes/10000").c_str(), folder, 2);
    } catch (CFileException* e) {
        threw = true;
        e->Delete();
    }
    EXPECT_TRUE(threw);
    EXPECT_TRUE(http.downloads.empty());
}

TEST_F(HttpTest, DownloadFetchesFtpUrlsInTheModeItIsGiven) {
    BRIM_REQUIRE_SERVER(port, "BRIM_HTTP_PORT");
    BRIM_REQUIRE_SERVER(ftpPort, "BRIM_FTP_PORT");
    brimtest::WriteBytes(brimtest::FtpRoot() / "http-lines.txt", "one\ntwo\n");
    brimtest::WriteBytes(brimtest::FtpRoot() / "http-big.bin", Pattern(10000));
    const std::wstring server = L"@127.0.0.1:" + std::to_wstring(ftpPort) + L"/";
    const std::wstring base = L"ftp://" + brimtest::FtpUser() + L":" + brimtest::FtpPassword() + server;
    RecordingHttp http;
    http.ConnectHttp(L"127.0.0.1", port);

    // The mode is combined into the open flags: ASCII makes the server send
    // its text with CR LF line ends, binary sends the bytes as stored.
    http.Download((base + L"http-lines.txt").c_str(), m_local.File(L"ascii"), INTERNET_FLAG_TRANSFER_ASCII);
    EXPECT_EQ(brimtest::ReadBytes(m_local.Path() / "ascii"), "one\r\ntwo\r\n");
    http.Download((base + L"http-lines.txt").c_str(), m_local.File(L"binary"), INTERNET_FLAG_TRANSFER_BINARY);
    EXPECT_EQ(brimtest::ReadBytes(m_local.Path() / "binary"), "one\ntwo\n");

    // No content length: the running estimate is reported.
    http.Reset();
    http.Download((base + L"http-big.bin").c_str(), m_local.File(L"big"), INTERNET_FLAG_TRANSFER_BINARY);
    EXPECT_TRUE(brimtest::ReadBytes(m_local.Path() / "big") == Pattern(10000));
    DWORD sum = 0;
    for (const BlockCall& b : http.downloads) {
        sum += b.bytes;
        EXPECT_EQ(b.total, static_cast<ULONGLONG>(b.index) * 4096 + b.bytes);
    }
    EXPECT_EQ(sum, 10000u);
    EXPECT_NE(http.m_pConnection, nullptr);

    // A refused login is an internet failure like any other.
    const std::wstring wrong = L"ftp://" + brimtest::FtpUser() + L":wrong" + server + L"x";
    EXPECT_EQ(Thrown([&] { http.Download(wrong.c_str(), m_local.File(L"x"), 2); }), CodeMessage(12015));
    EXPECT_EQ(http.m_pConnection, nullptr);
}

TEST_F(HttpTest, HostileResponsesFailWithTheCodeThatNamesTheirCause) {
    BRIM_REQUIRE_SERVER(port, "BRIM_HTTP_PORT");
    RecordingHttp http;
    // 12152: an invalid or unrecognized response; 12156: the redirect failed.
    for (const auto& [path, code] : {std::pair<const char*, unsigned long>{"/hugeheader", 12152}, {"/loop/a", 12156},
                                     {"/garbage", 12152}}) {
        SCOPED_TRACE(path);
#if defined(_WIN32)
        if (code == 12156) continue;   // Wine's WinINet follows a redirect loop without end
#endif
        http.ConnectHttp(L"127.0.0.1", port);
        const CStringW failure = Thrown([&] { http.Download(Url(port, path).c_str(), m_local.File(L"h"), 2); });
#if defined(_WIN32)
        // Wine's WinINet takes each of these as a response of its own kind
        // (a long header, the redirect's own page, a body without headers).
        EXPECT_TRUE(failure == CodeMessage(code) || failure == L"<nothing thrown>") << ::testing::PrintToString(failure);
#else
        EXPECT_EQ(failure, CodeMessage(code));
        EXPECT_EQ(http.m_pConnection, nullptr);
#endif
    }
}

TEST_F(HttpTest, SessionHasTheConnectTimeoutBackoffAndRetriesOfTheContract) {
    RecordingHttp http;
    DWORD timeout = 0, backoff = 1000, retries = 1;
    EXPECT_TRUE(http.m_pSession->QueryOption(INTERNET_OPTION_CONNECT_TIMEOUT, timeout));
    EXPECT_EQ(timeout, 20000u);
    [[maybe_unused]] const bool backoffKnown = http.m_pSession->QueryOption(INTERNET_OPTION_CONNECT_BACKOFF, backoff);
    [[maybe_unused]] const bool retriesKnown = http.m_pSession->QueryOption(INTERNET_OPTION_CONNECT_RETRIES, retries);
#if !defined(_WIN32)
    // Wine's WinINet does not report these two options; the POSIX layer does.
    EXPECT_TRUE(backoffKnown && retriesKnown);
#endif
    EXPECT_EQ(backoff, 1000u);
    EXPECT_EQ(retries, 1u);
}

}  // namespace
