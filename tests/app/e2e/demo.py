#!/usr/bin/env python3
"""The demo run behind scripts/demo.sh: the real installer against the local
download server, the demo package and the analytics collector.

    demo.py --exe velqor-setup.exe --package velqor-demo-package.exe
            --wine WINE --prefix WINEPREFIX --out DIR [--interactive]

Without --interactive it drives a one-click installation and saves
DIR/main-welcome.png, main-custom.png, main-installing.png and
main-finished.png (each cropped to the window and its shadow); with it, the
window is left to the person at the screen. Either way it prints where the
demo product was installed and how many analytics records arrived.
"""
import argparse
import os
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import e2e  # noqa: E402


def drive(inst, out):
    inst.expect(r"^window ready")
    inst.main_window()
    inst.shot(os.path.join(out, "main-welcome.png"))
    inst.click("customeBtn")
    inst.expect(r"^page 1$")
    inst.shot(os.path.join(out, "main-custom.png"))
    inst.click("backBtn")
    inst.expect(r"^page 0$")
    inst.click("defaultInstallBtn")
    inst.expect(r"^page 2$")
    # Some progress on the bar before the picture is taken (the download's
    # diagnostic lines; the picture is taken anyway if they change).
    try:
        for _ in range(2):
            inst.expect(r"^DL_CODE_PROGRESS", timeout=10)
    except e2e.CheckFailed:
        pass
    inst.shot(os.path.join(out, "main-installing.png"))
    inst.expect(r"^page 3$", timeout=120)
    inst.shot(os.path.join(out, "main-finished.png"))
    inst.click("openProduceBtn")
    return inst.wait_exit(60)


def main():
    ap = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    ap.add_argument("--exe", required=True)
    ap.add_argument("--package", required=True)
    ap.add_argument("--wine", required=True)
    ap.add_argument("--prefix", required=True)
    ap.add_argument("--out", required=True)
    ap.add_argument("--interactive", action="store_true")
    args = ap.parse_args()
    out = os.path.abspath(args.out)
    args.out = os.path.join(out, "run")  # the installer's folder, its log and the package's records

    suite = e2e.Suite(args)
    try:
        # Throttled so that the installing page stays up for a few seconds.
        url = "%s/m/rate=600000/r/%s" % (suite.server.url, e2e.PACKAGE)
        run_dir = suite.prepare("installer", download_url=url)
        inst = suite.start(run_dir)
        if args.interactive:
            print("demo: the installer runs on %s; close its window to end the demo" % os.environ.get("DISPLAY"))
            rc = inst.proc.wait()
        else:
            try:
                rc = drive(inst, out)
            except e2e.CheckFailed as e:
                print("demo: %s (log: %s)" % (e, inst.log_path), file=sys.stderr)
                return 1
            for name in ("main-welcome", "main-custom", "main-installing", "main-finished"):
                print("screenshot: %s" % os.path.join(out, name + ".png"))
        print("demo: installer exit code %d" % (rc & 0xFF))
        record = os.path.join(run_dir, "record.txt")
        if os.path.exists(record):
            folder = e2e.install_folder_of(run_dir)
            print("demo: the demo product was installed into %s (%s)" % (folder, suite.wine.unix_path(folder)))
            product = record + ".product"
            if not args.interactive:
                e2e.wait_until("the demo product to start", lambda: os.path.exists(product), 30)
            if os.path.exists(product):
                print("demo: the demo product was started: %s" % e2e.read_record(product)[0])
        else:
            print("demo: nothing was installed")
        records = suite.analytics() or []
        print("demo: %d analytics records arrived at %s" % (len(records), suite.collector.url))
        return 0
    finally:
        suite.close()


if __name__ == "__main__":
    sys.exit(main())
