// Text commands: detect, cat, convert, hexdump.
#include "tools/brim/args.h"
#include "tools/brim/commands.h"
#include "tools/brim/console.h"
#include "tools/brim/decode.h"

namespace brimtool {

namespace {

// A folder is refused as access denied (or not found), which hides the real mistake.
CStringW OpenProblem(const CStringW& path, unsigned long code) {
    return path + L": " + (KindOf(path) == PathKind::kFolder ? CStringW(L"is a folder, not a file\n") : CBrimUtil::MessageError(code));
}

}  // namespace

bool ReadAllBytes(const CStringW& path, std::vector<unsigned char>& bytes, CStringW& error) {
    CFile file;
    CFileException failure;
    if (!file.Open(path, CFile::modeRead | CFile::shareDenyNone | CFile::typeBinary, &failure)) {
        error = OpenProblem(path, static_cast<unsigned long>(failure.m_lOsError));
        return false;
    }
    const ULONGLONG length = file.GetLength();
    if (length > 0x7FFFFFFFu) {
        error = path + L": " + CBrimUtil::MessageError(8);
        return false;
    }
    bytes.resize(static_cast<std::size_t>(length));
    const UINT got = bytes.empty() ? 0 : file.Read(bytes.data(), static_cast<UINT>(bytes.size()));
    bytes.resize(got);
    return true;
}

namespace {

// Decoded text without the byte-order mark the reader keeps.
CStringW DecodedText(const CStringW& path) {
    CBrimFile file;
    file.SetFilename(path);
    CStringW text = file.ReadTextFile();
    if (!text.IsEmpty() && text[0] == L'\xFEFF') text = text.Mid(1);
    return text;
}

bool Exists(const CStringW& path) {
    CFile probe;
    return probe.Open(path, CFile::modeRead | CFile::shareDenyNone) != FALSE;
}

}  // namespace

int CommandDetect(const Arguments& args) {
    const Command& self = CommandNamed(L"detect");
    Args a;
    if (!a.Parse(args, {}, {})) return UsageError(self, a.Error());
    if (a.Operands().empty()) return UsageError(self, L"no file given");
    int status = kExitOk;
    for (const CStringW& path : a.Operands()) {
        std::vector<unsigned char> bytes;
        CStringW error;
        if (!ReadAllBytes(path, bytes, error)) {
            status = Failure(error);
            continue;
        }
        const int id = CBrimFile::EncodingCheck(bytes.data(), static_cast<unsigned int>(bytes.size()));
        Out(path + L": " + CBrimFile::GetEncodingName(id) + L"\n");
    }
    return status;
}

int CommandCat(const Arguments& args) {
    const Command& self = CommandNamed(L"cat");
    Args a;
    if (!a.Parse(args, {}, {L"--ansi"})) return UsageError(self, a.Error());
    if (a.Operands().empty()) return UsageError(self, L"no file given");
    int status = kExitOk;
    for (const CStringW& path : a.Operands()) {
        std::vector<unsigned char> bytes;
        CStringW error;
        if (!ReadAllBytes(path, bytes, error)) {
            status = Failure(error);
            continue;
        }
        const int id = CBrimFile::EncodingCheck(bytes.data(), static_cast<unsigned int>(bytes.size()));
        Out(DecodeText(bytes, id, a.Flag(L"--ansi")));   // an encoding it does not decode throws: exit 1 with its text
    }
    return status;
}

int CommandConvert(const Arguments& args) {
    const Command& self = CommandNamed(L"convert");
    Args a;
    if (!a.Parse(args, {L"--to"}, {})) return UsageError(self, a.Error());
    const CStringW to = a.Value(L"--to");
    if (to != L"utf8" && to != L"utf16") return UsageError(self, L"--to must be utf8 or utf16");
    if (a.Operands().size() != 2) return UsageError(self, L"IN and OUT are needed");
    const CStringW& in = a.Operands()[0];
    const CStringW& out = a.Operands()[1];
    if (!Exists(in)) return Failure(OpenProblem(in, 2));
    if (Exists(out)) return Failure(out + L": " + CBrimUtil::MessageError(80));   // the writers append: refuse
    const CStringW text = DecodedText(in);
    CBrimFile target;
    target.SetFilename(out);
    if (to == L"utf8") target.WriteUTF8(text);
    else target.WriteUnicode(text);
    if (!Exists(out)) return Failure(out + L": " + CBrimUtil::MessageError(3));   // the writer drops what it cannot open
    return kExitOk;
}

int CommandHexdump(const Arguments& args) {
    const Command& self = CommandNamed(L"hexdump");
    Args a;
    if (!a.Parse(args, {}, {})) return UsageError(self, a.Error());
    if (a.Operands().size() != 1) return UsageError(self, L"one file is needed");
    std::vector<unsigned char> bytes;
    CStringW error;
    if (!ReadAllBytes(a.Operands()[0], bytes, error)) return Failure(error);
    CStringW page;
    for (std::size_t at = 0; at < bytes.size(); at += 16) {
        const int n = static_cast<int>(bytes.size() - at < 16 ? bytes.size() - at : 16);
        CStringW hex = CBrimString::BYTE2CString(bytes.data() + at, n);
        CStringW shown;
        for (int k = 0; k < n; ++k) {
            const unsigned char b = bytes[at + static_cast<std::size_t>(k)];
            shown += (b >= 0x20 && b < 0x7F) ? static_cast<wchar_t>(b) : L'.';
        }
        page.AppendFormat(L"%08zx  %-48s |%s|\n", at, hex.GetString(), shown.GetString());
        if (page.GetLength() > 60000) {
            Out(page);
            page.Empty();
        }
    }
    Out(page);
    return kExitOk;
}

}  // namespace brimtool
