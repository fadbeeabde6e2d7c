"""A scripted HTTP/1.1 server for the network tests.

The path chooses the answer (every path may carry a tail of its own after
the parts shown, so that each test has paths of its own):
  /status/CODE          status CODE, a short page, Content-Length
  /bytes/N              N bytes (byte i is i % 251), Content-Length
  /nolen/N              the same bytes, no Content-Length, then close
  /chunked/N            the same bytes in chunks of 1000
  /slow/N               the same bytes in pieces of 512, 20 ms apart
  /drop/N               announces N bytes, sends N // 2, then resets
  /pad/N/HEX            N bytes "a", then the bytes HEX names
  /zero                 "abc", a zero byte, more text, and a second block
  /hugeheader           a response with a 1 MiB header line
  /loop                 a redirect to itself, without end
  /garbage              bytes that are not an HTTP response, then close
  /__record/PATH        the last request received for /PATH, byte for byte
Any other path answers 200 with the body "received". Every request (line,
headers in order, body) is recorded under its path.
"""

import socketserver
import threading
import time

from serving import reset, serve

_records = {}
_lock = threading.Lock()


_CYCLE = bytes(range(251))


def _pattern(n):
    return (_CYCLE * (n // 251 + 1))[:n]


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

    def respond(self, status, body, headers=None, length=True):
        reason = {200: "OK", 404: "Not Found", 500: "Internal Server Error"}.get(status, "Status")
        out = "HTTP/1.1 %d %s\r\nServer: brim-test\r\nContent-Type: text/plain\r\n" % (status, reason)
        for h in headers or []:
            out += h + "\r\n"
        if length:
            out += "Content-Length: %d\r\n" % len(body)
        self.request.sendall(out.encode("latin-1") + b"\r\n" + body)

    def handle(self):
        self.buffer = b""
        while True:
            request = self.read_request()
            if request is None:
                return
            lines, raw = request
            method, target = lines[0].split(b" ")[:2]
            path = target.decode("latin-1")
            if not path.startswith("/__record/"):
                with _lock:
                    _records[path] = raw
            if not self.answer(method, path):
                return
            if any(l.lower().replace(b" ", b"") == b"connection:close" for l in lines[1:]):
                return

    def answer(self, method, path):
        parts = path.split("/")[1:]
        kind = parts[0]
        number = int(parts[1]) if len(parts) > 1 and parts[1].isdigit() else 0
        if kind == "__record":
            with _lock:
                record = _records.get(path[len("/__record"):], b"")
            self.respond(200, record)
        elif kind == "status":
            self.respond(number, b"page %d\n" % number)
        elif kind == "bytes":
            self.respond(200, _pattern(number))
        elif kind == "nolen":
            self.respond(200, b"", ["Connection: close"], length=False)
            self.request.sendall(_pattern(number))
            return False
        elif kind == "chunked":
            self.respond(200, b"", ["Transfer-Encoding: chunked"], length=False)
            data = _pattern(number)
            for i in range(0, len(data), 1000):
                piece = data[i:i + 1000]
                self.request.sendall(b"%x\r\n" % len(piece) + piece + b"\r\n")
            self.request.sendall(b"0\r\n\r\n")
        elif kind == "slow":
            self.respond(200, b"", ["Content-Length: %d" % number], length=False)
            data = _pattern(number)
            for i in range(0, len(data), 512):
                self.request.sendall(data[i:i + 512])
                time.sleep(0.02)
        elif kind == "drop":
            self.respond(200, b"", ["Content-Length: %d" % number], length=False)
            self.request.sendall(_pattern(number // 2))
            time.sleep(0.1)
            reset(self.request)
            return False
        elif kind == "pad":
            self.respond(200, b"a" * number + bytes.fromhex(parts[2]))
        elif kind == "hugeheader":
            self.respond(200, b"big", ["X-Big: " + "b" * (1 << 20)])
        elif kind == "loop":
            self.respond(302, b"", ["Location: " + path])
        elif kind == "garbage":
            self.request.sendall(b"\x00\x01 this is not HTTP \xff\r\n\r\n")
            return False
        elif kind == "zero":
            self.respond(200, b"abc\0def" + b"x" * (4096 - 7) + b"second")
        else:
            self.respond(200, b"received")
        return True


def start():
    return serve(_Handler)
