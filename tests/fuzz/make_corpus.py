#!/usr/bin/env python3
"""Writes the seed corpus of the fuzz targets: tests/fuzz/corpus/<target>/<name>.

Each seed is a small valid or nearly valid input that leads a target deep into
its reader; inputs that once showed a fault are kept here too ("regress-*").
The archive seeds are made with 7zz (Debian's 7zip) when it is installed, and
are left as they are otherwise. Run from anywhere; existing seeds of the same
name are overwritten, others are left alone.
"""
import os
import shutil
import subprocess
import sys
import tempfile

ROOT = os.path.join(os.path.dirname(os.path.abspath(__file__)), "corpus")
REPO = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))


def put(target, name, data):
    folder = os.path.join(ROOT, target)
    os.makedirs(folder, exist_ok=True)
    if isinstance(data, str):
        data = data.encode("utf-8")
    with open(os.path.join(folder, name), "wb") as f:
        f.write(data)


# ---------------------------------------------------------------- protocol
# Byte 0: bit 0 uninstaller, bit 1 read everything, bits 2-4 the starting code
# page (0 ACP, 1 UTF-8, 2 GBK, 3 Big5, 4 1252, 5 Shift-JIS, 6 1251, 7 437).
# Byte 1: seed of the read lengths (0: full chunks).
INSTALLER, UNINSTALLER, READ_ALL = 0, 1, 2


def cp(index):
    return index << 2


def protocol(name, flags, cut, output):
    if isinstance(output, str):
        output = output.encode("utf-8")
    put("protocol", name, bytes([flags, cut]) + output)


protocol("package-success", INSTALLER, 0,
         "Progress=0.1\r\nInstPath=C:\\Program Files\\Velqor\r\nInstallVersion=1.7.9\r\n"
         "ExePath=C:\\Program Files\\Velqor\\velqor.exe\r\nUninstExePath=C:\\Program Files\\Velqor\\uninst.exe\r\n"
         "UninstEp=/S\r\nTopShowDetention=3000\r\nFinsihCloseDetention=5000\r\nStartUrl=https://example.invalid/\r\n"
         "StartupStyle=AutoStartup\r\nProgress=1\r\nState=Success\r\n")
protocol("package-cut-reads", INSTALLER, 7,
         "Progress=0.25\nStartExe=velqor.exe\nUninstExe=u.exe\nStartupStyle=UserStartup\nMessage=working\n"
         "Progress=0.5\nState=Success\nProgress=0.9\n")
protocol("package-utf8", INSTALLER, 3,
         "Encode=UTF8\nMessage=正在安装\nInstPath=D:\\Программы\\Велкор\nState=Success\n")
protocol("package-gbk", cp(2) | INSTALLER, 11,
         "Message=".encode() + "正在安装组件".encode("gbk") + b"\r\nError=" + "安装失败".encode("gbk") + b"\r\n")
protocol("package-big5", cp(3) | INSTALLER, 5, "Message=".encode() + "正在安裝".encode("big5") + b"\nState=Fail\n")
protocol("package-switch-codepage", INSTALLER, 1,
         b"Message=" + "caf\u00e9".encode("cp1252") + b"\nEncode=936\nMessage=" + "中文".encode("gbk") +
         b"\nEncode=ACP\nMessage=x\nEncode=65001\nState=" + "é".encode() + b"\nState=Success")
protocol("package-no-verdict", READ_ALL | INSTALLER, 0,
         "Progress=0.3\r\nProgress=nan\r\nProgress=1e999\r\nTopShowDetention=-5\r\nInstallVersion=1.2\r\n")
