#include "framework/ui/folder_chooser.h"

#include "framework/ui/dialog_posix.h"
#include "framework/codepages/text_codec.h"

#include <cwchar>
#include <string>

namespace brim::platform {

int ShowFolderChooser(HWND /*owner*/, const wchar_t* title, wchar_t* folder, UINT capacity) {
    const std::string program = DialogProgram();
    if (program.empty()) return 0;
    const std::string caption = detail::WideToUtf8(title, std::wcslen(title));
    std::string output;
    const int rc = program == "zenity"
                       ? RunDialog(program, {"--file-selection", "--directory", "--title", caption}, output)
                       : RunDialog(program, {"--getexistingdirectory", ".", "--title", caption}, output);
    while (!output.empty() && (output.back() == '\n' || output.back() == '\r')) output.pop_back();
    if (rc != 0 || output.empty()) return 0;
    const std::wstring path = detail::Utf8ToWide(output.data(), output.size());
    const std::size_t n = path.size() < capacity - 1 ? path.size() : capacity - 1;
    std::wmemcpy(folder, path.data(), n);
    folder[n] = 0;
    return 1;
}

}  // namespace brim::platform
