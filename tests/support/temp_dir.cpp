#include "tests/support/temp_dir.h"

#include <atomic>
#include <chrono>
#include <fstream>
#include <iterator>
#include <random>
#include <system_error>

namespace brimtest {
namespace {
std::wstring RandomSuffix() {
    static std::atomic<unsigned> counter{0};
    std::random_device rd;
    const auto now = std::chrono::steady_clock::now().time_since_epoch().count();
    return std::to_wstring(rd()) + L"-" + std::to_wstring(now % 1000000007) + L"-" + std::to_wstring(counter++);
}
}  // namespace

TempDir::TempDir() {
    m_path = std::filesystem::temp_directory_path() / (L"brimtest-" + RandomSuffix());
    std::filesystem::create_directories(m_path);
}

TempDir::~TempDir() {
    std::error_code ec;
    std::filesystem::permissions(m_path, std::filesystem::perms::owner_all, std::filesystem::perm_options::add, ec);
    std::filesystem::remove_all(m_path, ec);
}

CStringW TempDir::File(const std::wstring& name) const { return CStringW((m_path / name).wstring().c_str()); }

std::wstring UniqueName(const std::wstring& stem) { return stem + L"-" + RandomSuffix(); }

std::string Numbered(const char* stem, long n) {
    std::string name(stem);
    name += std::to_string(n);
    return name;
}

std::string ReadBytes(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void WriteBytes(const std::filesystem::path& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

}  // namespace brimtest
