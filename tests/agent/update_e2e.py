#!/usr/bin/env python3
"""The update agent end to end under Wine: a product folder with the plain
agent (packed by korvix-pack), its ".original" file and the stand-in product;
an update source (a folder, or a local HTTP server on 127.0.0.1) with the
".info" file and version 2 of the setup, whose stand-in engine reports what
it was started with. boxclick.exe answers the agent's boxes and ui_keysend.exe
the inform dialog; nothing waits on a person.

usage: update_e2e.py BUILD_DIR CASE     (BUILD_DIR holds host/ and win/)
"""
import glob, os, shutil, subprocess, sys, threading, time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "e2e"))
sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "http"))
import e2e  # noqa: E402
import servers  # noqa: E402
from e2e import Failure, agent_sets, shown, wait_for, winpath  # noqa: E402

TOKEN = "DEMO-T"
LINK_SCHEME = "korvixtest"
TEXTS = {  # the agent's texts in the ".original" file
    "s11": "A new version of PROG_NAME is ready.", "s12": " It will be installed.",
    "s13": " Download it?", "s14": "Install PROG_NAME now?", "s15": "Please close PROG_NAME.",
    "s16": "PROG_NAME is up to date.", "s17": "<P>Start it again?", "s34": "News", "s35": "Open",
}


def scramble_token(plain, a=2, b=1, first=0x33, key=0x5A):
    """The scrambled token form that the agent's token test reads."""
    body = [a, b] + [0x41] * a + list(plain.encode()) + [0x42] * (b - 1)
    raw = [first] + [x ^ key for x in body] + [0, first ^ key]
    raw[-2] = sum(v for i, v in enumerate(raw) if i != len(raw) - 2) & 0xFF
    return "".join(chr(ord(ch) + 50) for ch in "".join("%02X" % v for v in raw))


def ini(sections):
    return "".join(f"[{s}]\r\n" + "".join(f"{k}={v}\r\n" for k, v in keys.items())
                   for s, keys in sections.items()).encode("latin-1")


def read_ini(path):
    values, section = {}, ""
    for line in open(path, "rb").read().decode("latin-1").splitlines():
        if line.startswith("["):
            section = line.strip("[] ")
        elif "=" in line:
            k, v = line.split("=", 1)
            values[(section, k.strip())] = v.strip()
    return values


class Product:
    """A product folder: the plain agent, its descriptors, the stand-in
    product and the update source."""

    def __init__(self, c, name, http=False):
        self.c, self.dir = c, c.path(name)
        self.srv = os.path.join(self.dir, "srv")
        os.makedirs(self.srv)
        self.server = servers.files(self.srv) if http else None
        self.base = servers.url(self.server) if http else winpath(self.srv)
        self.agent = os.path.join(self.dir, "DemoAgent.exe")
        self.copy = os.path.join(self.dir, "X_DemoAgent.exe")
        self.product = os.path.join(self.dir, "Product.exe")
        self.product_report = os.path.join(self.dir, "product.txt")
        shutil.copy(c.exe("standin_product"), self.product)
        c.build(self.agent, agent_sets(self.base, TOKEN))
        self.write_original(1)
        self.update = c.pack("Update2.exe", {"news.txt": c.write("news.txt", b"version 2")}, (10, 0, 0),
                             [f"update.token={TOKEN}"])
        shutil.move(self.update, os.path.join(self.srv, "Update2.exe"))
        self.update = os.path.join(self.srv, "Update2.exe")

    def close(self):
        if self.server:
            self.server.shutdown()
            self.server.server_close()

    def write_original(self, version):
        with open(os.path.join(self.dir, "Demo.original"), "wb") as f:
            f.write(ini({"OriginalSetup": {"VersionOriginal": version, "Stamp": 1, "ProgramName": "Demo",
                                           "ProbeSecondsInterval": -1, "ReAskSecondsInterval": 0},
                         "Directories": {"TargetDir": winpath(self.dir)}, "AutoUpdate": TEXTS}))

    def write_info(self, stamp=2, inform=None, **keys):
        new = {"DownloadURL_UPDATE": self.base, "NameOfUpdateFile": "Update2.exe",
               "SizeOfUpdateFile": os.path.getsize(self.update), "VersionNew": 2, "Stamp": stamp,
               "ProgramName": "Demo", "RunningProcess": "<InstallDir>\\Product.exe",
               "ShutDownMethod": "Using WM_CLOSE", "RestartProcess": 1, "InformFinish": 1}
        new.update(keys)
        sections = {"NewSetup": new}
        if inform is not None:
            sections["General"] = {"AutoInform": 1}
            sections["AutoInform"] = inform
        with open(os.path.join(self.srv, "Demo.info"), "wb") as f:
            f.write(ini(sections))

    def original(self):
        return read_ini(os.path.join(self.dir, "Demo.original"))

    def log(self):
        return "".join(open(p, "rb").read().decode("latin-1") for p in glob.glob(os.path.join(self.dir, "*.log")))

    # -- processes
    def plain(self, *switches):
        """Runs the plain agent with switches until it ends (bounded)."""
        self.c.wait(self.c.start(self.agent, *switches), 40)

    def count(self, name):
        return self.c.wine("tasklist", "/FO", "csv").lower().count('"%s"' % name.lower())

    def running(self, name):
        return self.count(name) > 0

    def start_product(self, *flags):
        if os.path.exists(self.product_report):
            os.remove(self.product_report)
        self.c.start(self.product, "--report", winpath(self.product_report), *flags)
        wait_for(lambda: "ready" in self.product_lines(), 20)

    def product_lines(self):
        if not os.path.exists(self.product_report):
            return []
        return open(self.product_report, "rb").read().decode("latin-1").splitlines()

    def stop_product(self):
        self.c.wine("taskkill", "/F", "/IM", "Product.exe")

    def start_copy(self):
        """The plain agent starts the transient copy, which waits for requests."""
        self.plain("/DELAY=0")
        if not wait_for(lambda: self.running("X_DemoAgent.exe"), 20):
            raise Failure("the transient copy did not start")
        time.sleep(1.5)  # its window, which receives the requests

    def stop_copy(self):
        self.plain("/STOP=0")
        if not wait_for(lambda: not self.running("X_DemoAgent.exe"), 20):
            raise Failure("the transient copy did not stop")


