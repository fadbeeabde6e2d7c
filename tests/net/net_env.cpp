#include "tests/net/net_env.h"

#if defined(_WIN32)
#  include <winsock2.h>
#  include <ws2tcpip.h>
#  define BRIM_CLOSE_SOCKET ::closesocket
#else
#  include <arpa/inet.h>
#  include <netinet/in.h>
#  include <sys/socket.h>
#  include <unistd.h>
#  define BRIM_CLOSE_SOCKET ::close
#endif

#include <cstdlib>

namespace brimtest {
namespace {
std::string Env(const char* name) {
    const char* value = std::getenv(name);
    return value == nullptr ? std::string() : std::string(value);
}
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

std::wstring FtpUser() { return Widen(Env("BRIM_FTP_USER")); }
std::wstring FtpPassword() { return Widen(Env("BRIM_FTP_PASSWORD")); }

std::string HttpGet(int port, const std::string& path) {
    const auto s = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<unsigned short>(port));
    address.sin_addr.s_addr = htonl(0x7F000001);
    std::string response = "<no connection>";
    if (::connect(s, reinterpret_cast<sockaddr*>(&address), sizeof(address)) == 0) {
        const std::string request = "GET " + path + " HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\n\r\n";
        ::send(s, request.data(), static_cast<int>(request.size()), 0);
        // Everything up to the server's close; the body follows the blank line.
        response.clear();
        char buffer[4096];
        for (int n; (n = static_cast<int>(::recv(s, buffer, sizeof(buffer), 0))) > 0;) response.append(buffer, n);
        const std::size_t end = response.find("\r\n\r\n");
        if (end != std::string::npos) response.erase(0, end + 4);
    }
    BRIM_CLOSE_SOCKET(s);
    return response;
}

}  // namespace brimtest
