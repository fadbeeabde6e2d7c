"""A scripted HTTP/1.1 server for the network tests. The path chooses the
answer (a tail may follow): /status/CODE, /bytes/N (byte i is i % 251),
/nolen/N (no length, then close), /chunked/N, /slow/N (512 bytes per 20 ms),
/drop/N (N // 2 bytes, then a reset), /pad/N/HEX, /zero, /hugeheader, /loop,
/garbage; /pace/held/N, /pace/next, /pace/stalls: serving.pacing (held waits
for N bytes); /__record/PATH: the last request for PATH; else "received".
"""

import socketserver
import threading
import time

from serving import pacing, reset, serve

_records = {}
_lock = threading.Lock()


def _pattern(n):
    return (bytes(range(251)) * (n // 251 + 1))[:n]


class _Handler(socketserver.BaseRequestHandler):
    def read_request(self):
        while b"\r\n\r\n" not in self.buffer:
            chunk = self.request.recv(65536)
            if not chunk:
                return None
            self.buffer += chunk
        head, _, rest = self.buffer.partition(b"\r\n\r\n")
        lines = head.split(b"\r\n")
        length = 0
        for line in lines[1:]:
            name, _, value = line.partition(b":")
            if name.strip().lower() == b"content-length":
                length = int(value.strip())
        while len(rest) < length:
            chunk = self.request.recv(65536)
            if not chunk:
                return None
            rest += chunk
        body, self.buffer = rest[:length], rest[length:]
        return lines, head + b"\r\n\r\n" + body

    def respond(self, status, body, headers=(), length=True):
        reason = {200: "OK", 404: "Not Found"}.get(status, "Status")
        head = ["HTTP/1.1 %d %s" % (status, reason), "Server: brim-test", "Content-Type: text/plain"]
        head += list(headers) + (["Content-Length: %d" % len(body)] if length else [])
        self.request.sendall(("\r\n".join(head) + "\r\n\r\n").encode("latin-1") + body)

    def handle(self):
        self.buffer = b""
        while True:
            request = self.read_request()
            if request is None:
                return
            lines, raw = request
            path = lines[0].split(b" ")[1].decode("latin-1")
            if not path.startswith("/__record/"):
                with _lock:
                    _records[path] = raw
            if not self.answer(path):
                return
            if any(l.lower().replace(b" ", b"") == b"connection:close" for l in lines[1:]):
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
                pacing.wait(lambda: pacing.held >= int(parts[2]))
            elif parts[1] == "next":
                pacing.update(releases=pacing.releases + 1)
            self.respond(200, b"%d" % (pacing.stalls if parts[1] == "stalls" else pacing.held))
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
        elif kind == "pad":
            self.respond(200, b"a" * number + bytes.fromhex(parts[2]))
        elif kind == "hugeheader":
            self.respond(200, b"big", ["X-Big: " + "b" * (1 << 20)])
        elif kind == "loop":
            self.respond(302, b"", ["Location: " + path])
        elif kind == "garbage":
            self.request.sendall(b"\x00\x01 this is not HTTP \xff\r\n\r\n")
            return False
        else:
            self.respond(200, b"abc\0def" + b"x" * (4096 - 7) + b"second" if kind == "zero" else b"received")
        return True


def start():
    return serve(_Handler)
