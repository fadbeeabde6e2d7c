// Lists the .txt and .log files below a folder, skipping hidden ones, and
// counts the folders on the way: a CBrimFileFind with its two hooks.
#include <brim/brim.h>

#include <cstdio>

class Walker : public CBrimFileFind {
public:
    void vFoundFolder(const wchar_t* path, const wchar_t* /*name*/) override {
        ++folders;
        std::printf("[%ls]\n", path);
    }
    void vFoundFile(const wchar_t* path, const wchar_t* /*name*/, const wchar_t* title) override {
        ++files;
        std::printf("  %ls (title %ls)\n", path, title);
    }
    int folders = 0;
    int files = 0;
};

int main(int argc, char** argv) {
    const CStringW folder = argc > 1 ? CStringW(argv[1]) : CStringW(L".");
    Walker walker;
    walker.FindFoldersFiles(folder, L".txt,.log", 1 /* recursive */, 0 /* skip hidden */);
    std::printf("%d folders, %d files\n", walker.folders, walker.files);
    return 0;
}
