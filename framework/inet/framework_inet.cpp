// The framework's internet classes over the platform's internet layer.

#include <brim/framework.h>

#include "framework/errors/messages.h"
#include "framework/inet/inet_platform.h"

#include <algorithm>
#include <string>

namespace bp = brim::platform;

namespace {
[[noreturn]] void ThrowInternetError() { throw new CInternetException(GetLastError()); }

const wchar_t* VerbName(int verb) {
    static const wchar_t* const names[] = {L"POST", L"GET", L"HEAD", L"PUT", L"LINK", L"DELETE", L"UNLINK"};
    if (verb < CHttpConnection::HTTP_VERB_MIN || verb > CHttpConnection::HTTP_VERB_MAX) return L"GET";
    return names[verb];
}
}  // namespace

// ---------------------------------------------------------------------------
CInternetException::CInternetException(DWORD error) : m_dwError(error), m_dwContext(0) {}

CInternetException::~CInternetException() = default;

BOOL CInternetException::GetErrorMessage(wchar_t* error, UINT maxError, UINT* helpContext) const {
    if (helpContext != nullptr) *helpContext = 0;
    if (error == nullptr || maxError == 0) return FALSE;
    error[0] = 0;
    std::wstring text;
    if (!bp::FormatMessageText(bp::MessageSource::Internet, m_dwError, text)) return FALSE;
    const std::size_t n = std::min<std::size_t>(text.size(), maxError - 1);
    text.copy(error, n);
    error[n] = 0;
    return TRUE;
}

// ---------------------------------------------------------------------------
CInternetSession::CInternetSession(const wchar_t* agent, DWORD_PTR context, DWORD accessType,
                                   const wchar_t* proxyName, const wchar_t* proxyBypass, DWORD flags)
    : m_hSession(nullptr), m_dwContext(context) {
    bp::LoadInternetLayer();
    m_hSession = bp::InetOpen(agent, accessType, proxyName, proxyBypass, flags);
    if (m_hSession == nullptr) ThrowInternetError();
}

CInternetSession::~CInternetSession() { Close(); }

void CInternetSession::Close() {
    bp::InetClose(m_hSession);
    m_hSession = nullptr;
}

BOOL CInternetSession::SetOption(DWORD option, DWORD value, DWORD /*flags*/) {
    return bp::InetSetOption(m_hSession, option, value) ? TRUE : FALSE;
}

BOOL CInternetSession::QueryOption(DWORD option, DWORD& value) const {
    return bp::InetQueryOption(m_hSession, option, &value) ? TRUE : FALSE;
}

CFtpConnection* CInternetSession::GetFtpConnection(const wchar_t* server, const wchar_t* userName,
                                                   const wchar_t* password, INTERNET_PORT port, BOOL passive) {
    return new CFtpConnection(this, server, userName, password, m_dwContext, port, passive);
}

CHttpConnection* CInternetSession::GetHttpConnection(const wchar_t* server, DWORD flags, INTERNET_PORT port,
                                                     const wchar_t* userName, const wchar_t* password) {
    return new CHttpConnection(this, server, port, flags, userName, password, m_dwContext);
}

CInternetFile* CInternetSession::OpenURL(const wchar_t* url, DWORD_PTR context, DWORD flags, const wchar_t* headers,
                                         DWORD headersLength) {
    bp::InetObject* file = bp::InetOpenUrl(m_hSession, url, headers, headersLength, flags, context);
    if (file == nullptr) ThrowInternetError();
    // Both layers answer only HTTP URLs with a response that has headers.
    return new CHttpFile(file, url, context);
}

// ---------------------------------------------------------------------------
CInternetConnection::CInternetConnection(CInternetSession* session, const wchar_t* server, INTERNET_PORT port,
                                         DWORD_PTR context)
    : m_hConnection(nullptr), m_pSession(session), m_strServerName(server), m_nPort(port), m_dwContext(context) {}

CInternetConnection::~CInternetConnection() { Close(); }

void CInternetConnection::Close() {
    bp::InetClose(m_hConnection);
    m_hConnection = nullptr;
}

