// CStringW: a shared, reference-counted block with the text after its header.
// The empty string is a constant block that is never counted or freed, so an
// empty string costs no allocation and is usable during static construction.

#include <brim/framework.h>

#include "framework/resources/string_table.h"
#include "framework/codepages/text_codec.h"
#include "framework/strings/wformat.h"
#include "framework/system/system.h"

#include <algorithm>
#include <atomic>
#include <climits>
#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <cwctype>
#include <new>
#include <type_traits>

namespace {

struct StringData {
    std::atomic<long> refs;   // -1: the constant empty block
    int length;
    int capacity;             // units of text, the terminator not counted

    wchar_t* Text() { return reinterpret_cast<wchar_t*>(this + 1); }
};

struct EmptyBlock {
    StringData header;
    wchar_t text[1];
};
static_assert(offsetof(EmptyBlock, text) == sizeof(StringData));

constinit EmptyBlock g_empty{{-1, 0, 0}, {0}};

StringData* DataOf(const wchar_t* text) {
    return reinterpret_cast<StringData*>(const_cast<wchar_t*>(text)) - 1;
}

StringData* Allocate(int capacity) {
    if (capacity < 0 || static_cast<std::size_t>(capacity) > (SIZE_MAX - sizeof(StringData)) / sizeof(wchar_t) - 1) {
        throw CMemoryException::Instance();
    }
    const std::size_t bytes = sizeof(StringData) + (static_cast<std::size_t>(capacity) + 1) * sizeof(wchar_t);
    void* raw = std::malloc(bytes);
    if (raw == nullptr) throw CMemoryException::Instance();
    if (bytes >= brim::platform::kLargeBlock) brim::platform::AdviseLargeBlock(raw, bytes);
    auto* data = new (raw) StringData{{1}, 0, capacity};
    data->Text()[0] = 0;
    return data;
}

void Release(StringData* data) {
    // The empty block is recognised by its address, so the compiler can see it is never freed.
    if (data == &g_empty.header) return;
    if (data->refs.fetch_sub(1, std::memory_order_acq_rel) == 1) {
        data->~StringData();
        std::free(data);
    }
}

StringData* AddRef(StringData* data) {
    if (data != &g_empty.header) data->refs.fetch_add(1, std::memory_order_relaxed);
    return data;
}

int CheckedLength(std::size_t n) {
    if (n > static_cast<std::size_t>(INT_MAX)) throw CMemoryException::Instance();
    return static_cast<int>(n);
}

int Length(const wchar_t* s) { return s == nullptr ? 0 : CheckedLength(std::wcslen(s)); }

bool InSet(wchar_t ch, const wchar_t* set) { return set != nullptr && ch != 0 && std::wcschr(set, ch) != nullptr; }

[[noreturn]] void ThrowInvalidArg() { throw new CInvalidArgException(); }

}  // namespace

// ---------------------------------------------------------------------------
// Internal write access: a private block with room for length units, keeping
// the first min(old, length) units of the text.
namespace {
wchar_t* PrepareWrite(wchar_t*& text, int length) {
    StringData* data = DataOf(text);
    const bool shared = data->refs.load(std::memory_order_acquire) != 1;
    if (!shared && data->capacity >= length) return text;
    int capacity = length;
    if (!shared && length > data->capacity) {
        // Grow geometrically (and not in tiny steps) so repeated appends stay linear.
        const long grown = std::max<long>(2L * data->capacity, 64);
        capacity = static_cast<int>(std::min<long>(std::max<long>(grown, length), INT_MAX - 64));
        capacity = std::max(capacity, length);
    }
    StringData* fresh = Allocate(capacity);
    const int keep = std::min(data->length, length);
    std::memcpy(fresh->Text(), text, static_cast<std::size_t>(keep) * sizeof(wchar_t));
    fresh->length = keep;
    fresh->Text()[keep] = 0;
    Release(data);
    text = fresh->Text();
    return text;
}

void SetLength(wchar_t* text, int length) {
    StringData* data = DataOf(text);
    if (data->refs.load(std::memory_order_relaxed) < 0) return;   // the empty block stays empty
    data->length = length;
    text[length] = 0;
}

void Assign(wchar_t*& text, const wchar_t* src, int n) {
    if (n <= 0) {
        Release(DataOf(text));
        text = g_empty.text;
        return;
    }
    // src may point into our own text: copy into a new block first.
    StringData* fresh = Allocate(n);
    std::memcpy(fresh->Text(), src, static_cast<std::size_t>(n) * sizeof(wchar_t));
    fresh->length = n;
    fresh->Text()[n] = 0;
    Release(DataOf(text));
    text = fresh->Text();
}
}  // namespace

CStringW::CStringW() noexcept : m_pszData(g_empty.text) {}

