// error, randname, sort and the tour.
#include "tools/brim/args.h"
#include "tools/brim/commands.h"
#include "tools/brim/console.h"
#include "tools/brim/decode.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cwchar>
#include <string>

namespace brimtool {
namespace {

// A Windows error code as decimal (negative values name the same 32 bits)
// or as 0x-prefixed hex; "" when it is one, else what is wrong with it.
CStringW ParseCode(const CStringW& text, unsigned long& code) {
    wchar_t* end = nullptr;
    errno = 0;
    const long long value = std::wcstoll(text.GetString(), &end, 0);
    if (text.IsEmpty() || end == nullptr || *end != 0) {
        return L"CODE '" + text + L"' is not a number (decimal, negative, or 0x hex)";
    }
    if (errno == ERANGE || value < -2147483648LL || value > 0xFFFFFFFFLL) {
        return L"CODE " + text + L" does not fit in 32 bits (-2147483648 to 4294967295, or 0x0 to 0xFFFFFFFF)";
    }
    code = static_cast<unsigned long>(static_cast<unsigned int>(value));
    return CStringW();
}

// Message texts end in CR LF as the system keeps them; a terminal wants one LF.
CStringW AsLine(CStringW text) {
    text.TrimRight(L"\r\n");
    return text + L"\n";
}

// Standard input as text: UTF-8 bytes converted by the library. The library's
// strings end at a zero, so input holding a NUL byte is refused (false, with
// the line it is on) rather than cut short there.
bool ReadStandardInput(CStringW& text, long long& nulLine) {
    std::string bytes;
    char chunk[65536];
    std::size_t n;
    while ((n = std::fread(chunk, 1, sizeof chunk, stdin)) > 0) bytes.append(chunk, n);
    const std::size_t nul = bytes.find('\0');
    if (nul != std::string::npos) {
        nulLine = 1 + std::count(bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(nul), '\n');
        return false;
    }
    text = TextOfInput(bytes.c_str());
    return true;
}

class Walker final : public CBrimFileFind {
public:
    void vFoundFolder(const wchar_t* path, const wchar_t*) override { folders.AddTail(path); }
    void vFoundFile(const wchar_t* path, const wchar_t*, const wchar_t*) override { files.AddTail(path); }
    CStringList folders;
    CStringList files;
};

#define BRIM_WIDEN_(text) L##text
#define BRIM_WIDEN(text) BRIM_WIDEN_(text)
#define BRIM_TOOL_WIDE BRIM_WIDEN(BRIM_TOOL_VERSION)

}  // namespace

int CommandError(const Arguments& args) {
    const Command& self = CommandNamed(L"error");
    Args a;
    if (!a.Parse(args, {}, {L"--exception"})) return UsageError(self, a.Error());
    unsigned long code = 0;
    if (a.Operands().size() != 1) return UsageError(self, L"one CODE is needed");
    const CStringW wrong = ParseCode(a.Operands()[0], code);
    if (!wrong.IsEmpty()) return UsageError(self, wrong);
    if (a.Flag(L"--exception")) {
        CBrimException* e = new CBrimException(code);
        const CStringW message = e->GetMessageW();
        e->Delete();
        Out(AsLine(message));
    } else {
        Out(AsLine(CBrimUtil::MessageError(code)));
    }
    return kExitOk;
}

int CommandRandname(const Arguments& args) {
    const Command& self = CommandNamed(L"randname");
    Args a;
    long long length = 0;
    if (!a.Parse(args, {}, {})) return UsageError(self, a.Error());
    if (a.Operands().size() != 1 || !ParseInt(a.Operands()[0], 0, 1000000, length)) {
        return UsageError(self, L"N must be a whole number from 0 to 1000000");
    }
    Out(CBrimString::GetRandomName(static_cast<int>(length)) + L"\n");
    return kExitOk;
}

int CommandSort(const Arguments& args) {
    const Command& self = CommandNamed(L"sort");
    Args a;
    if (!a.Parse(args, {}, {}) || !a.Operands().empty()) return UsageError(self, a.Error().IsEmpty() ? CStringW(L"no operands") : a.Error());
    CStringW text;
    long long nulLine = 0;
    if (!ReadStandardInput(text, nulLine)) {
        CStringW message;
        message.Format(L"standard input holds a NUL byte (line %I64d); sort takes text lines without NULs", nulLine);
        return Failure(message);
    }
    // Each line is made once in its node (an empty node, then its text moved
    // in), and printed through the buffered UTF-8 output: no temporary
    // strings per line, on the way in or out.
    //
    // The list is not freed: the process ends after the output, and
    // releasing a million strings, scattered in memory by the sort, one by
    // one costs a third of the command. It stays reachable (kept below), so
    // leak checkers do not report it.
    static CStringList* kept = nullptr;
    CStringList& lines = *(kept = new CStringList);
    const wchar_t* const all = text.GetString();
    const int length = text.GetLength();
    for (int pos = 0; pos < length;) {
        const wchar_t* const start = all + pos;
        const wchar_t* stop = std::wmemchr(start, L'\n', static_cast<std::size_t>(length - pos));
        const int next = stop == nullptr ? length : static_cast<int>(stop - all) + 1;
        if (stop == nullptr) stop = all + length;
        while (stop > start && stop[-1] == L'\r') --stop;
        lines.GetAt(lines.AddTail(CStringW())) = CStringW(start, static_cast<int>(stop - start));
        pos = next;
    }
    text.Empty();
    CBrimString::BubbleSort(&lines);
    // The sorted strings lie scattered in memory: each is asked for a few
    // lines ahead of its turn.
    constexpr int kAhead = 16;
    OutBuffer out;
    POSITION ahead = lines.GetHeadPosition();
    for (int k = 0; k < kAhead && ahead != nullptr; ++k) PrefetchText(lines.GetNext(ahead));
    for (POSITION p = lines.GetHeadPosition(); p != nullptr;) {
        if (ahead != nullptr) PrefetchText(lines.GetNext(ahead));
        out.Add(lines.GetNext(p));
        out.Add(L"\n");
    }
    out.Flush();
    return kExitOk;
}

int CommandTour(const Arguments& args) {
    const Command& self = CommandNamed(L"tour");
    Args a;
    if (!a.Parse(args, {}, {L"--ansi"})) return UsageError(self, a.Error());
    if (a.Operands().size() > 1) return UsageError(self, L"at most one SAMPLES folder");
    const CStringW samples = a.Operands().empty() ? CStringW(L"samples") : a.Operands()[0];
    const bool ansi = a.Flag(L"--ansi");

    Out(L"BrimCommon tour\n\n1. Windows error codes and their texts (CBrimUtil::MessageError)\n");
    for (unsigned long code : {2UL, 5UL, 32UL, 112UL, 0x800E0001UL}) {
        CStringW line;
        line.Format(L"   %10I64d  0x%08lX  ", static_cast<long long>(code), code);
        const CStringW text = CBrimUtil::MessageError(code);
        Out(line + AsLine(text));
        if (text.Find(L"ERRORNUMBER") == 0) {
            Out(L"                           (an HRESULT-style code that no message table here holds: the\n"
                L"                           library's fallback shows it as a signed 32-bit number)\n");
        }
    }

    Out(L"\n2. Failures travel as CBrimException* (Windows printf rules: %s is wide, %S narrow)\n");
    try {
        throw new CBrimException(L"could not open %s (%d bytes, %S)", L"report.txt", 4096, "narrow text");
    } catch (CBrimException* e) {
        Out(L"   caught: " + e->GetMessageW() + L"\n");
        e->Delete();
    }

    Out(L"\n3. A folder walk (CBrimFileFind): " + samples + L", with its subfolders, for .txt files\n");
    Walker found;
    found.FindFoldersFiles(samples, L".txt", 1, 0);
    CBrimString::BubbleSort(&found.folders);
    CBrimString::BubbleSort(&found.files);
    for (POSITION p = found.folders.GetHeadPosition(); p != nullptr;) Out(L"   D " + found.folders.GetNext(p) + L"\n");
    for (POSITION p = found.files.GetHeadPosition(); p != nullptr;) Out(L"   F " + found.files.GetNext(p) + L"\n");
    CStringW counted;
    counted.Format(L"   %d folders, %d .txt files (hidden entries skipped)\n", static_cast<int>(found.folders.GetCount()),
                   static_cast<int>(found.files.GetCount()));
    Out(counted);
    if (found.files.IsEmpty()) Out(L"   (no .txt files there: run brim from the repository's root, or name the folder)\n");

    Out(L"\n4. Their encodings detected (CBrimFile::EncodingCheck) and the text decoded\n");
    Out(ansi ? L"   (EUC-KR and CP949 through the locale's ANSI code page, as the library's reader does:\n"
               L"   code page 949 only under a Korean locale, e.g. LANG=ko_KR.UTF-8)\n"
             : L"   (EUC-KR and CP949 through code page 949 whatever the locale; --ansi reads them as the\n"
               L"   library's reader does, through the locale's ANSI code page)\n");
    for (POSITION p = found.files.GetHeadPosition(); p != nullptr;) {
        const CStringW path = found.files.GetNext(p);
        std::vector<unsigned char> bytes;
        CStringW error;
        const CStringW name = path.Mid(path.ReverseFind(samples.Find(L'\\') >= 0 ? L'\\' : L'/') + 1);
        CStringW line;
        if (!ReadAllBytes(path, bytes, error)) {
            line.Format(L"   %-14s error: ", name.GetString());
            Out(line + AsLine(error));
            continue;
        }
        const int id = CBrimFile::EncodingCheck(bytes.data(), static_cast<unsigned int>(bytes.size()));
        line.Format(L"   %-14s %-11s ", name.GetString(), CBrimFile::GetEncodingName(id).GetString());
        try {
            // The tour shows the library's own refusal of UTF-16BE.
            CStringW text = DecodeText(bytes, id, ansi, id == CBrimFile::UTF16_BE);
            text = text.Left(text.FindOneOf(L"\r\n") < 0 ? text.GetLength() : text.FindOneOf(L"\r\n"));
            Out(line + text + L"\n");
        } catch (CBrimException* e) {
            CStringW message = e->GetMessageW();
            e->Delete();
            message.TrimRight(L"\r\n");
            Out(line + L"error: " + message + L"\n");
            if (id == CBrimFile::UTF16_BE) Out(L"                              (the reader refuses it; 'brim cat' decodes it itself)\n");
        }
    }

    Out(L"\n5. Lists sorted by the library (ordinal, stable):");
    CStringList words;
    for (const wchar_t* w : {L"b", L"B", L"a", L"ab", L"abc"}) words.AddTail(w);
    CBrimString::BubbleSort(&words);
    for (POSITION p = words.GetHeadPosition(); p != nullptr;) Out(L" " + words.GetNext(p));
    Out(L"\n   A random name: " + CBrimString::GetRandomName(12) + L"\n");

    Out(L"\n6. One log record (BRIM_LOG) into ./Log/ — see 'brim log --help'\n");
    BRIM_LOG(1, L"%s", L"brim tour was here");
    Out(L"   written through the named mutex \"MutexBrimLog\" shared by every process\n");
    return kExitOk;
}

int CommandVersion(const Arguments& args) {
    const Command& self = CommandNamed(L"version");
    Args a;
    if (!a.Parse(args, {}, {})) return UsageError(self, a.Error());
    if (!a.Operands().empty()) return UsageError(self, L"unexpected operand '" + a.Operands()[0] + L"'");
    Out(L"brim " BRIM_TOOL_WIDE L"\nlibrary " + CBrimLibraryInfo::GetVersion() + L"\nbackend " +
        CBrimLibraryInfo::GetBackend() + L"\nvector paths: " + CBrimLibraryInfo::GetVectorPaths() + L"\n");
    return kExitOk;
}

}  // namespace brimtool