protocol("package-long-line", INSTALLER, 0, "Message=" + "x" * 3000 + "\nInstPath=" + "中" * 900 + "\nState=Success")
protocol("package-zero-bytes", INSTALLER, 2, b"Progress=0.5\x00garbage\nMessage=a\x00b\r\nState=Success\x00\n")
protocol("package-cr-only", cp(1) | INSTALLER, 9, "Progress=0.1\rProgress=0.2\r\rState=Success\r")
protocol("package-split-utf8", cp(1) | INSTALLER, 1, "Message=中文字符混合ascii\nState= Success \n")
protocol("package-invalid-utf8", cp(1) | INSTALLER, 4, b"Message=\xe4\xb8\nMessage=\xff\xfe\xc0\x80\nState=Fail\n")
protocol("package-shiftjis", cp(5) | INSTALLER, 6, "Message=".encode() + "インストール".encode("shift_jis") + b"\n")
protocol("uninstaller-success", UNINSTALLER | READ_ALL, 0,
         "Progress=0.2\r\nProgress=0.8\r\nState=Success\r\nProgress=1\r\n")
protocol("uninstaller-error", UNINSTALLER | READ_ALL, 13,
         "Encode=UTF8\nError=无法删除文件\nState=Fail\n")
protocol("uninstaller-acp", cp(2) | UNINSTALLER | READ_ALL, 8,
         b"Encode=ACP\nError=" + "卸载失败".encode("gbk") + b"\nEncode=936\nState=Success")
protocol("uninstaller-until-verdict", UNINSTALLER, 17, "Progress=0.5\nState=Success\nError=late\n")

# ---------------------------------------------------------------- http_reply
# The reply to every HEAD, a zero byte, the reply to every other request.


def http(name, head, other=None):
    data = head.encode("latin-1") if isinstance(head, str) else head
    if other is not None:
        data += b"\x00" + (other.encode("latin-1") if isinstance(other, str) else other)
    put("http_reply", name, data)


BIG = 2097152
http("range-resumed",
     "HTTP/1.1 200 OK\r\nContent-Length: %d\r\nAccept-Ranges: bytes\r\nETag: \"v1\"\r\n"
     "Last-Modified: Wed, 09 Dec 2026 10:00:00 GMT\r\n\r\n" % BIG,
     "HTTP/1.1 206 Partial Content\r\nContent-Range: bytes 10-%d/%d\r\nContent-Length: 16\r\n\r\n"
     "0123456789abcdef" % (BIG - 1, BIG))
http("multi-part-exact",
     "HTTP/1.1 200 OK\r\nContent-Length: 300\r\nAccept-Ranges: bytes\r\n\r\n",
     "HTTP/1.1 206 Partial Content\r\nContent-Range: bytes 0-299/300\r\nContent-Length: 300\r\n\r\n" + "M" * 300)
http("multi-part-lower-case",
     "HTTP/1.1 200 OK\r\ncontent-length: 300\r\n\r\n",
     "HTTP/1.1 206 Partial Content\r\ncontent-range:bytes   0-299/*\r\ncontent-length: 300\r\n\r\n" + "m" * 300)
http("full-body-to-range",
     "HTTP/1.1 200 OK\r\nContent-Length: 300\r\n\r\n",
     "HTTP/1.1 200 OK\r\nContent-Length: 300\r\n\r\n" + "F" * 300)
http("range-not-satisfiable",
     "HTTP/1.1 200 OK\r\nContent-Length: %d\r\n\r\n" % BIG,
     "HTTP/1.1 416 Range Not Satisfiable\r\nContent-Range: bytes */%d\r\nContent-Length: 0\r\n\r\n" % BIG)
http("wrong-range",
     "HTTP/1.1 200 OK\r\nContent-Length: 300\r\n\r\n",
     "HTTP/1.1 206 Partial Content\r\nContent-Range: bytes 5-299/300\r\nContent-Length: 295\r\n\r\n" + "w" * 295)
http("range-overflow",
     "HTTP/1.1 200 OK\r\nContent-Length: 300\r\n\r\n",
     "HTTP/1.1 206 Partial Content\r\nContent-Range: bytes 99999999999999999999-18446744073709551616/-1\r\n"
     "Content-Length: 3\r\n\r\nabc")
