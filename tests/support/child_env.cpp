// Child commands of the environment tests: registry and profile writers.
#include "tests/support/child.h"

#include <cstdio>
#include <cstdlib>

namespace brimchild {
namespace {

int RegistryHammer(const CStringW& key, const CStringW& id, int count) {
    const CStringW shared = key + L"\\shared";
    const CStringW mine = L"n" + id;
    const CStringW tree = key + L"\\tree-" + id;
    for (int i = 0; i < count; ++i) {
        if (!CBrimRegistry::LocalWriteInt(HKEY_CURRENT_USER, shared, mine, static_cast<unsigned long>(i))) {
            return Bad("write-int");
        }
        if (CBrimRegistry::LocalReadInt(HKEY_CURRENT_USER, shared, mine) != i) return Bad("read-int");
        CStringW text;
        text.Format(L"writer %s step %d", id.GetString(), i);
        if (!CBrimRegistry::LocalWriteString(HKEY_CURRENT_USER, shared, L"last", text)) return Bad("write-string");
        const CStringW last = CBrimRegistry::LocalReadString(HKEY_CURRENT_USER, shared, L"last");
        if (last.Find(L"writer ") != 0 || last.Find(L" step ") < 0) return Bad("torn-string");
        if (!CBrimRegistry::LocalWriteString(HKEY_CURRENT_USER, tree + L"\\a\\b", L"v", L"x")) return Bad("write-tree");
        CStringW path = tree;
        if (CBrimRegistry::LocalDeleteSubKey(HKEY_CURRENT_USER, path.GetBuffer()) != 1) return Bad("delete-tree");
    }
    Say("done");
    return 0;
}

int RegistryWriteForever(const CStringW& company) {
    CWinApp app(L"killed");
    app.SetRegistryKey(company);
    const int size = 1 << 20;
    for (int round = 1;; ++round) {
        const CStringW big(static_cast<wchar_t>(L'A' + round % 26), size);
        if (!app.WriteProfileString(L"data", L"big", big)) return Bad("write-big");
        if (!app.WriteProfileInt(L"data", L"round", round)) return Bad("write-round");
        std::printf("committed %d\n", round);
        std::fflush(stdout);
    }
}

int ProfileWrites(const CStringW& file, const CStringW& id, int count) {
    CWinApp app(L"ini-writer");
    app.SetProfileName(file);
    for (int i = 0; i < count; ++i) {
        CStringW entry;
        entry.Format(L"%s-%d", id.GetString(), i);
        if (!app.WriteProfileInt(L"shared", entry, i)) return Bad("write");
    }
    Say("done");
    return 0;
}

}  // namespace

int RunEnvCommand(const std::vector<CStringW>& args) {
    const CStringW& command = args[0];
    if (command == L"reg-hammer" && args.size() == 4) return RegistryHammer(args[1], args[2], static_cast<int>(std::wcstol(args[3], nullptr, 10)));
    if (command == L"reg-write-forever") return RegistryWriteForever(args[1]);
    if (command == L"ini-write" && args.size() == 4) {
        return ProfileWrites(args[1], args[2], static_cast<int>(std::wcstol(args[3], nullptr, 10)));
    }
    if (command == L"reg-probe" && args.size() == 2) {
        // Reads HKCU\KEY's value "v", then tries to change it; prints both
        // results and the last error each failure left.
        const CStringW read = CBrimRegistry::LocalReadString(HKEY_CURRENT_USER, args[1], L"v");
        std::printf("read %s\n", ToUtf8(read).c_str());
        SetLastError(0);
        if (CBrimRegistry::LocalWriteString(HKEY_CURRENT_USER, args[1], L"v", L"changed")) {
            std::printf("write ok\n");
        } else {
            std::printf("write failed %lu\n", static_cast<unsigned long>(GetLastError()));
        }
        std::fflush(stdout);
        return 0;
    }
    return kNotMine;
}

}  // namespace brimchild
