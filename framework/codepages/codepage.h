// The platform's code-page converters: one implementation per platform
// (codepage_posix.cpp, codepage_win32.cpp). Failures set the thread's last
// error to a Windows code.
#pragma once

#include <brim/config.h>

namespace brim::platform {

constexpr unsigned kCodePageAnsi = 0;      // the system's ANSI code page
constexpr unsigned kCodePageUtf8 = 65001;

// The ANSI code page in use (the value GetACP gives on Windows).
unsigned AnsiCodePage();

// MultiByteToWideChar / WideCharToMultiByte with flags 0 and no default
// character: unconvertible input is substituted, never refused. srcLength -1
// means "terminated" and the count includes the terminator. A capacity of 0
// asks for the size only. 0 on failure, with the last error set (122 when the
// capacity is too small, 87 for bad arguments).
int MultiByteToWide(unsigned codePage, const char* src, int srcLength, wchar_t* dst, int dstCapacity);
int WideToMultiByte(unsigned codePage, const wchar_t* src, int srcLength, char* dst, int dstCapacity);

}  // namespace brim::platform
