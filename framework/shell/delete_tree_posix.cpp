// Recursive deletion on POSIX, relative to open folders.
//
// Each folder is opened from its parent's descriptor with O_NOFOLLOW and
// O_DIRECTORY, and every removal names an entry of a folder held open. A name
// that turns into a symbolic link between listing and opening is removed as a
// link, so the walk never leaves the tree it was given even while the tree
// changes. The levels are an explicit stack, no recursion.
//
// Only the deepest kOpenLevels levels keep their folder open, so a tree of
// any depth is removed with a bounded number of descriptors. A level that was
// closed is opened again, on the way back up, as ".." of the level below it,
// and only if it is still the folder first entered (same device and inode):
// if the tree was rearranged meanwhile the deletion stops there instead of
// following the move out of the tree. A reopened level is read from its
// start again; what was removed from it is gone, so nothing is read twice.

#include "framework/shell/fs_platform.h"

#include "framework/errors/errno_posix.h"
#include "framework/errors/error_codes.h"
#include "framework/files/native_path_posix.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <cwchar>
#include <string>
#include <vector>

namespace brim::platform {
namespace {

// Levels kept open at once; deeper trees reopen the ones above on the way up.
constexpr std::size_t kOpenLevels = 32;

struct Level {
    DIR* dir;           // null while closed to save a descriptor
    std::string name;   // the folder's name within the level below it
    dev_t device;
    ino_t inode;
};

int OpenFolderAt(int parent, const char* name) {
    return openat(parent, name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
}

bool IsDotName(const char* name) { return name[0] == '.' && (name[1] == 0 || (name[1] == '.' && name[2] == 0)); }

class TreeRemover {
public:
    ~TreeRemover() {
        for (Level& level : m_levels)
            if (level.dir != nullptr) closedir(level.dir);
        if (m_parent >= 0) close(m_parent);
    }

    bool Run(const std::string& path);

private:
    bool Fail(int error) {
        SetLastError(error == ENOENT ? err::kPathNotFound : ErrnoToWin32(error));
        return false;
    }
    bool Enter(int folder, std::string name);
    bool RemoveEntry(const char* name, unsigned char type);
    bool LeaveFolder();
    bool ReopenAbove(int child);

    int m_parent = -1;   // the folder that holds the one given
    std::vector<Level> m_levels;
    std::size_t m_firstOpen = 0;   // levels below this index are closed
};

bool TreeRemover::Run(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    const std::string parent = slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
    const std::string base = slash == std::string::npos ? path : path.substr(slash + 1);
    m_parent = open(parent.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (m_parent < 0) return Fail(errno);
    const int top = OpenFolderAt(m_parent, base.c_str());
    if (top < 0 || !Enter(top, base)) return Fail(errno);
    while (!m_levels.empty()) {
        errno = 0;
        const struct dirent* entry = readdir(m_levels.back().dir);
        if (entry == nullptr) {
            if (errno != 0 || !LeaveFolder()) return Fail(errno);
        } else if (!IsDotName(entry->d_name) && !RemoveEntry(entry->d_name, entry->d_type)) {
            return Fail(errno);
        }
    }
    return true;
}

bool TreeRemover::Enter(int folder, std::string name) {
    struct stat st;
    DIR* dir = fstat(folder, &st) == 0 ? fdopendir(folder) : nullptr;
    if (dir == nullptr) {
        const int e = errno;
        close(folder);
        errno = e;
        return false;
    }
    m_levels.push_back(Level{dir, std::move(name), st.st_dev, st.st_ino});
    if (m_levels.size() - m_firstOpen > kOpenLevels) {
        closedir(m_levels[m_firstOpen].dir);
        m_levels[m_firstOpen++].dir = nullptr;
    }
    return true;
}

// Opens the closed level above the deepest one again through "..".
bool TreeRemover::ReopenAbove(int child) {
    Level& above = m_levels[m_levels.size() - 2];
    const int folder = openat(child, "..", O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (folder < 0) return false;
    struct stat st;
    if (fstat(folder, &st) != 0 || st.st_dev != above.device || st.st_ino != above.inode) {
        // Moved since it was entered: going on would leave the tree.
        close(folder);
        errno = ENOENT;
        return false;
    }
    above.dir = fdopendir(folder);
    if (above.dir == nullptr) {
        const int e = errno;
        close(folder);
        errno = e;
        return false;
    }
    --m_firstOpen;
    return true;
}

bool TreeRemover::RemoveEntry(const char* name, unsigned char type) {
    const int folder = dirfd(m_levels.back().dir);
    if (type == DT_UNKNOWN) {
        struct stat st;
        if (fstatat(folder, name, &st, AT_SYMLINK_NOFOLLOW) != 0) return false;
        type = S_ISDIR(st.st_mode) ? DT_DIR : DT_REG;
    }
    if (type == DT_DIR) {
        const int child = OpenFolderAt(folder, name);
        if (child >= 0) return Enter(child, name);
        // No longer a folder (a link or a file took its place): remove that.
        if (errno != ELOOP && errno != ENOTDIR) return false;
    }
    if (unlinkat(folder, name, 0) == 0) return true;
    if (errno != EISDIR && errno != EPERM) return false;
    // A folder took the name since it was listed.
    const int child = OpenFolderAt(folder, name);
    return child >= 0 && Enter(child, name);
}

bool TreeRemover::LeaveFolder() {
    if (m_levels.size() >= 2 && m_levels[m_levels.size() - 2].dir == nullptr &&
        !ReopenAbove(dirfd(m_levels.back().dir)))
        return false;
    const std::string name = std::move(m_levels.back().name);
    closedir(m_levels.back().dir);
    m_levels.pop_back();
    const int owner = m_levels.empty() ? m_parent : dirfd(m_levels.back().dir);
    return unlinkat(owner, name.c_str(), AT_REMOVEDIR) == 0;
}

}  // namespace

bool DeleteFolderTree(const wchar_t* folder) {
    std::string path;
    if (!NativePath(folder, path)) return false;
    while (path.size() > 1 && path.back() == '/') path.pop_back();
    if (path.empty()) {
        SetLastError(err::kPathNotFound);
        return false;
    }
    TreeRemover remover;
    return remover.Run(path);
}

}  // namespace brim::platform
