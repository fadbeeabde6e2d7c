#include "framework/inet/socket_posix.h"

#include "framework/inet/inet_errors.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <climits>
#include <cstring>

namespace brim::detail {
namespace {
DWORD ErrnoToInternet(int error) {
    switch (error) {
    case ECONNRESET: case EPIPE: return err::kInternetConnectionReset;
    case ETIMEDOUT: return err::kInternetTimeout;
    default: return err::kInternetConnectionAborted;
    }
}

bool MakeNonBlocking(int fd) {
    const int flags = ::fcntl(fd, F_GETFL, 0);
    return flags >= 0 && ::fcntl(fd, F_SETFL, flags | O_NONBLOCK) == 0;
}

int NewSocket(int family) {
    const int fd = ::socket(family, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return -1;
    if (!MakeNonBlocking(fd)) {
        ::close(fd);
        return -1;
    }
    return fd;
}

int PollTimeout(DWORD timeoutMs) { return timeoutMs > INT_MAX ? -1 : static_cast<int>(timeoutMs); }
}  // namespace

std::uint16_t SocketAddress::Port() const {
    if (Family() == AF_INET6) return ntohs(reinterpret_cast<const sockaddr_in6&>(storage).sin6_port);
    return ntohs(reinterpret_cast<const sockaddr_in&>(storage).sin_port);
}

void SocketAddress::SetPort(std::uint16_t port) {
    if (Family() == AF_INET6) {
        reinterpret_cast<sockaddr_in6&>(storage).sin6_port = htons(port);
    } else {
        reinterpret_cast<sockaddr_in&>(storage).sin_port = htons(port);
    }
}

std::string SocketAddress::Host() const {
    char text[INET6_ADDRSTRLEN] = {};
    if (Family() == AF_INET6) {
        ::inet_ntop(AF_INET6, &reinterpret_cast<const sockaddr_in6&>(storage).sin6_addr, text, sizeof(text));
    } else {
        ::inet_ntop(AF_INET, &reinterpret_cast<const sockaddr_in&>(storage).sin_addr, text, sizeof(text));
    }
    return text;
}

Socket::~Socket() { Close(); }

Socket::Socket(Socket&& other) noexcept : m_fd(other.m_fd) { other.m_fd = -1; }

Socket& Socket::operator=(Socket&& other) noexcept {
    if (this != &other) {
        Close();
        m_fd = other.m_fd;
        other.m_fd = -1;
    }
    return *this;
}

void Socket::Close() {
    if (m_fd >= 0) ::close(m_fd);
    m_fd = -1;
}

bool Socket::Wait(short events, DWORD timeoutMs) {
    pollfd p{m_fd, events, 0};
    for (;;) {
        const int n = ::poll(&p, 1, PollTimeout(timeoutMs));
        if (n > 0) return true;
        if (n == 0) {
            SetLastError(err::kInternetTimeout);
            return false;
        }
        if (errno != EINTR) {
            SetLastError(err::kInternetConnectionAborted);
            return false;
        }
    }
}

bool Socket::Connect(const std::string& host, std::uint16_t port, DWORD timeoutMs) {
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    const std::string service = std::to_string(port);
    if (host.empty() || ::getaddrinfo(host.c_str(), service.c_str(), &hints, &found) != 0 || found == nullptr) {
        SetLastError(err::kInternetNameNotResolved);
        return false;
    }
    DWORD error = err::kInternetCannotConnect;
    for (addrinfo* a = found; a != nullptr; a = a->ai_next) {
        SocketAddress address;
        if (a->ai_addrlen > sizeof(address.storage)) continue;
        std::memcpy(&address.storage, a->ai_addr, a->ai_addrlen);
        address.length = a->ai_addrlen;
        if (Connect(address, timeoutMs)) {
            ::freeaddrinfo(found);
            return true;
        }
        error = GetLastError();
        if (error == err::kInternetTimeout) break;   // the time-out covers the whole attempt
    }
    ::freeaddrinfo(found);
    SetLastError(error);
    return false;
}

bool Socket::Connect(const SocketAddress& address, DWORD timeoutMs) {
    Close();
    m_fd = NewSocket(address.Family());
    if (m_fd < 0) {
        SetLastError(err::kInternetOutOfHandles);
        return false;
    }
    if (::connect(m_fd, reinterpret_cast<const sockaddr*>(&address.storage), address.length) != 0) {
        if (errno != EINPROGRESS) {
            Close();
            SetLastError(err::kInternetCannotConnect);
            return false;
        }
        if (!Wait(POLLOUT, timeoutMs)) {
            Close();
            return false;
        }
        int error = 0;
        socklen_t length = sizeof(error);
        if (::getsockopt(m_fd, SOL_SOCKET, SO_ERROR, &error, &length) != 0 || error != 0) {
            Close();
            SetLastError(error == ETIMEDOUT ? err::kInternetTimeout : err::kInternetCannotConnect);
            return false;
        }
    }
    return true;
}

void Socket::SetNoDelay() {
    const int one = 1;
    if (m_fd >= 0) ::setsockopt(m_fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof(one));
}

bool Socket::Listen(const SocketAddress& address) {
    Close();
    m_fd = NewSocket(address.Family());
    if (m_fd < 0 || ::bind(m_fd, reinterpret_cast<const sockaddr*>(&address.storage), address.length) != 0 ||
        ::listen(m_fd, 1) != 0) {
        Close();
        SetLastError(err::kInternetCannotConnect);
        return false;
    }
    return true;
}

bool Socket::Accept(DWORD timeoutMs, Socket& accepted) {
    if (!Wait(POLLIN, timeoutMs)) return false;
    const int fd = ::accept4(m_fd, nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK);
    if (fd < 0) {
        SetLastError(err::kInternetCannotConnect);
        return false;
    }
    accepted.Close();
    accepted.m_fd = fd;
    return true;
}

bool Socket::SendAll(const void* data, std::size_t size, DWORD timeoutMs) {
    const char* p = static_cast<const char*>(data);
    while (size > 0) {
        const ssize_t n = ::send(m_fd, p, size, MSG_NOSIGNAL);
        if (n > 0) {
            p += n;
            size -= static_cast<std::size_t>(n);
            continue;
        }
        if (n < 0 && errno == EINTR) continue;
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            if (!Wait(POLLOUT, timeoutMs)) return false;
            continue;
        }
        SetLastError(ErrnoToInternet(errno));
        return false;
    }
    return true;
}

long Socket::Receive(void* buffer, std::size_t size, DWORD timeoutMs) {
    for (;;) {
        const ssize_t n = ::recv(m_fd, buffer, size, 0);
        if (n >= 0) return static_cast<long>(n);
        if (errno == EINTR) continue;
        if (errno == EAGAIN || errno == EWOULDBLOCK) {
            if (!Wait(POLLIN, timeoutMs)) return -1;
            continue;
        }
        SetLastError(ErrnoToInternet(errno));
        return -1;
    }
}

bool Socket::LocalAddress(SocketAddress& address) const {
    address.length = sizeof(address.storage);
    return ::getsockname(m_fd, reinterpret_cast<sockaddr*>(&address.storage), &address.length) == 0;
}

bool Socket::PeerAddress(SocketAddress& address) const {
    address.length = sizeof(address.storage);
    return ::getpeername(m_fd, reinterpret_cast<sockaddr*>(&address.storage), &address.length) == 0;
}

}  // namespace brim::detail
