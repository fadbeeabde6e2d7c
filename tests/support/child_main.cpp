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

//
// Each subsystem's commands live in child_<subsystem>.cpp.

#include "tests/support/child.h"

#include <cstdio>
#include <cstdlib>

namespace brimchild {

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

int Bad(const char* what) {
    std::printf("bad %s\n", what);
    std::fflush(stdout);
    return 1;
}

}  // namespace brimchild

namespace {

int Run(const std::vector<CStringW>& args) {
    if (args.size() < 2) return 2;
    for (auto runner : {brimchild::RunFoundationCommand, brimchild::RunTextCommand, brimchild::RunEnvCommand}) {
        const int code = runner(args);
        if (code != brimchild::kNotMine) return code;
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
