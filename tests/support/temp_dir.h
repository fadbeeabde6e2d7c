// A fresh folder for one test, removed with everything in it afterwards.
#pragma once

#include <brim/brim.h>

#include <filesystem>
#include <string>

namespace brimtest {

class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::filesystem::path& Path() const { return m_path; }
    // A path inside the folder, as the library takes it.
    CStringW File(const std::wstring& name) const;

private:
    std::filesystem::path m_path;
};

// A unique name for named objects (mutexes) of one test run.
std::wstring UniqueName(const std::wstring& stem);
// "v7" for ("v", 7); appended, as GCC 12 -O3 wrongly warns (-Wrestrict) about "v" + std::to_string(7).
std::string Numbered(const char* stem, long n);

// Whole-file helpers for checking what the library wrote.
std::string ReadBytes(const std::filesystem::path& path);
void WriteBytes(const std::filesystem::path& path, const std::string& bytes);

}  // namespace brimtest
