// A CBrimFTP host for tests: records every hook call and may throw from one.
#pragma once

#include <brim/net.h>

#include <string>
#include <vector>

namespace brimtest {

struct BlockCall {
    DWORD bytes;
    int index;
    ULONGLONG total;
    const wchar_t* source;
    const wchar_t* destination;
};

class RecordingFtp : public CBrimFTP {
public:
    void vDownloadProgress(DWORD& bytes, int& index, ULONGLONG& total, const wchar_t* source,
                           const wchar_t* destination) override {
        downloads.push_back({bytes, index, total, source, destination});
        if (throwAtBlock == index) throw std::string("hook stopped the transfer");
    }
    void vUploadProgress(DWORD& bytes, int& index, ULONGLONG& total, const wchar_t* source,
                         const wchar_t* destination) override {
        uploads.push_back({bytes, index, total, source, destination});
        if (throwAtBlock == index) throw std::string("hook stopped the transfer");
    }
    // The throttle returns at once: tests count its calls, not its pauses.
    void vWaitForSpeedBalance() override { ++waits; }

    void Reset() {
        uploads.clear();
        downloads.clear();
        waits = 0;
    }

    std::vector<BlockCall> uploads;
    std::vector<BlockCall> downloads;
    int waits = 0;
    int throwAtBlock = -1;
};

}  // namespace brimtest
