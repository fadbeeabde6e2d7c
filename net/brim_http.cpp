#include <brim/net.h>
#include <brim/text.h>

#include "net/transfer.h"

#include <cstring>
#include <cwchar>
#include <vector>

namespace bd = brim::detail;

namespace {
constexpr UINT kBlockSize = bd::kTransferBlockSize;
constexpr unsigned long kErrorInvalidHandle = 6;

const wchar_t* const kAgent =
    L"Mozilla/4.0 (compatible; MSIE 8.0; Windows NT 6.1; Trident/4.0; .NET CLR 1.1.4322; .NET CLR 2.0.50727; "
    L".NET CLR 3.5.30729; .NET CLR 3.0.30729)";

const wchar_t* const kFormHeaders[] = {
    L"Accept: text/html, application/xhtml+xml, */*",
    L"Referer: http://www.example.com/",
    L"Accept-Language: ko-KR",
    L"User-Agent: Mozilla/5.0 (compatible; MSIE 9.0; Windows NT 6.1; WOW64; Trident/5.0)",
    L"Content-Type: application/x-www-form-urlencoded",
    L"Accept-Encoding: gzip, deflate",
    L"Connection: Keep-Alive",
};

constexpr DWORD kPostFlags =
    INTERNET_FLAG_RELOAD | INTERNET_FLAG_EXISTING_CONNECT | INTERNET_FLAG_NO_CACHE_WRITE | INTERNET_FLAG_MAKE_PERSISTENT;

// The text's length in UTF-16 units, whatever the width of wchar_t.
int Utf16Units(const wchar_t* text) {
    int units = 0;
    for (const wchar_t* p = text; p != nullptr && *p != 0; ++p) {
        units += (static_cast<unsigned long>(*p) >> 16) != 0 ? 2 : 1;
    }
    return units;
}

// Ends a request or response on every way out.
struct OpenFileGuard {
    CInternetFile* file = nullptr;
    ~OpenFileGuard() {
        if (file != nullptr) {
            file->Abort();
            delete file;
        }
    }
};
}  // namespace

CBrimHTTP::CBrimHTTP() : m_pSession(nullptr), m_pConnection(nullptr), m_strAgent(kAgent) {
    m_pSession = new CInternetSession(m_strAgent, 1, PRE_CONFIG_INTERNET_ACCESS, nullptr, nullptr, 0);
    m_pSession->SetOption(INTERNET_OPTION_CONNECT_TIMEOUT, 20000);
    m_pSession->SetOption(INTERNET_OPTION_CONNECT_BACKOFF, 1000);
    m_pSession->SetOption(INTERNET_OPTION_CONNECT_RETRIES, 1);
}

CBrimHTTP::~CBrimHTTP() { CloseHttp(); }

void CBrimHTTP::vWaitForSpeedBalance() { bd::PauseOneMillisecond(); }

void CBrimHTTP::ConnectHttp(const wchar_t* server, const int& port) {
    // After CloseHttp there is no session to connect with.
    if (m_pSession == nullptr) throw new CBrimException(kErrorInvalidHandle);
    bd::CloseAndRelease(m_pConnection);
    try {
        m_pConnection = m_pSession->GetHttpConnection(server, INTERNET_FLAG_KEEP_CONNECTION,
                                                      static_cast<INTERNET_PORT>(port & 0xFFFF), nullptr, nullptr);
    } catch (CInternetException* e) {
        m_pConnection = nullptr;
        bd::ThrowInternetFailure(e);
    }
}

void CBrimHTTP::CloseHttp() {
    bd::CloseAndRelease(m_pSession);
    bd::CloseAndRelease(m_pConnection);
}

void CBrimHTTP::Download(const wchar_t* url, const wchar_t* localPath, const int& mode) {
    if (m_pConnection == nullptr) bd::ThrowNoConnection();
    try {
        OpenFileGuard response;
        CFile local;
        response.file = m_pSession->OpenURL(url, 1, INTERNET_FLAG_NO_CACHE_WRITE | static_cast<DWORD>(mode), nullptr, 0);

        // Room for 7 digits and the terminator: a longer length is not taken.
        ULONGLONG total = 0;
        wchar_t length[8] = {};
        DWORD size = sizeof(length);
        auto* http = dynamic_cast<CHttpFile*>(response.file);
        if (http != nullptr && http->QueryInfo(HTTP_QUERY_CONTENT_LENGTH, length, &size)) {
            total = static_cast<ULONGLONG>(static_cast<LONG>(std::wcstol(length, nullptr, 10)));
        }

        local.Open(localPath, CFile::modeCreate | CFile::modeWrite);
        bd::LocalBatch toDisk(local);
        int index = 0;
        for (;;) {
            vWaitForSpeedBalance();
            DWORD bytes = response.file->Read(toDisk.Next(), kBlockSize);
            if (bytes == 0) break;
            toDisk.Commit(bytes);
            ULONGLONG reported = total != 0 ? total : static_cast<DWORD>(static_cast<DWORD>(index) * kBlockSize + bytes);
            vDownloadProgress(bytes, index, reported, url, localPath);
            ++index;
        }
        toDisk.Flush();
        local.Close();
        response.file->Close();
    } catch (CInternetException* e) {
        bd::CloseAndRelease(m_pConnection);
        bd::ThrowInternetFailure(e);
    }
}

CStringW CBrimHTTP::SendRequestHttp(const wchar_t* objectPath, const wchar_t* formText) {
    if (m_pConnection == nullptr) bd::ThrowNoConnection();

    // The body is the form's ANSI bytes and a zero, sized by the UTF-16 unit
    // count + 1. A form whose ANSI form is longer (double-byte characters)
    // gets a buffer of its full size and is sent whole rather than cut.
    const int units = Utf16Units(formText);
    const int ansiBytes = CBrimString::Unicode2MBCSCount(formText);
    const DWORD bodyLength = static_cast<DWORD>(ansiBytes > units + 1 ? ansiBytes : units + 1);
    std::vector<char> body(bodyLength, 0);

    OpenFileGuard request;
    CHttpFile* http =
        m_pConnection->OpenRequest(CHttpConnection::HTTP_VERB_POST, objectPath, nullptr, 1, nullptr, nullptr, kPostFlags);
    request.file = http;
    for (const wchar_t* header : kFormHeaders) http->AddRequestHeaders(header, HTTP_ADDREQ_FLAG_ADD_IF_NEW, -1);
    CBrimString::Unicode2MBCS(body.data(), formText);

    try {
        http->SendRequest(nullptr, 0, body.data(), bodyLength);
    } catch (CException* e) {
        const unsigned long code = GetLastError();
        e->Delete();
        throw new CBrimException(code);
    } catch (...) {
        const unsigned long code = GetLastError();
        throw new CBrimException(code);
    }

    DWORD status = 0;
    http->QueryInfoStatusCode(status);
    CStringW headers;
    http->QueryInfo(HTTP_QUERY_RAW_HEADERS_CRLF, headers);
    AfxMessageBox(headers, MB_OK, 0);

    CStringW result;
    if (status == HTTP_STATUS_OK) {
        // Each block is converted on its own, up to its first zero byte.
        char bytes[kBlockSize + 1];
        wchar_t text[kBlockSize + 1];
        std::memset(bytes, 0, sizeof(bytes));
        std::memset(text, 0, sizeof(text));
        while (http->Read(bytes, kBlockSize) > 0) {
            CBrimString::MBCS2Unicode(text, bytes);
            result += text;
            std::memset(bytes, 0, sizeof(bytes));
            std::memset(text, 0, sizeof(text));
        }
    }
    http->Close();
    return result;
}
