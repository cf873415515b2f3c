#!/usr/bin/env python3
"""End-to-end tests of unattended installs (-silent=true) of the real
velqor-setup.exe under Wine.

    silent_e2e.py --exe velqor-setup.exe --package velqor-demo-package.exe
                  [--wine wine64|wine32] [--out DIR] [--case NAME ...]

Every case copies the installer into a fresh folder with its
ZelmoxInstallerConfig.ini, clears the installation records, runs the installer
without a window against the local download server, the demo package and the
analytics collector (the helpers of e2e.py), and checks from outside: the exit
code, installed files, registry, the package's recorded command line, the
download server's request log, the analytics records, the log file given with
-log and the lines written to the installer's standard output. No display is
needed.

Output: one line per case (PASS/FAIL). Exit 0 when all pass, 1 when one fails,
77 (ctest's SKIP_RETURN_CODE) when the Windows build cannot run here.
"""
import os
import re
import shutil
import subprocess
import sys
import tempfile

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)
import e2e  # noqa: E402
from e2e import PACKAGE, CheckFailed, Server, Wine, check, event_name, installed_files_check, read_record, \
    record_path, wait_until  # noqa: E402

LOG_PREFIX = re.compile(r"^<P\d{5}><T\d{5}><\d{4}-\d\d-\d\d \d\d:\d\d:\d\d\.\d{3}>\([^)]*\)<\d{4}>: ")
# The events a user's clicks and the installing page raise; a silent run sends none.
USER_EVENTS = {"ZmEventClick", "ZmEventView"}


class Run:
    """One finished (or, with wait=False, running) silent installer."""

    def __init__(self, suite, case_dir, args, env_extra=None, name="setup", wait=True, timeout=120):
        self.case_dir = case_dir
        self.out_path = os.path.join(case_dir, name + ".out")
        self.err_path = os.path.join(case_dir, name + ".err")
        env = dict(suite.wine.env)
        env["VELQOR_DEMO_RECORD"] = Wine.win_path(record_path(case_dir))
        env.update(env_extra or {})
        # Output to files, not pipes (Wine's helper processes would keep a pipe open).
        self.out = open(self.out_path, "wb")
        self.err = open(self.err_path, "wb")
        self.proc = subprocess.Popen(suite.wine.cmd + [os.path.join(case_dir, "velqor-setup.exe")] + args,
                                     cwd=case_dir, env=env, stdout=self.out, stderr=self.err)
        suite.runs.append(self)
        self.code = None
        if wait:
            self.wait(timeout)

    def wait(self, timeout=120):
        try:
            rc = self.proc.wait(timeout)
        except subprocess.TimeoutExpired:
            raise CheckFailed("the silent installer did not end within %.0f s" % timeout)
        self.out.close()
        self.err.close()
        # Wine hands the Windows exit code on as the low byte (-1 is 255).
        self.code = rc - 256 if rc >= 128 else rc
        return self.code

    def console(self):
        """The lines the installer wrote for its console (its standard output)."""
        with open(self.out_path, "rb") as f:
            return [l.rstrip("\r") for l in f.read().decode("utf-8", errors="replace").split("\n") if l.strip()]

    def kill(self):
        if self.proc.poll() is None:
            self.proc.kill()
            self.proc.wait()
        for f in (self.out, self.err):
            if not f.closed:
                f.close()


class Suite(e2e.Suite):
    def __init__(self, args):
        super().__init__(args)
        self.runs = []

    def prepare(self, name, download_url=None, extra_folders=(), analytics_url=None, publisher=None):
        d = super().prepare(name, download_url, extra_folders)
        if analytics_url is not None or publisher is not None:
            ini = os.path.join(d, "ZelmoxInstallerConfig.ini")
            with open(ini) as f:
                text = f.read()
            if analytics_url is not None:
                text = re.sub(r"AnalyticsUrl=.*", "AnalyticsUrl=" + analytics_url, text)
            if publisher is not None:
                text = text.rstrip("\n") + "\nPublisher=" + publisher + "\n"
            with open(ini, "w", newline="\r\n") as f:
                f.write(text)
        return d

    def run(self, case_dir, args, **kw):
        return Run(self, case_dir, args, **kw)


