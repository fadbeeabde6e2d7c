// CBrimFTP against pyftpdlib (passive and active mode) and a scripted server
// for the failures a real one will not produce on demand.

#include "tests/net/net_env.h"
#include "tests/support/printers.h"
#include "tests/support/temp_dir.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

namespace {
using brimtest::CodeMessage;
using brimtest::FileFailureCause;
using brimtest::kNoConnection;
using brimtest::kWine;
using brimtest::Pattern;
using brimtest::RecordingFtp;
using brimtest::Thrown;
namespace fs = std::filesystem;

constexpr unsigned long kTimeout = 12002;
constexpr unsigned long kExtendedError = 12003;
constexpr unsigned long kConnectionReset = 12031;

std::vector<DWORD> BlockSizes(const std::vector<brimtest::BlockCall>& blocks) {
    std::vector<DWORD> sizes;
    for (const brimtest::BlockCall& block : blocks) sizes.push_back(block.bytes);
    return sizes;
}

// The sizes of size bytes in whole blocks of 4096 and a rest.
std::vector<DWORD> WholeBlocks(std::size_t size) {
    std::vector<DWORD> sizes(size / 4096, 4096);
    if (size % 4096 != 0) sizes.push_back(static_cast<DWORD>(size % 4096));
    return sizes;
}

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
    void Write(const std::string& name, const std::string& bytes) { brimtest::WriteBytes(m_local.Path() / name, bytes); }
    std::string Read(const std::string& name) { return brimtest::ReadBytes(m_local.Path() / name); }

    int m_port = 0;
    RecordingFtp m_ftp;
    brimtest::TempDir m_local;
    const fs::path m_root = brimtest::FtpRoot();
};

INSTANTIATE_TEST_SUITE_P(Modes, FtpTest, ::testing::Bool(),
                         [](const ::testing::TestParamInfo<bool>& info) { return info.param ? "Passive" : "Active"; });

TEST_P(FtpTest, RoundTripsAreByteExactWithEveryBlockReported) {
    // Text mode (1) copies unchanged too. 300000 bytes outgrow a 64 KiB read-ahead
    // and receive; 8 MiB more than the socket buffers hold.
    for (const auto& [size, mode] : {std::pair<std::size_t, int>{0, 2}, {1, 2}, {4096, 2}, {4097, 2}, {300000, 1},
                                     {(8u << 20) + 1, 2}}) {
        SCOPED_TRACE(size);
        const std::string bytes = Pattern(size), stem = std::to_string(size);
        const CStringW local = m_local.File(brimtest::Widen("up" + stem)), back = m_local.File(brimtest::Widen("down" + stem));
        Write("up" + stem, bytes);
        const std::wstring remote = L"/" + Name(brimtest::Widen("rt" + stem));

        m_ftp.Reset();
        m_ftp.Upload(local, remote.c_str(), mode);
        EXPECT_TRUE(brimtest::ReadBytes(m_root / remote.substr(1)) == bytes);
        EXPECT_EQ(BlockSizes(m_ftp.uploads), WholeBlocks(size));
        m_ftp.ExpectCalls(m_ftp.uploads, size, size, local.GetString(), remote.c_str());

        m_ftp.Reset();
        m_ftp.Download(remote.c_str(), back, mode);
        EXPECT_TRUE(Read("down" + stem) == bytes);
        m_ftp.ExpectCalls(m_ftp.downloads, size, size, remote.c_str(), back.GetString());
        // The POSIX client fills each block; Wine's WinINet hands on what one receive gave.
        if (!kWine) {
            EXPECT_EQ(BlockSizes(m_ftp.downloads), WholeBlocks(size));
        }
    }
}

TEST_P(FtpTest, RemoteFolderStepFollowsTheWorkingDirectoryRule) {
    const std::wstring absolute = Name(L"abs"), entered = Name(L"entered"), created = Name(L"created");
    fs::create_directories(m_root / entered / entered);
    Write("a.txt", "abc");
    // An absolute folder is created when missing and the file opened by its full path;
    // a relative one that can be entered becomes the working directory (the path is
    // resolved again from inside it); one that cannot is created.
    for (const std::wstring& remote : {L"/" + absolute + L"/a.txt", entered + L"/a.txt", created + L"/a.txt"}) {
        Connect(m_port);
        m_ftp.Upload(m_local.File(L"a.txt"), remote.c_str(), 2);
    }
    EXPECT_EQ(brimtest::ReadBytes(m_root / absolute / "a.txt"), "abc");
    EXPECT_EQ(brimtest::ReadBytes(m_root / entered / entered / "a.txt"), "abc");
    EXPECT_FALSE(fs::exists(m_root / entered / "a.txt"));
    EXPECT_EQ(brimtest::ReadBytes(m_root / created / "a.txt"), "abc");
}

