// Drives the formatter with arbitrary formats and arguments. Checks that it
// never reads or writes out of bounds (the sanitizers), that a bounded buffer
// receives exactly the start of the whole output, and that it is terminated.
// Then builds one valid conversion from the data (any width and precision,
// as digits or *) followed by "|%s", and checks that the conversion takes
// exactly the arguments Windows takes for it: the "%s" after it must read
// the sentinel string placed right after them.
#include "framework/strings/wformat.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

// Arguments drawn from the fuzz data; strings are real terminated strings.
class DataArgs final : public brim::detail::FormatArgs {
public:
    DataArgs(const std::uint8_t* data, std::size_t size) : m_data(data), m_size(size) {}

    int IntArg() override { return static_cast<int>(Take(4)); }
    std::int64_t SignedArg(brim::detail::IntSize) override { return static_cast<std::int64_t>(Take(8)); }
    std::uint64_t UnsignedArg(brim::detail::IntSize) override { return Take(8); }
    double DoubleArg() override {
        const std::uint64_t bits = Take(8);
        double d;
        std::memcpy(&d, &bits, sizeof d);
        return d;
    }
    long double LongDoubleArg() override { return static_cast<long double>(DoubleArg()); }
    const wchar_t* WideStringArg() override {
        switch (Take(1) % 4) {
        case 0: return nullptr;
        case 1: return L"";
        case 2: return L"wide \xD55C\xAE00 %s %d";
        default: return m_wide.c_str();
        }
    }
    const char* NarrowStringArg() override {
        switch (Take(1) % 4) {
        case 0: return nullptr;
        case 1: return "";
        case 2: return "narrow \xE9\x80\xFF %s";
        default: return m_narrow.c_str();
        }
    }
    const void* PointerArg() override { return reinterpret_cast<const void*>(static_cast<std::uintptr_t>(Take(8))); }

    void SetStrings(std::wstring wide, std::string narrow) {
        m_wide = std::move(wide);
        m_narrow = std::move(narrow);
    }

private:
    std::uint64_t Take(std::size_t bytes) {
        std::uint64_t v = 0;
        for (std::size_t k = 0; k < bytes; ++k) {
            v = (v << 8) | (m_pos < m_size ? m_data[m_pos] : 0);
            ++m_pos;
        }
        return v;
    }
    const std::uint8_t* m_data;
    std::size_t m_size;
    std::size_t m_pos = 0;
    std::wstring m_wide;
    std::string m_narrow;
};

class StringSink final : public brim::detail::WideSink {
public:
    void Append(const wchar_t* text, std::size_t n) override { out.append(text, n); }
    void Fill(wchar_t ch, std::size_t n) override { out.append(n, ch); }
    std::wstring out;
};

// Counts the arguments taken; the wide string at position sentinelAt is the sentinel.
class CountingArgs final : public brim::detail::FormatArgs {
public:
    CountingArgs(const std::uint8_t* data, std::size_t size, std::size_t sentinelAt)
        : m_data(data), m_size(size), m_sentinelAt(sentinelAt) {}

    int IntArg() override { return static_cast<int>(Next()); }
    std::int64_t SignedArg(brim::detail::IntSize) override { return static_cast<std::int64_t>(Next()); }
    std::uint64_t UnsignedArg(brim::detail::IntSize) override { return Next(); }
    double DoubleArg() override { return static_cast<double>(Next() % 100000); }
    long double LongDoubleArg() override { return static_cast<long double>(Next() % 100000); }
    const wchar_t* WideStringArg() override { return m_taken++ == m_sentinelAt ? L"SENTINEL" : L"w"; }
    const char* NarrowStringArg() override {
        ++m_taken;
        return "n";
    }
    const void* PointerArg() override { return reinterpret_cast<const void*>(static_cast<std::uintptr_t>(Next())); }
    std::size_t Taken() const { return m_taken; }

private:
    std::uint64_t Next() {
        ++m_taken;
        std::uint64_t v = 0;
        for (int k = 0; k < 4; ++k, ++m_pos) v = (v << 8) | (m_pos < m_size ? m_data[m_pos] : 0);
        return v;
    }
    const std::uint8_t* m_data;
    std::size_t m_size;
    std::size_t m_pos = 0;
    std::size_t m_sentinelAt;
    std::size_t m_taken = 0;
};

// Keeps only the end of the output: widths may be large.
class TailSink final : public brim::detail::WideSink {
public:
    void Append(const wchar_t* text, std::size_t n) override {
        tail.append(text, n);
        Trim();
    }
    void Fill(wchar_t ch, std::size_t n) override {
        tail.append(n < 64 ? n : 64, ch);
        Trim();
    }
    std::wstring tail;

private:
    void Trim() {
        if (tail.size() > 64) tail.erase(0, tail.size() - 64);
    }
};

