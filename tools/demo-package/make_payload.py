#!/usr/bin/env python3
"""Writes the demo package's payload: SIZE bytes that do not compress, the same
on every build (a stand-in for the product files a real package carries).

    make_payload.py OUT SIZE
"""
import hashlib
import sys

out, size = sys.argv[1], int(sys.argv[2])
block, data, n = b"velqor-demo-payload", bytearray(), 0
while len(data) < size:
    data += hashlib.sha256(block + n.to_bytes(8, "little")).digest()
    n += 1
with open(out, "wb") as f:
    f.write(bytes(data[:size]))
