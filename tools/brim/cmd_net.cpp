// Network commands: get, post, ftp. Each is a host of CBrimHTTP or CBrimFTP
// whose progress hooks drive the progress display and whose throttle hook
// keeps --limit-rate.
#include "tools/brim/args.h"
#include "tools/brim/commands.h"
#include "tools/brim/console.h"
#include "tools/brim/progress.h"

#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <cwchar>
#include <mutex>
#include <thread>

namespace brimtool {
namespace {

// What arrived, as the progress hooks saw it: bytes, and the size the other
// side announced (0 when it announced none). The HTTP hook's total is the
// running count when no length was announced.
struct Arrived {
    unsigned long long bytes = 0;
    unsigned long long announced = 0;
    unsigned long long cap = 0;   // 0: no cap

    void Add(DWORD block, int index, ULONGLONG total, bool runningCountIfNone) {
        bytes += block;
        const bool running = runningCountIfNone && total == static_cast<ULONGLONG>(index) * 4096 + block;
        if (!running) announced = total;
        if (cap != 0 && (bytes > cap || announced > cap)) {
            throw new CBrimException(L"the body is larger than the %I64u bytes that --max-size allows", cap);
        }
    }
};

class HttpHost final : public CBrimHTTP {
public:
    HttpHost(Progress& progress, Arrived& arrived) : m_progress(progress), m_arrived(arrived) {}
    void vDownloadProgress(DWORD& bytes, int& index, ULONGLONG& total, const wchar_t*, const wchar_t*) override {
        m_arrived.Add(bytes, index, total, true);
        m_progress.Advance(bytes, total);
    }
    void vWaitForSpeedBalance() override { m_progress.Throttle(); }

private:
    Progress& m_progress;
    Arrived& m_arrived;
};

class FtpHost final : public CBrimFTP {
public:
    FtpHost(Progress& progress, Arrived& arrived) : m_progress(progress), m_arrived(arrived) {}
    void vDownloadProgress(DWORD& bytes, int& index, ULONGLONG& total, const wchar_t*, const wchar_t*) override {
        m_arrived.Add(bytes, index, total, false);
        m_progress.Advance(bytes, total);
    }
    void vUploadProgress(DWORD& bytes, int& index, ULONGLONG& total, const wchar_t*, const wchar_t*) override {
        m_arrived.Add(bytes, index, total, false);
        m_progress.Advance(bytes, total);
    }
    void vWaitForSpeedBalance() override { m_progress.Throttle(); }

private:
    Progress& m_progress;
    Arrived& m_arrived;
};

// A download lands under a temporary name in the target's folder and takes
// the final name only once it is complete; on every other way out the
// partial file is removed.
class PartialFile {
public:
    explicit PartialFile(const CStringW& final) : m_final(final), m_partial(final + L".brim-part") {}
    ~PartialFile() {
        if (!m_kept) Discard(m_partial);
    }
    PartialFile(const PartialFile&) = delete;
    PartialFile& operator=(const PartialFile&) = delete;
    const CStringW& Path() const { return m_partial; }
    void Keep() {
        if (KindOf(m_final) != PathKind::Missing) CFile::Remove(m_final);   // Windows never renames onto a file
        CFile::Rename(m_partial, m_final);
        m_kept = true;
    }
    static void Discard(const CStringW& path) {
        try {
            if (KindOf(path) == PathKind::Regular) CFile::Remove(path);
        } catch (CFileException* e) {
            e->Delete();
        }
    }

private:
    CStringW m_final;
    CStringW m_partial;
    bool m_kept = false;
};

// --max-time: a watch that ends the process when the whole transfer takes
// longer, whatever the transfer is waiting for, removing the partial file.
class Deadline {
public:
    Deadline(long long seconds, const CStringW& partial) : m_partial(partial) {
        if (seconds <= 0) return;
        m_watch = std::thread([this, seconds] {
            std::unique_lock<std::mutex> lock(m_mutex);
            if (m_done.wait_for(lock, std::chrono::seconds(seconds), [this] { return m_finished; })) return;
            CStringW message;
            message.Format(L"brim: the transfer did not finish within %I64d s (--max-time)\n", seconds);
            Err(message);
            if (!m_partial.IsEmpty()) PartialFile::Discard(m_partial);
            std::_Exit(kExitFailure);
        });
    }
    ~Deadline() {
        if (!m_watch.joinable()) return;
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_finished = true;
        }
        m_done.notify_one();
        m_watch.join();
    }
    Deadline(const Deadline&) = delete;
    Deadline& operator=(const Deadline&) = delete;

private:
    CStringW m_partial;
    std::mutex m_mutex;
    std::condition_variable m_done;
    bool m_finished = false;
    std::thread m_watch;
};

// --max-time SECONDS and --max-size BYTES (K, M, G allowed); false for a
// value that is not one.
bool LimitOptions(const Args& a, long long& seconds, unsigned long long& cap) {
    seconds = 0;
    cap = 0;
    if (a.Has(L"--max-time") && !ParseInt(a.Value(L"--max-time"), 1, 1000000000, seconds)) return false;
    return !a.Has(L"--max-size") || (ParseRate(a.Value(L"--max-size"), cap) && cap > 0);
}

// The post's answer is read whole into memory by the library: its headers,
// shown before the body is read, must announce a length within the cap.
constexpr unsigned long long kDefaultPostCap = 16ULL << 20;
unsigned long long g_postCap = 0;

unsigned long long AnnouncedLength(const CStringW& headers, bool& announced) {
    CStringW lower = headers;
    lower.MakeLower();
    const int at = lower.Find(L"\ncontent-length:");
    announced = at >= 0;
    if (!announced) return 0;
    return std::wcstoull(lower.GetString() + at + 16, nullptr, 10);
}

// The form post's message box goes to standard error: a command-line host
// has no desktop to show it on.
int HeadersToStandardError(const wchar_t* text, UINT) {
    Err(L"response headers:\n" + CStringW(text));
    const CStringW headers(text);
    if (headers.Mid(headers.Find(L' ') + 1, 4) != L"200 ") return IDOK;   // no body is read
    bool announced = false;
    const unsigned long long length = AnnouncedLength(headers, announced);
    if (!announced) {
        throw new CBrimException(L"the answer does not announce its length; brim post reads only bodies of a "
                                 L"length announced within --max-size");
    }
    if (length > g_postCap) {
        throw new CBrimException(L"the answer's body is %I64u bytes, more than the %I64u that --max-size allows",
                                 length, g_postCap);
    }
    return IDOK;
}

bool RateOption(const Args& a, unsigned long long& rate) {
    rate = 0;
    return !a.Has(L"--limit-rate") || ParseRate(a.Value(L"--limit-rate"), rate);
}

// The size of a remote file by its listing, ~0 when it is not listed.
unsigned long long RemoteSize(CBrimFTP& ftp, const CStringW& remote) {
    if (ftp.m_pConnection == nullptr) return ~0ULL;
    CFtpFileFind finder(ftp.m_pConnection);
    if (!finder.FindFile(remote)) return ~0ULL;
    finder.FindNextFile();
    const unsigned long long size = finder.GetLength();
    finder.Close();
    return size;
}

}  // namespace

