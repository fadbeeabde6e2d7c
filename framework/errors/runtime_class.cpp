// Run-time class records of the framework's classes, and what CObject and
// CException do with them. A class that declares no record of its own
// (CBrimException among them) reports its nearest base's.

#include <brim/framework.h>

#include <cwchar>

const CRuntimeClass CObject::classCObject = {"CObject", static_cast<int>(sizeof(CObject)), 0xFFFFu, nullptr, nullptr,
                                             nullptr};

CRuntimeClass* CObject::GetRuntimeClass() const { return RUNTIME_CLASS(CObject); }

BOOL CObject::IsKindOf(const CRuntimeClass* cls) const { return GetRuntimeClass()->IsDerivedFrom(cls); }

CObject* CRuntimeClass::CreateObject() const { return m_pfnCreateObject != nullptr ? m_pfnCreateObject() : nullptr; }

BOOL CRuntimeClass::IsDerivedFrom(const CRuntimeClass* base) const {
    for (const CRuntimeClass* cls = this; cls != nullptr; cls = cls->m_pBaseClass) {
        if (cls == base) return TRUE;
    }
    return FALSE;
}

int CException::ReportError(UINT type, UINT messageId) {
    // Bounded: a longer description is cut, as the caller's buffer would cut it.
    wchar_t text[512];
    if (GetErrorMessage(text, sizeof text / sizeof text[0], nullptr) && text[0] != 0) return AfxMessageBox(text, type);
    CStringW resource;
    if (messageId != 0 && resource.LoadStringW(messageId) && !resource.IsEmpty()) return AfxMessageBox(resource.GetString(), type);
    return AfxMessageBox(L"No error message is available.", type);
}

IMPLEMENT_DYNAMIC(CException, CObject)
IMPLEMENT_DYNAMIC(CMemoryException, CException)
IMPLEMENT_DYNAMIC(CInvalidArgException, CException)
IMPLEMENT_DYNAMIC(CFileException, CException)
IMPLEMENT_DYNAMIC(CInternetException, CException)
IMPLEMENT_DYNAMIC(CStringList, CObject)
IMPLEMENT_DYNAMIC(CFile, CObject)
IMPLEMENT_DYNAMIC(CMutex, CObject)
IMPLEMENT_DYNAMIC(CWinApp, CObject)
IMPLEMENT_DYNAMIC(CFileFind, CObject)
IMPLEMENT_DYNAMIC(CInternetSession, CObject)
IMPLEMENT_DYNAMIC(CInternetConnection, CObject)
IMPLEMENT_DYNAMIC(CFtpConnection, CInternetConnection)
IMPLEMENT_DYNAMIC(CHttpConnection, CInternetConnection)
IMPLEMENT_DYNAMIC(CInternetFile, CObject)
IMPLEMENT_DYNAMIC(CHttpFile, CInternetFile)
IMPLEMENT_DYNAMIC(CFtpFileFind, CObject)
