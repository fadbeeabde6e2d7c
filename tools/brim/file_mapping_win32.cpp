#include "tools/brim/file_mapping.h"

namespace brimtool {

// Windows reads the file instead: a view would hold the file open against
// the sharing rules the rest of the tool follows.
struct FileMapping::Ahead {};
FileMapping::FileMapping(const CStringW&, std::size_t) {}
FileMapping::~FileMapping() = default;
bool FileMapping::Cut() const { return false; }

}  // namespace brimtool
