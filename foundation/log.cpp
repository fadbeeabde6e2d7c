// The daily log. Everything a record touches (the object's members, the
// statics below and the caches after them) is guarded by the log's lock,
// which is held from LogPreFix to the end of Log: a private mutex that
// serialises this process's threads, then the named mutex "MutexBrimLog"
// that serialises processes (see LogLock).
//
// A record costs little more than the system calls that append it: the text
// is built in place in m_strLine's own block, and what depends only on the
// second or on the call site is worked out once (see the caches).

#include <brim/log.h>

#include <brim/foundation.h>
#include <brim/text.h>

#include "framework/errors/error_codes.h"
#include "framework/files/path_split.h"
#include "framework/files/file_platform.h"
#include "framework/system/clock.h"
#include "framework/strings/wformat.h"
#include "text/append_utf8.h"

#include "framework/sync/mutex_platform.h"

#include <algorithm>
#include <chrono>
#include <climits>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <cwchar>
#include <string>
#include <thread>
#include <vector>

namespace {

int g_nLogLevel = 0;
CStringW g_strLogFolder(L"./Log/");

constexpr std::size_t kTextCapacity = 8196;   // the formatted text, terminator included
constexpr int kNamePartLimit = 255;           // base name and extension of the source file, each
constexpr std::size_t kTimeCapacity = 128;    // a wcsftime result, terminator included
constexpr char kUtf8MarkBytes[] = {'\xEF', '\xBB', '\xBF'};

// --- the lock ------------------------------------------------------------------
// The private mutex is always had, so the statics are never touched unlocked.
// The named one may be unusable (its folder made by another user, or with
// the wrong owner or mode, a full disk): this process then goes on logging,
// ordered among its own threads only, says so once on standard error, and
// LogPreFix leaves the reason as the thread's last error. Records of other
// processes writing the same day file may then be refused by its sharing
// rules, never interleaved.
class LogLock {
public:
    LogLock()
        : m_private(brim::platform::MutexCreate(nullptr)), m_named(brim::platform::MutexCreate(L"MutexBrimLog")) {}
    ~LogLock() {
        brim::platform::MutexDestroy(m_named);
        brim::platform::MutexDestroy(m_private);
    }
    LogLock(const LogLock&) = delete;
    LogLock& operator=(const LogLock&) = delete;

    // True when the named mutex was taken over from a holder that died.
    bool Take() {
        using brim::platform::WaitResult;
        brim::platform::MutexLock(m_private, INFINITE);   // waits for its owner, never fails
        const WaitResult named = brim::platform::MutexLock(m_named, INFINITE);
        const bool held = named == WaitResult::Acquired || named == WaitResult::Abandoned;
        t_namedHeld.push_back(held);
        if (!held) SayUnusableOnce();
        return named == WaitResult::Abandoned;
    }
    void Leave() {
        // Without a matching Take (a Log without LogPreFix) both unlocks fail harmlessly.
        const bool named = t_namedHeld.empty() || t_namedHeld.back();
        if (!t_namedHeld.empty()) t_namedHeld.pop_back();
        const DWORD error = GetLastError();   // the named wait's reason outlives the record
        if (named) brim::platform::MutexUnlock(m_named);
        brim::platform::MutexUnlock(m_private);
        SetLastError(error);
    }

private:
    void SayUnusableOnce() {
        const DWORD error = GetLastError();
        if (!m_said) {
            m_said = true;   // under the private mutex
            CStringW reason = CBrimUtil::MessageError(error);
            reason.TrimRight();
            std::fprintf(stderr, "brim: the log's mutex \"MutexBrimLog\" cannot be used (%lu: %ls); this process's records are ordered among its own threads only\n",
                         static_cast<unsigned long>(error), reason.GetString());
        }
        SetLastError(error);
    }

