// POSIX only: one HTTP exchange through libcurl, read as a pull stream.
// Start sends the request and returns once the final response's headers are
// in; Read then hands out the body as the caller asks for it. Failures set
// the WinINet code for the curl error.
#pragma once

#include <brim/config.h>

#include <cstddef>
#include <string>
#include <vector>

namespace brim::detail {

struct CurlApi;

struct HttpSettings {
    std::string agent;        // empty: no User-Agent of the session's own
    bool useProxy = true;     // false: direct, whatever the environment says
    DWORD connectTimeout = 0;
    DWORD sendTimeout = 0;
    DWORD receiveTimeout = 0;
};

class CurlExchange {
public:
    CurlExchange();
    ~CurlExchange();
    CurlExchange(const CurlExchange&) = delete;
    CurlExchange& operator=(const CurlExchange&) = delete;

    // headers: whole lines without line breaks, sent in this order after the
    // Host line.
    bool Start(const std::string& url, const std::string& verb, const std::vector<std::string>& headers,
               const void* body, std::size_t bodyLength, const HttpSettings& settings);
    // Fills buffer up to count bytes unless the body ends first; done 0 at
    // the end.
    bool Read(void* buffer, std::size_t count, std::size_t* done);

    long Status() const { return m_status; }
    // The final response's status line and header lines as received, each
    // without its line break.
    const std::vector<std::string>& HeaderLines() const { return m_headerLines; }

private:
    static std::size_t OnBody(char* data, std::size_t size, std::size_t count, void* self);
    static std::size_t OnHeader(char* data, std::size_t size, std::size_t count, void* self);
    bool Pump();
    bool Failed(int curlCode);

    const CurlApi* m_api = nullptr;   // set by Start
    void* m_easy = nullptr;
    void* m_multi = nullptr;
    void* m_headerList = nullptr;
    std::string m_body;           // received, not yet read
    std::size_t m_bodyOffset = 0;
    std::vector<std::string> m_headerLines;
    long m_status = 0;
    bool m_headersDone = false;
    bool m_finished = false;
    bool m_started = false;       // the request is under way: the URL was accepted
    int m_result = 0;
    DWORD m_receiveTimeout = 0;
    long long m_lastActivityMs = 0;
    unsigned long m_events = 0;   // callbacks so far: tells whether a round made progress
    char m_errorText[256] = {};   // curl's text for its failure (CURL_ERROR_SIZE bytes)
};

}  // namespace brim::detail
