#!/usr/bin/env python3
"""Local HTTP server for the download tests, the download benchmark and the demo.

Serves installation packages the way the installer's download server does
(HEAD, Content-Length, byte ranges, redirects to the digest path) and, per
request path, the faults a real server or network shows.  Python 3 standard
library only; listens on 127.0.0.1 only.

Command line:
  download_server.py [--root DIR] [--port N] [--port-file F] [--pid-file P]
                     [--parent-pid PID] [--max-seconds S] [--detach]
  download_server.py --stop --pid-file P

  --root DIR        folder whose files are served by name (default: none)
  --port N          port to listen on (default 0: a free port)
  --port-file F     write the port number there once listening
  --pid-file P      write the server's process id there
  --parent-pid PID  stop when that process is gone
  --max-seconds S   stop after S seconds whatever happens (default 1800)
  --tls             serve HTTPS with a fresh self-signed certificate for
                    "localhost" (made with the openssl command; clients that
                    check certificates must refuse it)
  --proxy           also run a local HTTP proxy (Debian's tinyproxy) on a free
                    port of 127.0.0.1, stopped with the server
  --cert-out F      with --tls: also write the certificate (PEM, valid for
                    localhost and 127.0.0.1) to F, for a client that is to
                    trust it
  --detach          start the server in the background, wait until it
                    listens (port file written), then return
  --stop            stop the server whose id is in --pid-file

URLs:
  /<md5>/<name>            the file <name>: from --root, or generated when the
                            name is "gen-<size>-<seed>.bin" (deterministic bytes:
                            byte i = B[i % 65521], B[j] = ((j*2654435761 +
                            seed*40503) >> 13) & 255). The digest segment is not
                            checked: a test chooses it to be right or wrong.
  /r/<name>                302 to /<md5 of the file>/<name>
  /m/<modes>/<md5>/<name>  as above, with fault modes (comma-separated list)
  /m/<modes>/r/<name>      302 to /m/<modes>/<md5>/<name>
  /_requests/<text>        the logged requests whose path contains <text>: the
                            request line, every header line as received, then
                            an empty line, for each request in arrival order
  /_reset                  forget the log and the per-path counters
  /_release/<text>         the fault modes of every path containing <text> are
                            used up: the requests that follow are served
  /_deadport               a port number on 127.0.0.1 where nothing listens
  /_proxyport              the port of the HTTP proxy started with --proxy
                            (0 when none)
  /_pac/<host:port>        a proxy auto-configuration script that sends every
                            request through that proxy

Fault modes (a count K limits a mode to the first K matching requests on that
path; "from=N" limits the GET faults to requests whose range starts at N or
later):
  404 / 500[=K]    GET answered with that status
  head400          HEAD answered with 400
  nolength         no Content-Length (GET body ends by closing the connection)
  short[=K]        GET announces the full length, sends cut=B bytes (default
                   1000), then closes the connection
  stall[=K]        GET sends the headers and then nothing (until the client
                   gives up, at most 60 s)
  trickle[=K]      GET sends one byte every 2 s (below 1 B/s)
  norange[=K]      a ranged GET is answered 200 with the whole body
  rate=BPS         GET bodies sent at about BPS bytes per second
  wrongmd5         the redirect goes to a digest that is not the file's
  uppermd5         the redirect goes to the digest in upper case
  getto=PORT       GET (not HEAD) redirected to the same path on 127.0.0.1:PORT
  416[=K]          a ranged GET answered 416 (range not satisfiable)
  stop[=K]         GET sends cut=B bytes (default 1000), then nothing more
                   (the connection stays open until the client gives up)
  reset[=K]        GET sends cut=B bytes, then resets the connection (TCP RST)
  headhang[=K]     HEAD requests are read and never answered
  changed=K        the file is replaced by its next version after K GET
                   requests for it: a generated file then has seed+1, and its
                   ETag, Last-Modified and redirect digest change with it
  drop=K           the first K requests under this mode list (any path) are
                   answered with a connection reset and nothing else
  viaproxy         only requests that came through a proxy (a Via header) are
                   served; direct ones get 403

Every reply carries the file's ETag and Last-Modified; a GET whose If-Range
names neither is answered with the whole file (200), as RFC 9110 says.
"""
import argparse
import email.utils
import hashlib
import shutil
import struct
import tempfile
import os
import re
import signal
import socket
import subprocess
import sys
import threading
import time
from http.server import BaseHTTPRequestHandler, ThreadingHTTPServer