    brim::platform::Mutex* m_private;
    brim::platform::Mutex* m_named;
    bool m_said = false;
    // Per nesting level of the calling thread: whether it holds the named mutex.
    static thread_local std::vector<bool> t_namedHeld;
};
thread_local std::vector<bool> LogLock::t_namedHeld;

LogLock g_lock;

// Leaves the lock however the scope is left, exceptions included.
class LockRelease {
public:
    ~LockRelease() { g_lock.Leave(); }
};

const wchar_t* LevelWord(int level) {
    switch (level) {
    case 0: return L"DEBUG ";
    case 1: return L"INFO  ";
    case 2: return L"ERROR ";
    default: return L"";
    }
}

// Base name and extension of a path written with either separator; each
// part keeps at most 255 characters.
CStringW BaseNameAndExtension(const char* path) {
    const CStringW whole(path);
    int start = 0;
    for (int i = 0; i < whole.GetLength(); ++i) {
        if (whole[i] == L'\\' || whole[i] == L'/' || (i == 1 && whole[i] == L':')) start = i + 1;
    }
    const CStringW name = whole.Mid(start);
    const int dot = name.ReverseFind(L'.');
    const CStringW base = dot < 0 ? name : name.Left(dot);
    const CStringW ext = dot < 0 ? CStringW() : name.Mid(dot);
    return base.Left(kNamePartLimit) + ext.Left(kNamePartLimit);
}

CStringW AnsiName(const char* name) { return CStringW(name); }

// --- caches ------------------------------------------------------------------
// Records come many to a second and from few call sites. Each cache is
// rebuilt as soon as its input differs, so the records read exactly as if
// everything were worked out anew; a host that changes its locale or time
// zone sees the change from the next second on.

// The stamp and the day of one second, in local time.
struct Second {
    long long value = LLONG_MIN;
    wchar_t stamp[kTimeCapacity] = {};
    std::size_t stampLength = 0;
    wchar_t day[kTimeCapacity] = {};
};
Second g_second;

const Second& SecondOf(std::time_t now) {
    if (g_second.value != static_cast<long long>(now)) {
        std::tm local{};
        brim::platform::LocalTime(static_cast<long long>(now), local);
        // wcsftime gives 0 for a result that does not fit; the text is then empty.
        g_second.stampLength = std::wcsftime(g_second.stamp, kTimeCapacity, L"[%Y-%m-%d %X] ", &local);
        g_second.stamp[g_second.stampLength] = 0;
        const std::size_t dayLength = std::wcsftime(g_second.day, kTimeCapacity, L"%Y-%m-%d", &local);
        g_second.day[dayLength] = 0;
        g_second.value = static_cast<long long>(now);
    }
    return g_second;
}

// A narrow name converted once for as long as the same text comes again.
class NameCache {
public:
    explicit NameCache(CStringW (*convert)(const char*)) : m_convert(convert) {}

