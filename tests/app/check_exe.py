#!/usr/bin/env python3
"""Static checks of a built velqor-setup.exe, for machines where it cannot run:

    check_exe.py --exe velqor-setup.exe --machine 014c|8664

It must be a GUI image of that machine (PE32 for 014c), carry a manifest that
asks for administrator rights, icon group 145 and the skin archive (resource
type "ZIPRES", id 147) that opens as a 7z archive with the skin's layouts.
The DLLs it imports are printed, and those it delay-loads; it fails on a
static import that is not a KnownDLL (a DLL of that name beside the
executable would be loaded before any of its code runs). Exit code 0 when every check holds.
"""
import argparse
import os
import shutil
import struct
import subprocess
import sys
import tempfile

RT_GROUP_ICON = 14
RT_MANIFEST = 24


class PeError(Exception):
    pass


class Pe:
    def __init__(self, data):
        self.data = data
        if data[:2] != b"MZ":
            raise PeError("no MZ header")
        pe = self.u32(0x3C)
        if data[pe:pe + 4] != b"PE\0\0":
            raise PeError("no PE signature")
        self.machine, nsections = struct.unpack_from("<HH", data, pe + 4)
        opt_size = self.u16(pe + 20)
        opt = pe + 24
        self.magic = self.u16(opt)
        self.subsystem = self.u16(opt + 68)
        dirs = opt + (96 if self.magic == 0x10B else 112)
        ndirs = self.u32(dirs - 4)
        self.dirs = [struct.unpack_from("<II", data, dirs + 8 * i) for i in range(ndirs)]
        self.sections = []
        for i in range(nsections):
            s = opt + opt_size + 40 * i
            vsize, va, rsize, raw = struct.unpack_from("<IIII", data, s + 8)
            self.sections.append((va, max(vsize, rsize), raw))

    def u16(self, off):
        return struct.unpack_from("<H", self.data, off)[0]

    def u32(self, off):
        return struct.unpack_from("<I", self.data, off)[0]

    def offset(self, rva):
        for va, size, raw in self.sections:
            if va <= rva < va + size:
                return raw + rva - va
        raise PeError("address 0x%x is in no section" % rva)

    def cstr(self, rva):
        off = self.offset(rva)
        return self.data[off:self.data.index(b"\0", off)].decode("ascii", "replace")

    def resources(self):
        """{type: {name: bytes}} of the first language of each resource."""
        rva, size = self.dirs[2] if len(self.dirs) > 2 else (0, 0)
        if not rva:
            return {}
        base = self.offset(rva)

        def entries(off):
            named, ids = struct.unpack_from("<HH", self.data, base + off + 12)
            for i in range(named + ids):
                name, target = struct.unpack_from("<II", self.data, base + off + 16 + 8 * i)
                if name & 0x80000000:
                    n = base + (name & 0x7FFFFFFF)
                    length = self.u16(n)
                    name = self.data[n + 2:n + 2 + 2 * length].decode("utf-16-le")
                yield name, target

        def leaf(target):
            while target & 0x80000000:
                target = next(entries(target & 0x7FFFFFFF))[1]
            data_rva, data_size = struct.unpack_from("<II", self.data, base + target)
            off = self.offset(data_rva)
            return self.data[off:off + data_size]

        out = {}
        for rtype, t in entries(0):
            out[rtype] = {name: leaf(n) for name, n in entries(t & 0x7FFFFFFF)}
        return out

    def imports(self, delayed=True):
        """DLL names of the import table and (when delayed) of the delay-load table."""
        names = []
        for index, size, name_at in ((1, 20, 12), (13, 32, 4))[:2 if delayed else 1]:
            if len(self.dirs) <= index or not self.dirs[index][0]:
                continue
            off = self.offset(self.dirs[index][0])
            while True:
                rec = self.data[off:off + size]
                if len(rec) < size or not any(rec):
                    break
                names.append(self.cstr(struct.unpack_from("<I", rec, name_at)[0]))
                off += size
        return names

    def delay_imports(self):
        """DLL names of the delay-load descriptors. GNU ld leaves the delay-import
        directory empty, so they are found by their shape: the RVA attribute,
        four RVAs inside the image and a name ending in ".dll"."""
        if len(self.dirs) > 13 and self.dirs[13][0]:
            return self.imports()[len(self.imports(delayed=False)):]
        names = []
        for va, size, raw in self.sections:
            for off in range(raw, raw + size - 32, 4):
                rec = struct.unpack_from("<8I", self.data, off)
                if rec[0] != 1 or not all(self.contains(r) for r in rec[1:5]):
                    continue
                try:
                    name = self.cstr(rec[1])
                except (ValueError, PeError):
                    continue
                if name.lower().endswith(".dll") and name not in names:
                    names.append(name)
        return names

    def contains(self, rva):
        return any(va <= rva < va + size for va, size, _ in self.sections)


