// Profile files on POSIX: UTF-8 INI files, read under a shared and replaced
// under an exclusive OFD lock, so processes sharing a file see whole updates
// and lose none. Relative names live in the user's configuration folder.

#include "framework/app/profile.h"

#include "framework/system/config_folder_posix.h"
#include "framework/errors/errno_posix.h"
#include "framework/strings/fold_posix.h"
#include "framework/codepages/text_codec.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cwchar>
#include <string>
#include <vector>

namespace brim::platform {
namespace {

std::string FilePath(const wchar_t* file, bool makeFolder) {
    std::string path = detail::WideToUtf8(file, std::wcslen(file));
    if (!path.empty() && path[0] == '/') return path;
    const std::string folder = UserConfigFolder();
    if (makeFolder) MakeUserConfigFolder(folder);
    return folder + "/" + path;
}

// An open profile file with an OFD lock on the whole of it. A change is
// written to a new file that then replaces the old one, so a writer killed
// midway leaves the old file whole. Whoever waited on the replaced file finds
// it is no longer the one at the path, and opens and locks the new one.
// There is no cap on those turns: each one means another process committed a
// change, so the loop lasts only while others keep writing, and a waiter that
// gave up after a fixed count lost its own change to a merely busy file.
class LockedFile {
public:
    LockedFile(const std::string& path, bool write) : m_path(path) {
        while (m_fd < 0) {
            const int fd = open(path.c_str(), write ? O_RDWR | O_CREAT | O_CLOEXEC : O_RDONLY | O_CLOEXEC, 0600);
            if (fd < 0) return;
            struct flock lock {};
            lock.l_type = write ? F_WRLCK : F_RDLCK;
            lock.l_whence = SEEK_SET;
            int rc;
            while ((rc = fcntl(fd, F_OFD_SETLKW, &lock)) != 0 && errno == EINTR) {
            }
            struct stat held {}, current {};
            if (rc == 0 && fstat(fd, &held) == 0 && stat(path.c_str(), &current) == 0 && held.st_dev == current.st_dev &&
                held.st_ino == current.st_ino) {
                m_fd = fd;
                return;
            }
            const int error = errno;
            close(fd);
            if (rc != 0) {
                errno = error;
                return;
            }
        }
    }
    ~LockedFile() {
        if (m_fd >= 0) close(m_fd);
    }
    LockedFile(const LockedFile&) = delete;
    LockedFile& operator=(const LockedFile&) = delete;

    bool Ok() const { return m_fd >= 0; }

    bool ReadAll(std::string& text) const {
        char buffer[8192];
        off_t offset = 0;
        for (;;) {
            const ssize_t n = pread(m_fd, buffer, sizeof buffer, offset);
            if (n < 0 && errno == EINTR) continue;
            if (n < 0) return false;
            if (n == 0) return true;
            text.append(buffer, static_cast<std::size_t>(n));
            offset += n;
        }
    }

    bool Replace(const std::string& text) const {
        const std::string temporary = m_path + ".new-" + std::to_string(getpid());
        const int fd = open(temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
        if (fd < 0) return false;
        std::size_t done = 0;
        bool ok = true;
        while (ok && done < text.size()) {
            const ssize_t n = write(fd, text.data() + done, text.size() - done);
            if (n < 0 && errno == EINTR) continue;
            ok = n > 0;
            if (ok) done += static_cast<std::size_t>(n);
        }
        struct stat old {};
        if (ok && fstat(m_fd, &old) == 0) fchmod(fd, old.st_mode & 07777);
        ok = ok && fsync(fd) == 0;
        close(fd);
        if (ok && rename(temporary.c_str(), m_path.c_str()) == 0) return true;
        const int error = errno;
        unlink(temporary.c_str());
        errno = error;
        return false;
    }

private:
    std::string m_path;
    int m_fd = -1;
};

std::wstring Trim(const std::wstring& s) {
    const std::size_t first = s.find_first_not_of(L" \t");
    if (first == std::wstring::npos) return {};
    return s.substr(first, s.find_last_not_of(L" \t") - first + 1);
}

// The file as lines (wide, without line ends).
struct Lines {
    std::vector<std::wstring> lines;
    bool crlf = false;

    explicit Lines(const std::string& bytes) {
        std::size_t start = bytes.compare(0, 3, "\xEF\xBB\xBF") == 0 ? 3 : 0;
        while (start < bytes.size()) {
            std::size_t end = bytes.find('\n', start);
            if (end == std::string::npos) end = bytes.size();
            std::size_t stop = end;
            if (stop > start && bytes[stop - 1] == '\r') {
                --stop;
                crlf = true;
            }
            lines.push_back(detail::Utf8ToWide(bytes.data() + start, stop - start));
            start = end + 1;
        }
    }

    std::string Join() const {
        std::string out;
        for (const std::wstring& line : lines) {
            out += detail::WideToUtf8(line.data(), line.size());
            out += crlf ? "\r\n" : "\n";
        }
        return out;
    }

    static bool IsSection(const std::wstring& line, std::wstring* name) {
        const std::wstring t = Trim(line);
        if (t.empty() || t[0] != L'[') return false;
        const std::size_t close = t.find(L']');
        *name = Trim(t.substr(1, close == std::wstring::npos ? std::wstring::npos : close - 1));
        return true;
    }

