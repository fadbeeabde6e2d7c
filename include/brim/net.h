// BrimCommon network transfer: FTP upload and download, HTTP download and
// form posting, block by block, with progress and throttle hooks.
//
// Both classes are abstract: a host derives from them and implements the
// progress hooks; it may replace vWaitForSpeedBalance, which is called
// before every block is read (n blocks: n + 1 calls) and by default pauses
// for 1 ms. Internet failures are thrown as CBrimException* carrying the
// WinINet error code; local file failures as CFileException*.
#pragma once

#include <brim/foundation.h>

class BRIM_API CBrimFTP {
public:
    CBrimFTP();
    virtual ~CBrimFTP();
    CBrimFTP(const CBrimFTP&) = delete;
    CBrimFTP& operator=(const CBrimFTP&) = delete;

    // Called after each block: bytes of the block (1..4096), its index from
    // 0, the expected size of the file, and the two paths of the call as
    // given. The transfer goes on from the counters as the hook leaves them.
    virtual void vDownloadProgress(DWORD& bytes, int& index, ULONGLONG& total, const wchar_t* source,
                                   const wchar_t* destination) = 0;
    virtual void vUploadProgress(DWORD& bytes, int& index, ULONGLONG& total, const wchar_t* source,
                                 const wchar_t* destination) = 0;
    virtual void vWaitForSpeedBalance();

    // Logs in; passive non-zero for passive mode. Only the low 16 bits of
    // port are used.
    void Connection(const wchar_t* server, const wchar_t* user, const wchar_t* password, const int& port,
                    int passive);
    void Close();
    // mode 1 (text) or 2 (binary) selects how the local file is opened; the
    // bytes are copied unchanged either way.
    void Upload(const wchar_t* localPath, const wchar_t* remotePath, const int& mode);
    void Download(const wchar_t* remotePath, const wchar_t* localPath, const int& mode);

    CInternetSession* m_pSession;
    CFtpConnection* m_pConnection;
};

class BRIM_API CBrimHTTP {
public:
    CBrimHTTP();
    virtual ~CBrimHTTP();
    CBrimHTTP(const CBrimHTTP&) = delete;
    CBrimHTTP& operator=(const CBrimHTTP&) = delete;

    // After each block of Download: bytes, index, the announced size (or,
    // when none fits 7 digits, index * 4096 + bytes), URL and local path.
    virtual void vDownloadProgress(DWORD& bytes, int& index, ULONGLONG& total, const wchar_t* source,
                                   const wchar_t* destination) = 0;
    virtual void vWaitForSpeedBalance();

    void ConnectHttp(const wchar_t* server, const int& port);
    // Ends the session too: the object cannot connect again.
    void CloseHttp();
    // Saves the body of a GET of url, whatever its status; mode is OR-ed
    // into the open flags.
    void Download(const wchar_t* url, const wchar_t* localPath, const int& mode);
    // POSTs the URL-encoded form (sent in the ANSI code page with a closing
    // zero byte) to objectPath on the connected server, shows the response
    // headers in a message box, and returns the body for status 200, else "".
    CStringW SendRequestHttp(const wchar_t* objectPath, const wchar_t* formText);

    CInternetSession* m_pSession;
    CHttpConnection* m_pConnection;
    CStringW m_strAgent;
};
