#include "tools/brim/commands.h"
#include "tools/brim/console.h"

#include <cwchar>

namespace brimtool {
namespace {

bool IsHelp(const std::vector<CStringW>& args) {
    for (const CStringW& a : args) {
        if (a == L"--help" || a == L"-h") return true;
    }
    return false;
}

// A Windows error code as decimal (negative values name the same 32 bits)
// or as 0x-prefixed hex.
bool ParseCode(const CStringW& text, unsigned long& code) {
    if (text.IsEmpty()) return false;
    wchar_t* end = nullptr;
    const long long value = std::wcstoll(text.GetString(), &end, 0);
    if (end == nullptr || *end != 0) return false;
    if (value < -2147483648LL || value > 0xFFFFFFFFLL) return false;
    code = static_cast<unsigned long>(static_cast<unsigned int>(value));
    return true;
}

// Message texts end in CR LF as the system keeps them; a terminal wants one LF.
CStringW AsLine(CStringW text) {
    text.TrimRight(L"\r\n");
    return text + L"\n";
}

}  // namespace

int CommandError(const std::vector<CStringW>& args) {
    if (IsHelp(args)) {
        Out(L"usage: brim error [--exception] CODE\n\n"
            L"Prints the library's text for a Windows error code (decimal, negative, or 0x hex).\n"
            L"With --exception, prints the message of a CBrimException made from the code.\n");
        return kExitOk;
    }
    bool asException = false;
    std::vector<CStringW> operands;
    for (const CStringW& a : args) {
        if (a == L"--exception") asException = true;
        else operands.push_back(a);
    }
    unsigned long code = 0;
    if (operands.size() != 1 || !ParseCode(operands[0], code)) {
        Err(L"usage: brim error [--exception] CODE\n");
        return kExitUsage;
    }
    if (asException) {
        CBrimException* e = new CBrimException(code);
        const CStringW message = e->GetMessageW();
        e->Delete();
        Out(AsLine(message));
    } else {
        Out(AsLine(CBrimUtil::MessageError(code)));
    }
    return kExitOk;
}

int CommandTour(const std::vector<CStringW>& args) {
    if (IsHelp(args)) {
        Out(L"usage: brim [tour]\n\nShows what the library does, on its own, without network access.\n");
        return kExitOk;
    }
    Out(L"BrimCommon tour\n\n1. Windows error codes and their texts (CBrimUtil::MessageError)\n");
    const unsigned long codes[] = {2, 5, 32, 112, 12002, 0x800E0001};
    for (unsigned long code : codes) {
        CStringW line;
        line.Format(L"   %10I64d  ", static_cast<long long>(code));
        Out(line + AsLine(CBrimUtil::MessageError(code)));
    }

    Out(L"\n2. Failures travel as CBrimException* (format rules of Windows: %s is wide)\n");
    try {
        throw new CBrimException(L"could not open %s (%d bytes, %S)", L"report.txt", 4096, "narrow text");
    } catch (CBrimException* e) {
        Out(L"   caught: " + e->GetMessageW() + L"\n");
        e->Delete();
    }
    return kExitOk;
}

}  // namespace brimtool