    static bool IsEntry(const std::wstring& line, std::wstring* key, std::wstring* value) {
        const std::size_t eq = line.find(L'=');
        if (eq == std::wstring::npos || Trim(line).compare(0, 1, L";") == 0) return false;
        *key = Trim(line.substr(0, eq));
        *value = Trim(line.substr(eq + 1));
        return true;
    }

    // [first, last) are the section's lines after its header; false if absent.
    bool FindSection(const std::wstring& section, std::size_t* header, std::size_t* last) const {
        const std::wstring wanted = FoldCase(section);
        std::wstring name;
        for (std::size_t k = 0; k < lines.size(); ++k) {
            if (!IsSection(lines[k], &name) || FoldCase(name) != wanted) continue;
            *header = k;
            std::size_t end = k + 1;
            while (end < lines.size() && !IsSection(lines[end], &name)) ++end;
            *last = end;
            return true;
        }
        return false;
    }

    bool FindEntry(std::size_t first, std::size_t last, const std::wstring& entry, std::size_t* at,
                   std::wstring* value) const {
        const std::wstring wanted = FoldCase(entry);
        std::wstring key;
        for (std::size_t k = first; k < last; ++k) {
            if (IsEntry(lines[k], &key, value) && FoldCase(key) == wanted) {
                *at = k;
                return true;
            }
        }
        return false;
    }
};

bool Lookup(const wchar_t* file, const wchar_t* section, const wchar_t* entry, std::wstring* value) {
    if (file == nullptr || section == nullptr || entry == nullptr) return false;
    const LockedFile f(FilePath(file, false), false);
    std::string bytes;
    if (!f.Ok() || !f.ReadAll(bytes)) return false;
    const Lines lines(bytes);
    std::size_t header = 0, last = 0, at = 0;
    if (!lines.FindSection(section, &header, &last) || !lines.FindEntry(header + 1, last, entry, &at, value)) {
        return false;
    }
    // A value in matching quotes loses them.
    if (value->size() >= 2 && (value->front() == L'"' || value->front() == L'\'') && value->back() == value->front()) {
        *value = value->substr(1, value->size() - 2);
    }
    return true;
}

}  // namespace

std::wstring ProfileGetString(const wchar_t* file, const wchar_t* section, const wchar_t* entry,
                              const wchar_t* defaultValue) {
    std::wstring value;
    if (Lookup(file, section, entry, &value)) return value;
    return defaultValue != nullptr ? Trim(defaultValue) : std::wstring();
}

UINT ProfileGetInt(const wchar_t* file, const wchar_t* section, const wchar_t* entry, int defaultValue) {
    std::wstring value;
    if (!Lookup(file, section, entry, &value) || value.empty()) return static_cast<UINT>(defaultValue);
    std::size_t k = 0;
    const bool negative = value[0] == L'-';
    if (value[0] == L'-' || value[0] == L'+') k = 1;
    UINT result = 0;
    for (; k < value.size() && value[k] >= L'0' && value[k] <= L'9'; ++k) {
        result = result * 10 + static_cast<UINT>(value[k] - L'0');
    }
    return negative ? 0u - result : result;
}

bool ProfileWriteString(const wchar_t* file, const wchar_t* section, const wchar_t* entry, const wchar_t* value) {
    if (file == nullptr || section == nullptr) {
        SetLastError(87);
        return false;
    }
    const LockedFile f(FilePath(file, true), true);
    std::string bytes;
    if (!f.Ok() || !f.ReadAll(bytes)) {
        SetLastErrorFromErrno(errno);
        return false;
    }
    Lines lines(bytes);
    std::size_t header = 0, last = 0, at = 0;
    const bool hasSection = lines.FindSection(section, &header, &last);
    std::wstring old;
    if (entry == nullptr) {
        if (!hasSection) return true;
        lines.lines.erase(lines.lines.begin() + static_cast<std::ptrdiff_t>(header),
                          lines.lines.begin() + static_cast<std::ptrdiff_t>(last));
    } else if (value == nullptr) {
        if (!hasSection || !lines.FindEntry(header + 1, last, entry, &at, &old)) return true;
        lines.lines.erase(lines.lines.begin() + static_cast<std::ptrdiff_t>(at));
    } else {
        const std::wstring line = std::wstring(entry) + L"=" + value;
        if (hasSection && lines.FindEntry(header + 1, last, entry, &at, &old)) {
            std::wstring key;
            Lines::IsEntry(lines.lines[at], &key, &old);
            lines.lines[at] = key + L"=" + value;   // keeps the entry's own spelling
        } else if (hasSection) {
            std::size_t insert = last;
            while (insert > header + 1 && Trim(lines.lines[insert - 1]).empty()) --insert;
            lines.lines.insert(lines.lines.begin() + static_cast<std::ptrdiff_t>(insert), line);
        } else {
            lines.lines.push_back(L"[" + std::wstring(section) + L"]");
            lines.lines.push_back(line);
        }
    }
    if (!f.Replace(lines.Join())) {
        SetLastErrorFromErrno(errno);
        return false;
    }
    return true;
}

}  // namespace brim::platform