CStringW::CStringW(const CStringW& other) noexcept : m_pszData(AddRef(DataOf(other.m_pszData))->Text()) {}

CStringW::CStringW(CStringW&& other) noexcept : m_pszData(other.m_pszData) { other.m_pszData = g_empty.text; }

CStringW::CStringW(const wchar_t* text) : m_pszData(g_empty.text) { Assign(m_pszData, text, Length(text)); }

CStringW::CStringW(const wchar_t* text, int length) : m_pszData(g_empty.text) {
    if (text != nullptr) Assign(m_pszData, text, length);
}

CStringW::CStringW(const char* ansiText) : m_pszData(g_empty.text) { *this = ansiText; }

CStringW::CStringW(wchar_t ch, int repeat) : m_pszData(g_empty.text) {
    if (repeat <= 0) return;
    wchar_t* p = PrepareWrite(m_pszData, repeat);
    for (int k = 0; k < repeat; ++k) p[k] = ch;
    SetLength(p, repeat);
}

CStringW::~CStringW() { Release(DataOf(m_pszData)); }

CStringW& CStringW::operator=(const CStringW& other) noexcept {
    if (m_pszData != other.m_pszData) {
        StringData* keep = AddRef(DataOf(other.m_pszData));
        Release(DataOf(m_pszData));
        m_pszData = keep->Text();
    }
    return *this;
}

CStringW& CStringW::operator=(CStringW&& other) noexcept {
    if (this != &other) {
        Release(DataOf(m_pszData));
        m_pszData = other.m_pszData;
        other.m_pszData = g_empty.text;
    }
    return *this;
}

CStringW& CStringW::operator=(const wchar_t* text) {
    Assign(m_pszData, text, Length(text));
    return *this;
}

CStringW& CStringW::operator=(const char* ansiText) {
    if (ansiText == nullptr) {
        Empty();
    } else {
        const std::wstring wide = brim::detail::AnsiToWide(ansiText, std::strlen(ansiText));
        Assign(m_pszData, wide.data(), CheckedLength(wide.size()));
    }
    return *this;
}

CStringW& CStringW::operator=(wchar_t ch) {
    Assign(m_pszData, &ch, 1);
    return *this;
}

void CStringW::Append(const wchar_t* text, int length) {
    if (text == nullptr || length <= 0) return;
    const int old = GetLength();
    if (length > INT_MAX - old) throw CMemoryException::Instance();
    if (text >= m_pszData && text < m_pszData + old) {
        // The source lies in our own block, which growing may move.
        const CStringW copy(text, length);
        Append(copy.m_pszData, length);
        return;
    }
    wchar_t* p = PrepareWrite(m_pszData, old + length);
    std::memcpy(p + old, text, static_cast<std::size_t>(length) * sizeof(wchar_t));
    SetLength(p, old + length);
}

CStringW& CStringW::operator+=(const CStringW& text) {
    const CStringW keep(text);   // text may be *this
    Append(keep.m_pszData, keep.GetLength());
    return *this;
}

CStringW& CStringW::operator+=(const wchar_t* text) {
    Append(text, Length(text));
    return *this;
}

CStringW& CStringW::operator+=(const char* ansiText) {
    if (ansiText != nullptr) {
        const std::wstring wide = brim::detail::AnsiToWide(ansiText, std::strlen(ansiText));
        Append(wide.data(), CheckedLength(wide.size()));
    }
    return *this;
}

CStringW& CStringW::operator+=(wchar_t ch) {
    Append(&ch, 1);
    return *this;
}

int CStringW::GetLength() const noexcept { return DataOf(m_pszData)->length; }

bool CStringW::IsEmpty() const noexcept { return GetLength() == 0; }

void CStringW::Empty() {
    Release(DataOf(m_pszData));
    m_pszData = g_empty.text;
}

wchar_t CStringW::GetAt(int index) const {
    if (index < 0 || index >= GetLength()) ThrowInvalidArg();
    return m_pszData[index];
}

void CStringW::SetAt(int index, wchar_t ch) {
    if (index < 0 || index >= GetLength()) ThrowInvalidArg();
    PrepareWrite(m_pszData, GetLength())[index] = ch;
}

void CStringW::Format(const wchar_t* format, ...) {
    va_list args;
    va_start(args, format);
    FormatV(format, args);
    va_end(args);
}

void CStringW::FormatV(const wchar_t* format, va_list args) {
    CStringW result;
    brim::detail::FormatAppendV(result, format, args);
    *this = static_cast<CStringW&&>(result);
}

void CStringW::AppendFormat(const wchar_t* format, ...) {
    va_list args;
    va_start(args, format);
    AppendFormatV(format, args);
    va_end(args);
}

void CStringW::AppendFormatV(const wchar_t* format, va_list args) {
    CStringW result;   // arguments may point into *this
    brim::detail::FormatAppendV(result, format, args);
    *this += result;
}

