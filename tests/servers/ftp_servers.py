"""FTP servers for the network tests, on free loopback ports: pyftpdlib (plain,
and one whose PASV replies name 127.0.0.2), and a scripted server whose
misbehaviour the user name chooses: the replies below, and in retr and stor
dropretr/dropstor (reset mid-transfer), cutretr/abortretr (50000 of 102400
bytes, then 226/426), refusestor (452), paced (a RETR block per release on
serving.pacing), trickle (1000 bytes 10 times) and intruder (127.0.0.2 makes
each active-mode data connection first).
"""

import socket
import socketserver
import threading
import time

from serving import pacing, reset, serve

USER = "brim"
PASSWORD = "secret"


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

    class Handler(FTPHandler):
        auth_failed_timeout = 0   # failed logins answer at once

    Handler.authorizer = authorizer
    masq = type("Masquerade", (Handler,), {"masquerade_address": "127.0.0.2"})
    ioloop = IOLoop()
    plain = FTPServer(("127.0.0.1", 0), Handler, ioloop=ioloop)
    other = FTPServer(("127.0.0.1", 0), masq, ioloop=ioloop)
    threading.Thread(target=lambda: plain.serve_forever(handle_exit=False), daemon=True).start()
    return plain.address[1], other.address[1]


_LISTINGS = {"multiline": b"lrwxrwxrwx   1 owner group   5 Jan 01 12:00 m.txt -> elsewhere",
             "cutretr": b"-rw-r--r--   1 owner group   102400 Jan 01 12:00 big.bin"}
_LISTINGS["abortretr"] = _LISTINGS["cutretr"]
_REPLIES = {"TYPE": "200 OK", "MODE": "200 OK", "STRU": "200 OK", "CWD": "250 OK", "PWD": '257 "/"'}
_USER_REPLIES = {"longreply": "331 " + "x" * 20000, "garbage": "hello, this is not ftp",
                 "multiline": "331-Password required\r\n 331 this line does not end it\r\n331 send it"}


class _ScriptedHandler(socketserver.StreamRequestHandler):
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
            pacing.update(held=0, releases=0)
            data = bytes(i * 7 % 256 for i in range(20000))
            for block, start in enumerate(range(0, len(data), 4096)):
                if block > 0 and not pacing.wait(lambda: pacing.releases >= block):
                    pacing.update(stalls=pacing.stalls + 1)
                conn.sendall(data[start:start + 4096])
        elif user == "trickle":
            for _ in range(10):
                conn.sendall(bytes(1000))
                time.sleep(0.01)
        elif user == "dropretr":
            conn.sendall(bytes(10000))
            reset(conn)
            reset(self.connection)
            return False
        else:
            conn.sendall(bytes(50000) if user in _LISTINGS and user != "multiline" else b"hello")
        conn.close()
        self.send("426 Transfer aborted" if user == "abortretr" else "226 Done")
        return True

    def stor(self, conn):
        if self.user == "dropstor":
            conn.recv(100)
            reset(conn)
            reset(self.connection)
            return False
        if self.user == "paced":
            pacing.update(held=0, releases=0)
        for chunk in iter(lambda: conn.recv(65536), b""):
            if self.user == "paced":
                pacing.update(held=pacing.held + len(chunk))
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
            elif verb == "PASS":
                self.send("230-Welcome\r\n230 Logged in")
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
            elif verb == "MKD":
                self.send('257 "%s" created' % arg)
            elif verb in ("LIST", "NLST", "RETR", "STOR"):
                self.send("150 Opening data connection")
                conn = self.data_connection()
                if verb in ("LIST", "NLST"):
                    if self.user in _LISTINGS:
                        conn.sendall(_LISTINGS[self.user] + b"\r\n")
                    conn.close()
                    self.send("226 Done")
                elif not (self.retr if verb == "RETR" else self.stor)(conn):
                    return
            elif verb == "QUIT":
                self.send("221 Bye")
                return
            else:
                self.send("502 Not implemented")


def start_scripted():
    return serve(_ScriptedHandler)