def log_lines(wine, log_win):
    path = wine.unix_path(log_win)
    check(os.path.isfile(path), "no log file at %s" % log_win)
    with open(path, "rb") as f:
        raw = f.read()
    text = raw.decode("utf-8")  # fails the case when the file is not UTF-8
    lines = text.split("\r\n")
    check(lines[-1] == "", "the log does not end with a line end")
    lines = lines[:-1]
    for l in lines:
        check(LOG_PREFIX.match(l), "log line without the diagnostic prefix: %r" % l)
    return [LOG_PREFIX.sub("", l) for l in lines]


def check_result(run, code, text):
    check(run.code == code, "exit code %s, expected %s; console: %r" % (run.code, code, run.console()[-3:]))
    lines = run.console()
    check(lines, "nothing was written to the console")
    want = "velqor-setup: result: %s (exit code %d)" % (text, code)
    check(lines[-1] == want, "last console line %r, expected %r" % (lines[-1], want))


def check_no_package(s, d):
    check(s.package_requests() == [], "the package was requested: %r" % s.package_requests())
    check(not os.path.exists(record_path(d)), "the package ran")
    check("InstallPath" not in s.wine.reg_values(), "an installation was recorded")


def task_names(s, timeout=20.0, expect=()):
    """The analytics records, once every name in expect has arrived."""
    def have():
        recs = s.analytics() or []
        names = {event_name(r) for r in recs if r.get("event") == "ZmEventTask"}
        return recs if all(e in names for e in expect) else None
    try:
        return wait_until("analytics task events %s" % (list(expect),), have, timeout)
    except CheckFailed:
        recs = s.analytics() or []
        raise CheckFailed("analytics records missing %s; arrived: %s" % (
            list(expect), sorted({(r.get("event"), event_name(r)) for r in recs})))


# ------------------------------------------------------------------ cases

def case_success(s):
    # The configuration file names an analytics server where nothing listens:
    # the one on the command line must be the one that receives the events.
    dead = int(e2e.http_get(s.server.url + "/_deadport").decode().strip())
    d = s.prepare("success", analytics_url="http://127.0.0.1:%d/sa?project=pc" % dead)
    log_win = "C:\\VelqorLogs\\run 1\\setup.log"  # the folders are created
    shutil.rmtree(s.wine.unix_path("C:\\VelqorLogs"), ignore_errors=True)
    r = s.run(d, ["-silent=true", "-log=" + log_win, "-analyticsurl=%s/sa?project=pc" % s.collector.url])
    check_result(r, 0, "installed")

    raw, args = read_record(record_path(d))
    check(args[1:4] == ["/S", "-console=show", "-version=1.0.0"], "package arguments start %r" % args[1:4])
    check("-dsc=true" in args and "-ssc=true" in args, "shortcut flags in %r" % raw)
    m = re.search(r" /D=(.*)$", raw)
    check(m, "the package's command line has no /D=: %r" % raw)
    folder_win = m.group(1)
    default = "C:\\Program Files (x86)\\velqordoc" if s.exe_is_32bit else "C:\\Program Files\\velqordoc"
    check(folder_win.lower() == default.lower(), "default folder %r, expected %r" % (folder_win, default))
    installed_files_check(s.wine, folder_win)
    reg = s.wine.reg_values()
    check(reg.get("InstallPath", "").lower() == folder_win.lower(), "registry InstallPath %r" % reg.get("InstallPath"))
    check(reg.get("UnInstallEp", "").lower() == (folder_win + "\\uninst.ep").lower(),
          "registry UnInstallEp %r" % reg.get("UnInstallEp"))
    check(not os.path.exists(record_path(d, ".product")), "the product was started (the package asked for UserStartup)")

    console = r.console()
    for want in ("velqor-setup: silent installation started", "velqor-setup: downloading the package",
                 "velqor-setup: running the package", "velqor-setup: progress 100%",
                 "velqor-setup: installed in " + folder_win):
        check(want in console, "console line %r missing in %r" % (want, console))
    progress = [int(l.split()[-1][:-1]) for l in console if l.startswith("velqor-setup: progress ")]
    check(progress == sorted(set(progress)) and all(p % 10 == 0 for p in progress),
          "progress lines %r are not rising tens" % progress)

    lines = log_lines(s.wine, log_win)
    check(lines[0].startswith("command line: ") and "-silent=true" in lines[0], "first log line %r" % lines[0])
    for want in ("DL_TYPE=1", "DL_CODE_START", "INSTALL_SUCCESS", "installed in " + folder_win,
                 "result: installed (exit code 0)", "exit code 0"):
        check(want in lines, "log line %r missing" % want)

    recs = task_names(s, expect=["下载器启动", "开始下载大包", "大包下载完毕", "安装成功"])
    user = sorted({(r.get("event"), event_name(r)) for r in recs if r.get("event") in USER_EVENTS})
    check(not user, "a silent run sent user events %r" % user)
    for rec in recs:
        ab = rec.get("properties", {}).get("zmc_ab")
        check(rec.get("event") != "ZmEventTask" or ab == "IN", "%s has zmc_ab %r" % (event_name(rec), ab))


