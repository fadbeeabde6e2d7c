"""run_with_servers.py PROGRAM [ARGS...]: runs the program with the test
servers on free loopback ports, their ports and the FTP root folder in its
environment; a server that cannot start is named in BRIM_SERVERS_MISSING.
"""

import os
import shutil
import socket
import subprocess
import sys
import tempfile

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))

import servers  # noqa: E402


def closed_port():
    s = socket.socket()
    s.bind(("127.0.0.1", 0))
    port = s.getsockname()[1]
    s.close()
    return port


def main():
    env = dict(os.environ)
    for name in ("http_proxy", "https_proxy", "ftp_proxy", "all_proxy", "no_proxy"):
        env.pop(name, None)
        env.pop(name.upper(), None)
    missing = []
    root = tempfile.mkdtemp(prefix="brim-ftp-")
    try:
        plain, masq = servers.start_pyftpdlib(root)
        env["BRIM_FTP_PORT"] = str(plain)
        env["BRIM_FTP_MASQ_PORT"] = str(masq)
        env["BRIM_FTP_ROOT"] = root
    except ImportError as e:
        missing.append("pyftpdlib (python3-pyftpdlib): %s" % e)
    env["BRIM_FTP_SCRIPT_PORT"] = str(servers.start_scripted())
    env["BRIM_HTTP_PORT"] = str(servers.start_http())
    env["BRIM_CLOSED_PORT"] = str(closed_port())
    env["BRIM_FTP_USER"] = servers.USER
    env["BRIM_FTP_PASSWORD"] = servers.PASSWORD
    if missing:
        env["BRIM_SERVERS_MISSING"] = "; ".join(missing)
    try:
        code = subprocess.call(sys.argv[1:], env=env)
    finally:
        shutil.rmtree(root, ignore_errors=True)
    sys.exit(code)


if __name__ == "__main__":
    main()
