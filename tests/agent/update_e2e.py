#!/usr/bin/env python3
"""The update agent end to end under Wine. A product folder holds the plain
agent packed by korvix-pack and its ".original" file; the update source (a
folder, or a local web server on 127.0.0.1) holds the ".info" file and
version 2 of the setup, whose stand-in engine reports what it was started
with. The agent log tells what each probe decided; boxclick.exe answers the
agent's boxes and ui_keysend.exe the inform dialog.

usage: update_e2e.py BUILD_DIR CASE     (BUILD_DIR holds host/ and win/)
"""
import configparser, datetime, os, re, shutil, subprocess, sys, threading, time

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path[:0] = [os.path.join(HERE, "..", "e2e"), os.path.join(HERE, "..", "http")]
import e2e  # noqa: E402
import servers  # noqa: E402
from e2e import Failure, shown, wait_for, winpath  # noqa: E402

TOKEN = "DEMO-T"
AGENT = "DemoAgent.exe"
LINK_SCHEME = "korvixtest"
SHUT_DOWN = {"RunningProcess": "<InstallDir>\\Product.exe", "ShutDownMethod": "Using WM_CLOSE",
             "RestartProcess": 1, "InformFinish": 1}
TEST_KEY = "HKCU\\Software\\Brannock\\Korvix\\AutoUpdate"
TIME = (10, 20, 30)  # the agent's time of day (and that of the setup beside it)
TEXTS = {"s15": "Please close PROG_NAME.", "s16": "PROG_NAME is up to date.", "s17": "<P>Start it again?",
         "s22": "Check PROG_NAME now?", "s34": "News", "s35": "Open"}  # the agent's, in the ".original" file


def ini(sections):
    return "".join(f"[{s}]\r\n" + "".join(f"{k}={v}\r\n" for k, v in keys.items())
                   for s, keys in sections.items()).encode("latin-1")


class ClassicFiles(servers.QuietFiles):
    """The file server with the error page of the common web servers: the
    HTTP client keeps no status, the agent knows a failed fetch by its page."""
    error_message_format = "<HTML><HEAD><TITLE>%(code)d %(message)s</TITLE></HEAD><BODY></BODY></HTML>\r\n"


class Product:
    """A product folder with the agent and the stand-in product Product.exe,
    which reports the messages it receives; the update source srv (served over
    HTTP or not) holds Setup2.exe of version 2. The end of "with" stops the
    product, the agent's copy and the server."""

    def __init__(self, c, name="demo product", http=False):  # a blank: the copy starts by its full path
        self.c, self.dir = c, c.path(name)
        self.srv = os.path.join(self.dir, "srv")
        os.makedirs(self.srv)
        self.server = http and servers._start(lambda *a: ClassicFiles(*a, directory=self.srv))
        self.base = servers.url(self.server) if http else winpath(self.srv)
        self.agent = os.path.join(self.dir, AGENT)
        self.copy = os.path.join(self.dir, "X_" + AGENT)
        self.update = os.path.join(self.srv, "Setup2.exe")
        c.build(self.agent, e2e.agent_sets(self.base, TOKEN), TIME)
        self.product = os.path.join(self.dir, "Product.exe")
        self.product_report = os.path.join(self.dir, "product.txt")
        shutil.copy(c.exe("standin_product"), self.product)
        self.write_original()
        news = c.write("news.txt", b"version 2")
        shutil.move(c.pack("Setup2.exe", {"news.txt": news}, (10, 0, 0), [f"update.token={TOKEN}"]), self.update)

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        self.stop_product()
        self.stop()
        if self.server:
            self.server.shutdown()
            self.server.server_close()

    def write_original(self, **keys):
        keys = {"VersionOriginal": 1, "Stamp": 1, "ProgramName": "Demo", "ProbeSecondsInterval": -1, **keys}
        with open(os.path.join(self.dir, "Demo.original"), "wb") as f:
            f.write(ini({"OriginalSetup": keys, "Directories": {"TargetDir": winpath(self.dir)},
                         "AutoUpdate": TEXTS}))

    def write_info(self, inform=None, **keys):
        new = {"DownloadURL_UPDATE": self.base, "NameOfUpdateFile": "Setup2.exe",
               "SizeOfUpdateFile": os.path.getsize(self.update), "VersionNew": 2, "Stamp": 2, **SHUT_DOWN, **keys}
        sections = {"NewSetup": new}
        if inform is not None:
            sections.update(General={"AutoInform": 1}, AutoInform=inform)
        with open(os.path.join(self.srv, "Demo.info"), "wb") as f:
            f.write(ini(sections))

    def original(self):
        """The keys of [OriginalSetup] in the ".original" file."""
        ini = configparser.ConfigParser(interpolation=None, strict=False)
        ini.optionxform = str
        try:  # read while the agent writes it: not complete yet
            ini.read(os.path.join(self.dir, "Demo.original"), encoding="latin-1")
        except configparser.Error:
            return {}
        return dict(ini["OriginalSetup"]) if ini.has_section("OriginalSetup") else {}

    def version(self):
        return self.original().get("VersionOriginal")

    def log(self):
        path = os.path.join(self.dir, "X_DemoAgent.log")
        return open(path, "rb").read().decode("latin-1") if os.path.exists(path) else ""

    def decisions(self):
        return [line.split("GetOkToPerformAU = ", 1)[1] for line in self.log().splitlines()
                if "GetOkToPerformAU = " in line]

    # -- the agent
    def plain(self, *switches):
        """Runs the plain agent with switches; it ends after forwarding them."""
        self.c.wait(self.c.start(self.agent, *switches), 40)

    def ctl(self, *args):
        r = subprocess.run([self.c.wine_run, self.c.exe("agentctl"), "--agent", AGENT, "--wait-ms", "300",
                            "--no-register", *args], capture_output=True, timeout=60)
        return r.stdout.decode("latin-1").replace("\r", "")

    def copy_running(self):
        return "get 7" in self.ctl("--get", "7")

    def start_copy(self, *switches):
        """The plain agent starts the copy, which then answers requests."""
        self.plain("/DELAY=0", *switches)
        if not wait_for(self.copy_running, 20):
            raise Failure("the agent's copy did not start")

    def stop(self):
        """Ends a running copy (quit countdown 0) and waits until its file is gone."""
        if os.path.exists(self.copy):
            self.plain("/STOP=0")
        return wait_for(lambda: not os.path.exists(self.copy), 20)

    # -- the stand-in product
    def stop_product(self):
        self.c.wine("taskkill", "/F", "/IM", "Product.exe")

    def products_running(self):
        return self.c.wine("tasklist", "/FO", "csv").lower().count('"product.exe"')

    def start_product(self, *flags):
        self.c.start(self.product, "--report", winpath(self.product_report), *flags)
        wait_for(lambda: "ready" in self.product_lines(), 20)

    def product_lines(self):
        if not os.path.exists(self.product_report):
            return []
        return open(self.product_report, "rb").read().decode("latin-1").splitlines()