TEST_P(FtpTest, InternetFailuresAndCloseForgetTheConnection) {
    Write("a.txt", "abc");
    RecordingFtp fresh;
    EXPECT_EQ(Thrown([&] { fresh.Upload(m_local.File(L"a"), L"/a", 2); }), kNoConnection);
    EXPECT_EQ(Thrown([&] { fresh.Download(L"/a", m_local.File(L"a"), 2); }), kNoConnection);
    EXPECT_EQ(fresh.waits, 0);

    Connect(m_port + 0x30000);   // only the low 16 bits count
    ASSERT_NE(m_ftp.m_pConnection, nullptr);
    m_ftp.Close();
    EXPECT_EQ(m_ftp.m_pConnection, nullptr);
    EXPECT_EQ(Thrown([&] { m_ftp.Download(L"/x", m_local.File(L"x"), 2); }), kNoConnection);

    // Two missing levels (the one-level create fails silently), and a remote
    // file that is not there (no listing entry, RETR refused).
    const std::wstring deep = L"/" + Name(L"m1") + L"/m2/a.txt", absent = L"/" + Name(L"absent");
    const std::function<void()> failures[] = {[&] { m_ftp.Upload(m_local.File(L"a.txt"), deep.c_str(), 2); },
                                              [&] { m_ftp.Download(absent.c_str(), m_local.File(L"absent"), 2); }};
    for (const auto& failure : failures) {
        Connect(m_port);
        EXPECT_EQ(Thrown(failure), CodeMessage(kExtendedError));
        EXPECT_EQ(m_ftp.m_pConnection, nullptr);
        EXPECT_EQ(Thrown([&] { m_ftp.Upload(m_local.File(L"a.txt"), L"/x.txt", 2); }), kNoConnection);
    }
}

TEST_P(FtpTest, LocalFileAndHookFailuresPassUnchangedAndKeepTheConnection) {
    // A missing local file: the remote file was already opened (so it exists, empty).
    const std::wstring remote = Name(L"nolocal");
    EXPECT_EQ(FileFailureCause([&] { m_ftp.Upload(m_local.File(L"missing"), (L"/" + remote).c_str(), 2); }),
              CFileException::fileNotFound);
    EXPECT_EQ(fs::file_size(m_root / remote), 0u);
    ASSERT_NE(m_ftp.m_pConnection, nullptr);

    // A mode other than 1 or 2 opens no local file: Upload fails before the
    // first block, Download at the first write.
    Write("a.txt", "abc");
    EXPECT_NE(FileFailureCause([&] { m_ftp.Upload(m_local.File(L"a.txt"), (L"/" + Name(L"mode3")).c_str(), 3); }), -1);
    EXPECT_TRUE(m_ftp.uploads.empty());
    brimtest::WriteBytes(m_root / Name(L"three"), "abc");
    EXPECT_NE(FileFailureCause([&] { m_ftp.Download((L"/" + Name(L"three")).c_str(), m_local.File(L"three"), 3); }), -1);
    EXPECT_FALSE(fs::exists(m_local.Path() / "three"));

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
    EXPECT_EQ(Read("back"), Pattern(10000));
}

TEST(FtpPassive, PasvAddressIsIgnoredInFavourOfTheControlPeer) {
    BRIM_REQUIRE_SERVER(port, "BRIM_FTP_MASQ_PORT");
    brimtest::TempDir local;
    brimtest::WriteBytes(local.Path() / "a.txt", "masquerade");
    RecordingFtp ftp;
    // This server's PASV replies name 127.0.0.2, where nothing listens.
    ftp.Connection(L"127.0.0.1", brimtest::FtpUser().c_str(), brimtest::FtpPassword().c_str(), port, 1);
    const CStringW upload = Thrown([&] { ftp.Upload(local.File(L"a.txt"), L"/masq.txt", 2); });
    // WinINet connects to the address named; Wine passes the refusal on (WSAECONNREFUSED).
    EXPECT_EQ(upload, kWine ? CodeMessage(10061) : CStringW(L"<nothing thrown>"));
    if (kWine) return;
    ftp.Download(L"/masq.txt", local.File(L"b.txt"), 2);
    EXPECT_EQ(brimtest::ReadBytes(local.Path() / "b.txt"), "masquerade");
}

