#include "framework/system/system.h"

#include "framework/errors/errno_posix.h"
#include "framework/codepages/text_codec.h"

#include <dirent.h>
#include <sys/mman.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <fstream>
#include <set>
#include <sstream>
#include <string>

namespace brim::platform {
namespace {

// File systems that hold no user data: the kernel's views and memory-backed ones.
bool IsPseudo(const std::string& type) {
    static const char* const kPseudo[] = {
        "proc",      "sysfs",     "devtmpfs", "devpts",    "tmpfs",      "ramfs",       "cgroup",  "cgroup2",
        "securityfs", "debugfs",  "tracefs",  "pstore",    "bpf",        "mqueue",      "hugetlbfs", "fusectl",
        "configfs",  "autofs",    "binfmt_misc", "efivarfs", "rpc_pipefs", "nsfs",      "squashfs", "fuse.gvfsd-fuse",
        "fuse.portal", "overlay", "selinuxfs", "none"};
    for (const char* p : kPseudo) {
        if (type == p) return true;
    }
    return false;
}

// mountinfo escapes blanks and backslashes in paths as \ooo.
std::string Unescape(const std::string& field) {
    std::string out;
    for (std::size_t k = 0; k < field.size(); ++k) {
        if (field[k] == '\\' && k + 3 < field.size()) {
            const std::string octal = field.substr(k + 1, 3);
            if (octal.size() == 3 && octal.find_first_not_of("01234567") == std::string::npos) {
                out.push_back(static_cast<char>(std::strtol(octal.c_str(), nullptr, 8)));
                k += 3;
                continue;
            }
        }
        out.push_back(field[k]);
    }
    return out;
}

std::wstring Wide(const std::string& s) { return detail::Utf8ToWide(s.data(), s.size()); }

std::string BaseName(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// The executable's name of one process: the file /proc/<pid>/exe points to,
// else the first word of its command line.
bool ProcessName(const std::string& pid, std::string& name) {
    char target[PATH_MAX];
    const ssize_t n = readlink(("/proc/" + pid + "/exe").c_str(), target, sizeof target - 1);
    if (n > 0) {
        std::string path(target, static_cast<std::size_t>(n));
        const std::string deleted = " (deleted)";
        if (path.size() > deleted.size() && path.compare(path.size() - deleted.size(), deleted.size(), deleted) == 0) {
            path.resize(path.size() - deleted.size());
        }
        name = BaseName(path);
        return !name.empty();
    }
    std::ifstream in("/proc/" + pid + "/cmdline", std::ios::binary);
    std::string first;
    if (!std::getline(in, first, '\0') || first.empty()) return false;
    name = BaseName(first);
    return !name.empty();
}

}  // namespace

bool DriveRoots(std::vector<std::wstring>& roots) {
    std::ifstream in("/proc/self/mountinfo");
    if (!in) return false;
    std::set<std::string> found{"/"};
    std::string line;
    while (std::getline(in, line)) {
        // id parent major:minor root mount-point options [optional...] - type source super-options
        std::istringstream fields(line);
        std::string id, parent, device, root, mountPoint, field;
        fields >> id >> parent >> device >> root >> mountPoint;
        while (fields >> field && field != "-") {
        }
        std::string type;
        fields >> type;
        if (mountPoint.empty() || type.empty() || IsPseudo(type)) continue;
        std::string path = Unescape(mountPoint);
        if (path.back() != '/') path += '/';
        found.insert(path);
    }
    for (const std::string& path : found) roots.push_back(Wide(path));   // sorted: "/" first
    return true;
}

bool SystemDriveRoot(std::wstring& root) {
    root = L"/";
    return true;
}

namespace {

// Windows always defines TEMP and TMP; a POSIX session usually defines
// neither, so they stand for the system's own temporary folder when unset.
bool IsTempName(const std::wstring& name) {
    return wcscasecmp(name.c_str(), L"TEMP") == 0 || wcscasecmp(name.c_str(), L"TMP") == 0;
}

const char* TempFolder() {
    const char* folder = std::getenv("TMPDIR");
    return folder != nullptr && folder[0] != 0 ? folder : "/tmp";
}

}  // namespace

DWORD ExpandEnvironment(const wchar_t* source, wchar_t* destination, DWORD size) {
    if (source == nullptr) {
        SetLastError(87);
        return 0;
    }
    std::wstring out;
    const wchar_t* p = source;
    while (*p != 0) {
        const wchar_t* close = *p == L'%' ? std::wcschr(p + 1, L'%') : nullptr;
        if (close == nullptr || close == p + 1) {
            // A lone % or "%%" stays as written.
            const std::size_t n = close == p + 1 ? 2 : 1;
            out.append(p, n);
            p += n;
            continue;
        }
        const std::wstring name(p + 1, close);
        const std::string narrow = detail::WideToUtf8(name.data(), name.size());
        const char* value = std::getenv(narrow.c_str());
        if (value == nullptr && IsTempName(name)) value = TempFolder();
        if (value != nullptr) out += detail::Utf8ToWide(value, std::strlen(value));
        else out.append(p, static_cast<std::size_t>(close - p) + 1);
        p = close + 1;
    }
    const DWORD needed = static_cast<DWORD>(out.size() + 1);
    if (destination != nullptr && needed <= size) {
        std::wmemcpy(destination, out.data(), out.size());
        destination[out.size()] = 0;
    }
    return needed;
}

bool VolumeSerial(const wchar_t* root, DWORD* serial) {
    if (root == nullptr) {
        SetLastError(87);
        return false;
    }
    struct statvfs info {};
    const std::string path = detail::WideToUtf8(root, std::wcslen(root));
    if (statvfs(path.c_str(), &info) != 0) {
        SetLastErrorFromErrno(errno);
        return false;
    }
    const unsigned long long id = info.f_fsid;
    *serial = static_cast<DWORD>(id ^ (id >> 32));
    return true;
}

bool ProcessNames(std::vector<std::wstring>& names) {
    DIR* proc = opendir("/proc");
    if (proc == nullptr) return false;
    while (const dirent* entry = readdir(proc)) {
        const std::string pid = entry->d_name;
        if (pid.empty() || pid.find_first_not_of("0123456789") != std::string::npos) continue;
        std::string name;
        if (ProcessName(pid, name)) names.push_back(Wide(name));
    }
    closedir(proc);
    return true;
}

bool MemoryCounters(ULONGLONG* workingSet, ULONGLONG* privateBytes) {
    std::ifstream in("/proc/self/status");
    if (!in) return false;
    std::string line;
    bool haveResident = false, haveData = false;
    while (std::getline(in, line)) {
        unsigned long long kib = 0;
        if (std::sscanf(line.c_str(), "VmRSS: %llu kB", &kib) == 1) {
            *workingSet = kib * 1024;
            haveResident = true;
        } else if (std::sscanf(line.c_str(), "VmData: %llu kB", &kib) == 1) {
            *privateBytes = kib * 1024;
            haveData = true;
        }
    }
    return haveResident && haveData;
}

// The language of the user's locale (LC_ALL, LC_MESSAGES, LANG) as a Windows
// language identifier; English (United States) when it is not one of these.
WORD UserDefaultLanguage() {
    const char* names[] = {"LC_ALL", "LC_MESSAGES", "LANG"};
    std::string locale;
    for (const char* name : names) {
        const char* value = std::getenv(name);
        if (value != nullptr && value[0] != 0) {
            locale = value;
            break;
        }
    }
    static const struct {
        const char* prefix;
        WORD language;
    } kLanguages[] = {{"ko", 0x0412}, {"ja", 0x0411}, {"zh_CN", 0x0804}, {"zh_TW", 0x0404}, {"zh_HK", 0x0C04},
                      {"de", 0x0407}, {"fr", 0x040C}, {"es", 0x0C0A}, {"it", 0x0410}, {"pt_BR", 0x0416},
                      {"pt", 0x0816}, {"ru", 0x0419}, {"en_GB", 0x0809}, {"nl", 0x0413}, {"pl", 0x0415}};
    for (const auto& entry : kLanguages) {
        if (locale.compare(0, std::strlen(entry.prefix), entry.prefix) == 0) return entry.language;
    }
    return 0x0409;
}

void AdviseLargeBlock(void* block, std::size_t bytes) {
    // madvise takes whole pages: the part of the block they cover.
    const auto page = static_cast<std::uintptr_t>(sysconf(_SC_PAGESIZE));
    const auto start = reinterpret_cast<std::uintptr_t>(block);
    const std::uintptr_t first = (start + page - 1) & ~(page - 1);
    const std::uintptr_t end = (start + bytes) & ~(page - 1);
    if (end > first) ::madvise(reinterpret_cast<void*>(first), end - first, MADV_HUGEPAGE);
}

}  // namespace brim::platform
