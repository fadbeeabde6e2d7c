// The ANSI code page against iconv, and the list sort against std::stable_sort,
// measured in the same run:
//   decode  CBrimString::MBCS2UnicodeCount + MBCS2Unicode vs one iconv() call
//           from the code page to WCHAR_T into a buffer already large enough
//   encode  Unicode2MBCSCount + Unicode2MBCS vs one iconv() call the other way
//   sort    CBrimString::BubbleSort of random lines vs std::stable_sort of the
//           same lines as std::wstring (the sort(1) -s peer is whole-process:
//           bench/sort_vs_coreutils.sh)
// The ANSI code page is taken from the locale, once per process: the first
// argument --lang=NAME (default ko_KR.UTF-8) sets it; the text is the
// language's own (Korean EUC-KR and CP949 text for ko). Ratios (iconv's time /
// ours) are printed at the end.
#include <brim/brim.h>

#include <benchmark/benchmark.h>
#include <iconv.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <random>
#include <string>
#include <vector>

#include <unistd.h>

namespace {

std::string g_lang = "ko_KR.UTF-8";

struct Page {
    const char* lang;
    const char* iconvName;
    const char* sampleUtf8;   // a line of the language's own text
};

const Page kPages[] = {
    {"ko", "CP949",
     "\xEB\x8C\x80\xED\x95\x9C\xEB\xAF\xBC\xEA\xB5\xAD\xEC\x9D\x98 \xEC\x88\x98\xEB\x8F\x84\xEB\x8A\x94 "
     "\xEC\x84\x9C\xEC\x9A\xB8\xEC\x9D\xB4\xEB\xA9\xB0, \xED\x95\x9C\xEA\xB5\xAD\xEC\x96\xB4\xEB\x8A\x94 "
     "\xED\x95\x9C\xEA\xB8\x80\xEB\xA1\x9C \xEC\xA0\x81\xEB\x8A\x94\xEB\x8B\xA4. 2024\xEB\x85\x84\n"},
    {"ja", "CP932", "\xE6\x97\xA5\xE6\x9C\xAC\xE8\xAA\x9E\xE3\x81\xAE\xE6\x96\x87\xE7\xAB\xA0\xE3\x81\xA7\xE3\x81\x99\xE3\x80\x82 ABC 123\n"},
    {"zh", "CP936", "\xE4\xB8\xAD\xE6\x96\x87\xE7\x9A\x84\xE6\x96\x87\xE6\x9C\xAC\xEF\xBC\x8C\xE6\xB5\x8B\xE8\xAF\x95 2024\n"},
    {"ru", "CP1251", "\xD0\x9F\xD1\x80\xD0\xB8\xD0\xB2\xD0\xB5\xD1\x82, \xD0\xBC\xD0\xB8\xD1\x80! \xD0\xA2\xD0\xB5\xD0\xBA\xD1\x81\xD1\x82 2024\n"},
    {"en", "CP1252", "Caf\xC3\xA9 na\xC3\xAFve r\xC3\xA9sum\xC3\xA9 \xE2\x82\xAC 12, the quick brown fox\n"},
    {"vi", "CP1258", "Ti\xE1\xBA\xBFng Vi\xE1\xBB\x87t c\xC3\xB3 d\xE1\xBA\xA5u, 2024\n"},
    // Hebrew with its points: letters that 1255 writes as a letter and accents, one of them as three bytes.
    {"he", "CP1255", "\xD7\xA9\xD7\x81\xD6\xB8\xD7\x9C\xD7\x95\xD6\xB9\xD7\x9D \xEF\xAC\xAC\xD7\x9E\xD6\xB4\xD7\x99\xD7\x9D, 2024\n"},
};

const Page& CurrentPage() {
    for (const Page& p : kPages) {
        if (g_lang.compare(0, std::strlen(p.lang), p.lang) == 0) return p;
    }
    return kPages[0];
}

// Syllables only CP949 has (outside EUC-KR's 2350): U+B620, U+BDC1, U+AC02.
const wchar_t kCp949Only[] = L"\xB620\xBDC1 \xAC02 ";

// The page's text of about size bytes, in the page (extra: with syllables only CP949 has).
const std::string& Bytes(bool extra, std::size_t size) {
    static std::map<std::pair<bool, std::size_t>, std::string> cache;
    std::string& slot = cache[{extra, size}];
    if (!slot.empty()) return slot;
    const char* sample = CurrentPage().sampleUtf8;
    std::wstring wide(static_cast<std::size_t>(CBrimString::UTF82UnicodeCount(sample)), L'\0');
    CBrimString::UTF82Unicode(wide.data(), sample);
    wide.pop_back();
    if (extra) wide += kCp949Only;
    std::string line(static_cast<std::size_t>(CBrimString::Unicode2MBCSCount(wide.c_str())), '\0');
    CBrimString::Unicode2MBCS(line.data(), wide.c_str());
    line.pop_back();
    if (line.find('?') != std::string::npos) {
        std::fprintf(stderr, "codepage_bench: the ANSI code page cannot hold the %s text\n", g_lang.c_str());
        std::exit(1);
    }
    while (slot.size() < size) slot += line;
    return slot;
}

void DecodeBrim(benchmark::State& state, bool extra, std::size_t size) {
    const std::string& text = Bytes(extra, size);
    std::vector<wchar_t> out(text.size() + 1);
    for (auto _ : state) {
        const int n = CBrimString::MBCS2UnicodeCount(text.c_str());
        CBrimString::MBCS2Unicode(out.data(), text.c_str());
        benchmark::DoNotOptimize(n);
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * text.size()));
}

