// Setting the process environment in tests, as the library reads it.
#pragma once

#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <string>

#if defined(_WIN32)
#  include <windows.h>
#endif

namespace brimtest {

inline bool GetVariable(const wchar_t* name, std::wstring& value) {
#if defined(_WIN32)
    static wchar_t buffer[32768];
    const DWORD n = ::GetEnvironmentVariableW(name, buffer, 32768);
    if (n == 0 || n >= 32768) return false;
    value.assign(buffer, n);
#else
    const std::string narrow(name, name + std::wcslen(name));
    const char* v = std::getenv(narrow.c_str());
    if (v == nullptr) return false;
    value.assign(v, v + std::strlen(v));
#endif
    return true;
}

// value null removes the variable.
inline void SetVariable(const wchar_t* name, const wchar_t* value) {
#if defined(_WIN32)
    ::SetEnvironmentVariableW(name, value);
#else
    const std::string narrow(name, name + std::wcslen(name));
    if (value == nullptr) {
        unsetenv(narrow.c_str());
    } else {
        std::string v;
        for (const wchar_t* p = value; *p != 0; ++p) v.push_back(static_cast<char>(*p));
        setenv(narrow.c_str(), v.c_str(), 1);
    }
#endif
}

}  // namespace brimtest