CFtpConnection::CFtpConnection(CInternetSession* session, const wchar_t* server, const wchar_t* userName,
                               const wchar_t* password, DWORD_PTR context, INTERNET_PORT port, BOOL passive)
    : CInternetConnection(session, server, port, context) {
    m_hConnection = bp::InetConnect(session->m_hSession, server, port, userName, password, bp::InetService::Ftp,
                                    passive ? INTERNET_FLAG_PASSIVE : 0, context);
    if (m_hConnection == nullptr) ThrowInternetError();
}

CFtpConnection::~CFtpConnection() = default;

BOOL CFtpConnection::SetCurrentDirectory(const wchar_t* directory) {
    return bp::FtpSetDirectory(m_hConnection, directory) ? TRUE : FALSE;
}

BOOL CFtpConnection::CreateDirectory(const wchar_t* directory) {
    return bp::FtpMakeDirectory(m_hConnection, directory) ? TRUE : FALSE;
}

CInternetFile* CFtpConnection::OpenFile(const wchar_t* fileName, DWORD access, DWORD flags, DWORD_PTR context) {
    bp::InetObject* file = bp::FtpOpen(m_hConnection, fileName, access, flags, context);
    if (file == nullptr) ThrowInternetError();
    return new CInternetFile(file, fileName, context);
}

CHttpConnection::CHttpConnection(CInternetSession* session, const wchar_t* server, INTERNET_PORT port, DWORD flags,
                                 const wchar_t* userName, const wchar_t* password, DWORD_PTR context)
    : CInternetConnection(session, server, port, context) {
    m_hConnection = bp::InetConnect(session->m_hSession, server, port, userName, password, bp::InetService::Http,
                                    flags, context);
    if (m_hConnection == nullptr) ThrowInternetError();
}

CHttpConnection::~CHttpConnection() = default;

CHttpFile* CHttpConnection::OpenRequest(int verb, const wchar_t* objectName, const wchar_t* referer,
                                        DWORD_PTR context, const wchar_t** acceptTypes, const wchar_t* version,
                                        DWORD flags) {
    bp::InetObject* request = bp::HttpOpenRequest(m_hConnection, VerbName(verb), objectName, version, referer,
                                                  acceptTypes, flags, context);
    if (request == nullptr) ThrowInternetError();
    return new CHttpFile(request, objectName, context);
}

// ---------------------------------------------------------------------------
CInternetFile::CInternetFile(bp::InetObject* file, const wchar_t* name, DWORD_PTR context)
    : m_hFile(file), m_strFileName(name), m_dwContext(context), m_nReadBufferSize(0), m_nWriteBufferSize(0) {}

CInternetFile::~CInternetFile() { Abort(); }

UINT CInternetFile::Read(void* buffer, UINT count) {
    DWORD done = 0;
    if (!bp::InetRead(m_hFile, buffer, count, &done)) ThrowInternetError();
    return done;
}

void CInternetFile::Write(const void* buffer, UINT count) {
    DWORD done = 0;
    if (!bp::InetWrite(m_hFile, buffer, count, &done)) ThrowInternetError();
}

// Writes go straight to the layer, so there is nothing held back to flush.
void CInternetFile::Flush() {}

void CInternetFile::Close() {
    bp::InetObject* file = m_hFile;
    m_hFile = nullptr;
    if (file != nullptr && !bp::InetClose(file)) ThrowInternetError();
}

void CInternetFile::Abort() {
    bp::InetClose(m_hFile);
    m_hFile = nullptr;
}

// Each Read already goes to the layer once and returns what it gave, so the
// sizes are kept only to answer a host that asks.
BOOL CInternetFile::SetReadBufferSize(UINT size) {
    m_nReadBufferSize = size;
    return TRUE;
}

BOOL CInternetFile::SetWriteBufferSize(UINT size) {
    m_nWriteBufferSize = size;
    return TRUE;
}

