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
"""

import socket
import socketserver
import threading

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
                while conn.recv(65536):
                    pass
                conn.close()
                self.send("452 Insufficient storage\r\n" if self.user == "refusestor" else "226 Done\r\n")
            elif verb == "QUIT":
                self.send("221 Bye\r\n")
                return
            else:
                self.send("502 Not implemented\r\n")


def start_scripted():
    return serve(_ScriptedHandler)
