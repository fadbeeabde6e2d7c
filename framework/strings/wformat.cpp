#include "framework/strings/wformat.h"

#include "framework/codepages/text_codec.h"

#include <brim/framework.h>

#include <algorithm>
#include <climits>
#include <cstdio>
#include <cstring>
#include <string>

namespace brim::detail {
namespace {

// Widths and precisions are read whatever their size, so that a conversion
// always takes its arguments; what they print is bounded here (Windows pads
// to any width that fits an int).
constexpr int kMaxPrinted = 1 << 20;

struct Conversion {
    bool left = false, plus = false, space = false, alt = false, zero = false;
    int width = 0;
    int precision = -1;   // -1: none given
    enum class Size { None, H, HH, L, LL, BigL, I, I32, I64, J, Z, T, W } size = Size::None;
    wchar_t conv = 0;
};

std::size_t WideLength(const wchar_t* s, std::size_t limit) {
    std::size_t n = 0;
    while (n < limit && s[n] != 0) ++n;
    return n;
}

std::size_t NarrowLength(const char* s, std::size_t limit) {
    std::size_t n = 0;
    while (n < limit && s[n] != 0) ++n;
    return n;
}

// Pads body (already complete) to the width.
void EmitPadded(WideSink& sink, const Conversion& cv, const wchar_t* body, std::size_t n, wchar_t padChar = L' ') {
    const std::size_t width = static_cast<std::size_t>(cv.width);
    const std::size_t pad = width > n ? width - n : 0;
    if (!cv.left) sink.Fill(padChar, pad);
    sink.Append(body, n);
    if (cv.left) sink.Fill(L' ', pad);
}

void EmitInteger(WideSink& sink, const Conversion& cv, std::uint64_t magnitude, bool negative) {
    const wchar_t conv = cv.conv;
    const bool isSigned = conv == L'd' || conv == L'i';
    const unsigned base = (conv == L'o') ? 8 : (conv == L'x' || conv == L'X') ? 16 : 10;
    const wchar_t* digitSet = (conv == L'X') ? L"0123456789ABCDEF" : L"0123456789abcdef";

    wchar_t digits[32];
    int nd = 0;
    for (std::uint64_t v = magnitude; v != 0; v /= base) digits[nd++] = digitSet[v % base];
    // digits are reversed; precision 0 with value 0 prints no digits
    int minDigits = cv.precision >= 0 ? std::min(cv.precision, kMaxPrinted) : 1;
    if (cv.alt && conv == L'o' && minDigits <= nd) minDigits = nd + 1;   // "#o" leads with 0

    wchar_t prefix[3];
    int np = 0;
    if (isSigned) {
        if (negative) prefix[np++] = L'-';
        else if (cv.plus) prefix[np++] = L'+';
        else if (cv.space) prefix[np++] = L' ';
    }
    if (cv.alt && base == 16 && magnitude != 0) {
        prefix[np++] = L'0';
        prefix[np++] = conv;
    }

    const std::size_t zeros = minDigits > nd ? static_cast<std::size_t>(minDigits - nd) : 0;
    const std::size_t body = static_cast<std::size_t>(np) + zeros + static_cast<std::size_t>(nd);
    const std::size_t width = static_cast<std::size_t>(cv.width);
    const std::size_t pad = width > body ? width - body : 0;
    const bool zeroPad = cv.zero && !cv.left && cv.precision < 0;

    if (!cv.left && !zeroPad) sink.Fill(L' ', pad);
    sink.Append(prefix, static_cast<std::size_t>(np));
    if (zeroPad) sink.Fill(L'0', pad);
    sink.Fill(L'0', zeros);
    for (int k = nd - 1; k >= 0; --k) sink.Append(&digits[k], 1);
    if (cv.left) sink.Fill(L' ', pad);
}

std::int64_t TruncateSigned(std::int64_t v, Conversion::Size size) {
    switch (size) {
    case Conversion::Size::HH: return static_cast<signed char>(v);
    case Conversion::Size::H: return static_cast<short>(v);
    default: return v;
    }
}

std::uint64_t TruncateUnsigned(std::uint64_t v, Conversion::Size size) {
    switch (size) {
    case Conversion::Size::HH: return static_cast<unsigned char>(v);
    case Conversion::Size::H: return static_cast<unsigned short>(v);
    default: return v;
    }
}

IntSize ArgSize(Conversion::Size size, bool isSigned) {
    switch (size) {
    case Conversion::Size::HH: return IntSize::Char;
    case Conversion::Size::H: return IntSize::Short;
    case Conversion::Size::L: return IntSize::Long;
    case Conversion::Size::LL:
    case Conversion::Size::BigL: return IntSize::LongLong;
    case Conversion::Size::I32: return IntSize::Int32;
    case Conversion::Size::I64: return IntSize::Int64;
    case Conversion::Size::I: return isSigned ? IntSize::PtrDiff : IntSize::Size;
    case Conversion::Size::J: return IntSize::IntMax;
    case Conversion::Size::Z: return IntSize::Size;
    case Conversion::Size::T: return IntSize::PtrDiff;
    default: return IntSize::Int;
    }
}

void EmitFloat(WideSink& sink, const Conversion& cv, FormatArgs& args) {
    char fmt[32];
    std::size_t k = 0;
    fmt[k++] = '%';
    if (cv.left) fmt[k++] = '-';
    if (cv.plus) fmt[k++] = '+';
    if (cv.space) fmt[k++] = ' ';
    if (cv.alt) fmt[k++] = '#';
    if (cv.zero) fmt[k++] = '0';
    fmt[k++] = '*';
    fmt[k++] = '.';
    fmt[k++] = '*';
    const bool isLong = cv.size == Conversion::Size::BigL;
    if (isLong) fmt[k++] = 'L';
    fmt[k++] = static_cast<char>(cv.conv);
    fmt[k] = '\0';

    // Without a precision, C's default of 6 applies (%a: exact digits).
    const int precision = cv.precision >= 0 ? std::min(cv.precision, kMaxPrinted) : (cv.conv == L'a' || cv.conv == L'A') ? -1 : 6;
    std::string text;
    const long double ld = isLong ? args.LongDoubleArg() : 0.0L;
    const double d = isLong ? 0.0 : args.DoubleArg();
    for (std::size_t room = 64;;) {
        text.resize(room);
        const int n = isLong ? std::snprintf(text.data(), room, fmt, cv.width, precision, ld)
                             : std::snprintf(text.data(), room, fmt, cv.width, precision, d);
        if (n < 0) return;
        if (static_cast<std::size_t>(n) < room) {
            text.resize(static_cast<std::size_t>(n));
            break;
        }
        room = static_cast<std::size_t>(n) + 1;
    }
    const std::wstring wide(text.begin(), text.end());   // the output is ASCII
    sink.Append(wide.data(), wide.size());
}

void EmitPointer(WideSink& sink, const Conversion& cv, const void* p) {
    constexpr int kDigits = 2 * static_cast<int>(sizeof(void*));
    wchar_t body[kDigits];
    auto v = reinterpret_cast<std::uintptr_t>(p);
    for (int k = kDigits - 1; k >= 0; --k, v >>= 4) body[k] = L"0123456789ABCDEF"[v & 0xF];
    EmitPadded(sink, cv, body, kDigits);
}

void EmitString(WideSink& sink, const Conversion& cv, bool narrow, FormatArgs& args) {
    const std::size_t limit = cv.precision >= 0 ? static_cast<std::size_t>(cv.precision) : SIZE_MAX;
    const wchar_t padChar = cv.zero ? L'0' : L' ';
    if (narrow) {
        const char* s = args.NarrowStringArg();
        if (s == nullptr) s = "(null)";
        // Each wide character needs at least one byte, so limit bytes suffice.
        std::wstring wide = AnsiToWide(s, NarrowLength(s, limit));
        if (wide.size() > limit) wide.resize(limit);
        EmitPadded(sink, cv, wide.data(), wide.size(), padChar);
    } else {
        const wchar_t* s = args.WideStringArg();
        if (s == nullptr) s = L"(null)";
        EmitPadded(sink, cv, s, WideLength(s, limit), padChar);
    }
}

void EmitChar(WideSink& sink, const Conversion& cv, bool narrow, FormatArgs& args) {
    const int value = args.IntArg();
    const wchar_t padChar = cv.zero ? L'0' : L' ';
    if (narrow) {
        const char byte = static_cast<char>(value);
        std::wstring wide = AnsiToWide(&byte, 1);
        if (wide.empty()) wide.assign(1, L'?');
        EmitPadded(sink, cv, wide.data(), 1, padChar);
    } else {
        // The argument is a promoted wchar_t: keep its width's bits.
        const wchar_t ch = static_cast<wchar_t>(sizeof(wchar_t) == 2 ? (value & 0xFFFF) : value);
        EmitPadded(sink, cv, &ch, 1, padChar);
    }
}

// Reads digits into value, which stops growing at INT_MAX.
void ReadNumber(const wchar_t*& p, int& value) {
    int v = 0;
    for (; *p >= L'0' && *p <= L'9'; ++p) {
        const int digit = *p - L'0';
        v = v > (INT_MAX - digit) / 10 ? INT_MAX : v * 10 + digit;
    }
    value = v;
}

// Parses one conversion after its '%'. Returns false when it is not a valid
// conversion; p then points past what was read. Every * takes its argument.
bool ParseSpec(const wchar_t*& p, Conversion& cv, FormatArgs& args) {
    for (;; ++p) {
        switch (*p) {
        case L'-': cv.left = true; continue;
        case L'+': cv.plus = true; continue;
        case L' ': cv.space = true; continue;
        case L'#': cv.alt = true; continue;
        case L'0': cv.zero = true; continue;
        default: break;
        }
        break;
    }
    if (*p == L'*') {
        ++p;
        int w = args.IntArg();
        if (w < 0) {
            cv.left = true;
            w = (w == INT_MIN) ? INT_MAX : -w;
        }
        cv.width = w;
    } else {
        ReadNumber(p, cv.width);
    }
    cv.width = std::min(cv.width, kMaxPrinted);   // only pads: bounded at once
    if (*p == L'.') {
        ++p;
        if (*p == L'*') {
            ++p;
            const int prec = args.IntArg();
            cv.precision = prec < 0 ? -1 : prec;
        } else {
            ReadNumber(p, cv.precision);
        }
    }
    using S = Conversion::Size;
    switch (*p) {
    case L'h': ++p; if (*p == L'h') { ++p; cv.size = S::HH; } else cv.size = S::H; break;
    case L'l': ++p; if (*p == L'l') { ++p; cv.size = S::LL; } else cv.size = S::L; break;
    case L'L': ++p; cv.size = S::BigL; break;
    case L'w': ++p; cv.size = S::W; break;
    case L'j': ++p; cv.size = S::J; break;
    case L'z': ++p; cv.size = S::Z; break;
    case L't': ++p; cv.size = S::T; break;
    case L'I':
        ++p;
        if (p[0] == L'6' && p[1] == L'4') { p += 2; cv.size = S::I64; }
        else if (p[0] == L'3' && p[1] == L'2') { p += 2; cv.size = S::I32; }
        else cv.size = S::I;
        break;
    default: break;
    }
    if (*p == 0) return false;
    cv.conv = *p++;
    return true;
}

bool IsIntegerSize(Conversion::Size s) { return s != Conversion::Size::W; }
bool IsFloatSize(Conversion::Size s) { return s == Conversion::Size::None || s == Conversion::Size::L || s == Conversion::Size::BigL; }
bool IsTextSize(Conversion::Size s) {
    return s == Conversion::Size::None || s == Conversion::Size::H || s == Conversion::Size::L || s == Conversion::Size::W;
}

// Expands one conversion; false when the conversion is not valid.
bool EmitConversion(WideSink& sink, const Conversion& cv, FormatArgs& args) {
    using S = Conversion::Size;
    switch (cv.conv) {
    case L'd':
    case L'i':
        if (!IsIntegerSize(cv.size)) return false;
        {
            const std::int64_t v = TruncateSigned(args.SignedArg(ArgSize(cv.size, true)), cv.size);
            const std::uint64_t mag = v < 0 ? 0 - static_cast<std::uint64_t>(v) : static_cast<std::uint64_t>(v);
            EmitInteger(sink, cv, mag, v < 0);
        }
        return true;
    case L'u':
    case L'o':
    case L'x':
    case L'X':
        if (!IsIntegerSize(cv.size)) return false;
        EmitInteger(sink, cv, TruncateUnsigned(args.UnsignedArg(ArgSize(cv.size, false)), cv.size), false);
        return true;
    case L'e': case L'E': case L'f': case L'F': case L'g': case L'G': case L'a': case L'A':
        if (!IsFloatSize(cv.size)) return false;
        EmitFloat(sink, cv, args);
        return true;
    case L's':
    case L'S':
        if (!IsTextSize(cv.size)) return false;
        EmitString(sink, cv, cv.size == S::H || (cv.conv == L'S' && cv.size == S::None), args);
        return true;
    case L'c':
    case L'C':
        if (!IsTextSize(cv.size)) return false;
        EmitChar(sink, cv, cv.size == S::H || (cv.conv == L'C' && cv.size == S::None), args);
        return true;
    case L'p':
        if (cv.size != S::None) return false;
        EmitPointer(sink, cv, args.PointerArg());
        return true;
    case L'%':
        sink.Append(L"%", 1);
        return true;
    case L'n':
        // Its pointer is taken, as Windows takes it, but nothing is ever
        // written through an argument: the conversion is copied as written.
        args.PointerArg();
        return false;
    default:
        return false;
    }
}

class VaFormatArgs final : public FormatArgs {
public:
    explicit VaFormatArgs(va_list args) { va_copy(m_args, args); }
    ~VaFormatArgs() override { va_end(m_args); }
    VaFormatArgs(const VaFormatArgs&) = delete;
    VaFormatArgs& operator=(const VaFormatArgs&) = delete;