def scramble_token(plain, a=2, b=1, first=0x33, key=0x5A):
    """The scrambled token form that the agent's token test reads."""
    body = [a, b] + [0x41] * a + list(plain.encode()) + [0x42] * (b - 1)
    raw = [first] + [x ^ key for x in body] + [0, first ^ key]
    raw[-2] = sum(v for i, v in enumerate(raw) if i != len(raw) - 2) & 0xFF
    return "".join(chr(ord(ch) + 50) for ch in "".join("%02X" % v for v in raw))


def answer_boxes(c, answers):
    """Presses each (caption, on_box) on the next box in the background, after
    on_box() ran while it is open. Returns the thread and the lines seen."""
    lines = []

    def run():
        for caption, on_box in answers:
            proc = c.clicker(caption, 60, 1, 5000 if on_box else 600)
            for raw in proc.stdout:
                lines.append(raw.decode("latin-1").rstrip("\r\n"))
                if on_box and lines[-1].startswith("text="):
                    on_box()
            proc.wait(90)
    thread = threading.Thread(target=run, daemon=True)
    thread.start()
    return thread, lines


def tasklist_case(build, name):  # our tasklist in the prefix: Wine's prints nothing
    c = e2e.Case(build, name)
    system = c.wine("winepath", "-u", "C:\\windows\\system32")
    shutil.copy(os.path.join(os.path.dirname(c.bin), "agent_fixture", "tasklist.exe"),
                os.path.join(system, "tasklist.exe"))
    c.wine("reg", "add", "HKCU\\Software\\Wine\\DllOverrides", "/v", "tasklist.exe", "/d", "native", "/f")
    return c


