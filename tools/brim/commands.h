// brim's sub-commands. Each returns the process exit code: 0 success,
// 1 failure (the CBrimException text on standard error), 2 usage error.
#pragma once

#include <brim/brim.h>

#include "tools/brim/file_mapping.h"

#include <memory>
#include <vector>

namespace brimtool {

constexpr int kExitOk = 0;
constexpr int kExitFailure = 1;
constexpr int kExitUsage = 2;

using Arguments = std::vector<CStringW>;

struct Command {
    const wchar_t* name;
    int (*run)(const Arguments& args);
    const wchar_t* summary;
    const wchar_t* usage;   // the first line is the synopsis
};

// Prints "brim: <text>" and the command's synopsis to standard error; returns 2.
int UsageError(const Command& command, const CStringW& text);
// Prints "brim: <text>" to standard error; returns 1.
int Failure(const CStringW& text);
// The same for a CBrimException from a text writer (CBrimFile's or the log's)
// that wrote to target: the exception is deleted.
int WriterFailure(const CStringW& target, CBrimException* e);
const Command& CommandNamed(const wchar_t* name);

int CommandError(const Arguments& args);
int CommandTour(const Arguments& args);
int CommandDetect(const Arguments& args);
int CommandCat(const Arguments& args);
int CommandConvert(const Arguments& args);
int CommandHexdump(const Arguments& args);
int CommandLog(const Arguments& args);
int CommandFind(const Arguments& args);
int CommandRmdir(const Arguments& args);
int CommandRename(const Arguments& args);
int CommandRandname(const Arguments& args);
int CommandSort(const Arguments& args);
int CommandReg(const Arguments& args);
int CommandGet(const Arguments& args);
int CommandPost(const Arguments& args);
int CommandFtp(const Arguments& args);
int CommandSysinfo(const Arguments& args);
int CommandVersionInfo(const Arguments& args);
int CommandVersion(const Arguments& args);

// What a path names, as the file finder sees it (wildcards name nothing).

// Whole files as bytes through CFile; false with the system's text in error.
bool ReadAllBytes(const CStringW& path, std::vector<unsigned char>& bytes, CStringW& error);

// A regular file's bytes, mapped where the platform allows, else read into
// memory that is not zero-filled first. Folders, FIFOs and devices are
// refused before any open: a FIFO without a writer would block for ever.
class WholeFile {
public:
    WholeFile() = default;
    ~WholeFile();
    WholeFile(const WholeFile&) = delete;
    WholeFile& operator=(const WholeFile&) = delete;
    // False with "PATH: <why>" in error.
    bool Open(const CStringW& path, CStringW& error);
    const unsigned char* Data() const { return m_mapped != nullptr ? m_mapped->Data() : m_read.get(); }
    std::size_t Size() const { return m_size; }
    // After reading Data(): true, with "PATH: <why>" in error, when another
    // writer cut the file short meanwhile (what was read is not the file).
    bool Cut(CStringW& error) const;

private:
    CStringW m_path;
    std::unique_ptr<FileMapping> m_mapped;
    std::unique_ptr<unsigned char[]> m_read;
    std::size_t m_size = 0;
};

// Whether path can be opened for reading as a regular file; false with
// "PATH: <why>" in error (the Windows text of the cause).
bool CheckReadable(const CStringW& path, CStringW& error);

}  // namespace brimtool