# Windows loads these only from System32 whatever the search order (the
# KnownDLLs of Windows 10 and later): a DLL of the same name beside the
# executable is never used instead.
KNOWN_DLLS = {
    "advapi32.dll", "clbcatq.dll", "combase.dll", "comdlg32.dll", "coml2.dll", "difxapi.dll", "gdi32.dll",
    "gdiplus.dll", "imagehlp.dll", "imm32.dll", "kernel32.dll", "msctf.dll", "msvcrt.dll", "normaliz.dll",
    "nsi.dll", "ole32.dll", "oleaut32.dll", "psapi.dll", "rpcrt4.dll", "sechost.dll", "setupapi.dll",
    "shcore.dll", "shell32.dll", "shlwapi.dll", "user32.dll", "wldap32.dll", "ws2_32.dll",
}

# API set names (the forwarders of the universal CRT among them) are resolved
# by the loader's API set schema, never searched for as files.
API_SETS = ("api-ms-win-", "ext-ms-win-")


def check_static_imports(pe):
    """Problems with the DLLs the loader resolves before any code runs: every
    other DLL must be loaded later, from System32 only (delay-loaded)."""
    static = {n.lower() for n in pe.imports(delayed=False)}
    return ["imports %s statically: not a KnownDLL, so it may be planted beside the executable" % n
            for n in sorted(static - KNOWN_DLLS) if not n.startswith(API_SETS)]


def check_archive(blob):
    """Problems with the embedded skin archive, as a list of texts."""
    if blob[:6] != b"7z\xbc\xaf\x27\x1c":
        return ["resource ZIPRES 147 is not a 7z archive"]
    tool = shutil.which("7zz") or shutil.which("7z")
    if not tool:
        return []
    with tempfile.TemporaryDirectory() as tmp:
        path = os.path.join(tmp, "skin.7z")
        with open(path, "wb") as f:
            f.write(blob)
        r = subprocess.run([tool, "l", "-slt", path], capture_output=True, text=True)
        if r.returncode != 0:
            return ["the skin archive does not open: %s" % (r.stderr.strip() or r.stdout.strip())[-300:]]
        files = [l[7:] for l in r.stdout.splitlines() if l.startswith("Path = ") and l[7:] != path]
        layouts = [f for f in files if f.endswith(".xml")]
        print("skin archive: %d files, layouts %s" % (len(files), ", ".join(sorted(layouts))))
        if not layouts:
            return ["the skin archive holds no layout"]
    return []


def main():
    ap = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    ap.add_argument("--exe", required=True)
    ap.add_argument("--machine", required=True, choices=["014c", "8664"])
    args = ap.parse_args()
    name = os.path.basename(args.exe)
    with open(args.exe, "rb") as f:
        data = f.read()
    problems = []
    try:
        pe = Pe(data)
        if pe.machine != int(args.machine, 16):
            problems.append("machine 0x%04x, expected 0x%s" % (pe.machine, args.machine))
        if args.machine == "014c" and pe.magic != 0x10B:
            problems.append("not a PE32 image (optional header magic 0x%x)" % pe.magic)
        if pe.subsystem != 2:
            problems.append("subsystem %d, expected 2 (Windows GUI)" % pe.subsystem)
        res = pe.resources()
        manifests = list(res.get(RT_MANIFEST, {}).values())
        if not manifests:
            problems.append("no manifest")
        elif b"requireAdministrator" not in manifests[0]:
            problems.append("the manifest does not ask for administrator rights")
        if 145 not in res.get(RT_GROUP_ICON, {}):
            problems.append("no icon group 145")
        skin = res.get("ZIPRES", {}).get(147)
        if skin is None:
            problems.append("no resource ZIPRES 147 (the skin archive)")
        else:
            problems += check_archive(skin)
        print("%s imports: %s" % (name, ", ".join(pe.imports(delayed=False))))
        delayed = pe.delay_imports()
        if delayed:
            print("%s delay-loads: %s" % (name, ", ".join(delayed)))
        problems += check_static_imports(pe)
    except (PeError, struct.error, ValueError, IndexError) as e:
        problems.append("not a readable PE image: %s" % e)
    for p in problems:
        print("%s: %s" % (name, p))
    if problems:
        return 1
    print("%s: %d bytes, %s GUI image, manifest requireAdministrator, icon 145, skin archive 147: all checks hold"
          % (name, len(data), "PE32" if args.machine == "014c" else "PE32+"))
    return 0


if __name__ == "__main__":
    sys.exit(main())
