// Splits arbitrary URLs. Checks that the caller's 260-character buffers are
// never overrun and always terminated, that a rejected URL leaves every part
// empty, and that an accepted one is made of pieces of the URL itself.
#include <brim/brim.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cwchar>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    // Printable prefixes make the parser's interesting paths likely.
    static const wchar_t* const kPrefixes[] = {L"", L"http://", L"https://", L"ftp://u:p@", L"http://[", L"mailto:"};
    if (size == 0) return 0;
    std::wstring url = kPrefixes[data[0] % 6];
    for (std::size_t k = 1; k < size; ++k) url.push_back(static_cast<wchar_t>(data[k] < 0x80 ? data[k] : 0xAC00 + data[k]));

    constexpr int kGuard = 4;
    wchar_t server[260 + kGuard], object[260 + kGuard];
    std::wmemset(server, L'#', 260 + kGuard);
    std::wmemset(object, L'#', 260 + kGuard);
    unsigned long service = 0;
    unsigned short port = 0;
    CBrimUtil::GetUrlInfo(url.c_str(), service, server, object, port);
    for (int k = 0; k < kGuard; ++k) {
        if (server[260 + k] != L'#' || object[260 + k] != L'#') std::abort();
    }
    if (std::wmemchr(server, 0, 260) == nullptr || std::wmemchr(object, 0, 260) == nullptr) std::abort();

    DWORD code = 0;
    CStringW host, path, user, password;
    WORD number = 0;
    if (AfxParseURLEx(url.c_str(), code, host, path, number, user, password)) {
        if (url.find(host.GetString()) == std::wstring::npos) std::abort();
        if (url.find(user.GetString()) == std::wstring::npos) std::abort();
        if (code == AFX_INET_SERVICE_UNK) std::abort();
    } else if (code != AFX_INET_SERVICE_UNK || !host.IsEmpty() || !path.IsEmpty() || number != 0 || !user.IsEmpty()) {
        std::abort();
    }
    return 0;
}
