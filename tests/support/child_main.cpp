// The child program of multi-process tests. It takes one command, reports on
// standard output line by line, and waits for a line on standard input where
// the test must decide when it lets go.
//
//   hold-mutex NAME         lock, print "locked", wait for a line, unlock, print "released"
//   wait-mutex NAME         print "waiting", lock (no time-out), print "acquired", unlock
//   try-mutex NAME          print "acquired" or "busy" (time-out 0)
//   open-file PATH FLAGS    CFile::Open with hex flags: print "open" and wait for a line,
//                           or print "fail CAUSE"
//   ansi HEX                the UTF-8 text HEX through the ANSI code page: print
//                           "mbcs HEX" (Unicode2MBCS) and "back HEX" (MBCS2Unicode, as UTF-8)
//   read-file PATH          CBrimFile::ReadTextFile: print "text HEX" (the text as UTF-8)

#include <brim/brim.h>

#include <cstdio>
#include <cstdlib>
#include <string>
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
    if (command == L"ansi") return Ansi(args[1]);
    if (command == L"read-file") {
        CBrimFile file;
        file.SetFilename(args[1]);
        const std::string text = ToUtf8(file.ReadTextFile());
        SayHex("text", text.data(), text.size());
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
