#!/usr/bin/env python3
"""Local analytics collector for tests, benchmarks and the demo.

Accepts the installer's analytics uploads on 127.0.0.1 and stores every record
as one JSON line.

    collector.py --out FILE --port-file F [--port N] [--delay-seconds S]
                 [--detach] [--pid-file P]
    collector.py --stop --port-file F

With --tls-cert CERT --tls-key KEY it speaks HTTPS with that certificate
(clients must refuse an untrusted one).

Uploads: POST /sa?project=pc with the form body "data_list=<batch>&gzip=1",
where <batch> is a percent-encoded Base64 text of a gzip-compressed JSON array
of record objects. The encoding is checked strictly (only letters, digits and
%XX escapes between "data_list=" and "&gzip=1", strict Base64, a valid gzip
stream, a JSON array of objects); a body that fails is answered 400 and
counted as rejected. A good batch is stored and answered 200, unless a failure
mode is set:

    GET /control?mode=M[&count=N]   M: ok | 500 | 201 | delay | close
        the next N uploads (all of them when N is 0 or missing) get mode M:
        500 or 201 as reply status (nothing is stored), "delay" waits
        --delay-seconds (default 4, past the client's timeout) and then
        answers 200 without storing (the client has given up), "close"
        drops the connection without a reply (nothing stored).
    GET /records   the stored records, one JSON line each
    GET /stats     {"posts": n, "batches": [sizes of stored batches],
                    "rejected": n, "errors": [...], "failed": n}
    GET /reset     forgets records and counters, mode back to ok
    GET /shutdown  stops the collector

The port actually bound (use --port 0, the default, for a free one) is written
to the port file once the collector listens. --detach starts it in the
background and returns when it listens; --stop asks the one named by the port
file to end.
"""
import argparse
import base64
import binascii
import gzip
import json
import os
import re
import sys
import threading
import time
import urllib.parse
import urllib.request
from http.server import BaseHTTPRequestHandler, ThreadingHTTPServer

BODY_RE = re.compile(rb"^data_list=((?:[A-Za-z0-9]|%[0-9A-F]{2})*)&gzip=1$")


class DecodeError(Exception):
    pass


def decode_body(body):
    """Returns the list of records of one upload body or raises DecodeError."""
    m = BODY_RE.match(body)
    if not m:
        raise DecodeError("body is not data_list=<letters, digits, %XX>&gzip=1")
    encoded = m.group(1).decode("ascii")
    b64 = urllib.parse.unquote_to_bytes(encoded)
    try:
        raw = base64.b64decode(b64, validate=True)
    except (binascii.Error, ValueError) as e:
        raise DecodeError("bad Base64: %s" % e)
    if raw[:2] != b"\x1f\x8b":
        raise DecodeError("not a gzip stream")
    try:
        text = gzip.decompress(raw)
    except (OSError, EOFError, Exception) as e:
        raise DecodeError("bad gzip: %s" % e)
    try:
        batch = json.loads(text.decode("utf-8"))
    except (UnicodeDecodeError, ValueError) as e:
        raise DecodeError("bad JSON: %s" % e)
    if not isinstance(batch, list) or not all(isinstance(r, dict) for r in batch):
        raise DecodeError("not a JSON array of objects")
    return batch


class State:
    def __init__(self, out, delay):
        self.lock = threading.Lock()
        self.out = out
        self.delay = delay
        self.reset()

    def reset(self):
        with self.lock:
            self.records = []
            self.batches = []
            self.posts = 0
            self.rejected = 0
            self.failed = 0
            self.errors = []
            self.mode = "ok"
            self.mode_count = 0

    def next_mode(self):
        with self.lock:
            self.posts += 1
            mode = self.mode
            if mode != "ok" and self.mode_count > 0:
                self.mode_count -= 1
                if self.mode_count == 0:
                    self.mode = "ok"
            return mode

    def store(self, batch):
        with self.lock:
            self.batches.append(len(batch))
            lines = [json.dumps(r, ensure_ascii=False, separators=(",", ":")) for r in batch]
            self.records.extend(lines)
            if self.out:
                with open(self.out, "a", encoding="utf-8") as f:
                    for line in lines:
                        f.write(line + "\n")


