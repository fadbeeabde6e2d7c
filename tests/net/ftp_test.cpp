// CBrimFTP against real FTP servers on loopback ports: pyftpdlib in passive
// and active mode, and a scripted server for the failures a real one will
// not produce on demand.

#include "tests/net/ftp_host.h"
#include "tests/net/net_env.h"
#include "tests/support/printers.h"
#include "tests/support/temp_dir.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace {
using brimtest::BrimFailure;
using brimtest::CodeMessage;
using brimtest::RecordingFtp;
namespace fs = std::filesystem;

constexpr unsigned long kTimeout = 12002;
constexpr unsigned long kExtendedError = 12003;
constexpr unsigned long kNameNotResolved = 12007;
constexpr unsigned long kLoginFailure = 12015;
constexpr unsigned long kCannotConnect = 12029;
constexpr unsigned long kConnectionReset = 12031;

const wchar_t* const kNoConnection = L"BrimException : Connection이 없습니다.";

std::string Pattern(std::size_t size, unsigned seed) {
    std::string bytes(size, '\0');
    for (std::size_t i = 0; i < size; ++i) bytes[i] = static_cast<char>((i * 131 + seed) % 256);
    return bytes;
}

template <typename F>
int FileFailureCause(F&& call) {
    try {
        call();
    } catch (CFileException* e) {
        const int cause = e->m_cause;
        e->Delete();
        return cause;
    }
    return -1;
}

// Blocks of 1 to 4096 bytes, indexed from 0, that add up to size.
void ExpectBlocksCover(const std::vector<brimtest::BlockCall>& blocks, std::size_t size) {
    std::size_t sum = 0;
    for (std::size_t i = 0; i < blocks.size(); ++i) {
        EXPECT_GE(blocks[i].bytes, 1u);
        EXPECT_LE(blocks[i].bytes, 4096u);
        EXPECT_EQ(blocks[i].index, static_cast<int>(i));
        sum += blocks[i].bytes;
    }
    EXPECT_EQ(sum, size);
}

class FtpTest : public ::testing::TestWithParam<bool> {
protected:
    bool Passive() const { return GetParam(); }
    std::wstring Name(const std::wstring& stem) const { return stem + (Passive() ? L"_pasv" : L"_port"); }

    void Connect(RecordingFtp& ftp, int port) {
        ftp.Connection(L"127.0.0.1", brimtest::FtpUser().c_str(), brimtest::FtpPassword().c_str(), port,
                       Passive() ? 1 : 0);
    }

    brimtest::TempDir m_local;
};

INSTANTIATE_TEST_SUITE_P(Modes, FtpTest, ::testing::Bool(),
                         [](const ::testing::TestParamInfo<bool>& info) { return info.param ? "Passive" : "Active"; });

TEST_P(FtpTest, RoundTripsAreByteExactWithEveryBlockReported) {
    BRIM_REQUIRE_SERVER(port, "BRIM_FTP_PORT");
    RecordingFtp ftp;
    Connect(ftp, port);
    for (const std::size_t size : {0u, 1u, 4096u, 4097u, 10000u}) {
        SCOPED_TRACE(size);
        const std::string bytes = Pattern(size, static_cast<unsigned>(size));
        const CStringW local = m_local.File(L"up" + std::to_wstring(size));
        brimtest::WriteBytes(m_local.Path() / ("up" + std::to_string(size)), bytes);
        const std::wstring remote = L"/" + Name(L"rt" + std::to_wstring(size)) + L".bin";

        ftp.Reset();
        ftp.Upload(local, remote.c_str(), 2);
        EXPECT_EQ(brimtest::ReadBytes(brimtest::FtpRoot() / fs::path(remote).filename()), bytes);
        const std::size_t blocks = (size + 4095) / 4096;
        ASSERT_EQ(ftp.uploads.size(), blocks);
        EXPECT_EQ(ftp.waits, static_cast<int>(blocks) + 1);
        for (std::size_t i = 0; i < blocks; ++i) {
            EXPECT_EQ(ftp.uploads[i].bytes, i + 1 < blocks ? 4096u : size - 4096 * i);
            EXPECT_EQ(ftp.uploads[i].index, static_cast<int>(i));
            EXPECT_EQ(ftp.uploads[i].total, size);
            EXPECT_EQ(ftp.uploads[i].source, local.GetString());   // the caller's own pointers
            EXPECT_EQ(ftp.uploads[i].destination, remote.c_str());
        }

        ftp.Reset();
        const CStringW back = m_local.File(L"down" + std::to_wstring(size));
        ftp.Download(remote.c_str(), back, 2);
        EXPECT_EQ(brimtest::ReadBytes(m_local.Path() / ("down" + std::to_string(size))), bytes);
        ExpectBlocksCover(ftp.downloads, size);
        EXPECT_EQ(ftp.waits, static_cast<int>(ftp.downloads.size()) + 1);
#if !defined(_WIN32)
        // The POSIX client fills each block before handing it on; Wine's
        // WinINet hands on what one receive gave, so its blocks may be short.
        EXPECT_EQ(ftp.downloads.size(), blocks);
#endif
        for (std::size_t i = 0; i < ftp.downloads.size(); ++i) {
            EXPECT_EQ(ftp.downloads[i].total, size);
            EXPECT_EQ(ftp.downloads[i].source, remote.c_str());
            EXPECT_EQ(ftp.downloads[i].destination, back.GetString());
        }
    }
}

