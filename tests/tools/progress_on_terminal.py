"""progress_on_terminal.py BRIM FILE: brim get on a pseudo-terminal redraws its bar in place, ends in one line."""

import os
import pty
import subprocess
import sys

brim, target = sys.argv[1], sys.argv[2]
if os.path.exists(target):
    os.remove(target)
url = "http://127.0.0.1:%s/slow/60000" % os.environ["BRIM_HTTP_PORT"]
leader, follower = pty.openpty()
child = subprocess.Popen([brim, "get", url, target], stdout=follower, stderr=subprocess.PIPE)
os.close(follower)
shown = b""
try:
    while chunk := os.read(leader, 4096):
        shown += chunk
except OSError:  # the terminal closes with the child
    pass
code = child.wait()
text = shown.decode("utf-8", "replace")
problems = {
    "exit %d: %s" % (code, child.stderr.read().decode()): code != 0,
    "the file has %d bytes" % os.path.getsize(target): os.path.getsize(target) != 60000,
    "no bar redrawn in place": "\r" not in text or "[" not in text or "#" not in text,
    "no total or no closing summary": "/ 58.6 KiB" not in text or " in 0:" not in text,
}
if any(problems.values()):
    print("output on the terminal: %r\n%s" % (text, "\n".join(p for p, bad in problems.items() if bad)))
    sys.exit(1)
print("progress bar ok")
