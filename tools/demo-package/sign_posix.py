#!/usr/bin/env python3
"""Appends the POSIX test stand-in of a signature to a file (see
utils/signature.h): a block naming the publisher and the SHA-256 of the file's
bytes before it. Usage: sign_posix.py FILE PUBLISHER [OUT]"""
import hashlib
import sys


def main() -> int:
    if len(sys.argv) not in (3, 4):
        print(__doc__, file=sys.stderr)
        return 2
    source, publisher = sys.argv[1], sys.argv[2]
    out = sys.argv[3] if len(sys.argv) == 4 else source
    with open(source, "rb") as f:
        data = f.read()
    digest = hashlib.sha256(data).hexdigest()
    block = f"\n--velqor-test-signature--\npublisher={publisher}\nsha256={digest}\n".encode()
    with open(out, "wb") as f:
        f.write(data + block)
    return 0


if __name__ == "__main__":
    sys.exit(main())
