"""brim get with its standard output on a pseudo-terminal: the progress bar is
redrawn in place (carriage returns, a bar, the total) and ends in one line.

  progress_on_terminal.py BRIM FILE    (inside run_with_servers.py)
"""

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
while True:
    try:
        chunk = os.read(leader, 4096)
    except OSError:   # the terminal closes with the child
        break
    if not chunk:
        break
    shown += chunk
code = child.wait()
text = shown.decode("utf-8", "replace")
problems = []
if code != 0:
    problems.append("exit %d: %s" % (code, child.stderr.read().decode()))
if os.path.getsize(target) != 60000:
    problems.append("the file has %d bytes" % os.path.getsize(target))
if "\r" not in text or "[" not in text or "#" not in text:
    problems.append("no bar redrawn in place")
if "/ 58.6 KiB" not in text or " in 0:" not in text:
    problems.append("no total or no closing summary")
if problems:
    print("output on the terminal: %r\n%s" % (text, "\n".join(problems)))
    sys.exit(1)
print("progress bar ok")
