#include "tests/net/net_env.h"

#if defined(_WIN32)
#  include <winsock2.h>
#  include <ws2tcpip.h>
#else
#  include <arpa/inet.h>
#  include <netinet/in.h>
#  include <sys/socket.h>
#  include <unistd.h>
#endif

#include <cstdlib>

namespace brimtest {
namespace {
std::string Env(const char* name) {
    const char* value = std::getenv(name);
    return value == nullptr ? std::string() : std::string(value);
}

#if defined(_WIN32)
using SocketHandle = SOCKET;
void CloseSocket(SocketHandle s) { ::closesocket(s); }
#else
using SocketHandle = int;
void CloseSocket(SocketHandle s) { ::close(s); }
#endif
}  // namespace

int ServerPort(const char* variable) { return std::atoi(Env(variable).c_str()); }

std::string MissingServerReason(const char* variable) {
    const std::string missing = Env("BRIM_SERVERS_MISSING");
    if (!missing.empty()) return "test server missing: " + missing;
    return std::string("no test server (") + variable +
           " unset): run the test through ctest, which starts tests/servers/run_with_servers.py";
}

bool InCi() { return Env("CI") == "true"; }

std::filesystem::path FtpRoot() {
    std::string root = Env("BRIM_FTP_ROOT");
#if defined(_WIN32)
    // Wine shows the Unix root as drive Z:.
    if (!root.empty() && root[0] == '/') root = "Z:" + root;
#endif
    return std::filesystem::path(root);
}

std::wstring Widen(const std::string& ascii) { return std::wstring(ascii.begin(), ascii.end()); }

std::wstring FtpUser() { return Widen(Env("BRIM_FTP_USER")); }
std::wstring FtpPassword() { return Widen(Env("BRIM_FTP_PASSWORD")); }

CStringW CodeMessage(unsigned long code) { return CBrimException(code).GetMessageW(); }

namespace {
SocketHandle ConnectLoopback(int port) {
    SocketHandle s = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<unsigned short>(port));
    address.sin_addr.s_addr = htonl(0x7F000001);
    if (::connect(s, reinterpret_cast<sockaddr*>(&address), sizeof(address)) != 0) {
        CloseSocket(s);
        return static_cast<SocketHandle>(-1);
    }
    return s;
}
}  // namespace

LineChannel::LineChannel(int port) : m_socket(static_cast<std::intptr_t>(ConnectLoopback(port))) {}

LineChannel::~LineChannel() {
    if (m_socket != -1) CloseSocket(static_cast<SocketHandle>(m_socket));
}

std::string LineChannel::Ask(const std::string& line) {
    if (m_socket == -1) return "<no answer>";
    const auto s = static_cast<SocketHandle>(m_socket);
    const std::string request = line + "\n";
    ::send(s, request.data(), static_cast<int>(request.size()), 0);
    for (;;) {
        const std::size_t end = m_unread.find('\n');
        if (end != std::string::npos) {
            std::string answer = m_unread.substr(0, end);
            m_unread.erase(0, end + 1);
            return answer;
        }
        if (!Receive()) return "<no answer>";
    }
}

bool LineChannel::Receive() {
    char buffer[4096];
    const int n = static_cast<int>(::recv(static_cast<SocketHandle>(m_socket), buffer, sizeof(buffer), 0));
    if (n > 0) m_unread.append(buffer, static_cast<std::size_t>(n));
    return n > 0;
}

std::string HttpGetBody(int port, const std::string& path) {
    LineChannel channel(port);
    if (channel.m_socket == -1) return "<no connection>";
    const std::string request = "GET " + path + " HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\n\r\n";
    ::send(static_cast<SocketHandle>(channel.m_socket), request.data(), static_cast<int>(request.size()), 0);
    // Everything up to the server's close; the body follows the blank line.
    while (channel.Receive()) {
    }
    const std::size_t end = channel.m_unread.find("\r\n\r\n");
    return end == std::string::npos ? channel.m_unread : channel.m_unread.substr(end + 4);
}

}  // namespace brimtest
