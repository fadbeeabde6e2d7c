// BrimCommon: the framework's internet classes as the host sees them.
//
// A session makes FTP and HTTP connections and opens URLs; a connection opens
// remote files and requests. Every failure of the internet layer is thrown as
// a CInternetException* carrying the WinINet error code (12001-12175, or a
// system code such as 122 for a buffer that is too small).
//
// A connection, file or finder must be closed or released before the session
// that made it.
#pragma once

#include <brim/config.h>

#if defined(_WIN32)
#  include <wininet.h>
#else
typedef WORD INTERNET_PORT;
typedef ULONG_PTR DWORD_PTR;
typedef DWORD* LPDWORD;

#  define GENERIC_READ 0x80000000u
#  define GENERIC_WRITE 0x40000000u

#  define INTERNET_OPEN_TYPE_PRECONFIG 0u
#  define INTERNET_OPEN_TYPE_DIRECT 1u
#  define INTERNET_INVALID_PORT_NUMBER 0
#  define INTERNET_DEFAULT_FTP_PORT 21
#  define INTERNET_DEFAULT_HTTP_PORT 80

#  define INTERNET_FLAG_RELOAD 0x80000000u
#  define INTERNET_FLAG_RAW_DATA 0x40000000u
#  define INTERNET_FLAG_EXISTING_CONNECT 0x20000000u
#  define INTERNET_FLAG_PASSIVE 0x08000000u
#  define INTERNET_FLAG_NO_CACHE_WRITE 0x04000000u
#  define INTERNET_FLAG_MAKE_PERSISTENT 0x02000000u
#  define INTERNET_FLAG_SECURE 0x00800000u
#  define INTERNET_FLAG_KEEP_CONNECTION 0x00400000u
#  define INTERNET_FLAG_TRANSFER_ASCII 0x00000001u
#  define INTERNET_FLAG_TRANSFER_BINARY 0x00000002u
#  define FTP_TRANSFER_TYPE_ASCII 0x00000001u
#  define FTP_TRANSFER_TYPE_BINARY 0x00000002u

#  define INTERNET_OPTION_CONNECT_TIMEOUT 2u
#  define INTERNET_OPTION_CONNECT_RETRIES 3u
#  define INTERNET_OPTION_CONNECT_BACKOFF 4u
#  define INTERNET_OPTION_SEND_TIMEOUT 5u
#  define INTERNET_OPTION_RECEIVE_TIMEOUT 6u
#  define INTERNET_OPTION_DATA_SEND_TIMEOUT 7u
#  define INTERNET_OPTION_DATA_RECEIVE_TIMEOUT 8u

#  define HTTP_QUERY_CONTENT_LENGTH 5u
#  define HTTP_QUERY_STATUS_CODE 19u
#  define HTTP_QUERY_RAW_HEADERS 21u
#  define HTTP_QUERY_RAW_HEADERS_CRLF 22u
#  define HTTP_QUERY_FLAG_NUMBER 0x20000000u

#  define HTTP_ADDREQ_FLAG_ADD_IF_NEW 0x10000000u
#  define HTTP_ADDREQ_FLAG_ADD 0x20000000u
#  define HTTP_ADDREQ_FLAG_REPLACE 0x80000000u

#  define HTTP_STATUS_OK 200u
#  define HTTP_STATUS_NOT_FOUND 404u

#  define FILE_ATTRIBUTE_DIRECTORY 0x00000010u
#  define FILE_ATTRIBUTE_NORMAL 0x00000080u
#endif

// The framework's name for the preconfigured access type.
#ifndef PRE_CONFIG_INTERNET_ACCESS
#  define PRE_CONFIG_INTERNET_ACCESS INTERNET_OPEN_TYPE_PRECONFIG
#endif

namespace brim::platform {
struct InetObject;   // a handle of the platform's internet layer
}

class CFtpConnection;
class CHttpConnection;
class CInternetFile;

// ---------------------------------------------------------------------------
class BRIM_API CInternetException : public CException {
    DECLARE_DYNAMIC(CInternetException)
public:
    explicit CInternetException(DWORD error);
    ~CInternetException() override;

    // The text of the error code (the internet message table), FALSE when
    // it has none.
    BOOL GetErrorMessage(wchar_t* error, UINT maxError, UINT* helpContext = nullptr) const override;

    DWORD m_dwError;
    DWORD_PTR m_dwContext;
};

