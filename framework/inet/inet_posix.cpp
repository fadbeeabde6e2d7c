// The internet layer on POSIX: handles over the library's FTP client and
// libcurl, with WinINet's rules for options, headers and queries.

#include "framework/inet/inet_platform.h"

#include "framework/errors/error_codes.h"
#include "framework/codepages/text_codec.h"
#include "framework/inet/ftp_client_posix.h"
#include "framework/inet/http_curl_posix.h"
#include "framework/inet/inet_errors.h"

#include <strings.h>

#include <algorithm>
#include <cwctype>
#include <cstring>
#include <memory>
#include <vector>

namespace brim::platform {

struct InetObject {
    virtual ~InetObject() = default;
};

namespace {
namespace bd = brim::detail;

// WinINet's defaults: a minute to connect, half a minute for anything else.
struct Session : InetObject {
    std::string agent;
    bool useProxy = true;
    DWORD connectTimeout = 60000;
    DWORD connectRetries = 5;
    DWORD connectBackoff = 0;   // kept for a host that asks; not used by WinINet either
    DWORD sendTimeout = 30000;
    DWORD receiveTimeout = 30000;
    DWORD dataSendTimeout = 30000;
    DWORD dataReceiveTimeout = 30000;
};

struct FtpFile;

struct FtpConnection : InetObject {
    bd::FtpClient client;
    FtpFile* openFile = nullptr;   // the transfer in progress, if any
    ~FtpConnection() override;
};

// Received data comes in with receives of up to 64 KiB, so a download costs
// one system call per 64 KiB whatever the callers' block size; each read
// hands out what has arrived without waiting for more. Written data goes to
// the connection at once, so a caller's block is on its way before the call
// returns and a failure shows at the write that met it.
constexpr std::size_t kReceiveSize = 64 * 1024;

struct FtpFile : InetObject {
    FtpConnection* connection = nullptr;   // null once the connection is gone
    std::unique_ptr<FtpConnection> owned;  // the connection of an ftp:// URL, made for this file
    bd::Socket data;
    std::vector<char> inbox;               // received, not yet read
    std::size_t inboxAt = 0;
    bool ended = false;