int CStringW::Find(const wchar_t* text, int start) const {
    const int len = GetLength();
    if (text == nullptr || start < 0 || start > len) return -1;
    const wchar_t* hit = std::wcsstr(m_pszData + start, text);
    return hit == nullptr ? -1 : static_cast<int>(hit - m_pszData);
}

int CStringW::Find(wchar_t ch, int start) const {
    const int len = GetLength();
    if (start < 0 || start >= len) return -1;
    for (int k = start; k < len; ++k) {
        if (m_pszData[k] == ch) return k;
    }
    return -1;
}

int CStringW::ReverseFind(wchar_t ch) const {
    for (int k = GetLength() - 1; k >= 0; --k) {
        if (m_pszData[k] == ch) return k;
    }
    return -1;
}

int CStringW::FindOneOf(const wchar_t* chars) const {
    const int len = GetLength();
    for (int k = 0; k < len; ++k) {
        if (InSet(m_pszData[k], chars)) return k;
    }
    return -1;
}

int CStringW::Replace(const wchar_t* oldText, const wchar_t* newText) {
    const int oldLen = Length(oldText);
    if (oldLen == 0) return 0;
    const int newLen = Length(newText);
    CStringW result;
    int count = 0;
    int from = 0;
    for (int hit = Find(oldText, 0); hit >= 0; hit = Find(oldText, from)) {
        result.Append(m_pszData + from, hit - from);
        result.Append(newText, newLen);
        from = hit + oldLen;
        ++count;
    }
    if (count == 0) return 0;
    result.Append(m_pszData + from, GetLength() - from);
    *this = static_cast<CStringW&&>(result);
    return count;
}

int CStringW::Replace(wchar_t oldCh, wchar_t newCh) {
    if (oldCh == newCh) return 0;
    int count = 0;
    const int len = GetLength();
    for (int k = 0; k < len; ++k) {
        if (m_pszData[k] == oldCh) {
            PrepareWrite(m_pszData, len)[k] = newCh;
            ++count;
        }
    }
    return count;
}

int CStringW::Remove(wchar_t ch) {
    const int len = GetLength();
    if (Find(ch) < 0) return 0;
    wchar_t* p = PrepareWrite(m_pszData, len);
    int kept = 0;
    for (int k = 0; k < len; ++k) {
        if (p[k] != ch) p[kept++] = p[k];
    }
    SetLength(p, kept);
    return len - kept;
}

int CStringW::Insert(int index, const wchar_t* text) {
    const int len = GetLength();
    index = std::clamp(index, 0, len);
    const CStringW tail = Mid(index);
    const CStringW piece(text);   // text may point into *this
    wchar_t* p = PrepareWrite(m_pszData, index);
    SetLength(p, index);
    *this += piece;
    *this += tail;
    return GetLength();
}

int CStringW::Insert(int index, wchar_t ch) {
    const wchar_t piece[2] = {ch, 0};
    return Insert(index, piece);
}

int CStringW::Delete(int index, int count) {
    const int len = GetLength();
    if (index < 0) index = 0;
    if (count <= 0 || index >= len) return len;
    count = std::min(count, len - index);
    wchar_t* p = PrepareWrite(m_pszData, len);
    std::memmove(p + index, p + index + count, static_cast<std::size_t>(len - index - count) * sizeof(wchar_t));
    SetLength(p, len - count);
    return len - count;
}

namespace {
template <typename Pred>
void TrimRightIf(CStringW& s, Pred drop) {
    int end = s.GetLength();
    while (end > 0 && drop(s.GetString()[end - 1])) --end;
    if (end < s.GetLength()) s = s.Left(end);
}

template <typename Pred>
void TrimLeftIf(CStringW& s, Pred drop) {
    const int len = s.GetLength();
    int begin = 0;
    while (begin < len && drop(s.GetString()[begin])) ++begin;
    if (begin > 0) s = s.Mid(begin);
}

bool IsSpace(wchar_t ch) { return std::iswspace(static_cast<wint_t>(ch)) != 0; }
}  // namespace

CStringW& CStringW::TrimRight() { TrimRightIf(*this, IsSpace); return *this; }
CStringW& CStringW::TrimRight(const wchar_t* chars) { TrimRightIf(*this, [chars](wchar_t c) { return InSet(c, chars); }); return *this; }
CStringW& CStringW::TrimRight(wchar_t ch) { TrimRightIf(*this, [ch](wchar_t c) { return c == ch; }); return *this; }
CStringW& CStringW::TrimLeft() { TrimLeftIf(*this, IsSpace); return *this; }
CStringW& CStringW::TrimLeft(const wchar_t* chars) { TrimLeftIf(*this, [chars](wchar_t c) { return InSet(c, chars); }); return *this; }
CStringW& CStringW::TrimLeft(wchar_t ch) { TrimLeftIf(*this, [ch](wchar_t c) { return c == ch; }); return *this; }
CStringW& CStringW::Trim() { return TrimRight().TrimLeft(); }
CStringW& CStringW::Trim(const wchar_t* chars) { return TrimRight(chars).TrimLeft(chars); }
CStringW& CStringW::Trim(wchar_t ch) { return TrimRight(ch).TrimLeft(ch); }