    const CStringW& Get(const char* raw) {
        if (raw == nullptr) raw = "";
        if (!m_valid || std::strcmp(raw, m_raw.c_str()) != 0) {
            m_valid = false;   // stays so if the conversion throws
            m_value = m_convert(raw);
            m_raw = raw;
            m_valid = true;
        }
        return m_value;
    }

private:
    CStringW (*m_convert)(const char*);
    std::string m_raw;
    CStringW m_value;
    bool m_valid = false;
};
NameCache g_fileNames(BaseNameAndExtension);
NameCache g_functionNames(AnsiName);

// The day file's path for the folder and day it was built from.
struct DayFile {
    CStringW folder;   // shares the block of g_strLogFolder it was built from
    wchar_t day[kTimeCapacity] = {};
    CStringW path;
};
DayFile g_dayFile;

const CStringW& DayFilePath(const wchar_t* day) {
    // Init gives the folder a new block, so the block's address tells a change.
    if (g_dayFile.folder.GetString() != g_strLogFolder.GetString() || std::wcscmp(g_dayFile.day, day) != 0) {
        g_dayFile.path = g_strLogFolder + day + L".log";
        g_dayFile.folder = g_strLogFolder;
        std::wcscpy(g_dayFile.day, day);
    }
    return g_dayFile.path;
}

// --- building the record -----------------------------------------------------

// Appends to a string within room reserved up front, then sets its length.
// The prefix's padding is written here rather than through the library's
// formatter: on a record that costs a few system calls, the formatter's
// general path for "%-22s %-44s (%5d) - " took about a tenth of the time.
class RecordWriter {
public:
    RecordWriter(CStringW& line, std::size_t room) : m_line(line), m_start(line.GetLength()) {
        if (room > static_cast<std::size_t>(INT_MAX - m_start)) throw CMemoryException::Instance();
        m_at = m_begin = line.GetBuffer(m_start + static_cast<int>(room)) + m_start;
    }
    void Put(const wchar_t* text, std::size_t n) {
        std::wmemcpy(m_at, text, n);
        m_at += n;
    }
    void Put(const wchar_t* text) { Put(text, std::wcslen(text)); }
    void Put(wchar_t ch) { *m_at++ = ch; }
    void Fill(wchar_t ch, std::size_t n) {
        std::wmemset(m_at, ch, n);
        m_at += n;
    }
    // text left-aligned in at least width columns ("%-*s").
    void PutLeft(const CStringW& text, std::size_t width) {
        const auto n = static_cast<std::size_t>(text.GetLength());
        Put(text.GetString(), n);
        if (n < width) Fill(L' ', width - n);
    }
    // value right-aligned in at least width columns ("%*d").
    void PutRight(int value, std::size_t width) {
        wchar_t digits[16];
        wchar_t* first = digits + 16;
        unsigned magnitude = value < 0 ? 0u - static_cast<unsigned>(value) : static_cast<unsigned>(value);
        do {
            *--first = static_cast<wchar_t>(L'0' + magnitude % 10);
            magnitude /= 10;
        } while (magnitude != 0);
        if (value < 0) *--first = L'-';
        const auto n = static_cast<std::size_t>(digits + 16 - first);
        if (n < width) Fill(L' ', width - n);
        Put(first, n);
    }
    void Finish() { m_line.ReleaseBuffer(m_start + static_cast<int>(m_at - m_begin)); }

private:
    CStringW& m_line;
    int m_start;
    wchar_t* m_begin = nullptr;
    wchar_t* m_at = nullptr;
};

constexpr std::size_t kFileColumns = 22, kFunctionColumns = 44, kLineColumns = 5;
constexpr std::size_t kLevelWordLength = 6;

// The "%-22s %-44s (%5d) - " prefix: its longest form for these names.
std::size_t PrefixRoom(const CStringW& file, const CStringW& function) {
    const auto atLeast = [](int n, std::size_t width) { return static_cast<std::size_t>(n) > width ? static_cast<std::size_t>(n) : width; };
    return atLeast(file.GetLength(), kFileColumns) + 1 + atLeast(function.GetLength(), kFunctionColumns) + 2 + 11 + 4;
}

void PutPrefix(RecordWriter& out, const CStringW& file, const CStringW& function, int line) {
    out.PutLeft(file, kFileColumns);
    out.Put(L' ');
    out.PutLeft(function, kFunctionColumns);
    out.Put(L" (", 2);
    out.PutRight(line, kLineColumns);
    out.Put(L") - ", 4);
}

bool LineBreakAt(const wchar_t* text, std::size_t n, std::size_t i) { return i + 1 < n && text[i] == L'\r' && text[i + 1] == L'\n'; }

// Room for the text as PutText writes it: each CR LF grows by a tab, and a
// leading break and the closing CR LF come on top.
std::size_t TextRoom(std::size_t n) { return n + n / 2 + 6; }

// The text without its trailing CR and LF characters. A multi-line text (a
// CR LF after its first character) starts on a line of its own; every inner
// line break is followed by a tab, and the record ends in one CR LF. A bare
// LF is no line break.
void PutText(RecordWriter& out, const wchar_t* text, std::size_t n) {
    while (n > 0 && (text[n - 1] == L'\r' || text[n - 1] == L'\n')) --n;
    std::size_t later = 1;   // a CR LF at the very start does not count
    while (later < n && !LineBreakAt(text, n, later)) ++later;
    if (later < n) out.Put(L"\r\n\t", 3);
    std::size_t run = 0;   // start of the text not yet put
    for (std::size_t i = 0; i < n;) {
        if (LineBreakAt(text, n, i)) {
            out.Put(text + run, i - run);
            out.Put(L"\r\n\t", 3);
            i += 2;
            run = i;
        } else {
            ++i;
        }
    }
    out.Put(text + run, n - run);
    out.Put(L"\r\n", 2);
}

// Replaces the whole of line with text, reusing its block when it can.
void SetLine(CStringW& line, const wchar_t* text, std::size_t n) {
    const int length = static_cast<int>(n);   // below kTimeCapacity
    std::wmemcpy(line.GetBuffer(length), text, n);
    line.ReleaseBuffer(length);
}

// Appends the record to the day file, creating the folder (one level) when
// it is missing. A folder that ends with a separator holds the file, so the
// folder is created only when the open finds it missing, rather than asking
// for it before every record; the files and folders that result are the same.
void AppendRecord(const CStringW& folder, const CStringW& path, const wchar_t* text) {
    const int n = folder.GetLength();
    const bool holdsFile = n == 0 || brim::platform::IsPathSeparator(folder[n - 1]);
    if (!holdsFile) brim::platform::FolderCreate(folder);   // result ignored: the open tells
    if (brim::detail::AppendUtf8(path, text) || !holdsFile) return;
    if (GetLastError() != brim::err::kPathNotFound) return;
    if (brim::platform::FolderCreate(folder) || GetLastError() == brim::err::kAlreadyExists) brim::detail::AppendUtf8(path, text);
}

// A holder that died inside a record may still hold the day file open (a
// dead process's files are closed after its mutexes are handed on) and may
// have left its record without the line break. Waits, bounded, until the
// file opens for this process alone, then ends a torn last line, so that
// the next record is written and starts a line of its own.
void SettleAfterDeadHolder(const CStringW& path) {
    constexpr auto kPatience = std::chrono::seconds(5);
    const auto deadline = std::chrono::steady_clock::now() + kPatience;
    auto pause = std::chrono::milliseconds(1);
    CFile file;
    while (!file.Open(path, CFile::modeReadWrite | CFile::typeBinary)) {   // no share flag: alone
        if (GetLastError() != brim::err::kSharingViolation || std::chrono::steady_clock::now() >= deadline) return;
        std::this_thread::sleep_for(pause);
        pause = std::min(pause * 2, std::chrono::milliseconds(50));
    }
    try {
        char last = '\n';
        if (file.GetLength() > sizeof kUtf8MarkBytes) {
            file.Seek(-1, CFile::end);
            file.Read(&last, 1);
        }
        if (last != '\n') {
            file.SeekToEnd();
            file.Write("\r\n", 2);
        }
        file.Close();
    } catch (CFileException* e) {
        e->Delete();   // the record that follows meets the same fault and reports it
    }
}

// Set when this process took the named mutex over from a dead holder; the
// next record written settles its day file first (an Init that took it over
// may be about to change the folder).
bool g_settlePending = false;

// Takes the lock for a record or Init.
void TakeLock() {
    if (g_lock.Take()) g_settlePending = true;
}

}  // namespace

