"""The network tests' servers on loopback: pyftpdlib, and scripted FTP (by user) and HTTP (by path) servers."""

import socket
import socketserver
import struct
import threading
import time

USER = "brim"
PASSWORD = "secret"


def serve(handler):
    """Starts handler on a free loopback port; returns the port."""
    server = socketserver.ThreadingTCPServer(("127.0.0.1", 0), handler)
    server.daemon_threads = True
    threading.Thread(target=server.serve_forever, daemon=True).start()
    return server.server_address[1]


def reset(sock):
    """Closes sock with an RST instead of a FIN."""
    sock.setsockopt(socket.SOL_SOCKET, socket.SO_LINGER, struct.pack("ii", 1, 0))
    sock.close()


_pace = {"held": 0, "releases": 0, "stalls": 0}   # bytes a STOR delivered, RETR blocks let go, vain waits
_pace_changed = threading.Condition()


def pace(until=None, **changes):
    """Applies changes, then waits up to 5 s for until(counts); whether it came true."""
    with _pace_changed:
        _pace.update(changes)
        _pace_changed.notify_all()
        return until is None or _pace_changed.wait_for(lambda: until(_pace), timeout=5)


def start_pyftpdlib(root):
    from pyftpdlib.authorizers import DummyAuthorizer
    from pyftpdlib.handlers import FTPHandler
    from pyftpdlib.ioloop import IOLoop
    from pyftpdlib.servers import FTPServer
    import logging

    logging.getLogger("pyftpdlib").setLevel(logging.WARNING)   # not every command
    logging.basicConfig(level=logging.WARNING)
    authorizer = DummyAuthorizer()
    authorizer.add_user(USER, PASSWORD, root, perm="elradfmwMT")
    # Failed logins answer at once.
    Handler = type("Handler", (FTPHandler,), {"authorizer": authorizer, "auth_failed_timeout": 0})
    masq = type("Masquerade", (Handler,), {"masquerade_address": "127.0.0.2"})
    ioloop = IOLoop()
    plain = FTPServer(("127.0.0.1", 0), Handler, ioloop=ioloop)
    other = FTPServer(("127.0.0.1", 0), masq, ioloop=ioloop)
    threading.Thread(target=lambda: plain.serve_forever(handle_exit=False), daemon=True).start()
    return plain.address[1], other.address[1]


# The scripted FTP server's users choose its misbehaviour: the replies below, and in retr, stor, data_connection.
_LISTINGS = {"multiline": b"lrwxrwxrwx   1 owner group   5 Jan 01 12:00 m.txt -> elsewhere",
             "intruder": b"-rw-r--r--   1 owner group   5 Jan 01 12:00 m.txt",
             "trickle": b"-rw-r--r--   1 owner group   10000 Jan 01 12:00 m.txt",
             "paced": b"-rw-r--r--   1 owner group   20000 Jan 01 12:00 paced.bin",
             "cutretr": b"-rw-r--r--   1 owner group   102400 Jan 01 12:00 big.bin"}
_LISTINGS["abortretr"] = _LISTINGS["cutretr"]
_REPLIES = {"PASS": "230-Welcome\r\n230 Logged in", "TYPE": "200 OK", "CWD": "250 OK", "PWD": '257 "/"'}
_USER_REPLIES = {"longreply": "331 " + "x" * 20000, "garbage": "hello, this is not ftp",
                 "multiline": "331-Password required\r\n 331 this line does not end it\r\n331 send it"}


