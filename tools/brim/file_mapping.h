// A file mapped for reading whole, where the platform maps files.
#pragma once

#include <brim/brim.h>

#include <cstddef>
#include <memory>
#include <string>

namespace brimtool {

// A regular file's size bytes mapped read-only; Data() is null where the
// platform does not map or the mapping failed (the caller then reads the
// file).
class FileMapping {
public:
    FileMapping(const CStringW& path, std::size_t size);
    ~FileMapping();
    FileMapping(const FileMapping&) = delete;
    FileMapping& operator=(const FileMapping&) = delete;
    const unsigned char* Data() const { return m_data; }
    // Whether another writer cut the file short while it was mapped: the
    // pages past its new end read as zeros, and what was read is not the file.
    bool Cut() const;

private:
    struct Ahead;   // what maps the pages ahead of the reader, where anything does
    const unsigned char* m_data = nullptr;
    std::size_t m_size = 0;
    int m_guard = -1;   // its place among the mappings the bus-error handler knows
    std::unique_ptr<Ahead> m_ahead;
};

// The bytes a system that takes paths as bytes (POSIX) takes for a path:
// its UTF-8; "" past 8000 units.
std::string NativePath(const CStringW& path);

}  // namespace brimtool
