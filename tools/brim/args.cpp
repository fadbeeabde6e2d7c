#include "tools/brim/args.h"

#include "tools/brim/console.h"

#include <cwchar>
#include <vector>

namespace brimtool {

bool Args::Parse(const std::vector<CStringW>& args, std::initializer_list<const wchar_t*> valued,
                 std::initializer_list<const wchar_t*> flags) {
    const auto among = [](const CStringW& a, std::initializer_list<const wchar_t*> names) {
        for (const wchar_t* n : names) {
            if (a == n) return true;
        }
        return false;
    };
    bool onlyOperands = false;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const CStringW& a = args[i];
        // "-5" is a number, not an option.
        if (onlyOperands || a.GetLength() < 2 || a[0] != L'-' || (a[1] >= L'0' && a[1] <= L'9')) {
            m_operands.push_back(a);
        } else if (a == L"--") {
            onlyOperands = true;
        } else if (among(a, flags)) {
            m_flags.insert(a.GetString());
        } else if (among(a, valued)) {
            if (i + 1 >= args.size()) {
                m_error = a + L" needs a value";
                return false;
            }
            m_values[a.GetString()] = args[++i];
        } else {
            m_error = L"unknown option " + a;
            return false;
        }
    }
    return true;
}

CStringW Args::Value(const wchar_t* name, const wchar_t* fallback) const {
    const auto it = m_values.find(name);
    return it == m_values.end() ? CStringW(fallback) : it->second;
}

CStringW FromUtf8(const char* bytes) {
    std::vector<wchar_t> wide(static_cast<std::size_t>(CBrimString::UTF82UnicodeCount(bytes)));
    CBrimString::UTF82Unicode(wide.data(), bytes);
    return CStringW(wide.data());
}

bool ParseInt(const CStringW& text, long long low, long long high, long long& value) {
    if (text.IsEmpty()) return false;
    wchar_t* end = nullptr;
    const long long v = std::wcstoll(text.GetString(), &end, 10);
    if (end == nullptr || *end != 0 || v < low || v > high) return false;
    value = v;
    return true;
}

}  // namespace brimtool