CStringW CStringW::Tokenize(const wchar_t* delimiters, int& start) const {
    const int len = GetLength();
    if (start < 0 || start >= len) {
        start = -1;
        return CStringW();
    }
    if (delimiters == nullptr || *delimiters == 0) {
        const CStringW rest = Mid(start);
        start = len + 1;   // the next call ends the walk
        return rest;
    }
    int from = start;
    while (from < len && InSet(m_pszData[from], delimiters)) ++from;
    if (from >= len) {
        start = -1;
        return CStringW();
    }
    int until = from;
    while (until < len && !InSet(m_pszData[until], delimiters)) ++until;
    start = until + 1;
    return Mid(from, until - from);
}

CStringW CStringW::Left(int count) const {
    count = std::clamp(count, 0, GetLength());
    if (count == GetLength()) return *this;
    return CStringW(m_pszData, count);
}

CStringW CStringW::Right(int count) const {
    const int len = GetLength();
    count = std::clamp(count, 0, len);
    if (count == len) return *this;
    return CStringW(m_pszData + len - count, count);
}

CStringW CStringW::Mid(int first) const { return Mid(first, INT_MAX); }

CStringW CStringW::Mid(int first, int count) const {
    const int len = GetLength();
    first = std::clamp(first, 0, len);
    count = std::clamp(count, 0, len - first);
    if (first == 0 && count == len) return *this;
    return CStringW(m_pszData + first, count);
}

namespace {
// Ordinal comparison of code units as unsigned numbers.
int CompareUnits(const wchar_t* a, const wchar_t* b, bool foldCase) {
    using Unit = std::make_unsigned_t<wchar_t>;
    for (;; ++a, ++b) {
        Unit x = static_cast<Unit>(*a), y = static_cast<Unit>(*b);
        if (foldCase) {
            x = static_cast<Unit>(std::towlower(static_cast<wint_t>(x)));
            y = static_cast<Unit>(std::towlower(static_cast<wint_t>(y)));
        }
        if (x != y) return x < y ? -1 : 1;
        if (x == 0) return 0;
    }
}
}  // namespace

int CStringW::Compare(const wchar_t* text) const { return CompareUnits(m_pszData, text ? text : L"", false); }

int CStringW::CompareNoCase(const wchar_t* text) const { return CompareUnits(m_pszData, text ? text : L"", true); }

CStringW& CStringW::MakeUpper() {
    const int len = GetLength();
    if (len == 0) return *this;
    wchar_t* p = PrepareWrite(m_pszData, len);
    for (int k = 0; k < len; ++k) p[k] = static_cast<wchar_t>(std::towupper(static_cast<wint_t>(p[k])));
    return *this;
}

CStringW& CStringW::MakeLower() {
    const int len = GetLength();
    if (len == 0) return *this;
    wchar_t* p = PrepareWrite(m_pszData, len);
    for (int k = 0; k < len; ++k) p[k] = static_cast<wchar_t>(std::towlower(static_cast<wint_t>(p[k])));
    return *this;
}

BOOL CStringW::LoadStringW(UINT id) {
    std::wstring text;
    if (!brim::platform::LoadStringResource(id, text)) return FALSE;
    Assign(m_pszData, text.data(), CheckedLength(text.size()));
    return TRUE;
}

BSTR CStringW::AllocSysString() const {
    BSTR result = ::SysAllocStringLen(m_pszData, static_cast<UINT>(GetLength()));
    if (result == nullptr) throw CMemoryException::Instance();
    return result;
}

wchar_t* CStringW::GetBuffer(int minLength) {
    // PrepareWrite never hands out the shared empty block, so the caller may write.
    return PrepareWrite(m_pszData, std::max(minLength, GetLength()));
}

wchar_t* CStringW::GetBufferSetLength(int length) {
    if (length < 0) length = 0;
    wchar_t* p = GetBuffer(length);
    SetLength(p, length);
    return p;
}

void CStringW::ReleaseBuffer(int newLength) {
    StringData* data = DataOf(m_pszData);
    if (data->refs.load(std::memory_order_relaxed) < 0) return;
    if (newLength < 0) {
        newLength = 0;
        while (newLength < data->capacity && m_pszData[newLength] != 0) ++newLength;
    }
    SetLength(m_pszData, std::min(newLength, data->capacity));
}
