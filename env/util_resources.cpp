#include <brim/util.h>

#include "framework/resources/module.h"

#include <cstdarg>

int CBrimUtil::SaveResource(const wchar_t* name, const wchar_t* filePath) {
    const void* data = nullptr;
    DWORD size = 0;
    if (name == nullptr ||
        !brim::platform::FindResourceBytes(brim::platform::ExecutableModule(), L"DATA", name, &data, &size)) {
        return 0;
    }
    CFile file;
    // Whether the file opened is not asked: writing to a file that is not
    // open throws the file layer's exception, which the caller gets.
    file.Open(filePath, CFile::modeCreate | CFile::modeWrite | CFile::typeBinary);
    file.Write(data, size);
    file.Close();
    return 0;
}

// id is a reference, which va_start does not strictly allow; the compilers
// this library supports place it like the pointer it is, so the variable
// arguments are found after it all the same.
#if defined(__GNUC__)
#  pragma GCC diagnostic push
#  pragma GCC diagnostic ignored "-Wvarargs"
#endif
CStringW CBrimUtil::LoadStringW(unsigned int& id, ...) {
    CStringW format;
    if (!format.LoadStringW(id)) return CStringW();
    CStringW result;
    va_list args;
    va_start(args, id);
    result.FormatV(format, args);
    va_end(args);
    return result;
}
#if defined(__GNUC__)
#  pragma GCC diagnostic pop
#endif
