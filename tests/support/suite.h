// What every suite shares: common headers, child processes, temporary folders, CStringW printing, thrown messages.
#pragma once

#include <brim/brim.h>

#include "tests/support/process.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <memory>
#include <random>
#include <string>
#include <system_error>
#include <thread>
#include <type_traits>
#include <utility>
#include <vector>

// CStringW in GoogleTest's failure messages: quoted, printable ASCII as it stands, everything else as \uXXXX.
inline void PrintTo(const CStringW& text, std::ostream* os) {
    *os << '"';
    for (int i = 0; i < text.GetLength(); ++i) {
        const auto c = static_cast<unsigned long>(static_cast<std::make_unsigned_t<wchar_t>>(text[i]));
        if (c >= 0x20 && c < 0x7F && c != '"' && c != '\\') {
            *os << static_cast<char>(c);
        } else {
            char buf[16];
            std::snprintf(buf, sizeof buf, "\\u%04lX", c);
            *os << buf;
        }
    }
    *os << '"';
}

namespace brimtest {

inline std::wstring RandomSuffix() {
    static std::atomic<unsigned> counter{0};
    std::random_device rd;
    const auto now = std::chrono::steady_clock::now().time_since_epoch().count();
    return std::to_wstring(rd()) + L"-" + std::to_wstring(now % 1000000007) + L"-" + std::to_wstring(counter++);
}

class TempDir {
public:
    TempDir() : m_path(std::filesystem::temp_directory_path() / (L"brimtest-" + RandomSuffix())) {
        std::filesystem::create_directories(m_path);
    }
    ~TempDir() {
        std::error_code ec;
        std::filesystem::permissions(m_path, std::filesystem::perms::owner_all, std::filesystem::perm_options::add, ec);
        std::filesystem::remove_all(m_path, ec);
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::filesystem::path& Path() const { return m_path; }
    // A path inside the folder, as the library takes it.
    CStringW File(const std::wstring& name) const { return CStringW((m_path / name).wstring().c_str()); }

private:
    std::filesystem::path m_path;
};

// A unique name for named objects (mutexes) of one test run.
inline std::wstring UniqueName(const std::wstring& stem) { return stem + L"-" + RandomSuffix(); }

// "v7" for ("v", 7). Built by appending: GCC 12 at -O3 warns (-Wrestrict, wrongly) about "v" + std::to_string(7).
inline std::string Numbered(const char* stem, long n) {
    std::string name(stem);
    name += std::to_string(n);
    return name;
}

inline std::string ReadBytes(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

inline void WriteBytes(const std::filesystem::path& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

// The message, or "<nothing thrown>"; the exception is disposed of.
template <typename Call>
CStringW Thrown(Call call) {
    try {
        call();
    } catch (CBrimException* e) {
        CStringW message = e->GetMessageW();
        e->Delete();
        return message;
    }
    return CStringW(L"<nothing thrown>");
}

}  // namespace brimtest