CBrimLog _brimLog;

CBrimLog::CBrimLog() : m_nLine(0) {}

CBrimLog::CBrimLog(const CBrimLog& other) = default;

CBrimLog& CBrimLog::operator=(const CBrimLog& other) = default;

CBrimLog::~CBrimLog() = default;

void CBrimLog::Init(const int& level, const wchar_t* folder) {
    TakeLock();
    LockRelease release;
    g_strLogFolder = folder;   // null gives an empty folder: the current directory
    g_nLogLevel = level;
}

void CBrimLog::LogPreFix(const char* file, const int& line, const char* function) {
    TakeLock();   // released by Log
    try {
        const std::time_t now = std::time(nullptr);
        if (function != nullptr) m_strFunction = g_functionNames.Get(function);
        m_strFile = g_fileNames.Get(file);
        m_nLine = line;
        const Second& second = SecondOf(now);
        SetLine(m_strLine, second.stamp, second.stampLength);
    } catch (...) {
        // No record was started, so no Log will follow to let the lock go.
        g_lock.Leave();
        throw;
    }
}

void CBrimLog::Log(int level, const wchar_t* format, ...) {
    LockRelease release;
    if (level < g_nLogLevel) return;

    wchar_t text[kTextCapacity];
    va_list args;
    va_start(args, format);
    brim::detail::FormatBoundedV(text, kTextCapacity, format, args);
    va_end(args);
    const std::size_t textLength = std::wcslen(text);   // up to a zero that an argument brought in

    const bool prefix = g_nLogLevel == 0;
    RecordWriter out(m_strLine, kLevelWordLength + (prefix ? PrefixRoom(m_strFile, m_strFunction) : 0) + TextRoom(textLength));
    out.Put(LevelWord(level));
    if (prefix) PutPrefix(out, m_strFile, m_strFunction, m_nLine);
    PutText(out, text, textLength);
    out.Finish();

    _writefile(m_strLine);
}

void CBrimLog::_writefile(const wchar_t* text) {
    // The date is read again: a record stamped just before midnight may land
    // in the next day's file.
    const CStringW& path = DayFilePath(SecondOf(std::time(nullptr)).day);
    if (g_settlePending) {
        g_settlePending = false;
        SettleAfterDeadHolder(path);
    }
    try {
        AppendRecord(g_strLogFolder, path, text);
    } catch (CBrimException* e) {
        const CStringW message = e->GetMessageW();
        e->Delete();
        throw new CBrimException(L"%s", message.GetString());
    }
}