void DecodeIconv(benchmark::State& state, bool extra, std::size_t size) {
    const std::string& text = Bytes(extra, size);
    std::vector<wchar_t> out(text.size() + 1);
    iconv_t cd = iconv_open("WCHAR_T", CurrentPage().iconvName);
    for (auto _ : state) {
        iconv(cd, nullptr, nullptr, nullptr, nullptr);
        char* in = const_cast<char*>(text.c_str());
        std::size_t inLeft = text.size() + 1, outLeft = out.size() * sizeof(wchar_t);
        char* o = reinterpret_cast<char*>(out.data());
        iconv(cd, &in, &inLeft, &o, &outLeft);
        benchmark::ClobberMemory();
    }
    iconv_close(cd);
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * text.size()));
}

const std::wstring& Wide(bool extra, std::size_t size) {
    static std::map<std::pair<bool, std::size_t>, std::wstring> cache;
    std::wstring& slot = cache[{extra, size}];
    if (slot.empty()) {
        const std::string& bytes = Bytes(extra, size);
        slot.resize(bytes.size() + 1);
        slot.resize(static_cast<std::size_t>(CBrimString::MBCS2UnicodeCount(bytes.c_str())));
        CBrimString::MBCS2Unicode(slot.data(), bytes.c_str());
        slot.pop_back();   // the terminator
    }
    return slot;
}

void EncodeBrim(benchmark::State& state, bool extra, std::size_t size) {
    const std::wstring& text = Wide(extra, size);
    std::vector<char> out(text.size() * 4 + 16);
    for (auto _ : state) {
        const int n = CBrimString::Unicode2MBCSCount(text.c_str());
        CBrimString::Unicode2MBCS(out.data(), text.c_str());
        benchmark::DoNotOptimize(n);
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * Bytes(extra, size).size()));
}

void EncodeIconv(benchmark::State& state, bool extra, std::size_t size) {
    const std::wstring& text = Wide(extra, size);
    std::vector<char> out(text.size() * 4 + 16);
    iconv_t cd = iconv_open(CurrentPage().iconvName, "WCHAR_T");
    for (auto _ : state) {
        iconv(cd, nullptr, nullptr, nullptr, nullptr);
        char* in = reinterpret_cast<char*>(const_cast<wchar_t*>(text.c_str()));
        std::size_t inLeft = (text.size() + 1) * sizeof(wchar_t), outLeft = out.size();
        char* o = out.data();
        iconv(cd, &in, &inLeft, &o, &outLeft);
        benchmark::ClobberMemory();
    }
    iconv_close(cd);
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * Bytes(extra, size).size()));
}

// ---- sort -----------------------------------------------------------------
std::vector<std::wstring> RandomLines(std::size_t count) {
    std::mt19937 rng(7);
    std::vector<std::wstring> lines(count);
    for (std::wstring& line : lines) {
        const std::size_t length = 4 + rng() % 20;
        for (std::size_t k = 0; k < length; ++k) line.push_back(static_cast<wchar_t>(L'!' + rng() % 94));
    }
    return lines;
}