http("short-body",
     "HTTP/1.1 200 OK\r\nContent-Length: 300\r\n\r\n",
     "HTTP/1.1 206 Partial Content\r\nContent-Range: bytes 0-299/300\r\nContent-Length: 300\r\n\r\nonly this")
http("chunked",
     "HTTP/1.1 200 OK\r\nContent-Length: 300\r\n\r\n",
     "HTTP/1.1 206 Partial Content\r\nContent-Range: bytes 0-299/300\r\nTransfer-Encoding: chunked\r\n\r\n"
     "12C\r\n" + "c" * 300 + "\r\n0\r\n\r\n")
http("chunked-bad",
     "HTTP/1.1 200 OK\r\nContent-Length: 300\r\n\r\n",
     "HTTP/1.1 206 Partial Content\r\nContent-Range: bytes 0-299/300\r\nTransfer-Encoding: chunked\r\n\r\n"
     "ffffffffffffffffff\r\nxx\r\n")
http("until-close",
     "HTTP/1.0 200 OK\r\nContent-Length: 400\r\n\r\n",
     "HTTP/1.0 206 Partial Content\r\nContent-Range: bytes 0-399/400\r\n\r\n" + "z" * 450)
http("redirect-elsewhere",
     "HTTP/1.1 302 Found\r\nLocation: http://mirror.example.invalid/files/9e107d9d372bb6826bd81d3542a419d6/p.exe\r\n"
     "Content-Length: 0\r\n\r\n",
     "HTTP/1.1 206 Partial Content\r\nContent-Range: bytes 0-299/300\r\nContent-Length: 300\r\n\r\n" + "r" * 300)
http("regress-redirect-loop", "HTTP/1.1 301 Moved\r\nLocation: /files/package.exe\r\nContent-Length: 0\r\n\r\n")
http("head-error", "HTTP/1.1 500 Internal Server Error\r\nContent-Length: 0\r\n\r\n",
     "HTTP/1.1 503 Busy\r\nRetry-After: 1\r\nContent-Length: 4\r\n\r\nbusy")
http("head-huge-length", "HTTP/1.1 200 OK\r\nContent-Length: 9223372036854775807\r\n\r\n",
     "HTTP/1.1 206 Partial Content\r\nContent-Range: bytes 0-9/10\r\nContent-Length: 10\r\n\r\n0123456789")
http("head-two-gib", "HTTP/1.1 200 OK\r\nContent-Length: 2147483648\r\n\r\n")
http("head-not-http", "SSH-2.0-OpenSSH_9.2\r\n")
http("head-empty", "")
http("headers-odd",
     "HTTP/1.1 200 OK\r\nno colon here\r\nContent-Length : 300\r\n folded: value\r\nX: " + "y" * 2000 +
     "\r\nContent-Length: 300\r\n\r\n",
     "HTTP/1.1 206 Partial Content\r\nContent-Range:\r\nContent-Range: bytes\r\nContent-Range: bytes 0-299/300\r\n"
     "Content-Length: 300\r\n\r\n" + "o" * 300)
http("continue-then-reply", "HTTP/1.1 100 Continue\r\n\r\nHTTP/1.1 200 OK\r\nContent-Length: 300\r\n\r\n",
     "HTTP/1.1 100 Continue\r\n\r\nHTTP/1.1 206 Partial Content\r\nContent-Range: bytes 0-299/300\r\n"
     "Content-Length: 300\r\n\r\n" + "k" * 300)
http("connect-refused-proxy", "HTTP/1.1 407 Proxy Authentication Required\r\nProxy-Authenticate: Basic\r\n"
     "Content-Length: 0\r\n\r\n")