TEST(FtpFailure, LoginFailuresCarryTheirInternetCode) {
    struct Case {
        const char* server;
        const wchar_t* host;
        const wchar_t* user;   // nullptr: the real user with a wrong password
        unsigned long code, wineCode;
    };
    // Wine's WinINet fails a login on an over-long or code-less reply without an error code.
    const Case cases[] = {{"BRIM_FTP_PORT", L"127.0.0.1", nullptr, 12015, 12015},
                          {"BRIM_CLOSED_PORT", L"127.0.0.1", L"u", 12029, 12029},
                          {"BRIM_FTP_PORT", L"no-such-host.invalid", L"u", 12007, 12007},
                          {"BRIM_FTP_SCRIPT_PORT", L"127.0.0.1", L"silent", kTimeout, kTimeout},
                          {"BRIM_FTP_SCRIPT_PORT", L"127.0.0.1", L"longreply", kExtendedError, 0},
                          {"BRIM_FTP_SCRIPT_PORT", L"127.0.0.1", L"garbage", kExtendedError, 0}};
    for (const Case& c : cases) {
        BRIM_REQUIRE_SERVER(port, c.server);
        SCOPED_TRACE(::testing::PrintToString(CStringW(c.user == nullptr ? L"wrong password" : c.user)));
        RecordingFtp ftp;
        ftp.m_pSession->SetOption(INTERNET_OPTION_RECEIVE_TIMEOUT, 1500);
        const std::wstring user = c.user == nullptr ? brimtest::FtpUser() : c.user;
        const CStringW failure = Thrown([&] {
            ftp.Connection(c.host, user.c_str(), c.user == nullptr ? L"wrong" : L"p", port, 1);
        });
        EXPECT_EQ(failure, CodeMessage(kWine ? c.wineCode : c.code));
        EXPECT_EQ(ftp.m_pConnection, nullptr);
    }
    // The layer's texts are there once it is in use; Wine words them its own way.
    EXPECT_EQ(CBrimUtil::MessageError(12029), kWine ? L"The attempt to connect to the server failed.\r\n"
                                                    : L"A connection with the server could not be established\r\n");
}

// Logs in to the scripted server as user and downloads a file: its bytes,
// or the failure's message.
std::string ScriptedDownload(RecordingFtp& ftp, int port, const wchar_t* user, int passive) {
    brimtest::TempDir local;
    ftp.Connection(L"127.0.0.1", user, L"p", port, passive);
    const CStringW failure = Thrown([&] { ftp.Download(L"m.txt", local.File(L"f"), 2); });
    if (failure != L"<nothing thrown>") return "failed: " + ::testing::PrintToString(failure);
    return brimtest::ReadBytes(local.Path() / "f");
}

TEST(FtpScripted, DownloadsReadWholeRepliesAndBlocksFromTheServerAlone) {
    BRIM_REQUIRE_SERVER(port, "BRIM_FTP_SCRIPT_PORT");
    struct Case {
        const wchar_t* user;
        int passive;
        std::string bytes;
        ULONGLONG listed;   // the size the listing gives, 0 without one
    };
    // multiline: multi-line replies, and m.txt listed as a link; trickle: 10000 bytes
    // in pieces of 1000, 10 ms apart; intruder: before each active-mode data
    // connection, a third party connects from 127.0.0.2 and sends bytes of its own.
    const Case cases[] = {
        {L"multiline", 1, "hello", 5}, {L"trickle", 1, std::string(10000, '\0'), 0}, {L"intruder", 0, "hello", 0}};
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::PrintToString(CStringW(c.user)));
        // Wine's WinINet takes the first connection to its data port, whoever makes it.
        if (kWine && c.passive == 0) continue;
        RecordingFtp ftp;
        EXPECT_EQ(ScriptedDownload(ftp, port, c.user, c.passive), c.bytes);
        EXPECT_EQ(BlockSizes(ftp.downloads), WholeBlocks(c.bytes.size()));
        for (const brimtest::BlockCall& b : ftp.downloads) EXPECT_EQ(b.total, c.listed);
        ASSERT_NE(ftp.m_pConnection, nullptr);
        if (c.listed == 0) continue;
        CFtpFileFind find(ftp.m_pConnection);
        ASSERT_TRUE(find.FindFile(L"m.txt"));
        find.FindNextFile();
        EXPECT_EQ(find.GetFileName(), L"m.txt");   // "m.txt -> elsewhere" names the link
    }
}

