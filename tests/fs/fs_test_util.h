// Building small trees for the file-system tests.
#pragma once

#include "tests/foundation/suite.h"

namespace fstest {

namespace fs = std::filesystem;
using brimtest::Wide;

inline void MakeFile(const fs::path& path, const std::string& bytes = "x") {
    fs::create_directories(path.parent_path());
    brimtest::WriteBytes(path, bytes);
}

// A leading dot hides a name on POSIX; Windows needs the attribute as well.
inline void MarkHidden(const fs::path& path) {
#if defined(_WIN32)
    SetFileAttributesW(path.wstring().c_str(), GetFileAttributesW(path.wstring().c_str()) | FILE_ATTRIBUTE_HIDDEN);
#else
    (void)path;
#endif
}

#if defined(_WIN32)
constexpr wchar_t kSeparator = L'\\';
#else
constexpr wchar_t kSeparator = L'/';
#endif

#if !defined(_WIN32)
// root/top and a chain of depth folders named segment below it, made step by step from the last one so that it
// may pass the path limit; "f<level>.txt" at the levels of filesAt and "leaf.txt" in the deepest.
inline bool MakeChain(const fs::path& root, const std::string& top, const std::string& segment, int depth,
                      std::initializer_list<int> filesAt = {}) {
    const fs::path back = fs::current_path();
    std::error_code ec;
    fs::current_path(root, ec);
    for (int i = 0; i <= depth && !ec; ++i) {
        const std::string& name = i == 0 ? top : segment;
        if (!fs::create_directory(name, ec) && !ec) ec = std::make_error_code(std::errc::file_exists);
        if (!ec) fs::current_path(name, ec);
        if (!ec && (i == depth || std::find(filesAt.begin(), filesAt.end(), i) != filesAt.end()))
            brimtest::WriteBytes(i == depth ? "leaf.txt" : "f" + std::to_string(i) + ".txt", "");
    }
    fs::current_path(back);
    return !ec;
}

// Exactly headroom free descriptors while it lives: the soft limit just above the highest one open, and the
// free numbers below it (inherited descriptors leave holes) taken by /dev/null.
class DescriptorLimit {
public:
    explicit DescriptorLimit(int headroom) {
        getrlimit(RLIMIT_NOFILE, &m_saved);
        int top = 0;
        for (int fd = 0; fd < 4096; ++fd)
            if (fcntl(fd, F_GETFD) != -1) top = fd + 1;
        const int null = open("/dev/null", O_RDONLY);
        if (null >= top) top = null + 1;
        m_fillers.push_back(null);
        for (int fd = 0; fd < top; ++fd) {
            if (fcntl(fd, F_GETFD) == -1 && dup2(null, fd) == fd) m_fillers.push_back(fd);
        }
        struct rlimit low = m_saved;
        low.rlim_cur = static_cast<rlim_t>(top + headroom);
        setrlimit(RLIMIT_NOFILE, &low);
    }
    ~DescriptorLimit() {
        setrlimit(RLIMIT_NOFILE, &m_saved);
        for (int fd : m_fillers) close(fd);
    }
    DescriptorLimit(const DescriptorLimit&) = delete;
    DescriptorLimit& operator=(const DescriptorLimit&) = delete;

private:
    struct rlimit m_saved {};
    std::vector<int> m_fillers;
};
#endif

}  // namespace fstest