std::uint8_t Byte(const std::uint8_t* data, std::size_t size, std::size_t& at) { return at < size ? data[at++] : 0; }

// A number of 1 to 12 digits, or a *; the count of * is added to stars.
void PutNumber(std::wstring& conv, const std::uint8_t* data, std::size_t size, std::size_t& at, std::size_t& stars) {
    const std::uint8_t kind = Byte(data, size, at);
    if (kind % 3 == 1) {
        conv += L'*';
        ++stars;
    } else if (kind % 3 == 2) {
        const int digits = 1 + Byte(data, size, at) % 12;
        for (int k = 0; k < digits; ++k) conv += static_cast<wchar_t>(L'0' + Byte(data, size, at) % 10);
    }
}

void CheckArgumentConsumption(const std::uint8_t* data, std::size_t size) {
    struct Family {
        const wchar_t* conversions;
        std::vector<const wchar_t*> sizes;
        std::size_t takes;
    };
    static const Family families[] = {
        {L"diouxX", {L"", L"h", L"hh", L"l", L"ll", L"I64", L"I32", L"I", L"j", L"z", L"t"}, 1},
        {L"eEfFgGaA", {L"", L"l", L"L"}, 1},
        {L"sScC", {L"", L"h", L"l", L"w"}, 1},
        {L"p", {L""}, 1},
        {L"n", {L"", L"h", L"l", L"ll"}, 1},
        {L"%", {L""}, 0},
    };
    std::size_t at = 0;
    const Family& family = families[Byte(data, size, at) % 6];
    std::wstring conv = L"%";
    const std::uint8_t flags = Byte(data, size, at);
    for (int k = 0; k < 5; ++k) {
        if (flags & (1 << k)) conv += L"-+ #0"[k];
    }
    std::size_t stars = 0;
    if (family.takes != 0) {   // "%%" takes no width or precision
        PutNumber(conv, data, size, at, stars);
        if (Byte(data, size, at) % 2 != 0) {
            conv += L'.';
            PutNumber(conv, data, size, at, stars);
        }
        conv += family.sizes[Byte(data, size, at) % family.sizes.size()];
    }
    const std::wstring conversions = family.conversions;
    conv += conversions[Byte(data, size, at) % conversions.size()];
    conv += L"|%s";

    const std::size_t expected = stars + family.takes;
    CountingArgs args(data + at, size - at, expected);
    TailSink sink;
    brim::detail::FormatTo(sink, conv.c_str(), args);
    if (args.Taken() != expected + 1) std::abort();
    const std::wstring end = L"|SENTINEL";
    if (sink.tail.size() < end.size() || sink.tail.compare(sink.tail.size() - end.size(), end.size(), end) != 0) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    CheckArgumentConsumption(data, size);
    if (size < 2) return 0;
    // First byte: the bounded buffer's capacity; then the format up to a zero
    // byte (each byte one character); the rest feeds the arguments.
    const std::size_t capacity = 1 + data[0] % 64;
    std::size_t end = 1;
    while (end < size && data[end] != 0) ++end;
    std::wstring format;
    for (std::size_t k = 1; k < end; ++k) format.push_back(static_cast<wchar_t>(data[k] < 0x80 ? data[k] : 0xAC00 + data[k]));
    const std::uint8_t* argData = data + (end < size ? end + 1 : size);
    const std::size_t argSize = size - (end < size ? end + 1 : size);
    const std::wstring wide(format.rbegin(), format.rend());
    const std::string narrow(reinterpret_cast<const char*>(data), size > 40 ? 40 : size);

    DataArgs whole(argData, argSize);
    whole.SetStrings(wide, narrow);
    StringSink full;
    brim::detail::FormatTo(full, format.c_str(), whole);

    DataArgs again(argData, argSize);
    again.SetStrings(wide, narrow);
    std::wstring buffer(capacity + 1, L'#');   // one guard unit past the capacity
    brim::detail::BoundedSink bounded(buffer.data(), capacity);
    brim::detail::FormatTo(bounded, format.c_str(), again);
    const std::size_t n = bounded.Finish();

    if (n >= capacity || buffer[n] != 0 || buffer[capacity] != L'#') std::abort();
    if (full.out.compare(0, n, buffer.data(), n) != 0) std::abort();
    if (n < capacity - 1 && n != full.out.size()) std::abort();
    return 0;
}