TEST_P(FtpTest, SixtyFourMebibytesGoBothWays) {
    BRIM_REQUIRE_SERVER(port, "BRIM_FTP_PORT");
    const std::size_t size = 64u << 20;
    const std::string bytes = Pattern(size, 7);
    brimtest::WriteBytes(m_local.Path() / "big", bytes);
    const std::wstring remote = L"/" + Name(L"big") + L".bin";
    RecordingFtp ftp;
    Connect(ftp, port);
    ftp.Upload(m_local.File(L"big"), remote.c_str(), 1);   // text mode copies unchanged too
    EXPECT_EQ(ftp.uploads.size(), size / 4096);
    EXPECT_EQ(ftp.waits, static_cast<int>(size / 4096) + 1);
    ftp.Download(remote.c_str(), m_local.File(L"big.back"), 1);
    ExpectBlocksCover(ftp.downloads, size);
    EXPECT_EQ(ftp.waits, static_cast<int>(size / 4096 + ftp.downloads.size()) + 2);
    EXPECT_EQ(ftp.downloads.back().total, size);
    EXPECT_TRUE(brimtest::ReadBytes(m_local.Path() / "big.back") == bytes);
}

TEST_P(FtpTest, RemoteFolderStepFollowsTheWorkingDirectoryRule) {
    BRIM_REQUIRE_SERVER(port, "BRIM_FTP_PORT");
    const fs::path root = brimtest::FtpRoot();
    const std::wstring absolute = Name(L"abs");
    const std::wstring entered = Name(L"entered");
    const std::wstring created = Name(L"created");
    fs::create_directories(root / entered / entered);
    brimtest::WriteBytes(m_local.Path() / "a.txt", "abc");
    const CStringW local = m_local.File(L"a.txt");

    RecordingFtp ftp;
    Connect(ftp, port);
    // An absolute folder is created when missing; the file is opened by its full path.
    ftp.Upload(local, (L"/" + absolute + L"/a.txt").c_str(), 2);
    EXPECT_EQ(brimtest::ReadBytes(root / absolute / "a.txt"), "abc");
    ftp.Close();

    // A relative folder that can be entered becomes the working directory,
    // so the path is resolved a second time from inside it.
    Connect(ftp, port);
    ftp.Upload(local, (entered + L"/a.txt").c_str(), 2);
    EXPECT_EQ(brimtest::ReadBytes(root / entered / entered / "a.txt"), "abc");
    EXPECT_FALSE(fs::exists(root / entered / "a.txt"));
    ftp.Close();

    // One that cannot be entered is created, and the working directory stays.
    Connect(ftp, port);
    ftp.Upload(local, (created + L"/a.txt").c_str(), 2);
    EXPECT_EQ(brimtest::ReadBytes(root / created / "a.txt"), "abc");
}

