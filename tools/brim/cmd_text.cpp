// Text commands: detect, cat, convert, hexdump.
#include "tools/brim/args.h"
#include "tools/brim/commands.h"
#include "tools/brim/console.h"
#include "tools/brim/decode.h"

namespace brimtool {

namespace {
constexpr unsigned long kErrorNotEnoughMemory = 8;
constexpr unsigned long kErrorFolder = 336;   // "An operation is not supported on a directory."

bool OpenForReading(CFile& file, const CStringW& path, CStringW& error) {
    switch (KindOf(path)) {
    case PathKind::Folder:
        error = path + L": " + CBrimUtil::MessageError(kErrorFolder);
        return false;
    case PathKind::Other:
        error = path + L": not a regular file (pipes, FIFOs and devices are not read; give a file)";
        return false;
    default:
        break;
    }
    CFileException failure;
    if (!file.Open(path, CFile::modeRead | CFile::shareDenyNone | CFile::typeBinary, &failure)) {
        error = path + L": " + CBrimUtil::MessageError(static_cast<unsigned long>(failure.m_lOsError));
        return false;
    }
    return true;
}
}  // namespace

bool CheckReadable(const CStringW& path, CStringW& error) {
    CFile file;
    return OpenForReading(file, path, error);
}

WholeFile::~WholeFile() = default;

bool WholeFile::Cut(CStringW& error) const {
    if (m_mapped == nullptr || !m_mapped->Cut()) return false;
    error = m_path + L": the file was cut short while it was read";
    return true;
}

bool WholeFile::Open(const CStringW& path, CStringW& error) {
    CFile file;
    if (!OpenForReading(file, path, error)) return false;
    m_path = path;
    const ULONGLONG length = file.GetLength();
    if (length > 0x7FFFFFFFu) {   // the detector takes an unsigned int
        error = path + L": " + CBrimUtil::MessageError(kErrorNotEnoughMemory);
        return false;
    }
    m_size = static_cast<std::size_t>(length);
    if (m_size == 0) return true;
    m_mapped = std::make_unique<FileMapping>(path, m_size);
    if (m_mapped->Data() != nullptr) return true;
    m_mapped.reset();
    m_read.reset(new unsigned char[m_size]);
    std::size_t got = 0;
    while (got < m_size) {
        const UINT n = file.Read(m_read.get() + got, static_cast<UINT>(m_size - got));
        if (n == 0) break;
        got += n;
    }
    m_size = got;
    return true;
}

bool ReadAllBytes(const CStringW& path, std::vector<unsigned char>& bytes, CStringW& error) {
    WholeFile file;
    if (!file.Open(path, error)) return false;
    bytes.assign(file.Data(), file.Data() + file.Size());
    return !file.Cut(error);
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

// Looked at, never opened: opening a FIFO would wait for a writer.
bool Exists(const CStringW& path) { return KindOf(path) != PathKind::Missing; }

}  // namespace

int CommandDetect(const Arguments& args) {
    const Command& self = CommandNamed(L"detect");
    Args a;
    if (!a.Parse(args, {}, {})) return UsageError(self, a.Error());
    if (a.Operands().empty()) return UsageError(self, L"no file given");
    int status = kExitOk;
    for (const CStringW& path : a.Operands()) {
        WholeFile bytes;
        CStringW error;
        if (!bytes.Open(path, error)) {
            status = Failure(error);
            continue;
        }
        // The detector only reads, though its parameter is not const.
        const int id = CBrimFile::EncodingCheck(const_cast<unsigned char*>(bytes.Data()),
                                                static_cast<unsigned int>(bytes.Size()));
        if (bytes.Cut(error)) {
            status = Failure(error);
            continue;
        }
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
    CStringW error;
    if (!CheckReadable(in, error)) return Failure(error);
    if (Exists(out)) return Failure(out + L": " + CBrimUtil::MessageError(80));   // the writers append: refuse
    const CStringW text = DecodedText(in);
    CBrimFile target;
    target.SetFilename(out);
    try {
        if (to == L"utf8") target.WriteUTF8(text);
        else target.WriteUnicode(text);
    } catch (CBrimException* e) {
        // OUT did not exist before (see above): a half-written one is ours to take away.
        try {
            if (Exists(out)) CFile::Remove(out);
        } catch (CFileException* removal) {
            removal->Delete();
        }
        return WriterFailure(out, e);
    }
    if (!Exists(out)) {
        // The writer drops what it cannot open; an open of our own names the cause.
        CFile probe;
        CFileException failure;
        if (!probe.Open(out, CFile::modeCreate | CFile::modeWrite, &failure)) {
            return Failure(out + L": " + CBrimUtil::MessageError(static_cast<unsigned long>(failure.m_lOsError)));
        }
        probe.Close();
        CFile::Remove(out);
        return Failure(out + L": " + CBrimUtil::MessageError(3));
    }
    return kExitOk;
}

int CommandHexdump(const Arguments& args) {
    const Command& self = CommandNamed(L"hexdump");
    Args a;
    if (!a.Parse(args, {}, {})) return UsageError(self, a.Error());
    if (a.Operands().size() != 1) return UsageError(self, L"one file is needed");
    WholeFile file;
    CStringW error;
    if (!file.Open(a.Operands()[0], error)) return Failure(error);
    const unsigned char* bytes = file.Data();
    CStringW page;
    for (std::size_t at = 0; at < file.Size(); at += 16) {
        const int n = static_cast<int>(file.Size() - at < 16 ? file.Size() - at : 16);
        CStringW hex = CBrimString::BYTE2CString(bytes + at, n);
        CStringW shown;
        for (int k = 0; k < n; ++k) {
            const unsigned char b = bytes[at + static_cast<std::size_t>(k)];
            shown += (b >= 0x20 && b < 0x7F) ? static_cast<wchar_t>(b) : L'.';
        }
        page.AppendFormat(L"%08zx  %-48s |%s|\n", at, hex.GetString(), shown.GetString());
        if (page.GetLength() > 60000) {
            if (file.Cut(error)) return Failure(error);
            Out(page);
            page.Empty();
        }
    }
    if (file.Cut(error)) return Failure(error);
    Out(page);
    return kExitOk;
}

}  // namespace brimtool