def answer_boxes(c, answers):
    """Answers boxes in order in the background: each item is (caption,
    on_box) and boxclick.exe presses that caption on the next box, after
    on_box() has run while it is open. Returns the thread and the lines seen
    (title=, text=, clicked)."""
    lines = []

    def run():
        for caption, on_box in answers:
            delay = 5000 if on_box else 600
            proc = c.clicker(caption, 60, 1, delay)
            for raw in proc.stdout:
                lines.append(raw.decode("latin-1").rstrip("\r\n"))
                if on_box and lines[-1].startswith("text="):
                    on_box()
            proc.wait(90)
    thread = threading.Thread(target=run, daemon=True)
    thread.start()
    return thread, lines


def install_tasklist(c):
    """Our tasklist in the prefix's system folder (Wine's prints nothing)."""
    system = c.wine("winepath", "-u", "C:\\windows\\system32")
    shutil.copy(os.path.join(os.path.dirname(c.bin), "agent_fixture", "tasklist.exe"),
                os.path.join(system, "tasklist.exe"))
    c.wine("reg", "add", "HKCU\\Software\\Wine\\DllOverrides", "/v", "tasklist.exe", "/d", "native", "/f")


def update_run(c, p, method, product_flags=(), answers=(), restarted=True, stopping=True,
               before_probe=None):
    """One update from version 1 to 2 by the copy, which the test asks to
    probe; checks the engine's command line, the shut-down, the descriptor
    keys and the product's restart."""
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
    wait_for(lambda: p.original().get(("OriginalSetup", "VersionOriginal")) == "2", 20)
    o = p.original()
    c.check(o.get(("OriginalSetup", "VersionOriginal")) == "2" and o.get(("OriginalSetup", "Stamp")) == "2",
            f"{method}: VersionOriginal and Stamp are 2")
    c.check(all(o.get(("OriginalSetup", k)) for k in
                ("ProbeSecondsLast", "__ProbeSecondsLast", "ReAskSecondsLast", "__ReAskSecondsLast")),
            f"{method}: the time keys and their twins are written")
    c.check(not os.path.exists(os.path.join(p.dir, "Update2.exe")) and os.path.exists(p.update),
            f"{method}: the downloaded setup is deleted after the run, the source stays")
    # One product runs afterwards: the one started again, or the one that was
    # not shut down (and no second one).
    if restarted:
        wait_for(lambda: p.count("Product.exe") == 1, 10)
    else:
        time.sleep(3)
    c.check(p.count("Product.exe") == 1,
            f"{method}: the product {'is started again' if restarted else 'runs on, not started twice'}")
    if stopping:
        c.check(".. WinExec - " not in p.log() and p.running("X_DemoAgent.exe"),
                f"{method}: a copy with a quit countdown does not restart the agent")
    return seen


