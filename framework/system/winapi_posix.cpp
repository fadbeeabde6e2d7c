// The Windows calls a host uses with the API: critical sections and BSTRs.

#include <brim/config.h>

#include <cstdlib>
#include <cstring>
#include <cwchar>

extern "C" {

void InitializeCriticalSection(LPCRITICAL_SECTION section) {
    pthread_mutexattr_t attr;
    pthread_mutexattr_init(&attr);
    pthread_mutexattr_settype(&attr, PTHREAD_MUTEX_RECURSIVE);
    pthread_mutex_init(&section->mutex, &attr);
    pthread_mutexattr_destroy(&attr);
}

void EnterCriticalSection(LPCRITICAL_SECTION section) { pthread_mutex_lock(&section->mutex); }

BOOL TryEnterCriticalSection(LPCRITICAL_SECTION section) {
    return pthread_mutex_trylock(&section->mutex) == 0 ? TRUE : FALSE;
}

void LeaveCriticalSection(LPCRITICAL_SECTION section) { pthread_mutex_unlock(&section->mutex); }

void DeleteCriticalSection(LPCRITICAL_SECTION section) { pthread_mutex_destroy(&section->mutex); }

// A BSTR points at its text; a 32-bit byte count sits just before it, and a
// terminator after it. The block is allocated so the count stays aligned.
BSTR SysAllocStringLen(const OLECHAR* text, UINT length) {
    if (length > (0x7FFFFFFFu - sizeof(std::uint32_t)) / sizeof(OLECHAR) - 1) return nullptr;
    const std::size_t bytes = static_cast<std::size_t>(length) * sizeof(OLECHAR);
    constexpr std::size_t header = sizeof(OLECHAR) > sizeof(std::uint32_t) ? sizeof(OLECHAR) : sizeof(std::uint32_t);
    auto* block = static_cast<unsigned char*>(std::malloc(header + bytes + sizeof(OLECHAR)));
    if (block == nullptr) return nullptr;
    auto* result = reinterpret_cast<BSTR>(block + header);
    const std::uint32_t count = static_cast<std::uint32_t>(bytes);
    std::memcpy(reinterpret_cast<unsigned char*>(result) - sizeof(std::uint32_t), &count, sizeof count);
    if (text != nullptr) std::memcpy(result, text, bytes);
    else std::memset(result, 0, bytes);
    result[length] = 0;
    return result;
}

BSTR SysAllocString(const OLECHAR* text) {
    if (text == nullptr) return nullptr;
    return SysAllocStringLen(text, static_cast<UINT>(std::wcslen(text)));
}

void SysFreeString(BSTR bstr) {
    if (bstr == nullptr) return;
    constexpr std::size_t header = sizeof(OLECHAR) > sizeof(std::uint32_t) ? sizeof(OLECHAR) : sizeof(std::uint32_t);
    std::free(reinterpret_cast<unsigned char*>(bstr) - header);
}

UINT SysStringLen(BSTR bstr) {
    if (bstr == nullptr) return 0;
    std::uint32_t count = 0;
    std::memcpy(&count, reinterpret_cast<unsigned char*>(bstr) - sizeof(std::uint32_t), sizeof count);
    return count / sizeof(OLECHAR);
}

}  // extern "C"