    ~FtpFile() override {
        data.Close();
        if (connection == nullptr) return;
        // The server's final answer is read but, as on Windows, not reported.
        const DWORD error = GetLastError();
        connection->client.FinishTransfer();
        connection->openFile = nullptr;
        SetLastError(error);
    }
};

// Closing a connection ends the transfer still open on it.
FtpConnection::~FtpConnection() {
    if (openFile != nullptr) {
        openFile->data.Close();
        openFile->connection = nullptr;
    }
    client.Quit();
}

struct FtpFind : InetObject {
    std::vector<bd::FtpListEntry> entries;
    std::size_t next = 0;
};

// Takes the session's settings when made, as WinINet's handles inherit
// options from their parent, and so does not depend on the session after.
struct HttpConnection : InetObject {
    bd::HttpSettings settings;
    std::string host;
    INTERNET_PORT port = 0;
    bool secure = false;
};

struct HttpRequest : InetObject {
    std::string url;
    std::string verb;
    std::vector<std::string> headers;   // lines without line breaks, in order
    bd::HttpSettings settings;
    std::unique_ptr<bd::CurlExchange> exchange;
    bool reload = false;   // asks caches on the way not to answer
};

template <typename T>
T* As(InetObject* handle) {
    T* object = dynamic_cast<T*>(handle);
    if (object == nullptr) SetLastError(handle == nullptr ? brim::err::kInvalidHandle : brim::err::kInternetIncorrectHandleType);
    return object;
}

std::string Ansi(const wchar_t* text) {
    return text == nullptr ? std::string() : bd::WideToAnsi(text, std::wcslen(text));
}

std::string Utf8(const wchar_t* text) {
    return text == nullptr ? std::string() : bd::WideToUtf8(text, std::wcslen(text));
}

std::wstring Wide(const std::string& text) { return bd::AnsiToWide(text.data(), text.size()); }

bd::HttpSettings SettingsOf(const Session& s) {
    bd::HttpSettings settings;
    settings.agent = s.agent;
    settings.useProxy = s.useProxy;
    settings.connectTimeout = s.connectTimeout;
    settings.sendTimeout = s.sendTimeout;
    settings.receiveTimeout = s.receiveTimeout;
    return settings;
}

DWORD* OptionField(Session& s, DWORD option) {
    switch (option) {
    case INTERNET_OPTION_CONNECT_TIMEOUT: return &s.connectTimeout;
    case INTERNET_OPTION_CONNECT_RETRIES: return &s.connectRetries;
    case INTERNET_OPTION_CONNECT_BACKOFF: return &s.connectBackoff;
    case INTERNET_OPTION_SEND_TIMEOUT: return &s.sendTimeout;
    case INTERNET_OPTION_RECEIVE_TIMEOUT: return &s.receiveTimeout;
    case INTERNET_OPTION_DATA_SEND_TIMEOUT: return &s.dataSendTimeout;
    case INTERNET_OPTION_DATA_RECEIVE_TIMEOUT: return &s.dataReceiveTimeout;
    default: return nullptr;
    }
}

bool HeaderNameIs(const std::string& line, const std::string& name) {
    return line.size() > name.size() && line[name.size()] == ':' &&
           ::strncasecmp(line.c_str(), name.c_str(), name.size()) == 0;
}

// Copies text into a caller's wide buffer, WinINet's way: lengths in bytes;
// too small gives 122 and the size needed, terminator included.
bool CopyText(const std::string& text, void* buffer, DWORD* bufferLength) {
    const std::wstring wide = Wide(text);
    const DWORD needed = static_cast<DWORD>((wide.size() + 1) * sizeof(wchar_t));
    if (buffer == nullptr || *bufferLength < needed) {
        *bufferLength = needed;
        SetLastError(brim::err::kInsufficientBuffer);
        return false;
    }
    std::memcpy(buffer, wide.c_str(), needed);
    *bufferLength = needed - static_cast<DWORD>(sizeof(wchar_t));
    return true;
}

bool HeaderValue(const std::vector<std::string>& lines, const char* name, std::string& value) {
    for (std::size_t i = 1; i < lines.size(); ++i) {
        if (!HeaderNameIs(lines[i], name)) continue;
        std::size_t start = std::strlen(name) + 1;
        while (start < lines[i].size() && (lines[i][start] == ' ' || lines[i][start] == '\t')) ++start;
        value = lines[i].substr(start);
        return true;
    }
    SetLastError(brim::err::kHttpHeaderNotFound);
    return false;
}
}  // namespace

InetObject* InetOpen(const wchar_t* agent, DWORD accessType, const wchar_t* /*proxy*/, const wchar_t* /*bypass*/,
                     DWORD /*flags*/) {
    auto* session = new Session;
    session->agent = Utf8(agent);
    // Preconfigured access means the environment's proxy settings.
    session->useProxy = accessType != INTERNET_OPEN_TYPE_DIRECT;
    return session;
}

namespace {
// The session's field for a 32-bit option, or null with the last error set.
DWORD* SessionOption(InetObject* handle, DWORD option) {
    Session* session = As<Session>(handle);
    if (session == nullptr) return nullptr;
    DWORD* field = OptionField(*session, option);
    if (field == nullptr) SetLastError(brim::err::kInternetInvalidOption);
    return field;
}
}  // namespace

bool InetSetOption(InetObject* handle, DWORD option, DWORD value) {
    DWORD* field = SessionOption(handle, option);
    if (field != nullptr) *field = value;
    return field != nullptr;
}

bool InetQueryOption(InetObject* handle, DWORD option, DWORD* value) {
    DWORD* field = SessionOption(handle, option);
    if (field != nullptr) *value = *field;
    return field != nullptr;
}

InetObject* InetConnect(InetObject* handle, const wchar_t* server, INTERNET_PORT port, const wchar_t* user,
                        const wchar_t* password, InetService service, DWORD flags, DWORD_PTR /*context*/) {
    Session* session = As<Session>(handle);
    if (session == nullptr) return nullptr;
    if (service == InetService::Http) {
        // As with WinINet, nothing goes over the network until a request is sent.
        auto* connection = new HttpConnection;
        connection->settings = SettingsOf(*session);
        connection->host = Utf8(server);
        connection->secure = (flags & INTERNET_FLAG_SECURE) != 0;
        connection->port = port != 0 ? port : (connection->secure ? 443 : INTERNET_DEFAULT_HTTP_PORT);
        return connection;
    }
    const std::string name = user == nullptr || *user == 0 ? "anonymous" : Ansi(user);
    const std::string secret = password == nullptr ? (user == nullptr ? "anonymous@" : "") : Ansi(password);
    const bd::FtpTimeouts timeouts{session->connectTimeout, session->sendTimeout, session->receiveTimeout,
                                   session->dataSendTimeout, session->dataReceiveTimeout};
    auto connection = std::make_unique<FtpConnection>();
    if (!connection->client.Open(Utf8(server), port != 0 ? port : INTERNET_DEFAULT_FTP_PORT, name, secret,
                                 (flags & INTERNET_FLAG_PASSIVE) != 0, timeouts)) {
        return nullptr;
    }
    return connection.release();
}

bool InetClose(InetObject* handle) {
    const DWORD error = GetLastError();
    delete handle;
    SetLastError(error);
    return true;
}

bool InetRead(InetObject* handle, void* buffer, DWORD count, DWORD* done) {
    *done = 0;
    if (auto* request = dynamic_cast<HttpRequest*>(handle)) {
        if (!request->exchange) {
            SetLastError(brim::err::kInternetIncorrectHandleState);
            return false;
        }
        std::size_t n = 0;
        if (!request->exchange->Read(buffer, count, &n)) return false;
        *done = static_cast<DWORD>(n);
        return true;
    }
    FtpFile* file = As<FtpFile>(handle);
    if (file == nullptr) return false;
    if (file->connection == nullptr) {
        SetLastError(brim::err::kInternetConnectionAborted);
        return false;
    }
    if (file->inboxAt == file->inbox.size() && !file->ended) {
        file->inbox.resize(kReceiveSize);
        file->inboxAt = 0;
        const long n =
            file->data.Receive(file->inbox.data(), kReceiveSize, file->connection->client.Timeouts().dataReceive);
        if (n < 0) {
            file->inbox.clear();
            file->connection->client.Abandon();
            return false;
        }
        file->inbox.resize(static_cast<std::size_t>(n));
        if (n == 0) file->ended = true;
    }
    const std::size_t n = std::min<std::size_t>(count, file->inbox.size() - file->inboxAt);
    if (n > 0) std::memcpy(buffer, file->inbox.data() + file->inboxAt, n);
    file->inboxAt += n;
    *done = static_cast<DWORD>(n);
    return true;
}

bool InetWrite(InetObject* handle, const void* buffer, DWORD count, DWORD* done) {
    *done = 0;
    FtpFile* file = As<FtpFile>(handle);
    if (file == nullptr) return false;
    if (file->connection == nullptr) {
        SetLastError(brim::err::kInternetConnectionAborted);
        return false;
    }
    if (!file->data.SendAll(buffer, count, file->connection->client.Timeouts().dataSend)) {
        file->connection->client.Abandon();
        return false;
    }
    *done = count;
    return true;
}

namespace {
// %XX escapes of a URL part, decoded; others are kept as written.
std::wstring Unescape(const CStringW& text) {
    std::wstring out;
    const int n = text.GetLength();
    auto hex = [](wchar_t c) { return std::iswxdigit(static_cast<wint_t>(c)) != 0 && c < 128; };
    auto value = [](wchar_t c) { return c <= L'9' ? c - L'0' : (c | 0x20) - L'a' + 10; };
    for (int i = 0; i < n; ++i) {
        if (text[i] == L'%' && i + 2 < n && hex(text[i + 1]) && hex(text[i + 2])) {
            out += static_cast<wchar_t>(value(text[i + 1]) * 16 + value(text[i + 2]));
            i += 2;
        } else {
            out += text[i];
        }
    }
    return out;
}

// An ftp:// URL: a connection of its own (passive only when asked, as
// WinINet does), logged in as the URL's user or anonymously, and the file
// opened for reading in the mode the transfer flags name.
InetObject* OpenFtpUrl(Session& session, const wchar_t* url, DWORD flags) {
    DWORD service = 0;
    CStringW server, object, user, password;
    WORD port = 0;
    if (!AfxParseURLEx(url, service, server, object, port, user, password) || server.IsEmpty()) {
        SetLastError(brim::err::kInternetInvalidUrl);
        return nullptr;
    }
    const std::wstring name = Unescape(user);
    const std::wstring secret = Unescape(password);
    InetObject* connection =
        InetConnect(&session, server, port, name.empty() ? nullptr : name.c_str(),
                    name.empty() ? nullptr : secret.c_str(), InetService::Ftp, flags & INTERNET_FLAG_PASSIVE, 0);
    if (connection == nullptr) return nullptr;
    std::unique_ptr<FtpConnection> owned(static_cast<FtpConnection*>(connection));
    const std::wstring path = Unescape(object);
    auto* file = static_cast<FtpFile*>(FtpOpen(owned.get(), path.c_str(), GENERIC_READ, flags & 3u, 0));
    if (file == nullptr) return nullptr;
    file->owned = std::move(owned);
    return file;
}
}  // namespace

InetObject* InetOpenUrl(InetObject* handle, const wchar_t* url, const wchar_t* headers, DWORD headersLength,
                        DWORD flags, DWORD_PTR /*context*/) {
    Session* session = As<Session>(handle);
    if (session == nullptr) return nullptr;
    auto request = std::make_unique<HttpRequest>();
    request->url = Utf8(url);
    request->verb = "GET";
    request->settings = SettingsOf(*session);
    if (headers != nullptr && headersLength != 0 && !HttpAddHeaders(request.get(), headers, headersLength, 0)) {
        return nullptr;
    }
    const std::string scheme = request->url.substr(0, request->url.find(':'));
    if (::strcasecmp(scheme.c_str(), "ftp") == 0) return OpenFtpUrl(*session, url, flags);
    if (::strcasecmp(scheme.c_str(), "http") != 0 && ::strcasecmp(scheme.c_str(), "https") != 0) {
        SetLastError(request->url.find("://") == std::string::npos ? brim::err::kInternetInvalidUrl
                                                                   : brim::err::kInternetUnrecognizedScheme);
        return nullptr;
    }
    if (!HttpSend(request.get(), nullptr, 0, nullptr, 0)) return nullptr;
    return request.release();
}

bool FtpSetDirectory(InetObject* handle, const wchar_t* directory) {
    FtpConnection* connection = As<FtpConnection>(handle);
    return connection != nullptr && connection->client.ChangeDirectory(Ansi(directory));
}

bool FtpMakeDirectory(InetObject* handle, const wchar_t* directory) {
    FtpConnection* connection = As<FtpConnection>(handle);
    return connection != nullptr && connection->client.MakeDirectory(Ansi(directory));
}

InetObject* FtpOpen(InetObject* handle, const wchar_t* name, DWORD access, DWORD flags, DWORD_PTR /*context*/) {
    FtpConnection* connection = As<FtpConnection>(handle);
    if (connection == nullptr) return nullptr;
    const bool write = (access & GENERIC_WRITE) != 0;
    if (write == ((access & GENERIC_READ) != 0)) {
        SetLastError(brim::err::kInvalidParameter);
        return nullptr;
    }
    const char type = (flags & 3u) == FTP_TRANSFER_TYPE_ASCII ? 'A' : 'I';
    bd::Socket data;
    if (!connection->client.StartTransfer(type, (write ? "STOR " : "RETR ") + Ansi(name), data)) return nullptr;
    auto* file = new FtpFile;
    file->connection = connection;
    file->data = std::move(data);
    connection->openFile = file;
    return file;
}

InetObject* FtpFindFirst(InetObject* handle, const wchar_t* pattern, FtpEntry* entry, DWORD /*flags*/,
                         DWORD_PTR /*context*/) {
    FtpConnection* connection = As<FtpConnection>(handle);
    if (connection == nullptr) return nullptr;
    // A pattern of "*.*" (everything) is the plain listing.
    const std::string path = pattern == nullptr || std::wcscmp(pattern, L"*.*") == 0 ? "" : Ansi(pattern);
    auto find = std::make_unique<FtpFind>();
    if (!connection->client.List(path, find->entries)) {
        // A refused listing is an empty one, unless the connection broke.
        if (GetLastError() == brim::err::kInternetExtendedError) SetLastError(brim::err::kNoMoreFiles);
        return nullptr;
    }
    if (!FtpFindNext(find.get(), entry)) return nullptr;
    return find.release();
}

bool FtpFindNext(InetObject* handle, FtpEntry* entry) {
    FtpFind* find = As<FtpFind>(handle);
    if (find == nullptr) return false;
    if (find->next >= find->entries.size()) {
        SetLastError(brim::err::kNoMoreFiles);
        return false;
    }
    const bd::FtpListEntry& e = find->entries[find->next++];
    entry->name = Wide(e.name);
    entry->size = e.size;
    entry->directory = e.directory;
    return true;
}

InetObject* HttpOpenRequest(InetObject* handle, const wchar_t* verb, const wchar_t* object,
                            const wchar_t* /*version*/, const wchar_t* referer, const wchar_t** acceptTypes,
                            DWORD flags, DWORD_PTR /*context*/) {
    HttpConnection* connection = As<HttpConnection>(handle);
    if (connection == nullptr) return nullptr;
    auto request = std::make_unique<HttpRequest>();
    request->verb = verb == nullptr ? "GET" : Utf8(verb);
    const bool v6 = connection->host.find(':') != std::string::npos;
    const std::string host = v6 ? "[" + connection->host + "]" : connection->host;
    std::string path = object == nullptr || *object == 0 ? "/" : Utf8(object);
    if (path[0] != '/') path.insert(0, 1, '/');
    request->url = (connection->secure ? "https://" : "http://") + host + ":" + std::to_string(connection->port) + path;
    request->settings = connection->settings;
    // The session's agent is sent only when the request has no User-Agent
    // line of its own by then (see CurlExchange::Start).
    request->reload = (flags & INTERNET_FLAG_RELOAD) != 0;
    if (referer != nullptr && *referer != 0) request->headers.push_back("Referer: " + Utf8(referer));
    if (acceptTypes != nullptr) {
        std::string accept;
        for (const wchar_t** t = acceptTypes; *t != nullptr; ++t) accept += (accept.empty() ? "" : ", ") + Utf8(*t);
        if (!accept.empty()) request->headers.push_back("Accept: " + accept);
    }
    return request.release();
}

bool HttpAddHeaders(InetObject* handle, const wchar_t* headers, DWORD length, DWORD modifiers) {
    HttpRequest* request = As<HttpRequest>(handle);
    if (request == nullptr) return false;
    if (headers == nullptr) {
        SetLastError(brim::err::kInvalidParameter);
        return false;
    }
    std::size_t n = 0;
    while ((length == static_cast<DWORD>(-1) || n < length) && headers[n] != 0) ++n;
    const std::string text = bd::WideToUtf8(headers, n);
    bool all = true;
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find_first_of("\r\n", start);
        if (end == std::string::npos) end = text.size();
        const std::string line = text.substr(start, end - start);
        start = end + 1;
        const std::size_t colon = line.find(':');
        if (line.empty()) continue;
        if (colon == std::string::npos || colon == 0) {
            SetLastError(brim::err::kInvalidParameter);
            all = false;
            continue;
        }
        const std::string name = line.substr(0, colon);
        auto same = std::find_if(request->headers.begin(), request->headers.end(),
                                 [&](const std::string& h) { return HeaderNameIs(h, name); });
        if ((modifiers & HTTP_ADDREQ_FLAG_ADD_IF_NEW) != 0 && same != request->headers.end()) {
            SetLastError(brim::err::kHttpHeaderAlreadyExists);
            all = false;
            continue;
        }
        if ((modifiers & HTTP_ADDREQ_FLAG_REPLACE) != 0 && same != request->headers.end()) {
            *same = line;
            continue;
        }
        request->headers.push_back(line);
    }
    return all;
}

