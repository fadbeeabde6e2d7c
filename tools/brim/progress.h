// Progress of a transfer as a person watches it: a bar redrawn in place on a
// terminal, a plain line a second otherwise; and an optional rate limit,
// kept by pausing in the transfer's throttle hook.
#pragma once

#include <brim/brim.h>

#include <chrono>

namespace brimtool {

class Progress {
public:
    // limit: bytes per second, 0 for none.
    Progress(const CStringW& label, unsigned long long limit);

    // From a progress hook: one more block of bytes; total 0 when unknown.
    void Advance(unsigned long bytes, unsigned long long total);
    // From the throttle hook: waits while the transfer runs ahead of the limit.
    void Throttle();
    // The closing line.
    void Finish();

private:
    void Show(bool final);

    CStringW m_label;
    unsigned long long m_limit;
    unsigned long long m_done = 0;
    unsigned long long m_total = 0;
    bool m_totalUnknown = false;
    bool m_terminal;
    std::chrono::steady_clock::time_point m_start;
    std::chrono::steady_clock::time_point m_shown;
};

// "500", "64K", "2M", "1G" (powers of 1024); false for anything else.
bool ParseRate(const CStringW& text, unsigned long long& rate);

}  // namespace brimtool
