// The application object's profile functions, written once over the
// registry layer and the profile-file layer.

#include <brim/framework.h>

#include "framework/resources/module.h"
#include "framework/app/profile.h"
#include "framework/registry/registry.h"

#include <atomic>
#include <vector>

namespace {

std::atomic<CWinApp*> g_app{nullptr};

CStringW BaseNameWithoutExtension(const std::wstring& path) {
    const std::size_t slash = path.find_last_of(L"\\/");
    std::wstring name = slash == std::wstring::npos ? path : path.substr(slash + 1);
    const std::size_t dot = name.rfind(L'.');
    if (dot != std::wstring::npos && dot > 0) name.resize(dot);
    return CStringW(name.c_str());
}

bool Has(const wchar_t* text) { return text != nullptr; }

}  // namespace

CWinApp::CWinApp(const wchar_t* appName) {
    m_strExeName = BaseNameWithoutExtension(brim::platform::ExecutablePath());
    m_strAppName = appName != nullptr ? CStringW(appName) : m_strExeName;
    m_strProfileName = m_strExeName + L".INI";
    m_pszAppName = m_strAppName;
    m_pszExeName = m_strExeName;
    m_pszRegistryKey = nullptr;
    m_pszProfileName = m_strProfileName;
    CWinApp* none = nullptr;
    g_app.compare_exchange_strong(none, this);
}

CWinApp::~CWinApp() {
    CWinApp* self = this;
    g_app.compare_exchange_strong(self, nullptr);
}

CWinApp* AfxGetApp() { return g_app.load(); }

void CWinApp::SetRegistryKey(const wchar_t* company) {
    m_strRegistryKey = company;
    m_pszRegistryKey = m_strRegistryKey;
    SetProfileName(m_pszAppName);
}

void CWinApp::SetRegistryKey(UINT companyStringId) {
    CStringW company;
    company.LoadStringW(companyStringId);
    SetRegistryKey(company);
}

void CWinApp::SetProfileName(const wchar_t* profileName) {
    m_strProfileName = profileName;   // a copy first: profileName may point into the old value
    m_pszProfileName = m_strProfileName;
}

namespace {
// Software\<registry key>\<profile name>\<section>, below HKEY_CURRENT_USER.
CStringW SectionPath(const CWinApp& app, const wchar_t* section) {
    CStringW path = L"Software\\";
    path += app.m_pszRegistryKey;
    path += L"\\";
    path += app.m_pszProfileName;
    path += L"\\";
    path += section;
    return path;
}
}  // namespace

HKEY CWinApp::OpenSectionKey(const wchar_t* section, bool create) const {
    const CStringW path = SectionPath(*this, section);
    HKEY key = nullptr;
    const DWORD access = brim::platform::kKeyRead | brim::platform::kKeyWrite;
    const LONG rc = create ? brim::platform::KeyCreate(HKEY_CURRENT_USER, path, access, &key)
                           : brim::platform::KeyOpen(HKEY_CURRENT_USER, path, access, &key);
    return brim::detail::Succeeded(rc) ? key : nullptr;
}

CStringW CWinApp::GetProfileString(const wchar_t* section, const wchar_t* entry, const wchar_t* defaultValue) {
    if (!Has(section) || !Has(entry)) return CStringW(defaultValue);
    if (m_pszRegistryKey == nullptr) {
        return CStringW(brim::platform::ProfileGetString(m_pszProfileName, section, entry, defaultValue).c_str());
    }
    brim::detail::ScopedKey key;
    *key.Out() = OpenSectionKey(section, false);
    if (key.Get() == nullptr) return CStringW(defaultValue);
    // The value may grow between the size query and the read: ask again then.
    for (int attempt = 0; attempt < 4; ++attempt) {
        DWORD type = 0, size = 0;
        if (brim::platform::ValueQuery(key.Get(), entry, &type, nullptr, &size) != 0) break;
        if (type != brim::platform::kRegSz) break;
        std::vector<unsigned char> data(size + 2);
        const LONG rc = brim::platform::ValueQuery(key.Get(), entry, &type, data.data(), &size);
        if (rc == brim::platform::kMoreData) continue;
        if (rc != 0 || type != brim::platform::kRegSz) break;
        return CStringW(brim::detail::StringFromValueBytes(data.data(), size).c_str());
    }
    return CStringW(defaultValue);
}

BOOL CWinApp::WriteProfileString(const wchar_t* section, const wchar_t* entry, const wchar_t* value) {
    if (!Has(section)) return FALSE;
    if (m_pszRegistryKey == nullptr) {
        return brim::platform::ProfileWriteString(m_pszProfileName, section, entry, value) ? TRUE : FALSE;
    }
    if (entry == nullptr) {
        const LONG rc = brim::platform::KeyDelete(HKEY_CURRENT_USER, SectionPath(*this, section));
        return rc == 0 || rc == 2 ? TRUE : FALSE;
    }
    brim::detail::ScopedKey key;
    *key.Out() = OpenSectionKey(section, value != nullptr);
    if (value == nullptr) {
        // Removing an entry of a section that is not there leaves nothing to do.
        if (key.Get() == nullptr) return TRUE;
        const LONG rc = brim::platform::ValueDelete(key.Get(), entry);
        return rc == 0 || rc == 2 ? TRUE : FALSE;
    }
    if (key.Get() == nullptr) return FALSE;
    const std::vector<unsigned char> bytes = brim::detail::StringValueBytes(value);
    return brim::detail::Succeeded(brim::platform::ValueSet(key.Get(), entry, brim::platform::kRegSz, bytes.data(),
                                                            static_cast<DWORD>(bytes.size())))
               ? TRUE
               : FALSE;
}

UINT CWinApp::GetProfileInt(const wchar_t* section, const wchar_t* entry, int defaultValue) {
    if (!Has(section) || !Has(entry)) return static_cast<UINT>(defaultValue);
    if (m_pszRegistryKey == nullptr) {
        return brim::platform::ProfileGetInt(m_pszProfileName, section, entry, defaultValue);
    }
    brim::detail::ScopedKey key;
    *key.Out() = OpenSectionKey(section, false);
    if (key.Get() == nullptr) return static_cast<UINT>(defaultValue);
    DWORD type = 0, value = 0, size = sizeof value;
    if (brim::platform::ValueQuery(key.Get(), entry, &type, &value, &size) != 0 || type != brim::platform::kRegDword ||
        size != sizeof value) {
        return static_cast<UINT>(defaultValue);
    }
    return value;
}

BOOL CWinApp::WriteProfileInt(const wchar_t* section, const wchar_t* entry, int value) {
    if (!Has(section) || !Has(entry)) return FALSE;
    if (m_pszRegistryKey == nullptr) {
        CStringW text;
        text.Format(L"%d", value);
        return brim::platform::ProfileWriteString(m_pszProfileName, section, entry, text) ? TRUE : FALSE;
    }
    brim::detail::ScopedKey key;
    *key.Out() = OpenSectionKey(section, true);
    if (key.Get() == nullptr) return FALSE;
    const DWORD number = static_cast<DWORD>(value);
    return brim::detail::Succeeded(brim::platform::ValueSet(key.Get(), entry, brim::platform::kRegDword, &number, sizeof number))
               ? TRUE
               : FALSE;
}
