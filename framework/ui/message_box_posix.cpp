#include "framework/ui/message_box.h"

#include "framework/ui/dialog_posix.h"
#include "framework/codepages/text_codec.h"

#include <cwchar>

namespace brim::platform {
namespace {
bool AsksAQuestion(UINT type) { return (type & 0xF) != MB_OK; }

// What a box answers when it is dismissed: Cancel or No where it has them.
int Dismissed(UINT type) {
    switch (type & 0xF) {
    case MB_OKCANCEL:
    case MB_YESNOCANCEL: return IDCANCEL;
    case MB_YESNO: return IDNO;
    default: return IDOK;
    }
}

int Accepted(UINT type) { return ((type & 0xF) == MB_YESNO || (type & 0xF) == MB_YESNOCANCEL) ? IDYES : IDOK; }
}  // namespace

int ShowMessageBox(const wchar_t* text, UINT type) {
    const std::string program = DialogProgram();
    if (program.empty()) return Dismissed(type);
    const std::string message = detail::WideToUtf8(text, std::wcslen(text));
    std::string ignored;
    int rc;
    if (program == "zenity") {
        const char* kind = AsksAQuestion(type) ? "--question" : (type & 0xF0) == MB_ICONERROR ? "--error" : "--info";
        rc = RunDialog(program, {kind, "--no-markup", "--text", message}, ignored);
    } else {
        rc = RunDialog(program, {AsksAQuestion(type) ? "--yesno" : "--msgbox", message}, ignored);
    }
    return rc == 0 ? Accepted(type) : Dismissed(type);
}

}  // namespace brim::platform
