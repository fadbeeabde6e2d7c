// Environment commands: reg, sysinfo, version-info.
#include "tools/brim/args.h"
#include "tools/brim/commands.h"
#include "tools/brim/console.h"
#include "tools/brim/module.h"

#include <vector>

namespace brimtool {
namespace {

// "HKCU\Software\X" → root and sub-key; false for an unknown root.
bool SplitKey(const CStringW& path, HKEY& root, CStringW& subKey) {
    const int slash = path.Find(L'\\');
    CStringW head = slash < 0 ? path : path.Left(slash);
    head.MakeUpper();
    subKey = slash < 0 ? CStringW() : path.Mid(slash + 1);
    const struct { const wchar_t* a; const wchar_t* b; HKEY key; } roots[] = {
        {L"HKCU", L"HKEY_CURRENT_USER", HKEY_CURRENT_USER},
        {L"HKLM", L"HKEY_LOCAL_MACHINE", HKEY_LOCAL_MACHINE},
        {L"HKCR", L"HKEY_CLASSES_ROOT", HKEY_CLASSES_ROOT},
        {L"HKU", L"HKEY_USERS", HKEY_USERS},
        {L"HKCC", L"HKEY_CURRENT_CONFIG", HKEY_CURRENT_CONFIG},
    };
    for (const auto& r : roots) {
        if (head == r.a || head == r.b) {
            root = r.key;
            return true;
        }
    }
    return false;
}

CStringW Kilobytes(unsigned long long bytes) {
    CStringW text;
    text.Format(L"%I64u KiB", static_cast<unsigned long long>(bytes / 1024));
    return text;
}

}  // namespace

int CommandReg(const Arguments& args) {
    const Command& self = CommandNamed(L"reg");
    Args a;
    if (!a.Parse(args, {}, {L"--int"})) return UsageError(self, a.Error());
    const auto& ops = a.Operands();
    if (ops.size() < 2) return UsageError(self, L"an action and a key are needed");
    HKEY root = nullptr;
    CStringW subKey;
    if (!SplitKey(ops[1], root, subKey) || subKey.IsEmpty()) return UsageError(self, L"the key must be ROOT\\KEY (HKCU, HKLM, HKCR, HKU, HKCC)");
    const bool number = a.Flag(L"--int");
    if (ops[0] == L"get" && ops.size() == 3) {
        // The readers give "" for a missing value too: ask first.
        const DWORD status = CBrimRegistry::LocalValueStatus(root, subKey, ops[2]);
        if (status == 2) return Failure(ops[1] + L": value '" + ops[2] + L"' not found");
        if (status != 0) return Failure(ops[1] + L": " + CBrimUtil::MessageError(status));
        CStringW line;
        if (number) line.Format(L"%d\n", CBrimRegistry::LocalReadInt(root, subKey, ops[2]));
        else line = CBrimRegistry::LocalReadString(root, subKey, ops[2]) + L"\n";
        Out(line);
        return kExitOk;
    }
    if (ops[0] == L"set" && ops.size() == 4) {
        long long value = 0;
        if (number && !ParseInt(ops[3], 0, 0xFFFFFFFFLL, value)) return UsageError(self, L"--int takes 0 to 4294967295");
        const bool ok = number ? CBrimRegistry::LocalWriteInt(root, subKey, ops[2], static_cast<unsigned long>(value))
                               : CBrimRegistry::LocalWriteString(root, subKey, ops[2], ops[3]);
        return ok ? kExitOk : Failure(ops[1] + L": " + CBrimUtil::MessageError(GetLastError()));
    }
    if (ops[0] == L"delete" && ops.size() == 2) {
        std::vector<wchar_t> buffer(subKey.GetString(), subKey.GetString() + subKey.GetLength() + 1);
        return CBrimRegistry::LocalDeleteSubKey(root, buffer.data()) == 1 ? kExitOk : kExitFailure;
    }
    return UsageError(self, L"unknown action or wrong number of operands");
}

int CommandSysinfo(const Arguments& args) {
    const Command& self = CommandNamed(L"sysinfo");
    Args a;
    if (!a.Parse(args, {}, {})) return UsageError(self, a.Error());
    if (!a.Operands().empty()) return UsageError(self, L"sysinfo takes no operands ('" + a.Operands()[0] + L"' given)");
    CStringList drives;
    CBrimInfoSystem::GetLogicalDrives(&drives);
    CStringW text = L"drives:            ";
    for (POSITION p = drives.GetHeadPosition(); p != nullptr;) text += L" " + drives.GetNext(p);
    const CStringW system = CBrimInfoSystem::GetSystemDrive();
    text += L"\nsystem drive:       " + system;
    text += L"\ntemporary folder:   " + CBrimInfoSystem::GetTempDirectory();
    text.AppendFormat(L"\nvolume serial:      %08lX", CBrimInfoMachine::GenerateHDDID(system));
    text += L"\nexecutable folder:  " + CBrimInfoModule::GetCurrentPath();
    unsigned long long working = 0, committed = 0;
    CBrimInfoModule::GetVMemoryUsage(&working, &committed);
    text += L"\nworking set:        " + Kilobytes(working);
    text += L"\nprivate committed:  " + Kilobytes(committed) + L"\n";
    Out(text);
    return kExitOk;
}

int CommandVersionInfo(const Arguments& args) {
    const Command& self = CommandNamed(L"version-info");
    Args a;
    if (!a.Parse(args, {}, {}) || a.Operands().size() != 2) return UsageError(self, L"FILE and KEY are needed");
    CStringW error;
    HINSTANCE module = LoadResourceModule(a.Operands()[0], error);
    if (module == nullptr) return Failure(error);
    const CStringW value = CBrimInfoModule::GetVersionInfo(module, a.Operands()[1]);
    if (value.IsEmpty()) return Failure(a.Operands()[0] + L": no version value " + a.Operands()[1]);
    Out(value + L"\n");
    return kExitOk;
}

}  // namespace brimtool
