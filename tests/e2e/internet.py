#!/usr/bin/env python3
"""End-to-end runs of internet setups: a stub whose payload names the real
setup file, which it takes from beside itself or downloads from a local
server, checks against its download token, extracts and runs.

usage: internet.py BUILD_DIR CASE     (BUILD_DIR holds host/ and win/)
"""
import contextlib, os, sys

here = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, here)
sys.path.insert(0, os.path.join(here, "..", "http"))
import servers  # noqa: E402
import e2e  # noqa: E402
from e2e import shown  # noqa: E402

TOKEN = "KORVIX-E2E-DL"


def full_setup(c, where, t, token=TOKEN):
    """The real setup: a file and the engine (exit code 7), carrying `token`."""
    os.makedirs(c.path(where), exist_ok=True)
    files = {"readme.txt": c.write("readme.txt", b"the product, fetched\r\n" * 300)}
    return c.pack(os.path.join(where, "Full.exe"), files, t, ["download.token=" + token], exit=7), files


def internet_stub(c, location, t, *sets):
    return c.build(c.path("Inet.exe"), ("options.internet=1", "download.location=" + location,
                                        "download.file_name=Full.exe", "download.token=" + TOKEN) + sets, t)


def downloaded(c, t):
    """Where the stub puts the downloaded file (the temporary folder)."""
    return os.path.join(os.path.dirname(c.folder(*t)), "Full.exe")


@contextlib.contextmanager
def serving(server):
    """The server's URL while it runs; shut down afterwards."""
    try:
        yield servers.url(server)
    finally:
        server.shutdown()
        server.server_close()


def case_internet_download(c):
    """Asked first (with the size), downloaded, checked, extracted and run;
    the download deleted afterwards. No: nothing fetched. /hide: no
    question, the engine hidden."""
    t = (13, 0, 0)
    _, files = full_setup(c, "docs", (13, 0, 2))
    with serving(servers.files(c.path("docs"))) as base:
        setup = internet_stub(c, base, t, "options.ask_before_download=1", "download.size=5242880")
        rc, _, lines = c.run(setup, answer="&No")
        c.check(shown(lines, "title=Confirm", "INTERNET DOWNLOAD", "Size: 5.00 MB"),
                f"the question with caption Confirm and the size 5.00 MB ({lines})")
        c.check(c.report() is None and rc == 0 and not os.path.exists(downloaded(c, t)),
                f"No: nothing downloaded, no engine, exit code 0 (got {rc})")

        rc, _, _ = c.run(setup, answer="&Yes")
        rep = c.ran(f"Yes: the engine of the fetched setup ran, exit code 7 (got {rc})", files, rc == 7)
        c.check(rep and rep["show"] == "5", "the engine starts shown")
        c.check(not os.path.exists(downloaded(c, t)), "the downloaded setup is deleted afterwards")

        rc, _, _ = c.run(setup, "/hide", timeout=60)
        rep = c.ran("/hide: no question, the engine ran", {}, rc == 7)
        c.check(rep and rep["show"] == "0", "/hide: the engine starts hidden")


def case_internet_local(c):
    """A setup file beside the stub is used without network or question."""
    _, files = full_setup(c, ".", (13, 1, 2))
    nowhere = "http://127.0.0.1:%d" % servers.closed_port()
    setup = internet_stub(c, nowhere, (13, 1, 0), "options.ask_before_download=1")
    rc, _, _ = c.run(setup, timeout=60)
    c.ran(f"the setup beside the stub ran without a question (exit {rc})", files, rc == 7)
    c.check(os.path.exists(c.path("Full.exe")), "the local setup file stays")


def case_internet_foreign(c):
    """A fetched setup of another product: Bad Secret Token!, no engine, the
    fetched file deleted."""
    t = (13, 2, 0)
    full_setup(c, "docs", (13, 2, 2), token="SOMEONE-ELSE")
    with serving(servers.files(c.path("docs"))) as base:
        _, _, lines = c.run(internet_stub(c, base, t), answer="&OK")
    c.check(shown(lines, "title=Error", "Bad Secret Token!"), f"the token error ({lines})")
    c.check(c.report() is None and not os.path.exists(downloaded(c, t)), "no engine ran, the fetched file is deleted")


def case_internet_404(c):
    """A 404 with a classic HTML error page: its text; with http.server's page:
    the status error. No engine, no page left under the setup's name."""
    t = (13, 3, 0)
    os.makedirs(c.path("empty"), exist_ok=True)
    for server, folder, texts in ((servers.odd(), "/files", lambda base: ("404 File Not Found...", f"URL:  {base}/Full.exe.")),
                                  (servers.files(c.path("empty")), "", lambda base: ("title=Error", "Full.exe --- Error downloading file (HTTP 404)"))):
        with serving(server) as url:
            base = url + folder
            _, _, lines = c.run(internet_stub(c, base, t), answer="&OK")
        c.check(shown(lines, *texts(base)), f"{base}: the error ({lines})")
        c.check(c.report() is None and not os.path.exists(downloaded(c, t)), f"{base}: no engine, no page kept")


def case_internet_offline(c):
    """download.always goes to the server although the setup file is beside
    the stub; none listening: the open error names the address."""
    full_setup(c, ".", (13, 4, 2))
    base = "http://127.0.0.1:%d/setups" % servers.closed_port()
    _, _, lines = c.run(internet_stub(c, base, (13, 4, 0), "download.always=1"), answer="&OK")
    c.check(shown(lines, "title=Error", f"Unable to open Internet Connection: {base}/Full.exe"),
            f"the open error ({lines})")
    c.check(c.report() is None, "no engine ran")


if __name__ == "__main__":
    sys.exit(e2e.main(globals()))
