#include "tools/brim/progress.h"

#include "tools/brim/console.h"

#include <cwchar>
#include <thread>

namespace brimtool {
namespace {

using Clock = std::chrono::steady_clock;

CStringW Size(double bytes) {
    const wchar_t* units[] = {L"B", L"KiB", L"MiB", L"GiB", L"TiB"};
    int u = 0;
    while (bytes >= 1024.0 && u < 4) {
        bytes /= 1024.0;
        ++u;
    }
    CStringW text;
    text.Format(u == 0 ? L"%.0f %s" : L"%.1f %s", bytes, units[u]);
    return text;
}

CStringW Duration(double seconds) {
    const long long s = static_cast<long long>(seconds + 0.5);
    CStringW text;
    text.Format(L"%I64d:%02I64d", s / 60, s % 60);
    return text;
}

}  // namespace

Progress::Progress(const CStringW& label, unsigned long long limit)
    : m_label(label), m_limit(limit), m_terminal(OutIsTerminal()), m_start(Clock::now()), m_shown(m_start) {}

void Progress::Advance(unsigned long bytes, unsigned long long total) {
    // Without a length the transfers report the bytes so far as the total:
    // it equals the first block, then moves. A real total stays put.
    if (m_done == 0 ? total == bytes : total != m_total) m_totalUnknown = true;
    m_done += bytes;
    m_total = total;
    const auto now = Clock::now();
    const auto every = m_terminal ? std::chrono::milliseconds(100) : std::chrono::milliseconds(1000);
    if (now - m_shown >= every) {
        m_shown = now;
        Show(false);
    }
}

void Progress::Throttle() {
    if (m_limit == 0) return;
    const double due = static_cast<double>(m_done) / static_cast<double>(m_limit);
    const double elapsed = std::chrono::duration<double>(Clock::now() - m_start).count();
    if (due > elapsed) std::this_thread::sleep_for(std::chrono::duration<double>(due - elapsed));
}

void Progress::Finish() { Show(true); }

void Progress::Show(bool final) {
    const double elapsed = std::chrono::duration<double>(Clock::now() - m_start).count();
    const double rate = elapsed > 0 ? static_cast<double>(m_done) / elapsed : 0.0;
    const bool known = !m_totalUnknown && m_total > 0 && m_total >= m_done;
    CStringW line = m_label + L" ";
    if (m_terminal && known) {
        const int width = 24;
        const int filled = static_cast<int>(static_cast<double>(width) * static_cast<double>(m_done) / static_cast<double>(m_total));
        line += L"[" + CStringW(L'#', filled) + CStringW(L'-', width - filled) + L"] ";
    }
    line += Size(static_cast<double>(m_done));
    if (known) line += L" / " + Size(static_cast<double>(m_total));
    else if (!final) line += L" / size unknown";
    line += L"  " + Size(rate) + L"/s";
    if (final) {
        line += L"  in " + Duration(elapsed);
    } else if (known && rate > 0) {
        line += L"  " + Duration(static_cast<double>(m_total - m_done) / rate) + L" left";
    }
    if (m_terminal) Out(L"\r" + line + L"\x1b[K" + (final ? L"\n" : L""));
    else Out(line + L"\n");
}

bool ParseRate(const CStringW& text, unsigned long long& rate) {
    if (text.IsEmpty()) return false;
    wchar_t* end = nullptr;
    const double value = std::wcstod(text.GetString(), &end);
    if (end == text.GetString() || value <= 0) return false;
    double scale = 1;
    if (*end == L'K' || *end == L'k') scale = 1024.0, ++end;
    else if (*end == L'M' || *end == L'm') scale = 1024.0 * 1024, ++end;
    else if (*end == L'G' || *end == L'g') scale = 1024.0 * 1024 * 1024, ++end;
    if (*end != 0 || value * scale > 1e15) return false;
    rate = static_cast<unsigned long long>(value * scale);
    return rate > 0;
}

}  // namespace brimtool
