// The internet layer's platform interface: WinINet's calls, one per
// operation the framework classes need. Windows forwards to WinINet; POSIX
// runs its own FTP client and libcurl behind the same handles. Failures
// return false or null with the thread's last error set to the code WinINet
// gives in the same case.
#pragma once

#include <brim/framework.h>

#include <string>

namespace brim::platform {

enum class InetService { Ftp, Http };

struct FtpEntry {
    std::wstring name;
    ULONGLONG size = 0;
    bool directory = false;
};

InetObject* InetOpen(const wchar_t* agent, DWORD accessType, const wchar_t* proxy, const wchar_t* bypass, DWORD flags);
bool InetSetOption(InetObject* session, DWORD option, DWORD value);
bool InetQueryOption(InetObject* session, DWORD option, DWORD* value);
InetObject* InetConnect(InetObject* session, const wchar_t* server, INTERNET_PORT port, const wchar_t* user,
                        const wchar_t* password, InetService service, DWORD flags, DWORD_PTR context);
// Closing a handle that is null does nothing.
bool InetClose(InetObject* handle);

bool InetRead(InetObject* file, void* buffer, DWORD count, DWORD* done);
bool InetWrite(InetObject* file, const void* buffer, DWORD count, DWORD* done);
InetObject* InetOpenUrl(InetObject* session, const wchar_t* url, const wchar_t* headers, DWORD headersLength,
                        DWORD flags, DWORD_PTR context);

bool FtpSetDirectory(InetObject* connection, const wchar_t* directory);
bool FtpMakeDirectory(InetObject* connection, const wchar_t* directory);
InetObject* FtpOpen(InetObject* connection, const wchar_t* name, DWORD access, DWORD flags, DWORD_PTR context);
// The first entry of a listing; null with last error 18 (no more files) or
// the failure's code when nothing is there.
InetObject* FtpFindFirst(InetObject* connection, const wchar_t* pattern, FtpEntry* entry, DWORD flags,
                         DWORD_PTR context);
bool FtpFindNext(InetObject* find, FtpEntry* entry);

InetObject* HttpOpenRequest(InetObject* connection, const wchar_t* verb, const wchar_t* object,
                            const wchar_t* version, const wchar_t* referer, const wchar_t** acceptTypes,
                            DWORD flags, DWORD_PTR context);
bool HttpAddHeaders(InetObject* request, const wchar_t* headers, DWORD length, DWORD modifiers);
bool HttpSend(InetObject* request, const wchar_t* headers, DWORD headersLength, const void* body,
              DWORD bodyLength);
// WinINet's HttpQueryInfoW: bufferLength in bytes.
bool HttpQuery(InetObject* request, DWORD level, void* buffer, DWORD* bufferLength, DWORD* index);

}  // namespace brim::platform