// ---------------------------------------------------------------------------
class BRIM_API CInternetSession : public CObject {
    DECLARE_DYNAMIC(CInternetSession)
public:
    // The agent names the requests' user agent (null: the layer's default).
    // The session opens at once; when it cannot, the constructor throws.
    explicit CInternetSession(const wchar_t* agent = nullptr, DWORD_PTR context = 1,
                              DWORD accessType = PRE_CONFIG_INTERNET_ACCESS, const wchar_t* proxyName = nullptr,
                              const wchar_t* proxyBypass = nullptr, DWORD flags = 0);
    ~CInternetSession() override;

    virtual void Close();

    // 32-bit options (INTERNET_OPTION_...): time-outs in milliseconds,
    // connect retries. FALSE for an option the layer does not know.
    BOOL SetOption(DWORD option, DWORD value, DWORD flags = 0);
    BOOL QueryOption(DWORD option, DWORD& value) const;

    // Logs in at once; the caller deletes the connection (after Close).
    CFtpConnection* GetFtpConnection(const wchar_t* server, const wchar_t* userName = nullptr,
                                     const wchar_t* password = nullptr,
                                     INTERNET_PORT port = INTERNET_INVALID_PORT_NUMBER, BOOL passive = FALSE);
    CHttpConnection* GetHttpConnection(const wchar_t* server, DWORD flags,
                                       INTERNET_PORT port = INTERNET_INVALID_PORT_NUMBER,
                                       const wchar_t* userName = nullptr, const wchar_t* password = nullptr);
    // Fetches a URL on its own connection; for an HTTP URL the result is a
    // CHttpFile whose response has arrived.
    CInternetFile* OpenURL(const wchar_t* url, DWORD_PTR context = 1, DWORD flags = INTERNET_FLAG_TRANSFER_ASCII,
                           const wchar_t* headers = nullptr, DWORD headersLength = 0);

    brim::platform::InetObject* m_hSession;
    DWORD_PTR m_dwContext;
};

// ---------------------------------------------------------------------------
class BRIM_API CInternetConnection : public CObject {
    DECLARE_DYNAMIC(CInternetConnection)
public:
    ~CInternetConnection() override;
    virtual void Close();

    CInternetSession* GetSession() const { return m_pSession; }
    CStringW GetServerName() const { return m_strServerName; }

    brim::platform::InetObject* m_hConnection;

protected:
    CInternetConnection(CInternetSession* session, const wchar_t* server, INTERNET_PORT port, DWORD_PTR context);

    CInternetSession* m_pSession;
    CStringW m_strServerName;
    INTERNET_PORT m_nPort;
    DWORD_PTR m_dwContext;
};

class BRIM_API CFtpConnection : public CInternetConnection {
    DECLARE_DYNAMIC(CFtpConnection)
public:
    CFtpConnection(CInternetSession* session, const wchar_t* server, const wchar_t* userName,
                   const wchar_t* password, DWORD_PTR context, INTERNET_PORT port, BOOL passive);
    ~CFtpConnection() override;

    BOOL SetCurrentDirectory(const wchar_t* directory);
    BOOL CreateDirectory(const wchar_t* directory);
    // access GENERIC_READ or GENERIC_WRITE; flags FTP_TRANSFER_TYPE_...
    CInternetFile* OpenFile(const wchar_t* fileName, DWORD access = GENERIC_READ,
                            DWORD flags = FTP_TRANSFER_TYPE_BINARY, DWORD_PTR context = 1);
};

class CHttpFile;

class BRIM_API CHttpConnection : public CInternetConnection {
    DECLARE_DYNAMIC(CHttpConnection)
public:
    enum { HTTP_VERB_MIN = 0, HTTP_VERB_POST = 0, HTTP_VERB_GET = 1, HTTP_VERB_HEAD = 2, HTTP_VERB_PUT = 3,
           HTTP_VERB_LINK = 4, HTTP_VERB_DELETE = 5, HTTP_VERB_UNLINK = 6, HTTP_VERB_MAX = 6 };

    CHttpConnection(CInternetSession* session, const wchar_t* server, INTERNET_PORT port, DWORD flags,
                    const wchar_t* userName, const wchar_t* password, DWORD_PTR context);
    ~CHttpConnection() override;