TEST_P(FtpTest, InternetFailuresForgetTheConnection) {
    BRIM_REQUIRE_SERVER(port, "BRIM_FTP_PORT");
    brimtest::WriteBytes(m_local.Path() / "a.txt", "abc");
    RecordingFtp ftp;

    // Two missing levels: the one-level create fails silently, opening fails.
    Connect(ftp, port);
    EXPECT_EQ(BrimFailure([&] { ftp.Upload(m_local.File(L"a.txt"), (L"/" + Name(L"m1") + L"/m2/a.txt").c_str(), 2); }),
              CodeMessage(kExtendedError));
    EXPECT_EQ(ftp.m_pConnection, nullptr);
    EXPECT_EQ(BrimFailure([&] { ftp.Upload(m_local.File(L"a.txt"), L"/x.txt", 2); }), kNoConnection);
    EXPECT_EQ(BrimFailure([&] { ftp.Download(L"/x.txt", m_local.File(L"x"), 2); }), kNoConnection);

    // A remote file that is not there: no listing entry, and RETR is refused.
    Connect(ftp, port);
    EXPECT_EQ(BrimFailure([&] { ftp.Download((L"/" + Name(L"absent")).c_str(), m_local.File(L"absent"), 2); }),
              CodeMessage(kExtendedError));
    EXPECT_EQ(ftp.m_pConnection, nullptr);
}

TEST_P(FtpTest, LocalFileFailuresPassUnchangedAndKeepTheConnection) {
    BRIM_REQUIRE_SERVER(port, "BRIM_FTP_PORT");
    const fs::path root = brimtest::FtpRoot();
    RecordingFtp ftp;
    Connect(ftp, port);

    // A missing local file: the remote file was already opened (so it exists, empty).
    const std::wstring remote = Name(L"nolocal") + L".txt";
    EXPECT_EQ(FileFailureCause([&] { ftp.Upload(m_local.File(L"missing"), (L"/" + remote).c_str(), 2); }),
              CFileException::fileNotFound);
    EXPECT_TRUE(fs::exists(root / remote));
    EXPECT_EQ(fs::file_size(root / remote), 0u);
    ASSERT_NE(ftp.m_pConnection, nullptr);
    EXPECT_TRUE(ftp.uploads.empty());

    // A mode other than 1 or 2 opens no local file: Upload fails before the
    // first block, Download at the first write.
    brimtest::WriteBytes(m_local.Path() / "a.txt", "abc");
    ftp.Reset();
    EXPECT_NE(FileFailureCause([&] { ftp.Upload(m_local.File(L"a.txt"), (L"/" + Name(L"mode3")).c_str(), 3); }), -1);
    EXPECT_TRUE(ftp.uploads.empty());
    brimtest::WriteBytes(root / Name(L"three"), "abc");
    EXPECT_NE(FileFailureCause([&] { ftp.Download((L"/" + Name(L"three")).c_str(), m_local.File(L"three"), 3); }), -1);
    EXPECT_FALSE(fs::exists(m_local.Path() / "three"));

    // An empty remote file with such a mode ends without error and without a local file.
    brimtest::WriteBytes(root / Name(L"empty"), "");
    ftp.Reset();
    ftp.Download((L"/" + Name(L"empty")).c_str(), m_local.File(L"empty"), 0);
    EXPECT_FALSE(fs::exists(m_local.Path() / "empty"));
    EXPECT_EQ(ftp.waits, 1);
    EXPECT_TRUE(ftp.downloads.empty());
}

TEST_P(FtpTest, HookExceptionsPassThroughAndTheConnectionStaysUsable) {
    BRIM_REQUIRE_SERVER(port, "BRIM_FTP_PORT");
    brimtest::WriteBytes(m_local.Path() / "a.bin", Pattern(10000, 1));
    RecordingFtp ftp;
    Connect(ftp, port);
    ftp.throwAtBlock = 1;
    EXPECT_THROW(ftp.Upload(m_local.File(L"a.bin"), (L"/" + Name(L"hook")).c_str(), 2), std::string);
    EXPECT_EQ(ftp.uploads.size(), 2u);
    ASSERT_NE(ftp.m_pConnection, nullptr);

    ftp.throwAtBlock = -1;
    ftp.Upload(m_local.File(L"a.bin"), (L"/" + Name(L"hook")).c_str(), 2);
    ftp.throwAtBlock = 0;
    EXPECT_THROW(ftp.Download((L"/" + Name(L"hook")).c_str(), m_local.File(L"back"), 2), std::string);
    ftp.throwAtBlock = -1;
    ftp.Reset();
    ftp.Download((L"/" + Name(L"hook")).c_str(), m_local.File(L"back"), 2);
    EXPECT_EQ(brimtest::ReadBytes(m_local.Path() / "back"), Pattern(10000, 1));
}

