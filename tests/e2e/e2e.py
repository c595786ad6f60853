#!/usr/bin/env python3
"""End-to-end runs of setups under Wine: boxclick.exe answers the message
boxes; the stand-in engine's report tells what it received and saw.

usage: e2e.py BUILD_DIR CASE     (BUILD_DIR holds host/ and win/)
"""
import glob, hashlib, os, shutil, struct, subprocess, sys, time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import container  # noqa: E402

FORCE_KEY = "HKCU\\Software\\Brannock\\Korvix\\SpanDisk"


class Failure(Exception):
    pass


def winpath(path):
    return "Z:" + os.path.abspath(path).replace("/", "\\")


def set_time(path, t):
    stamp = time.mktime(time.localtime()[:3] + t + (0, 0, -1))
    os.utime(path, (stamp, stamp))


def wait_for(cond, timeout):
    end = time.time() + timeout
    while not cond() and time.time() < end:
        time.sleep(0.2)
    return cond()


def shown(lines, *parts):
    return all(any(p in line for line in lines) for p in parts)


def remove(path):
    """Removes a file, a link (itself) or a folder tree, whichever is there."""
    if os.path.islink(path) or os.path.isfile(path):
        os.unlink(path)
    elif os.path.isdir(path):
        shutil.rmtree(path)


