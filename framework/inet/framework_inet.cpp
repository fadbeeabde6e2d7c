// The framework's internet classes over the platform's internet layer.

#include <brim/framework.h>

#include "framework/errors/messages.h"
#include "framework/inet/inet_platform.h"

#include <algorithm>
#include <cstring>
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
    // An FTP URL gives a plain file; every other URL the layers open is
    // HTTP's, with a response that has headers.
    DWORD service = 0;
    CStringW server, object;
    WORD port = 0;
    if (AfxParseURL(url, service, server, object, port) && service == AFX_INET_SERVICE_FTP) {
        return new CInternetFile(file, url, context);
    }
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
    : m_hFile(file), m_strFileName(name), m_dwContext(context), m_nReadBufferSize(0), m_nWriteBufferSize(0),
      m_pbReadBuffer(nullptr), m_nReadBufferPos(0), m_nReadBufferBytes(0), m_pbWriteBuffer(nullptr),
      m_nWriteBufferPos(0) {}

CInternetFile::~CInternetFile() {
    Abort();
    delete[] m_pbReadBuffer;
    delete[] m_pbWriteBuffer;
}

namespace {
DWORD LayerRead(bp::InetObject* file, void* buffer, UINT count) {
    DWORD done = 0;
    if (!bp::InetRead(file, buffer, count, &done)) ThrowInternetError();
    return done;
}

void LayerWrite(bp::InetObject* file, const void* buffer, UINT count) {
    DWORD done = 0;
    if (!bp::InetWrite(file, buffer, count, &done)) ThrowInternetError();
}
}  // namespace

UINT CInternetFile::Read(void* buffer, UINT count) {
    if (m_nReadBufferSize == 0) return LayerRead(m_hFile, buffer, count);
    // Through the buffer: the layer may hand out less than was asked for
    // (what one receive gave), so the count is filled from as many reads as
    // it takes.
    BYTE* out = static_cast<BYTE*>(buffer);
    UINT done = 0;
    while (done < count) {
        if (m_nReadBufferPos == m_nReadBufferBytes) {
            m_nReadBufferPos = 0;
            m_nReadBufferBytes = 0;
            const DWORD n = LayerRead(m_hFile, m_pbReadBuffer, m_nReadBufferSize);
            if (n == 0) break;
            m_nReadBufferBytes = n;
        }
        const UINT n = std::min(count - done, m_nReadBufferBytes - m_nReadBufferPos);
        std::memcpy(out + done, m_pbReadBuffer + m_nReadBufferPos, n);
        m_nReadBufferPos += n;
        done += n;
    }
    return done;
}

void CInternetFile::Write(const void* buffer, UINT count) {
    if (m_nWriteBufferSize == 0) {
        LayerWrite(m_hFile, buffer, count);
        return;
    }
    const BYTE* in = static_cast<const BYTE*>(buffer);
    while (count > 0) {
        if (m_nWriteBufferPos == m_nWriteBufferSize) Flush();
        const UINT n = std::min(count, m_nWriteBufferSize - m_nWriteBufferPos);
        std::memcpy(m_pbWriteBuffer + m_nWriteBufferPos, in, n);
        m_nWriteBufferPos += n;
        in += n;
        count -= n;
    }
}

void CInternetFile::Flush() {
    if (m_nWriteBufferPos == 0) return;
    const UINT n = m_nWriteBufferPos;
    m_nWriteBufferPos = 0;
    LayerWrite(m_hFile, m_pbWriteBuffer, n);
}

void CInternetFile::Close() {
    bp::InetObject* file = m_hFile;
    if (file != nullptr && m_nWriteBufferPos != 0) {
        try {
            Flush();
        } catch (CInternetException*) {
            Abort();
            throw;
        }
    }
    m_hFile = nullptr;
    if (file != nullptr && !bp::InetClose(file)) ThrowInternetError();
}

void CInternetFile::Abort() {
    bp::InetClose(m_hFile);
    m_hFile = nullptr;
    m_nReadBufferPos = m_nReadBufferBytes = 0;
    m_nWriteBufferPos = 0;
}

namespace {
// A buffer of size bytes that keeps the held bytes at its start; false when
// it would lose some of them.
bool Resize(BYTE*& buffer, UINT& size, UINT wanted, UINT keepFrom, UINT keepTo) {
    if (wanted < keepTo - keepFrom) return false;
    BYTE* fresh = wanted == 0 ? nullptr : new BYTE[wanted];
    if (keepTo > keepFrom) std::memcpy(fresh, buffer + keepFrom, keepTo - keepFrom);
    delete[] buffer;
    buffer = fresh;
    size = wanted;
    return true;
}
}  // namespace

BOOL CInternetFile::SetReadBufferSize(UINT size) {
    if (!Resize(m_pbReadBuffer, m_nReadBufferSize, size, m_nReadBufferPos, m_nReadBufferBytes)) return FALSE;
    m_nReadBufferBytes -= m_nReadBufferPos;
    m_nReadBufferPos = 0;
    return TRUE;
}

BOOL CInternetFile::SetWriteBufferSize(UINT size) {
    return Resize(m_pbWriteBuffer, m_nWriteBufferSize, size, 0, m_nWriteBufferPos) ? TRUE : FALSE;
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
