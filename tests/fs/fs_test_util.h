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

#if !defined(_WIN32)
// root/top, depth folders segment below it (made level by level, past the path limit), f<level>.txt and leaf.txt.
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

// The soft limit just above the highest descriptor open (a few holes below it stay free) while it lives.
class DescriptorLimit {
public:
    explicit DescriptorLimit(int headroom) {
        getrlimit(RLIMIT_NOFILE, &m_saved);
        int top = 0;
        for (int fd = 0; fd < 4096; ++fd)
            if (fcntl(fd, F_GETFD) != -1) top = fd + 1;
        struct rlimit low = m_saved;
        low.rlim_cur = static_cast<rlim_t>(top + headroom);
        setrlimit(RLIMIT_NOFILE, &low);
    }
    ~DescriptorLimit() { setrlimit(RLIMIT_NOFILE, &m_saved); }
    DescriptorLimit(const DescriptorLimit&) = delete;
    DescriptorLimit& operator=(const DescriptorLimit&) = delete;

private:
    struct rlimit m_saved {};
};
#endif

}  // namespace fstest