class Case:
    """One work folder, its setups and runs; checks print and collect failures."""

    def __init__(self, build, name):
        self.bin = os.path.join(build, "win", "bin")
        self.wine_run = os.path.join(build, "win", "wine-run.sh")
        self.pack_tool = os.path.join(build, "host", "bin", "korvix-pack")
        self.stub, self.engine = self.exe("stub"), self.exe("standin_engine")
        self.dir = os.path.join(build, "win", "e2e", name)
        shutil.rmtree(self.dir, ignore_errors=True)
        os.makedirs(self.dir)
        self.report_path = self.path("report.txt")
        self.problems = []
        self._temp = None

    def exe(self, name): return os.path.join(self.bin, name + ".exe")

    def path(self, name): return os.path.join(self.dir, name)

    def check(self, cond, text):
        print(("ok    " if cond else "FAIL  ") + text)
        if not cond:
            self.problems.append(text)
        return cond

    def wine(self, *args):
        r = subprocess.run([self.wine_run, *args], capture_output=True, timeout=60)
        return r.stdout.decode("latin-1").strip()

    def folder(self, h, m, s):
        """The extraction folder of a setup with that time of day, as a Unix path."""
        if self._temp is None:
            self._temp = self.wine("winepath", "-u", self.wine("cmd", "/c", "echo", "%TEMP%"))
        return os.path.join(self._temp, "SETUP_%d" % (h * 2048 + m * 32 + s // 2))

    def write(self, name, data, t=None):
        with open(self.path(name), "wb") as f:
            f.write(data)
        if t:
            set_time(self.path(name), t)
        return self.path(name)

    def engine_cfg(self, **settings):
        settings.setdefault("report", winpath(self.report_path))
        return self.write("engine.cfg", "".join(f"{k}={v}\r\n" for k, v in settings.items()).encode())

    def engine_records(self):
        """The file records of the stand-in engine and its engine.cfg, for setups built byte by byte."""
        return [container.file_record("Engine.exe*", open(self.engine, "rb").read()),
                container.file_record("engine.cfg", open(self.engine_cfg(), "rb").read())]

    def build(self, out, sets=(), t=None, args=()):
        """korvix-pack build with the settings `sets`; the time of day `t` (h, m, s) names its folder."""
        cmd = [self.pack_tool, "build", "--stub", self.stub, "-o", out, "--seed", "7", "-q", *args]
        r = subprocess.run(cmd + [a for s in sets for a in ("--set", s)], capture_output=True, text=True)
        if r.returncode != 0:
            raise Failure("korvix-pack failed: " + r.stdout + r.stderr)
        if t:
            set_time(out, t)
        return out

    def pack(self, name, files, t, sets=(), volume_size=None, **cfg):
        """Packs the files, the stand-in engine and its engine.cfg of `cfg`."""
        args = ["--engine", "Engine.exe=" + self.engine, "--file", "engine.cfg=" + self.engine_cfg(**cfg)]
        args += [a for n, p in files.items() for a in ("--file", f"{n}={p}")]
        args += ["--volume-size", str(volume_size)] if volume_size else []
        return self.build(self.path(name), sets, t, args)

    def start(self, setup, *args):
        return subprocess.Popen([self.wine_run, setup, *args], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)

    def wait(self, proc, timeout=90):
        try:
            return proc.wait(timeout)
        except subprocess.TimeoutExpired:
            proc.kill()
            proc.wait()
            raise Failure("the setup did not end within %d s" % timeout)

    def clicker(self, answer, seconds=60, count=1, delay_ms=300):
        """boxclick.exe pressing `answer` on `count` boxes; stdout: title=, text= of each."""
        return subprocess.Popen([self.wine_run, self.exe("boxclick"), str(seconds), answer, str(count),
                                 str(delay_ms)], stdout=subprocess.PIPE, stderr=subprocess.DEVNULL)

    def run(self, setup, *args, answer=None, count=1, delay_ms=300, on_box=None, timeout=90):
        """Runs a setup, boxclick.exe pressing `answer` and on_box() running while
        each box is open. Returns the exit code, the seconds taken and boxclick's lines."""
        clicker = answer and self.clicker(answer, 60, count, delay_ms)
        t0 = time.time()
        proc = self.start(setup, *args)
        lines = []
        for raw in clicker.stdout if clicker else ():
            lines.append(raw.decode("latin-1").rstrip("\r\n"))
            if on_box and lines[-1].startswith("text="):
                on_box()
        rc = self.wait(proc, timeout)
        return rc, time.time() - t0, lines

    def report(self):
        """The engine's report, consumed; None when the engine did not run."""
        if not os.path.exists(self.report_path):
            return None
        with open(self.report_path, "rb") as f:
            pairs = [line.partition("=")[::2] for line in f.read().decode("latin-1").splitlines()]
        os.remove(self.report_path)
        rep = {k: v for k, v in pairs if k != "file"}
        rep["files"] = {n: (int(size), digest) for n, size, digest in
                        (v.split("\t") for k, v in pairs if k == "file")}
        return rep

    def ran(self, text, files={}, cond=True):
        """The engine's report, checked to be there (and `cond`), with `files` byte-identical in it."""
        rep = self.report()
        if not self.check(rep is not None and cond, text):
            return None
        for name, path in files.items():
            data = open(path, "rb").read()
            got = rep["files"].get(name)
            self.check(got == (len(data), hashlib.sha256(data).hexdigest()),
                       f"{name}: {len(data)} bytes arrive byte-identical (engine saw {got and got[0]})")
        return rep


# ---------------------------------------------------------------- cases

def case_plain(c):
    """A whole run; the .INFO file's shortcuts go once the engine took over, only ".lnk" files themselves."""
    files = {name: c.write(name, data) for name, data in (
        ("data.bin", bytes((i * 7919 + (i >> 3) * 31) & 0xFF for i in range(300000))), ("empty.dat", b""),
        ("zeros.img", b"\x00" * 1_000_000), ("all bytes.raw", bytes(range(256)) * 64))}

    def shortcuts(start_up, check):
        c.write("Product.original", f"[UnInstall]\r\nStartUpLink={winpath(start_up)}\r\n"
                                    f"CheckforNewUpdateLink={winpath(check)}\r\n".encode())
    links = c.write("StartUp.lnk", b"link"), c.write("Check.lnk", b"link")
    shortcuts(*links)
    c.write("Product.info", b"[NewSetup]\r\nRemoveStartUpShortcut=1\r\nRemoveCheckForNewUpdateShortcut=1\r\n")
    sets = ["update.info_file=Product.info"]
    kept = c.pack("Kept.exe", {}, (12, 34, 58), sets, keepatom=1)
    setup = c.pack("Setup.exe", files, (12, 34, 56), sets + ["options.make_agent_copy=1", "update.agent_exe=Agent.exe"],
                   exit=42, sleep_ms=300, dialog_ms=2500, copyto=winpath(c.path("seen")))

    rc, _, _ = c.run(kept)
    c.check(c.report() is not None and rc == 0 and all(map(os.path.exists, links)),
            f"atom kept: the engine ran, exit code 0 (got {rc}), the shortcuts stay")

    rc, elapsed, _ = c.run(setup)
    rep = c.ran("the engine ran", files)
    c.check(rc == 42 and rep and rep["exe"].upper().endswith("\\SETUP_25692\\ENGINE.EXE"),
            f"exit code 42 (got {rc}), the engine runs from SETUP_25692 ({rep and rep['exe']})")
    c.check(os.path.exists(c.report_path + ".dialog") and elapsed > 2.5,
            f"the stub waited for the engine's dialog window to go ({elapsed:.1f} s)")
    out = subprocess.run([c.pack_tool, "list", c.path("seen/Agent.exe")], capture_output=True, text=True).stdout
    c.check("agent (byte 69)              1" in out, "the Agent.exe copy reads as an agent")
    c.check(not os.path.exists(c.folder(12, 34, 56)) and not any(map(os.path.exists, links)),
            "the extraction folder and the shortcuts are gone")
    os.symlink(c.write("victim.txt", b"keep"), links[1])
    shortcuts(c.write("precious.txt", b"keep"), links[1])
    c.run(setup)
    c.check(c.report() and os.path.exists(c.path("precious.txt")) and os.path.exists(c.path("victim.txt")),
            "the engine took over; a start-up entry that is no .lnk file, and the file a .lnk link leads to, stay")


def case_twice(c):
    """The same setup started while it runs: the second ends at once with 0."""
    setup = c.pack("Setup.exe", {}, (12, 35, 0), exit=42, sleep_ms=6000)
    first = c.start(setup)
    time.sleep(3.0)
    t0 = time.time()
    rc2 = c.wait(c.start(setup), 30)
    second, still = time.time() - t0, first.poll() is None
    rc1 = c.wait(first)
    c.check(rc2 == 0 and still and second < 6.0 and rc1 == 42,
            f"the second ends at once with 0 ({second:.1f} s, exit code {rc2}), the first passes on 42 ({rc1})")


def case_space_question(c):
    """Option bit 0 asks about the temporary drive before anything is extracted."""
    setup = c.pack("Setup.exe", {}, (12, 37, 0), ["options.ask_temp_drive=1"], exit=3)
    folder, seen = c.folder(12, 37, 0), []
    rc, _, lines = c.run(setup, answer="&No", delay_ms=1200,
                         on_box=lambda: seen.append(os.listdir(folder) if os.path.isdir(folder) else []))
    c.check(shown(lines, "Estimated space required") and seen == [[]],
            f"the question, nothing extracted before the answer ({seen})")
    c.check(c.report() is None and rc == 0 and not os.path.exists(folder),
            f"No: no engine, exit code 0 (got {rc}), the folder is gone")
    rc, _, _ = c.run(setup, answer="&Yes")
    rep = c.ran(f"Yes: the engine ran, exit code 3 (got {rc})", {}, rc == 3)
    c.check(rep and rep["show"] == "5", "Yes: the engine starts shown")
    rc, _, _ = c.run(setup, "/hide", timeout=40)
    rep = c.ran(f"/hide: the engine ran without a question, exit code 3 (got {rc})", {}, rc == 3)
    c.check(rep and rep["show"] == "0", "/hide: the engine starts hidden")


def multi_volume_setup(c, t, relaunch=False):
    """A setup cut into volumes; with the span relaunch the chain starts at ".001"."""
    stub_size = os.path.getsize(c.stub)
    size = 60000 if relaunch else 150000
    files = {f"part{i}.bin": c.write(f"part{i}.bin", os.urandom(size)) for i in range(6)}
    setup = c.pack("Setup.exe", files, t, ["options.span_relaunch=1"] if relaunch else [],
                   volume_size=2 * stub_size + 152000 if relaunch else stub_size + 300000)
    return setup, files, sorted(f for f in os.listdir(c.dir) if f.startswith("Setup.exe."))


def case_volumes(c):
    """The prompt for a missing volume (or any, with ForcePrompt "1"): OK goes on, Cancel stops."""
    setup, files, _ = multi_volume_setup(c, (12, 40, 0))
    vol2 = c.path("Setup.exe.002")
    os.rename(vol2, vol2 + ".away")
    rc, _, lines = c.run(setup, answer="&OK", delay_ms=1500, on_box=lambda: os.rename(vol2 + ".away", vol2))
    c.check(shown(lines, "Please insert DISK #2"), "missing volume 2: the prompt for DISK #2")
    c.ran(f"the volume appeared, OK went on: the engine ran, exit code 0 (got {rc})", files, rc == 0)

    c.wine("reg", "add", FORCE_KEY, "/v", "ForcePrompt", "/t", "REG_SZ", "/d", "1", "/f")
    try:
        _, _, lines = c.run(setup, answer="&Cancel")
    finally:
        c.wine("reg", "delete", FORCE_KEY, "/v", "ForcePrompt", "/f")
    c.check(shown(lines, "DISK #2") and c.report() is None and not os.path.exists(c.folder(12, 40, 0)),
            "ForcePrompt 1: the prompt for DISK #2 that is there; Cancel: no engine, the folder is gone")


def case_bad_crc(c):
    """Span-relaunch volumes small enough to carry a checksum: a failing one stops
    the setup with nothing of it or later volumes extracted."""
    names = [f"v{v}.bin" for v in (1, 2, 3)]
    recs = [[container.file_record(n, os.urandom(18000))] for n in names] + [c.engine_records()]
    exe, vols = container.build_span_chain(open(c.stub, "rb").read(), recs)
    setup = c.write("Setup.exe", exe, (12, 41, 0))
    for i, v in enumerate(vols):
        c.write("Setup.exe.%03d" % (i + 1), v)

    folder = c.folder(12, 41, 0)
    for bad in (1, 3):
        image = bytearray(vols[bad - 1])
        image[-74 + 17] ^= 1  # the stored checksum
        c.write("Setup.exe.%03d" % bad, image)
        seen = []
        _, _, lines = c.run(setup, answer="&OK", delay_ms=1500,
                            on_box=lambda: seen.append(sorted(os.listdir(folder)) if os.path.isdir(folder) else []))
        c.check(wait_for(lambda: not os.path.exists(folder), 60), f"volume {bad}: the copy ends and its folder goes")
        before = sorted(["Y_Setup.exe"] + names[:bad - 1])
        c.check(shown(lines, "Bad CRC!") and c.report() is None and seen == [before],
                f"volume {bad} bad: the Bad CRC box, no engine, exactly the earlier volumes extracted ({seen})")
        c.write("Setup.exe.%03d" % bad, vols[bad - 1])


def case_hostile(c):
    """Hostile entry names (failed writes; the engine still runs), a record
    reaching past the end of a truncated volume, a corrupted compressed record."""
    stub, good = open(c.stub, "rb").read(), c.engine_records()
    evil = [container.file_record(n, b"evil") for n in ("..\\evil1.txt", "sub\\..\\..\\evil2.txt", "\\evil3.txt",
                                                         "C:\\evil4.txt", "...\\evil5.txt", "evil6.txt:hidden",
                                                         "CON.txt", "trail.", "aux")]
    setup = c.write("Evil.exe", container.build_exe(stub, evil + good), (12, 43, 0))
    _, _, lines = c.run(setup, answer="&OK")
    temp = os.path.dirname(c.folder(12, 43, 0))
    places = (temp, os.path.dirname(temp), temp.split("/drive_c/")[0] + "/drive_c", "/")
    leaked = [p for d in places for p in glob.glob(os.path.join(d, "evil*"))]
    c.check(shown(lines, "Unable to save Extracted File!") and not leaked and c.report() is not None,
            f"the write error, nothing written outside the folder ({leaked}), the engine ran")

    cut = container.file_record("huge.bin", os.urandom(4000), compress=False)
    cut = struct.pack("<i", -50_000_000) + cut[4:]
    setup = c.write("Cut.exe", container.build_exe(stub, good[1:] + [cut] + good[:1]), (12, 43, 2))
    _, elapsed, lines = c.run(setup, answer="&OK", timeout=40)
    c.check(shown(lines, "Bad CRC!") and elapsed < 20 and c.report() is None,
            f"truncated volume: the Bad CRC box, the end within seconds ({elapsed:.1f} s), no engine")

    text = bytearray(container.file_record("text.txt", b"compressible text line\r\n" * 5000))
    for k in range(len(text) // 2, len(text) // 2 + 20):
        text[k] ^= 0x5A
    setup = c.write("Bad.exe", container.build_exe(stub, [bytes(text)] + good), (12, 43, 4))
    rc, _, lines = c.run(setup, answer="&OK", timeout=40)
    c.check(shown(lines, "title=") and rc == 222 and c.report() is None
            and not os.path.exists(c.folder(12, 43, 4)),
            f"corrupted record: an error box, exit code 222 (got {rc}), no engine, no temporary folder")


def case_links(c):
    """Links where the setup extracts: nothing deleted or written through them; an
    old folder that cannot be removed completely (Wine cannot remove a link to a
    folder, which it reads as a reparse point) stops the setup with exit code 223."""
    victim = c.path("victim")
    os.makedirs(os.path.join(victim, "sub"))
    kept = {os.path.join(victim, "v.txt"): b"victim", os.path.join(victim, "sub", "s.txt"): b"sub"}
    for path, data in kept.items():
        open(path, "wb").write(data)
    setup = c.pack("Setup.exe", {}, (12, 44, 0))
    folder = c.folder(12, 44, 0)

    def stops(label):
        rc, _, lines = c.run(setup, answer="&OK")
        c.check(all(os.path.exists(p) and open(p, "rb").read() == d for p, d in kept.items()),
                f"{label}: the victim keeps every file")
        c.check(shown(lines, "Unable to create Directory!") and rc == 223 and c.report() is None,
                f"{label}: the box, exit code 223 (got {rc}), no engine")

    remove(folder)
    os.symlink(victim, folder)
    stops("SETUP_ is a link to the victim")
    remove(folder)
    os.makedirs(folder)
    os.symlink(victim, os.path.join(folder, "folder link"))
    os.symlink(os.path.join(victim, "v.txt"), os.path.join(folder, "file link.txt"))
    stops("an old SETUP_ holds links to the victim")
    remove(folder)


def case_blank_temp(c):
    """The span relaunch under TEMP C:\\My Temp, with C:\\My.exe planted: programs
    start by full path; the engine sees the original setup; the copy goes."""
    drive_c = c.wine("winepath", "-u", "C:\\").rstrip("/")
    temp, planted, mark = os.path.join(drive_c, "My Temp"), os.path.join(drive_c, "My.exe"), c.path("planted.txt")
    try:
        remove(temp)
        os.makedirs(temp)
        shutil.copy(c.exe("boxclick"), planted)
        setup, files, _ = multi_volume_setup(c, (12, 45, 2), relaunch=True)
        rc, _, _ = c.run(c.exe("boxclick"), "--temp", "C:\\My Temp", winpath(mark), winpath(setup))
        wait_for(lambda: os.path.exists(c.report_path), 60)
        time.sleep(0.5)
        rep = c.ran(f"level 1 ended (exit code {rc}), the Y_ copy ran the engine", files)
        cmd = rep["cmdline"] if rep else ""
        c.check(rc == 0 and f'/OriginExe="{winpath(setup)}"' in cmd and cmd.count("/OriginExe=") == 1
                and "/Span" not in cmd, f"level 1 ends with 0; /OriginExe= once, no span switch ({cmd})")
        c.check(wait_for(lambda: not os.listdir(temp), 60), "the Y_ copy and its folder are gone afterwards")
        c.check(not os.path.exists(mark), "the planted C:\\My.exe never ran")
    finally:
        for path in (temp, planted):
            remove(path)


def case_entry_rules(c):
    """Refused engine and update-agent names write and start nothing, not even a
    program planted where the name points."""
    stub = open(c.stub, "rb").read()
    temp = os.path.dirname(c.folder(12, 46, 0))
    planted, planted_report = os.path.join(temp, "Engine.exe"), c.path("planted.txt")
    try:
        shutil.copy(c.engine, planted)
        open(os.path.join(temp, "engine.cfg"), "wb").write(f"report={winpath(planted_report)}\r\n".encode())
        records = [container.file_record("..\\Engine.exe*", open(c.engine, "rb").read()), c.engine_records()[1]]
        rc, _, _ = c.run(c.write("Refused.exe", container.build_exe(stub, records), (12, 46, 0)), answer="&OK")
        c.check(c.report() is None and not os.path.exists(planted_report) and rc == 0,
                f"a refused engine entry starts nothing (exit code {rc})")
    finally:
        remove(planted)
        remove(os.path.join(temp, "engine.cfg"))

    headers = (container.HEADERS[0], b"|srv|Product.info|..\\..\\evil_agent.exe|||")
    setup = c.write("Net.exe", container.build_exe(stub, [], headers=headers, flags=b"\x01\x00\x01"), (12, 46, 2))
    _, _, lines = c.run(setup, answer="&OK", count=2, timeout=40)
    places = (temp, os.path.dirname(temp), os.path.dirname(os.path.dirname(temp)))
    leaked = [p for d in places for p in glob.glob(os.path.join(d, "evil_agent.exe"))]
    c.check(not leaked and shown(lines, "Unable to save Extracted File!"),
            f"the agent name ..\\..\\evil_agent.exe writes nothing ({leaked}) and counts as a failed write")


def agent_sets(server, token, agent=1):
    """The settings of the demo product's agent (DemoAgent.exe, Demo.info)."""
    return [f"options.agent={agent}", "options.agent_log=1", "update.server=" + server,
            "update.info_file=Demo.info", "update.agent_exe=DemoAgent.exe", "update.token=" + token]


def main(cases=None, make_case=Case):
    """Runs the case named by the command line among `cases` (a module's globals)."""
    build, name = os.path.abspath(sys.argv[1]), sys.argv[2]
    c = make_case(build, name)
    try:
        (cases or globals())["case_" + name](c)
    except Failure as e:
        c.check(False, str(e))
    return 1 if c.problems else 0


if __name__ == "__main__":
    sys.exit(main())
