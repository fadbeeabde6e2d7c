#include "framework/inet/ftp_client_posix.h"

#include "framework/inet/inet_errors.h"

#include <sys/socket.h>

#include <algorithm>
#include <chrono>
#include <cstring>

namespace brim::detail {
namespace {
constexpr std::size_t kMaxListing = 16u << 20;   // a listing larger than this is refused
constexpr DWORD kQuitWaitMs = 2000;

// The numbers in "227 Entering Passive Mode (h1,h2,h3,h4,p1,p2)"; only the
// port is used.
bool ParsePasvPort(const std::string& text, std::uint16_t& port) {
    int values[6];
    int count = 0;
    std::size_t i = text.find('(');
    i = i == std::string::npos ? 4 : i + 1;
    while (i < text.size() && count < 6) {
        if (text[i] < '0' || text[i] > '9') {
            ++i;
            continue;
        }
        int v = 0;
        while (i < text.size() && text[i] >= '0' && text[i] <= '9' && v <= 255) v = v * 10 + (text[i++] - '0');
        if (v > 255) return false;
        values[count++] = v;
    }
    if (count != 6) return false;
    port = static_cast<std::uint16_t>(values[4] * 256 + values[5]);
    return port != 0;
}

// "229 Entering Extended Passive Mode (|||port|)" with any delimiter.
bool ParseEpsvPort(const std::string& text, std::uint16_t& port) {
    const std::size_t open = text.find('(');
    if (open == std::string::npos || open + 4 >= text.size()) return false;
    const char d = text[open + 1];
    if (text[open + 2] != d || text[open + 3] != d) return false;
    unsigned long v = 0;
    std::size_t i = open + 4;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9' && v <= 65535; ++i) v = v * 10 + (text[i] - '0');
    if (i >= text.size() || text[i] != d || v == 0 || v > 65535) return false;
    port = static_cast<std::uint16_t>(v);
    return true;
}
}  // namespace

bool FtpClient::Fail(DWORD code) {
    SetLastError(code);
    return false;
}

bool FtpClient::Open(const std::string& host, std::uint16_t port, const std::string& user,
                     const std::string& password, bool passive, const FtpTimeouts& timeouts) {
    m_timeouts = timeouts;
    m_passive = passive;
    if (!m_control.Connect(host, port, timeouts.connect)) return false;
    m_control.SetNoDelay();
    FtpReply reply;
    do {
        if (!ReadReply(reply)) return false;
    } while (reply.code < 200);
    if (reply.code != 220) return Fail(err::kInternetCannotConnect);
    if (!Command("USER " + user, reply)) return false;
    if (reply.code == 331 || reply.code == 332) {
        if (!Command("PASS " + password, reply)) return false;
    }
    if (reply.code / 100 != 2) return Fail(err::kInternetLoginFailure);
    return true;
}

void FtpClient::Quit() {
    if (m_control.IsOpen() && !m_broken && !m_inTransfer) {
        // A polite goodbye, but never a long wait for it.
        const DWORD saved = m_timeouts.receive;
        m_timeouts.receive = std::min(saved, kQuitWaitMs);
        FtpReply reply;
        const DWORD error = GetLastError();
        Command("QUIT", reply);
        SetLastError(error);
        m_timeouts.receive = saved;
    }
    m_control.Close();
}

bool FtpClient::Ready() {
    if (m_inTransfer) return Fail(err::kFtpTransferInProgress);
    if (m_broken || !m_control.IsOpen()) return Fail(err::kInternetConnectionAborted);
    return true;
}

bool FtpClient::Send(const std::string& line) {
    // A name with a line break would smuggle in a second command.
    if (line.find_first_of("\r\n") != std::string::npos) return Fail(err::kInternetExtendedError);
    const std::string wire = line + "\r\n";
    if (!m_control.SendAll(wire.data(), wire.size(), m_timeouts.send)) {
        m_broken = true;
        return false;
    }
    return true;
}

bool FtpClient::ReadReply(FtpReply& reply) {
    char buffer[4096];
    for (;;) {
        if (!m_unread.empty()) {
            std::size_t used = 0;
            const auto status = m_reader.Feed(m_unread.data(), m_unread.size(), used, reply);
            m_unread.erase(0, used);
            if (status == FtpReplyReader::Status::Complete) {
                m_lastResponse = reply.text;
                return true;
            }
            if (status != FtpReplyReader::Status::NeedMore) {
                // Not an FTP server, or one that talks without end.
                m_broken = true;
                return Fail(err::kInternetExtendedError);
            }
        }
        const long n = m_control.Receive(buffer, sizeof(buffer), m_timeouts.receive);
        if (n <= 0) {
            m_broken = true;
            return n == 0 ? Fail(err::kInternetConnectionAborted) : false;
        }
        m_unread.append(buffer, static_cast<std::size_t>(n));
    }
}

bool FtpClient::Command(const std::string& line, FtpReply& reply) { return Send(line) && ReadReply(reply); }

bool FtpClient::CommandExpecting(const std::string& line, int replyClass) {
    FtpReply reply;
    if (!Ready() || !Command(line, reply)) return false;
    return reply.code / 100 == replyClass ? true : Fail(err::kInternetExtendedError);
}

bool FtpClient::ChangeDirectory(const std::string& path) { return CommandExpecting("CWD " + path, 2); }

bool FtpClient::MakeDirectory(const std::string& path) { return CommandExpecting("MKD " + path, 2); }

bool FtpClient::OpenPassive(Socket& data) {
    SocketAddress peer;
    if (!m_control.PeerAddress(peer)) return Fail(err::kInternetConnectionAborted);
    const bool v6 = peer.Family() == AF_INET6;
    FtpReply reply;
    if (!Command(v6 ? "EPSV" : "PASV", reply)) return false;
    std::uint16_t port = 0;
    const bool parsed = v6 ? (reply.code == 229 && ParseEpsvPort(reply.text, port))
                           : (reply.code == 227 && ParsePasvPort(reply.text, port));
    if (!parsed) return Fail(err::kInternetExtendedError);
    peer.SetPort(port);
    return data.Connect(peer, m_timeouts.connect);
}

bool FtpClient::OpenActive(Socket& listener) {
    SocketAddress local;
    if (!m_control.LocalAddress(local)) return Fail(err::kInternetConnectionAborted);
    local.SetPort(0);
    if (!listener.Listen(local) || !listener.LocalAddress(local)) return false;
    const unsigned port = local.Port();
    std::string command;
    if (local.Family() == AF_INET6) {
        command = "EPRT |2|" + local.Host() + "|" + std::to_string(port) + "|";
    } else {
        std::string host = local.Host();
        std::replace(host.begin(), host.end(), '.', ',');
        command = "PORT " + host + "," + std::to_string(port / 256) + "," + std::to_string(port % 256);
    }
    FtpReply reply;
    if (!Command(command, reply)) return false;
    return reply.code / 100 == 2 ? true : Fail(err::kInternetExtendedError);
}

bool FtpClient::StartTransfer(char type, const std::string& command, Socket& data) {
    if (!CommandExpecting(std::string("TYPE ") + type, 2)) return false;
    Socket listener;
    if (!(m_passive ? OpenPassive(data) : OpenActive(listener))) return false;
    FtpReply reply;
    if (!Command(command, reply)) return false;
    if (reply.code / 100 != 1) {
        data.Close();
        return Fail(err::kInternetExtendedError);
    }
    m_inTransfer = true;
    if (!m_passive && !AcceptFromServer(listener, data)) {
        m_broken = true;
        return false;
    }
    return true;
}

// Anyone who can reach the listening port may connect to it; only the
// server's own address is taken for the data connection. Others are shut
// out and the wait goes on, within the one time-out for the whole wait.
bool FtpClient::AcceptFromServer(Socket& listener, Socket& data) {
    SocketAddress server;
    if (!m_control.PeerAddress(server)) return Fail(err::kInternetConnectionAborted);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(m_timeouts.connect);
    for (;;) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) return Fail(err::kInternetTimeout);
        if (!listener.Accept(static_cast<DWORD>(left.count()), data)) return false;
        SocketAddress from;
        if (data.PeerAddress(from) && from.Host() == server.Host()) return true;
        data.Close();
    }
}

