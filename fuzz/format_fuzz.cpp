// Drives the formatter with arbitrary formats and arguments. Checks that it
// never reads or writes out of bounds (the sanitizers), that a bounded buffer
// receives exactly the start of the whole output, and that it is terminated.
#include "framework/strings/wformat.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

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

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
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