    CHttpFile* OpenRequest(int verb, const wchar_t* objectName, const wchar_t* referer = nullptr,
                           DWORD_PTR context = 1, const wchar_t** acceptTypes = nullptr,
                           const wchar_t* version = nullptr, DWORD flags = INTERNET_FLAG_EXISTING_CONNECT);
};

// ---------------------------------------------------------------------------
// A remote file, response or request body stream.
class BRIM_API CInternetFile : public CObject {
    DECLARE_DYNAMIC(CInternetFile)
public:
    ~CInternetFile() override;

    // Up to count bytes; 0 at the end. With a read buffer set, the count is
    // filled unless the stream ends first.
    virtual UINT Read(void* buffer, UINT count);
    // Straight to the layer, or into the write buffer when one is set.
    virtual void Write(const void* buffer, UINT count);
    // Hands what the write buffer holds to the layer; returns once it has
    // reached the connection.
    virtual void Flush();
    // Ends the transfer; an FTP file reports the server's final answer.
    virtual void Close();
    virtual void Abort();

    // Sizes of 0 read and write through the layer directly; a buffer can
    // only be made larger while it holds data.
    BOOL SetReadBufferSize(UINT size);
    BOOL SetWriteBufferSize(UINT size);

    brim::platform::InetObject* m_hFile;

protected:
    friend class CFtpConnection;
    friend class CHttpConnection;
    friend class CInternetSession;
    CInternetFile(brim::platform::InetObject* file, const wchar_t* name, DWORD_PTR context);

    CStringW m_strFileName;
    DWORD_PTR m_dwContext;
    UINT m_nReadBufferSize;
    UINT m_nWriteBufferSize;

private:
    BYTE* m_pbReadBuffer;
    UINT m_nReadBufferPos;     // next unread byte
    UINT m_nReadBufferBytes;   // bytes the read buffer holds
    BYTE* m_pbWriteBuffer;
    UINT m_nWriteBufferPos;    // bytes the write buffer holds
};

class BRIM_API CHttpFile : public CInternetFile {
    DECLARE_DYNAMIC(CHttpFile)
public:
    ~CHttpFile() override;

    // One or more header lines; length -1 for a terminated text.
    BOOL AddRequestHeaders(const wchar_t* headers, DWORD modifiers = HTTP_ADDREQ_FLAG_ADD_IF_NEW, int length = -1);
    // Sends the request with an optional body and waits for the response's
    // headers.
    BOOL SendRequest(const wchar_t* headers = nullptr, DWORD headersLength = 0, LPVOID optional = nullptr,
                     DWORD optionalLength = 0);

    // bufferLength is in bytes, in and out; FALSE (last error 122, the size
    // needed in bufferLength) when the buffer is too small.
    BOOL QueryInfo(DWORD infoLevel, LPVOID buffer, LPDWORD bufferLength, LPDWORD index = nullptr) const;
    BOOL QueryInfo(DWORD infoLevel, CStringW& text, LPDWORD index = nullptr) const;
    BOOL QueryInfoStatusCode(DWORD& statusCode) const;

protected:
    friend class CHttpConnection;
    friend class CInternetSession;
    CHttpFile(brim::platform::InetObject* file, const wchar_t* name, DWORD_PTR context);
};

// ---------------------------------------------------------------------------
// The entries of a remote folder listing, one at a time.
class BRIM_API CFtpFileFind : public CObject {
    DECLARE_DYNAMIC(CFtpFileFind)
public:
    explicit CFtpFileFind(CFtpConnection* connection, DWORD_PTR context = 1);
    ~CFtpFileFind() override;

    // Starts a listing of name (null: the working directory). FALSE when
    // nothing matched or the listing failed (last error set).
    BOOL FindFile(const wchar_t* name = nullptr, DWORD flags = INTERNET_FLAG_RELOAD);
    // Makes the next entry current (the first call: the first entry); FALSE
    // when that entry is the last one, or when there was none.
#if defined(_WIN32)
    // <windows.h> maps FindNextFile to FindNextFileW or FindNextFileA.
    BOOL FindNextFileW();
    BOOL FindNextFileA() { return FindNextFileW(); }
#else
    BOOL FindNextFile();
#endif
    void Close();

    // The current entry (0 and empty before the first FindNextFile).
    ULONGLONG GetLength() const;
    CStringW GetFileName() const;
    BOOL IsDirectory() const;

private:
    struct Impl;
    CFtpConnection* m_pConnection;
    DWORD_PTR m_dwContext;
    Impl* m_pImpl;
};
