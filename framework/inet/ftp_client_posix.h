// POSIX only: the FTP client behind CFtpConnection. One control connection,
// one transfer at a time; data connections are passive (PASV, or EPSV over
// IPv6) or active (PORT, or EPRT over IPv6). A PASV reply's address is not
// used: the data connection goes to the control connection's peer, which is
// the only host a client should trust to be the server (and the one that
// works behind NAT); in active mode, only a data connection from that
// peer is accepted. Failures set the WinINet code a Windows client gives.
#pragma once

#include "framework/inet/ftp_list.h"
#include "framework/inet/ftp_reply.h"
#include "framework/inet/socket_posix.h"

#include <string>
#include <vector>

namespace brim::detail {

struct FtpTimeouts {
    DWORD connect;
    DWORD send;
    DWORD receive;
    DWORD dataSend;
    DWORD dataReceive;
};

class FtpClient {
public:
    // Connects and logs in.
    bool Open(const std::string& host, std::uint16_t port, const std::string& user, const std::string& password,
              bool passive, const FtpTimeouts& timeouts);
    void Quit();

    bool ChangeDirectory(const std::string& path);
    bool MakeDirectory(const std::string& path);

    // Sends TYPE, opens the data connection and sends command (RETR, STOR,
    // LIST); data is then the open data connection.
    bool StartTransfer(char type, const std::string& command, Socket& data);
    // After the data connection is closed: the transfer's final reply. true
    // when the server reports success.
    bool FinishTransfer();
    // After a failure on the data connection: the transfer's reply is not
    // waited for, and the connection takes no more commands.
    void Abandon();

    // The entries of a listing of path (whole answer read at once).
    bool List(const std::string& path, std::vector<FtpListEntry>& entries);

    bool InTransfer() const { return m_inTransfer; }
    const FtpTimeouts& Timeouts() const { return m_timeouts; }
    // The last reply of the server, as WinINet keeps it for the host.
    const std::string& LastResponse() const { return m_lastResponse; }

private:
    bool Ready();
    bool Send(const std::string& line);
    bool ReadReply(FtpReply& reply);
    bool Command(const std::string& line, FtpReply& reply);
    bool CommandExpecting(const std::string& line, int replyClass);
    bool OpenPassive(Socket& data);
    bool OpenActive(Socket& listener);
    bool AcceptFromServer(Socket& listener, Socket& data);
    bool Fail(DWORD code);

    Socket m_control;
    FtpReplyReader m_reader;
    std::string m_unread;       // bytes received after the last complete reply
    std::string m_lastResponse;
    FtpTimeouts m_timeouts{};
    bool m_passive = true;
    bool m_inTransfer = false;
    bool m_broken = false;      // the control connection is no longer in step
};

}  // namespace brim::detail
