// File-system commands: find, rmdir, rename, and log.
#include "tools/brim/args.h"
#include "tools/brim/commands.h"
#include "tools/brim/console.h"

namespace brimtool {
namespace {

class Lister final : public CBrimFileFind {
public:
    void vFoundFolder(const wchar_t* path, const wchar_t* /*name*/) override { Out(CStringW(L"D ") + path + L"\n"); }
    void vFoundFile(const wchar_t* path, const wchar_t* /*name*/, const wchar_t* /*title*/) override {
        Out(CStringW(L"F ") + path + L"\n");
    }
};

}  // namespace

int CommandFind(const Arguments& args) {
    const Command& self = CommandNamed(L"find");
    Args a;
    if (!a.Parse(args, {L"--ext"}, {L"--recursive", L"--hidden"})) return UsageError(self, a.Error());
    if (a.Operands().size() != 1) return UsageError(self, L"one folder is needed");
    CStringW folder = a.Operands()[0];
    folder.TrimRight(L"/\\");
    if (folder.IsEmpty()) folder = a.Operands()[0];   // the root itself
    // The walk reports nothing for a folder it cannot enter: say why here.
    const PathKind kind = KindOf(folder);
    if (kind == PathKind::kMissing) return Failure(a.Operands()[0] + L": " + CBrimUtil::MessageError(3));
    if (kind == PathKind::kFile) return Failure(a.Operands()[0] + L": " + CBrimUtil::MessageError(267));
    Lister lister;
    lister.FindFoldersFiles(folder, a.Value(L"--ext"), a.Flag(L"--recursive") ? 1 : 0, a.Flag(L"--hidden") ? 1 : 0);
    return kExitOk;
}

int CommandRmdir(const Arguments& args) {
    const Command& self = CommandNamed(L"rmdir");
    Args a;
    if (!a.Parse(args, {}, {})) return UsageError(self, a.Error());
    if (a.Operands().size() != 1) return UsageError(self, L"one folder is needed");
    if (!CBrimFileOperation::DeleteDirectory(a.Operands()[0])) {
        return Failure(a.Operands()[0] + L": " + CBrimUtil::MessageError(GetLastError()));
    }
    return kExitOk;
}

int CommandRename(const Arguments& args) {
    const Command& self = CommandNamed(L"rename");
    Args a;
    if (!a.Parse(args, {}, {})) return UsageError(self, a.Error());
    if (a.Operands().size() != 2) return UsageError(self, L"OLD and NEW are needed");
    // The shell rename reports nothing: check what it was given and what it did.
    const CStringW& from = a.Operands()[0];
    if (KindOf(from) == PathKind::kMissing) return Failure(from + L": " + CBrimUtil::MessageError(2));
    SetLastError(0);
    CBrimFileSHOperation::rename(from, a.Operands()[1]);
    if (KindOf(from) != PathKind::kMissing && from.CompareNoCase(a.Operands()[1]) != 0) {
        const DWORD code = GetLastError();
        return Failure(from + L": not renamed" + (code != 0 ? L": " + CBrimUtil::MessageError(code) : CStringW()));
    }
    return kExitOk;
}

int CommandLog(const Arguments& args) {
    const Command& self = CommandNamed(L"log");
    Args a;
    if (!a.Parse(args, {L"--level", L"--folder"}, {})) return UsageError(self, a.Error());
    long long level = 1;
    if (a.Has(L"--level") && !ParseInt(a.Value(L"--level"), -1000000, 1000000, level)) {
        return UsageError(self, L"--level takes a whole number");
    }
    if (a.Operands().size() != 1) return UsageError(self, L"one TEXT is needed");
    CStringW folder = a.Value(L"--folder", L"./Log/");
    if (folder.Right(1) != L"/" && folder.Right(1) != L"\\") folder += L"/";
    CBrimLog::Init(0, folder);
    BRIM_LOG(static_cast<int>(level), L"%s", a.Operands()[0].GetString());
    Out(L"logged to " + folder + L"\n");
    return kExitOk;
}

}  // namespace brimtool
