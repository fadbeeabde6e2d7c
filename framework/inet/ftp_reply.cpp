#include "framework/inet/ftp_reply.h"

namespace brim::detail {
namespace {
// The three digits of a reply line, or 0. The first digit is 1 to 5.
int LineCode(const std::string& line) {
    if (line.size() < 3) return 0;
    for (int i = 0; i < 3; ++i) {
        if (line[i] < '0' || line[i] > '9') return 0;
    }
    if (line[0] < '1' || line[0] > '5') return 0;
    return (line[0] - '0') * 100 + (line[1] - '0') * 10 + (line[2] - '0');
}
}  // namespace

FtpReplyReader::Status FtpReplyReader::Feed(const char* data, std::size_t size, std::size_t& consumed,
                                            FtpReply& reply) {
    consumed = 0;
    if (m_failed) return Status::Malformed;
    while (consumed < size) {
        const char c = data[consumed++];
        if (c == '\n') {
            // Servers that end lines with a bare LF are tolerated.
            if (!m_line.empty() && m_line.back() == '\r') m_line.pop_back();
            const Status status = EndOfLine(reply);
            if (status != Status::NeedMore) return status;
            continue;
        }
        if (m_line.size() >= kMaxLine) {
            m_failed = true;
            return Status::TooLong;
        }
        m_line.push_back(c);
    }
    return Status::NeedMore;
}

FtpReplyReader::Status FtpReplyReader::EndOfLine(FtpReply& reply) {
    const std::string line = std::move(m_line);
    m_line.clear();
    if (m_text.size() + line.size() + 2 > kMaxReply) {
        m_failed = true;
        return Status::TooLong;
    }
    const int code = LineCode(line);
    if (m_code == 0) {
        // The first line must carry a code and then a space, a hyphen or nothing.
        if (code == 0 || (line.size() > 3 && line[3] != ' ' && line[3] != '-')) {
            m_failed = true;
            return Status::Malformed;
        }
        m_text = line + "\r\n";
        if (line.size() > 3 && line[3] == '-') {
            m_code = code;
            return Status::NeedMore;
        }
        reply.code = code;
    } else {
        // Inside a multi-line reply any line may appear; "ddd " with the
        // first line's code ends it.
        m_text += line + "\r\n";
        if (code != m_code || (line.size() > 3 && line[3] != ' ')) return Status::NeedMore;
        reply.code = m_code;
        m_code = 0;
    }
    reply.text = std::move(m_text);
    m_text.clear();
    return Status::Complete;
}

}  // namespace brim::detail
