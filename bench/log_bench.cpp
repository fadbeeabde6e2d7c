// Records per second of the global log against two peers, measured in the
// same run, for 1 thread and for 4 threads in each of 2 processes:
//   floor  - a bare loop of the system calls a record needs (lock, open,
//            append, close, unlock), the ceiling for a log that opens the day
//            file for every record;
//   spdlog - spdlog's multi-threaded basic file sink, flushed after every
//            record, writing lines of the same length.
// Each case runs five times; the medians and the ratios are printed.
#include <brim/brim.h>

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <spdlog/sinks/basic_file_sink.h>
#include <spdlog/spdlog.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <string>
#include <thread>
#include <vector>

namespace {

constexpr int kRecordsPerThread = 20000;
const std::string kLine = "[2026-12-05 12:00:00] INFO  log_bench.cpp          Run                                          (   42) - record of the benchmark\r\n";

std::filesystem::path g_dir;

void FloorRecords(int count) {
    const std::string lockPath = (g_dir / "floor.lock").string();
    const std::string path = (g_dir / "floor.log").string();
    const int lockFd = open(lockPath.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    for (int i = 0; i < count; ++i) {
        struct flock fl = {};
        fl.l_type = F_WRLCK;
        fl.l_whence = SEEK_SET;
        fcntl(lockFd, F_OFD_SETLKW, &fl);
        const int fd = open(path.c_str(), O_RDWR | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
        if (write(fd, kLine.data(), kLine.size()) < 0) std::abort();
        close(fd);
        fl.l_type = F_UNLCK;
        fcntl(lockFd, F_OFD_SETLK, &fl);
    }
    close(lockFd);
}

void BrimRecords(int count) {
    for (int i = 0; i < count; ++i) BRIM_LOG(1, L"record of the benchmark %d", i);
}

std::shared_ptr<spdlog::logger> g_spd;
void SpdlogRecords(int count) {
    for (int i = 0; i < count; ++i) g_spd->info("record of the benchmark {}", i);
}

// Runs body on threads threads in each of processes processes; returns records per second.
double Measure(const std::function<void(int)>& body, int processes, int threads) {
    const auto start = std::chrono::steady_clock::now();
    std::vector<pid_t> children;
    for (int p = 1; p < processes; ++p) {
        const pid_t pid = fork();
        if (pid == 0) {
            std::vector<std::thread> workers;
            for (int t = 0; t < threads; ++t) workers.emplace_back(body, kRecordsPerThread);
            for (auto& w : workers) w.join();
            _exit(0);
        }
        children.push_back(pid);
    }
    std::vector<std::thread> workers;
    for (int t = 0; t < threads; ++t) workers.emplace_back(body, kRecordsPerThread);
    for (auto& w : workers) w.join();
    for (pid_t c : children) waitpid(c, nullptr, 0);
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    return processes * threads * static_cast<double>(kRecordsPerThread) / seconds;
}

double Median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

}  // namespace

int main() {
    g_dir = std::filesystem::temp_directory_path() / ("brim-log-bench-" + std::to_string(getpid()));
    std::filesystem::create_directories(g_dir);
    CBrimLog::Init(0, (g_dir.wstring() + L"/").c_str());
    g_spd = spdlog::basic_logger_mt("bench", (g_dir / "spdlog.log").string());
    g_spd->set_pattern("[%Y-%m-%d %H:%M:%S] %-6l log_bench.cpp          Run                                          (   42) - %v");
    g_spd->flush_on(spdlog::level::trace);

    std::printf("%-28s %14s %14s %14s %10s %10s\n", "case", "brim rec/s", "floor rec/s", "spdlog rec/s", "brim/floor",
                "brim/spdlog");
    const struct { const char* name; int processes, threads; } cases[] = {{"1 thread", 1, 1}, {"2 processes x 4 threads", 2, 4}};
    for (const auto& c : cases) {
        std::vector<double> brim, floor, spd;
        for (int run = 0; run < 5; ++run) {
            brim.push_back(Measure(BrimRecords, c.processes, c.threads));
            floor.push_back(Measure(FloorRecords, c.processes, c.threads));
            spd.push_back(Measure(SpdlogRecords, c.processes, c.threads));
            std::filesystem::remove_all(g_dir);
            std::filesystem::create_directories(g_dir);
        }
        const double b = Median(brim), f = Median(floor), s = Median(spd);
        std::printf("%-28s %14.0f %14.0f %14.0f %10.2f %10.2f\n", c.name, b, f, s, b / f, b / s);
    }
    std::filesystem::remove_all(g_dir);
    return 0;
}
