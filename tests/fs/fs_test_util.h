// Building small trees for the file-system tests.
#pragma once

#include <brim/brim.h>

#include "tests/support/temp_dir.h"

#include <filesystem>
#include <string>
#include <vector>

#if !defined(_WIN32)
#  include <fcntl.h>
#  include <sys/resource.h>
#  include <sys/stat.h>
#  include <unistd.h>
#endif

namespace fstest {

namespace fs = std::filesystem;

inline void MakeFile(const fs::path& path, const std::string& bytes = "x") {
    fs::create_directories(path.parent_path());
    brimtest::WriteBytes(path, bytes);
}

// Hidden entries have names beginning with a dot, which is what hides them on
// POSIX; on Windows they get the attribute as well.
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

inline CStringW Wide(const fs::path& path) { return CStringW(path.wstring().c_str()); }

#if !defined(_WIN32)
// A chain of depth folders named segment below root/top, each step relative
// to the last, so it may go past the system's path limit. Every level whose
// number is in filesAt also gets the file "f<level>.txt"; the deepest gets
// "leaf.txt". False if the file system refused a step.
inline bool MakeChain(const fs::path& root, const std::string& top, const std::string& segment, int depth,
                      std::initializer_list<int> filesAt = {}) {
    int level = open(root.c_str(), O_RDONLY | O_DIRECTORY);
    if (level < 0 || mkdirat(level, top.c_str(), 0755) != 0) return false;
    int next = openat(level, top.c_str(), O_RDONLY | O_DIRECTORY);
    close(level);
    level = next;
    for (int i = 1; i <= depth && level >= 0; ++i) {
        if (mkdirat(level, segment.c_str(), 0755) != 0) break;
        next = openat(level, segment.c_str(), O_RDONLY | O_DIRECTORY);
        close(level);
        level = next;
        bool wanted = i == depth;
        for (int at : filesAt) wanted = wanted || at == i;
        if (level < 0 || !wanted) continue;
        const std::string name = i == depth ? "leaf.txt" : "f" + std::to_string(i) + ".txt";
        const int file = openat(level, name.c_str(), O_CREAT | O_WRONLY, 0644);
        if (file >= 0) close(file);
    }
    if (level < 0) return false;
    close(level);
    return true;
}

// Leaves this process exactly headroom free descriptors for the life of the
// object: the soft limit just above the highest one open, and every free
// number below it taken by /dev/null (inherited descriptors leave holes).
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
