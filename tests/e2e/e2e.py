#!/usr/bin/env python3
"""End-to-end runs of setups built with korvix-pack, started under Wine as a
user would start them. Questions are answered by boxclick.exe (the key
sender), the setup engine is the stand-in engine, whose report tells what it
received and saw.

usage: e2e.py BUILD_DIR CASE     (BUILD_DIR holds host/ and win/; CASE or "all")
"""
import hashlib
import os
import queue
import shutil
import struct
import subprocess
import sys
import threading
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import container  # noqa: E402

STUB_TIMEOUT = 90
FIXED_PAUSES_S = 4.5  # 1000 + 500 + 1000 around the extraction, 1000 + 1000 around the engine


def winpath(path):
    return "Z:" + os.path.abspath(path).replace("/", "\\")


def sha(data):
    return hashlib.sha256(data).hexdigest()


class Failure(Exception):
    pass


class Env:
    def __init__(self, build):
        self.build = os.path.abspath(build)
        self.wine_run = os.path.join(self.build, "win", "wine-run.sh")
        self.bin = os.path.join(self.build, "win", "bin")
        self.stub = os.path.join(self.bin, "stub.exe")
        self.engine = os.path.join(self.bin, "standin_engine.exe")
        self.boxclick = os.path.join(self.bin, "boxclick.exe")
        self.viewer = os.path.join(self.bin, "kdebugview.exe")
        self.pack_tool = os.path.join(self.build, "host", "bin", "korvix-pack")
        self.root = os.path.join(self.build, "win", "e2e")
        self._temp = None

    # -- Wine helpers
    def wine(self, *args, timeout=60):
        r = subprocess.run([self.wine_run, *args], capture_output=True, timeout=timeout)
        return r.stdout.decode("latin-1")

    def temp_folder(self):
        """The Wine user's temporary folder, as a Unix path."""
        if self._temp is None:
            win = self.wine("cmd", "/c", "echo", "%TEMP%").strip()
            self._temp = self.wine("winepath", "-u", win).strip()
        return self._temp

    def set_force_prompt(self, value):
        key = "HKCU\\Software\\Brannock\\Korvix\\SpanDisk"
        if value is None:
            self.wine("reg", "delete", key, "/v", "ForcePrompt", "/f")
        else:
            self.wine("reg", "add", key, "/v", "ForcePrompt", "/t", "REG_SZ", "/d", value, "/f")


