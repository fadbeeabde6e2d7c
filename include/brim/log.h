// BrimCommon: the daily log.
//
// One record takes two calls on the same object and thread: LogPreFix stamps
// the time and the source location and takes the log's named mutex; Log adds
// the level word and the text, writes the line to the day's file and lets the
// mutex go. Records of all threads and of all processes of the user that use
// the library never interleave. Hosts normally write one line per record:
//
//   BRIM_LOG(1, L"opened %s (%d bytes)", name, size);
#pragma once

#include <brim/framework.h>

class BRIM_API CBrimLog {
public:
    CBrimLog();
    CBrimLog(const CBrimLog& other);
    CBrimLog& operator=(const CBrimLog& other);
    ~CBrimLog();

    // Sets the threshold (records below it are dropped; 0 also adds the
    // source location to every record) and the folder, used as a prefix of the
    // day file's path (null: the current folder). Waits for a record in progress.
    static void Init(const int& level, const wchar_t* folder);

    // Takes the log's mutex and starts a record. file and function are
    // narrow strings in the ANSI code page; a null function keeps the
    // previous one. Must be followed by exactly one Log on the same thread.
    void LogPreFix(const char* file, const int& line, const char* function);

    // Completes, filters and writes the record, and releases the mutex on
    // every path. Level words: 0 "DEBUG ", 1 "INFO  ", 2 "ERROR ". A failure
    // to write reaches the caller as CBrimException*.
    void Log(int level, const wchar_t* format, ...);

private:
    void _writefile(const wchar_t* text);

    CStringW m_strLine;
    CStringW m_strFile;
    CStringW m_strFunction;
    int m_nLine;
};

// The library's log, constructed when the library is loaded.
extern BRIM_API CBrimLog _brimLog;

#if defined(_MSC_VER)
#  define BRIM_LOG_FUNCTION __FUNCTION__
#else
#  define BRIM_LOG_FUNCTION __func__
#endif

// One record through the global log, with the caller's file, line and function.
#define BRIM_LOG(level, ...) \
    (_brimLog.LogPreFix(__FILE__, __LINE__, BRIM_LOG_FUNCTION), _brimLog.Log((level), __VA_ARGS__))
