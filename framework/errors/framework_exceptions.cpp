#include <brim/framework.h>

CObject::~CObject() = default;

CException::CException() : m_bAutoDelete(TRUE) {}

CException::CException(BOOL autoDelete) : m_bAutoDelete(autoDelete) {}

CException::~CException() = default;

void CException::Delete() {
    if (m_bAutoDelete > 0) delete this;
}

BOOL CException::GetErrorMessage(wchar_t* error, UINT maxError, UINT* helpContext) const {
    if (helpContext != nullptr) *helpContext = 0;
    if (error != nullptr && maxError > 0) error[0] = 0;
    return FALSE;
}

CMemoryException::CMemoryException() : CException(FALSE) {}

CMemoryException::~CMemoryException() = default;

CMemoryException* CMemoryException::Instance() {
    // Made at first use and never freed: throwing it must not need memory,
    // and Delete() leaves it alone (auto-delete clear).
    static CMemoryException* const instance = new CMemoryException();
    return instance;
}

CInvalidArgException::CInvalidArgException() = default;

CInvalidArgException::~CInvalidArgException() = default;
