// 256 MiB over loopback: CBrimFTP and CBrimHTTP (with a throttle hook that
// returns at once) against the curl command-line tool moving the same file
// from the same servers in the same run. Prints the throughput ratios of the
// medians.
//
// The servers are tests/servers/run_with_servers.py's; started without them,
// the program runs itself again inside that script.

#include <brim/net.h>

#include <benchmark/benchmark.h>

#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <vector>

namespace {
namespace fs = std::filesystem;
constexpr std::size_t kSize = 256u << 20;

std::map<std::string, std::vector<double>> g_seconds;

std::string Env(const char* name) {
    const char* v = std::getenv(name);
    return v == nullptr ? std::string() : std::string(v);
}

std::wstring Widen(const std::string& s) { return std::wstring(s.begin(), s.end()); }

fs::path WorkDir() {
    static const fs::path dir = [] {
        fs::path d = fs::temp_directory_path() / ("brim-net-bench-" + std::to_string(::getpid()));
        fs::create_directories(d);
        return d;
    }();
    return dir;
}

void WriteFile(const fs::path& path, std::size_t size) {
    std::string block(1 << 20, '\0');
    for (std::size_t i = 0; i < block.size(); ++i) block[i] = static_cast<char>(i * 131 % 256);
    std::ofstream out(path, std::ios::binary);
    for (std::size_t done = 0; done < size; done += block.size()) out.write(block.data(), static_cast<std::streamsize>(block.size()));
}

class FastFtp : public CBrimFTP {
public:
    void vDownloadProgress(DWORD&, int&, ULONGLONG&, const wchar_t*, const wchar_t*) override {}
    void vUploadProgress(DWORD&, int&, ULONGLONG&, const wchar_t*, const wchar_t*) override {}
    void vWaitForSpeedBalance() override {}
};

class FastHttp : public CBrimHTTP {
public:
    void vDownloadProgress(DWORD&, int&, ULONGLONG&, const wchar_t*, const wchar_t*) override {}
    void vWaitForSpeedBalance() override {}
};

template <typename F>
void Timed(benchmark::State& state, const std::string& name, F&& run) {
    for (auto _ : state) {
        const auto start = std::chrono::steady_clock::now();
        run();
        const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        state.SetIterationTime(seconds);
        g_seconds[name].push_back(seconds);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * kSize));
}

void Shell(const std::string& command) {
    if (std::system(command.c_str()) != 0) std::fprintf(stderr, "failed: %s\n", command.c_str());
}

std::string FtpUrl(const std::string& file) {
    return "ftp://" + Env("BRIM_FTP_USER") + ":" + Env("BRIM_FTP_PASSWORD") + "@127.0.0.1:" + Env("BRIM_FTP_PORT") + "/" + file;
}

int FtpPort() { return std::atoi(Env("BRIM_FTP_PORT").c_str()); }

void FtpConnect(FastFtp& ftp) {
    ftp.Connection(L"127.0.0.1", Widen(Env("BRIM_FTP_USER")).c_str(), Widen(Env("BRIM_FTP_PASSWORD")).c_str(), FtpPort(), 1);
}

void BM_FtpRetr_Brim(benchmark::State& state) {
    FastFtp ftp;
    FtpConnect(ftp);
    const std::wstring local = (WorkDir() / "retr.brim").wstring();
    Timed(state, "ftp-retr brim", [&] { ftp.Download(L"/source.bin", local.c_str(), 2); });
}

void BM_FtpRetr_Curl(benchmark::State& state) {
    const std::string command = "curl -s -o " + (WorkDir() / "retr.curl").string() + " " + FtpUrl("source.bin");
    Timed(state, "ftp-retr curl", [&] { Shell(command); });
}

void BM_FtpStor_Brim(benchmark::State& state) {
    FastFtp ftp;
    FtpConnect(ftp);
    const std::wstring local = (WorkDir() / "upload.bin").wstring();
    Timed(state, "ftp-stor brim", [&] { ftp.Upload(local.c_str(), L"/stored.brim", 2); });
}

