// The internet layer on Windows: WinINet. Its functions are looked up in
// wininet.dll at first use instead of being imported, so a process that never
// uses the network classes does not load it (its message table then stays
// unavailable, as for a host that never loaded it).

#include "framework/inet/inet_platform.h"



#include <mutex>

namespace brim::platform {
namespace {

struct WinInet {
    decltype(&::InternetOpenW) open = nullptr;
    decltype(&::InternetSetOptionW) setOption = nullptr;
    decltype(&::InternetQueryOptionW) queryOption = nullptr;
    decltype(&::InternetConnectW) connect = nullptr;
    decltype(&::InternetCloseHandle) close = nullptr;
    decltype(&::InternetReadFile) read = nullptr;
    decltype(&::InternetWriteFile) write = nullptr;
    decltype(&::InternetOpenUrlW) openUrl = nullptr;
    decltype(&::FtpSetCurrentDirectoryW) ftpSetDirectory = nullptr;
    decltype(&::FtpCreateDirectoryW) ftpCreateDirectory = nullptr;
    decltype(&::FtpOpenFileW) ftpOpen = nullptr;
    decltype(&::FtpFindFirstFileW) ftpFindFirst = nullptr;
    decltype(&::InternetFindNextFileW) findNext = nullptr;
    decltype(&::HttpOpenRequestW) httpOpenRequest = nullptr;
    decltype(&::HttpAddRequestHeadersW) httpAddHeaders = nullptr;
    decltype(&::HttpSendRequestW) httpSend = nullptr;
    decltype(&::HttpQueryInfoW) httpQuery = nullptr;
    bool loaded = false;
};

template <typename F>
bool Resolve(HMODULE module, const char* name, F& function) {
    function = reinterpret_cast<F>(reinterpret_cast<void*>(::GetProcAddress(module, name)));
    return function != nullptr;
}

const WinInet& Api() {
    static WinInet api;
    static std::once_flag once;
    std::call_once(once, [] {
        HMODULE m = ::LoadLibraryW(L"wininet.dll");
        if (m == nullptr) return;
        api.loaded = Resolve(m, "InternetOpenW", api.open) && Resolve(m, "InternetSetOptionW", api.setOption) &&
                     Resolve(m, "InternetQueryOptionW", api.queryOption) &&
                     Resolve(m, "InternetConnectW", api.connect) && Resolve(m, "InternetCloseHandle", api.close) &&
                     Resolve(m, "InternetReadFile", api.read) && Resolve(m, "InternetWriteFile", api.write) &&
                     Resolve(m, "InternetOpenUrlW", api.openUrl) &&
                     Resolve(m, "FtpSetCurrentDirectoryW", api.ftpSetDirectory) &&
                     Resolve(m, "FtpCreateDirectoryW", api.ftpCreateDirectory) &&
                     Resolve(m, "FtpOpenFileW", api.ftpOpen) && Resolve(m, "FtpFindFirstFileW", api.ftpFindFirst) &&
                     Resolve(m, "InternetFindNextFileW", api.findNext) &&
                     Resolve(m, "HttpOpenRequestW", api.httpOpenRequest) &&
                     Resolve(m, "HttpAddRequestHeadersW", api.httpAddHeaders) &&
                     Resolve(m, "HttpSendRequestW", api.httpSend) && Resolve(m, "HttpQueryInfoW", api.httpQuery);
    });
    return api;
}

HINTERNET H(InetObject* handle) { return reinterpret_cast<HINTERNET>(handle); }
InetObject* Wrap(HINTERNET handle) { return reinterpret_cast<InetObject*>(handle); }

bool Ready() {
    if (Api().loaded) return true;
    ::SetLastError(ERROR_INTERNET_INTERNAL_ERROR);
    return false;
}

void Fill(const WIN32_FIND_DATAW& data, FtpEntry* entry) {
    entry->name = data.cFileName;
    entry->size = (static_cast<ULONGLONG>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
    entry->directory = (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

}  // namespace

InetObject* InetOpen(const wchar_t* agent, DWORD accessType, const wchar_t* proxy, const wchar_t* bypass,
                     DWORD flags) {
    if (!Ready()) return nullptr;
    return Wrap(Api().open(agent, accessType, proxy, bypass, flags));
}

bool InetSetOption(InetObject* session, DWORD option, DWORD value) {
    return Ready() && Api().setOption(H(session), option, &value, sizeof(value));
}

bool InetQueryOption(InetObject* session, DWORD option, DWORD* value) {
    DWORD length = sizeof(*value);
    return Ready() && Api().queryOption(H(session), option, value, &length);
}

InetObject* InetConnect(InetObject* session, const wchar_t* server, INTERNET_PORT port, const wchar_t* user,
                        const wchar_t* password, InetService service, DWORD flags, DWORD_PTR context) {
    if (!Ready()) return nullptr;
    const DWORD kind = service == InetService::Ftp ? INTERNET_SERVICE_FTP : INTERNET_SERVICE_HTTP;
    return Wrap(Api().connect(H(session), server, port, user, password, kind, flags, context));
}

bool InetClose(InetObject* handle) { return handle == nullptr || (Ready() && Api().close(H(handle))); }

bool InetRead(InetObject* file, void* buffer, DWORD count, DWORD* done) {
    return Ready() && Api().read(H(file), buffer, count, done);
}

bool InetWrite(InetObject* file, const void* buffer, DWORD count, DWORD* done) {
    return Ready() && Api().write(H(file), buffer, count, done);
}

InetObject* InetOpenUrl(InetObject* session, const wchar_t* url, const wchar_t* headers, DWORD headersLength,
                        DWORD flags, DWORD_PTR context) {
    if (!Ready()) return nullptr;
    return Wrap(Api().openUrl(H(session), url, headers, headersLength, flags, context));
}

bool FtpSetDirectory(InetObject* connection, const wchar_t* directory) {
    return Ready() && Api().ftpSetDirectory(H(connection), directory);
}

bool FtpMakeDirectory(InetObject* connection, const wchar_t* directory) {
    return Ready() && Api().ftpCreateDirectory(H(connection), directory);
}

InetObject* FtpOpen(InetObject* connection, const wchar_t* name, DWORD access, DWORD flags, DWORD_PTR context) {
    if (!Ready()) return nullptr;
    return Wrap(Api().ftpOpen(H(connection), name, access, flags, context));
}

InetObject* FtpFindFirst(InetObject* connection, const wchar_t* pattern, FtpEntry* entry, DWORD flags,
                         DWORD_PTR context) {
    if (!Ready()) return nullptr;
    WIN32_FIND_DATAW data{};
    HINTERNET find = Api().ftpFindFirst(H(connection), pattern, &data, flags, context);
    if (find != nullptr) Fill(data, entry);
    return Wrap(find);
}

bool FtpFindNext(InetObject* find, FtpEntry* entry) {
    if (!Ready()) return false;
    WIN32_FIND_DATAW data{};
    if (!Api().findNext(H(find), &data)) return false;
    Fill(data, entry);
    return true;
}

InetObject* HttpOpenRequest(InetObject* connection, const wchar_t* verb, const wchar_t* object,
                            const wchar_t* version, const wchar_t* referer, const wchar_t** acceptTypes,
                            DWORD flags, DWORD_PTR context) {
    if (!Ready()) return nullptr;
    return Wrap(Api().httpOpenRequest(H(connection), verb, object, version, referer, acceptTypes, flags, context));
}

bool HttpAddHeaders(InetObject* request, const wchar_t* headers, DWORD length, DWORD modifiers) {
    return Ready() && Api().httpAddHeaders(H(request), headers, length, modifiers);
}

bool HttpSend(InetObject* request, const wchar_t* headers, DWORD headersLength, const void* body,
              DWORD bodyLength) {
    return Ready() && Api().httpSend(H(request), headers, headersLength, const_cast<void*>(body), bodyLength);
}

bool HttpQuery(InetObject* request, DWORD level, void* buffer, DWORD* bufferLength, DWORD* index) {
    return Ready() && Api().httpQuery(H(request), level, buffer, bufferLength, index);
}

}  // namespace brim::platform
