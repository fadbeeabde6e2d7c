// Code pages on POSIX. UTF-8 goes through the library's own converter. The
// ANSI code page is chosen the way Windows chooses it, from the language of
// the user's locale (never its charset), and converted as iconv converts it
// (mbcs_posix.cpp).

#include "framework/codepages/codepage.h"

#include "framework/errors/error_codes.h"
#include "framework/errors/errno_posix.h"
#include "framework/codepages/mbcs_posix.h"
#include "framework/codepages/utf8.h"

#include <climits>
#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <string>
#include <string_view>
#include <type_traits>

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

unsigned Resolve(unsigned codePage) { return codePage == kCodePageAnsi ? AnsiCodePage() : codePage; }

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

// The result of a conversion (or of a count when the capacity is 0) as the
// Windows call returns it. A result that did not fit is counted in full, so
// that a size past INT_MAX fails as a bad argument, as its count would.
template <typename Count>
int Delivered(std::size_t result, int dstCapacity, Count count) {
    if (result == mbcs::kMbcsUnsupported) {
        SetLastError(err::kInvalidParameter);
        return 0;
    }
    if (result == mbcs::kMbcsOverflow) return SizeOrFailure(count(), dstCapacity);
    if (dstCapacity == 0 || result > static_cast<std::size_t>(INT_MAX)) return SizeOrFailure(result, dstCapacity);
    return static_cast<int>(result);
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
    if (srcLength < 0 && mbcs::MbcsDecodesByTable(cp)) {
        // The tables find a terminated text's length as they convert it.
        auto count = [&] { return mbcs::MbcsToWideCountTerminated(cp, src); };
        return Delivered(dstCapacity == 0 ? count()
                                          : mbcs::MbcsToWideTerminated(cp, src, dst, static_cast<std::size_t>(dstCapacity)),
                         dstCapacity, count);
    }
    const std::size_t n = SourceLength(src, srcLength);
    if (cp == kCodePageUtf8) {
        if (dstCapacity == 0) return SizeOrFailure(detail::Utf8ToWideCount(src, n), 0);
        const std::size_t done = detail::Utf8ToWideConvertBounded(src, n, dst, static_cast<std::size_t>(dstCapacity));
        return done == detail::kOverflow ? TooSmall() : static_cast<int>(done);
    }
    if (mbcs::IconvName(cp) != nullptr && !mbcs::MbcsDecodesByTable(cp) && IsAscii(src, n)) {
        // Every code page here keeps 0x00-0x7F as ASCII: no converter needed (the
        // tables do the same in their own loop).
        if (!Fits(n, dstCapacity)) return SizeOrFailure(n, dstCapacity);
        for (std::size_t i = 0; i < n; ++i) dst[i] = static_cast<wchar_t>(src[i]);
        return static_cast<int>(n);
    }
    return Delivered(
        dstCapacity == 0 ? mbcs::MbcsToWideCount(cp, src, n)
                         : mbcs::MbcsToWide(cp, src, n, dst, static_cast<std::size_t>(dstCapacity)),
        dstCapacity, [&] { return mbcs::MbcsToWideCount(cp, src, n); });
}

int WideToMultiByte(unsigned codePage, const wchar_t* src, int srcLength, char* dst, int dstCapacity) {
    if (BadArguments(src, srcLength, dst, dstCapacity)) {
        SetLastError(err::kInvalidParameter);
        return 0;
    }
    const unsigned cp = Resolve(codePage);
    if (srcLength < 0 && cp != kCodePageUtf8 && mbcs::MbcsEncodesByTable(cp)) {
        auto count = [&] { return mbcs::WideToMbcsCountTerminated(cp, src); };
        return Delivered(dstCapacity == 0 ? count()
                                          : mbcs::WideToMbcsTerminated(cp, src, dst, static_cast<std::size_t>(dstCapacity)),
                         dstCapacity, count);
    }
    const std::size_t n = SourceLength(src, srcLength);
    if (cp == kCodePageUtf8) {
        if (dstCapacity == 0) return SizeOrFailure(detail::WideToUtf8Count(src, n), 0);
        const std::size_t done = detail::WideToUtf8ConvertBounded(src, n, dst, static_cast<std::size_t>(dstCapacity));
        return done == detail::kOverflow ? TooSmall() : static_cast<int>(done);
    }
    if (mbcs::IconvName(cp) != nullptr && !mbcs::MbcsEncodesByTable(cp) && IsAscii(src, n)) {
        if (!Fits(n, dstCapacity)) return SizeOrFailure(n, dstCapacity);
        for (std::size_t i = 0; i < n; ++i) dst[i] = static_cast<char>(src[i]);
        return static_cast<int>(n);
    }
    return Delivered(
        dstCapacity == 0 ? mbcs::WideToMbcsCount(cp, src, n)
                         : mbcs::WideToMbcs(cp, src, n, dst, static_cast<std::size_t>(dstCapacity)),
        dstCapacity, [&] { return mbcs::WideToMbcsCount(cp, src, n); });
}

}  // namespace brim::platform
