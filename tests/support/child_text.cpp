// Child commands of the text tests: the ANSI code page of a given locale.
#include "tests/support/child.h"

#include <cstdio>

namespace brimchild {
namespace {

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

}  // namespace

int RunTextCommand(const std::vector<CStringW>& args) {
    const CStringW& command = args[0];
    if (command == L"ansi") return Ansi(args[1]);
    if (command == L"read-file") {
        CBrimFile file;
        file.SetFilename(args[1]);
        const std::string text = ToUtf8(file.ReadTextFile());
        SayHex("text", text.data(), text.size());
        return 0;
    }
    return kNotMine;
}

}  // namespace brimchild
