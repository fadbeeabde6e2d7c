// The framework's URL parser. It only splits: nothing is decoded or
// normalised, so what the caller gets is the text of the URL itself.

#include <brim/framework.h>

#include <cwctype>
#include <string>

namespace {

struct Scheme {
    const wchar_t* name;
    DWORD service;
    WORD port;
    bool hierarchical;   // "scheme://authority/object" rather than "scheme:object"
};

const Scheme kSchemes[] = {
    {L"http", AFX_INET_SERVICE_HTTP, 80, true},        {L"https", AFX_INET_SERVICE_HTTPS, 443, true},
    {L"ftp", AFX_INET_SERVICE_FTP, 21, true},          {L"gopher", AFX_INET_SERVICE_GOPHER, 70, true},
    {L"file", AFX_INET_SERVICE_FILE, 0, true},         {L"telnet", AFX_INET_SERVICE_TELNET, 23, true},
    {L"nntp", AFX_INET_SERVICE_NNTP, 119, true},       {L"wais", AFX_INET_SERVICE_WAIS, 210, true},
    {L"prospero", AFX_INET_SERVICE_PROSPERO, 1525, true}, {L"afs", AFX_INET_SERVICE_AFS, 0, true},
    {L"news", AFX_INET_SERVICE_NEWS, 0, false},        {L"mailto", AFX_INET_SERVICE_MAILTO, 0, false},
    {L"mid", AFX_INET_SERVICE_MID, 0, false},          {L"cid", AFX_INET_SERVICE_CID, 0, false},
};

bool IsBlank(wchar_t c) { return c == L' ' || c == L'\t' || c == L'\r' || c == L'\n'; }

bool IsAsciiLetter(wchar_t c) { return (c >= L'a' && c <= L'z') || (c >= L'A' && c <= L'Z'); }

wchar_t AsciiLower(wchar_t c) { return c >= L'A' && c <= L'Z' ? static_cast<wchar_t>(c - L'A' + L'a') : c; }

const Scheme* FindScheme(const std::wstring& name) {
    for (const Scheme& s : kSchemes) {
        std::size_t k = 0;
        while (k < name.size() && s.name[k] != 0 && AsciiLower(name[k]) == s.name[k]) ++k;
        if (k == name.size() && s.name[k] == 0) return &s;
    }
    return nullptr;
}

// Decimal 0..65535, at least one digit and nothing else.
bool ParsePort(const std::wstring& text, WORD* port) {
    if (text.empty() || text.size() > 5) return false;
    unsigned value = 0;
    for (wchar_t c : text) {
        if (c < L'0' || c > L'9') return false;
        value = value * 10 + static_cast<unsigned>(c - L'0');
    }
    if (value > 0xFFFF) return false;
    *port = static_cast<WORD>(value);
    return true;
}

struct Parts {
    DWORD service = AFX_INET_SERVICE_UNK;
    std::wstring server, object, user, password;
    WORD port = 0;
};

bool Parse(const wchar_t* url, Parts& out) {
    if (url == nullptr) return false;
    std::wstring text(url);
    const std::size_t first = text.find_first_not_of(L" \t\r\n");
    if (first == std::wstring::npos) return false;
    std::size_t last = text.size();
    while (last > first && IsBlank(text[last - 1])) --last;
    text = text.substr(first, last - first);

    const std::size_t colon = text.find(L':');
    if (colon == std::wstring::npos || colon == 0 || !IsAsciiLetter(text[0])) return false;
    const Scheme* scheme = FindScheme(text.substr(0, colon));
    if (scheme == nullptr) return false;
    std::wstring rest = text.substr(colon + 1);
    out.service = scheme->service;

    if (!scheme->hierarchical) {
        out.object = rest;
        return true;
    }
    if (rest.compare(0, 2, L"//") != 0) return false;
    const std::size_t pathStart = rest.find_first_of(L"/?#", 2);
    std::wstring authority = rest.substr(2, pathStart == std::wstring::npos ? std::wstring::npos : pathStart - 2);
    std::wstring object = pathStart == std::wstring::npos ? std::wstring() : rest.substr(pathStart);

    const std::size_t at = authority.rfind(L'@');
    if (at != std::wstring::npos) {
        const std::wstring userInfo = authority.substr(0, at);
        const std::size_t split = userInfo.find(L':');
        out.user = userInfo.substr(0, split);
        if (split != std::wstring::npos) out.password = userInfo.substr(split + 1);
        authority = authority.substr(at + 1);
    }

    std::wstring portText;
    bool hasPort = false;
    if (!authority.empty() && authority[0] == L'[') {
        const std::size_t close = authority.find(L']');
        if (close == std::wstring::npos) return false;
        const std::wstring after = authority.substr(close + 1);
        if (!after.empty() && after[0] != L':') return false;
        hasPort = !after.empty();
        if (hasPort) portText = after.substr(1);
        out.server = authority.substr(0, close + 1);
    } else {
        const std::size_t portColon = authority.find(L':');
        out.server = authority.substr(0, portColon);
        hasPort = portColon != std::wstring::npos;
        if (hasPort) portText = authority.substr(portColon + 1);
    }
    if (out.server.empty() && scheme->service != AFX_INET_SERVICE_FILE) return false;
    out.port = scheme->port;
    // "host:" with nothing after the colon keeps the usual port.
    if (hasPort && !portText.empty() && !ParsePort(portText, &out.port)) return false;

    if (object.empty() || object[0] != L'/') object.insert(0, 1, L'/');
    out.object = object;
    return true;
}

}  // namespace

BOOL AfxParseURLEx(const wchar_t* url, DWORD& serviceType, CStringW& server, CStringW& object, WORD& port,
                   CStringW& userName, CStringW& password, DWORD /*flags*/) {
    Parts parts;
    const bool ok = Parse(url, parts);
    if (!ok) parts = Parts();
    serviceType = parts.service;
    server = parts.server.c_str();
    object = parts.object.c_str();
    port = parts.port;
    userName = parts.user.c_str();
    password = parts.password.c_str();
    return ok ? TRUE : FALSE;
}

BOOL AfxParseURL(const wchar_t* url, DWORD& serviceType, CStringW& server, CStringW& object, WORD& port) {
    CStringW user, password;
    return AfxParseURLEx(url, serviceType, server, object, port, user, password);
}
