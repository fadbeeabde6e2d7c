// FTP control replies and LIST lines from a hostile server: the reader must
// stay within its bounds, never over-read, and keep its verdicts final.

#include "framework/inet/ftp_list.h"
#include "framework/inet/ftp_reply.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using brim::detail::FtpReplyReader;
    const char* bytes = reinterpret_cast<const char*>(data);

    // Fed in pieces whose sizes come from the input itself.
    FtpReplyReader reader;
    std::size_t at = 0;
    while (at < size) {
        const std::size_t piece = 1 + (static_cast<unsigned char>(bytes[at]) % 64);
        const std::size_t n = piece < size - at ? piece : size - at;
        std::size_t consumed = 0;
        brim::detail::FtpReply reply;
        std::size_t offset = 0;
        while (offset < n) {
            const auto status = reader.Feed(bytes + at + offset, n - offset, consumed, reply);
            if (consumed > n - offset) std::abort();
            offset += consumed;
            if (status == FtpReplyReader::Status::Complete) {
                if (reply.code < 100 || reply.code > 599) std::abort();
                if (reply.text.size() > FtpReplyReader::kMaxReply) std::abort();
                continue;
            }
            if (status != FtpReplyReader::Status::NeedMore) {
                // A failed reader refuses everything after.
                if (reader.Feed("200 ok\r\n", 8, consumed, reply) == FtpReplyReader::Status::Complete) std::abort();
                return 0;
            }
            if (consumed == 0) break;
        }
        at += n;
    }

    brim::detail::FtpListEntry entry;
    const std::string line(bytes, size);
    if (brim::detail::ParseFtpListLine(line, entry) && entry.name.size() > line.size()) std::abort();
    return 0;
}