def case_instdir(s):
    base = os.path.join(s.wine.prefix, "drive_c", "VelqorSilent")
    d = s.prepare("instdir", extra_folders=[base])
    folder_win = "C:\\VelqorSilent\\Deep Folder\\Velqor"
    # A log that cannot be opened (its folder would have to be where a file is)
    # is reported once and does not stop the installation.
    blocker = os.path.join(d, "blocker")
    with open(blocker, "w") as f:
        f.write("x")
    r = s.run(d, ["-silent=true", "-instdir=" + folder_win, "-dsc=false", "-ssc=false",
                  "-log=" + Wine.win_path(blocker) + "\\setup.log"])
    check_result(r, 0, "installed")
    raw, args = read_record(record_path(d))
    check("-dsc=false" in args and "-ssc=false" in args, "shortcut flags in %r" % raw)
    check(raw.endswith(" /D=" + folder_win), "install folder in %r" % raw)
    installed_files_check(s.wine, folder_win)
    check(s.wine.reg_values().get("InstallPath") == folder_win, "registry %r" % s.wine.reg_values())
    failed = [l for l in r.console() if "cannot be opened" in l]
    check(len(failed) == 1, "the unusable log file was reported %d times" % len(failed))


def case_autostart(s):
    d = s.prepare("autostart")
    r = s.run(d, ["-silent=true"], env_extra={"VELQOR_DEMO_MODE": "in-autostart"})
    check_result(r, 0, "installed")
    product = record_path(d, ".product")
    wait_until("the demo product to start (%s)" % product, lambda: os.path.exists(product), 30)


def case_check_net(s):
    # IsCheckNet: the connectivity query (COM on the installer's main thread)
    # runs before the download. What Wine answers depends on the machine's
    # interfaces: usable, and the installation goes on, or not, and the run ends
    # with its own code before anything is requested.
    d = s.prepare("check-net")
    ini = os.path.join(d, "ZelmoxInstallerConfig.ini")
    with open(ini) as f:
        text = f.read()
    with open(ini, "w", newline="\r\n") as f:
        f.write(text.replace("IsCheckNet=false", "IsCheckNet=true"))
    r = s.run(d, ["-silent=true"])
    console = r.console()
    check("velqor-setup: checking the network" in console, "no connectivity check in %r" % console)
    if r.code == 6:
        check_result(r, 6, "no usable network connection")
        check_no_package(s, d)
    else:
        check_result(r, 0, "installed")
        check(console.index("velqor-setup: checking the network") < console.index("velqor-setup: downloading the package"),
              "the check did not come first: %r" % console)