int CommandGet(const Arguments& args) {
    const Command& self = CommandNamed(L"get");
    Args a;
    if (!a.Parse(args, {L"--limit-rate", L"--max-time", L"--max-size"}, {})) return UsageError(self, a.Error());
    unsigned long long rate = 0;
    if (!RateOption(a, rate)) return UsageError(self, L"--limit-rate takes a rate such as 500K or 2M");
    long long seconds = 0;
    Arrived arrived;
    if (!LimitOptions(a, seconds, arrived.cap)) return UsageError(self, L"--max-time takes seconds, --max-size a size such as 10M");
    if (a.Operands().size() != 2) return UsageError(self, L"URL and FILE are needed");
    // The object downloads over its own connection to the URL's server.
    unsigned long service = 0;
    wchar_t server[260] = {}, object[260] = {};
    unsigned short port = 0;
    CBrimUtil::GetUrlInfo(a.Operands()[0], service, server, object, port);
    if (server[0] == 0) return UsageError(self, L"URL must be an absolute http:// URL");
    PartialFile target(a.Operands()[1]);
    const Deadline deadline(seconds, target.Path());
    Progress progress(a.Operands()[1], rate);
    HttpHost http(progress, arrived);
    http.ConnectHttp(server, port);
    http.Download(a.Operands()[0], target.Path(), CFile::typeBinary);
    progress.Finish();
    if (arrived.announced != 0 && arrived.bytes != arrived.announced) {
        CStringW message;
        message.Format(L"%s: %I64u of the %I64u bytes announced arrived; nothing was saved", a.Operands()[0].GetString(),
                       arrived.bytes, arrived.announced);
        return Failure(message);
    }
    target.Keep();
    return kExitOk;
}

