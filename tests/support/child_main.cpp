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
//   ansi HEX                the UTF-8 text HEX through the ANSI code page: print
//                           "mbcs HEX" (Unicode2MBCS) and "back HEX" (MBCS2Unicode, as UTF-8)
//   read-file PATH          CBrimFile::ReadTextFile: print "text HEX" (the text as UTF-8)
//   reg-hammer KEY ID COUNT registry writes and reads under HKEY_CURRENT_USER\KEY beside
//                           other writers: print "done", or "bad WHAT" at the first surprise
//   reg-write-forever KEY   through an application object in registry mode under KEY:
//                           a large string and a counter, "committed N" after each round
//   ini-write FILE ID COUNT entries ID-0 .. ID-(COUNT-1) of section "shared" in the profile
//                           file FILE, one write each; print "done" or "bad WHAT"

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

std::string Hex(const char* bytes, std::size_t n) {
    std::string out;
    char item[3];
    for (std::size_t i = 0; i < n; ++i) {
        std::snprintf(item, sizeof item, "%02x", static_cast<unsigned char>(bytes[i]));
        out += item;
    }
    return out;
}

std::string Unhex(const CStringW& hex) {
    std::string out;
    for (int i = 0; i + 1 < hex.GetLength(); i += 2) {
        const wchar_t pair[3] = {hex[i], hex[i + 1], 0};
        out += static_cast<char>(std::wcstoul(pair, nullptr, 16));
    }
    return out;
}

void SayHex(const char* label, const char* bytes, std::size_t n) {
    std::printf("%s %s\n", label, Hex(bytes, n).c_str());
    std::fflush(stdout);
}

std::string ToUtf8(const wchar_t* text) {
    std::vector<char> utf8(32767);
    const int n = CBrimString::Unicode2UTF8(utf8.data(), text);
    return std::string(utf8.data(), static_cast<std::size_t>(n - 1));
}

int Ansi(const CStringW& hex) {
    const std::string utf8 = Unhex(hex);
    std::vector<wchar_t> wide(static_cast<std::size_t>(CBrimString::UTF82UnicodeCount(utf8.c_str())));
    CBrimString::UTF82Unicode(wide.data(), utf8.c_str());
    std::vector<char> mbcs(static_cast<std::size_t>(CBrimString::Unicode2MBCSCount(wide.data())));
    CBrimString::Unicode2MBCS(mbcs.data(), wide.data());
    SayHex("mbcs", mbcs.data(), mbcs.size() - 1);
    std::vector<wchar_t> back(static_cast<std::size_t>(CBrimString::MBCS2UnicodeCount(mbcs.data())));
    CBrimString::MBCS2Unicode(back.data(), mbcs.data());
    const std::string again = ToUtf8(back.data());
    SayHex("back", again.data(), again.size());
    return 0;
}

int Bad(const char* what) {
    std::printf("bad %s\n", what);
    std::fflush(stdout);
    return 1;
}

int RegistryHammer(const CStringW& key, const CStringW& id, int count) {
    const CStringW shared = key + L"\\shared";
    const CStringW mine = L"n" + id;
    const CStringW tree = key + L"\\tree-" + id;
    for (int i = 0; i < count; ++i) {
        if (!CBrimRegistry::LocalWriteInt(HKEY_CURRENT_USER, shared, mine, static_cast<unsigned long>(i))) {
            return Bad("write-int");
        }
        if (CBrimRegistry::LocalReadInt(HKEY_CURRENT_USER, shared, mine) != i) return Bad("read-int");
        CStringW text;
        text.Format(L"writer %s step %d", id.GetString(), i);
        if (!CBrimRegistry::LocalWriteString(HKEY_CURRENT_USER, shared, L"last", text)) return Bad("write-string");
        const CStringW last = CBrimRegistry::LocalReadString(HKEY_CURRENT_USER, shared, L"last");
        if (last.Find(L"writer ") != 0 || last.Find(L" step ") < 0) return Bad("torn-string");
        if (!CBrimRegistry::LocalWriteString(HKEY_CURRENT_USER, tree + L"\\a\\b", L"v", L"x")) return Bad("write-tree");
        CStringW path = tree;
        if (CBrimRegistry::LocalDeleteSubKey(HKEY_CURRENT_USER, path.GetBuffer()) != 1) return Bad("delete-tree");
    }
    Say("done");
    return 0;
}

int RegistryWriteForever(const CStringW& company) {
    CWinApp app(L"killed");
    app.SetRegistryKey(company);
    const int size = 1 << 20;
    for (int round = 1;; ++round) {
        const CStringW big(static_cast<wchar_t>(L'A' + round % 26), size);
        if (!app.WriteProfileString(L"data", L"big", big)) return Bad("write-big");
        if (!app.WriteProfileInt(L"data", L"round", round)) return Bad("write-round");
        std::printf("committed %d\n", round);
        std::fflush(stdout);
    }
}

int ProfileWrites(const CStringW& file, const CStringW& id, int count) {
    CWinApp app(L"ini-writer");
    app.SetProfileName(file);
    for (int i = 0; i < count; ++i) {
        CStringW entry;
        entry.Format(L"%s-%d", id.GetString(), i);
        if (!app.WriteProfileInt(L"shared", entry, i)) return Bad("write");
    }
    Say("done");
    return 0;
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
    if (command == L"ansi") return Ansi(args[1]);
    if (command == L"read-file") {
        CBrimFile file;
        file.SetFilename(args[1]);
        const std::string text = ToUtf8(file.ReadTextFile());
        SayHex("text", text.data(), text.size());
        return 0;
    }
    if (command == L"reg-hammer" && args.size() == 4) return RegistryHammer(args[1], args[2], static_cast<int>(std::wcstol(args[3], nullptr, 10)));
    if (command == L"reg-write-forever") return RegistryWriteForever(args[1]);
    if (command == L"ini-write" && args.size() == 4) {
        return ProfileWrites(args[1], args[2], static_cast<int>(std::wcstol(args[3], nullptr, 10)));
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
