"""FTP servers for the network tests, on free loopback ports.

start_pyftpdlib: two real servers sharing one I/O loop, over the same root
  folder: a plain one, and one whose PASV replies name 127.0.0.2 instead of
  its own address (a client must still connect to 127.0.0.1).
start_scripted: a small server whose misbehaviour is chosen by the user name:
  longreply  an over-long reply line to USER
  garbage    a reply without a code to USER
  silent     no reply to USER at all
  multiline  multi-line replies, then a normal session with one file "m.txt"
  dropretr   RETR sends 10000 of 100000 bytes, then resets the data
             connection and closes the control connection
  dropstor   STOR reads a little, then resets both connections
  cutretr    LIST shows 102400 bytes; RETR sends 50000, closes, says 226
  abortretr  the same, but the final reply is 426
  refusestor STOR reads everything, then says 452 and keeps nothing
  paced      records the bytes a STOR has delivered so far, and sends a
             RETR of 20000 bytes one 4096-byte block at a time, the next
             only when asked (see the pacing channel below)
  trickle    RETR sends 10000 bytes in pieces of 1000, 10 ms apart
  intruder   in active mode, each data connection is first attempted from
             127.0.0.2 (whose bytes must not be taken), then, 300 ms later,
             made from the server's own address

start_pacing: the pacing channel of the "paced" user, one line per request:
  held N     waits (up to 5 s) until the STOR in progress has delivered at
             least N bytes; answers the count delivered
  next       lets the RETR in progress send its next block; answers "ok"
  stalls     answers how many blocks of the RETR waited 5 s for their "next"
"""

import socket
import socketserver
import threading
import time

from serving import reset, serve

USER = "brim"
PASSWORD = "secret"


def start_pyftpdlib(root):
    from pyftpdlib.authorizers import DummyAuthorizer
    from pyftpdlib.handlers import FTPHandler
    from pyftpdlib.ioloop import IOLoop
    from pyftpdlib.servers import FTPServer
    import logging

    # pyftpdlib logs every command unless the host has configured logging.
    logging.basicConfig(level=logging.WARNING)
    logging.getLogger("pyftpdlib").setLevel(logging.WARNING)
    authorizer = DummyAuthorizer()
    authorizer.add_user(USER, PASSWORD, root, perm="elradfmwMT")

    class Handler(FTPHandler):
        auth_failed_timeout = 0   # failed logins answer at once

    Handler.authorizer = authorizer

    class MasqueradeHandler(Handler):
        masquerade_address = "127.0.0.2"

    ioloop = IOLoop()
    plain = FTPServer(("127.0.0.1", 0), Handler, ioloop=ioloop)
    masq = FTPServer(("127.0.0.1", 0), MasqueradeHandler, ioloop=ioloop)
    thread = threading.Thread(target=lambda: plain.serve_forever(handle_exit=False), daemon=True)
    thread.start()
    return plain.address[1], masq.address[1]


class _Pacing:
    """What the "paced" user's transfers share with the pacing channel."""

    def __init__(self):
        self.cond = threading.Condition()
        self.held = 0
        self.releases = 0
        self.stalls = 0

    def add_held(self, n):
        with self.cond:
            self.held += n
            self.cond.notify_all()

    def wait_held(self, n):
        with self.cond:
            self.cond.wait_for(lambda: self.held >= n, timeout=5)
            return self.held

    def release(self):
        with self.cond:
            self.releases += 1
            self.cond.notify_all()

    def wait_release(self, count):
        with self.cond:
            if not self.cond.wait_for(lambda: self.releases >= count, timeout=5):
                self.stalls += 1

    def reset(self):
        with self.cond:
            self.held = self.releases = 0


_pacing = _Pacing()
PACED_RETR_SIZE = 20000


class _PacingHandler(socketserver.StreamRequestHandler):
    def handle(self):
        for raw in self.rfile:
            verb, _, arg = raw.decode("latin-1").strip().partition(" ")
            if verb == "held":
                answer = str(_pacing.wait_held(int(arg)))
            elif verb == "next":
                _pacing.release()
                answer = "ok"
            elif verb == "stalls":
                answer = str(_pacing.stalls)
            else:
                answer = "?"
            self.wfile.write((answer + "\n").encode("latin-1"))
            self.wfile.flush()


def start_pacing():
    return serve(_PacingHandler)


