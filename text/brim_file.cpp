// The text-file reader and the appending writers.

#include <brim/text.h>

#include "framework/codepages/codepage.h"
#include "framework/errors/error_codes.h"
#include "framework/files/file_platform.h"
#include "framework/system/system.h"
#include "text/append_utf8.h"
#include "text/utf16le.h"

#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <memory>

namespace {

constexpr unsigned char kUtf8Mark[] = {0xEF, 0xBB, 0xBF};
constexpr unsigned char kUtf16LeMark[] = {0xFF, 0xFE};
constexpr wchar_t kUnsupported[] = L"\uC9C0\uC6D0\uD558\uC9C0 \uC54A\uB294 Format %s \uC785\uB2C8\uB2E4.";

// The UTF-8 conversion buffer of a write. A piece of at most kPieceUnits wide
// units needs at most 4 bytes a unit and the terminator, so it always fits.
constexpr std::size_t kConversionBytes = 8192;
constexpr std::size_t kPieceUnits = (kConversionBytes - 1) / 4;
// A longer text: pieces of up to 64 Ki units into a 256 KiB buffer, on the heap.
constexpr std::size_t kLargeBytes = std::size_t{256} * 1024;
constexpr std::size_t kLargePieceUnits = kLargeBytes / 4;

struct FreeDeleter {
    void operator()(unsigned char* p) const { std::free(p); }
};
using ByteBlock = std::unique_ptr<unsigned char[], FreeDeleter>;

// size bytes of data and two zero bytes after them (byte and wide terminator).
ByteBlock ZeroFilled(std::size_t size) {
    ByteBlock block(static_cast<unsigned char*>(std::calloc(size + 2, 1)));
    if (!block) throw CMemoryException::Instance();
    if (size >= brim::platform::kLargeBlock) brim::platform::AdviseLargeBlock(block.get(), size + 2);
    return block;
}

[[noreturn]] void ThrowCause(CFileException* e) {
    const unsigned long cause = static_cast<unsigned long>(e->m_cause);
    e->Delete();
    throw new CBrimException(cause);
}

// Wide text through one of CBrimString's count/convert pairs, straight into
// the result's own buffer.
template <typename Count, typename Convert>
CStringW Decoded(const unsigned char* data, Count count, Convert convert) {
    const char* bytes = reinterpret_cast<const char*>(data);
    const int n = count(bytes);
    CStringW text;
    convert(text.GetBuffer(n - 1), bytes);
    // The conversion stops at the first zero byte, so the count is the
    // length: no need to look for the terminator again.
    text.ReleaseBuffer(n - 1);
    return text;
}

// data: size bytes followed by two zero bytes.
CStringW Decode(const unsigned char* data, unsigned int size) {
    const int id = CBrimFile::EncodingCheck(const_cast<unsigned char*>(data), size);
    switch (id) {
    case CBrimFile::UTF8_BOM:
    case CBrimFile::UTF8_NOBOM:
        return Decoded(data, CBrimString::UTF82UnicodeCount, CBrimString::UTF82Unicode);
    case CBrimFile::ASCII:
    case CBrimFile::EUCKR:
    case CBrimFile::CP949:
        // The Korean encodings are read in the ANSI code page, as Windows does.
        return Decoded(data, CBrimString::MBCS2UnicodeCount, CBrimString::MBCS2Unicode);
    case CBrimFile::UTF16_LE: {
        // An odd last byte pairs with the zero byte after it.
        const std::size_t units = (static_cast<std::size_t>(size) + 1) / 2;
        CStringW text;
        const std::size_t n = brim::detail::Utf16LeToWideCount(data, units);
        brim::detail::Utf16LeToWide(data, units, text.GetBufferSetLength(static_cast<int>(n)));
        text.ReleaseBuffer(static_cast<int>(n));
        return text;
    }
    default: {
        CStringW message;
        message.Format(kUnsupported, CBrimFile::GetEncodingName(id).GetString());
        throw new CBrimException(L"%s", message.GetString());
    }
    }
}

enum class Opened { None, Exclusive, Shared };

// First exclusively; failing that, shared and created when missing.
Opened OpenForAppend(CFile& file, const wchar_t* name) {
    if (file.Open(name, CFile::modeReadWrite)) return Opened::Exclusive;
    if (file.Open(name, CFile::modeCreate | CFile::modeNoTruncate | CFile::modeReadWrite | CFile::shareDenyNone)) {
        return Opened::Shared;
    }
    return Opened::None;
}

// The shared open also reaches files that exist (held open by a reader, or
// by another process). Only an empty file gets the mark: the first bytes of
// a file with content are never overwritten.
bool WantsMark(const CFile& file, Opened how) { return how == Opened::Shared && file.GetLength() == 0; }

void WriteUtf8Text(CFile& file, const wchar_t* text) {
    // Not cleared first: the conversion ends its output with a terminator,
    // and only the bytes before it are written.
    char buffer[kConversionBytes];
    if (text == nullptr) {
        CBrimString::Unicode2UTF8(buffer, text);   // throws "No Unicode Value"
        return;
    }
    const std::size_t length = std::wcslen(text);
    if (length <= kPieceUnits) {
        const int n = CBrimString::Unicode2UTF8(buffer, text);
        file.Write(buffer, static_cast<UINT>(n - 1));
        return;
    }
    // A longer text goes in pieces converted straight from the text (the
    // converter takes a length, so no terminated copy is made) into a large
    // buffer, all within this one open file, so the record is written whole.
    std::unique_ptr<char[]> large(new char[kLargeBytes]);
    for (std::size_t at = 0; at < length;) {
        std::size_t take = length - at < kLargePieceUnits ? length - at : kLargePieceUnits;
        const auto last = static_cast<std::uint32_t>(text[at + take - 1]);
        if (at + take < length && last >= 0xD800 && last <= 0xDBFF) --take;   // keep a surrogate pair together
        const int n = brim::platform::WideToMultiByte(brim::platform::kCodePageUtf8, text + at, static_cast<int>(take),
                                                      large.get(), static_cast<int>(kLargeBytes));
        if (n == 0) throw new CBrimException(static_cast<unsigned long>(GetLastError()));   // as Unicode2UTF8 fails
        file.Write(large.get(), static_cast<UINT>(n));
        at += take;
    }
}

void WriteUtf16Text(CFile& file, const wchar_t* text) {
    if (text == nullptr) throw new CBrimException(L"No Unicode Value");   // as WriteUTF8 reports it
    constexpr std::size_t kChunkUnits = 2048;
    unsigned char small[kChunkUnits * 4];
    const std::size_t length = std::wcslen(text);
    // A long text goes through the large buffer: fewer, larger writes.
    std::unique_ptr<unsigned char[]> large(length > kChunkUnits ? new unsigned char[kLargeBytes] : nullptr);
    unsigned char* const bytes = large ? large.get() : small;
    const std::size_t chunk = large ? kLargeBytes / 4 : kChunkUnits;
    for (std::size_t at = 0; at < length; at += chunk) {
        const std::size_t take = length - at < chunk ? length - at : chunk;
        file.Write(bytes, static_cast<UINT>(brim::detail::WideToUtf16Le(text + at, take, bytes)));
    }
}

}  // namespace

