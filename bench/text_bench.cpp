// Text subsystem speed against its peers, measured in the same run:
//   detection   CBrimFile::EncodingCheck vs uchardet vs ICU's charset detector,
//               and vs "memory": a plain OR over the buffer (the ceiling)
//   UTF-8->wide CBrimString count + convert vs iconv vs ICU (u_strFromUTF8, to UTF-16),
//               and vs "memory": one read of the text and one write of its wide form
//   wide->UTF-8 CBrimString::Unicode2UTF8 in the pieces WriteUTF8 uses vs iconv and ICU on the same pieces
// on ASCII, UTF-8 Korean, EUC-KR and CP949 text of 64 KiB and 16 MiB; then
// ReadTextFile of a 64 MiB UTF-8 file with its time and peak memory.
// Ratios (peer time / our time, from bytes per second) are printed at the end.
#include <brim/brim.h>

#include <benchmark/benchmark.h>
#include <iconv.h>
#if defined(__x86_64__)
#include <immintrin.h>
#endif
#include <unicode/ucsdet.h>
#include <unicode/ustring.h>
#include <uchardet/uchardet.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <map>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

// ---- texts -------------------------------------------------------------------
std::string Iconv(const std::string& text, const char* to, const char* from) {
    iconv_t cd = iconv_open(to, from);
    std::string out(text.size() * 4 + 16, '\0');
    char* in = const_cast<char*>(text.data());
    std::size_t inLeft = text.size(), outLeft = out.size();
    char* o = out.data();
    iconv(cd, &in, &inLeft, &o, &outLeft);
    iconv_close(cd);
    out.resize(out.size() - outLeft);
    return out;
}

std::string Repeat(const std::string& piece, std::size_t size) {
    std::string out;
    out.reserve(size + piece.size());
    while (out.size() < size) out += piece;
    out.resize(size);
    return out;
}

// UTF-8 sources; cut at a character boundary after repetition.
const std::string kKorean =
    "\xEB\x8C\x80\xED\x95\x9C\xEB\xAF\xBC\xEA\xB5\xAD\xEC\x9D\x98 \xEC\x88\x98\xEB\x8F\x84\xEB\x8A\x94 "
    "\xEC\x84\x9C\xEC\x9A\xB8\xEC\x9D\xB4\xEB\xA9\xB0, \xED\x95\x9C\xEA\xB5\xAD\xEC\x96\xB4\xEB\x8A\x94 "
    "\xED\x95\x9C\xEA\xB8\x80\xEB\xA1\x9C \xEC\xA0\x81\xEB\x8A\x94\xEB\x8B\xA4. 2024\xEB\x85\x84 "
    "\xEB\xB3\xB4\xEA\xB3\xA0\xEC\x84\x9C\xEB\xA5\xBC \xED\x99\x95\xEC\x9D\xB8\xED\x95\x98\xEC\x84\xB8\xEC\x9A\x94.\n";
// Syllables only CP949 has (outside EUC-KR's 2350): 똠 뷁 갂.
const std::string kCp949Extra = "\xEB\x98\xA0\xEB\xB7\x81 \xEA\xB0\x82 ";

// cp949 has the syllables only CP949 has on every line; cp949-rare on one
// line in sixteen, nearer to what most CP949 text holds.
enum Kind { kAscii, kUtf8, kEucKr, kCp949, kCp949Rare, kKinds };
const char* const kKindNames[kKinds] = {"ascii", "utf8-korean", "euc-kr", "cp949", "cp949-rare"};

const std::string& Text(Kind kind, std::size_t size) {
    static std::map<std::pair<int, std::size_t>, std::string> cache;
    auto& slot = cache[{kind, size}];
    if (!slot.empty()) return slot;
    const std::string ascii = "The quick brown fox jumps over the lazy dog; 0123456789 (plain 7-bit text).\n";
    switch (kind) {
    case kAscii: slot = Repeat(ascii, size); break;
    case kUtf8: slot = Repeat(kKorean, size); break;
    case kEucKr: slot = Repeat(Iconv(kKorean, "EUC-KR", "UTF-8"), size); break;
    case kCp949: slot = Repeat(Iconv(kKorean + kCp949Extra, "CP949", "UTF-8"), size); break;
    case kCp949Rare: {
        std::string lines;
        for (int k = 0; k < 15; ++k) lines += kKorean;
        slot = Repeat(Iconv(lines + kCp949Extra + kKorean, "CP949", "UTF-8"), size);
        break;
    }
    default: break;
    }
    // End on a whole character for the multi-byte texts.
    while (!slot.empty() && static_cast<unsigned char>(slot.back()) >= 0x80) slot.pop_back();
    return slot;
}