def shut_down_runs(c, plans):
    """Version 1 to 2 once per plan (method, product flags, messages the
    product reports, restarted), each box answered as a user would."""
    install_tasklist(c)
    for n, (method, flags, received, restarted) in enumerate(plans):
        p = Product(c, f"p{n}")
        try:
            answers = [("&OK", p.stop_product)] if method == "Issue a Message Box" else []
            answers.append(("&Yes" if restarted else "&OK", None))
            seen = update_run(c, p, method, flags, answers, restarted)
            lines = p.product_lines()
            c.check(all(r in lines for r in received) and (restarted or "exit" not in lines),
                    f"{method} {flags}: the product received {received} ({lines})")
            if method == "Issue a Message Box":
                c.check(shown(seen, "Please close Product.exe."),
                        "the close request names the product's program file")
            p.stop_product()
            p.stop_copy()
        finally:
            p.close()


def case_update_methods(c):
    """Each shut-down method on a product that obeys (the message box is
    answered after the user closed the product)."""
    shut_down_runs(c, [("Using WM_CLOSE", (), ["WM_CLOSE 15 255", "exit"], True),
                       ("Using WM_QUIT", (), ["WM_QUIT 15 255", "exit"], True),
                       ("Using Terminate Process", (), [], True),
                       ("Issue a Message Box", ("--ignore-close", "--ignore-quit"), [], True),
                       ("Don't Shut Down", (), [], False)])


def case_update_refused(c):
    """A product that refuses WM_CLOSE or WM_QUIT: after a second the setup
    runs anyway, and the product runs on and is not started twice."""
    shut_down_runs(c, [("Using WM_CLOSE", ("--ignore-close",), ["WM_CLOSE 15 255"], False),
                       ("Using WM_QUIT", ("--ignore-quit",), ["WM_QUIT 15 255"], False)])


def case_update_restart(c, http=False):
    """The whole cycle: the update, the plain agent started anew, the old copy
    gone with its file, a fresh copy, and a second probe that finds nothing
    newer."""
    install_tasklist(c)
    p = Product(c, "restart", http=http)
    try:
        # A controller sets override 4 (InformFinish) to 1 in the running copy,
        # which the restart carries over to the next copy.
        update_run(c, p, "Using WM_CLOSE", answers=[("&Yes", None)], stopping=False,
                   before_probe=lambda: c.wine(c.exe("agentctl"), "--agent", "DemoAgent.exe",
                                               "--no-register", "--set", "24=1"))
        c.check(wait_for(lambda: not os.path.exists(p.copy), 15), "the old X_ copy deletes itself")
        c.check(wait_for(lambda: os.path.exists(p.copy) and p.running("X_DemoAgent.exe"), 30),
                "the plain agent, started anew, starts a fresh copy")
        log = p.log()
        overrides = "|255|255|255|255|1|255|255|255|"
        c.check(shown([log], "/_ZZ=99 /WAIT=10 /TRANSIENT=" + overrides, "/TRANSIENTx=" + overrides),
                "the plain agent is restarted with /_ZZ=99 /WAIT=10, the overrides reach the new copy")
        p.write_info(stamp=3)  # published again: passes the stamp, not the version
        p.plain("/TEST=1")
        c.check(wait_for(lambda: "GetOkToPerformAU = 3" in p.log(), 20),
                "a second probe finds nothing newer (level 3)")
        p.stop_product()
        p.stop_copy()
    finally:
        p.close()


def case_update_http(c):
    case_update_restart(c, http=True)


def case_update_declined(c):
    """No before the download: nothing is fetched or shut down. No before the
    install: the setup stays downloaded, the product untouched. The copy goes
    on running after both."""
    install_tasklist(c)
    p = Product(c, "declined")
    try:
        p.write_info(RequestConfirmationBeforeDownload=1, RequestConfirmationBeforeInstall=1)
        p.start_product()
        p.start_copy()
        boxes, seen = answer_boxes(c, [("&No", None)])
        p.plain("/TEST=1")
        boxes.join(60)
        c.check(shown(seen, "A new version of Demo is ready.", "Download it?"),
                f"the download question ({seen})")
        time.sleep(3)
        c.check(not os.path.exists(os.path.join(p.dir, "Update2.exe")), "No: nothing is downloaded")
        p.write_info(stamp=3, RequestConfirmationBeforeDownload=1, RequestConfirmationBeforeInstall=1)
        boxes, seen = answer_boxes(c, [("&Yes", None), ("&No", None)])
        p.plain("/TEST=1")
        boxes.join(90)
        c.check(shown(seen, "Install Demo now?"), "the install question")
        time.sleep(3)
        c.check(os.path.exists(os.path.join(p.dir, "Update2.exe")), "No: the downloaded setup stays")
        c.check(c.report() is None and p.product_lines() == ["ready"],
                f"nothing is shut down or installed ({p.product_lines()})")
        c.check(p.original().get(("OriginalSetup", "VersionOriginal")) == "1", "VersionOriginal stays 1")
        c.check(p.running("X_DemoAgent.exe"), "the agent goes on")
        p.stop_product()
        p.stop_copy()
    finally:
        p.close()