TEST(FtpPassive, PasvAddressIsIgnoredInFavourOfTheControlPeer) {
    BRIM_REQUIRE_SERVER(port, "BRIM_FTP_MASQ_PORT");
    brimtest::TempDir local;
    brimtest::WriteBytes(local.Path() / "a.txt", "masquerade");
    RecordingFtp ftp;
    // This server's PASV replies name 127.0.0.2, where nothing listens.
    ftp.Connection(L"127.0.0.1", brimtest::FtpUser().c_str(), brimtest::FtpPassword().c_str(), port, 1);
    const CStringW upload = BrimFailure([&] { ftp.Upload(local.File(L"a.txt"), L"/masq.txt", 2); });
#if defined(_WIN32)
    // WinINet connects to the address the PASV reply names, so the data
    // connection is refused where the POSIX client goes to the control peer;
    // Wine passes the socket error on (WSAECONNREFUSED, 10061).
    EXPECT_EQ(upload, CodeMessage(10061));
#else
    EXPECT_EQ(upload, L"<nothing thrown>");
    ftp.Download(L"/masq.txt", local.File(L"b.txt"), 2);
    EXPECT_EQ(brimtest::ReadBytes(local.Path() / "b.txt"), "masquerade");
#endif
}

TEST_P(FtpTest, ConnectionUsesOnlyTheLow16BitsOfThePortAndCanBeRepeatedAfterClose) {
    BRIM_REQUIRE_SERVER(port, "BRIM_FTP_PORT");
    RecordingFtp ftp;
    Connect(ftp, port + 0x30000);
    ASSERT_NE(ftp.m_pConnection, nullptr);
    ftp.Close();
    EXPECT_EQ(ftp.m_pConnection, nullptr);
    EXPECT_EQ(BrimFailure([&] { ftp.Download(L"/x", m_local.File(L"x"), 2); }), kNoConnection);
    Connect(ftp, port);
    EXPECT_NE(ftp.m_pConnection, nullptr);
}

// ---- failures at login and in flight -------------------------------------------
TEST(FtpFailure, LoginAndConnectFailuresCarryTheirInternetCode) {
    BRIM_REQUIRE_SERVER(port, "BRIM_FTP_PORT");
    const int closed = brimtest::ServerPort("BRIM_CLOSED_PORT");
    RecordingFtp ftp;
    EXPECT_EQ(BrimFailure([&] { ftp.Connection(L"127.0.0.1", brimtest::FtpUser().c_str(), L"wrong", port, 1); }),
              CodeMessage(kLoginFailure));
    EXPECT_EQ(ftp.m_pConnection, nullptr);
    EXPECT_EQ(BrimFailure([&] { ftp.Connection(L"127.0.0.1", L"u", L"p", closed, 1); }), CodeMessage(kCannotConnect));
    EXPECT_EQ(BrimFailure([&] { ftp.Connection(L"no-such-host.invalid", L"u", L"p", 21, 1); }),
              CodeMessage(kNameNotResolved));
    EXPECT_EQ(ftp.m_pConnection, nullptr);
}

TEST(FtpFailure, ServerThatStopsAnsweringTimesOut) {
    BRIM_REQUIRE_SERVER(port, "BRIM_FTP_SCRIPT_PORT");
    RecordingFtp ftp;
    ftp.m_pSession->SetOption(INTERNET_OPTION_RECEIVE_TIMEOUT, 1500);
    EXPECT_EQ(BrimFailure([&] { ftp.Connection(L"127.0.0.1", L"silent", L"p", port, 1); }), CodeMessage(kTimeout));
    EXPECT_EQ(ftp.m_pConnection, nullptr);
}

TEST(FtpFailure, OverLongAndMalformedRepliesFailTheLogin) {
    BRIM_REQUIRE_SERVER(port, "BRIM_FTP_SCRIPT_PORT");
    RecordingFtp ftp;
    for (const wchar_t* user : {L"longreply", L"garbage"}) {
        SCOPED_TRACE(::testing::PrintToString(CStringW(user)));
        const CStringW failure = BrimFailure([&] { ftp.Connection(L"127.0.0.1", user, L"p", port, 1); });
#if defined(_WIN32)
        // Wine's WinINet fails such a login without setting an error code.
        EXPECT_EQ(failure, CodeMessage(0));
#else
        EXPECT_EQ(failure, CodeMessage(kExtendedError));
#endif
        EXPECT_EQ(ftp.m_pConnection, nullptr);
    }
}

