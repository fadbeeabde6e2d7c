// CBrimFTP against pyftpdlib (passive and active mode) and a scripted server for the failures.

#include "tests/support/suite.h"
#include "tests/net/net_env.h"

#include <tuple>

namespace {
using namespace brimtest;
namespace fs = std::filesystem;

constexpr unsigned long kTimeout = 12002, kExtendedError = 12003, kConnectionReset = 12031;

// Each test has a host connected to pyftpdlib in the mode of its parameter.
class FtpTest : public ::testing::TestWithParam<bool> {
protected:
    void SetUp() override {
        BRIM_REQUIRE_SERVER(port, "BRIM_FTP_PORT");
        m_port = port;
        Connect(m_port);
    }
    void Connect(int port) {
        m_ftp.Connection(L"127.0.0.1", brimtest::FtpUser().c_str(), brimtest::FtpPassword().c_str(), port, GetParam());
    }
    // Both modes share the server's root: each names its files apart.
    std::wstring Name(const std::wstring& stem) const { return stem + (GetParam() ? L"_pasv" : L"_port"); }
    void Write(const std::string& name, const std::string& data) { brimtest::WriteBytes(m_local.Path() / name, data); }

    int m_port = 0;
    RecordingFtp m_ftp;
    brimtest::TempDir m_local;
    const fs::path m_root = brimtest::FtpRoot();
};

INSTANTIATE_TEST_SUITE_P(Modes, FtpTest, ::testing::Bool(),
                         [](const ::testing::TestParamInfo<bool>& info) { return info.param ? "Passive" : "Active"; });

TEST_P(FtpTest, RoundTripsAreByteExactWithEveryBlockReported) {
    // Text mode (1) copies unchanged too; 300000 bytes outgrow 64 KiB reads, 8 MiB the socket buffers.
    for (const auto& [size, mode] :
         {std::pair<std::size_t, int>{0, 2}, {4096, 2}, {4097, 2}, {300000, 1}, {(8u << 20) + 1, 2}}) {
        SCOPED_TRACE(size);
        const std::string bytes = Pattern(size), stem = std::to_string(size);
        const CStringW local = m_local.File(brimtest::Widen("up" + stem));
        const CStringW back = m_local.File(brimtest::Widen("down" + stem));
        Write("up" + stem, bytes);
        const std::wstring remote = L"/" + Name(brimtest::Widen("rt" + stem));

        m_ftp.Reset();
        m_ftp.Upload(local, remote.c_str(), mode);
        EXPECT_TRUE(brimtest::ReadBytes(m_root / remote.substr(1)) == bytes);
        m_ftp.ExpectCalls(m_ftp.uploads, size, size, local.GetString(), remote.c_str(), true);

        m_ftp.Reset();
        m_ftp.Download(remote.c_str(), back, mode);
        EXPECT_TRUE(brimtest::ReadBytes(m_local.Path() / ("down" + stem)) == bytes);
        // The POSIX client fills each block; Wine's WinINet hands on what one receive gave.
        m_ftp.ExpectCalls(m_ftp.downloads, size, size, remote.c_str(), back.GetString(), !kWine);
    }
}

TEST_P(FtpTest, RemoteFolderStepFollowsTheWorkingDirectoryRule) {
    const std::wstring entered = Name(L"entered"), created = Name(L"created");
    fs::create_directories(m_root / entered / entered);
    Write("a.txt", "abc");
    // A relative folder that can be entered is resolved from inside it; one that cannot is created.
    for (const std::wstring& remote : {entered + L"/a.txt", created + L"/a.txt"}) {
        Connect(m_port);
        m_ftp.Upload(m_local.File(L"a.txt"), remote.c_str(), 2);
    }
    EXPECT_EQ(brimtest::ReadBytes(m_root / entered / entered / "a.txt"), "abc");
    EXPECT_FALSE(fs::exists(m_root / entered / "a.txt"));
    EXPECT_EQ(brimtest::ReadBytes(m_root / created / "a.txt"), "abc");
}

TEST_P(FtpTest, InternetFailuresAndCloseForgetTheConnectionOthersKeepIt) {
    Write("a.txt", "abc");
    Connect(m_port + 0x30000);   // only the low 16 bits count
    m_ftp.Close();
    EXPECT_EQ(Thrown([&] { m_ftp.Download(L"/x", m_local.File(L"x"), 2); }), kNoConnection);

    // Two missing levels (the one-level create fails silently); a missing remote file (RETR refused).
    const std::wstring deep = L"/" + Name(L"m1") + L"/m2/a.txt", absent = L"/" + Name(L"absent");
    const std::function<void()> failures[] = {[&] { m_ftp.Upload(m_local.File(L"a.txt"), deep.c_str(), 2); },
                                              [&] { m_ftp.Download(absent.c_str(), m_local.File(L"absent"), 2); }};
    for (const auto& failure : failures) {
        Connect(m_port);
        EXPECT_EQ(Thrown(failure), CodeMessage(kExtendedError));
        EXPECT_EQ(m_ftp.m_pConnection, nullptr);
        EXPECT_EQ(Thrown([&] { m_ftp.Upload(m_local.File(L"a.txt"), L"/x.txt", 2); }), kNoConnection);
    }

    // Other failures pass unchanged and keep the connection; a missing local file leaves an empty remote one.
    Connect(m_port);
    const std::wstring remote = Name(L"nolocal");
    EXPECT_EQ(FileFailureCause([&] { m_ftp.Upload(m_local.File(L"missing"), (L"/" + remote).c_str(), 2); }),
              CFileException::fileNotFound);
    EXPECT_EQ(fs::file_size(m_root / remote), 0u);
    ASSERT_NE(m_ftp.m_pConnection, nullptr);

    // A mode other than 1 or 2 opens no local file: Upload fails before the first block, Download at its write.
    EXPECT_NE(FileFailureCause([&] { m_ftp.Upload(m_local.File(L"a.txt"), (L"/" + Name(L"mode3")).c_str(), 3); }), -1);
    EXPECT_TRUE(m_ftp.uploads.empty());
    brimtest::WriteBytes(m_root / Name(L"three"), "abc");
    EXPECT_NE(FileFailureCause([&] { m_ftp.Download((L"/" + Name(L"three")).c_str(), m_local.File(L"3"), 3); }), -1);
    EXPECT_FALSE(fs::exists(m_local.Path() / "3"));

    // An empty remote file with such a mode ends without error and without a local file.
    brimtest::WriteBytes(m_root / Name(L"empty"), "");
    m_ftp.Reset();
    m_ftp.Download((L"/" + Name(L"empty")).c_str(), m_local.File(L"empty"), 0);
    EXPECT_FALSE(fs::exists(m_local.Path() / "empty"));
    EXPECT_EQ(m_ftp.waits, 1);
    EXPECT_TRUE(m_ftp.downloads.empty());

    // A hook's exception passes through, and the connection stays usable.
    Write("a.bin", Pattern(10000));
    const std::wstring hooked = L"/" + Name(L"hook");
    m_ftp.throwAtBlock = 1;
    EXPECT_THROW(m_ftp.Upload(m_local.File(L"a.bin"), hooked.c_str(), 2), std::string);
    EXPECT_EQ(m_ftp.uploads.size(), 2u);
    m_ftp.throwAtBlock = -1;
    m_ftp.Upload(m_local.File(L"a.bin"), hooked.c_str(), 2);
    m_ftp.throwAtBlock = 0;
    EXPECT_THROW(m_ftp.Download(hooked.c_str(), m_local.File(L"back"), 2), std::string);
    m_ftp.throwAtBlock = -1;
    m_ftp.Download(hooked.c_str(), m_local.File(L"back"), 2);
    EXPECT_EQ(brimtest::ReadBytes(m_local.Path() / "back"), Pattern(10000));
}

TEST_P(FtpTest, PasvAddressIsIgnoredInFavourOfTheControlPeer) {
    BRIM_REQUIRE_SERVER(masq, "BRIM_FTP_MASQ_PORT");
    if (!GetParam()) GTEST_SKIP() << "passive mode only";
    Write("a.txt", "masquerade");
    Connect(masq);   // its PASV replies name 127.0.0.2, where nothing listens
    const CStringW upload = Thrown([&] { m_ftp.Upload(m_local.File(L"a.txt"), L"/masq.txt", 2); });
    // WinINet connects to the address named; Wine passes the refusal on (WSAECONNREFUSED).
    EXPECT_EQ(upload, kWine ? CodeMessage(10061) : CStringW(L"<nothing thrown>"));
    if (kWine) return;
    m_ftp.Download(L"/masq.txt", m_local.File(L"b.txt"), 2);
    EXPECT_EQ(brimtest::ReadBytes(m_local.Path() / "b.txt"), "masquerade");
}

TEST(FtpFailure, LoginFailuresCarryTheirInternetCode) {
    // Server, host, user (nullptr: the real one, wrong password), code, Wine's (no code for a bad reply).
    const std::tuple<const char*, const wchar_t*, const wchar_t*, unsigned long, unsigned long> cases[] = {
        {"BRIM_FTP_PORT", L"127.0.0.1", nullptr, 12015, 12015},
        {"BRIM_FTP_PORT", L"no-such-host.invalid", L"u", 12007, 12007},
        {"BRIM_FTP_SCRIPT_PORT", L"127.0.0.1", L"silent", kTimeout, kTimeout},
        {"BRIM_FTP_SCRIPT_PORT", L"127.0.0.1", L"longreply", kExtendedError, 0},
        {"BRIM_FTP_SCRIPT_PORT", L"127.0.0.1", L"garbage", kExtendedError, 0}};
    for (const auto& [server, host, user, code, wineCode] : cases) {
        BRIM_REQUIRE_SERVER(port, server);
        SCOPED_TRACE(::testing::PrintToString(CStringW(user == nullptr ? L"wrong password" : user)));
        RecordingFtp ftp;
        ftp.m_pSession->SetOption(INTERNET_OPTION_RECEIVE_TIMEOUT, 1500);
        const std::wstring name = user == nullptr ? brimtest::FtpUser() : user;
        const wchar_t* const password = user == nullptr ? L"wrong" : L"p";
        EXPECT_EQ(Thrown([&] { ftp.Connection(host, name.c_str(), password, port, 1); }),
                  CodeMessage(kWine ? wineCode : code));
        EXPECT_EQ(ftp.m_pConnection, nullptr);
    }
    // The layer's texts are there once it is in use; Wine words them its own way.
    EXPECT_EQ(CBrimUtil::MessageError(12029), kWine ? L"The attempt to connect to the server failed.\r\n"
                                                    : L"A connection with the server could not be established\r\n");
}

// Hosts log in to the scripted server as the user who chooses its behaviour.
class FtpScripted : public ::testing::Test {
protected:
    void SetUp() override {
        BRIM_REQUIRE_SERVER(port, "BRIM_FTP_SCRIPT_PORT");
        m_port = port;
    }
    // Downloads m.txt as user: its bytes, or the failure's message.
    std::string Download(RecordingFtp& ftp, const wchar_t* user, int passive) {
        ftp.Connection(L"127.0.0.1", user, L"p", m_port, passive);
        const CStringW failure = Thrown([&] { ftp.Download(kRemote, m_file, 2); });
        if (failure != L"<nothing thrown>") return "failed: " + ::testing::PrintToString(failure);
        return brimtest::ReadBytes(m_local.Path() / "f");
    }