void BM_FtpStor_Curl(benchmark::State& state) {
    const std::string command = "curl -s -T " + (WorkDir() / "upload.bin").string() + " " + FtpUrl("stored.curl");
    Timed(state, "ftp-stor curl", [&] { Shell(command); });
}

std::string HttpUrl() { return "http://127.0.0.1:" + Env("BRIM_HTTP_PORT") + "/bytes/" + std::to_string(kSize); }

void BM_HttpGet_Brim(benchmark::State& state) {
    FastHttp http;
    http.ConnectHttp(L"127.0.0.1", std::atoi(Env("BRIM_HTTP_PORT").c_str()));
    const std::wstring url = Widen(HttpUrl());
    const std::wstring local = (WorkDir() / "get.brim").wstring();
    Timed(state, "http-get brim", [&] { http.Download(url.c_str(), local.c_str(), 2); });
}

void BM_HttpGet_Curl(benchmark::State& state) {
    const std::string command = "curl -s -o " + (WorkDir() / "get.curl").string() + " " + HttpUrl();
    Timed(state, "http-get curl", [&] { Shell(command); });
}

// Peers interleave (see main) so that the machine's drift falls on both.
BENCHMARK(BM_FtpRetr_Curl)->UseManualTime()->Iterations(1)->Repetitions(5)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_FtpRetr_Brim)->UseManualTime()->Iterations(1)->Repetitions(5)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_FtpStor_Curl)->UseManualTime()->Iterations(1)->Repetitions(5)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_FtpStor_Brim)->UseManualTime()->Iterations(1)->Repetitions(5)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_HttpGet_Curl)->UseManualTime()->Iterations(1)->Repetitions(5)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_HttpGet_Brim)->UseManualTime()->Iterations(1)->Repetitions(5)->Unit(benchmark::kMillisecond);

double Median(std::vector<double> v) {
    if (v.empty()) return 0;
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}
}  // namespace

int main(int argc, char** argv) {
    if (Env("BRIM_HTTP_PORT").empty() || Env("BRIM_FTP_PORT").empty()) {
        if (!Env("BRIM_SERVERS_MISSING").empty()) {
            std::fprintf(stderr, "servers missing: %s\n", Env("BRIM_SERVERS_MISSING").c_str());
            return 1;
        }
        std::vector<char*> args = {const_cast<char*>("/usr/bin/python3"),
                                   const_cast<char*>(BRIM_SOURCE_DIR "/tests/servers/run_with_servers.py")};
        for (int i = 0; i < argc; ++i) args.push_back(argv[i]);
        args.push_back(nullptr);
        ::execv(args[0], args.data());
        std::perror("python3");
        return 1;
    }
    WriteFile(fs::path(Env("BRIM_FTP_ROOT")) / "source.bin", kSize);
    WriteFile(WorkDir() / "upload.bin", kSize);

    // Repetitions of the peers interleave: run back to back, the second of
    // two peers meets the first one's writeback (1.25 GiB of dirty pages on
    // the server side) and loses by a factor that has nothing to do with it.
    std::vector<char*> args(argv, argv + argc);
    char interleave[] = "--benchmark_enable_random_interleaving=true";
    args.insert(args.begin() + 1, interleave);
    int count = static_cast<int>(args.size());
    benchmark::Initialize(&count, args.data());
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();

    std::printf("\nThroughput of BrimCommon / curl (medians of 5 runs of 256 MiB; above 1 is faster):\n");
    for (const char* what : {"ftp-retr", "ftp-stor", "http-get"}) {
        const double brim = Median(g_seconds[std::string(what) + " brim"]);
        const double curl = Median(g_seconds[std::string(what) + " curl"]);
        if (brim > 0 && curl > 0) std::printf("  %-9s %.2f  (brim %.0f ms, curl %.0f ms)\n", what, curl / brim, brim * 1000, curl * 1000);
    }
    std::error_code ignored;
    fs::remove_all(WorkDir(), ignored);
    return 0;
}