constexpr std::size_t kSizes[] = {64 * 1024, 16 * 1024 * 1024};

// ---- detection -----------------------------------------------------------------
void DetectBrim(benchmark::State& state, Kind kind, std::size_t size) {
    std::string text = Text(kind, size);
    auto* data = reinterpret_cast<unsigned char*>(text.data());
    int id = 0;
    for (auto _ : state) {
        id = CBrimFile::EncodingCheck(data, static_cast<unsigned int>(text.size()));
        benchmark::DoNotOptimize(id);
    }
    state.SetLabel(std::string(id == 13 ? "ASCII" : id == 14 ? "UTF8_NOBOM" : id == 15 ? "EUCKR" : id == 16 ? "CP949" : "other"));
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * text.size()));
}

void DetectUchardet(benchmark::State& state, Kind kind, std::size_t size) {
    const std::string& text = Text(kind, size);
    uchardet_t detector = uchardet_new();
    std::string name;
    for (auto _ : state) {
        uchardet_reset(detector);
        uchardet_handle_data(detector, text.data(), text.size());
        uchardet_data_end(detector);
        name = uchardet_get_charset(detector);
    }
    uchardet_delete(detector);
    state.SetLabel(name);
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * text.size()));
}

void DetectIcu(benchmark::State& state, Kind kind, std::size_t size) {
    const std::string& text = Text(kind, size);
    UErrorCode status = U_ZERO_ERROR;
    UCharsetDetector* detector = ucsdet_open(&status);
    std::string name;
    for (auto _ : state) {
        ucsdet_setText(detector, text.data(), static_cast<int32_t>(text.size()), &status);
        const UCharsetMatch* match = ucsdet_detect(detector, &status);
        name = match != nullptr ? ucsdet_getName(match, &status) : "none";
    }
    ucsdet_close(detector);
    state.SetLabel(name);
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * text.size()));
}

// The ceiling: a plain read of every byte (an OR over the buffer, as wide as
// the processor allows), which no detector that looks at every byte can beat.
#if defined(__x86_64__)
__attribute__((target("avx512f,avx512bw"))) bool ScanWide(const unsigned char* d, std::size_t n) {
    __m512i acc = _mm512_setzero_si512();
    std::size_t i = 0;
    for (; i + 64 <= n; i += 64) acc = _mm512_or_si512(acc, _mm512_loadu_si512(d + i));
    unsigned char rest = 0;
    for (; i < n; ++i) rest = static_cast<unsigned char>(rest | d[i]);
    return _mm512_movepi8_mask(acc) != 0 || rest >= 0x80;
}
#endif

bool ScanPlain(const unsigned char* d, std::size_t n) {
    std::uint64_t acc = 0;
    std::size_t i = 0;
    for (; i + 8 <= n; i += 8) {
        std::uint64_t w;
        std::memcpy(&w, d + i, 8);
        acc |= w;
    }
    for (; i < n; ++i) acc |= d[i];
    return (acc & 0x8080808080808080ull) != 0;
}

void DetectScan(benchmark::State& state, Kind kind, std::size_t size) {
    const std::string& text = Text(kind, size);
    const auto* data = reinterpret_cast<const unsigned char*>(text.data());
#if defined(__x86_64__)
    const bool wide = __builtin_cpu_supports("avx512bw");
#else
    const bool wide = false;
#endif
    bool high = false;
    for (auto _ : state) {
#if defined(__x86_64__)
        high = wide ? ScanWide(data, text.size()) : ScanPlain(data, text.size());
#else
        high = ScanPlain(data, text.size());
#endif
        benchmark::DoNotOptimize(high);
    }
    state.SetLabel(std::string(wide ? "avx-512 OR" : "64-bit OR") + (high ? ", high bytes" : ", 7-bit"));
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * text.size()));
}

// ---- UTF-8 -> wide ---------------------------------------------------------------
void ToWideBrim(benchmark::State& state, Kind kind, std::size_t size) {
    const std::string& text = Text(kind, size);
    std::vector<wchar_t> out(text.size() + 1);
    for (auto _ : state) {
        const int n = CBrimString::UTF82UnicodeCount(text.c_str());
        CBrimString::UTF82Unicode(out.data(), text.c_str());
        benchmark::DoNotOptimize(n);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * text.size()));
}