def case_inform(c):
    """AutoInform: a page with a link (dialog; its button opens the link), an
    empty page with a link (opened at once), both empty (nothing)."""
    install_tasklist(c)
    links = c.path("links.txt")
    recorder = os.path.join(c.bin, "ui_linkrecorder.exe")
    c.wine("reg", "add", f"HKCR\\{LINK_SCHEME}", "/v", "URL Protocol", "/d", "", "/f")
    c.wine("reg", "add", f"HKCR\\{LINK_SCHEME}\\shell\\open\\command", "/ve", "/d",
           f'"{winpath(recorder)}" "{winpath(links)}" "%1"', "/f")
    p = Product(c, "inform")
    try:
        p.start_copy()
        for stamp, body, link, shows in [(2, "Version 2 brings <b>news</b>.", "korvixtest:news", "dialog"),
                                         (3, "", "korvixtest:direct", "link"),
                                         (4, "", "", "nothing")]:
            page = "x|" + scramble_token(TOKEN) + "|a|b|" + body if body else "x|" + scramble_token(TOKEN) + "|a|"
            c.write("News.txt", page.encode())
            shutil.move(c.path("News.txt"), os.path.join(p.srv, "News.txt"))
            p.write_original(1)
            p.write_info(stamp=stamp, inform={"NameOfInformFile": "News.txt", "DownloadURL_INFORM": link,
                                              "SizeOfInformFile": len(page)})
            ended = p.log().count("PerformAutoInform() - END")
            keys = shows == "dialog" and subprocess.Popen(
                [c.wine_run, c.exe("ui_keysend"), "class:KRichEditBox", "30000", "vk:13"],
                stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
            p.plain("/TEST=1")
            dialog = keys.wait(60) == 0 if keys else False  # the key sender found the dialog
            done = wait_for(lambda: p.log().count("PerformAutoInform() - END") > ended, 30)
            opened = wait_for(lambda: os.path.exists(links) and link in open(links).read(), 10) if link else False
            version = p.original().get(("OriginalSetup", "VersionOriginal"))
            c.check(done and dialog == (shows == "dialog") and opened == bool(link)
                    and version == ("1" if shows == "nothing" else "2"),
                    f"{shows}: dialog {dialog}, link opened {opened}, VersionOriginal {version}")
        p.stop_copy()
    finally:
        p.close()


def case_demo(c, http=False):
    """The demo of scripts/demo-update.sh: one update of the demo product
    from version 1 to 2, told step by step."""
    install_tasklist(c)
    p = Product(c, "demo", http=http)
    try:
        print(f"== product folder {p.dir}\n   the plain agent DemoAgent.exe, Demo.original (version 1),"
              f" the stand-in product Product.exe\n== update source {p.base}: Demo.info, Update2.exe")
        update_run(c, p, "Using WM_CLOSE", answers=[("&Yes", None)], stopping=False)
        print("== the product received: " + ", ".join(p.product_lines()))
        c.check(wait_for(lambda: os.path.exists(p.copy) and p.running("X_DemoAgent.exe"), 30),
                "the plain agent, started anew, runs a fresh copy")
        print("== Demo.original now:")
        for (section, key), value in sorted(p.original().items()):
            if section == "OriginalSetup":
                print(f"   {key}={value}")
        print("== the agent's log (its main steps):")
        steps = ("CommandLine=", "GetOkToPerformAU", "PerformAutoUpdate", "Download ", "Shut Down",
                 "ReStartAutoUpdateExe", "WinExec", "DeleteMySelf")
        for line in p.log().splitlines():
            if any(step in line for step in steps):
                print("   " + line)
        p.stop_product()
        p.stop_copy()
    finally:
        p.close()


def case_demo_http(c):
    case_demo(c, http=True)


if __name__ == "__main__":
    sys.exit(e2e.main(globals()))