namespace brim::detail {

bool AppendUtf8(const wchar_t* name, const wchar_t* text) {
    CFile file;
    const Opened how = OpenForAppend(file, name);
    if (how == Opened::None) return false;
    try {
        if (WantsMark(file, how)) {
            file.SeekToBegin();
            file.Write(kUtf8Mark, sizeof kUtf8Mark);
        }
        file.SeekToEnd();
        WriteUtf8Text(file, text);
        file.Close();
    } catch (CFileException* e) {
        ThrowCause(e);
    }
    return true;
}

}  // namespace brim::detail

CBrimFile::CBrimFile() = default;
CBrimFile::CBrimFile(const CBrimFile& other) : m_strFilename(other.m_strFilename) {}
CBrimFile& CBrimFile::operator=(const CBrimFile& other) {
    m_strFilename = other.m_strFilename;
    return *this;
}
CBrimFile::~CBrimFile() = default;

void CBrimFile::SetFilename(const wchar_t* name) { m_strFilename = name; }

CStringW CBrimFile::GetFilename() { return m_strFilename; }

CStringW CBrimFile::ReadText(unsigned char* buf, unsigned int size) {
    ByteBlock copy = ZeroFilled(size);
    if (size > 0) std::memcpy(copy.get(), buf, size);
    return Decode(copy.get(), size);
}

CStringW CBrimFile::ReadTextFile() {
    CFile file;
    if (!file.Open(m_strFilename, CFile::modeRead | CFile::shareDenyNone | CFile::typeBinary)) return CStringW();
    ByteBlock buffer;
    unsigned int length = 0;
    try {
        file.SeekToBegin();
        const ULONGLONG whole = file.GetLength();
        // The length is an unsigned 32-bit count and one more byte must fit:
        // a larger file cannot be held, and is refused rather than cut.
        if (whole >= 0xFFFFFFFFull) throw new CBrimException(static_cast<unsigned long>(brim::err::kNotEnoughMemory));
        length = static_cast<unsigned int>(whole);
        // Zero-filled, so bytes the read does not deliver read as zeros; the
        // two zeros after the data stand in for ReadText's working copy.
        buffer = ZeroFilled(length);
        file.Read(buffer.get(), length);
        file.Close();
    } catch (CFileException* e) {
        ThrowCause(e);
    }
    return Decode(buffer.get(), length);
}

void CBrimFile::WriteUTF8(const wchar_t* text) { brim::detail::AppendUtf8(m_strFilename, text); }

void CBrimFile::WriteUnicode(const wchar_t* text) {
    CFile file;
    const Opened how = OpenForAppend(file, m_strFilename);
    if (how == Opened::None) return;
    try {
        if (WantsMark(file, how)) file.Write(kUtf16LeMark, sizeof kUtf16LeMark);
        file.SeekToEnd();
        WriteUtf16Text(file, text);
        file.Close();
    } catch (CFileException* e) {
        ThrowCause(e);
    }
}

void CBrimFile::CreateFolder(const wchar_t* path) {
    const CStringW whole(path);
    for (int at = whole.Find(L'/'); at >= 0; at = whole.Find(L'/', at + 1)) {
        brim::platform::FolderCreate(whole.Left(at + 1));
    }
    brim::platform::FolderCreate(whole);
}
