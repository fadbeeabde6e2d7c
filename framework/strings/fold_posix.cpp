#include "framework/strings/fold_posix.h"

#include <locale.h>

#include <cwctype>

namespace brim::platform {

std::wstring FoldCase(std::wstring text) {
    static const locale_t utf8 = newlocale(LC_CTYPE_MASK, "C.UTF-8", static_cast<locale_t>(nullptr));
    for (wchar_t& c : text) {
        if (utf8 != nullptr) c = static_cast<wchar_t>(towupper_l(static_cast<wint_t>(c), utf8));
        else if (c >= L'a' && c <= L'z') c = static_cast<wchar_t>(c - L'a' + L'A');
    }
    return text;
}

}  // namespace brim::platform