class Case:
    """One work folder, one setup, one or more runs."""

    def __init__(self, env, name):
        self.env = env
        self.name = name
        self.dir = os.path.join(env.root, name)
        shutil.rmtree(self.dir, ignore_errors=True)
        os.makedirs(self.dir)
        self.report_path = os.path.join(self.dir, "report.txt")
        self.problems = []

    def check(self, cond, text):
        print(("ok    " if cond else "FAIL  ") + text)
        if not cond:
            self.problems.append(text)

    # -- inputs
    def write(self, name, data):
        path = os.path.join(self.dir, name)
        with open(path, "wb") as f:
            f.write(data)
        return path

    def engine_cfg(self, **settings):
        settings.setdefault("report", winpath(self.report_path))
        text = "".join(f"{k}={v}\r\n" for k, v in settings.items())
        return self.write("engine.cfg", text.encode())

    def sample_files(self):
        """A few files of several kinds."""
        rnd = bytes((i * 7919 + (i >> 3) * 31) & 0xFF for i in range(300000))
        files = {
            "readme.txt": b"Korvix demo product\r\nline two\r\n" * 40,
            "data.bin": rnd,
            "empty.dat": b"",
            "zeros.img": b"\x00" * 1_000_000,
            "all bytes.raw": bytes(range(256)) * 64,
        }
        return {name: self.write(name, data) for name, data in files.items()}

    def pack(self, setup_name, files, cfg, sets=(), volume_size=None, engine=True,
             dos_time=None):
        out = os.path.join(self.dir, setup_name)
        cmd = [self.env.pack_tool, "build", "--stub", self.env.stub, "-o", out, "--seed", "7", "-q"]
        if engine:
            cmd += ["--engine", "Engine.exe=" + self.env.engine]
        cmd += ["--file", "engine.cfg=" + cfg]
        for name, path in files.items():
            cmd += ["--file", f"{name}={path}"]
        for s in sets:
            cmd += ["--set", s]
        if volume_size:
            cmd += ["--volume-size", str(volume_size)]
        r = subprocess.run(cmd, capture_output=True, text=True)
        if r.returncode != 0:
            raise Failure("korvix-pack failed: " + r.stdout + r.stderr)
        self.set_time(out, dos_time)
        return out

    def set_time(self, path, dos_time):
        """Gives the setup a time of day, which names its extraction folder."""
        h, m, s = dos_time or (12, 34, 56)
        t = time.localtime()
        stamp = time.mktime((t.tm_year, t.tm_mon, t.tm_mday, h, m, s, 0, 0, -1))
        os.utime(path, (stamp, stamp))

    def folder_for(self, setup, dos_time=None):
        h, m, s = dos_time or (12, 34, 56)
        return os.path.join(self.env.temp_folder(), "SETUP_%d" % (h * 2048 + m * 32 + s // 2))

    # -- runs
    def start(self, setup, *args):
        return subprocess.Popen([self.env.wine_run, setup, *args], stdout=subprocess.DEVNULL,
                                stderr=subprocess.DEVNULL)

    def clicker(self, caption, count=1, delay_ms=300, timeout_s=60):
        """Starts the key sender; its lines arrive in the returned queue."""
        p = subprocess.Popen([self.env.wine_run, self.env.boxclick, str(timeout_s), caption,
                              str(count), str(delay_ms)], stdout=subprocess.PIPE,
                             stderr=subprocess.DEVNULL)
        lines = queue.Queue()

        def pump():
            for raw in p.stdout:
                lines.put(raw.decode("latin-1").rstrip("\r\n"))
            lines.put(None)

        threading.Thread(target=pump, daemon=True).start()
        p.lines = lines
        return p

    def collect(self, clicker, timeout=90):
        """All lines of a key sender once it ended."""
        out = []
        end = time.time() + timeout
        while time.time() < end:
            try:
                line = clicker.lines.get(timeout=end - time.time())
            except queue.Empty:
                break
            if line is None:
                break
            out.append(line)
        try:
            clicker.wait(5)
        except subprocess.TimeoutExpired:
            clicker.kill()
        return out

    def wait(self, proc, timeout=STUB_TIMEOUT):
        try:
            return proc.wait(timeout)
        except subprocess.TimeoutExpired:
            proc.kill()
            proc.wait()
            raise Failure("the setup did not end within %d s" % timeout)

    def run(self, setup, *args, timeout=STUB_TIMEOUT):
        t0 = time.time()
        p = self.start(setup, *args)
        rc = self.wait(p, timeout)
        return rc, time.time() - t0

    def report(self):
        if not os.path.exists(self.report_path):
            return None
        rep = {"files": {}}
        with open(self.report_path, "rb") as f:
            for line in f.read().decode("latin-1").splitlines():
                key, _, value = line.partition("=")
                if key == "file":
                    name, size, digest = value.split("\t")
                    rep["files"][name] = (int(size), digest)
                else:
                    rep[key] = value
        return rep

    def check_files(self, rep, files):
        for name, path in files.items():
            with open(path, "rb") as f:
                data = f.read()
            got = rep["files"].get(name)
            self.check(got == (len(data), sha(data)),
                       f"{name}: {len(data)} bytes arrive byte-identical (engine saw {got and got[0]})")


class Viewer:
    """Captures the stub's diagnostic lines with the debug viewer."""

    def __init__(self, case):
        self.case = case
        self.path = os.path.join(case.dir, "debug.txt")
        ready = os.path.join(case.dir, "viewer.ready")
        self.proc = None
        if not os.path.exists(case.env.viewer):
            return
        self.proc = subprocess.Popen([case.env.wine_run, case.env.viewer, "--out", winpath(self.path),
                                      "--ready", winpath(ready), "--exit-after-ms", "300000"],
                                     stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        end = time.time() + 20
        while time.time() < end and not os.path.exists(ready):
            time.sleep(0.1)

    def lines(self):
        if not self.proc:
            return None
        subprocess.run([self.case.env.wine_run, self.case.env.viewer, "--stop"],
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, timeout=30)
        try:
            self.proc.wait(10)
        except subprocess.TimeoutExpired:
            self.proc.kill()
        if not os.path.exists(self.path):
            return []
        with open(self.path, "rb") as f:
            return f.read().decode("latin-1").splitlines()


# ---------------------------------------------------------------- cases

def case_plain(env):
    """A setup of a few files: files byte-identical, command line as
    documented, engine exit code 42 passed on, the dialog waited for, the
    folder gone, the shortcut removed after the hand-shake."""
    c = Case(env, "plain")
    files = c.sample_files()
    cfg = c.engine_cfg(exit=42, sleep_ms=300, dialog_ms=2500)
    setup = c.pack("Setup.exe", files, cfg, sets=["update.info_file=Product.info"])
    link = c.write("StartUp.lnk", b"link")
    c.write("Product.original", f"[UnInstall]\r\nStartUpLink={winpath(link)}\r\n".encode())
    c.write("Product.info", b"[NewSetup]\r\nRemoveStartUpShortcut=1\r\n")
    viewer = Viewer(c)
    rc, elapsed = c.run(setup)
    debug = viewer.lines()
    rep = c.report()
    c.check(rep is not None, "the engine ran")
    if rep is None:
        return c
    folder = c.folder_for(setup)
    c.check(rc == 42, f"exit code 42 of the engine is the setup's exit code (got {rc})")
    tid = rep["th_id"]
    expected = (f"{winpath(folder) if False else ''}")
    win_folder = rep["exe"].rsplit("\\", 1)[0]
    c.check(win_folder.upper().endswith("\\SETUP_25692"), f"extracted into SETUP_25692 ({win_folder})")
    expected = f'{win_folder}\\Engine.exe /TH_ID={tid} /OriginExe="{winpath(setup)}"'
    c.check(rep["cmdline"] == expected, f"engine command line {rep['cmdline']!r} == {expected!r}")
    c.check(tid.startswith("_") and tid[1:].isdigit(), "TH_ID is _ and a thread id")
    c.check(rep["atom_found"] == "1", "the hand-shake atom exists when the engine starts")
    c.check(rep["show"] == "5", f"the engine starts shown normally (show state {rep['show']})")
    c.check_files(rep, files)
    c.check(os.path.exists(c.report_path + ".dialog"),
            "the stub waited for the engine's dialog window to go")
    c.check(elapsed > 2.5, f"the run outlasted the dialog ({elapsed:.1f} s)")
    c.check(not os.path.exists(folder), "the extraction folder is gone afterwards")
    c.check(not os.path.exists(link), "the engine took over: the start-up shortcut is removed")
    if debug is not None:
        text = "\n".join(debug)
        c.check(" ==== STUB START ====> " in text, "debug: start banner")
        c.check(" ==== STUB END ====> " in text, "debug: end banner")
        c.check("UnCompressTime: " in text, "debug: UnCompressTime line")
        c.check(f" ==== WinExec(Engine.exe) >>{rep['cmdline']}<<" in text, "debug: WinExec line")
        c.check("ThisIs_AutoUpdateProg=FALSE" in text, "debug: role line")
    else:
        print("note  kdebugview.exe not built: diagnostic lines not checked")
    return c


def case_keep_atom(env):
    """The engine keeps the atom: no take-over, the shortcut stays."""
    c = Case(env, "keep_atom")
    cfg = c.engine_cfg(keepatom=1, exit=0)
    setup = c.pack("Setup.exe", {}, cfg, sets=["update.info_file=Product.info"], dos_time=(12, 34, 58))
    link = c.write("StartUp.lnk", b"link")
    c.write("Product.original", f"[UnInstall]\r\nStartUpLink={winpath(link)}\r\n".encode())
    c.write("Product.info", b"[NewSetup]\r\nRemoveStartUpShortcut=1\r\n")
    rc, _ = c.run(setup)
    c.check(c.report() is not None, "the engine ran")
    c.check(rc == 0, f"exit code 0 (got {rc})")
    c.check(os.path.exists(link), "atom kept: hand-shake false, the shortcut is not removed")
    return c


def case_twice(env):
    """The same setup started while it already runs: the second ends at once."""
    c = Case(env, "twice")
    cfg = c.engine_cfg(exit=42, sleep_ms=6000)
    setup = c.pack("Setup.exe", {}, cfg, dos_time=(12, 35, 0))
    first = c.start(setup)
    time.sleep(3.0)
    t0 = time.time()
    second = c.start(setup)
    rc2 = c.wait(second, 30)
    second_time = time.time() - t0
    still = first.poll() is None
    rc1 = c.wait(first)
    c.check(rc2 == 0, f"the second process ends with 0 (got {rc2})")
    c.check(still, "the second ended while the first still ran")
    c.check(second_time < 6.0, f"the second ended at once ({second_time:.1f} s, no extraction)")
    c.check(rc1 == 42, f"the first passes on 42 (got {rc1})")
    return c


def case_hidden(env):
    """/hide and update settings item 4: no question although the payload
    asks for one, the engine starts hidden."""
    c = Case(env, "hidden")
    cfg = c.engine_cfg()
    for label, sets, args, t in (("/hide", [], ["/hide"], (12, 36, 0)),
                                 ("item 4", ["update.hidden=1"], [], (12, 36, 2))):
        if os.path.exists(c.report_path):
            os.remove(c.report_path)
        setup = c.pack(f"Setup{t[2]}.exe", {}, cfg, sets=["options.ask_temp_drive=1"] + sets, dos_time=t)
        rc, _ = c.run(setup, *args, timeout=40)
        rep = c.report()
        c.check(rep is not None, f"{label}: the engine ran without a question")
        if rep:
            c.check(rep["show"] == "0", f"{label}: the engine starts hidden (show state {rep['show']})")
            if args:
                c.check(rep["cmdline"].split(" /TH_ID=")[0].endswith("Engine.exe /hide"),
                        f"{label}: the setup's own switch reaches the engine")
    return c


def case_space_question(env):
    """Option bit 0: the temporary-drive question. No: nothing extracted and
    no engine; Yes: the setup runs."""
    c = Case(env, "space_question")
    files = {"readme.txt": c.write("readme.txt", b"hello\r\n" * 100)}
    cfg = c.engine_cfg(exit=3)
    setup = c.pack("Setup.exe", files, cfg, sets=["options.ask_temp_drive=1"], dos_time=(12, 37, 0))
    folder = c.folder_for(setup, (12, 37, 0))

    clicker = c.clicker("&No", delay_ms=1200)
    p = c.start(setup)
    lines = []
    seen_files = None
    while True:
        line = clicker.lines.get(timeout=90)
        if line is None:
            break
        lines.append(line)
        if line.startswith("text="):
            seen_files = os.listdir(folder) if os.path.isdir(folder) else []
    rc = c.wait(p)
    text = " ".join(lines)
    c.check("title=Confirm" in text, "the question has the caption Confirm")
    c.check("Korvix will extract files to your Temp Drive" in text, "the question shows s2")
    c.check("Estimated space required" in text and "MB" in text, "the question shows s4/s5 with sizes")
    c.check(seen_files == [], f"nothing is extracted before the answer ({seen_files})")
    c.check(c.report() is None, "No: no engine")
    c.check(rc == 0, f"No: exit code 0 (got {rc})")
    c.check(not os.path.exists(folder), "No: the folder is gone")

    clicker = c.clicker("&Yes")
    rc, _ = c.run(setup)
    c.collect(clicker)
    c.check(c.report() is not None, "Yes: the engine ran")
    c.check(rc == 3, f"Yes: exit code 3 (got {rc})")
    return c


def case_big_file(env):
    """A file larger than 5 MiB, packed as several records, arrives whole."""
    c = Case(env, "big_file")
    data = bytearray()
    seed = 12345
    while len(data) < 12 * 1024 * 1024 + 333:
        seed = (seed * 1103515245 + 12345) & 0x7FFFFFFF
        data += struct.pack("<I", seed) * 4  # compressible, but not trivially
    files = {"big.bin": c.write("big.bin", bytes(data))}
    cfg = c.engine_cfg()
    setup = c.pack("Setup.exe", files, cfg, dos_time=(12, 38, 0))
    image = open(setup, "rb").read()
    records = container.walk_records(image)
    c.check(len(records) - container.header_count(image) >= 4,
            f"the setup holds the file in several records ({len(records)} records)")
    rc, _ = c.run(setup)
    rep = c.report()
    c.check(rep is not None, "the engine ran")
    if rep:
        c.check_files(rep, files)
    return c


def case_agent_copy(env):
    """An agent setup writes the update-agent copy while extracting: a
    container with byte 69 set and pointer 0 that korvix-pack lists."""
    c = Case(env, "agent_copy")
    copies = os.path.join(c.dir, "seen")
    cfg = c.engine_cfg(copyto=winpath(copies))
    setup = c.pack("Setup.exe", {"a.txt": c.write("a.txt", b"a")}, cfg,
                   sets=["options.make_agent_copy=1", "update.agent_exe=Agent.exe",
                         "update.info_file=Product.info"], dos_time=(12, 39, 0))
    rc, _ = c.run(setup)
    agent = os.path.join(copies, "Agent.exe")
    c.check(os.path.exists(agent), "Agent.exe is in the extraction folder while the engine runs")
    if not os.path.exists(agent):
        return c
    image = open(agent, "rb").read()
    c.check(struct.unpack_from("<II", image, 248) == (0, 0), "the copy's payload-end pointer is 0")
    c.check(image[-74 + 69] == 1, "the copy's trailer has byte 69 set")
    c.check(struct.unpack_from("<I", image, len(image) - 4)[0] == 74, "the copy ends with the trailer length 74")
    r = subprocess.run([env.pack_tool, "list", agent], capture_output=True, text=True)
    out = r.stdout
    c.check("agent (byte 69)              1" in out, "korvix-pack list reads the copy as an agent copy")
    c.check("agent_exe                    Agent.exe" in out and "header records 2" in out,
            "the copy carries the header records and the update settings")
    c.check(f"payload end {len(image)}" in out, "the payload end is the file end")
    # The copy keeps the trailer of the setup, file-record count included,
    # but no file records: the only complaint list may have is that count.
    damaged = [l for l in out.splitlines() if "DAMAGED" in l and "file records found" not in l
               and l.strip() != "DAMAGED"]
    c.check(not damaged and "computed" in out and "ok" in out, f"nothing else is damaged ({damaged})")
    return c


def multi_volume_setup(c, dos_time, relaunch=False, sets=()):
    """A setup cut into volumes. Without the span relaunch the setup program
    is the first volume and ".002" follows; with it the program holds the
    settings only and the chain starts at ".001", whose volumes are small
    enough (at most 50 KiB) to carry a checksum."""
    stub_size = os.path.getsize(c.env.stub)
    if relaunch:
        files = {"part%d.bin" % i: c.write("part%d.bin" % i, os.urandom(60000)) for i in range(6)}
        size = 2 * stub_size + 2000 + 150000
        sets = list(sets) + ["options.span_relaunch=1"]
    else:
        files = {"part%d.bin" % i: c.write("part%d.bin" % i, os.urandom(150000)) for i in range(6)}
        size = stub_size + 300000
    cfg = c.engine_cfg()
    setup = c.pack("Setup.exe", files, cfg, sets=list(sets), volume_size=size, dos_time=dos_time)
    vols = sorted(f for f in os.listdir(c.dir) if f.startswith("Setup.exe."))
    return setup, files, vols


def wait_gone(path, timeout=60):
    end = time.time() + timeout
    while time.time() < end and os.path.exists(path):
        time.sleep(0.5)
    return not os.path.exists(path)


def case_volumes(env):
    """All volumes present; a missing volume (prompt, the file appears, OK);
    Cancel at the prompt; ForcePrompt "1"."""
    c = Case(env, "volumes")
    setup, files, vols = multi_volume_setup(c, (12, 40, 0))
    c.check(len(vols) >= 2, f"the setup has several volumes ({vols})")

    rc, _ = c.run(setup)
    rep = c.report()
    c.check(rep is not None and rc == 0, "all volumes present: the engine ran")
    if rep:
        c.check_files(rep, files)

    # Volume 2 missing: the prompt comes; the file appears; OK goes on.
    os.remove(c.report_path)
    vol2 = os.path.join(c.dir, "Setup.exe.002")
    os.rename(vol2, vol2 + ".away")
    clicker = c.clicker("&OK", delay_ms=1500)
    p = c.start(setup)
    lines = []
    while True:
        line = clicker.lines.get(timeout=60)
        if line is None:
            break
        lines.append(line)
        if line.startswith("text="):
            os.rename(vol2 + ".away", vol2)
    rc = c.wait(p)
    text = " ".join(lines)
    c.check("title=Attention" in text and "Please insert DISK #2 and press OK to continue" in text,
            "missing volume 2: the prompt for DISK #2")
    rep = c.report()
    c.check(rep is not None, "the volume appeared and OK went on: the engine ran")
    if rep:
        c.check_files(rep, files)

    # Cancel: no engine.
    os.remove(c.report_path)
    os.rename(vol2, vol2 + ".away")
    clicker = c.clicker("&Cancel")
    rc = c.wait(c.start(setup))
    c.collect(clicker)
    os.rename(vol2 + ".away", vol2)
    c.check(c.report() is None, "Cancel at the prompt: no engine")
    c.check(not os.path.exists(c.folder_for(setup, (12, 40, 0))), "Cancel: the folder is gone")

    # ForcePrompt "1": asked for every further volume although present.
    env.set_force_prompt("1")
    try:
        clicker = c.clicker("&OK", count=len(vols))
        rc = c.wait(c.start(setup))
        lines = c.collect(clicker)
    finally:
        env.set_force_prompt(None)
    prompts = [l for l in lines if l.startswith("text=")]
    c.check(len(prompts) == len(vols) and "DISK #2" in prompts[0],
            f"ForcePrompt 1: one prompt per further volume ({len(prompts)})")
    c.check(c.report() is not None, "ForcePrompt 1: OK goes on, the engine ran")
    return c


def case_bad_crc(env):
    """Volumes of at most 50 KiB carry a checksum (built byte by byte: the
    authoring tool's volumes all hold more than the stub). Unchanged, the
    chain runs; a failing checksum on volume 1 extracts nothing, on volume 3
    volumes 1 and 2; no engine either way; the Bad CRC box."""
    c = Case(env, "bad_crc")
    stub = open(env.stub, "rb").read()
    cfg = open(c.engine_cfg(), "rb").read()
    small = {}
    vol_recs = []
    names_per_vol = []
    for v in range(3):
        recs, names = [], []
        for k in range(2):
            name = f"v{v + 1}_{k}.bin"
            data = os.urandom(9000)
            small[name] = c.write(name, data)
            recs.append(container.record(container.file_content(name, data)))
            names.append(name)
        vol_recs.append(recs)
        names_per_vol.append(names)
    vol_recs[0].append(container.record(container.file_content("engine.cfg", cfg)))
    names_per_vol[0].append("engine.cfg")
    engine = open(env.engine, "rb").read()
    vol_recs.append([container.record(container.file_content("Engine.exe*", engine))])
    names_per_vol.append(["Engine.exe"])
    exe, vols = container.build_span_chain(stub, vol_recs, [len(r) for r in vol_recs])
    setup = c.write("Setup.exe", exe)
    for i, v in enumerate(vols):
        c.write("Setup.exe.%03d" % (i + 1), v)
        if i < 3:
            c.check(len(v) <= 51200, f"volume {i + 1} is small enough for a checksum ({len(v)} bytes)")
    c.set_time(setup, (12, 41, 0))
    folder = c.folder_for(setup, (12, 41, 0))

    c.run(setup)
    c.check(wait_gone(folder), "unchanged chain: the copy ends and its folder goes")
    rep = c.report()
    c.check(rep is not None, "unchanged chain: every checksum passes and the engine ran")
    if rep:
        c.check_files(rep, small)
    if os.path.exists(c.report_path):
        os.remove(c.report_path)

    for bad in (1, 3):
        path = os.path.join(c.dir, "Setup.exe.%03d" % bad)
        image = bytearray(vols[bad - 1])
        struct.pack_into("<i", image, len(image) - 74 + 16,
                         struct.unpack_from("<i", image, len(image) - 74 + 16)[0] ^ 0x100)
        open(path, "wb").write(image)
        c.set_time(setup, (12, 41, 0))
        clicker = c.clicker("&OK", delay_ms=1500, timeout_s=60)
        p = c.start(setup)
        lines, seen = [], None
        while True:
            line = clicker.lines.get(timeout=90)
            if line is None:
                break
            lines.append(line)
            if line.startswith("text="):
                seen = sorted(f for f in os.listdir(folder) if f != "Y_Setup.exe") \
                    if os.path.isdir(folder) else []
        c.wait(p)
        c.check(wait_gone(folder), f"volume {bad} bad: the copy ends and its folder goes")
        text = " ".join(lines)
        c.check("Bad CRC!" in text, f"volume {bad} bad: the Bad CRC box")
        c.check(c.report() is None, f"volume {bad} bad: no engine")
        before = sorted(n for names in names_per_vol[:bad - 1] for n in names)
        c.check(seen == before, f"volume {bad} bad: exactly the earlier volumes were extracted ({seen})")
        open(path, "wb").write(vols[bad - 1])
    return c


def case_span(env):
    """The span relaunch: the Y_ copy runs from the temporary folder with
    level 2 and the first volume; the engine gets /OriginExe= of the original
    and no span switch; the copy and its folder go afterwards."""
    c = Case(env, "span")
    setup, files, vols = multi_volume_setup(c, (12, 42, 0), relaunch=True)
    folder = c.folder_for(setup, (12, 42, 0))
    viewer = Viewer(c)
    rc, elapsed = c.run(setup)
    c.check(rc == 0, f"level 1 ends with 0 (got {rc})")
    end = time.time() + 60
    while time.time() < end and c.report() is None:
        time.sleep(0.5)
    rep = c.report()
    c.check(rep is not None, "the level-2 copy ran the engine")
    if rep is None:
        return c
    cmd = rep["cmdline"]
    c.check(f'/OriginExe="{winpath(setup)}"' in cmd, f"the engine gets /OriginExe= of the original ({cmd})")
    c.check("/SpanCdLvl=" not in cmd and "/SpanDiskFName1=" not in cmd, "no span switch reaches the engine")
    c.check(cmd.count("/OriginExe=") == 1, "/OriginExe= once")
    c.check_files(rep, files)
    c.check(wait_gone(folder), "the copy and its folder are gone afterwards")
    debug = viewer.lines()
    if debug is not None:
        starts = [l for l in debug if " ==== STUB START ====> " in l]
        lvl2 = [l for l in starts if "/SpanCdLvl=2" in l]
        c.check(bool(lvl2) and "Y_Setup.exe" in lvl2[0] and f'/SpanDiskFName1="{winpath(setup)}.001"' in lvl2[0],
                f"debug: the Y_ copy started with level 2 and the first volume ({lvl2[:1]})")
    return c


def case_hostile(env):
    """Hostile payloads: a name that leaves the folder, a truncated volume,
    a corrupted compressed record."""
    c = Case(env, "hostile")
    stub = open(env.stub, "rb").read()
    cfg_bytes = open(c.engine_cfg(), "rb").read()
    engine_bytes = open(env.engine, "rb").read()
    good = [container.record(container.file_content("Engine.exe*", engine_bytes)),
            container.record(container.file_content("engine.cfg", cfg_bytes))]
    parent = os.path.dirname(c.folder_for(None, (12, 43, 0)))

    # 1. "..\" names: nothing is written outside the folder.
    evil = [container.record(container.file_content(n, b"evil")) for n in
            ("..\\evil1.txt", "sub\\..\\..\\evil2.txt", "\\evil3.txt", "C:\\evil4.txt", "...\\evil5.txt")]
    setup = c.write("Evil.exe", container.build_exe(stub, evil + good, len(evil) + len(good)))
    c.set_time(setup, (12, 43, 0))
    clicker = c.clicker("&OK")
    rc = c.wait(c.start(setup))
    lines = c.collect(clicker)
    c.check(any("Unable to save Extracted File!" in l for l in lines), "the refused name shows the write error once")
    leaked = [p for p in (os.path.join(parent, "evil1.txt"), os.path.join(parent, "evil2.txt"),
                          os.path.join(parent, "evil5.txt"), os.path.join(env.temp_folder(), "..", "evil1.txt"))
              if os.path.exists(p)]
    drive_c = os.path.join(os.path.dirname(env.temp_folder().split("/drive_c/")[0] + "/drive_c/x"))
    for n in ("evil3.txt", "evil4.txt"):
        if os.path.exists(os.path.join(drive_c, n)):
            leaked.append(n)
    c.check(not leaked, f"nothing written outside the folder ({leaked})")
    c.check(c.report() is not None, "the rest of the setup went on: the engine ran")

    # 2. A record reaching past the end of a truncated volume.
    if os.path.exists(c.report_path):
        os.remove(c.report_path)
    cut = container.record(container.file_content("huge.bin", os.urandom(4000)), compress=False)
    cut = struct.pack("<i", -50_000_000) + cut[4:]
    setup = c.write("Cut.exe", container.build_exe(stub, good[1:] + [cut] + good[:1], 3))
    c.set_time(setup, (12, 43, 2))
    clicker = c.clicker("&OK")
    rc, elapsed = c.run(setup, timeout=40)
    lines = c.collect(clicker)
    c.check(any("Bad CRC!" in l for l in lines), "truncated volume: an error box")
    c.check(elapsed < 20, f"truncated volume: ends within seconds ({elapsed:.1f} s)")
    c.check(c.report() is None, "truncated volume: no engine")

    # 3. A corrupted compressed record.
    files = {"text.txt": c.write("text.txt", b"compressible text line\r\n" * 5000)}
    setup = c.pack("Bad.exe", files, c.engine_cfg(), dos_time=(12, 43, 4))
    image = bytearray(open(setup, "rb").read())
    recs = container.walk_records(bytes(image))[container.header_count(bytes(image)):]
    off, n = max(recs, key=lambda r: r[1])
    for k in range(20):
        image[off + 4 + n // 2 + k] ^= 0x5A
    open(setup, "wb").write(image)
    c.set_time(setup, (12, 43, 4))
    clicker = c.clicker("&OK")
    rc, _ = c.run(setup, timeout=40)
    lines = c.collect(clicker)
    c.check(any("title=" in l for l in lines), "corrupted record: an error box")
    c.check(rc == 222, f"corrupted record: exit code 222 (got {rc})")
    c.check(not os.path.exists(c.folder_for(setup, (12, 43, 4))), "corrupted record: no temporary folder left")
    c.check(c.report() is None, "corrupted record: no engine")
    return c


CASES = {
    "plain": case_plain,
    "keep_atom": case_keep_atom,
    "twice": case_twice,
    "hidden": case_hidden,
    "space_question": case_space_question,
    "big_file": case_big_file,
    "agent_copy": case_agent_copy,
    "volumes": case_volumes,
    "bad_crc": case_bad_crc,
    "span": case_span,
    "hostile": case_hostile,
}


def main():
    build, which = sys.argv[1], sys.argv[2]
    env = Env(build)
    names = list(CASES) if which == "all" else [which]
    failed = []
    for name in names:
        print(f"== {name}")
        try:
            c = CASES[name](env)
            if c.problems:
                failed.append(name)
        except Failure as e:
            print("FAIL  " + str(e))
            failed.append(name)
    if failed:
        print("failed: " + ", ".join(failed))
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main())