void ToWideIconv(benchmark::State& state, Kind kind, std::size_t size) {
    const std::string& text = Text(kind, size);
    std::vector<wchar_t> out(text.size() + 1);
    iconv_t cd = iconv_open("WCHAR_T", "UTF-8");
    for (auto _ : state) {
        iconv(cd, nullptr, nullptr, nullptr, nullptr);
        char* in = const_cast<char*>(text.data());
        std::size_t inLeft = text.size() + 1, outLeft = out.size() * sizeof(wchar_t);
        char* o = reinterpret_cast<char*>(out.data());
        iconv(cd, &in, &inLeft, &o, &outLeft);
        benchmark::DoNotOptimize(outLeft);
    }
    iconv_close(cd);
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * text.size()));
}

void ToWideIcu(benchmark::State& state, Kind kind, std::size_t size) {
    const std::string& text = Text(kind, size);
    std::vector<UChar> out(text.size() + 1);
    for (auto _ : state) {
        UErrorCode status = U_ZERO_ERROR;
        int32_t n = 0;
        u_strFromUTF8WithSub(out.data(), static_cast<int32_t>(out.size()), &n, text.c_str(), -1, 0xFFFD, nullptr, &status);
        benchmark::DoNotOptimize(n);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * text.size()));
}

// The least any conversion to wide text must do, as a ceiling: read the text
// once and write its wide form once (4-byte units here).
void ToWideMemory(benchmark::State& state, Kind kind, std::size_t size) {
    const std::string& text = Text(kind, size);
    const auto units = static_cast<std::size_t>(CBrimString::UTF82UnicodeCount(text.c_str()));
    std::vector<wchar_t> out(units);
    for (auto _ : state) {
        benchmark::DoNotOptimize(std::strlen(text.c_str()));
        std::memset(out.data(), 0x20, units * sizeof(wchar_t));
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * text.size()));
}

// ---- wide -> UTF-8, in WriteUTF8's pieces ----------------------------------------------
std::vector<std::wstring> WidePieces(Kind kind, std::size_t size) {
    const std::string& text = Text(kind, size);
    std::vector<wchar_t> wide(static_cast<std::size_t>(CBrimString::UTF82UnicodeCount(text.c_str())));
    CBrimString::UTF82Unicode(wide.data(), text.c_str());
    std::vector<std::wstring> pieces;
    for (std::size_t at = 0; at + 1 < wide.size(); at += 2047) pieces.emplace_back(wide.data() + at, std::min<std::size_t>(2047, wide.size() - 1 - at));
    return pieces;
}

void ToUtf8Brim(benchmark::State& state, Kind kind, std::size_t size) {
    const auto pieces = WidePieces(kind, size);
    std::vector<char> out(32767);
    for (auto _ : state) {
        for (const auto& piece : pieces) benchmark::DoNotOptimize(CBrimString::Unicode2UTF8(out.data(), piece.c_str()));
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * Text(kind, size).size()));
}

void ToUtf8Iconv(benchmark::State& state, Kind kind, std::size_t size) {
    const auto pieces = WidePieces(kind, size);
    std::vector<char> out(32767);
    iconv_t cd = iconv_open("UTF-8", "WCHAR_T");
    for (auto _ : state) {
        for (const auto& piece : pieces) {
            char* in = reinterpret_cast<char*>(const_cast<wchar_t*>(piece.c_str()));
            std::size_t inLeft = (piece.size() + 1) * sizeof(wchar_t), outLeft = out.size();
            char* o = out.data();
            iconv(cd, &in, &inLeft, &o, &outLeft);
            benchmark::DoNotOptimize(outLeft);
        }
    }
    iconv_close(cd);
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * Text(kind, size).size()));
}

void ToUtf8Icu(benchmark::State& state, Kind kind, std::size_t size) {
    // ICU works from UTF-16: the same pieces in its own form.
    std::vector<std::u16string> pieces;
    for (const auto& piece : WidePieces(kind, size)) {
        std::u16string u;
        for (wchar_t c : piece) {
            if (c >= 0x10000) {
                u += static_cast<char16_t>(0xD800 + ((c - 0x10000) >> 10));
                u += static_cast<char16_t>(0xDC00 + ((c - 0x10000) & 0x3FF));
            } else {
                u += static_cast<char16_t>(c);
            }
        }
        pieces.push_back(u);
    }
    std::vector<char> out(32767);
    for (auto _ : state) {
        for (const auto& piece : pieces) {
            UErrorCode status = U_ZERO_ERROR;
            int32_t n = 0;
            u_strToUTF8WithSub(out.data(), static_cast<int32_t>(out.size()), &n, piece.c_str(), -1, 0xFFFD, nullptr, &status);
            benchmark::DoNotOptimize(n);
        }
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * Text(kind, size).size()));
}

