// POSIX only: a TCP socket whose every wait has a time-out. Failures return
// false (or -1) with the last error set to the WinINet code: 12007 for a name
// that does not resolve, 12029 when no connection can be made, 12002 for a
// time-out, 12031 for a connection reset, 12030 for one that broke otherwise.
#pragma once

#include <brim/config.h>

#include <sys/socket.h>

#include <cstddef>
#include <cstdint>
#include <string>

namespace brim::detail {

struct SocketAddress {
    sockaddr_storage storage{};
    socklen_t length = 0;
    int Family() const { return storage.ss_family; }
    std::uint16_t Port() const;
    void SetPort(std::uint16_t port);
    std::string Host() const;   // numeric, without brackets
};

class Socket {
public:
    Socket() = default;
    ~Socket();
    Socket(Socket&& other) noexcept;
    Socket& operator=(Socket&& other) noexcept;
    Socket(const Socket&) = delete;
    Socket& operator=(const Socket&) = delete;

    // Tries each address of host in turn.
    bool Connect(const std::string& host, std::uint16_t port, DWORD timeoutMs);
    bool Connect(const SocketAddress& address, DWORD timeoutMs);
    // Listens on address (its port 0: any free port).
    bool Listen(const SocketAddress& address);
    bool Accept(DWORD timeoutMs, Socket& accepted);

    bool SendAll(const void* data, std::size_t size, DWORD timeoutMs);
    // Bytes received (at least 1), 0 at the end of the stream, -1 on failure.
    long Receive(void* buffer, std::size_t size, DWORD timeoutMs);

    bool LocalAddress(SocketAddress& address) const;
    bool PeerAddress(SocketAddress& address) const;
    // Short exchanges (commands) go out at once; bulk data is left to Nagle,
    // which packs 4096-byte writes into full segments.
    void SetNoDelay();
    void Close();
    bool IsOpen() const { return m_fd >= 0; }

private:
    bool Wait(short events, DWORD timeoutMs);
    int m_fd = -1;
};

}  // namespace brim::detail
