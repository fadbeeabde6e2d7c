// BrimCommon: CBrimUtil, static helpers for hosts.
#pragma once

#include <brim/framework.h>

class BRIM_API CBrimUtil {
public:
    // The system's text for a Windows error code, exactly as its message
    // table holds it (trailing CR LF included); "" for 0; and
    // "ERRORNUMBER ( <code as signed 32-bit> )\n" when no table has it.
    static CStringW MessageError(const unsigned long& errorCode);

    // Splits path into drive (3 characters with the terminator: a letter and
    // a colon; always empty on POSIX, which has no drive letters), directory
    // (with its separators), base name and extension (from the last dot,
    // the dot included), each buffer of 256 characters; returns the path
    // rebuilt from them. A part too long for its buffer leaves all four
    // buffers empty and gives an empty result; a rebuilt path of 260 or more
    // characters gives an empty result.
    static CStringW GetPathInfo(const wchar_t* path, wchar_t* drive, wchar_t* dir, wchar_t* fname, wchar_t* ext);

    // Splits url with AfxParseURL into its service code, server and object
    // (buffers of 260 characters each; longer text is cut to 259) and port;
    // returns "http://" + server + object. A URL the parser rejects gives
    // AFX_INET_SERVICE_UNK, empty buffers and port 0.
    static CStringW GetUrlInfo(const wchar_t* url, unsigned long& serviceType, wchar_t* server, wchar_t* object,
                               unsigned short& port);

    // Writes the executable's resource name of type "DATA" to filePath
    // (created or truncated). Always 0: a missing resource writes nothing; a
    // file that cannot be written throws CFileException*.
    static int SaveResource(const wchar_t* name, const wchar_t* filePath);

    // String-table entry id (the resource module's, the executable's, then
    // the extension libraries') formatted with the arguments that follow;
    // empty when there is no such entry.
    static CStringW LoadStringW(unsigned int& id, ...);
};
