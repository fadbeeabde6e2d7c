// The child of multi-process tests: one command (kCommands), reported line by line; it lets go on a line of input.
#include <brim/brim.h>

#include <atomic>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

namespace {

using Args = std::vector<CStringW>;

void Say(const char* format, ...) {
    va_list args;
    va_start(args, format);
    std::vprintf(format, args);
    va_end(args);
    std::putchar('\n');
    std::fflush(stdout);
}

void AwaitLine() {
    int c;
    while ((c = std::getchar()) != EOF && c != '\n') {
    }
}

std::string Hex(const char* bytes, std::size_t n) {
    const char* digits = "0123456789abcdef";
    std::string out;
    for (std::size_t i = 0; i < n; ++i) out += {digits[(bytes[i] >> 4) & 0xF], digits[bytes[i] & 0xF]};
    return out;
}

std::string ToUtf8(const wchar_t* text) {
    std::vector<char> utf8(32767);
    const int n = CBrimString::Unicode2UTF8(utf8.data(), text);
    return std::string(utf8.data(), static_cast<std::size_t>(n - 1));
}

int Bad(const char* what) {
    Say("bad %s (error %lu)", what, static_cast<unsigned long>(GetLastError()));
    return 1;
}

int Number(const CStringW& text) { return static_cast<int>(std::wcstol(text, nullptr, 10)); }

int OpenFile(const CStringW&, const Args& args) {
    CFile file;
    CFileException error;
    if (!file.Open(args[1], static_cast<UINT>(std::wcstoul(args[2], nullptr, 16)), &error)) {
        Say("fail %d", error.m_cause);
        return 0;
    }
    Say("open");
    AwaitLine();
    return 0;
}

int Mutex(const CStringW& command, const Args& args) {
    CMutex mutex(FALSE, args[1]);
    if (command == L"try-mutex") {
        const bool got = mutex.Lock(0);
        Say(got ? "acquired" : "busy");
        if (got) mutex.Unlock();
        return 0;
    }
    if (command == L"count-mutex") {
        // Adds one to the number in a file, N times, each under the mutex.
        for (int i = 0, count = Number(args[3]); i < count; ++i) {
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
    const bool hold = command == L"hold-mutex";
    if (!hold) Say("waiting");
    if (!mutex.Lock()) return 3;
    Say(hold ? "locked" : "acquired");
    if (hold) AwaitLine();
    mutex.Unlock();
    if (hold) Say("released");
    return 0;
}

int Log(const CStringW& command, const Args& args) {
    CBrimLog::Init(0, args[1]);
    if (command == L"log-stall" || command == L"log-stall-torn") {
        _brimLog.LogPreFix(__FILE__, __LINE__, "stall");
        if (command == L"log-stall-torn") {   // a record's start without its line break, as a killed writer leaves it
            CFile file;
            if (!file.Open(args[2], CFile::modeCreate | CFile::modeNoTruncate | CFile::modeReadWrite | CFile::shareDenyNone)) return 4;
            if (file.GetLength() == 0) file.Write("\xEF\xBB\xBF", 3);
            file.SeekToEnd();
            file.Write("[torn", 5);
            file.Close();
        }
        Say("prefixed");
        AwaitLine();
        _brimLog.Log(1, L"%s", L"stall finished");
        return 0;
    }
    // log-write-init: one more thread sets the folder again and again; then the last error a LogPreFix leaves.
    const bool init = command == L"log-write-init";
    const int threads = Number(args[2]), count = Number(args[3]);
    const CStringW tag = args[4];
    std::atomic<bool> writing{true};
    std::thread setter([&] {
        while (init && writing.load()) CBrimLog::Init(0, args[1]);
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
    if (init) {
        SetLastError(0);
        _brimLog.LogPreFix(__FILE__, __LINE__, "lasterror");
        const DWORD error = GetLastError();
        _brimLog.Log(-1, L"%s", L"lasterror");   // below the threshold: dropped, the lock let go
        Say("lasterror %lu", static_cast<unsigned long>(error));
    }
    Say("done");
    return 0;
}

int Text(const CStringW& command, const Args& args) {
    if (command == L"read-file") {
        CBrimFile file;
        file.SetFilename(args[1]);
        const std::string text = ToUtf8(file.ReadTextFile());
        Say("text %s", Hex(text.data(), text.size()).c_str());
        return 0;
    }
    std::string utf8;
    for (int i = 0; i + 1 < args[1].GetLength(); i += 2) {
        const wchar_t pair[3] = {args[1][i], args[1][i + 1], 0};
        utf8 += static_cast<char>(std::wcstoul(pair, nullptr, 16));
    }
    std::vector<wchar_t> wide(static_cast<std::size_t>(CBrimString::UTF82UnicodeCount(utf8.c_str())));
    CBrimString::UTF82Unicode(wide.data(), utf8.c_str());
    std::vector<char> mbcs(static_cast<std::size_t>(CBrimString::Unicode2MBCSCount(wide.data())));
    CBrimString::Unicode2MBCS(mbcs.data(), wide.data());
    Say("mbcs %s", Hex(mbcs.data(), mbcs.size() - 1).c_str());
    std::vector<wchar_t> back(static_cast<std::size_t>(CBrimString::MBCS2UnicodeCount(mbcs.data())));
    CBrimString::MBCS2Unicode(back.data(), mbcs.data());
    const std::string again = ToUtf8(back.data());
    Say("back %s", Hex(again.data(), again.size()).c_str());
    return 0;
}

int RegistryHammer(const CStringW& key, const CStringW& id, int count) {
    const CStringW shared = key + L"\\shared", mine = L"n" + id, tree = key + L"\\tree-" + id;
    for (int i = 0; i < count; ++i) {
        if (!CBrimRegistry::LocalWriteInt(HKEY_CURRENT_USER, shared, mine, static_cast<unsigned long>(i))) return Bad("write-int");
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

int Env(const CStringW& command, const Args& args) {
    if (command == L"reg-hammer") return RegistryHammer(args[1], args[2], Number(args[3]));
    if (command == L"reg-write-forever") {
        CWinApp app(L"killed");
        app.SetRegistryKey(args[1]);
        for (int round = 1;; ++round) {
            const CStringW big(static_cast<wchar_t>(L'A' + round % 26), 1 << 20);
            if (!app.WriteProfileString(L"data", L"big", big)) return Bad("write-big");
            if (!app.WriteProfileInt(L"data", L"round", round)) return Bad("write-round");
            Say("committed %d", round);
        }
    }
    if (command == L"ini-write") {
        CWinApp app(L"ini-writer");
        app.SetProfileName(args[1]);
        for (int i = 0, count = Number(args[3]); i < count; ++i) {
            CStringW entry;
            entry.Format(L"%s-%d", args[2].GetString(), i);
            if (!app.WriteProfileInt(L"shared", entry, i)) return Bad("write");
        }
        Say("done");
        return 0;
    }
    // reg-probe: reads HKCU\KEY's value "v", then tries to change it.
    Say("read %s", ToUtf8(CBrimRegistry::LocalReadString(HKEY_CURRENT_USER, args[1], L"v")).c_str());
    SetLastError(0);
    if (CBrimRegistry::LocalWriteString(HKEY_CURRENT_USER, args[1], L"v", L"changed")) {
        Say("write ok");
    } else {
        Say("write failed %lu", static_cast<unsigned long>(GetLastError()));
    }
    return 0;
}

int Run(const Args& args) {
    struct Command {
        const wchar_t* name;
        std::size_t args;
        int (*run)(const CStringW&, const Args&);
    };
    static const Command kCommands[] = {
        {L"hold-mutex", 2, Mutex},     {L"wait-mutex", 2, Mutex},    {L"try-mutex", 2, Mutex},
        {L"count-mutex", 4, Mutex},    {L"log-write", 5, Log},       {L"log-write-init", 5, Log},
        {L"log-stall", 2, Log},        {L"log-stall-torn", 3, Log},  {L"ansi", 2, Text},
        {L"read-file", 2, Text},       {L"reg-hammer", 4, Env},      {L"reg-write-forever", 2, Env},
        {L"ini-write", 4, Env},        {L"reg-probe", 2, Env},       {L"open-file", 3, OpenFile},
    };
    for (const Command& c : kCommands) {
        if (!args.empty() && args[0] == c.name && args.size() == c.args) return c.run(args[0], args);
    }
    return 2;
}

}  // namespace

#if defined(_WIN32)
int wmain(int argc, wchar_t** argv) {
#else
int main(int argc, char** argv) {
#endif
    return Run(Args(argv + 1, argv + argc));
}