def update_run(c, p, method, product_flags=(), answers=(), restarted=True, stopping=True,
               before_probe=None):
    """One update from version 1 to 2 by the copy, asked to probe; checks the
    engine's command line, the descriptor keys, the clean-up and the product."""
    p.write_info(ShutDownMethod=method)
    p.start_product(*product_flags)
    p.start_copy()
    if stopping:  # a copy told to quit later is not restarted after the update
        p.plain("/STOP=600")
    if before_probe:
        before_probe()
    boxes, seen = answer_boxes(c, answers)
    p.plain("/TEST=1")
    if not wait_for(lambda: os.path.exists(c.report_path), 60):
        raise Failure(f"{method}: the new setup's engine did not run")
    time.sleep(0.5)
    rep = c.report()
    boxes.join(60)
    c.check(f'/OriginalInfoFile="{winpath(p.dir)}\\Demo.info"' in rep["cmdline"] and "news.txt" in rep["files"],
            f"{method}: the new setup runs with /OriginalInfoFile= ({rep['cmdline']})")
    wait_for(lambda: p.version() == "2", 20)
    o = p.original()
    c.check(o.get("VersionOriginal") == o.get("Stamp") == "2" and all(o.get(k) for k in (
            "ProbeSecondsLast", "__ProbeSecondsLast", "ReAskSecondsLast", "__ReAskSecondsLast")),
            f"{method}: VersionOriginal and Stamp are 2, the time keys and their twins are written")
    c.check(not os.path.exists(os.path.join(p.dir, "Setup2.exe")) and os.path.exists(p.update),
            f"{method}: the downloaded setup is deleted after the run, the source stays")
    if restarted:
        wait_for(lambda: p.products_running() == 1, 10)
    else:
        time.sleep(3)
    c.check(p.products_running() == 1,
            f"{method}: the product {'is started again' if restarted else 'runs on, not started twice'}")
    if stopping:
        c.check(".. WinExec - " not in p.log() and p.copy_running(),
                f"{method}: a copy with a quit countdown does not restart the agent")
    return seen


def case_update_methods(c):
    """Version 1 to 2 by each shut-down method on a product that obeys (the
    message box is answered after the user closed the product), and on one
    that refuses WM_CLOSE: after a second the setup runs anyway, and the
    product runs on and is not started twice. Each plan: method, product
    flags, the messages the product reports, restarted."""
    plans = [("Using WM_CLOSE", (), ["WM_CLOSE 15 255", "exit"], True),
             ("Using WM_QUIT", (), ["WM_QUIT 15 255", "exit"], True),
             ("Using Terminate Process", (), [], True),
             ("Issue a Message Box", ("--ignore-close", "--ignore-quit"), [], True),
             ("Don't Shut Down", (), [], False),
             ("Using WM_CLOSE", ("--ignore-close",), ["WM_CLOSE 15 255"], False)]
    for n, (method, flags, received, restarted) in enumerate(plans):
        with Product(c, f"p{n}") as p:
            answers = [("&OK", p.stop_product)] if method == "Issue a Message Box" else []
            answers.append(("&Yes" if restarted else "&OK", None))
            seen = update_run(c, p, method, flags, answers, restarted)
            lines = p.product_lines()
            c.check(all(r in lines for r in received) and (restarted or "exit" not in lines),
                    f"{method} {flags}: the product received {received} ({lines})")
            if method == "Issue a Message Box":
                c.check(shown(seen, "Please close Product.exe."),
                        "the close request names the product's program file")


def case_update_restart(c, http=False):
    """The whole cycle: the update, the plain agent started anew, the old copy
    gone with its file, a fresh copy, and a second probe that finds nothing
    newer."""
    with Product(c, "restart", http=http) as p:
        # A controller sets override 4 (InformFinish) to 1 in the running copy,
        # which the restart carries over to the next copy.
        update_run(c, p, "Using WM_CLOSE", answers=[("&Yes", None)], stopping=False,
                   before_probe=lambda: p.ctl("--set", "24=1"))
        c.check(wait_for(lambda: not os.path.exists(p.copy), 15), "the old X_ copy deletes itself")
        c.check(wait_for(lambda: os.path.exists(p.copy) and p.copy_running(), 30),
                "the plain agent, started anew, starts a fresh copy")
        overrides = "|255|255|255|255|1|255|255|255|"
        c.check(shown([p.log()], "/_ZZ=99 /WAIT=10 /TRANSIENT=" + overrides, "/TRANSIENTx=" + overrides),
                "the plain agent is restarted with /_ZZ=99 /WAIT=10, the overrides reach the new copy")
        p.write_info(Stamp=3)  # published again: passes the stamp, not the version
        p.plain("/TEST=1")
        c.check(wait_for(lambda: "GetOkToPerformAU = 3" in p.log(), 20),
                "a second probe finds nothing newer (level 3)")


