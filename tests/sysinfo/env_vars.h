// Environment variables set for a test as the library reads them; what was
// there comes back when the object goes.
#pragma once

#include <cstdlib>
#include <initializer_list>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#if defined(_WIN32)
#  include <windows.h>
#endif

namespace brimtest {

class Variables {
public:
    explicit Variables(std::initializer_list<const wchar_t*> names) {
        for (const wchar_t* name : names) m_saved.emplace_back(name, Get(name));
    }
    ~Variables() {
        for (const auto& [name, value] : m_saved) Set(name, value ? value->c_str() : nullptr);
    }
    static std::optional<std::wstring> Get(const wchar_t* name) {
#if defined(_WIN32)
        static wchar_t buffer[32768];
        const DWORD n = ::GetEnvironmentVariableW(name, buffer, 32768);
        return n == 0 || n >= 32768 ? std::nullopt : std::optional<std::wstring>(std::wstring(buffer, n));
#else
        const char* v = std::getenv(Narrow(name).c_str());
        return v == nullptr ? std::nullopt : std::optional<std::wstring>(std::wstring(v, v + std::string(v).size()));
#endif
    }
    // value null removes the variable.
    static void Set(const wchar_t* name, const wchar_t* value) {
#if defined(_WIN32)
        ::SetEnvironmentVariableW(name, value);
#else
        if (value == nullptr) {
            unsetenv(Narrow(name).c_str());
        } else {
            setenv(Narrow(name).c_str(), Narrow(value).c_str(), 1);
        }
#endif
    }

private:
    static std::string Narrow(const std::wstring& text) {
        std::string out;
        for (wchar_t c : text) out.push_back(static_cast<char>(c));
        return out;
    }
    std::vector<std::pair<const wchar_t*, std::optional<std::wstring>>> m_saved;
};

}  // namespace brimtest
