// Code pages on POSIX. UTF-8 goes through the library's own converter. The
// ANSI code page is chosen the way Windows chooses it, from the language of
// the user's locale (never its charset), and converted with iconv.

#include "framework/codepages/codepage.h"

#include "framework/errors/error_codes.h"
#include "framework/errors/errno_posix.h"
#include "framework/codepages/utf8.h"

#include <iconv.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <string>
#include <string_view>
#include <type_traits>
#include <vector>

namespace brim::platform {
namespace {

// The language part ("ko" of "ko_KR.UTF-8@x"), the territory ("KR") and the
// modifier ("x").
struct Locale {
    std::string language, territory, modifier;
};

Locale ParseLocale(std::string_view name) {
    Locale l;
    const std::size_t at = name.find('@');
    if (at != std::string_view::npos) {
        l.modifier = std::string(name.substr(at + 1));
        name = name.substr(0, at);
    }
    const std::size_t dot = name.find('.');
    if (dot != std::string_view::npos) name = name.substr(0, dot);
    const std::size_t bar = name.find('_');
    l.language = std::string(name.substr(0, bar));
    if (bar != std::string_view::npos) l.territory = std::string(name.substr(bar + 1));
    return l;
}

unsigned CodePageForLocale(const Locale& l) {
    const std::string& lang = l.language;
    auto is = [&](std::initializer_list<const char*> names) {
        for (const char* n : names) {
            if (lang == n) return true;
        }
        return false;
    };
    if (is({"ko"})) return 949;
    if (is({"ja"})) return 932;
    if (lang == "zh") return (l.territory == "TW" || l.territory == "HK" || l.territory == "MO") ? 950 : 936;
    // Serbian and others written in both scripts follow the modifier.
    if (is({"sr", "bs"})) return l.modifier == "latin" || lang == "bs" ? 1250 : 1251;
    if (is({"uz", "az"})) return l.modifier == "cyrillic" ? 1251 : 1254;
    if (is({"ru", "uk", "be", "bg", "mk", "kk", "ky", "tt", "mn", "ba", "tg", "cv", "os", "sah"})) return 1251;
    if (is({"cs", "sk", "pl", "hu", "sl", "hr", "ro", "sq", "hsb", "dsb"})) return 1250;
    if (is({"el"})) return 1253;
    if (is({"tr"})) return 1254;
    if (is({"he", "iw", "yi"})) return 1255;
    if (is({"ar", "fa", "ur", "ps", "ug", "sd"})) return 1256;
    if (is({"lt", "lv", "et", "ltg"})) return 1257;
    if (is({"vi"})) return 1258;
    if (is({"th"})) return 874;
    return 1252;
}

unsigned ComputeAnsiCodePage() {
    for (const char* var : {"LC_ALL", "LC_CTYPE", "LANG"}) {
        const char* value = std::getenv(var);
        if (value != nullptr && *value != 0) return CodePageForLocale(ParseLocale(value));
    }
    return 1252;
}

std::string IconvName(unsigned codePage) {
    switch (codePage) {
    case 932: case 936: case 949: case 950: case 874:
    case 1250: case 1251: case 1252: case 1253: case 1254: case 1255: case 1256: case 1257: case 1258:
        return "CP" + std::to_string(codePage);
    case 20127: return "ASCII";
    case 28591: return "ISO-8859-1";
    case 51949: return "EUC-KR";
    default: return {};
    }
}

// What Windows puts in place of what a code page cannot decode or encode.
wchar_t DefaultWideChar(unsigned codePage) { return codePage == 932 ? L'\x30FB' : L'?'; }

unsigned Resolve(unsigned codePage) { return codePage == kCodePageAnsi ? AnsiCodePage() : codePage; }

// One converter per direction and thread, kept for the code page it was made for.
struct Converter {
    unsigned codePage = 0;
    iconv_t cd = reinterpret_cast<iconv_t>(-1);
    ~Converter() {
        if (cd != reinterpret_cast<iconv_t>(-1)) iconv_close(cd);
    }
    bool Ready(unsigned cp, const char* to, const char* from) {
        if (cd != reinterpret_cast<iconv_t>(-1) && codePage == cp) {
            iconv(cd, nullptr, nullptr, nullptr, nullptr);   // back to the initial state
            return true;
        }
        if (cd != reinterpret_cast<iconv_t>(-1)) iconv_close(cd);
        cd = iconv_open(to, from);
        codePage = cp;
        return cd != reinterpret_cast<iconv_t>(-1);
    }
};

thread_local Converter t_toWide;
thread_local Converter t_fromWide;

bool DecodeBytes(unsigned codePage, const char* src, std::size_t n, std::wstring& out) {
    const std::string name = IconvName(codePage);
    if (name.empty() || !t_toWide.Ready(codePage, "WCHAR_T", name.c_str())) return false;
    out.clear();
    char* in = const_cast<char*>(src);
    std::size_t inLeft = n;
    wchar_t chunk[256];
    while (inLeft > 0) {
        char* outPtr = reinterpret_cast<char*>(chunk);
        std::size_t outLeft = sizeof chunk;
        const std::size_t r = iconv(t_toWide.cd, &in, &inLeft, &outPtr, &outLeft);
        out.append(chunk, static_cast<std::size_t>(reinterpret_cast<wchar_t*>(outPtr) - chunk));
        if (r == static_cast<std::size_t>(-1)) {
            if (errno == E2BIG) continue;
            // An invalid or cut-off sequence: substitute one character, skip one byte.
            out.push_back(DefaultWideChar(codePage));
            ++in;
            --inLeft;
            iconv(t_toWide.cd, nullptr, nullptr, nullptr, nullptr);
        }
    }
    return true;
}

bool EncodeWide(unsigned codePage, const wchar_t* src, std::size_t n, std::string& out) {
    const std::string name = IconvName(codePage);
    if (name.empty() || !t_fromWide.Ready(codePage, name.c_str(), "WCHAR_T")) return false;
    out.clear();
    char* in = reinterpret_cast<char*>(const_cast<wchar_t*>(src));
    std::size_t inLeft = n * sizeof(wchar_t);
    char chunk[1024];
    while (inLeft > 0) {
        char* outPtr = chunk;
        std::size_t outLeft = sizeof chunk;
        const std::size_t r = iconv(t_fromWide.cd, &in, &inLeft, &outPtr, &outLeft);
        out.append(chunk, static_cast<std::size_t>(outPtr - chunk));
        if (r == static_cast<std::size_t>(-1)) {
            if (errno == E2BIG) continue;
            out.push_back('?');   // not representable: the default character
            in += sizeof(wchar_t);
            inLeft -= inLeft >= sizeof(wchar_t) ? sizeof(wchar_t) : inLeft;
            iconv(t_fromWide.cd, nullptr, nullptr, nullptr, nullptr);
        }
    }
    return true;
}

// The terminator is converted too.
std::size_t SourceLength(const char* src, int srcLength) {
    return srcLength >= 0 ? static_cast<std::size_t>(srcLength) : std::strlen(src) + 1;
}
std::size_t SourceLength(const wchar_t* src, int srcLength) {
    return srcLength >= 0 ? static_cast<std::size_t>(srcLength) : std::wcslen(src) + 1;
}

// The Windows contract for a result of need units: a capacity of 0 asks for
// the size; a smaller capacity fails with 122.
bool Fits(std::size_t need, int dstCapacity) {
    return dstCapacity > 0 && need <= static_cast<std::size_t>(dstCapacity);
}

int SizeOrFailure(std::size_t need, int dstCapacity) {
    if (need > static_cast<std::size_t>(INT_MAX)) {
        SetLastError(err::kInvalidParameter);
        return 0;
    }
    if (dstCapacity == 0) return static_cast<int>(need);
    SetLastError(err::kInsufficientBuffer);
    return 0;
}

int TooSmall() {
    SetLastError(err::kInsufficientBuffer);
    return 0;
}

template <typename Unit>
int Deliver(const Unit* result, std::size_t n, Unit* dst, int dstCapacity) {
    if (!Fits(n, dstCapacity)) return SizeOrFailure(n, dstCapacity);
    std::memcpy(dst, result, n * sizeof(Unit));
    return static_cast<int>(n);
}

bool BadArguments(const void* src, int srcLength, const void* dst, int dstCapacity) {
    return src == nullptr || srcLength == 0 || srcLength < -1 || dstCapacity < 0 || (dstCapacity > 0 && dst == nullptr) ||
           src == dst;
}

template <typename Unit>
bool IsAscii(const Unit* s, std::size_t n) {
    for (std::size_t i = 0; i < n; ++i) {
        if (static_cast<std::make_unsigned_t<Unit>>(s[i]) >= 0x80) return false;
    }
    return true;
}

}  // namespace

unsigned AnsiCodePage() {
    static const unsigned codePage = ComputeAnsiCodePage();
    return codePage;
}

int MultiByteToWide(unsigned codePage, const char* src, int srcLength, wchar_t* dst, int dstCapacity) {
    if (BadArguments(src, srcLength, dst, dstCapacity)) {
        SetLastError(err::kInvalidParameter);
        return 0;
    }
    const unsigned cp = Resolve(codePage);
    if (cp == kCodePageUtf8 && srcLength < 0) {
        std::size_t bytes = 0;
        if (dstCapacity == 0) return SizeOrFailure(detail::Utf8ToWideCountTerminated(src, bytes), 0);
        const std::size_t done = detail::Utf8ToWideConvertTerminated(src, dst, static_cast<std::size_t>(dstCapacity));
        return done == detail::kOverflow ? TooSmall() : static_cast<int>(done);
    }
    const std::size_t n = SourceLength(src, srcLength);
    if (cp == kCodePageUtf8) {
        if (dstCapacity == 0) return SizeOrFailure(detail::Utf8ToWideCount(src, n), 0);
        const std::size_t done = detail::Utf8ToWideConvertBounded(src, n, dst, static_cast<std::size_t>(dstCapacity));
        return done == detail::kOverflow ? TooSmall() : static_cast<int>(done);
    }
    if (IsAscii(src, n) && !IconvName(cp).empty()) {
        // Every code page here keeps 0x00-0x7F as ASCII: no converter needed.
        if (!Fits(n, dstCapacity)) return SizeOrFailure(n, dstCapacity);
        for (std::size_t i = 0; i < n; ++i) dst[i] = static_cast<wchar_t>(src[i]);
        return static_cast<int>(n);
    }
    std::wstring result;
    if (!DecodeBytes(cp, src, n, result)) {
        SetLastError(err::kInvalidParameter);
        return 0;
    }
    return Deliver(result.data(), result.size(), dst, dstCapacity);
}

int WideToMultiByte(unsigned codePage, const wchar_t* src, int srcLength, char* dst, int dstCapacity) {
    if (BadArguments(src, srcLength, dst, dstCapacity)) {
        SetLastError(err::kInvalidParameter);
        return 0;
    }
    const std::size_t n = SourceLength(src, srcLength);
    const unsigned cp = Resolve(codePage);
    if (cp == kCodePageUtf8) {
        if (dstCapacity == 0) return SizeOrFailure(detail::WideToUtf8Count(src, n), 0);
        const std::size_t done = detail::WideToUtf8ConvertBounded(src, n, dst, static_cast<std::size_t>(dstCapacity));
        return done == detail::kOverflow ? TooSmall() : static_cast<int>(done);
    }
    if (IsAscii(src, n) && !IconvName(cp).empty()) {
        if (!Fits(n, dstCapacity)) return SizeOrFailure(n, dstCapacity);
        for (std::size_t i = 0; i < n; ++i) dst[i] = static_cast<char>(src[i]);
        return static_cast<int>(n);
    }
    std::string result;
    if (!EncodeWide(cp, src, n, result)) {
        SetLastError(err::kInvalidParameter);
        return 0;
    }
    return Deliver(result.data(), result.size(), dst, dstCapacity);
}

}  // namespace brim::platform