CHttpFile::CHttpFile(bp::InetObject* file, const wchar_t* name, DWORD_PTR context)
    : CInternetFile(file, name, context) {}

CHttpFile::~CHttpFile() = default;

BOOL CHttpFile::AddRequestHeaders(const wchar_t* headers, DWORD modifiers, int length) {
    return bp::HttpAddHeaders(m_hFile, headers, static_cast<DWORD>(length), modifiers) ? TRUE : FALSE;
}

BOOL CHttpFile::SendRequest(const wchar_t* headers, DWORD headersLength, LPVOID optional, DWORD optionalLength) {
    if (!bp::HttpSend(m_hFile, headers, headersLength, optional, optionalLength)) ThrowInternetError();
    return TRUE;
}

BOOL CHttpFile::QueryInfo(DWORD infoLevel, LPVOID buffer, LPDWORD bufferLength, LPDWORD index) const {
    return bp::HttpQuery(m_hFile, infoLevel, buffer, bufferLength, index) ? TRUE : FALSE;
}

BOOL CHttpFile::QueryInfo(DWORD infoLevel, CStringW& text, LPDWORD index) const {
    DWORD length = 0;
    if (!bp::HttpQuery(m_hFile, infoLevel, nullptr, &length, index) && GetLastError() != 122) return FALSE;
    const int units = static_cast<int>(length / sizeof(wchar_t));
    wchar_t* buffer = text.GetBuffer(units + 1);
    length = static_cast<DWORD>((units + 1) * sizeof(wchar_t));
    const bool ok = bp::HttpQuery(m_hFile, infoLevel, buffer, &length, index);
    text.ReleaseBuffer(ok ? static_cast<int>(length / sizeof(wchar_t)) : 0);
    return ok ? TRUE : FALSE;
}

BOOL CHttpFile::QueryInfoStatusCode(DWORD& statusCode) const {
    DWORD length = sizeof(statusCode);
    return bp::HttpQuery(m_hFile, HTTP_QUERY_STATUS_CODE | HTTP_QUERY_FLAG_NUMBER, &statusCode, &length, nullptr)
               ? TRUE
               : FALSE;
}

// ---------------------------------------------------------------------------
struct CFtpFileFind::Impl {
    bp::InetObject* find = nullptr;
    bp::FtpEntry pending;   // the entry that the next FindNextFile makes current
    bool hasPending = false;
    bp::FtpEntry current;
};

CFtpFileFind::CFtpFileFind(CFtpConnection* connection, DWORD_PTR context)
    : m_pConnection(connection), m_dwContext(context), m_pImpl(new Impl) {}

CFtpFileFind::~CFtpFileFind() {
    Close();
    delete m_pImpl;
}

BOOL CFtpFileFind::FindFile(const wchar_t* name, DWORD flags) {
    Close();
    const wchar_t* pattern = (name == nullptr || *name == 0) ? L"*.*" : name;
    m_pImpl->find = bp::FtpFindFirst(m_pConnection->m_hConnection, pattern, &m_pImpl->pending, flags, m_dwContext);
    m_pImpl->hasPending = m_pImpl->find != nullptr;
    return m_pImpl->hasPending ? TRUE : FALSE;
}

BOOL CFtpFileFind::FindNextFile() {
    if (!m_pImpl->hasPending) return FALSE;
    m_pImpl->current = m_pImpl->pending;
    m_pImpl->hasPending = bp::FtpFindNext(m_pImpl->find, &m_pImpl->pending);
    return m_pImpl->hasPending ? TRUE : FALSE;
}

void CFtpFileFind::Close() {
    bp::InetClose(m_pImpl->find);
    m_pImpl->find = nullptr;
    m_pImpl->hasPending = false;
    m_pImpl->current = bp::FtpEntry();
}

ULONGLONG CFtpFileFind::GetLength() const { return m_pImpl->current.size; }

CStringW CFtpFileFind::GetFileName() const { return CStringW(m_pImpl->current.name.c_str()); }

BOOL CFtpFileFind::IsDirectory() const { return m_pImpl->current.directory ? TRUE : FALSE; }
