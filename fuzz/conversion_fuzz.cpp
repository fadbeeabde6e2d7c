// Conversion round trips on arbitrary input. UTF-8 -> wide -> UTF-8 -> wide
// is stable after the first substitution, and well-formed UTF-8 comes back
// byte for byte; wide -> UTF-8 -> wide gives the input with every unpaired
// surrogate (or value past U+10FFFF) replaced by U+FFFD; the ANSI directions
// count what they write.
#include <brim/text.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

std::wstring FromUtf8(const std::string& bytes) {
    std::vector<wchar_t> out(static_cast<std::size_t>(CBrimString::UTF82UnicodeCount(bytes.c_str())) + 1, L'#');
    CBrimString::UTF82Unicode(out.data(), bytes.c_str());
    if (out[out.size() - 1] != L'#' || out[out.size() - 2] != 0) std::abort();
    return std::wstring(out.data());
}

bool ToUtf8(const std::wstring& text, std::string& bytes) {
    std::vector<char> out(32768, '#');
    try {
        const int n = CBrimString::Unicode2UTF8(out.data(), text.c_str());
        if (out[static_cast<std::size_t>(n - 1)] != 0 || out[static_cast<std::size_t>(n)] != '#') std::abort();
        bytes.assign(out.data(), static_cast<std::size_t>(n - 1));
        return true;
    } catch (CBrimException* e) {
        e->Delete();   // past the 32767-byte capacity
        return false;
    }
}

// The wide text as the converter must leave it.
std::wstring Cleaned(const std::wstring& text) {
    std::wstring out;
    for (std::size_t k = 0; k < text.size(); ++k) {
        auto c = static_cast<std::uint32_t>(text[k]);
        if (sizeof(wchar_t) == 2 && c >= 0xD800 && c <= 0xDBFF && k + 1 < text.size()) {
            const auto d = static_cast<std::uint32_t>(text[k + 1]);
            if (d >= 0xDC00 && d <= 0xDFFF) {
                out += text[k];
                out += text[++k];
                continue;
            }
        }
        if ((c >= 0xD800 && c <= 0xDFFF) || c > 0x10FFFF) c = 0xFFFD;
        out += static_cast<wchar_t>(c);
    }
    return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string bytes(reinterpret_cast<const char*>(data), size);
    const std::string text = bytes.substr(0, bytes.find('\0'));

    const std::wstring wide = FromUtf8(text);
    std::string back;
    if (ToUtf8(wide, back)) {
        if (FromUtf8(back) != wide) std::abort();
        if (wide.find(wchar_t(0xFFFD)) == std::wstring::npos && back != text) std::abort();
    }

    // Wide units drawn from the input, surrogates and out-of-range values included.
    std::wstring units;
    for (std::size_t k = 0; k + 3 < size; k += 4) {
        std::uint32_t v = data[k] | (data[k + 1] << 8) | (data[k + 2] << 16) | (static_cast<std::uint32_t>(data[k + 3] & 0x1F) << 24);
        if (sizeof(wchar_t) == 2) v &= 0xFFFF;
        if (v == 0) v = 1;
        units += static_cast<wchar_t>(v);
    }
    if (ToUtf8(units, back) && FromUtf8(back) != Cleaned(units)) std::abort();

    // ANSI: counts match what is written.
    std::vector<wchar_t> fromAnsi(static_cast<std::size_t>(CBrimString::MBCS2UnicodeCount(text.c_str())));
    CBrimString::MBCS2Unicode(fromAnsi.data(), text.c_str());
    if (fromAnsi.back() != 0) std::abort();
    std::vector<char> toAnsi(static_cast<std::size_t>(CBrimString::Unicode2MBCSCount(units.c_str())));
    CBrimString::Unicode2MBCS(toAnsi.data(), units.c_str());
    if (toAnsi.back() != 0) std::abort();
    return 0;
}
