// One line of an FTP LIST answer, in the Unix "ls -l" form or the DOS form
// that Windows servers give. Lines of neither form are skipped.
#pragma once

#include <cstdint>
#include <string>

namespace brim::detail {

struct FtpListEntry {
    std::string name;   // bytes as the server sent them
    std::uint64_t size = 0;
    bool directory = false;
};

bool ParseFtpListLine(const std::string& line, FtpListEntry& entry);

}  // namespace brim::detail
