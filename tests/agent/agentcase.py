"""A product folder of the update agent's end-to-end runs under Wine: the
plain agent packed by korvix-pack, its ".original" file and the update source
(a folder, or a local web server on 127.0.0.1) with the ".info" file and
version 2 of the setup. The agent log tells what each probe decided."""
import configparser, os, subprocess, sys

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path[:0] = [os.path.join(HERE, "..", "e2e"), os.path.join(HERE, "..", "http")]
import e2e  # noqa: E402
import servers  # noqa: E402
from e2e import Failure, shown, wait_for, winpath  # noqa: E402, F401

AGENT = "DemoAgent.exe"
TEXTS = {  # the agent's texts in the ".original" file
    "s11": "A new version of PROG_NAME is ready.", "s12": " It will be installed.",
    "s13": " Download it?", "s14": "Install PROG_NAME now?", "s15": "Please close PROG_NAME.",
    "s16": "PROG_NAME is up to date.", "s17": "<P>Start it again?", "s21": "No update.",
    "s22": "Check PROG_NAME now?", "s24": "<P>Go on?", "s34": "News", "s35": "Open",
}


def ini(sections):
    return "".join(f"[{s}]\r\n" + "".join(f"{k}={v}\r\n" for k, v in keys.items())
                   for s, keys in sections.items()).encode("latin-1")


class ClassicFiles(servers.QuietFiles):
    """The file server with the error page of the common web servers: the
    HTTP client keeps no status, the agent knows a failed fetch by its page."""
    error_message_format = "<HTML><HEAD><TITLE>%(code)d %(message)s</TITLE></HEAD><BODY></BODY></HTML>\r\n"


class Product:
    """The product folder `name` of case `c`; its update source is the
    subfolder srv, or that folder served over HTTP. Used with "with": the end
    stops the agent's copy and the server."""

    def __init__(self, c, name, token, http=False, t=None):
        self.c, self.dir = c, c.path(name)
        self.srv = os.path.join(self.dir, "srv")
        os.makedirs(self.srv)
        self.server = http and servers._start(lambda *a: ClassicFiles(*a, directory=self.srv))
        self.base = servers.url(self.server) if http else winpath(self.srv)
        self.agent = os.path.join(self.dir, AGENT)
        self.copy = os.path.join(self.dir, "X_" + AGENT)
        self.update = os.path.join(self.srv, "Setup2.exe")
        c.build(self.agent, e2e.agent_sets(self.base, token), t)

    def __enter__(self):
        return self

    def __exit__(self, *exc):
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
               "SizeOfUpdateFile": os.path.getsize(self.update), "VersionNew": 2, "Stamp": 2, **keys}
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

    def ctl(self, *args, wait_ms=300):
        r = subprocess.run([self.c.wine_run, self.c.exe("agentctl"), "--agent", AGENT, "--wait-ms", str(wait_ms),
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