def case_bad_command_line(s):
    d = s.prepare("bad-command-line")
    log_win = Wine.win_path(os.path.join(d, "setup.log"))
    r = s.run(d, ["-silent=True", "-instdir=relative\\folder", "-log=" + log_win])
    check_result(r, 2, "bad command line")
    console = r.console()
    check("velqor-setup: bad command line: -silent=True is not understood: write true or false" in console,
          "console %r" % console)
    check(any("-instdir=relative\\folder is not a full path" in l for l in console), "console %r" % console)
    lines = log_lines(s.wine, log_win)
    check(any(l.startswith("bad command line: -silent=True") for l in lines), "log %r" % lines)
    check_no_package(s, d)
    # Refused before any window: a windowed run with a silent-only option too.
    r2 = s.run(d, ["-dsc=false"], name="windowed")
    check(r2.code == 2, "windowed run with -dsc: exit code %s" % r2.code)


def case_download_failure(s):
    port = int(e2e.http_get(s.server.url + "/_deadport").decode().strip())
    d = s.prepare("download-failure", download_url="http://127.0.0.1:%d/r/%s" % (port, PACKAGE))
    r = s.run(d, ["-silent=true"])
    check_result(r, 8, "the package could not be downloaded")
    check(not os.path.exists(record_path(d)), "the package ran")
    check("InstallPath" not in s.wine.reg_values(), "an installation was recorded")
    task_names(s, expect=["开始下载大包", "下载失败原因"])


def case_verification_failure(s):
    d = s.prepare("verification-failure", download_url="%s/m/wrongmd5/r/%s" % (s.server.url, PACKAGE))
    r = s.run(d, ["-silent=true"])
    check_result(r, 9, "the downloaded package failed its MD5 check")
    gets = s.package_requests()
    check(len(gets) >= 2, "the download was not retried once: %r" % gets)
    check(not os.path.exists(record_path(d)), "a package with the wrong digest ran")


def case_package_failure(s):
    d = s.prepare("package-failure")
    r = s.run(d, ["-silent=true"], env_extra={"VELQOR_DEMO_MODE": "in-fail"})
    check_result(r, 11, "the package reported a failure")
    check("velqor-setup: the package says: 安装包安装失败" in r.console(), "console %r" % r.console())
    check(os.path.exists(record_path(d)), "the package did not run")
    check("InstallPath" not in s.wine.reg_values(), "a failed installation was recorded")
    task_names(s, expect=["安装失败原因"])


# The package is checked before it runs: the download server's packages are
# plain HTTP, so a valid signature is required, and with Publisher configured
# it must be that publisher's.
OTHER_PACKAGE = PACKAGE.replace("package", "package-other")
TRUST_CASES = [
    # name, served file, Publisher (None: not configured), exit code, console text
    ("unsigned-package", "gen-1100000-7.bin", None, 8, "package signature check failed: unsigned"),
    ("other-publisher", OTHER_PACKAGE, "Velqor Test Publisher", 8,
     'wrong publisher, signed by "Other Test Publisher"'),
    ("configured-publisher", PACKAGE, "Velqor Test Publisher", 0, "installed"),
]


def case_package_trust(s):
    for name, served, publisher, code, text in TRUST_CASES:
        d = s.prepare(name, download_url="%s/r/%s" % (s.server.url, served), publisher=publisher)
        r = s.run(d, ["-silent=true"])
        check(r.code == code, "%s: exit code %s, expected %d; console %r" % (name, r.code, code, r.console()))
        check(text in "\n".join(r.console()), "%s: console %r" % (name, r.console()))
        if code != 0:
            check(not os.path.exists(record_path(d)), "%s: the refused package ran" % name)
            check("InstallPath" not in s.wine.reg_values(), "%s: an installation was recorded" % name)


def prepare_installed_copy(s, folder_win, with_product=False):
    return e2e.prepare_installed_copy(s, folder_win, with_product)


