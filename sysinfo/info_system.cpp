#include <brim/env.h>
#include <brim/sysinfo.h>

#include "framework/system/system.h"

#include <cwchar>

namespace {
constexpr DWORD kExpandCapacity = 260;
const wchar_t kTempTemplate[] = L"TEMP       = %TEMP%";
constexpr std::size_t kTempLabelLength = 13;   // "TEMP       = "
}  // namespace

void CBrimInfoSystem::GetLogicalDrives(CStringList* list) {
    std::vector<std::wstring> roots;
    if (list == nullptr || !brim::platform::DriveRoots(roots)) return;
    for (const std::wstring& root : roots) list->AddTail(root.c_str());
}

CStringW CBrimInfoSystem::GetSystemDrive() {
    std::wstring root;
    if (!brim::platform::SystemDriveRoot(root)) throw new CBrimException(static_cast<unsigned long>(GetLastError()));
    return CStringW(root.c_str());
}

unsigned long CBrimInfoSystem::GetIEVer() {
    const CStringW version =
        CBrimRegistry::LocalReadString(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Microsoft\\Internet Explorer", L"Version");
    if (version.IsEmpty()) return 0;
    switch (version.GetAt(0)) {
    case L'7': return 1;
    case L'8': return 2;
    case L'9': return 3;
    default: return 0;
    }
}

CStringW CBrimInfoSystem::GetTempDirectory() {
    wchar_t expanded[kExpandCapacity];
    const DWORD needed = brim::platform::ExpandEnvironment(kTempTemplate, expanded, kExpandCapacity);
    if (needed == 0 || needed > kExpandCapacity) return CStringW();
    return CStringW(expanded + kTempLabelLength);
}

unsigned long CBrimInfoMachine::GenerateHDDID(const wchar_t* root) {
    const CStringW volume = root != nullptr ? CStringW(root) : CBrimInfoSystem::GetSystemDrive();
    DWORD serial = 0;
    if (!brim::platform::VolumeSerial(volume, &serial)) {
        throw new CBrimException(static_cast<unsigned long>(GetLastError()));
    }
    return serial;
}
