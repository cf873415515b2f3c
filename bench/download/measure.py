#!/usr/bin/env python3
"""measure.py CMD...: runs CMD (output discarded) and prints
"<wall seconds> <peak resident KiB> <exit code>" for that one process."""
import os
import subprocess
import sys
import time

t0 = time.perf_counter()
p = subprocess.Popen(sys.argv[1:], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
_, status, usage = os.wait4(p.pid, 0)
wall = time.perf_counter() - t0
print("%.4f %d %d" % (wall, usage.ru_maxrss, os.waitstatus_to_exitcode(status)))