def case_inform(c):
    """AutoInform: a page with a link (dialog; its button opens the link), or
    neither (nothing shown, the version stays)."""
    links = c.path("links.txt")
    recorder = os.path.join(c.bin, "ui_linkrecorder.exe")
    c.wine("reg", "add", f"HKCR\\{LINK_SCHEME}", "/v", "URL Protocol", "/d", "", "/f")
    c.wine("reg", "add", f"HKCR\\{LINK_SCHEME}\\shell\\open\\command", "/ve", "/d",
           f'"{winpath(recorder)}" "{winpath(links)}" "%1"', "/f")
    with Product(c, "inform") as p:
        p.start_copy()
        for stamp, body, link in [(2, "Version 2 brings <b>news</b>.", "korvixtest:news"), (3, "", "")]:
            page = "x|" + scramble_token(TOKEN) + "|a|" + (f"b|{body}" if body else "")
            with open(os.path.join(p.srv, "News.txt"), "w") as f:
                f.write(page)
            p.write_original()
            p.write_info(Stamp=stamp, inform={"NameOfInformFile": "News.txt", "DownloadURL_INFORM": link,
                                              "SizeOfInformFile": len(page)})
            ended = p.log().count("PerformAutoInform() - END")
            keys = body and subprocess.Popen(
                [c.wine_run, c.exe("ui_keysend"), "class:KRichEditBox", "30000", "vk:13"],
                stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
            p.plain("/TEST=1")
            dialog = keys.wait(60) == 0 if keys else False  # the key sender found the dialog
            done = wait_for(lambda: p.log().count("PerformAutoInform() - END") > ended, 30)
            opened = wait_for(lambda: os.path.exists(links) and link in open(links).read(), 10) if link else False
            version = p.version()
            c.check(done and dialog == bool(body) and opened == bool(link) and version == ("2" if body else "1"),
                    f"page {stamp}: dialog {dialog}, link opened {opened}, VersionOriginal {version}")


def case_demo(c, http=False):
    """Not a test: case_update_restart for scripts/demo-update.sh, its main steps printed."""
    case_update_restart(c, http)
    print("== Demo.original now:\n" + open(c.path("restart/Demo.original"), encoding="latin-1").read())
    print("== the agent's log (its main steps):")
    steps = ("CommandLine=", "GetOkToPerformAU", "PerformAutoUpdate", "Download ", "Shut Down",
             "ReStartAutoUpdateExe", "WinExec", "DeleteMySelf")
    for line in open(c.path("restart/X_DemoAgent.log"), encoding="latin-1"):
        if any(step in line for step in steps):
            print("   " + line.rstrip())


def case_demo_http(c):
    case_demo(c, http=True)


# ---------------------------------------------------------------- the probe cycle

def shot(p):
    """Asks the running copy for a probe and returns its decision text."""
    before = len(p.decisions())
    p.ctl("--set", "31=1")
    wait_for(lambda: len(p.decisions()) > before, 20)
    got = p.decisions()
    return got[-1] if len(got) > before else None


def registry(c, **values):
    for name, value in values.items():
        c.wine("reg", "add", TEST_KEY, "/v", name, "/t", "REG_SZ", "/d", value, "/f")


def day(date):
    return date.strftime("%d-%b-%Y").upper()


def case_beside_setup(c):
    """A copy of the same date as a setup running beside it ends while the
    setup's engine works: the setup's extraction folder stays; the copy
    deletes its own file. The copy reads the overrides it was given
    ("/TRANSIENT=" -> "/TRANSIENTx="): asking before a probe makes a shot
    ask the check-now question."""
    with Product(c) as p:
        setup = c.pack("Setup.exe", {"data.txt": c.write("data.txt", b"product data\r\n" * 100)}, TIME,
                       sleep_ms=12000)
        data = os.path.join(c.folder(*TIME), "data.txt")
        running = c.start(setup)
        try:
            c.check(wait_for(lambda: os.path.exists(data), 30), "the setup extracted into its folder")
            p.start_copy("/TRANSIENT=|1|")
            clicker = c.clicker("&No", 20)
            p.ctl("--shot")
            c.check("now?" in clicker.communicate(timeout=40)[0].decode("latin-1"),
                    "override from /TRANSIENTx=: a shot asks the check-now question first")
            time.sleep(1.5)
            c.check(p.decisions() == [], "answered No: no probe")
            c.check(p.stop(), "/STOP=0: the copy ends and deletes its own file")
            c.check(os.path.exists(data), "the setup's folder of the same date stays")
            c.check(c.wait(running, 60) == 0 and c.report() is not None, "the setup's engine ran to its end")
        finally:
            if running.poll() is None:
                running.kill()


def case_refusals_http(c):
    """A local web server as the source; one copy asked to probe while the
    source and the .original change between probes: every refusal level,
    then level 6 with a setup of another update token: "Bad Secret Token!" is
    shown in the background all the same, the fetched file is deleted and
    nothing is installed."""
    with Product(c, http=True) as p:
        p.start_copy()
        size = os.path.getsize(p.update)
        steps = [
            ("no .INFO", lambda: None, "0 - Error downloading .INFO file"),
            ("no .ORIGINAL", lambda: (p.write_info(), os.remove(os.path.join(p.dir, "Demo.original"))),
             "1 - Error reading .ORIGINAL file"),
            ("same stamp", lambda: (p.write_original(), p.write_info(Stamp=1)), "2 - Too early for retesting"),
            ("same version", lambda: p.write_info(VersionNew=1), "3 - New version is not higher"),
            ("ValidVersions", lambda: p.write_info(ValidVersions="3,4"), "4 - \"Valid for version\" mismatch"),
            ("size +100", lambda: p.write_info(SizeOfUpdateFile=size + 100), "5 - Download file size error"),
        ]
        for name, prepare, expected in steps:
            prepare()
            got = shot(p)
            c.check(got is not None and got.startswith(expected), f"{name}: {expected} (got {got})")
        c.check("HttpSize=" + str(size) in p.log(), "the size was asked of the server")
        c.build(p.update, e2e.agent_sets("x", "SOMEONE-ELSE", 0), TIME)
        p.write_info()
        clicker = c.clicker("&OK", 25)
        got = shot(p)
        box = clicker.communicate(timeout=60)[0].decode("latin-1")
        c.check(got and got.startswith("6 - ") and "Bad Secret Token!" in box, f"a foreign setup is refused ({got})")
        c.check(not os.path.exists(os.path.join(p.dir, "Setup2.exe")) and p.version() == "1",
                "the fetched file is deleted, the version stays 1")


def case_test_mode(c):
    """Test mode from the registry: with today's date the copy probes every
    5 seconds from the test folder; with yesterday's date it is off (the
    hour's interval holds)."""
    test_src = c.path("testsrc")
    os.makedirs(test_src)
    # Not due for an hour, unless test mode shortens the interval to 5 s.
    now = int((datetime.datetime.now() - datetime.datetime(1899, 12, 30)).total_seconds())
    today = datetime.date.today()
    try:
        with Product(c) as p:
            p.write_info(Stamp=1)
            os.replace(os.path.join(p.srv, "Demo.info"), os.path.join(test_src, "Demo.info"))
            p.write_original(ProbeSecondsInterval=3600, ProbeSecondsLast=now)
            registry(c, TestMode="1", TestModeDate=day(today - datetime.timedelta(days=1)),
                     TestModeURL=winpath(test_src))
            p.start_copy()
            time.sleep(7)
            c.check(p.decisions() == [], "yesterday's date: test mode off, no probe within the interval")
            p.stop()

            registry(c, TestModeDate=day(today))
            p.start_copy()
            wait_for(lambda: len(p.decisions()) >= 2, 20)
            got = p.decisions()
            c.check(len(got) >= 2 and got[0].startswith("2 - "),
                    f"today's date: probes every 5 s from the test folder ({got})")
    finally:
        c.wine("reg", "delete", TEST_KEY, "/f")


def case_controller(c):
    """ProbeSecondsInterval 0: one probe, then none. agentctl's registration
    is answered with 50 and 51; "/STOP=2" on the plain agent quits the copy
    two ticks later with the notification 43."""
    with Product(c) as p:
        p.write_info(Stamp=1)
        p.write_original(ProbeSecondsInterval=0)
        p.plain("/DELAY=0")
        wait_for(p.decisions, 15)
        time.sleep(4)
        c.check(len(p.decisions()) == 1, f"interval 0: one probe ({len(p.decisions())})")

        out = c.path("watch.txt")
        watcher = c.start(c.exe("agentctl"), "--agent", AGENT, "--no-register", "--out", winpath(out),
                          "--wait-ms", "20000")
        read = lambda: open(out, "rb").read().decode("latin-1") if os.path.exists(out) else ""  # noqa: E731
        named = wait_for(lambda: re.search(r"window (\d+) message (\d+)", read()), 20)
        if c.check(named, "agentctl named its window"):
            p.plain("/WM_MSG=%s:%s" % named.groups())
            time.sleep(2)
        p.plain("/STOP=2")
        c.wait(watcher, 40)
        text = read()
        c.check(" notify 50 " in text and " notify 51 1125" in text, "/WM_MSG= registration answered by 50 and 51")
        c.check(" notify 43 0" in text, "the quit countdown ends the loop (43)")
        c.check(wait_for(lambda: not os.path.exists(p.copy), 20), "the copy deleted its file")


if __name__ == "__main__":
    sys.exit(e2e.main(globals(), tasklist_case))
