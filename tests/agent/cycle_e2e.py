#!/usr/bin/env python3
"""The agent's probe cycle end to end under Wine: the plain agent and its
copy steered by their switches and by agentctl, the update source a folder
or a local web server; boxclick.exe answers the boxes.

usage: cycle_e2e.py BUILD_DIR CASE     (BUILD_DIR holds host/ and win/)
"""
import datetime, os, re, sys, time

import agentcase
from agentcase import e2e, wait_for, winpath

TOKEN = "CYCLE-T"
TEST_KEY = "HKCU\\Software\\Brannock\\Korvix\\AutoUpdate"
TIME = (10, 20, 30)  # the agent's time of day (and that of the setup beside it)


def product(c, http=False):
    # A blank in the product folder: the agent starts its copy by the full path.
    return agentcase.Product(c, "demo product", TOKEN, http, TIME)


def publish(p, token=TOKEN, **info):
    """A version-2 setup packed with the given token, and its .info file."""
    p.c.build(p.update, e2e.agent_sets("x", token, 0), TIME)
    p.write_info(**info)


def shot(p):
    """Asks the running copy for a probe and returns its decision text."""
    before = len(p.decisions())
    p.ctl("--set", "31=1")
    wait_for(lambda: len(p.decisions()) > before, 20)
    got = p.decisions()
    return got[-1] if len(got) > before else None


def registry(c, **values):
    for name, value in values.items():
        if value is None:
            c.wine("reg", "delete", TEST_KEY, "/v", name, "/f")
        else:
            c.wine("reg", "add", TEST_KEY, "/v", name, "/t", "REG_SZ", "/d", value, "/f")


def day(date):
    return date.strftime("%d-%b-%Y").upper()


def case_beside_setup(c):
    """A copy of the same date as a setup running beside it ends while the
    setup's engine works: the setup's extraction folder stays; the copy
    deletes its own file. The copy reads the overrides it was given
    ("/TRANSIENT=" -> "/TRANSIENTx="): asking before a probe makes a shot
    ask the check-now question."""
    with product(c) as p:
        p.write_original()
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


def case_foreign_update(c):
    """An offer whose setup carries another update token, probed in the
    background: "Bad Secret Token!" is shown all the same, the fetched file
    is deleted and nothing is installed."""
    with product(c) as p:
        publish(p, token="SOMEONE-ELSE")
        p.write_original()
        clicker = c.clicker("&OK", 25)
        p.plain("/DELAY=0", "/TEST=1")
        box = clicker.communicate(timeout=60)[0].decode("latin-1")
        c.check(p.decisions()[:1] == ["6 - OK"], f"level 6 ({p.decisions()})")
        c.check("Bad Secret Token!" in box, "the foreign setup is refused with a box in the background")
        c.check(not os.path.exists(os.path.join(p.dir, "Setup2.exe")), "the fetched file is deleted")
        c.check(p.version() == "1", "the version stays 1")


def case_refusals_http(c):
    """A local web server as the source; one copy, probes asked through
    agentctl while the source and the .original change between them: every
    refusal level in turn, then the size boundary."""
    with product(c, http=True) as p:
        p.c.build(p.update, e2e.agent_sets("x", TOKEN, 0), TIME)
        p.write_original()
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
            ("size -100", lambda: p.write_info(SizeOfUpdateFile=size - 100), "5 - Download file size error"),
        ]
        for name, prepare, expected in steps:
            prepare()
            got = shot(p)
            c.check(got is not None and got.startswith(expected), f"{name}: {expected} (got {got})")
        c.check("HttpSize=" + str(size) in p.log(), "the size was asked of the server")


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
        with product(c) as p:
            publish(p, Stamp=1)
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
        registry(c, TestMode=None, TestModeDate=None, TestModeURL=None)


def case_controller(c):
    """ProbeSecondsInterval 0: one probe, then none until a shot is asked.
    agentctl's registration is answered with 50 and 51; "/STOP=2" on the
    plain agent quits the copy two ticks later with the notification 43."""
    with product(c) as p:
        publish(p, Stamp=1)
        p.write_original(ProbeSecondsInterval=0)
        p.plain("/DELAY=0")
        wait_for(p.decisions, 15)
        time.sleep(4)
        c.check(len(p.decisions()) == 1, f"interval 0: one probe ({len(p.decisions())})")
        c.check(shot(p) is not None, "code 31 still probes")

        # The controller registers through the plain agent's "/WM_MSG=".
        out = c.path("watch.txt")
        watcher = c.start(c.exe("agentctl"), "--agent", agentcase.AGENT, "--no-register", "--out", winpath(out),
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
    sys.exit(e2e.main(globals(), lambda build, name: e2e.Case(build, "cycle_" + name)))