void SortBrim(benchmark::State& state, std::size_t count) {
    const std::vector<std::wstring> lines = RandomLines(count);
    for (auto _ : state) {
        state.PauseTiming();
        CStringList list;
        for (const std::wstring& line : lines) list.AddTail(line.c_str());
        state.ResumeTiming();
        CBrimString::BubbleSort(&list);
        state.PauseTiming();
        list.RemoveAll();
        state.ResumeTiming();
    }
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations() * count));
}

void SortStd(benchmark::State& state, std::size_t count) {
    const std::vector<std::wstring> lines = RandomLines(count);
    for (auto _ : state) {
        state.PauseTiming();
        std::vector<std::wstring> copy = lines;
        state.ResumeTiming();
        std::stable_sort(copy.begin(), copy.end());
        benchmark::DoNotOptimize(copy.data());
    }
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations() * count));
}

// Ratios of iconv's (std's) time to ours, from the rates.
class RatioReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override {
        ConsoleReporter::ReportRuns(runs);
        for (const Run& r : runs) {
            const std::string name = r.benchmark_name();
            const double rate = r.counters.count("bytes_per_second") ? r.counters.at("bytes_per_second").value
                                                                         : r.counters.at("items_per_second").value;
            m_rates[name] = rate;
        }
    }
    void Finalize() override {
        ConsoleReporter::Finalize();
        std::printf("\nratios (peer time / our time), %s:\n", g_lang.c_str());
        for (const auto& [name, rate] : m_rates) {
            const std::size_t at = name.find("/brim/");
            if (at == std::string::npos) continue;
            for (const char* peer : {"/iconv/", "/std/"}) {
                std::string other = name;
                other.replace(at, 6, peer);
                if (m_rates.count(other)) std::printf("  %-40s %6.2f\n", name.c_str(), rate / m_rates[other]);
            }
        }
    }

private:
    std::map<std::string, double> m_rates;
};

}  // namespace

int main(int argc, char** argv) {
    std::vector<char*> args;
    for (int i = 0; i < argc; ++i) {
        if (std::strncmp(argv[i], "--lang=", 7) == 0) {
            g_lang = argv[i] + 7;
        } else {
            args.push_back(argv[i]);
        }
    }
    // The library fixes the ANSI code page from the locale when it is loaded,
    // as Windows fixes it at start-up: run again with the locale set.
    const char* current = std::getenv("LC_ALL");
    if (current == nullptr || g_lang != current) {
        setenv("LC_ALL", g_lang.c_str(), 1);
        execv("/proc/self/exe", argv);
        std::perror("codepage_bench: execv");
        return 1;
    }
    int count = static_cast<int>(args.size());
    for (const std::size_t size : {std::size_t{1} << 20, std::size_t{64} << 20}) {
        const std::string mib = std::to_string(size >> 20) + "MiB";
        for (const bool extra : {false, true}) {
            if (extra && CurrentPage().lang != std::string("ko")) continue;
            const std::string text = CurrentPage().lang == std::string("ko") ? (extra ? "cp949" : "euc-kr") : CurrentPage().iconvName;
            benchmark::RegisterBenchmark(("decode/brim/" + text + "/" + mib).c_str(), DecodeBrim, extra, size);
            benchmark::RegisterBenchmark(("decode/iconv/" + text + "/" + mib).c_str(), DecodeIconv, extra, size);
            benchmark::RegisterBenchmark(("encode/brim/" + text + "/" + mib).c_str(), EncodeBrim, extra, size);
            benchmark::RegisterBenchmark(("encode/iconv/" + text + "/" + mib).c_str(), EncodeIconv, extra, size);
        }
    }
    for (const std::size_t lines : {std::size_t{16} << 10, std::size_t{1} << 20}) {
        const std::string name = std::to_string(lines) + "lines";
        benchmark::RegisterBenchmark(("sort/brim/" + name).c_str(), SortBrim, lines)->Unit(benchmark::kMillisecond);
        benchmark::RegisterBenchmark(("sort/std/" + name).c_str(), SortStd, lines)->Unit(benchmark::kMillisecond);
    }
    benchmark::Initialize(&count, args.data());
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
}