PERIOD = 65521
GEN_RE = re.compile(r"^gen-(\d+)-(\d+)\.bin$")


class Content:
    """A served file: generated or from the root folder."""

    _blocks = {}
    _md5 = {}
    _lock = threading.Lock()

    def __init__(self, root, name, version=0):
        self.name = name
        self.path = None
        self.version = version
        m = GEN_RE.match(name)
        if m:
            self.size = int(m.group(1))
            self.seed = int(m.group(2)) + version
        else:
            if not root or "/" in name or name in ("", ".", ".."):
                raise FileNotFoundError(name)
            self.path = os.path.join(root, name)
            self.size = os.path.getsize(self.path)

    def _block(self):
        with Content._lock:
            b = Content._blocks.get(self.seed)
            if b is None:
                s = self.seed * 40503
                b = bytes(((j * 2654435761 + s) >> 13) & 0xFF for j in range(PERIOD))
                Content._blocks[self.seed] = b + b
            return b

    def chunks(self, start, end, chunk=65536):
        """Bytes start..end (inclusive), in pieces."""
        if self.path:
            with open(self.path, "rb") as f:
                f.seek(start)
                left = end - start + 1
                while left > 0:
                    data = f.read(min(chunk, left))
                    if not data:
                        return
                    left -= len(data)
                    yield data
            return
        doubled = self._block()
        pos = start
        while pos <= end:
            n = min(end - pos + 1, PERIOD, chunk)
            o = pos % PERIOD
            yield doubled[o:o + n]
            pos += n

    def etag(self):
        return '"v%d-%s"' % (self.version, self.md5()[:12])

    def last_modified(self):
        return email.utils.formatdate(1700000000 + self.version * 86400, usegmt=True)

    def md5(self):
        key = (self.path or self.name, self.size, self.version)
        with Content._lock:
            if key in Content._md5:
                return Content._md5[key]
        h = hashlib.md5()
        for c in self.chunks(0, self.size - 1, 1 << 20):
            h.update(c)
        d = h.hexdigest()
        with Content._lock:
            Content._md5[key] = d
        return d


class State:
    def __init__(self, root):
        self.root = root
        self.lock = threading.Lock()
        self.log = []  # (path, text)
        self.counters = {}
        self.released = []
        self.gets = {}  # (modes prefix, name) -> GET requests seen
        self.proxy_port = 0

    def version(self, key, modes, count_get):
        """The version of a file with the "changed" mode (0 before the switch)."""
        with self.lock:
            n = self.gets.get(key, 0)
            if count_get:
                self.gets[key] = n + 1
        limit = modes.get("changed")
        return 1 if "changed" in modes and n >= (limit or 0) else 0

    def take(self, path, mode, limit):
        """True when the mode applies to this request (counted per path)."""
        with self.lock:
            if any(text in path for text in self.released):
                return False
            if limit is None:
                return True
            key = (path, mode)
            n = self.counters.get(key, 0)
            if n >= limit:
                return False
            self.counters[key] = n + 1
            return True


def parse_modes(text):
    modes = {}
    for token in filter(None, text.split(",")):
        name, _, value = token.partition("=")
        modes[name] = int(value) if value else None
    return modes


