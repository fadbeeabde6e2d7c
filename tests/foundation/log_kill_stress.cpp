// POSIX stress program, not a ctest test: four writer processes log while
// other processes, also logging, are started and killed with SIGKILL in
// turn, for SECONDS (default 60). Then it counts the writers' records in the
// day files: every one must be there once, whatever the killed ones left.
//
//   log_kill_stress [SECONDS]
//
// Runs with a runtime folder of its own (it sets XDG_RUNTIME_DIR to a fresh
// temporary folder and starts itself again), so the user's is not touched.
#include <brim/brim.h>

#include <signal.h>
#include <sys/mman.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace {

constexpr int kWriters = 4;

struct Shared {
    std::atomic<bool> stop;
    std::atomic<long> written[kWriters];
};

[[noreturn]] void Write(const CStringW& folder, Shared* shared, int id) {
    CBrimLog::Init(0, folder);
    for (long i = 0; !shared->stop.load(); ++i) {
        BRIM_LOG(1, L"survivor s%d i%ld", id, i);
        shared->written[id].store(i + 1);
    }
    _exit(0);
}

[[noreturn]] void Victim(const CStringW& folder, int n) {
    CBrimLog::Init(0, folder);
    const std::wstring filler(2000, L'p');   // long records: a kill lands inside a write now and then
    for (long i = 0;; ++i) BRIM_LOG(1, L"victim v%d i%ld %s", n, i, filler.c_str());
}

}  // namespace

int main(int argc, char** argv) {
    const int seconds = argc > 1 ? std::atoi(argv[1]) : 60;
    if (std::getenv("BRIM_STRESS_CHILD") == nullptr) {
        char runtime[] = "/tmp/brim-stress-XXXXXX";
        if (mkdtemp(runtime) == nullptr) return 2;
        setenv("XDG_RUNTIME_DIR", runtime, 1);
        setenv("BRIM_STRESS_CHILD", "1", 1);
        execv("/proc/self/exe", argv);
        return 2;
    }
    const std::string runtime = std::getenv("XDG_RUNTIME_DIR");
    const std::string logs = runtime + "/logs/";
    std::filesystem::create_directory(logs);
    const CStringW folder(logs.c_str());

    auto* shared = static_cast<Shared*>(mmap(nullptr, sizeof(Shared), PROT_READ | PROT_WRITE, MAP_SHARED | MAP_ANONYMOUS, -1, 0));
    new (shared) Shared{};
    std::vector<pid_t> writers;
    for (int id = 0; id < kWriters; ++id) {
        const pid_t pid = fork();
        if (pid == 0) Write(folder, shared, id);
        writers.push_back(pid);
    }

    std::mt19937 random(12345);
    std::uniform_int_distribution<int> pause(1, 30);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
    int killed = 0;
    while (std::chrono::steady_clock::now() < deadline) {
        const pid_t victim = fork();
        if (victim == 0) Victim(folder, killed);
        std::this_thread::sleep_for(std::chrono::milliseconds(pause(random)));
        kill(victim, SIGKILL);
        waitpid(victim, nullptr, 0);
        ++killed;
    }
    shared->stop = true;
    for (pid_t pid : writers) waitpid(pid, nullptr, 0);

    // Survivor records found, per writer; lines that are not whole records.
    static const std::regex survivor(R"(\[[^\]]+\] INFO  \S+ +\S+ +\( *\d+\) - survivor s(\d) i(\d+))");
    const auto wholeVictim = [](const std::string& line) {
        return line.rfind("[", 0) == 0 && line.find(" - victim v") != std::string::npos && line.size() > 2000 &&
               line.compare(line.size() - 2000, 2000, std::string(2000, 'p')) == 0 && line.find('[', 1) == std::string::npos;
    };
    std::set<long> found[kWriters];
    long torn = 0, glued = 0, repeated = 0;
    for (const auto& entry : std::filesystem::directory_iterator(logs)) {
        std::ifstream in(entry.path(), std::ios::binary);
        std::stringstream whole;
        whole << in.rdbuf();
        std::string text = whole.str();
        if (text.rfind("\xEF\xBB\xBF", 0) == 0) text.erase(0, 3);
        std::size_t start = 0;
        while (start < text.size()) {
            std::size_t end = text.find("\r\n", start);
            if (end == std::string::npos) end = text.size();
            const std::string line = text.substr(start, end - start);
            std::smatch m;
            if (line.find("survivor") != std::string::npos && std::regex_match(line, m, survivor)) {
                if (!found[std::stoi(m[1])].insert(std::stol(m[2])).second) ++repeated;
            } else if (!wholeVictim(line)) {
                ++torn;
                if (line.find("[", 1) != std::string::npos && line.find("survivor", 1) != std::string::npos) ++glued;
            }
            start = end + 2;
        }
    }
    long written = 0, lost = 0;
    for (int id = 0; id < kWriters; ++id) {
        const long n = shared->written[id].load();
        written += n;
        lost += n - static_cast<long>(found[id].size());
    }
    std::printf("seconds %d, processes killed %d, survivor records written %ld, lost %ld, repeated %ld, "
                "torn lines %ld (of which glued to a survivor record %ld)\n",
                seconds, killed, written, lost, repeated, torn, glued);
    std::filesystem::remove_all(runtime);
    return lost == 0 && glued == 0 ? 0 : 1;
}
