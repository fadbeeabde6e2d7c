// Network commands: get, post, ftp. Each is a host of CBrimHTTP or CBrimFTP
// whose progress hooks drive the progress display and whose throttle hook
// keeps --limit-rate.
#include "tools/brim/args.h"
#include "tools/brim/commands.h"
#include "tools/brim/console.h"
#include "tools/brim/progress.h"

namespace brimtool {
namespace {

class HttpHost final : public CBrimHTTP {
public:
    explicit HttpHost(Progress& progress) : m_progress(progress) {}
    void vDownloadProgress(DWORD& bytes, int&, ULONGLONG& total, const wchar_t*, const wchar_t*) override {
        m_progress.Advance(bytes, total);
    }
    void vWaitForSpeedBalance() override { m_progress.Throttle(); }

private:
    Progress& m_progress;
};

class FtpHost final : public CBrimFTP {
public:
    explicit FtpHost(Progress& progress) : m_progress(progress) {}
    void vDownloadProgress(DWORD& bytes, int&, ULONGLONG& total, const wchar_t*, const wchar_t*) override {
        m_progress.Advance(bytes, total);
    }
    void vUploadProgress(DWORD& bytes, int&, ULONGLONG& total, const wchar_t*, const wchar_t*) override {
        m_progress.Advance(bytes, total);
    }
    void vWaitForSpeedBalance() override { m_progress.Throttle(); }

private:
    Progress& m_progress;
};

// The form post's message box goes to standard error: a command-line host
// has no desktop to show it on.
int HeadersToStandardError(const wchar_t* text, UINT) {
    Err(L"response headers:\n" + CStringW(text));
    return IDOK;
}

bool RateOption(const Args& a, unsigned long long& rate) {
    rate = 0;
    return !a.Has(L"--limit-rate") || ParseRate(a.Value(L"--limit-rate"), rate);
}

}  // namespace

int CommandGet(const Arguments& args) {
    const Command& self = CommandNamed(L"get");
    Args a;
    if (!a.Parse(args, {L"--limit-rate"}, {})) return UsageError(self, a.Error());
    unsigned long long rate = 0;
    if (!RateOption(a, rate)) return UsageError(self, L"--limit-rate takes a rate such as 500K or 2M");
    if (a.Operands().size() != 2) return UsageError(self, L"URL and FILE are needed");
    // The object downloads over its own connection to the URL's server.
    unsigned long service = 0;
    wchar_t server[260] = {}, object[260] = {};
    unsigned short port = 0;
    CBrimUtil::GetUrlInfo(a.Operands()[0], service, server, object, port);
    if (server[0] == 0) return UsageError(self, L"URL must be an absolute http:// URL");
    Progress progress(a.Operands()[1], rate);
    HttpHost http(progress);
    http.ConnectHttp(server, port);
    http.Download(a.Operands()[0], a.Operands()[1], CFile::typeBinary);
    progress.Finish();
    return kExitOk;
}

int CommandPost(const Arguments& args) {
    const Command& self = CommandNamed(L"post");
    Args a;
    if (!a.Parse(args, {}, {})) return UsageError(self, a.Error());
    long long port = 0;
    if (a.Operands().size() != 4) return UsageError(self, L"HOST, PORT, PATH and FORM are needed");
    if (!ParseInt(a.Operands()[1], 1, 65535, port)) return UsageError(self, L"PORT must be 1 to 65535");
    const BrimMessageBoxHandler before = BrimSetMessageBoxHandler(HeadersToStandardError);
    Progress unused(L"", 0);
    HttpHost http(unused);
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
    FtpHost ftp(progress);
    ftp.Connection(host, ops[2], password, static_cast<int>(port), a.Flag(L"--active") ? 0 : 1);
    const int mode = a.Flag(L"--text") ? 1 : 2;
    if (upload) ftp.Upload(ops[3], ops[4], mode);
    else ftp.Download(ops[4], ops[3], mode);
    progress.Finish();
    ftp.Close();
    return kExitOk;
}

}  // namespace brimtool