# ---------------------------------------------------------------- staging
REC = '{"event":"install_start","properties":{"step":%d,"text":"安装"}}'
put("staging", "records", "".join(REC % i + "\n" for i in range(5)))
put("staging", "crlf-and-blank", "\r\n" + REC % 1 + "\r\n\r\n" + REC % 2 + "\r\n")
put("staging", "torn-last-line", REC % 1 + "\n" + REC % 2 + "\n" + '{"event":"instal')
put("staging", "garbage", b"\x00\xff{\n}\n{}\n{\x00}\nnot json\n{\"a\":1}\r\r\n" + bytes(range(256)))
put("staging", "over-the-bound", "{}\n" * 1100)
put("staging", "empty", "")
put("staging", "no-newline", REC % 9)

# ---------------------------------------------------------------- language
# Byte 0: the language (0 en-US, 1 zh-CN, 2 zh-TW), then the file.
with open(os.path.join(REPO, "skin", "language.json"), "rb") as f:
    shipped = f.read()
put("language", "shipped-en", b"\x00" + shipped)
put("language", "shipped-tw", b"\x02" + shipped)
put("language", "odd-elements", b"\x01" + """[
 {"id": 1, "en-US": "a", "zh-CN": "中", "zh-TW": "中"},
 {"id": "2", "zh-CN": "string id"}, {"id": 3.5, "zh-CN": "real id"}, {"id": 2147483648, "zh-CN": "big"},
 {"id": -1, "zh-CN": 5}, {"id": 4}, [1, 2], null, "text", {"id": 5, "zh-CN": "\\ud800 lone \\u0000 nul"},
 {"id": 6, "zh-CN": "dup"}, {"id": 6, "zh-CN": "dup2"}, {"id": 7, "zh-CN": "\\uD83D\\uDE00"}
]""".encode())
put("language", "not-array", b"\x00{\"id\": 1, \"en-US\": \"x\"}")
put("language", "comments", b"\x00// c\n[/* x */ {\"id\": 1, \"en-US\": \"x\",}]")
put("language", "regress-nested-too-deeply", b"\x00" + b"[" * 2000 + b"]" * 2000)
put("language", "invalid-utf8", b"\x01[{\"id\": 1, \"zh-CN\": \"\xff\xfe\xe4\xb8\"}]")

# ---------------------------------------------------------------- archive


def archives():
    z7 = shutil.which("7zz") or shutil.which("7z")
    if not z7:
        print("no 7zz: archive seeds left as they are", file=sys.stderr)
        return
    with tempfile.TemporaryDirectory() as tmp:
        src = os.path.join(tmp, "skin")
        os.makedirs(os.path.join(src, "res", "mainWnd"))
        with open(os.path.join(src, "language.json"), "wb") as f:
            f.write(b'[{"id": 101, "en-US": "Install now", "zh-CN": "\xe7\xab\x8b"}]')
        with open(os.path.join(src, "mainWnd.xml"), "wb") as f:
            f.write(b'<Window size="600,400"><VerticalLayout><Button name="b"/></VerticalLayout></Window>')
        with open(os.path.join(src, "res", "mainWnd", "bg.png"), "wb") as f:
            f.write(b"\x89PNG\r\n\x1a\n" + bytes(range(64)))
        with open(os.path.join(src, "empty.txt"), "wb"):
            pass
        variants = {
            "lzma2-solid": ["-m0=LZMA2", "-ms=on"],
            "lzma-not-solid": ["-m0=LZMA", "-ms=off"],
            "copy": ["-m0=Copy"],
            "ppmd": ["-m0=PPMd"],
            "bcj-lzma": ["-m0=BCJ", "-m1=LZMA"],
            "delta-lzma": ["-m0=Delta:4", "-m1=LZMA"],
            "header-unpacked": ["-m0=LZMA2", "-mhc=off"],
        }
        for name, options in variants.items():
            out = os.path.join(tmp, name + ".7z")
            subprocess.run([z7, "a", "-bd", "-bso0", "-y", "-mtm=off", "-mtc=off", "-mta=off", "-mmt=1",
                            *options, out, "."], cwd=src, check=True)
            with open(out, "rb") as f:
                put("archive", name, f.read())


archives()
print("corpus written to", ROOT)