int CommandPost(const Arguments& args) {
    const Command& self = CommandNamed(L"post");
    Args a;
    if (!a.Parse(args, {L"--max-time", L"--max-size"}, {})) return UsageError(self, a.Error());
    long long port = 0;
    long long seconds = 0;
    Arrived unusedCount;
    if (!LimitOptions(a, seconds, g_postCap)) return UsageError(self, L"--max-time takes seconds, --max-size a size such as 10M");
    if (g_postCap == 0) g_postCap = kDefaultPostCap;
    if (a.Operands().size() != 4) return UsageError(self, L"HOST, PORT, PATH and FORM are needed");
    if (!ParseInt(a.Operands()[1], 1, 65535, port)) return UsageError(self, L"PORT must be 1 to 65535");
    const Deadline deadline(seconds, CStringW());
    const BrimMessageBoxHandler before = BrimSetMessageBoxHandler(HeadersToStandardError);
    Progress unused(L"", 0);
    HttpHost http(unused, unusedCount);
    http.ConnectHttp(a.Operands()[0], static_cast<int>(port));
    const CStringW body = http.SendRequestHttp(a.Operands()[2], a.Operands()[3]);
    BrimSetMessageBoxHandler(before);
    Out(body);
    if (!body.IsEmpty() && body.Right(1) != L"\n") Out(L"\n");
    return kExitOk;
}

int CommandFtp(const Arguments& args) {
    const Command& self = CommandNamed(L"ftp");
    Args a;
    if (!a.Parse(args, {L"--limit-rate"}, {L"--active", L"--text"})) return UsageError(self, a.Error());
    Arrived arrived;
    unsigned long long rate = 0;
    if (!RateOption(a, rate)) return UsageError(self, L"--limit-rate takes a rate such as 500K or 2M");
    const auto& ops = a.Operands();
    if (ops.size() != 5 || (ops[0] != L"put" && ops[0] != L"get")) {
        return UsageError(self, L"put|get HOST[:PORT] USER LOCAL REMOTE is needed");
    }
    CStringW host = ops[1];
    long long port = 21;
    const int colon = host.ReverseFind(L':');
    if (colon > 0 && host.Find(L']') < colon) {   // not inside an IPv6 address in brackets
        if (!ParseInt(host.Mid(colon + 1), 1, 65535, port)) return UsageError(self, L"PORT must be 1 to 65535");
        host = host.Left(colon);
    }
    host.Trim(L"[]");
    // Never from the command line, where other users could read it.
    CStringW password = Environment(L"BRIM_FTP_PASSWORD");
    if (password.IsEmpty()) password = ReadPassword(L"password for " + ops[2] + L"@" + host + L": ");
    const bool upload = ops[0] == L"put";
    Progress progress(upload ? ops[3] : ops[4], rate);
    FtpHost ftp(progress, arrived);
    ftp.Connection(host, ops[2], password, static_cast<int>(port), a.Flag(L"--active") ? 0 : 1);
    const int mode = a.Flag(L"--text") ? 1 : 2;
    CStringW message;
    if (upload) {
        ftp.Upload(ops[3], ops[4], mode);
        progress.Finish();
        // The final reply is not reported: what the server now holds tells.
        const unsigned long long held = RemoteSize(ftp, ops[4]);
        if (held != arrived.announced) {
            message.Format(L"%s: the server holds %I64u of the %I64u bytes sent", ops[4].GetString(), held,
                           arrived.announced);
        }
    } else {
        PartialFile target(ops[3]);
        ftp.Download(ops[4], target.Path(), mode);
        progress.Finish();
        if (arrived.announced != 0 && arrived.bytes != arrived.announced) {
            message.Format(L"%s: %I64u of the %I64u bytes listed arrived; nothing was saved", ops[4].GetString(),
                           arrived.bytes, arrived.announced);
        } else {
            target.Keep();
        }
    }
    ftp.Close();
    return message.IsEmpty() ? kExitOk : Failure(message);
}

}  // namespace brimtool
