// The environment helpers against the peers a host would otherwise reach
// for: the registry store against bare SQLite doing the same upsert and
// select, the path splitter against std::filesystem::path, and the URL
// parser against libcurl's URL API. Each pair prints its ratio.
#include <brim/brim.h>

#include <benchmark/benchmark.h>
#include <curl/curl.h>
#include <sqlite3.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <string>
#include <unistd.h>

namespace {

std::string g_folder;

// ---- registry -----------------------------------------------------------------
void Registry_WriteRead(benchmark::State& state) {
    unsigned long n = 0;
    for (auto _ : state) {
        CBrimRegistry::LocalWriteInt(HKEY_CURRENT_USER, L"Software\\BrimBench\\Settings", L"Counter", ++n);
        benchmark::DoNotOptimize(CBrimRegistry::LocalReadInt(HKEY_CURRENT_USER, L"Software\\BrimBench\\Settings", L"Counter"));
    }
}
BENCHMARK(Registry_WriteRead);

// The peer: one table, the same settings (WAL, synchronous=NORMAL), prepared
// statements, one transaction per write.
void Sqlite_WriteRead(benchmark::State& state) {
    sqlite3* db = nullptr;
    sqlite3_open((g_folder + "/peer.db").c_str(), &db);
    sqlite3_exec(db, "PRAGMA journal_mode=WAL; PRAGMA synchronous=NORMAL;"
                     "CREATE TABLE IF NOT EXISTS kv(k TEXT PRIMARY KEY, v INTEGER)", nullptr, nullptr, nullptr);
    sqlite3_stmt* put = nullptr;
    sqlite3_stmt* get = nullptr;
    sqlite3_prepare_v2(db, "INSERT OR REPLACE INTO kv VALUES('Counter', ?1)", -1, &put, nullptr);
    sqlite3_prepare_v2(db, "SELECT v FROM kv WHERE k = 'Counter'", -1, &get, nullptr);
    long long n = 0;
    for (auto _ : state) {
        sqlite3_exec(db, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr);
        sqlite3_bind_int64(put, 1, ++n);
        sqlite3_step(put);
        sqlite3_reset(put);
        sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr);
        sqlite3_step(get);
        benchmark::DoNotOptimize(sqlite3_column_int64(get, 0));
        sqlite3_reset(get);
    }
    sqlite3_finalize(put);
    sqlite3_finalize(get);
    sqlite3_close(db);
}
BENCHMARK(Sqlite_WriteRead);

// ---- paths -------------------------------------------------------------------
const wchar_t kPath[] = L"/home/user/projects/brim/reports/2024/report.final.txt";

void Brim_GetPathInfo(benchmark::State& state) {
    wchar_t drive[3], dir[256], fname[256], ext[256];
    for (auto _ : state) benchmark::DoNotOptimize(CBrimUtil::GetPathInfo(kPath, drive, dir, fname, ext));
}
BENCHMARK(Brim_GetPathInfo);

void Filesystem_Decompose(benchmark::State& state) {
    for (auto _ : state) {
        const std::filesystem::path p(kPath);
        std::wstring parts = p.root_name().wstring() + p.parent_path().wstring() + p.stem().wstring() +
                             p.extension().wstring();
        benchmark::DoNotOptimize(parts);
    }
}
BENCHMARK(Filesystem_Decompose);

// ---- URLs --------------------------------------------------------------------
void Brim_GetUrlInfo(benchmark::State& state) {
    wchar_t server[260], object[260];
    unsigned long service = 0;
    unsigned short port = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(CBrimUtil::GetUrlInfo(L"https://user:pw@example.org:8443/a/b/c.html?q=1#top",
                                                       service, server, object, port));
    }
}
BENCHMARK(Brim_GetUrlInfo);

void Curl_UrlApi(benchmark::State& state) {
    for (auto _ : state) {
        CURLU* url = curl_url();
        curl_url_set(url, CURLUPART_URL, "https://user:pw@example.org:8443/a/b/c.html?q=1#top", 0);
        char* host = nullptr;
        char* path = nullptr;
        char* port = nullptr;
        curl_url_get(url, CURLUPART_HOST, &host, 0);
        curl_url_get(url, CURLUPART_PATH, &path, 0);
        curl_url_get(url, CURLUPART_PORT, &port, 0);
        benchmark::DoNotOptimize(host);
        curl_free(host);
        curl_free(path);
        curl_free(port);
        curl_url_cleanup(url);
    }
}
BENCHMARK(Curl_UrlApi);

// Keeps each run's time per iteration so the pairs can be compared.
class RatioReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override {
        for (const Run& run : runs) times[run.benchmark_name()] = run.GetAdjustedRealTime();
        ConsoleReporter::ReportRuns(runs);
    }
    std::map<std::string, double> times;
};

}  // namespace

int main(int argc, char** argv) {
    char folder[] = "/tmp/brim-bench-XXXXXX";
    if (mkdtemp(folder) == nullptr) return 1;
    g_folder = folder;
    setenv("XDG_CONFIG_HOME", folder, 1);
    benchmark::Initialize(&argc, argv);
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    const std::pair<const char*, const char*> pairs[] = {{"Registry_WriteRead", "Sqlite_WriteRead"},
                                                         {"Brim_GetPathInfo", "Filesystem_Decompose"},
                                                         {"Brim_GetUrlInfo", "Curl_UrlApi"}};
    for (const auto& [ours, peer] : pairs) {
        if (reporter.times.count(ours) != 0 && reporter.times.count(peer) != 0) {
            std::printf("ratio %s / %s = %.2f\n", ours, peer, reporter.times[ours] / reporter.times[peer]);
        }
    }
    std::filesystem::remove_all(folder);
    return 0;
}
