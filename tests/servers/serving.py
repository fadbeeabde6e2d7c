"""What the test servers share: a threaded TCP server, a hard close, and the
state of the scripted FTP server's paced transfers (read through HTTP)."""

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


class Pacing:
    """held: bytes a STOR delivered; releases: RETR blocks let go; stalls:
    blocks that waited 5 s for their release in vain."""

    def __init__(self):
        self.cond = threading.Condition()
        self.held = self.releases = self.stalls = 0

    def wait(self, check):
        with self.cond:
            return self.cond.wait_for(check, timeout=5)

    def update(self, **changes):
        with self.cond:
            self.__dict__.update(changes)
            self.cond.notify_all()


pacing = Pacing()
