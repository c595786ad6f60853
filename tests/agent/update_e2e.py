#!/usr/bin/env python3
"""Updates end to end under Wine: version 2 of the setup in the update
source, whose stand-in engine reports what it was started with, and the
stand-in product running in the product folder. boxclick.exe answers the
agent's boxes and ui_keysend.exe the inform dialog; nothing waits on a person.

usage: update_e2e.py BUILD_DIR CASE     (BUILD_DIR holds host/ and win/)
"""
import os, shutil, subprocess, sys, threading, time

import agentcase
from agentcase import Failure, e2e, shown, wait_for, winpath

TOKEN = "DEMO-T"
LINK_SCHEME = "korvixtest"
SHUT_DOWN = {"RunningProcess": "<InstallDir>\\Product.exe", "ShutDownMethod": "Using WM_CLOSE",
             "RestartProcess": 1, "InformFinish": 1}


def scramble_token(plain, a=2, b=1, first=0x33, key=0x5A):
    """The scrambled token form that the agent's token test reads."""
    body = [a, b] + [0x41] * a + list(plain.encode()) + [0x42] * (b - 1)
    raw = [first] + [x ^ key for x in body] + [0, first ^ key]
    raw[-2] = sum(v for i, v in enumerate(raw) if i != len(raw) - 2) & 0xFF
    return "".join(chr(ord(ch) + 50) for ch in "".join("%02X" % v for v in raw))


class Product(agentcase.Product):
    """A product folder with the stand-in product Product.exe, which reports
    the messages it receives, and Setup2.exe of version 2 in the source."""

    def __init__(self, c, name, http=False):
        super().__init__(c, name, TOKEN, http)
        self.product = os.path.join(self.dir, "Product.exe")
        self.product_report = os.path.join(self.dir, "product.txt")
        shutil.copy(c.exe("standin_product"), self.product)
        self.write_original()
        news = c.write("news.txt", b"version 2")
        shutil.move(c.pack("Setup2.exe", {"news.txt": news}, (10, 0, 0), [f"update.token={TOKEN}"]), self.update)

    def __exit__(self, *exc):
        self.stop_product()
        super().__exit__(*exc)

    def stop_product(self):
        self.c.wine("taskkill", "/F", "/IM", "Product.exe")

    def write_info(self, **keys):
        super().write_info(**{**SHUT_DOWN, **keys})

    def count(self, name):
        return self.c.wine("tasklist", "/FO", "csv").lower().count('"%s"' % name.lower())

    def start_product(self, *flags):
        self.c.start(self.product, "--report", winpath(self.product_report), *flags)
        wait_for(lambda: "ready" in self.product_lines(), 20)

    def product_lines(self):
        if not os.path.exists(self.product_report):
            return []
        return open(self.product_report, "rb").read().decode("latin-1").splitlines()


def answer_boxes(c, answers):
    """Answers boxes in order in the background: each item is (caption,
    on_box) and boxclick.exe presses that caption on the next box, after
    on_box() has run while it is open. Returns the thread and the lines seen
    (title=, text=, clicked)."""
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


def tasklist_case(build, name):
    """A case whose prefix has our tasklist (Wine's prints nothing)."""
    c = e2e.Case(build, name)
    system = c.wine("winepath", "-u", "C:\\windows\\system32")
    shutil.copy(os.path.join(os.path.dirname(c.bin), "agent_fixture", "tasklist.exe"),
                os.path.join(system, "tasklist.exe"))
    c.wine("reg", "add", "HKCU\\Software\\Wine\\DllOverrides", "/v", "tasklist.exe", "/d", "native", "/f")
    return c


def update_run(c, p, method, product_flags=(), answers=(), restarted=True, stopping=True,
               before_probe=None):
    """One update from version 1 to 2 by the copy, which the test asks to
    probe; checks the engine's command line, the descriptor keys, the
    clean-up and the product afterwards."""
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
    c.check(o.get("VersionOriginal") == "2" and o.get("Stamp") == "2",
            f"{method}: VersionOriginal and Stamp are 2")
    c.check(all(o.get(k) for k in
                ("ProbeSecondsLast", "__ProbeSecondsLast", "ReAskSecondsLast", "__ReAskSecondsLast")),
            f"{method}: the time keys and their twins are written")
    c.check(not os.path.exists(os.path.join(p.dir, "Setup2.exe")) and os.path.exists(p.update),
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
        c.check(".. WinExec - " not in p.log() and p.copy_running(),
                f"{method}: a copy with a quit countdown does not restart the agent")
    return seen


def shut_down_runs(c, plans):
    """Version 1 to 2 once per plan (method, product flags, messages the
    product reports, restarted), each box answered as a user would."""
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


def case_update_http(c):
    case_update_restart(c, http=True)


def case_inform(c):
    """AutoInform: a page with a link (dialog; its button opens the link), an
    empty page with a link (opened at once), both empty (nothing)."""
    links = c.path("links.txt")
    recorder = os.path.join(c.bin, "ui_linkrecorder.exe")
    c.wine("reg", "add", f"HKCR\\{LINK_SCHEME}", "/v", "URL Protocol", "/d", "", "/f")
    c.wine("reg", "add", f"HKCR\\{LINK_SCHEME}\\shell\\open\\command", "/ve", "/d",
           f'"{winpath(recorder)}" "{winpath(links)}" "%1"', "/f")
    with Product(c, "inform") as p:
        p.start_copy()
        for stamp, body, link, shows in [(2, "Version 2 brings <b>news</b>.", "korvixtest:news", "dialog"),
                                         (3, "", "korvixtest:direct", "link"),
                                         (4, "", "", "nothing")]:
            page = "x|" + scramble_token(TOKEN) + "|a|" + (f"b|{body}" if body else "")
            with open(os.path.join(p.srv, "News.txt"), "w") as f:
                f.write(page)
            p.write_original()
            p.write_info(Stamp=stamp, inform={"NameOfInformFile": "News.txt", "DownloadURL_INFORM": link,
                                              "SizeOfInformFile": len(page)})
            ended = p.log().count("PerformAutoInform() - END")
            keys = shows == "dialog" and subprocess.Popen(
                [c.wine_run, c.exe("ui_keysend"), "class:KRichEditBox", "30000", "vk:13"],
                stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
            p.plain("/TEST=1")
            dialog = keys.wait(60) == 0 if keys else False  # the key sender found the dialog
            done = wait_for(lambda: p.log().count("PerformAutoInform() - END") > ended, 30)
            opened = wait_for(lambda: os.path.exists(links) and link in open(links).read(), 10) if link else False
            version = p.version()
            c.check(done and dialog == (shows == "dialog") and opened == bool(link)
                    and version == ("1" if shows == "nothing" else "2"),
                    f"{shows}: dialog {dialog}, link opened {opened}, VersionOriginal {version}")


def case_demo(c, http=False):
    """Not a test: case_update_restart for scripts/demo-update.sh, its main
    steps printed."""
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


if __name__ == "__main__":
    sys.exit(e2e.main(globals(), tasklist_case))
