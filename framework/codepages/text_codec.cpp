#include "framework/codepages/text_codec.h"

#include "framework/codepages/codepage.h"
#include "framework/codepages/utf8.h"

#include <climits>

namespace brim::detail {

std::wstring AnsiToWide(const char* text, std::size_t n) {
    if (n == 0 || n > INT_MAX) return {};
    const int len = static_cast<int>(n);
    const int need = platform::MultiByteToWide(platform::kCodePageAnsi, text, len, nullptr, 0);
    if (need <= 0) return {};
    std::wstring out(static_cast<std::size_t>(need), L'\0');
    const int done = platform::MultiByteToWide(platform::kCodePageAnsi, text, len, out.data(), need);
    out.resize(done > 0 ? static_cast<std::size_t>(done) : 0);
    return out;
}

std::string WideToAnsi(const wchar_t* text, std::size_t n) {
    if (n == 0 || n > INT_MAX) return {};
    const int len = static_cast<int>(n);
    const int need = platform::WideToMultiByte(platform::kCodePageAnsi, text, len, nullptr, 0);
    if (need <= 0) return {};
    std::string out(static_cast<std::size_t>(need), '\0');
    const int done = platform::WideToMultiByte(platform::kCodePageAnsi, text, len, out.data(), need);
    out.resize(done > 0 ? static_cast<std::size_t>(done) : 0);
    return out;
}

std::wstring Utf8ToWide(const char* text, std::size_t n) {
    std::wstring out(Utf8ToWideCount(text, n), L'\0');
    Utf8ToWideConvert(text, n, out.data());
    return out;
}

std::string WideToUtf8(const wchar_t* text, std::size_t n) {
    std::string out(WideToUtf8Count(text, n), '\0');
    WideToUtf8Convert(text, n, out.data());
    return out;
}

}  // namespace brim::detail