TEST(FtpScripted, ConnectionDroppedMidTransferIsAnInternetFailure) {
    BRIM_REQUIRE_SERVER(port, "BRIM_FTP_SCRIPT_PORT");
    brimtest::TempDir local;
    // Larger than the socket buffers can absorb, so the reset meets a write.
    brimtest::WriteBytes(local.Path() / "big", Pattern(16u << 20));
    RecordingFtp ftp;
    // The server resets both connections after 10000 bytes of a RETR; Wine's
    // FTP read takes that for the end of the file.
    const std::string retr = ScriptedDownload(ftp, port, L"dropretr", 1);
    if (kWine) {
        EXPECT_EQ(retr.find("failed"), std::string::npos);
        EXPECT_LE(retr.size(), 10000u);
        ftp.Close();
    } else {
        EXPECT_EQ(retr, "failed: " + ::testing::PrintToString(CodeMessage(kConnectionReset)));
    }
    EXPECT_EQ(ftp.m_pConnection, nullptr);

    // The server resets both connections early in a STOR; Wine passes the socket error on (WSAECONNRESET).
    ftp.Connection(L"127.0.0.1", L"dropstor", L"p", port, 1);
    EXPECT_EQ(Thrown([&] { ftp.Upload(local.File(L"big"), L"/big", 2); }), CodeMessage(kWine ? 10054 : kConnectionReset));
    EXPECT_EQ(ftp.m_pConnection, nullptr);
}

// The "paced" user's server counts what a STOR has delivered, and sends a RETR a block at a time, each after
// the hook of the one before has released it (the HTTP server's /pace/ paths).
TEST(FtpScripted, EveryBlockIsWithTheServerBeforeItsHookAndReadBlocksAreHandedOnAsTheyArrive) {
    BRIM_REQUIRE_SERVER(port, "BRIM_FTP_SCRIPT_PORT");
    BRIM_REQUIRE_SERVER(http, "BRIM_HTTP_PORT");
    const auto pace = [&](const std::string& what) { return brimtest::HttpGet(http, "/pace/" + what); };
    brimtest::TempDir local;
    brimtest::WriteBytes(local.Path() / "up", Pattern(20000));
    std::string expected(20000, '\0');
    for (std::size_t i = 0; i < expected.size(); ++i) expected[i] = static_cast<char>(i * 7 % 256);
    for (const int passive : {1, 0}) {
        SCOPED_TRACE(passive);
        RecordingFtp ftp;
        std::vector<std::string> held;   // what the server holds at each upload hook
        std::size_t sent = 0;
        ftp.onBlock = [&](const std::vector<brimtest::BlockCall>& calls) {
            if (&calls == &ftp.uploads) held.push_back(pace("held/" + std::to_string(sent += calls.back().bytes)));
            if (&calls == &ftp.downloads) pace("next");
        };
        ftp.Connection(L"127.0.0.1", L"paced", L"p", port, passive);
        ftp.Upload(local.File(L"up"), L"/paced.bin", 2);
        EXPECT_EQ(BlockSizes(ftp.uploads), WholeBlocks(20000));
        EXPECT_EQ(held, (std::vector<std::string>{"4096", "8192", "12288", "16384", "20000"}));

        // A client that waited for more than the block let go would have kept the server waiting.
        const std::string stalls = pace("stalls");
        ftp.Download(L"/paced.bin", local.File(L"down"), 2);
        EXPECT_EQ(pace("stalls"), stalls);
        EXPECT_EQ(BlockSizes(ftp.downloads), WholeBlocks(20000));
        EXPECT_TRUE(brimtest::ReadBytes(local.Path() / "down") == expected);
    }
}

}  // namespace