def case_previous_version(s):
    old = "C:\\VelqorOldSilent"
    d = s.prepare("previous-version", extra_folders=[s.wine.unix_path("C:\\") + "/VelqorOldSilent"])
    prepare_installed_copy(s, old)
    r = s.run(d, ["-silent=true"])
    check_result(r, 0, "installed")
    check("velqor-setup: removing the previous version" in r.console(), "console %r" % r.console())
    uninstall = record_path(d, ".uninstall")
    check(os.path.exists(uninstall), "the previous version's uninstaller did not run")
    raw, _ = read_record(uninstall)
    check(raw.endswith("_?=" + old), "uninstaller command line %r" % raw)
    raw, _ = read_record(record_path(d))
    check(raw.endswith(" /D=" + old), "the installed copy was not updated in its place: %r" % raw)


def case_removal_failure(s):
    old = "C:\\VelqorOldFail"
    d = s.prepare("removal-failure", extra_folders=[s.wine.unix_path("C:\\") + "/VelqorOldFail"])
    prepare_installed_copy(s, old)
    r = s.run(d, ["-silent=true"], env_extra={"VELQOR_DEMO_MODE": "un-fail"})
    check_result(r, 7, "the previous version could not be removed")
    check(os.path.exists(record_path(d, ".uninstall")), "the uninstaller did not run")
    check(s.package_requests() == [], "the package was downloaded after a failed removal")


def case_invalid_folder(s):
    d = s.prepare("invalid-folder")
    r = s.run(d, ["-silent=true", "-instdir=C:\\" + "\\".join(["x" * 60] * 5)])  # over 260 characters
    check_result(r, 5, "the install folder cannot be created")
    check_no_package(s, d)


def case_product_running(s):
    old = "C:\\VelqorRunningSilent"
    d = s.prepare("product-running", extra_folders=[s.wine.unix_path("C:\\") + "/VelqorRunningSilent"])
    folder = prepare_installed_copy(s, old, with_product=True)
    product = e2e.start_running_product(s, folder, d)
    try:
        r = s.run(d, ["-silent=true"])
        check_result(r, 3, "the product or its old uninstaller is running")
        check(s.package_requests() == [], "the package was requested")
        check(not os.path.exists(record_path(d)), "the package ran")
        check(not os.path.exists(record_path(d, ".uninstall")), "the running product's uninstaller ran")
    finally:
        product.kill()
        product.wait()


def case_second_instance(s):
    # About 2.3 MB at 400 kB/s: the first installer runs for several seconds.
    d = s.prepare("second-instance", download_url="%s/m/rate=400000/r/%s" % (s.server.url, PACKAGE))
    first = s.run(d, ["-silent=true"], wait=False)
    wait_until("the first installer's download", lambda: s.package_requests(), 60)
    second = s.run(d, ["-silent=true"], name="second")
    check(second.code == -1, "the second instance ended with %s, expected -1" % second.code)
    check(second.console() == [], "the second instance wrote %r" % second.console())
    first.wait(120)
    check_result(first, 0, "installed")


CASES = [
    ("success", case_success),
    ("instdir", case_instdir),
    ("autostart", case_autostart),
    ("check-net", case_check_net),
    ("bad-command-line", case_bad_command_line),
    ("download-failure", case_download_failure),
    ("verification-failure", case_verification_failure),
    ("package-failure", case_package_failure),
    ("package-trust", case_package_trust),
    ("previous-version", case_previous_version),
    ("removal-failure", case_removal_failure),
    ("invalid-folder", case_invalid_folder),
    ("product-running", case_product_running),
    ("second-instance", case_second_instance),
]


def end_runs(suite):
    for run in suite.runs:
        run.kill()
    suite.runs = []


def main():
    args = e2e.suite_arguments(__doc__, "silent-e2e-out")
    return e2e.run_suite("silent e2e", CASES, args, Suite, end_runs, "output")

if __name__ == "__main__":
    sys.exit(main())
