// The daily log. Everything a record touches (the object's members and the
// three statics below) is guarded by the named mutex "MutexBrimLog", which is
// held from LogPreFix to the end of Log.

#include <brim/log.h>

#include <brim/foundation.h>
#include <brim/text.h>

#include "foundation/platform.h"
#include "foundation/wformat.h"

#include <cwchar>
#include <ctime>

namespace {

int g_nLogLevel = 0;
CStringW g_strLogFolder(L"./Log/");
CMutex g_mutexLog(FALSE, L"MutexBrimLog");

constexpr std::size_t kTextCapacity = 8196;   // the formatted text, terminator included
constexpr int kNamePartLimit = 255;           // base name and extension of the source file, each

// Leaves the mutex however the scope is left, exceptions included.
class MutexRelease {
public:
    ~MutexRelease() { g_mutexLog.Unlock(); }
};

const wchar_t* LevelWord(int level) {
    switch (level) {
    case 0: return L"DEBUG ";
    case 1: return L"INFO  ";
    case 2: return L"ERROR ";
    default: return L"";
    }
}

// A time in local time, formatted with wcsftime (at most 127 characters).
CStringW FormatLocal(std::time_t when, const wchar_t* pattern) {
    std::tm local{};
    brim::platform::LocalTime(static_cast<long long>(when), local);
    wchar_t buffer[128];
    const std::size_t n = std::wcsftime(buffer, 128, pattern, &local);
    return CStringW(buffer, static_cast<int>(n));
}

// Base name and extension of a path written with either separator; each
// part keeps at most 255 characters.
CStringW BaseNameAndExtension(const CStringW& path) {
    int start = 0;
    for (int i = 0; i < path.GetLength(); ++i) {
        if (path[i] == L'\\' || path[i] == L'/' || (i == 1 && path[i] == L':')) start = i + 1;
    }
    const CStringW name = path.Mid(start);
    const int dot = name.ReverseFind(L'.');
    const CStringW base = dot < 0 ? name : name.Left(dot);
    const CStringW ext = dot < 0 ? CStringW() : name.Mid(dot);
    return base.Left(kNamePartLimit) + ext.Left(kNamePartLimit);
}

}  // namespace

CBrimLog _brimLog;

CBrimLog::CBrimLog() : m_nLine(0) {}

CBrimLog::CBrimLog(const CBrimLog& other) = default;

CBrimLog& CBrimLog::operator=(const CBrimLog& other) = default;

CBrimLog::~CBrimLog() = default;

void CBrimLog::Init(const int& level, const wchar_t* folder) {
    g_mutexLog.Lock();
    MutexRelease release;
    g_strLogFolder = folder;   // null gives an empty folder: the current directory
    g_nLogLevel = level;
}

void CBrimLog::LogPreFix(const char* file, const int& line, const char* function) {
    g_mutexLog.Lock();   // released by Log
    const std::time_t now = std::time(nullptr);
    if (function != nullptr) m_strFunction = function;
    m_strFile = BaseNameAndExtension(CStringW(file));
    m_nLine = line;
    m_strLine = FormatLocal(now, L"[%Y-%m-%d %X] ");
}

void CBrimLog::Log(int level, const wchar_t* format, ...) {
    MutexRelease release;
    if (level < g_nLogLevel) return;

    m_strLine += LevelWord(level);
    if (g_nLogLevel == 0) {
        m_strLine.AppendFormat(L"%-22s %-44s (%5d) - ", m_strFile.GetString(), m_strFunction.GetString(), m_nLine);
    }

    wchar_t buffer[kTextCapacity];
    va_list args;
    va_start(args, format);
    brim::detail::FormatBoundedV(buffer, kTextCapacity, format, args);
    va_end(args);

    CStringW text(buffer);
    text.TrimRight(L"\r\n");
    if (text.Find(L"\r\n") > 0) m_strLine += L"\r\n\t";   // a multi-line text starts on its own line
    text += L"\r\n";
    text.Replace(L"\r\n", L"\r\n\t");
    text.TrimRight(L'\t');
    m_strLine += text;

    _writefile(m_strLine);
}

void CBrimLog::_writefile(const wchar_t* text) {
    // The date is read again: a record stamped just before midnight may land
    // in the next day's file.
    const CStringW path = g_strLogFolder + FormatLocal(std::time(nullptr), L"%Y-%m-%d") + L".log";
    brim::platform::FolderCreate(g_strLogFolder);   // usually there already; failure shows at the open
    try {
        CBrimFile file;
        file.SetFilename(path);
        file.WriteUTF8(text);
    } catch (CBrimException* e) {
        const CStringW message = e->GetMessageW();
        e->Delete();
        throw new CBrimException(L"%s", message.GetString());
    }
}
