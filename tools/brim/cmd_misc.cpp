// error, randname, sort and the tour.
#include "tools/brim/args.h"
#include "tools/brim/commands.h"
#include "tools/brim/console.h"

#include <algorithm>
#include <cstdio>
#include <cwchar>
#include <string>

namespace brimtool {
namespace {

// A Windows error code as decimal (negative values name the same 32 bits)
// or as 0x-prefixed hex.
bool ParseCode(const CStringW& text, unsigned long& code) {
    if (text.IsEmpty()) return false;
    wchar_t* end = nullptr;
    const long long value = std::wcstoll(text.GetString(), &end, 0);
    if (end == nullptr || *end != 0 || value < -2147483648LL || value > 0xFFFFFFFFLL) return false;
    code = static_cast<unsigned long>(static_cast<unsigned int>(value));
    return true;
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
    text = FromUtf8(bytes.c_str());
    return true;
}

class Collector final : public CBrimFileFind {
public:
    void vFoundFolder(const wchar_t*, const wchar_t*) override {}
    void vFoundFile(const wchar_t* path, const wchar_t*, const wchar_t*) override { files.AddTail(path); }
    CStringList files;
};

}  // namespace

int CommandError(const Arguments& args) {
    const Command& self = CommandNamed(L"error");
    Args a;
    if (!a.Parse(args, {}, {L"--exception"})) return UsageError(self, a.Error());
    unsigned long code = 0;
    if (a.Operands().size() != 1 || !ParseCode(a.Operands()[0], code)) return UsageError(self, L"one CODE is needed");
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
    CStringList lines;
    int pos = 0;
    while (pos < text.GetLength()) {
        int end = text.Find(L'\n', pos);
        if (end < 0) end = text.GetLength();
        CStringW line = text.Mid(pos, end - pos);
        line.TrimRight(L'\r');
        lines.AddTail(line);
        pos = end + 1;
    }
    CBrimString::BubbleSort(&lines);
    CStringW out;
    for (POSITION p = lines.GetHeadPosition(); p != nullptr;) out += lines.GetNext(p) + L"\n";
    Out(out);
    return kExitOk;
}

int CommandTour(const Arguments& args) {
    const Command& self = CommandNamed(L"tour");
    Args a;
    if (!a.Parse(args, {}, {}) || a.Operands().size() > 1) return UsageError(self, L"at most one SAMPLES folder");
    const CStringW samples = a.Operands().empty() ? CStringW(L"samples") : a.Operands()[0];

    Out(L"BrimCommon tour\n\n1. Windows error codes and their texts (CBrimUtil::MessageError)\n");
    for (unsigned long code : {2UL, 5UL, 32UL, 112UL, 0x800E0001UL}) {
        CStringW line;
        line.Format(L"   %10I64d  ", static_cast<long long>(code));
        Out(line + AsLine(CBrimUtil::MessageError(code)));
    }

    Out(L"\n2. Failures travel as CBrimException* (Windows printf rules: %s is wide, %S narrow)\n");
    try {
        throw new CBrimException(L"could not open %s (%d bytes, %S)", L"report.txt", 4096, "narrow text");
    } catch (CBrimException* e) {
        Out(L"   caught: " + e->GetMessageW() + L"\n");
        e->Delete();
    }

    Out(L"\n3. Encodings detected and decoded (CBrimFile), files of " + samples + L"\n"
        L"   (ASCII, EUCKR and CP949 text decodes through the ANSI code page, as on Windows;\n"
        L"   under a Korean locale, e.g. LANG=ko_KR.UTF-8, that is code page 949)\n");
    Collector found;
    found.FindFoldersFiles(samples, L".txt", 0, 0);
    CBrimString::BubbleSort(&found.files);
    if (found.files.IsEmpty()) Out(L"   (no .txt files there: run brim from the repository's root, or name the folder)\n");
    for (POSITION p = found.files.GetHeadPosition(); p != nullptr;) {
        const CStringW path = found.files.GetNext(p);
        std::vector<unsigned char> bytes;
        CStringW error;
        if (!ReadAllBytes(path, bytes, error)) continue;
        const CStringW name = path.Mid(path.ReverseFind(samples.Find(L'\\') >= 0 ? L'\\' : L'/') + 1);
        const int id = CBrimFile::EncodingCheck(bytes.data(), static_cast<unsigned int>(bytes.size()));
        CStringW line;
        line.Format(L"   %-14s %-11s ", name.GetString(), CBrimFile::GetEncodingName(id).GetString());
        try {
            CBrimFile file;
            file.SetFilename(path);
            CStringW text = file.ReadTextFile();
            if (!text.IsEmpty() && text[0] == L'\xFEFF') text = text.Mid(1);
            text = text.Left(text.FindOneOf(L"\r\n") < 0 ? text.GetLength() : text.FindOneOf(L"\r\n"));
            Out(line + text + L"\n");
        } catch (CBrimException* e) {
            Out(line + AsLine(e->GetMessageW()));
            e->Delete();
        }
    }

    Out(L"\n4. Lists sorted by the library (ordinal, stable): ");
    CStringList words;
    for (const wchar_t* w : {L"b", L"B", L"a", L"ab", L"abc"}) words.AddTail(w);
    CBrimString::BubbleSort(&words);
    for (POSITION p = words.GetHeadPosition(); p != nullptr;) Out(words.GetNext(p) + L" ");
    Out(L"\n   A random name: " + CBrimString::GetRandomName(12) + L"\n");

    Out(L"\n5. One log record (BRIM_LOG) into ./Log/ — see 'brim log --help'\n");
    BRIM_LOG(1, L"%s", L"brim tour was here");
    Out(L"   written through the named mutex \"MutexBrimLog\" shared by every process\n");
    return kExitOk;
}

}  // namespace brimtool