// ---- reading a 64 MiB file ---------------------------------------------------------------
long PeakKiB() {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind("VmHWM:", 0) == 0) return std::stol(line.substr(6));
    }
    return -1;
}

void ReadLargeFile() {
    const std::string path = "/tmp/brim-bench-" + std::to_string(getpid()) + ".txt";
    {
        std::ofstream out(path, std::ios::binary);
        out << Repeat(kKorean, 64 * 1024 * 1024);
    }
    CBrimFile file;
    file.SetFilename(CStringW(path.c_str()));
    std::vector<double> seconds;
    long peakDelta = 0;
    for (int run = 0; run < 5; ++run) {
        std::ofstream("/proc/self/clear_refs") << "5";   // restart the peak from the current size
        const long before = PeakKiB();
        const auto start = std::chrono::steady_clock::now();
        const CStringW text = file.ReadTextFile();
        seconds.push_back(std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
        peakDelta = PeakKiB() - before;
        benchmark::DoNotOptimize(text.GetLength());
    }
    std::remove(path.c_str());
    std::sort(seconds.begin(), seconds.end());
    std::printf("ReadTextFile, 64 MiB UTF-8 file: median %.3f s (%.0f MB/s), peak memory above the start %.1f MiB "
                "(file 64 MiB, text %zu-byte units)\n",
                seconds[2], 64.0 * 1.048576 / seconds[2], peakDelta / 1024.0, sizeof(wchar_t));
}

// ---- ratios ----------------------------------------------------------------------------------
class RatioReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override {
        for (const Run& run : runs) {
            if (run.run_type == Run::RT_Aggregate && run.aggregate_name != "median") continue;
            auto it = run.counters.find("bytes_per_second");
            if (it != run.counters.end()) speed[run.run_name.function_name] = it->second.value;
        }
        ConsoleReporter::ReportRuns(runs);
    }
    std::map<std::string, double> speed;
};

template <typename Fn>
void Register(const std::string& name, Fn fn, Kind kind, std::size_t size) {
    benchmark::RegisterBenchmark(name.c_str(), [=](benchmark::State& s) { fn(s, kind, size); })->MinTime(0.2);
}

std::string Name(const char* what, const char* who, Kind kind, std::size_t size) {
    return std::string(what) + "/" + who + "/" + kKindNames[kind] + "/" + (size < 1024 * 1024 ? "64KiB" : "16MiB");
}

}  // namespace

int main(int argc, char** argv) {
    for (std::size_t size : kSizes) {
        for (int k = 0; k < kKinds; ++k) {
            const Kind kind = static_cast<Kind>(k);
            Register(Name("detect", "brim", kind, size), DetectBrim, kind, size);
            Register(Name("detect", "uchardet", kind, size), DetectUchardet, kind, size);
            Register(Name("detect", "icu", kind, size), DetectIcu, kind, size);
            Register(Name("detect", "memory", kind, size), DetectScan, kind, size);
            if (kind == kAscii || kind == kUtf8) {
                Register(Name("utf8-to-wide", "brim", kind, size), ToWideBrim, kind, size);
                Register(Name("utf8-to-wide", "iconv", kind, size), ToWideIconv, kind, size);
                Register(Name("utf8-to-wide", "icu", kind, size), ToWideIcu, kind, size);
                Register(Name("utf8-to-wide", "memory", kind, size), ToWideMemory, kind, size);
                Register(Name("wide-to-utf8", "brim", kind, size), ToUtf8Brim, kind, size);
                Register(Name("wide-to-utf8", "iconv", kind, size), ToUtf8Iconv, kind, size);
                Register(Name("wide-to-utf8", "icu", kind, size), ToUtf8Icu, kind, size);
            }
        }
    }
    benchmark::Initialize(&argc, argv);
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);

    std::printf("\nRatios (brim speed / peer speed; above 1 means brim is faster; against memory, the share of the "
                "ceiling reached)\n");
    for (const auto& [name, speed] : reporter.speed) {
        const std::size_t a = name.find("/brim/");
        if (a == std::string::npos) continue;
        std::printf("%-36s %8.0f MB/s", name.c_str(), speed / 1e6);
        for (const char* peer : {"uchardet", "icu", "iconv", "memory"}) {
            const std::string other = name.substr(0, a) + "/" + peer + "/" + name.substr(a + 6);
            auto it = reporter.speed.find(other);
            if (it != reporter.speed.end() && it->second > 0) std::printf("  x%-8.1f vs %s", speed / it->second, peer);
        }
        std::printf("\n");
    }
    ReadLargeFile();
    return 0;
}