TEST(FtpFailure, MultiLineRepliesAreReadWhole) {
    BRIM_REQUIRE_SERVER(port, "BRIM_FTP_SCRIPT_PORT");
    brimtest::TempDir local;
    RecordingFtp ftp;
    ftp.Connection(L"127.0.0.1", L"multiline", L"p", port, 1);
    ftp.Download(L"m.txt", local.File(L"m.txt"), 2);
    EXPECT_EQ(brimtest::ReadBytes(local.Path() / "m.txt"), "hello");
    ASSERT_EQ(ftp.downloads.size(), 1u);
    EXPECT_EQ(ftp.downloads[0].total, 5u);
}

TEST(FtpFailure, ConnectionDroppedMidTransferIsAnInternetFailure) {
    BRIM_REQUIRE_SERVER(port, "BRIM_FTP_SCRIPT_PORT");
    brimtest::TempDir local;
    // Larger than the socket buffers can absorb, so the reset meets a write.
    brimtest::WriteBytes(local.Path() / "big", Pattern(16u << 20, 3));
    RecordingFtp ftp;
    // The server resets the data connection after 10000 bytes of a RETR.
    ftp.Connection(L"127.0.0.1", L"dropretr", L"p", port, 1);
    const CStringW retr = BrimFailure([&] { ftp.Download(L"/big", local.File(L"down"), 2); });
#if defined(_WIN32)
    // Wine's FTP read takes a reset data connection for the end of the file:
    // the download ends short, without an error.
    EXPECT_EQ(retr, L"<nothing thrown>");
    EXPECT_LE(brimtest::ReadBytes(local.Path() / "down").size(), 10000u);
    ftp.Close();
#else
    EXPECT_EQ(retr, CodeMessage(kConnectionReset));
    EXPECT_EQ(ftp.m_pConnection, nullptr);
#endif

    // The server resets both connections early in a STOR.
    ftp.Connection(L"127.0.0.1", L"dropstor", L"p", port, 1);
    const CStringW stor = BrimFailure([&] { ftp.Upload(local.File(L"big"), L"/big", 2); });
#if defined(_WIN32)
    // Wine's FTP write passes the socket error on (WSAECONNRESET, 10054)
    // instead of an internet code.
    EXPECT_EQ(stor, CodeMessage(10054));
#else
    EXPECT_EQ(stor, CodeMessage(kConnectionReset));
#endif
    EXPECT_EQ(ftp.m_pConnection, nullptr);
}

TEST(FtpFailure, InternetMessagesAreThereOnceTheLayerIsUsed) {
    RecordingFtp ftp;   // its session loads the internet layer
#if defined(_WIN32)
    // Wine's wininet.dll words it its own way (and has texts for few codes).
    EXPECT_EQ(CBrimUtil::MessageError(kCannotConnect), L"The attempt to connect to the server failed.\r\n");
#else
    EXPECT_EQ(CBrimUtil::MessageError(kCannotConnect), L"A connection with the server could not be established\r\n");
#endif
}

TEST(FtpFailure, TransfersBeforeConnectingThrowTheNoConnectionException) {
    brimtest::TempDir local;
    RecordingFtp ftp;
    EXPECT_EQ(BrimFailure([&] { ftp.Upload(local.File(L"a"), L"/a", 2); }), kNoConnection);
    EXPECT_EQ(BrimFailure([&] { ftp.Download(L"/a", local.File(L"a"), 2); }), kNoConnection);
    EXPECT_EQ(ftp.waits, 0);
}

// ---- pacing: each block is on the wire before its hook runs ---------------------
// The "paced" user's server counts what a STOR has delivered and sends a RETR
// one block at a time, each only after the hook of the one before has run.
// Logs in to the scripted server as user and downloads a file: its bytes, or
// the failure's message.
std::string ScriptedDownload(RecordingFtp& ftp, int port, const wchar_t* user, int passive) {
    brimtest::TempDir local;
    ftp.Connection(L"127.0.0.1", user, L"p", port, passive);
    const CStringW failure = BrimFailure([&] { ftp.Download(L"/f.bin", local.File(L"f"), 2); });
    if (failure != L"<nothing thrown>") return "failed: " + ::testing::PrintToString(failure);
    return brimtest::ReadBytes(local.Path() / "f");
}

