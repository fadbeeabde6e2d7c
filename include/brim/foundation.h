// BrimCommon foundation: the failure channel.
//
//   try { ... }
//   catch (CBrimException* e) { use(e->GetMessageW()); e->Delete(); }
#pragma once

#include <brim/framework.h>

// Every failure of the library is thrown as a pointer to a heap-allocated
// CBrimException whose message begins with "BrimException : ".
class BRIM_API CBrimException : public CException {
public:
    CBrimException();
    // The prefix, then format expanded with the arguments (Windows wide printf
    // rules). The expansion keeps at most 1023 characters; longer text is cut.
    explicit CBrimException(const wchar_t* format, ...);
    // The prefix, then CBrimUtil::MessageError(errorCode).
    explicit CBrimException(const unsigned long& errorCode);
    ~CBrimException() override;

    const CStringW& GetMessageW() { return m_strMessage; }
#if defined(_WIN32)
    const CStringW& GetMessageA() { return m_strMessage; }   // GetMessage maps here without UNICODE
#endif

    CStringW m_strMessage;
};

#include <brim/util.h>
#include <brim/log.h>
#include <brim/host_tools.h>