class ScriptedFtpHandler(socketserver.StreamRequestHandler):
    def send(self, text):
        self.wfile.write((text + "\r\n").encode("latin-1"))
        self.wfile.flush()

    def data_connection(self):
        if self.passive is not None:
            conn, _ = self.passive.accept()
            self.passive.close()
            self.passive = None
            return conn
        if self.user == "intruder":
            intruder = socket.create_connection(self.active, source_address=("127.0.0.2", 0))
            intruder.sendall(b"intruder's bytes")
            time.sleep(0.3)
            conn = socket.create_connection(self.active)
            intruder.close()
            return conn
        return socket.create_connection(self.active)

    def handle(self):
        try:
            self.converse()
        except OSError:
            pass   # clients that give up mid-way are part of the tests

    def retr(self, conn):
        user = self.user
        if user == "paced":
            data = _pattern(20000)
            for block, start in enumerate(range(0, len(data), 4096)):
                if block > 0 and not pace(lambda counts: counts["releases"] >= block):
                    pace(stalls=_pace["stalls"] + 1)
                conn.sendall(data[start:start + 4096])
        elif user == "trickle":
            for _ in range(10):
                conn.sendall(bytes(1000))
                time.sleep(0.01)
        elif user == "dropretr":
            conn.sendall(bytes(10000))
            return self.drop(conn)
        else:
            conn.sendall(bytes(50000) if user in ("cutretr", "abortretr") else b"hello")
        conn.close()
        self.send("426 Transfer aborted" if user == "abortretr" else "226 Done")
        return True

    def drop(self, conn):
        reset(conn)
        reset(self.connection)
        return False

    def stor(self, conn):
        if self.user == "dropstor":
            conn.recv(100)
            return self.drop(conn)
        for chunk in iter(lambda: conn.recv(65536), b""):
            if self.user == "paced":
                pace(held=_pace["held"] + len(chunk))
        conn.close()
        self.send("452 Insufficient storage" if self.user == "refusestor" else "226 Done")
        return True

    def converse(self):
        self.user, self.passive, self.active = "", None, None
        self.send("220 scripted server")
        for raw in self.rfile:
            verb, _, arg = raw.decode("latin-1").rstrip("\r\n").partition(" ")
            verb = verb.upper()
            if verb == "USER":
                self.user = arg
                if arg == "silent":
                    self.rfile.read()   # until the client gives up
                    return
                self.send(_USER_REPLIES.get(arg, "331 Password required"))
            elif verb in _REPLIES:
                self.send(_REPLIES[verb])
            elif verb == "PASV":
                self.passive = socket.create_server(("127.0.0.1", 0))
                port = self.passive.getsockname()[1]
                self.send("227 Entering Passive Mode (127,0,0,1,%d,%d)" % (port // 256, port % 256))
            elif verb == "PORT":
                parts = [int(p) for p in arg.split(",")]
                self.active = ("%d.%d.%d.%d" % tuple(parts[:4]), parts[4] * 256 + parts[5])
                self.send("200 PORT OK")
            elif verb in ("LIST", "NLST", "RETR", "STOR"):
                self.send("150 Opening data connection")
                conn = self.data_connection()
                if verb in ("LIST", "NLST"):
                    if self.user in _LISTINGS:
                        conn.sendall(_LISTINGS[self.user] + b"\r\n")
                    conn.close()
                    self.send("226 Done")
                    continue
                if self.user == "paced":
                    pace(held=0, releases=0)
                if not (self.retr if verb == "RETR" else self.stor)(conn):
                    return
            elif verb == "QUIT":
                self.send("221 Bye")
                return
            else:
                self.send("502 Not implemented")


# The HTTP server's answer follows the path's first part; /__record/PATH gives the last request for PATH.
_records = {}
_lock = threading.Lock()


def _pattern(n):
    return (bytes(range(251)) * (n // 251 + 1))[:n]


class HttpHandler(socketserver.StreamRequestHandler):
    def respond(self, status, body, headers=(), length=True):
        reason = {200: "OK", 404: "Not Found"}.get(status, "Status")
        head = ["HTTP/1.1 %d %s" % (status, reason), "Server: brim-test", "Content-Type: text/plain"]
        head += list(headers) + (["Content-Length: %d" % len(body)] if length else [])
        self.request.sendall(("\r\n".join(head) + "\r\n\r\n").encode("latin-1") + body)

    def handle(self):
        while True:
            lines = [self.rfile.readline()]
            while lines[-1] not in (b"\r\n", b""):
                lines.append(self.rfile.readline())
            if lines[-1] == b"":
                return
            heads = [line.lower().replace(b" ", b"") for line in lines]
            length = next((int(h[15:]) for h in heads if h.startswith(b"content-length:")), 0)
            raw = b"".join(lines) + self.rfile.read(length)
            path = lines[0].split(b" ")[1].decode("latin-1")
            if not path.startswith("/__record/"):
                with _lock:
                    _records[path] = raw
            if not self.answer(path) or b"connection:close\r\n" in heads:
                return

    def answer(self, path):
        parts = path.split("/")[1:]
        kind = parts[0]
        number = int(parts[1]) if len(parts) > 1 and parts[1].isdigit() else 0
        data = _pattern(number)
        if kind == "__record":
            with _lock:
                self.respond(200, _records.get(path[len("/__record"):], b""))
        elif kind == "pace":
            if parts[1] == "held":
                pace(lambda counts: counts["held"] >= int(parts[2]))
            elif parts[1] == "next":
                pace(releases=_pace["releases"] + 1)
            self.respond(200, b"%d" % _pace["stalls" if parts[1] == "stalls" else "held"])
        elif kind == "status":
            self.respond(number, b"page %d\n" % number)
        elif kind == "bytes":
            self.respond(200, data)
        elif kind == "nolen":
            self.respond(200, b"", ["Connection: close"], length=False)
            self.request.sendall(data)
            return False
        elif kind == "chunked":
            self.respond(200, b"", ["Transfer-Encoding: chunked"], length=False)
            for i in range(0, number, 1000):
                self.request.sendall(b"%x\r\n%s\r\n" % (len(data[i:i + 1000]), data[i:i + 1000]))
            self.request.sendall(b"0\r\n\r\n")
        elif kind in ("slow", "drop"):
            self.respond(200, b"", ["Content-Length: %d" % number], length=False)
            if kind == "drop":
                self.request.sendall(data[:number // 2])
                time.sleep(0.1)
                reset(self.request)
                return False
            for i in range(0, number, 512):
                self.request.sendall(data[i:i + 512])
                time.sleep(0.02)
        elif kind == "hugeheader":
            self.respond(200, b"big", ["X-Big: " + "b" * (1 << 20)])
        elif kind == "loop":
            self.respond(302, b"", ["Location: " + path])
        elif kind == "toftp":
            self.respond(302, b"", ["Location: ftp://u:p@127.0.0.1:%d/x" % number])
        elif kind == "badchunk":
            self.respond(200, b"", ["Transfer-Encoding: chunked"], length=False)
            self.request.sendall(b"3\r\nabc\r\nzz\r\nabc\r\n0\r\n\r\n")
            return False
        elif kind == "garbage":
            self.request.sendall(b"\x00\x01 this is not HTTP \xff\r\n\r\n")
            return False
        else:
            self.respond(200, b"abc\0def" + b"x" * (4096 - 7) + b"second" if kind == "zero" else b"received")
        return True