    int IntArg() override { return va_arg(m_args, int); }
    std::int64_t SignedArg(IntSize size) override {
        switch (size) {
        case IntSize::Long: return va_arg(m_args, long);
        case IntSize::LongLong: return va_arg(m_args, long long);
        case IntSize::Int64: return va_arg(m_args, std::int64_t);
        case IntSize::IntMax: return va_arg(m_args, std::intmax_t);
        case IntSize::Size:
        case IntSize::PtrDiff: return va_arg(m_args, std::ptrdiff_t);
        default: return va_arg(m_args, int);   // char, short and int are promoted to int
        }
    }
    std::uint64_t UnsignedArg(IntSize size) override {
        switch (size) {
        case IntSize::Long: return va_arg(m_args, unsigned long);
        case IntSize::LongLong: return va_arg(m_args, unsigned long long);
        case IntSize::Int64: return va_arg(m_args, std::uint64_t);
        case IntSize::IntMax: return va_arg(m_args, std::uintmax_t);
        case IntSize::Size:
        case IntSize::PtrDiff: return va_arg(m_args, std::size_t);
        default: return va_arg(m_args, unsigned int);
        }
    }
    double DoubleArg() override { return va_arg(m_args, double); }
    long double LongDoubleArg() override { return va_arg(m_args, long double); }
    const wchar_t* WideStringArg() override { return va_arg(m_args, const wchar_t*); }
    const char* NarrowStringArg() override { return va_arg(m_args, const char*); }
    const void* PointerArg() override { return va_arg(m_args, const void*); }

private:
    va_list m_args;
};

class StringSink final : public WideSink {
public:
    explicit StringSink(CStringW& out) : m_out(out) {}
    void Append(const wchar_t* text, std::size_t n) override { m_out.Append(text, static_cast<int>(n)); }
    void Fill(wchar_t ch, std::size_t n) override {
        if (n != 0) m_out += CStringW(ch, static_cast<int>(n));
    }

private:
    CStringW& m_out;
};

}  // namespace

BoundedSink::BoundedSink(wchar_t* buffer, std::size_t capacity) : m_buffer(buffer), m_room(capacity - 1) {}

void BoundedSink::Append(const wchar_t* text, std::size_t n) {
    n = std::min(n, m_room - m_used);
    std::memcpy(m_buffer + m_used, text, n * sizeof(wchar_t));
    m_used += n;
}

void BoundedSink::Fill(wchar_t ch, std::size_t n) {
    n = std::min(n, m_room - m_used);
    for (std::size_t k = 0; k < n; ++k) m_buffer[m_used++] = ch;
}

std::size_t BoundedSink::Finish() {
    m_buffer[m_used] = 0;
    return m_used;
}

void FormatTo(WideSink& sink, const wchar_t* format, FormatArgs& args) {
    if (format == nullptr) return;
    const wchar_t* p = format;
    while (*p != 0 && !sink.Full()) {
        const wchar_t* literal = p;
        while (*p != 0 && *p != L'%') ++p;
        sink.Append(literal, static_cast<std::size_t>(p - literal));
        if (*p == 0) break;
        const wchar_t* start = p++;   // at '%'
        Conversion cv;
        if (!ParseSpec(p, cv, args) || !EmitConversion(sink, cv, args)) {
            sink.Append(start, static_cast<std::size_t>(p - start));
        }
    }
}

void FormatAppendV(CStringW& out, const wchar_t* format, va_list args) {
    VaFormatArgs source(args);
    StringSink sink(out);
    FormatTo(sink, format, source);
}

std::size_t FormatBoundedV(wchar_t* buffer, std::size_t capacity, const wchar_t* format, va_list args) {
    if (buffer == nullptr || capacity == 0) return 0;
    VaFormatArgs source(args);
    BoundedSink sink(buffer, capacity);
    FormatTo(sink, format, source);
    return sink.Finish();
}

std::size_t FormatBounded(wchar_t* buffer, std::size_t capacity, const wchar_t* format, ...) {
    va_list args;
    va_start(args, format);
    const std::size_t n = FormatBoundedV(buffer, capacity, format, args);
    va_end(args);
    return n;
}

}  // namespace brim::detail
