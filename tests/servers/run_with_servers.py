"""run_with_servers.py PROGRAM [ARGS...]: runs the program with the test servers' ports and FTP root in its env."""

import os
import shutil
import socket
import subprocess
import sys
import tempfile

import servers   # beside this script, which is on the path


def main():
    env = dict(os.environ)
    for name in ("http_proxy", "https_proxy", "ftp_proxy", "all_proxy", "no_proxy"):
        env.pop(name, None)
        env.pop(name.upper(), None)
    root = tempfile.mkdtemp(prefix="brim-ftp-")
    try:
        plain, masq = servers.start_pyftpdlib(root)
        env["BRIM_FTP_PORT"] = str(plain)
        env["BRIM_FTP_MASQ_PORT"] = str(masq)
        env["BRIM_FTP_ROOT"] = root
    except ImportError as e:
        env["BRIM_SERVERS_MISSING"] = "pyftpdlib (python3-pyftpdlib): %s" % e
    env["BRIM_FTP_SCRIPT_PORT"] = str(servers.serve(servers.ScriptedFtpHandler))
    env["BRIM_HTTP_PORT"] = str(servers.serve(servers.HttpHandler))
    with socket.create_server(("127.0.0.1", 0)) as closed:
        env["BRIM_CLOSED_PORT"] = str(closed.getsockname()[1])
    env["BRIM_FTP_USER"] = servers.USER
    env["BRIM_FTP_PASSWORD"] = servers.PASSWORD
    try:
        code = subprocess.call(sys.argv[1:], env=env)
    finally:
        shutil.rmtree(root, ignore_errors=True)
    sys.exit(code)


if __name__ == "__main__":
    main()