class _ScriptedHandler(socketserver.StreamRequestHandler):
    def send(self, text):
        self.wfile.write(text.encode("latin-1"))
        self.wfile.flush()

    def open_passive(self):
        listener = socket.socket()
        listener.bind(("127.0.0.1", 0))
        listener.listen(1)
        port = listener.getsockname()[1]
        self.send("227 Entering Passive Mode (127,0,0,1,%d,%d)\r\n" % (port // 256, port % 256))
        return listener

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

    def converse(self):
        self.user = ""
        self.passive = None
        self.active = None
        self.send("220 scripted server\r\n")
        for raw in self.rfile:
            line = raw.decode("latin-1").rstrip("\r\n")
            verb, _, arg = line.partition(" ")
            verb = verb.upper()
            if verb == "USER":
                self.user = arg
                if arg == "longreply":
                    self.send("331 " + "x" * 20000 + "\r\n")
                elif arg == "garbage":
                    self.send("hello, this is not ftp\r\n")
                elif arg == "silent":
                    self.rfile.read()   # until the client gives up
                    return
                elif arg == "multiline":
                    self.send("331-Password required\r\n 331 this line does not end it\r\n331 send it\r\n")
                else:
                    self.send("331 Password required\r\n")
            elif verb == "PASS":
                self.send("230-Welcome\r\n230 Logged in\r\n")
            elif verb in ("TYPE", "MODE", "STRU"):
                self.send("200 OK\r\n")
            elif verb == "PASV":
                self.passive = self.open_passive()
            elif verb == "PORT":
                parts = [int(p) for p in arg.split(",")]
                self.active = ("%d.%d.%d.%d" % tuple(parts[:4]), parts[4] * 256 + parts[5])
                self.send("200 PORT OK\r\n")
            elif verb == "CWD":
                self.send("250 OK\r\n")
            elif verb == "PWD":
                self.send('257 "/"\r\n')
            elif verb == "MKD":
                self.send('257 "%s" created\r\n' % arg)
            elif verb in ("LIST", "NLST"):
                self.send("150 Listing\r\n")
                conn = self.data_connection()
                if self.user == "multiline":
                    conn.sendall(b"-rw-r--r--   1 owner group        5 Jan 01 12:00 m.txt\r\n")
                elif self.user in ("cutretr", "abortretr"):
                    conn.sendall(b"-rw-r--r--   1 owner group   102400 Jan 01 12:00 big.bin\r\n")
                conn.close()
                self.send("226 Done\r\n")
            elif verb == "RETR":
                self.send("150 Sending\r\n")
                conn = self.data_connection()
                if self.user == "paced":
                    _pacing.reset()
                    data = bytes(i * 7 % 256 for i in range(PACED_RETR_SIZE))
                    for block, start in enumerate(range(0, len(data), 4096)):
                        if block > 0:
                            _pacing.wait_release(block)
                        conn.sendall(data[start:start + 4096])
                    conn.close()
                    self.send("226 Done\r\n")
                    continue
                if self.user == "trickle":
                    for _ in range(10):
                        conn.sendall(bytes(1000))
                        time.sleep(0.01)
                    conn.close()
                    self.send("226 Done\r\n")
                    continue
                if self.user == "dropretr":
                    conn.sendall(bytes(10000))
                    reset(conn)
                    reset(self.connection)
                    return
                if self.user in ("cutretr", "abortretr"):
                    conn.sendall(bytes(50000))
                    conn.close()
                    self.send("426 Transfer aborted\r\n" if self.user == "abortretr" else "226 Done\r\n")
                    continue
                conn.sendall(b"hello")
                conn.close()
                self.send("226 Done\r\n")
            elif verb == "STOR":
                self.send("150 Receiving\r\n")
                conn = self.data_connection()
                if self.user == "dropstor":
                    conn.recv(100)
                    reset(conn)
                    reset(self.connection)
                    return
                if self.user == "paced":
                    _pacing.reset()
                while True:
                    chunk = conn.recv(65536)
                    if not chunk:
                        break
                    if self.user == "paced":
                        _pacing.add_held(len(chunk))
                conn.close()
                self.send("452 Insufficient storage\r\n" if self.user == "refusestor" else "226 Done\r\n")
            elif verb == "QUIT":
                self.send("221 Bye\r\n")
                return
            else:
                self.send("502 Not implemented\r\n")


def start_scripted():
    return serve(_ScriptedHandler)