class PacedFtp : public RecordingFtp {
public:
    explicit PacedFtp(int pacingPort) : channel(pacingPort) {}
    void vUploadProgress(DWORD& bytes, int& index, ULONGLONG& total, const wchar_t* source,
                         const wchar_t* destination) override {
        RecordingFtp::vUploadProgress(bytes, index, total, source, destination);
        sent += bytes;
        held.push_back(channel.Ask("held " + std::to_string(sent)));
        expected.push_back(std::to_string(sent));
    }
    void vDownloadProgress(DWORD& bytes, int& index, ULONGLONG& total, const wchar_t* source,
                           const wchar_t* destination) override {
        RecordingFtp::vDownloadProgress(bytes, index, total, source, destination);
        channel.Ask("next");
    }

    brimtest::LineChannel channel;
    std::uint64_t sent = 0;
    std::vector<std::string> held, expected;
};

TEST(FtpPacing, EveryBlockIsWithTheServerBeforeItsProgressHookAndReadBlocksAreHandedOnAsTheyArrive) {
    BRIM_REQUIRE_SERVER(port, "BRIM_FTP_SCRIPT_PORT");
    BRIM_REQUIRE_SERVER(pacing, "BRIM_FTP_PACING_PORT");
    brimtest::TempDir local;
    brimtest::WriteBytes(local.Path() / "up", Pattern(20000, 5));
    for (const int passive : {1, 0}) {
        SCOPED_TRACE(passive);
        PacedFtp ftp(pacing);
        ftp.Connection(L"127.0.0.1", L"paced", L"p", port, passive);
        ftp.Upload(local.File(L"up"), L"/paced.bin", 2);
        ASSERT_EQ(ftp.uploads.size(), 5u);
        // At each call the server holds exactly the blocks reported so far.
        EXPECT_EQ(ftp.held, ftp.expected);

        const std::string stalls = ftp.channel.Ask("stalls");
        ftp.Download(L"/paced.bin", local.File(L"down"), 2);
        // A client that waited for more than the block the server let go
        // would have kept the server waiting for its "next".
        EXPECT_EQ(ftp.channel.Ask("stalls"), stalls);
        ASSERT_EQ(ftp.downloads.size(), 5u);
        for (std::size_t i = 0; i < 5; ++i) EXPECT_EQ(ftp.downloads[i].bytes, i < 4 ? 4096u : 20000u - 4 * 4096);
        std::string expected(20000, '\0');
        for (std::size_t i = 0; i < expected.size(); ++i) expected[i] = static_cast<char>(i * 7 % 256);
        EXPECT_TRUE(brimtest::ReadBytes(local.Path() / "down") == expected);
    }
}

TEST(FtpPacing, DownloadReadsThroughItsBlockSizedBufferSoBlocksAreWholeWhateverTheServerSends) {
    BRIM_REQUIRE_SERVER(port, "BRIM_FTP_SCRIPT_PORT");
    RecordingFtp ftp;
    // This server sends 10000 bytes in pieces of 1000, 10 ms apart.
    EXPECT_EQ(ScriptedDownload(ftp, port, L"trickle", 1), std::string(10000, '\0'));
    std::vector<DWORD> sizes;
    for (const brimtest::BlockCall& block : ftp.downloads) sizes.push_back(block.bytes);
    EXPECT_EQ(sizes, (std::vector<DWORD>{4096, 4096, 1808}));
}

TEST(FtpActive, DataConnectionsAreTakenOnlyFromTheServersAddress) {
    BRIM_REQUIRE_SERVER(port, "BRIM_FTP_SCRIPT_PORT");
#if defined(_WIN32)
    // Wine's WinINet takes the first connection to its data port, whoever
    // makes it (seen: the listing reads the third party's bytes and the
    // transfer fails with 12110); the check is the POSIX client's.
    GTEST_SKIP() << "Wine's WinINet accepts any active-mode data connection";
#endif
    RecordingFtp ftp;
    // Before each data connection of this server (the listing's and the
    // file's), a third party connects from 127.0.0.2 and sends bytes of its own.
    EXPECT_EQ(ScriptedDownload(ftp, port, L"intruder", 0), "hello");
    EXPECT_NE(ftp.m_pConnection, nullptr);
}

}  // namespace
