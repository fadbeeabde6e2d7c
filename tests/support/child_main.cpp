// The child program of multi-process tests. It takes one command, reports on
// standard output line by line, and waits for a line on standard input where
// the test must decide when it lets go.
//
//   hold-mutex NAME         lock, print "locked", wait for a line, unlock, print "released"
//   wait-mutex NAME         print "waiting", lock (no time-out), print "acquired", unlock
//   try-mutex NAME          print "acquired" or "busy" (time-out 0)
//   open-file PATH FLAGS    CFile::Open with hex flags: print "open" and wait for a line,
//                           or print "fail CAUSE"
//   log-write FOLDER THREADS COUNT TAG
//                           THREADS threads each log COUNT records "TAG t<thread> i<index>"
//                           through the global log into FOLDER, then print "done"
//   log-stall FOLDER        start a record (LogPreFix), print "prefixed", wait for a line

#include <brim/brim.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

namespace {

void Say(const char* line) {
    std::printf("%s\n", line);
    std::fflush(stdout);
}

void AwaitLine() {
    int c;
    while ((c = std::getchar()) != EOF && c != '\n') {
    }
}

int Run(const std::vector<CStringW>& args) {
    if (args.size() < 2) return 2;
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
    return 2;
}

}  // namespace

#if defined(_WIN32)
int wmain(int argc, wchar_t** argv) {
    std::vector<CStringW> args;
    for (int i = 1; i < argc; ++i) args.emplace_back(argv[i]);
    return Run(args);
}
#else
int main(int argc, char** argv) {
    std::vector<CStringW> args;
    for (int i = 1; i < argc; ++i) args.emplace_back(argv[i]);
    return Run(args);
}
#endif
