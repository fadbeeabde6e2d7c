// Command-line arguments of one sub-command: operands, flags and options
// with a value, in any order.
#pragma once

#include <brim/brim.h>

#include <initializer_list>
#include <map>
#include <set>
#include <string>
#include <vector>

namespace brimtool {

class Args {
public:
    // False (with a message in Error()) for an unknown option or an option
    // without its value.
    bool Parse(const std::vector<CStringW>& args, std::initializer_list<const wchar_t*> valued,
               std::initializer_list<const wchar_t*> flags);

    const std::vector<CStringW>& Operands() const { return m_operands; }
    bool Flag(const wchar_t* name) const { return m_flags.count(name) != 0; }
    bool Has(const wchar_t* name) const { return m_values.count(name) != 0; }
    CStringW Value(const wchar_t* name, const wchar_t* fallback = L"") const;
    const CStringW& Error() const { return m_error; }

private:
    std::vector<CStringW> m_operands;
    std::set<std::wstring> m_flags;
    std::map<std::wstring, CStringW> m_values;
    CStringW m_error;
};

// A whole decimal number in [low, high].
bool ParseInt(const CStringW& text, long long low, long long high, long long& value);

}  // namespace brimtool
