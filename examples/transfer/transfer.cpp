// Downloads a URL into a file at no more than a given rate, printing the
// progress: CBrimHTTP's progress hook counts, its throttle hook paces.
//   transfer HOST PORT URL FILE BYTES_PER_SECOND
#include <brim/brim.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <thread>

class PacedDownload : public CBrimHTTP {
public:
    explicit PacedDownload(double bytesPerSecond) : m_rate(bytesPerSecond) {}

    void vDownloadProgress(DWORD& bytes, int& index, ULONGLONG& total, const wchar_t*, const wchar_t*) override {
        m_done += bytes;
        std::printf("block %d: %llu of %llu bytes\n", index, m_done, static_cast<unsigned long long>(total));
    }

    // Called before every block: sleep while we are ahead of the rate.
    void vWaitForSpeedBalance() override {
        const double due = static_cast<double>(m_done) / m_rate;
        const double spent = std::chrono::duration<double>(std::chrono::steady_clock::now() - m_start).count();
        if (due > spent) std::this_thread::sleep_for(std::chrono::duration<double>(due - spent));
    }

private:
    double m_rate;
    unsigned long long m_done = 0;
    std::chrono::steady_clock::time_point m_start = std::chrono::steady_clock::now();
};

int main(int argc, char** argv) {
    if (argc != 6) {
        std::fprintf(stderr, "usage: transfer HOST PORT URL FILE BYTES_PER_SECOND\n");
        return 2;
    }
    PacedDownload download(std::atof(argv[5]));
    try {
        download.ConnectHttp(CStringW(argv[1]), std::atoi(argv[2]));
        download.Download(CStringW(argv[3]), CStringW(argv[4]), CFile::typeBinary);
    } catch (CBrimException* e) {
        std::fprintf(stderr, "%ls\n", e->GetMessageW().GetString());
        e->Delete();
        return 1;
    }
    return 0;
}