class Handler(BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"

    def log_message(self, fmt, *args):
        pass

    def reply(self, code, body=b"", content_type="text/plain; charset=utf-8"):
        self.send_response(code)
        self.send_header("Content-Type", content_type)
        self.send_header("Content-Length", str(len(body)))
        self.end_headers()
        self.wfile.write(body)

    def do_GET(self):
        st = self.server.state
        url = urllib.parse.urlsplit(self.path)
        query = urllib.parse.parse_qs(url.query)
        if url.path == "/control":
            mode = query.get("mode", ["ok"])[0]
            if mode not in ("ok", "500", "201", "delay", "close"):
                return self.reply(400, b"unknown mode")
            with st.lock:
                st.mode = mode
                st.mode_count = int(query.get("count", ["0"])[0])
            return self.reply(200, b"ok")
        if url.path == "/records":
            with st.lock:
                body = "".join(line + "\n" for line in st.records).encode("utf-8")
            return self.reply(200, body, "application/x-ndjson")
        if url.path == "/stats":
            with st.lock:
                body = json.dumps({"posts": st.posts, "batches": st.batches, "rejected": st.rejected,
                                   "failed": st.failed, "errors": st.errors}).encode()
            return self.reply(200, body, "application/json")
        if url.path == "/reset":
            st.reset()
            return self.reply(200, b"ok")
        if url.path == "/shutdown":
            self.reply(200, b"bye")
            threading.Thread(target=self.server.shutdown, daemon=True).start()
            return
        self.reply(404, b"not found")

    def do_POST(self):
        st = self.server.state
        url = urllib.parse.urlsplit(self.path)
        length = int(self.headers.get("Content-Length", "0"))
        body = self.rfile.read(length)
        if url.path != "/sa" or urllib.parse.parse_qs(url.query).get("project") != ["pc"]:
            return self.reply(404, b"not found")
        mode = st.next_mode()
        try:
            batch = decode_body(body)
        except DecodeError as e:
            with st.lock:
                st.rejected += 1
                st.errors.append(str(e))
            return self.reply(400, str(e).encode())
        if mode == "close":
            with st.lock:
                st.failed += 1
            self.close_connection = True
            try:
                self.connection.shutdown(2)
            except OSError:
                pass
            return
        if mode in ("500", "201"):
            with st.lock:
                st.failed += 1
            return self.reply(int(mode), b"not stored")
        if mode == "delay":
            # The client has given up by now: answer, but keep nothing.
            time.sleep(st.delay)
            with st.lock:
                st.failed += 1
            return self.reply(200, b"late")
        st.store(batch)
        self.reply(200, b"ok")


def stop(port_file, tls):
    with open(port_file) as f:
        port = int(f.read().strip())
    try:
        if tls:
            import ssl
            ctx = ssl._create_unverified_context()  # our own test certificate
            urllib.request.urlopen("https://127.0.0.1:%d/shutdown" % port, timeout=5, context=ctx).read()
        else:
            urllib.request.urlopen("http://127.0.0.1:%d/shutdown" % port, timeout=5).read()
    except OSError:
        pass
    return 0


def main():
    ap = argparse.ArgumentParser(description="Local analytics collector (see the module text).")
    ap.add_argument("--out", help="file that receives every stored record as a JSON line")
    ap.add_argument("--port-file", required=True, help="file that receives the bound port")
    ap.add_argument("--port", type=int, default=0)
    ap.add_argument("--delay-seconds", type=float, default=4.0)
    ap.add_argument("--detach", action="store_true", help="run in the background; return once listening")
    ap.add_argument("--pid-file")
    ap.add_argument("--tls-cert", help="serve HTTPS with this PEM certificate")
    ap.add_argument("--tls-key", help="the certificate's PEM private key")
    ap.add_argument("--stop", action="store_true", help="stop the collector named by --port-file")
    args = ap.parse_args()
    if args.stop:
        return stop(args.port_file, bool(args.tls_cert))

    if os.path.exists(args.port_file):
        os.remove(args.port_file)
    if args.detach:
        pid = os.fork()
        if pid:
            deadline = time.time() + 20
            while time.time() < deadline:
                if os.path.exists(args.port_file):
                    return 0
                time.sleep(0.05)
            print("collector did not start", file=sys.stderr)
            return 1
        os.setsid()
        devnull = os.open(os.devnull, os.O_RDWR)
        for fd in (0, 1, 2):
            os.dup2(devnull, fd)

    server = ThreadingHTTPServer(("127.0.0.1", args.port), Handler)
    server.daemon_threads = True
    server.state = State(args.out, args.delay_seconds)
    if args.tls_cert:
        import ssl
        ctx = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
        ctx.load_cert_chain(args.tls_cert, args.tls_key)
        server.socket = ctx.wrap_socket(server.socket, server_side=True)
    if args.pid_file:
        with open(args.pid_file, "w") as f:
            f.write(str(os.getpid()))
    tmp = args.port_file + ".tmp"
    with open(tmp, "w") as f:
        f.write(str(server.server_address[1]))
    os.replace(tmp, args.port_file)
    try:
        server.serve_forever()
    finally:
        server.server_close()
    return 0


if __name__ == "__main__":
    sys.exit(main())
