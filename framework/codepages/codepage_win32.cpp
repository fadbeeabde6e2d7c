#include "framework/codepages/codepage.h"

namespace brim::platform {

unsigned AnsiCodePage() { return ::GetACP(); }

int MultiByteToWide(unsigned codePage, const char* src, int srcLength, wchar_t* dst, int dstCapacity) {
    return ::MultiByteToWideChar(codePage, 0, src, srcLength, dst, dstCapacity);
}

int WideToMultiByte(unsigned codePage, const wchar_t* src, int srcLength, char* dst, int dstCapacity) {
    return ::WideCharToMultiByte(codePage, 0, src, srcLength, dst, dstCapacity, nullptr, nullptr);
}

}  // namespace brim::platform
