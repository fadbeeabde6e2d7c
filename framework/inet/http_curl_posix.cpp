#include "framework/inet/http_curl_posix.h"

#include "framework/inet/curl_api_posix.h"
#include "framework/inet/curl_errors_posix.h"

#include <algorithm>
#include <chrono>
#include <cstring>

namespace brim::detail {
namespace {
constexpr long kReceiveBuffer = 512L * 1024;

long long NowMs() {
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

bool StartsWithNoCase(const std::string& text, const char* prefix) {
    const std::size_t n = std::strlen(prefix);
    return text.size() >= n && ::strncasecmp(text.c_str(), prefix, n) == 0;
}

bool HasHeader(const std::vector<std::string>& headers, const char* name) {
    return std::any_of(headers.begin(), headers.end(), [&](const std::string& h) { return StartsWithNoCase(h, name); });
}
}  // namespace

CurlExchange::CurlExchange() = default;

CurlExchange::~CurlExchange() {
    if (m_api == nullptr) return;   // never started: nothing of curl's is held
    if (m_multi != nullptr && m_easy != nullptr) m_api->multi_remove_handle(static_cast<CURLM*>(m_multi), m_easy);
    if (m_easy != nullptr) m_api->easy_cleanup(static_cast<CURL*>(m_easy));
    if (m_multi != nullptr) m_api->multi_cleanup(static_cast<CURLM*>(m_multi));
    m_api->slist_free_all(static_cast<curl_slist*>(m_headerList));
}

// Some curl results name a different cause depending on where they came.
bool CurlExchange::Failed(int curlCode) {
    DWORD code = CurlErrorToInternet(curlCode);
    if (curlCode == CURLE_UNSUPPORTED_PROTOCOL && m_started && m_status == 0) {
        // The URL's scheme was accepted, so the server answered with
        // something that is not HTTP.
        code = err::kHttpInvalidServerResponse;
    } else if (curlCode == CURLE_OUT_OF_MEMORY && m_started && !m_headersDone) {
        // curl refuses a header larger than it is willing to hold.
        code = err::kHttpInvalidServerResponse;
    } else if (curlCode == CURLE_UNSUPPORTED_PROTOCOL && m_started && m_status >= 300 && m_status < 400) {
        // A redirect into another protocol, which is not followed.
        code = err::kHttpRedirectFailed;
    } else if (curlCode == CURLE_RECV_ERROR &&
               (std::strstr(m_errorText, "chunked-encoding") != nullptr || std::strstr(m_errorText, "response headers") != nullptr)) {
        // curl reports a malformed chunk, and headers past its limit, as a
        // failure to receive; its text says which. The connection is fine.
        code = err::kHttpInvalidServerResponse;
    }
    SetLastError(code);
    return false;
}

std::size_t CurlExchange::OnBody(char* data, std::size_t size, std::size_t count, void* self) {
    auto* me = static_cast<CurlExchange*>(self);
    if (me->m_bodyOffset == me->m_body.size()) {
        me->m_body.clear();
        me->m_bodyOffset = 0;
    }
    me->m_body.append(data, size * count);
    me->m_lastActivityMs = NowMs();
    ++me->m_events;
    return size * count;
}

std::size_t CurlExchange::OnHeader(char* data, std::size_t size, std::size_t count, void* self) {
    auto* me = static_cast<CurlExchange*>(self);
    std::string line(data, size * count);
    while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.pop_back();
    me->m_lastActivityMs = NowMs();
    ++me->m_events;
    if (StartsWithNoCase(line, "HTTP/")) {
        // A new response (after an interim one or a redirect) replaces the last.
        me->m_headerLines.clear();
        const std::size_t space = line.find(' ');
        me->m_status = space == std::string::npos ? 0 : std::strtol(line.c_str() + space + 1, nullptr, 10);
        me->m_headerLines.push_back(line);
        return size * count;
    }
    if (!line.empty()) {
        me->m_headerLines.push_back(line);
        return size * count;
    }
    const bool interim = me->m_status >= 100 && me->m_status < 200;
    const bool redirect = me->m_status >= 300 && me->m_status < 400 && HasHeader(me->m_headerLines, "Location:");
    if (!interim && !redirect) me->m_headersDone = true;
    return size * count;
}

bool CurlExchange::Start(const std::string& url, const std::string& verb, const std::vector<std::string>& headers,
                         const void* body, std::size_t bodyLength, const HttpSettings& settings) {
    m_api = Curl();
    if (m_api == nullptr) {
        // No HTTP layer on this machine: the internet layer's own failure.
        SetLastError(err::kInternetInternalError);
        return false;
    }
    const CurlApi& curl = *m_api;
    CURL* easy = curl.easy_init();
    CURLM* multi = curl.multi_init();
    m_easy = easy;
    m_multi = multi;
    if (easy == nullptr || multi == nullptr) return Failed(CURLE_OUT_OF_MEMORY);

    curl_slist* list = nullptr;
    for (const std::string& h : headers) list = curl.slist_append(list, h.c_str());
    // curl adds a few lines of its own that WinINet does not send; an empty
    // value removes them.
    if (!HasHeader(headers, "Accept:")) list = curl.slist_append(list, "Accept:");
    if (!HasHeader(headers, "Content-Type:")) list = curl.slist_append(list, "Content-Type:");
    list = curl.slist_append(list, "Expect:");
    m_headerList = list;

    curl.easy_setopt(easy, CURLOPT_URL, url.c_str());
    curl.easy_setopt(easy, CURLOPT_NOSIGNAL, 1L);
    curl.easy_setopt(easy, CURLOPT_HTTP_VERSION, static_cast<long>(CURL_HTTP_VERSION_1_1));
    curl.easy_setopt(easy, CURLOPT_FOLLOWLOCATION, 1L);
    curl.easy_setopt(easy, CURLOPT_MAXREDIRS, 20L);
    // A redirect stays on HTTP, as WinINet's HTTP requests do (12156): a
    // server must not send the library on to an FTP or other server of its
    // choosing. A curl without the option follows no redirect at all.
    if (curl.easy_setopt(easy, CURLOPT_REDIR_PROTOCOLS_STR, "http,https") != CURLE_OK) {
        curl.easy_setopt(easy, CURLOPT_FOLLOWLOCATION, 0L);
    }
    static_assert(sizeof m_errorText >= CURL_ERROR_SIZE);
    curl.easy_setopt(easy, CURLOPT_ERRORBUFFER, m_errorText);
    curl.easy_setopt(easy, CURLOPT_HTTPHEADER, list);
    curl.easy_setopt(easy, CURLOPT_CONNECTTIMEOUT_MS, static_cast<long>(settings.connectTimeout));
    if (!settings.useProxy) curl.easy_setopt(easy, CURLOPT_PROXY, "");
    if (!settings.agent.empty() && !HasHeader(headers, "User-Agent:")) {
        curl.easy_setopt(easy, CURLOPT_USERAGENT, settings.agent.c_str());
    }
    curl.easy_setopt(easy, CURLOPT_WRITEFUNCTION, &CurlExchange::OnBody);
    curl.easy_setopt(easy, CURLOPT_WRITEDATA, this);
    curl.easy_setopt(easy, CURLOPT_HEADERFUNCTION, &CurlExchange::OnHeader);
    curl.easy_setopt(easy, CURLOPT_HEADERDATA, this);
    if (verb == "GET") {
        curl.easy_setopt(easy, CURLOPT_HTTPGET, 1L);
    } else if (verb == "HEAD") {
        curl.easy_setopt(easy, CURLOPT_NOBODY, 1L);
    } else {
        if (verb != "POST") curl.easy_setopt(easy, CURLOPT_CUSTOMREQUEST, verb.c_str());
        curl.easy_setopt(easy, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(bodyLength));
        curl.easy_setopt(easy, CURLOPT_COPYPOSTFIELDS, bodyLength > 0 ? static_cast<const char*>(body) : "");
    }
    m_receiveTimeout = std::max(settings.receiveTimeout, settings.sendTimeout);
    // Large receives: a body arrives in a few big pieces instead of many
    // small ones, each with its own readiness check.
    curl.easy_setopt(easy, CURLOPT_BUFFERSIZE, kReceiveBuffer);
    if (curl.multi_add_handle(multi, easy) != CURLM_OK) return Failed(CURLE_OUT_OF_MEMORY);
    m_started = true;
    m_lastActivityMs = NowMs();
    while (!m_headersDone && !m_finished) {
        if (!Pump()) return false;
    }
    if (!m_headersDone) return Failed(m_result != CURLE_OK ? m_result : CURLE_GOT_NOTHING);
    return true;
}

// One round of the transfer: lets curl work, then waits for the sockets when
// it had nothing to do. false (12002) when the server has been silent for
// longer than the receive time-out.
bool CurlExchange::Pump() {
    const CurlApi& curl = *m_api;
    auto* multi = static_cast<CURLM*>(m_multi);
    const unsigned long eventsBefore = m_events;
    int running = 0;
    if (curl.multi_perform(multi, &running) != CURLM_OK) return Failed(CURLE_OUT_OF_MEMORY);
    int queued = 0;
    while (CURLMsg* message = curl.multi_info_read(multi, &queued)) {
        if (message->msg == CURLMSG_DONE) {
            m_finished = true;
            m_result = message->data.result;
        }
    }
    if (m_finished || running == 0) {
        m_finished = true;
        return true;
    }
    if (m_events != eventsBefore) return true;
    const long long idle = NowMs() - m_lastActivityMs;
    if (m_receiveTimeout != 0 && idle >= static_cast<long long>(m_receiveTimeout)) {
        SetLastError(err::kInternetTimeout);
        return false;
    }
    const long long left = m_receiveTimeout == 0 ? 1000 : static_cast<long long>(m_receiveTimeout) - idle;
    curl.multi_poll(multi, nullptr, 0, static_cast<int>(std::min<long long>(left, 1000)), nullptr);
    return true;
}

bool CurlExchange::Read(void* buffer, std::size_t count, std::size_t* done) {
    *done = 0;
    char* out = static_cast<char*>(buffer);
    while (*done < count) {
        if (m_bodyOffset < m_body.size()) {
            const std::size_t n = std::min(count - *done, m_body.size() - m_bodyOffset);
            std::memcpy(out + *done, m_body.data() + m_bodyOffset, n);
            m_bodyOffset += n;
            *done += n;
            continue;
        }
        if (m_finished) {
            // What arrived before a failure is handed out first.
            if (*done == 0 && m_result != CURLE_OK) return Failed(m_result);
            break;
        }
        if (!Pump()) return false;
    }
    return true;
}

}  // namespace brim::detail