class Handler(BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"
    server_version = "VelqorTestServer/1"

    def log_message(self, *args):
        pass

    # -- helpers ---------------------------------------------------------------
    def _record(self):
        lines = [self.requestline] + ["%s: %s" % (k, v) for k, v in self.headers.items()]
        with self.server.state.lock:
            self.server.state.log.append((self.path, "\r\n".join(lines) + "\r\n\r\n"))

    def _simple(self, status, body=b"", headers=()):
        self.send_response(status)
        for k, v in headers:
            self.send_header(k, v)
        self.send_header("Content-Length", str(len(body)))
        self.end_headers()
        if self.command != "HEAD" and body:
            self.wfile.write(body)

    def _validators(self, content):
        self.send_header("ETag", content.etag())
        self.send_header("Last-Modified", content.last_modified())

    def _close(self):
        self.close_connection = True
        try:
            self.wfile.flush()
            self.connection.shutdown(socket.SHUT_RDWR)
        except OSError:
            pass

    def _wait_for_client_gone(self, seconds):
        deadline = time.time() + seconds
        self.connection.settimeout(0.5)
        while time.time() < deadline and not self.server.stopping.is_set():
            try:
                if not self.connection.recv(4096):
                    return
            except socket.timeout:
                continue
            except OSError:
                return

    # -- routing ---------------------------------------------------------------
    def do_HEAD(self):
        self._handle()

    def do_GET(self):
        self._handle()

    def _handle(self):
        path = self.path.split("?", 1)[0]
        if path == "/_reset":
            with self.server.state.lock:
                self.server.state.log.clear()
                self.server.state.counters.clear()
                self.server.state.gets.clear()
                self.server.state.released.clear()
            return self._simple(200, b"ok\n")
        if path.startswith("/_release/"):
            with self.server.state.lock:
                self.server.state.released.append(path[len("/_release/"):])
            return self._simple(200, b"ok\n")
        if path == "/_proxyport":
            return self._simple(200, b"%d\n" % self.server.state.proxy_port)
        if path.startswith("/_pac/"):
            target = path[len("/_pac/"):]
            script = 'function FindProxyForURL(url, host) { return "PROXY %s"; }\n' % target
            return self._simple(200, script.encode(), [("Content-Type", "application/x-ns-proxy-autoconfig")])
        if path == "/_deadport":
            # A port on 127.0.0.1 where nothing listens (bound, then released).
            with socket.socket() as s:
                s.bind(("127.0.0.1", 0))
                port = s.getsockname()[1]
            return self._simple(200, b"%d\n" % port)
        if path.startswith("/_requests/"):
            tag = path[len("/_requests/"):]
            with self.server.state.lock:
                text = "".join(t for p, t in self.server.state.log if tag in p)
            return self._simple(200, text.encode("utf-8"), [("Content-Type", "text/plain")])
        self._record()
        parts = path.split("/")[1:]
        modes, prefix = {}, ""
        if len(parts) >= 2 and parts[0] == "m":
            modes = parse_modes(parts[1])
            prefix = "/m/" + parts[1]
            parts = parts[2:]
        if len(parts) < 2:
            return self._simple(404, b"not found\n")
        name = "/".join(parts[1:])
        if "drop" in modes and self.server.state.take(prefix, "drop", modes["drop"]):
            self.connection.setsockopt(socket.SOL_SOCKET, socket.SO_LINGER, struct.pack("ii", 1, 0))
            self.close_connection = True
            self.connection.close()
            return
        if "viaproxy" in modes and not self.headers.get("Via"):
            return self._simple(403, b"direct connections are refused\n")
        if "headhang" in modes and self.command == "HEAD" and \
                self.server.state.take(path, "headhang", modes["headhang"]):
            self._wait_for_client_gone(60)
            return self._close()
        is_body = self.command == "GET" and parts[0] != "r"
        version = self.server.state.version((prefix, name), modes, is_body)
        try:
            content = Content(self.server.state.root, name, version)
        except (OSError, ValueError):
            return self._simple(404, b"not found\n")
        if parts[0] == "r":
            digest = content.md5()
            if "wrongmd5" in modes:
                digest = hashlib.md5(digest.encode()).hexdigest()
            if "uppermd5" in modes:
                digest = digest.upper()
            return self._simple(302, b"", [("Location", "%s/%s/%s" % (prefix, digest, name))])
        self._serve(path, modes, content)

    def _serve(self, path, modes, content):
        st = self.server.state
        size = content.size
        if self.command == "HEAD":
            if "head400" in modes and st.take(path, "head400", modes["head400"]):
                return self._simple(400, b"")
            self.send_response(200)
            self._validators(content)
            if "nolength" not in modes:
                self.send_header("Content-Length", str(size))
            else:
                self.send_header("Connection", "close")
                self.close_connection = True
            self.send_header("Accept-Ranges", "bytes")
            self.end_headers()
            return
        if "getto" in modes:
            host = "127.0.0.1:%d" % modes["getto"]
            return self._simple(302, b"", [("Location", "http://%s%s" % (host, self.path))])
        # Range: "bytes=A-" or "bytes=A-B".
        start, end, ranged = 0, size - 1, False
        rng = self.headers.get("Range")
        if rng:
            m = re.match(r"^bytes=(\d+)-(\d*)$", rng.strip())
            if m:
                start = int(m.group(1))
                end = int(m.group(2)) if m.group(2) else size - 1
                end = min(end, size - 1)
                if start >= size or end < start:
                    return self._simple(416, b"", [("Content-Range", "bytes */%d" % size)])
                ranged = True
        if ranged and self.headers.get("If-Range") is not None:
            validator = self.headers.get("If-Range").strip()
            if validator not in (content.etag(), content.last_modified()):
                start, end, ranged = 0, size - 1, False
        applies = start >= modes.get("from", 0) if modes.get("from") is not None else True

        def fault(mode):
            return mode in modes and applies and st.take(path, mode, modes[mode])

        for status in ("404", "500", "416"):
            if status == "416" and not ranged:
                continue  # only a range can be unsatisfiable
            if fault(status):
                return self._simple(int(status), b"error\n")
        if ranged and fault("norange"):
            start, end, ranged = 0, size - 1, False
        length = end - start + 1
        self.send_response(206 if ranged else 200)
        self._validators(content)
        if ranged:
            self.send_header("Content-Range", "bytes %d-%d/%d" % (start, end, size))
        if "nolength" in modes:
            self.send_header("Connection", "close")
        else:
            self.send_header("Content-Length", str(length))
        self.send_header("Accept-Ranges", "bytes")
        self.send_header("Content-Type", "application/octet-stream")
        self.end_headers()
        if fault("stall"):
            self.wfile.flush()
            self._wait_for_client_gone(60)
            return self._close()
        if fault("trickle"):
            deadline = time.time() + 60
            for chunk in content.chunks(start, end, 1):
                if time.time() > deadline or self.server.stopping.is_set():
                    break
                try:
                    self.wfile.write(chunk)
                    self.wfile.flush()
                except OSError:
                    break
                if self.server.stopping.wait(2.0):
                    break
            return self._close()
        limit = length
        cut_mode = None
        for mode in ("short", "stop", "reset"):
            if fault(mode):
                cut_mode = mode
                limit = min(length - 1, modes.get("cut") or 1000)
                break
        rate = modes.get("rate")
        sent, t0 = 0, time.time()
        try:
            for chunk in content.chunks(start, end, 16384 if rate else 262144):
                if sent >= limit:
                    break
                chunk = chunk[:limit - sent]
                self.wfile.write(chunk)
                sent += len(chunk)
                if rate:
                    ahead = sent / rate - (time.time() - t0)
                    if ahead > 0 and self.server.stopping.wait(ahead):
                        break
        except OSError:
            return self._close()
        if cut_mode == "stop":
            self.wfile.flush()
            self._wait_for_client_gone(60)
            return self._close()
        if cut_mode == "reset":
            self.wfile.flush()
            # SO_LINGER with a zero time: close() sends a reset, not a FIN.
            self.connection.setsockopt(socket.SOL_SOCKET, socket.SO_LINGER, struct.pack("ii", 1, 0))
            self.close_connection = True
            self.connection.close()
            return
        if sent < length or "nolength" in modes:
            self._close()


class Server(ThreadingHTTPServer):
    daemon_threads = True
    allow_reuse_address = True


def start_proxy(state):
    """tinyproxy on a free loopback port; (process, its folder) or None."""
    exe = shutil.which("tinyproxy") or ("/usr/bin/tinyproxy" if os.path.exists("/usr/bin/tinyproxy") else None)
    if not exe:
        print("download_server: tinyproxy is not installed", file=sys.stderr)
        return None
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        port = s.getsockname()[1]
    folder = tempfile.mkdtemp(prefix="velqor-proxy-")
    conf = os.path.join(folder, "tinyproxy.conf")
    with open(conf, "w") as f:
        f.write("Port %d\nListen 127.0.0.1\nTimeout 120\nMaxClients 64\nAllow 127.0.0.1\n"
                "LogLevel Critical\nLogFile \"%s\"\nPidFile \"%s\"\n"
                % (port, os.path.join(folder, "log"), os.path.join(folder, "pid")))
    proc = subprocess.Popen([exe, "-d", "-c", conf], stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                            stderr=subprocess.DEVNULL)
    deadline = time.time() + 20
    while time.time() < deadline and proc.poll() is None:
        try:
            with socket.create_connection(("127.0.0.1", port), timeout=1):
                state.proxy_port = port
                return proc, folder
        except OSError:
            time.sleep(0.05)
    print("download_server: tinyproxy did not start", file=sys.stderr)
    proc.kill()
    shutil.rmtree(folder, ignore_errors=True)
    return None


def main():
    ap = argparse.ArgumentParser(description="Local download server for tests and demos")
    ap.add_argument("--root")
    ap.add_argument("--port", type=int, default=0)
    ap.add_argument("--port-file")
    ap.add_argument("--pid-file")
    ap.add_argument("--parent-pid", type=int)
    ap.add_argument("--max-seconds", type=float, default=1800)
    ap.add_argument("--detach", action="store_true")
    ap.add_argument("--stop", action="store_true")
    ap.add_argument("--tls", action="store_true")
    ap.add_argument("--proxy", action="store_true")
    ap.add_argument("--cert-out")
    args = ap.parse_args()

    if args.stop:
        if not args.pid_file:
            ap.error("--stop needs --pid-file")
        try:
            with open(args.pid_file) as f:
                os.kill(int(f.read().strip()), signal.SIGTERM)
        except (OSError, ValueError) as e:
            print("download_server: nothing to stop (%s)" % e, file=sys.stderr)
        return 0

    if args.detach:
        if not args.port_file:
            ap.error("--detach needs --port-file")
        if os.path.exists(args.port_file):
            os.remove(args.port_file)
        argv = [a for a in sys.argv[1:] if a != "--detach"]
        subprocess.Popen([sys.executable, os.path.abspath(__file__)] + argv, start_new_session=True,
                         stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        deadline = time.time() + 30
        while time.time() < deadline:
            if os.path.exists(args.port_file) and open(args.port_file).read().strip():
                return 0
            time.sleep(0.05)
        print("download_server: the server did not start", file=sys.stderr)
        return 1

    httpd = Server(("127.0.0.1", args.port), Handler)
    httpd.state = State(os.path.abspath(args.root) if args.root else None)
    httpd.stopping = threading.Event()
    if args.tls:
        import ssl
        import tempfile
        with tempfile.TemporaryDirectory() as d:
            cert, key = os.path.join(d, "cert.pem"), os.path.join(d, "key.pem")
            subprocess.run(["openssl", "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-keyout", key,
                            "-out", cert, "-days", "1", "-subj", "/CN=localhost",
                            "-addext", "subjectAltName=DNS:localhost,IP:127.0.0.1"],
                           check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
            ctx = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
            ctx.load_cert_chain(cert, key)
            if args.cert_out:
                with open(cert, "rb") as src, open(args.cert_out, "wb") as dst:
                    dst.write(src.read())
        httpd.socket = ctx.wrap_socket(httpd.socket, server_side=True)

    proxy = start_proxy(httpd.state) if args.proxy else None

    def stop(*_):
        httpd.stopping.set()
        threading.Thread(target=httpd.shutdown, daemon=True).start()

    signal.signal(signal.SIGTERM, stop)
    signal.signal(signal.SIGINT, stop)

    def watchdog():
        deadline = time.time() + args.max_seconds
        while not httpd.stopping.wait(1.0):
            if time.time() > deadline:
                break
            if args.parent_pid:
                try:
                    os.kill(args.parent_pid, 0)
                except OSError:
                    break
        stop()

    threading.Thread(target=watchdog, daemon=True).start()
    if args.pid_file:
        with open(args.pid_file, "w") as f:
            f.write("%d\n" % os.getpid())
    if args.port_file:
        tmp = args.port_file + ".tmp"
        with open(tmp, "w") as f:
            f.write("%d\n" % httpd.server_address[1])
        os.replace(tmp, args.port_file)
    try:
        httpd.serve_forever(poll_interval=0.2)
    finally:
        httpd.server_close()
        if proxy:
            proxy[0].terminate()
            try:
                proxy[0].wait(10)
            except subprocess.TimeoutExpired:
                proxy[0].kill()
            shutil.rmtree(proxy[1], ignore_errors=True)
        if args.pid_file and os.path.exists(args.pid_file):
            os.remove(args.pid_file)
    return 0


if __name__ == "__main__":
    sys.exit(main())
