#include <brim/framework.h>

#include "framework/files/file_find_platform.h"

#include <cwchar>
#include <string>
#include <utility>

CFileFind::CFileFind() : m_pHandle(nullptr), m_dwAttributes(0), m_dwNextAttributes(0), m_bHaveNext(false) {}

CFileFind::~CFileFind() { Close(); }

void CFileFind::Close() {
    if (m_pHandle != nullptr) brim::platform::FindClose(m_pHandle);
    m_pHandle = nullptr;
    m_strRoot.Empty();
    m_strName.Empty();
    m_strNextName.Empty();
    m_dwAttributes = m_dwNextAttributes = 0;
    m_bHaveNext = false;
}

BOOL CFileFind::FindFile(const wchar_t* name, DWORD) {
    Close();
    std::wstring root;
    const std::wstring pattern = name != nullptr ? std::wstring(name) : std::wstring(L"*.*");
    m_pHandle = brim::platform::FindOpen(pattern.c_str(), root);
    if (m_pHandle == nullptr) return FALSE;
    m_strRoot = CStringW(root.c_str(), static_cast<int>(root.size()));
    if (!brim::platform::FindNextEntry(m_pHandle, m_strNextName, m_dwNextAttributes)) {
        const DWORD error = GetLastError();
        Close();
        SetLastError(error == 18 ? 2 : error);   // nothing matched: "file not found"
        return FALSE;
    }
    m_bHaveNext = true;
    return TRUE;
}

BOOL CFileFind::FindNextFile() {
    if (m_pHandle == nullptr || !m_bHaveNext) return FALSE;
    // Swapped, not copied: the next entry is decoded into the buffer of the
    // entry before, which nobody shares by now, so a walk does not allocate
    // for names.
    CStringW previous(std::move(m_strName));
    m_strName = std::move(m_strNextName);
    m_strNextName = std::move(previous);
    m_dwAttributes = m_dwNextAttributes;
    m_bHaveNext = brim::platform::FindNextEntry(m_pHandle, m_strNextName, m_dwNextAttributes);
    return m_bHaveNext ? TRUE : FALSE;
}

CStringW CFileFind::GetFileName() const { return m_strName; }

CStringW CFileFind::GetFilePath() const {
    if (m_strName.IsEmpty()) return CStringW();
    // One allocation: a walk asks this for every entry.
    const int rootLength = m_strRoot.GetLength(), nameLength = m_strName.GetLength();
    const wchar_t separator = brim::platform::PathSeparator();
    const int joint = rootLength == 0 || m_strRoot.GetAt(rootLength - 1) != separator ? 1 : 0;
    CStringW path;
    wchar_t* p = path.GetBufferSetLength(rootLength + joint + nameLength);
    std::wmemcpy(p, m_strRoot.GetString(), static_cast<std::size_t>(rootLength));
    if (joint != 0) p[rootLength] = separator;
    std::wmemcpy(p + rootLength + joint, m_strName.GetString(), static_cast<std::size_t>(nameLength));
    path.ReleaseBuffer(rootLength + joint + nameLength);
    return path;
}

CStringW CFileFind::GetFileTitle() const {
    const int dot = m_strName.ReverseFind(L'.');
    return dot < 0 ? m_strName : m_strName.Left(dot);
}

CStringW CFileFind::GetRoot() const { return m_strRoot; }

BOOL CFileFind::MatchesMask(DWORD mask) const { return (m_dwAttributes & mask) != 0 ? TRUE : FALSE; }

BOOL CFileFind::IsDots() const { return m_strName == L"." || m_strName == L".." ? TRUE : FALSE; }