    static constexpr const wchar_t* kRemote = L"m.txt";
    int m_port = 0;
    brimtest::TempDir m_local;
    const CStringW m_file = m_local.File(L"f");
};

TEST_F(FtpScripted, DownloadsReadWholeRepliesAndBlocksFromTheServerAlone) {
    // Multi-line replies and a link; 1000 bytes per 10 ms; 127.0.0.2 connecting first to each active data port.
    const std::tuple<const wchar_t*, int, std::string> cases[] = {
        {L"multiline", 1, "hello"}, {L"trickle", 1, std::string(10000, '\0')}, {L"intruder", 0, "hello"}};
    for (const auto& [user, passive, bytes] : cases) {
        SCOPED_TRACE(::testing::PrintToString(CStringW(user)));
        // Wine's WinINet takes the first connection to its data port, whoever makes it.
        if (kWine && passive == 0) continue;
        RecordingFtp ftp;
        EXPECT_EQ(Download(ftp, user, passive), bytes);
        ftp.ExpectCalls(ftp.downloads, bytes.size(), bytes.size(), kRemote, m_file.GetString(), true);
        ASSERT_NE(ftp.m_pConnection, nullptr);
        CFtpFileFind find(ftp.m_pConnection);
        ASSERT_TRUE(find.FindFile(kRemote));
        find.FindNextFile();   // FindNextFileA where <windows.h> is not in UNICODE mode
        EXPECT_EQ(find.GetFileName(), L"m.txt");   // "m.txt -> elsewhere" names the link
    }
}

TEST_F(FtpScripted, ConnectionDroppedMidTransferIsAnInternetFailure) {
    // Larger than the socket buffers can absorb, so the reset meets a write.
    brimtest::WriteBytes(m_local.Path() / "big", Pattern(16u << 20));
    RecordingFtp ftp;
    // The server resets both connections after 10000 bytes of a RETR (for Wine, the end of the file).
    const std::string retr = Download(ftp, L"dropretr", 1);
    if (kWine) {
        EXPECT_EQ(retr.find("failed"), std::string::npos);
        EXPECT_LE(retr.size(), 10000u);
        ftp.Close();
    } else {
        EXPECT_EQ(retr, "failed: " + ::testing::PrintToString(CodeMessage(kConnectionReset)));
    }
    EXPECT_EQ(ftp.m_pConnection, nullptr);

    // The server resets both connections early in a STOR; Wine passes the socket error on (WSAECONNRESET).
    ftp.Connection(L"127.0.0.1", L"dropstor", L"p", m_port, 1);
    EXPECT_EQ(Thrown([&] { ftp.Upload(m_local.File(L"big"), L"/big", 2); }),
              CodeMessage(kWine ? 10054 : kConnectionReset));
    EXPECT_EQ(ftp.m_pConnection, nullptr);
}

// The "paced" user's STOR counts what arrived, its RETR sends a block per release (the HTTP server's /pace/).
TEST_F(FtpScripted, EveryBlockIsWithTheServerBeforeItsHookAndReadBlocksAreHandedOnAsTheyArrive) {
    BRIM_REQUIRE_SERVER(http, "BRIM_HTTP_PORT");
    const auto pace = [&](const std::string& what) { return brimtest::HttpGet(http, "/pace/" + what); };
    brimtest::WriteBytes(m_local.Path() / "up", Pattern(20000));
    const CStringW up = m_local.File(L"up");
    const wchar_t* const remote = L"/paced.bin";
    for (const int passive : {1, 0}) {
        SCOPED_TRACE(passive);
        RecordingFtp ftp;
        std::vector<std::string> held;   // what the server holds at each upload hook
        std::size_t sent = 0;
        ftp.onBlock = [&](const std::vector<brimtest::BlockCall>& calls) {
            if (&calls == &ftp.uploads) held.push_back(pace("held/" + std::to_string(sent += calls.back().bytes)));
            if (&calls == &ftp.downloads) pace("next");
        };
        ftp.Connection(L"127.0.0.1", L"paced", L"p", m_port, passive);
        ftp.Upload(up, remote, 2);
        ftp.ExpectCalls(ftp.uploads, 20000, 20000, up.GetString(), remote, true);
        EXPECT_EQ(held, (std::vector<std::string>{"4096", "8192", "12288", "16384", "20000"}));

        // A client that waited for more than the block let go would have kept the server waiting.
        const std::string stalls = pace("stalls");
        ftp.Reset();
        ftp.Download(remote, m_file, 2);
        EXPECT_EQ(pace("stalls"), stalls);
        ftp.ExpectCalls(ftp.downloads, 20000, 20000, remote, m_file.GetString(), true);
        EXPECT_TRUE(brimtest::ReadBytes(m_local.Path() / "f") == Pattern(20000));
    }
}

}  // namespace
