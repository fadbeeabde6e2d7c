// BrimCommon: export macro and the Windows types the API speaks.
//
// On Windows the real <windows.h> supplies the types. Elsewhere this header
// declares the few Windows types and calls a host needs to use the API, with
// the same names, sizes and meanings.
#pragma once

#if defined(_WIN32)
#  if defined(BRIMCOMMON_BUILDING)
#    define BRIM_API __declspec(dllexport)
#  elif defined(BRIMCOMMON_STATIC)
#    define BRIM_API
#  else
#    define BRIM_API __declspec(dllimport)
#  endif
#  ifndef WIN32_LEAN_AND_MEAN
#    define WIN32_LEAN_AND_MEAN
#  endif
#  ifndef NOMINMAX
#    define NOMINMAX
#  endif
#  include <windows.h>
#  include <oleauto.h>
#else
#  define BRIM_API __attribute__((visibility("default")))
#  include <pthread.h>
#  include <cstdint>

typedef std::uint32_t DWORD;
typedef std::uint16_t WORD;
typedef std::uint8_t BYTE;
typedef int BOOL;
typedef unsigned int UINT;
typedef std::int32_t LONG;
typedef std::uint32_t ULONG;
typedef std::int64_t LONGLONG;
typedef std::uint64_t ULONGLONG;
typedef std::intptr_t INT_PTR;
typedef std::uintptr_t UINT_PTR;
typedef std::uintptr_t ULONG_PTR;
typedef wchar_t WCHAR;
typedef wchar_t* LPWSTR;
typedef const wchar_t* LPCWSTR;
typedef char* LPSTR;
typedef const char* LPCSTR;
typedef void* LPVOID;
typedef const void* LPCVOID;
typedef void* HANDLE;
typedef wchar_t* BSTR;
typedef wchar_t OLECHAR;

#  define TRUE 1
#  define FALSE 0
#  define INFINITE 0xFFFFFFFFu
#  define MAX_PATH 260

// Message box types and answers, with their Windows values.
#  define MB_OK 0x00000000u
#  define MB_OKCANCEL 0x00000001u
#  define MB_YESNOCANCEL 0x00000003u
#  define MB_YESNO 0x00000004u
#  define MB_ICONERROR 0x00000010u
#  define MB_ICONQUESTION 0x00000020u
#  define MB_ICONWARNING 0x00000030u
#  define MB_ICONINFORMATION 0x00000040u
#  define IDOK 1
#  define IDCANCEL 2
#  define IDYES 6
#  define IDNO 7
#  define INVALID_HANDLE_VALUE (reinterpret_cast<HANDLE>(static_cast<std::intptr_t>(-1)))

// Opaque handle types, distinct as on Windows.
#  define BRIM_DECLARE_HANDLE(name) struct name##__ { int unused; }; typedef struct name##__* name
BRIM_DECLARE_HANDLE(HKEY);
BRIM_DECLARE_HANDLE(HINSTANCE);
BRIM_DECLARE_HANDLE(HWND);
typedef HINSTANCE HMODULE;
#  undef BRIM_DECLARE_HANDLE

// The predefined registry roots keep their Windows values.
#  define HKEY_CLASSES_ROOT ((HKEY)(ULONG_PTR)((LONG)0x80000000))
#  define HKEY_CURRENT_USER ((HKEY)(ULONG_PTR)((LONG)0x80000001))
#  define HKEY_LOCAL_MACHINE ((HKEY)(ULONG_PTR)((LONG)0x80000002))
#  define HKEY_USERS ((HKEY)(ULONG_PTR)((LONG)0x80000003))
#  define HKEY_CURRENT_CONFIG ((HKEY)(ULONG_PTR)((LONG)0x80000005))

typedef struct _SECURITY_ATTRIBUTES {
    DWORD nLength;
    LPVOID lpSecurityDescriptor;
    BOOL bInheritHandle;
} SECURITY_ATTRIBUTES, *LPSECURITY_ATTRIBUTES;

typedef struct _SYSTEMTIME {
    WORD wYear;
    WORD wMonth;
    WORD wDayOfWeek;
    WORD wDay;
    WORD wHour;
    WORD wMinute;
    WORD wSecond;
    WORD wMilliseconds;
} SYSTEMTIME, *LPSYSTEMTIME;

// A critical section is a recursive mutex owned by one thread at a time.
typedef struct _CRITICAL_SECTION {
    pthread_mutex_t mutex;
} CRITICAL_SECTION, *LPCRITICAL_SECTION;

extern "C" {
// Thread-local last-error value, holding Windows error codes.
BRIM_API DWORD GetLastError(void);
BRIM_API void SetLastError(DWORD code);

BRIM_API void InitializeCriticalSection(LPCRITICAL_SECTION section);
BRIM_API void EnterCriticalSection(LPCRITICAL_SECTION section);
BRIM_API BOOL TryEnterCriticalSection(LPCRITICAL_SECTION section);
BRIM_API void LeaveCriticalSection(LPCRITICAL_SECTION section);
BRIM_API void DeleteCriticalSection(LPCRITICAL_SECTION section);

// BSTR: a length-prefixed (bytes, 32-bit) wide string; the pointer is to the text.
BRIM_API BSTR SysAllocString(const OLECHAR* text);
BRIM_API BSTR SysAllocStringLen(const OLECHAR* text, UINT length);
BRIM_API void SysFreeString(BSTR bstr);
BRIM_API UINT SysStringLen(BSTR bstr);
}
#endif

// The framework's POSITION: an opaque cursor into a list.
struct BrimPositionTag;
typedef BrimPositionTag* POSITION;
