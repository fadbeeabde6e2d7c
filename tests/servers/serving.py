"""What the test servers share: a threaded TCP server and a hard close."""

import socket
import socketserver
import struct
import threading


class ThreadingServer(socketserver.ThreadingTCPServer):
    daemon_threads = True
    allow_reuse_address = True


def serve(handler):
    """Starts handler on a free loopback port; returns the port."""
    server = ThreadingServer(("127.0.0.1", 0), handler)
    threading.Thread(target=server.serve_forever, daemon=True).start()
    return server.server_address[1]


def reset(sock):
    """Closes sock with an RST instead of a FIN."""
    sock.setsockopt(socket.SOL_SOCKET, socket.SO_LINGER, struct.pack("ii", 1, 0))
    sock.close()