bool HttpSend(InetObject* handle, const wchar_t* headers, DWORD headersLength, const void* body, DWORD bodyLength) {
    HttpRequest* request = As<HttpRequest>(handle);
    if (request == nullptr) return false;
    if (headers != nullptr && headersLength != 0 &&
        !HttpAddHeaders(request, headers, headersLength, HTTP_ADDREQ_FLAG_ADD)) {
        return false;
    }
    if (request->reload && !HttpAddHeaders(request, L"Cache-Control: no-cache", static_cast<DWORD>(-1),
                                           HTTP_ADDREQ_FLAG_ADD_IF_NEW)) {
        SetLastError(0);   // the request already says how it wants caches treated
    }
    request->exchange = std::make_unique<bd::CurlExchange>();
    if (!request->exchange->Start(request->url, request->verb, request->headers, body, bodyLength,
                                  request->settings)) {
        request->exchange.reset();
        return false;
    }
    return true;
}

bool HttpQuery(InetObject* handle, DWORD level, void* buffer, DWORD* bufferLength, DWORD* /*index*/) {
    HttpRequest* request = As<HttpRequest>(handle);
    if (request == nullptr) return false;
    if (bufferLength == nullptr) {
        SetLastError(brim::err::kInvalidParameter);
        return false;
    }
    if (!request->exchange) {
        SetLastError(brim::err::kInternetIncorrectHandleState);
        return false;
    }
    const std::vector<std::string>& lines = request->exchange->HeaderLines();
    const DWORD what = level & 0xFFFFu;
    std::string text;
    switch (what) {
    case HTTP_QUERY_STATUS_CODE:
        text = std::to_string(request->exchange->Status());
        break;
    case HTTP_QUERY_CONTENT_LENGTH:
        if (!HeaderValue(lines, "Content-Length", text)) return false;
        break;
    case 1:   // HTTP_QUERY_CONTENT_TYPE
        if (!HeaderValue(lines, "Content-Type", text)) return false;
        break;
    case HTTP_QUERY_RAW_HEADERS_CRLF:
        for (const std::string& line : lines) text += line + "\r\n";
        text += "\r\n";
        break;
    default:
        SetLastError(brim::err::kHttpInvalidQueryRequest);
        return false;
    }
    if ((level & HTTP_QUERY_FLAG_NUMBER) != 0) {
        if (buffer == nullptr || *bufferLength < sizeof(DWORD)) {
            *bufferLength = sizeof(DWORD);
            SetLastError(brim::err::kInsufficientBuffer);
            return false;
        }
        const DWORD number = static_cast<DWORD>(std::strtoul(text.c_str(), nullptr, 10));
        std::memcpy(buffer, &number, sizeof(number));
        *bufferLength = sizeof(number);
        return true;
    }
    return CopyText(text, buffer, bufferLength);
}

}  // namespace brim::platform
