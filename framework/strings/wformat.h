// The library's one formatter: Windows wide printf rules on every platform.
//
//   %s %ls %ws      wide string          %S %hs        narrow string (ANSI code page)
//   %c %lc %wc      wide character       %C %hc        narrow character
//   %d %i %u %o %x %X   with h, hh, l (native long), ll, L, I32, I64, I (pointer size), j, z, t
//   %e %E %f %F %g %G %a %A   double (L: long double)
//   %p              the pointer as upper-case hex digits, zero-padded to its size
//   %%              a percent sign
// Flags - + blank # 0, width and precision as digits or *. A null string
// argument prints "(null)". Every conversion takes the arguments Windows
// takes for it, whatever its width and precision: widths (and the precision
// of numbers) pad at most 1,048,576 characters. %n takes its pointer, writes
// nothing through it and is copied as written. What is not a valid
// conversion (an unknown character, a format that ends inside a conversion)
// is copied to the output as it stands and consumes no argument beyond the
// * values already read.
#pragma once

#include <cstdarg>
#include <cstddef>
#include <cstdint>

class CStringW;

namespace brim::detail {

enum class IntSize { Char, Short, Int, Long, LongLong, Int32, Int64, IntMax, Size, PtrDiff };

// Where the conversions take their arguments from: a va_list in the library,
// fuzz data in the fuzz target.
class FormatArgs {
public:
    virtual ~FormatArgs() = default;
    virtual int IntArg() = 0;   // * widths, characters (promoted)
    virtual std::int64_t SignedArg(IntSize size) = 0;
    virtual std::uint64_t UnsignedArg(IntSize size) = 0;
    virtual double DoubleArg() = 0;
    virtual long double LongDoubleArg() = 0;
    virtual const wchar_t* WideStringArg() = 0;
    virtual const char* NarrowStringArg() = 0;
    virtual const void* PointerArg() = 0;
};

class WideSink {
public:
    virtual ~WideSink() = default;
    virtual void Append(const wchar_t* text, std::size_t n) = 0;
    virtual void Fill(wchar_t ch, std::size_t n) = 0;
    // A bounded sink that is full: the formatter stops early.
    virtual bool Full() const { return false; }
};

// A caller's buffer of capacity units (capacity > 0): keeps at most
// capacity-1 characters; Finish() writes the terminator.
class BoundedSink final : public WideSink {
public:
    BoundedSink(wchar_t* buffer, std::size_t capacity);
    void Append(const wchar_t* text, std::size_t n) override;
    void Fill(wchar_t ch, std::size_t n) override;
    bool Full() const override { return m_used == m_room; }
    std::size_t Finish();

private:
    wchar_t* m_buffer;
    std::size_t m_room;
    std::size_t m_used = 0;
};

void FormatTo(WideSink& sink, const wchar_t* format, FormatArgs& args);

// Appends the expansion to out.
void FormatAppendV(CStringW& out, const wchar_t* format, va_list args);

// Writes at most capacity-1 characters and a terminator (capacity > 0);
// longer output is cut. Returns the characters written.
std::size_t FormatBoundedV(wchar_t* buffer, std::size_t capacity, const wchar_t* format, va_list args);
std::size_t FormatBounded(wchar_t* buffer, std::size_t capacity, const wchar_t* format, ...);

}  // namespace brim::detail
