// File-system commands: find, rmdir, rename, and log.
#include "tools/brim/args.h"
#include "tools/brim/commands.h"
#include "tools/brim/console.h"

#include <algorithm>
#include <ctime>
#include <cwchar>

namespace brimtool {
namespace {

// Lines gathered into large writes: a walk prints one per entry.
class Lister final : public CBrimFileFind {
public:
    void vFoundFolder(const wchar_t* path, const wchar_t* /*name*/) override { Line(L"D ", path); }
    void vFoundFile(const wchar_t* path, const wchar_t* /*name*/, const wchar_t* /*title*/) override {
        Line(L"F ", path);
    }

private:
    void Line(const wchar_t* kind, const wchar_t* path) {
        m_out.Add(kind);
        m_out.Add(path);
        m_out.Add(L"\n");
    }
    OutBuffer m_out;
};

// "/", "." and ".." as the last component (trailing separators aside), and on
// Windows a drive's root: deleting them would empty the parent, the folder
// itself or the whole volume, so they are refused as rm -rf refuses them.
bool NeverDeleted(const CStringW& path) {
    CStringW trimmed = path;
    trimmed.TrimRight(L"/\\");
    if (trimmed.IsEmpty()) return true;
    if (trimmed.GetLength() == 2 && trimmed[1] == L':') return true;
    const CStringW last = trimmed.Mid(std::max(trimmed.ReverseFind(L'/'), trimmed.ReverseFind(L'\\')) + 1);
    return last == L"." || last == L"..";
}

// The size of a file, -1 when it cannot be opened.
long long FileSize(const CStringW& path) {
    if (KindOf(path) != PathKind::Regular) return -1;
    CFile file;
    if (!file.Open(path, CFile::modeRead | CFile::shareDenyNone)) return -1;
    return static_cast<long long>(file.GetLength());
}

// The day file the log writes to now: the folder, the local date, ".log".
CStringW DayFile(const CStringW& folder) {
    const std::time_t now = std::time(nullptr);
    wchar_t date[32] = {};
    std::wcsftime(date, 32, L"%Y-%m-%d", std::localtime(&now));
    return folder + date + L".log";
}

}  // namespace

int CommandFind(const Arguments& args) {
    const Command& self = CommandNamed(L"find");
    Args a;
    if (!a.Parse(args, {L"--ext"}, {L"--recursive", L"--hidden"})) return UsageError(self, a.Error());
    if (a.Operands().size() != 1) return UsageError(self, L"one folder is needed");
    if (a.Operands()[0].IsEmpty()) return UsageError(self, L"the folder name is empty");
    CStringW folder = a.Operands()[0];
    folder.TrimRight(L"/\\");
    if (folder.IsEmpty()) folder = a.Operands()[0];   // the root itself
    // The walk reports nothing for a folder it cannot enter: say why here.
    const PathKind kind = KindOf(folder);
    if (kind == PathKind::Missing) return Failure(a.Operands()[0] + L": " + CBrimUtil::MessageError(3));
    if (kind != PathKind::Folder) return Failure(a.Operands()[0] + L": " + CBrimUtil::MessageError(267));
    Lister lister;
    lister.FindFoldersFiles(folder, a.Value(L"--ext"), a.Flag(L"--recursive") ? 1 : 0, a.Flag(L"--hidden") ? 1 : 0);
    return kExitOk;
}

int CommandRmdir(const Arguments& args) {
    const Command& self = CommandNamed(L"rmdir");
    Args a;
    if (!a.Parse(args, {}, {})) return UsageError(self, a.Error());
    if (a.Operands().size() != 1) return UsageError(self, L"one folder is needed");
    if (NeverDeleted(a.Operands()[0])) {
        return UsageError(self, L"refusing to delete '" + a.Operands()[0] + L"': \"/\", \".\" and \"..\" are never deleted");
    }
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
    if (KindOf(from) == PathKind::Missing) return Failure(from + L": " + CBrimUtil::MessageError(2));
    SetLastError(0);
    CBrimFileSHOperation::rename(from, a.Operands()[1]);
    if (KindOf(from) != PathKind::Missing && from.CompareNoCase(a.Operands()[1]) != 0) {
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
    // "" would make the day file's name absolute, in the root folder.
    if (folder.IsEmpty()) return UsageError(self, L"--folder needs a folder's name");
    if (folder.Right(1) != L"/" && folder.Right(1) != L"\\") folder += L"/";
    // The log may drop a record without a word: whether it arrived is seen in
    // the day file (either day's, should midnight pass meanwhile).
    const CStringW before = DayFile(folder);
    const long long sizeBefore = FileSize(before);
    CBrimLog::Init(0, folder);
    SetLastError(0);
    try {
        BRIM_LOG(static_cast<int>(level), L"%s", a.Operands()[0].GetString());
    } catch (CBrimException* e) {
        return WriterFailure(DayFile(folder), e);
    }
    const DWORD code = GetLastError();
    const CStringW after = DayFile(folder);
    const bool arrived = FileSize(before) > sizeBefore || (after != before && FileSize(after) > 0);
    if (!arrived) {
        if (level < 0) return Failure(L"the record was not written: its level is below the threshold 0");
        return Failure(L"the record did not reach " + after + L": " +
                       CBrimUtil::MessageError(code != 0 ? code : 29));   // 29: "The system cannot write to the specified device."
    }
    Out(L"logged to " + after + L"\n");
    return kExitOk;
}

}  // namespace brimtool