void FtpClient::Abandon() {
    m_inTransfer = false;
    m_broken = true;
}

bool FtpClient::FinishTransfer() {
    m_inTransfer = false;
    if (m_broken) return Fail(err::kInternetConnectionAborted);
    FtpReply reply;
    if (!ReadReply(reply)) return false;
    return reply.code / 100 == 2 ? true : Fail(err::kInternetExtendedError);
}

bool FtpClient::List(const std::string& path, std::vector<FtpListEntry>& entries) {
    Socket data;
    if (!StartTransfer('A', path.empty() ? "LIST" : "LIST " + path, data)) return false;
    std::string listing;
    char buffer[8192];
    for (;;) {
        const long n = data.Receive(buffer, sizeof(buffer), m_timeouts.dataReceive);
        if (n == 0) break;
        if (n < 0 || listing.size() + static_cast<std::size_t>(n) > kMaxListing) {
            const DWORD error = n < 0 ? GetLastError() : err::kInternetExtendedError;
            data.Close();
            m_inTransfer = false;
            m_broken = true;
            return Fail(error);
        }
        listing.append(buffer, static_cast<std::size_t>(n));
    }
    data.Close();
    if (!FinishTransfer()) return false;
    std::size_t start = 0;
    while (start < listing.size()) {
        std::size_t end = listing.find('\n', start);
        if (end == std::string::npos) end = listing.size();
        std::string line = listing.substr(start, end - start);
        if (!line.empty() && line.back() == '\r') line.pop_back();
        FtpListEntry entry;
        if (ParseFtpListLine(line, entry)) entries.push_back(std::move(entry));
        start = end + 1;
    }
    return true;
}

}  // namespace brim::detail
