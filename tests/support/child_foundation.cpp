// Child commands of the foundation tests: named mutexes, files, the log.
#include "tests/support/child.h"

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <thread>

namespace brimchild {

int RunFoundationCommand(const std::vector<CStringW>& args) {
    const CStringW& command = args[0];
    if (command == L"hold-mutex") {
        CMutex mutex(FALSE, args[1]);
        if (!mutex.Lock()) return 3;
        Say("locked");
        AwaitLine();
        mutex.Unlock();
        Say("released");
        return 0;
    }
    if (command == L"wait-mutex") {
        CMutex mutex(FALSE, args[1]);
        Say("waiting");
        if (!mutex.Lock()) return 3;
        Say("acquired");
        mutex.Unlock();
        return 0;
    }
    if (command == L"try-mutex") {
        CMutex mutex(FALSE, args[1]);
        if (mutex.Lock(0)) {
            Say("acquired");
            mutex.Unlock();
        } else {
            Say("busy");
        }
        return 0;
    }
    if (command == L"count-mutex" && args.size() == 4) {
        // Adds one to the number in a file, count times, each under the mutex.
        CMutex mutex(FALSE, args[1]);
        const long count = std::wcstol(args[3], nullptr, 10);
        for (long i = 0; i < count; ++i) {
            if (!mutex.Lock()) return 3;
            CFile file;
            if (!file.Open(args[2], CFile::modeReadWrite | CFile::shareDenyNone)) return 4;
            char digits[32] = {};
            file.Read(digits, sizeof digits - 1);
            const int n = std::snprintf(digits, sizeof digits, "%ld", std::strtol(digits, nullptr, 10) + 1);
            file.SeekToBegin();
            file.Write(digits, static_cast<UINT>(n));
            file.Close();
            mutex.Unlock();
        }
        Say("done");
        return 0;
    }
    if (command == L"open-file" && args.size() == 3) {
        CFile file;
        CFileException error;
        const UINT flags = static_cast<UINT>(std::wcstoul(args[2], nullptr, 16));
        if (!file.Open(args[1], flags, &error)) {
            std::printf("fail %d\n", error.m_cause);
            std::fflush(stdout);
            return 0;
        }
        Say("open");
        AwaitLine();
        return 0;
    }
    if (command == L"log-write" && args.size() == 5) {
        CBrimLog::Init(0, args[1]);
        const int threads = static_cast<int>(std::wcstol(args[2], nullptr, 10));
        const int count = static_cast<int>(std::wcstol(args[3], nullptr, 10));
        const CStringW tag = args[4];
        std::vector<std::thread> workers;
        for (int t = 0; t < threads; ++t) {
            workers.emplace_back([&, t] {
                for (int i = 0; i < count; ++i) BRIM_LOG(1, L"%s t%d i%d", tag.GetString(), t, i);
            });
        }
        for (auto& w : workers) w.join();
        Say("done");
        return 0;
    }
    if (command == L"log-stall") {
        CBrimLog::Init(0, args[1]);
        _brimLog.LogPreFix(__FILE__, __LINE__, "stall");
        Say("prefixed");
        AwaitLine();
        _brimLog.Log(1, L"%s", L"stall finished");
        return 0;
    }
    if (command == L"log-write-init" && args.size() == 5) {
        // log-write with one more thread that sets the folder again and
        // again; then the last error a LogPreFix leaves.
        CBrimLog::Init(0, args[1]);
        const int threads = static_cast<int>(std::wcstol(args[2], nullptr, 10));
        const int count = static_cast<int>(std::wcstol(args[3], nullptr, 10));
        const CStringW tag = args[4];
        std::atomic<bool> writing{true};
        std::thread setter([&] {
            while (writing.load()) CBrimLog::Init(0, args[1]);
        });
        std::vector<std::thread> workers;
        for (int t = 0; t < threads; ++t) {
            workers.emplace_back([&, t] {
                for (int i = 0; i < count; ++i) BRIM_LOG(1, L"%s t%d i%d", tag.GetString(), t, i);
            });
        }
        for (auto& w : workers) w.join();
        writing = false;
        setter.join();
        SetLastError(0);
        _brimLog.LogPreFix(__FILE__, __LINE__, "lasterror");
        const DWORD error = GetLastError();
        _brimLog.Log(-1, L"%s", L"lasterror");   // below the threshold: dropped, the lock let go
        std::printf("lasterror %lu\n", static_cast<unsigned long>(error));
        std::fflush(stdout);
        Say("done");
        return 0;
    }
    if (command == L"log-stall-torn" && args.size() == 3) {
        // Holds the log's mutex after the start of a record reached the day
        // file (args[2]) without its line break, as a kill inside a write leaves it.
        CBrimLog::Init(0, args[1]);
        _brimLog.LogPreFix(__FILE__, __LINE__, "stall");
        CFile file;
        if (!file.Open(args[2], CFile::modeCreate | CFile::modeNoTruncate | CFile::modeReadWrite | CFile::shareDenyNone)) return 4;
        if (file.GetLength() == 0) file.Write("\xEF\xBB\xBF", 3);
        file.SeekToEnd();
        file.Write("[torn", 5);
        file.Close();
        Say("prefixed");
        AwaitLine();
        _brimLog.Log(1, L"%s", L"stall finished");
        return 0;
    }
    return kNotMine;
}

}  // namespace brimchild
