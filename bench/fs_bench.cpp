// The folder walk against find(1) and std::filesystem, folder deletion
// against rm -rf (each deletion gets a freshly generated tree, so that part
// is slow to run), and releasing a tree of a million nodes with its peak
// memory. Peers run in the same process on the same kind of tree; the
// closing lines give the ratios of the medians.
#include <brim/brim.h>

#include <benchmark/benchmark.h>

#include <fcntl.h>
#include <sys/resource.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <string>

namespace {

namespace fs = std::filesystem;

// 40 folders of 25 folders of 199 files, half .txt and half .log: 200 040
// entries.
constexpr int kTop = 40, kSub = 25, kFiles = 199;

// Built by appending: GCC 12 warns falsely on literal + temporary string.
std::string Named(const char* stem, long n) {
    std::string name(stem);
    name += std::to_string(n);
    return name;
}

void MakeTree(const fs::path& root) {
    fs::create_directories(root);
    for (int t = 0; t < kTop; ++t) {
        const fs::path top = root / Named("d", t);
        fs::create_directory(top);
        for (int s = 0; s < kSub; ++s) {
            const fs::path sub = top / Named("s", s);
            fs::create_directory(sub);
            for (int f = 0; f < kFiles; ++f) {
                std::string name = sub.string();
                name.append("/file").append(std::to_string(f)).append(f % 2 ? ".txt" : ".log");
                const int fd = open(name.c_str(), O_CREAT | O_WRONLY | O_CLOEXEC, 0644);
                if (fd >= 0) close(fd);
            }
        }
    }
}

const fs::path& WalkTree() {
    static const fs::path root = [] {
        const fs::path p = fs::temp_directory_path() / Named("brimbench-walk-", getpid());
        MakeTree(p);
        return p;
    }();
    return root;
}

fs::path FreshTree() {
    static int n = 0;
    const fs::path p = fs::temp_directory_path() / (Named("brimbench-del-", getpid()) + Named("-", n++));
    MakeTree(p);
    return p;
}

struct Counter : CBrimFileFind {
    void vFoundFolder(const wchar_t*, const wchar_t*) override { ++folders; }
    void vFoundFile(const wchar_t*, const wchar_t*, const wchar_t*) override { ++files; }
    long folders = 0, files = 0;
};

void BM_FindFoldersFiles(benchmark::State& state) {
    const CStringW root(WalkTree().wstring().c_str());
    long files = 0;
    for (auto _ : state) {
        Counter counter;
        counter.FindFoldersFiles(root, L".txt", 1, 0);
        files = counter.files;
    }
    state.counters["files"] = static_cast<double>(files);
}

void BM_find(benchmark::State& state) {
    const std::string command = "find '" + WalkTree().string() + "' -name '*.txt' > /dev/null";
    for (auto _ : state)
        if (std::system(command.c_str()) != 0) state.SkipWithError("find failed");
}

void BM_recursive_directory_iterator(benchmark::State& state) {
    long files = 0;
    for (auto _ : state) {
        files = 0;
        for (const fs::directory_entry& e : fs::recursive_directory_iterator(WalkTree())) {
            const std::string name = e.path().filename().string();
            if (!e.is_directory() && name.size() >= 4 && name.compare(name.size() - 4, 4, ".txt") == 0) ++files;
        }
    }
    state.counters["files"] = static_cast<double>(files);
}

void BM_DeleteDirectory(benchmark::State& state) {
    for (auto _ : state) {
        state.PauseTiming();
        const fs::path tree = FreshTree();
        const CStringW name(tree.wstring().c_str());
        state.ResumeTiming();
        if (CBrimFileOperation::DeleteDirectory(name) == 0) state.SkipWithError("DeleteDirectory failed");
    }
}

void BM_rm_rf(benchmark::State& state) {
    for (auto _ : state) {
        state.PauseTiming();
        const std::string command = "rm -rf '" + FreshTree().string() + "'";
        state.ResumeTiming();
        if (std::system(command.c_str()) != 0) state.SkipWithError("rm failed");
    }
}

struct Node : CBrimNode {};
struct Tree : CBrimTree {
    CBrimNode* vCreateNode() override { return new Node; }
    void vDeleteNode(CBrimNode* node) override { delete node; }
};

long PeakRssKb() {
    struct rusage usage = {};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

void BM_RemoveAll_1M(benchmark::State& state) {
    long peakBefore = 0, peakAfter = 0;
    for (auto _ : state) {
        state.PauseTiming();
        Tree tree;
        Node data;
        for (int i = 0; i < 1000000; ++i) (i % 2 ? tree.vInsertLeft(&data) : tree.vInsertRight(&data));
        peakBefore = PeakRssKb();
        state.ResumeTiming();
        tree.RemoveAll();
        state.PauseTiming();
        peakAfter = PeakRssKb();
        state.ResumeTiming();
    }
    state.counters["peak_rss_MiB"] = static_cast<double>(peakAfter) / 1024.0;
    state.counters["peak_growth_KiB"] = static_cast<double>(peakAfter - peakBefore);
}

// Keeps the median real time of every benchmark for the closing ratios.
class MedianReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override {
        ConsoleReporter::ReportRuns(runs);
        for (const Run& run : runs)
            if (run.run_type == Run::RT_Aggregate && run.aggregate_name == "median")
                medians[run.run_name.function_name] = run.GetAdjustedRealTime();
    }
    std::map<std::string, double> medians;
};

void PrintRatio(const MedianReporter& r, const char* ours, const char* peer) {
    const auto a = r.medians.find(ours), b = r.medians.find(peer);
    if (a == r.medians.end() || b == r.medians.end() || b->second == 0) return;
    std::printf("%s / %s = %.2f (median time; below 1 means faster than the peer)\n", ours, peer, a->second / b->second);
}

}  // namespace

BENCHMARK(BM_FindFoldersFiles)->Unit(benchmark::kMillisecond)->UseRealTime()->Repetitions(7)->Iterations(3);
BENCHMARK(BM_find)->Unit(benchmark::kMillisecond)->UseRealTime()->Repetitions(7)->Iterations(3);
BENCHMARK(BM_recursive_directory_iterator)->Unit(benchmark::kMillisecond)->UseRealTime()->Repetitions(7)->Iterations(3);
BENCHMARK(BM_DeleteDirectory)->Unit(benchmark::kMillisecond)->UseRealTime()->Repetitions(3)->Iterations(1);
BENCHMARK(BM_rm_rf)->Unit(benchmark::kMillisecond)->UseRealTime()->Repetitions(3)->Iterations(1);
BENCHMARK(BM_RemoveAll_1M)->Unit(benchmark::kMillisecond)->UseRealTime()->Repetitions(5)->Iterations(1);

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    // Warm the cache before the first timed walk.
    for (const auto& e : fs::recursive_directory_iterator(WalkTree())) benchmark::DoNotOptimize(e);
    MedianReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    PrintRatio(reporter, "BM_FindFoldersFiles", "BM_find");
    PrintRatio(reporter, "BM_FindFoldersFiles", "BM_recursive_directory_iterator");
    PrintRatio(reporter, "BM_DeleteDirectory", "BM_rm_rf");
    std::error_code ec;
    fs::remove_all(WalkTree(), ec);
    benchmark::Shutdown();
    return 0;
}
