// FTP control-connection replies (RFC 959 section 4.2): "ddd text" on one
// line, or "ddd-" first line ... "ddd " last line. Fed with bytes as they
// arrive; bounded, so a server cannot make the reader grow without limit.
#pragma once

#include <cstddef>
#include <string>

namespace brim::detail {

struct FtpReply {
    int code = 0;        // 100..599
    std::string text;    // every line of the reply, each ended by CR LF
};

class FtpReplyReader {
public:
    static constexpr std::size_t kMaxLine = 8192;
    static constexpr std::size_t kMaxReply = 65536;

    enum class Status { NeedMore, Complete, Malformed, TooLong };

    // Takes up to size bytes; consumed tells how many were used (the rest
    // belongs to what follows the reply). Complete fills reply and makes the
    // reader ready for the next one; Malformed and TooLong are final.
    Status Feed(const char* data, std::size_t size, std::size_t& consumed, FtpReply& reply);

private:
    Status EndOfLine(FtpReply& reply);

    std::string m_line;
    std::string m_text;
    int m_code = 0;            // of the first line, while a multi-line reply is open
    bool m_failed = false;
};

}  // namespace brim::detail
