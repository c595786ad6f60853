#!/usr/bin/env python3
"""End-to-end runs of internet setups: the stub takes the real setup from
beside itself or a local server, checks its download token, extracts and runs.

usage: internet.py BUILD_DIR CASE     (BUILD_DIR holds host/ and win/)
"""
import os, sys

here = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, here)
sys.path.insert(0, os.path.join(here, "..", "http"))
import servers  # noqa: E402
import e2e  # noqa: E402
from e2e import shown  # noqa: E402

TOKEN = "KORVIX-E2E-DL"


def full_setup(c, where, t, token=TOKEN):
    """The real setup, Full.exe: a file and the engine (exit code 7), carrying `token`."""
    os.makedirs(c.path(where), exist_ok=True)
    files = {"readme.txt": c.write("readme.txt", b"the product, fetched\r\n" * 300)}
    c.pack(os.path.join(where, "Full.exe"), files, t, ["download.token=" + token], exit=7)
    return files


def internet_stub(c, location, t, *sets):
    return c.build(c.path("Inet.exe"), ("options.internet=1", "download.location=" + location,
                                        "download.file_name=Full.exe", "download.token=" + TOKEN) + sets, t)


def downloaded(c, t):
    """Where the stub puts the downloaded file (the temporary folder)."""
    return os.path.join(os.path.dirname(c.folder(*t)), "Full.exe")


def case_internet_download(c):
    """Asked first, downloaded, checked, run, deleted. A fetched setup of another
    product (download.always: although the right one is beside the stub) runs not."""
    t = (13, 0, 0)
    files = full_setup(c, "docs", (13, 0, 2))
    server = servers.files(c.path("docs"))
    base = servers.url(server)
    try:
        setup = internet_stub(c, base, t, "options.ask_before_download=1", "download.size=5242880")
        rc, _, lines = c.run(setup, answer="&No")
        c.check(shown(lines, "INTERNET DOWNLOAD", "Size: 5.00 MB"), f"the question with the size ({lines})")
        c.check(c.report() is None and rc == 0 and not os.path.exists(downloaded(c, t)),
                f"No: nothing downloaded, no engine, exit code 0 (got {rc})")

        rc, _, _ = c.run(setup, answer="&Yes")
        c.ran(f"Yes: the engine of the fetched setup ran, exit code 7 (got {rc})", files, rc == 7)
        c.check(not os.path.exists(downloaded(c, t)), "the downloaded setup is deleted afterwards")

        rc, _, _ = c.run(setup, "/hide", timeout=60)
        c.ran("/hide: no question, the engine ran", {}, rc == 7)

        full_setup(c, "docs", (13, 0, 4), token="SOMEONE-ELSE")
        full_setup(c, ".", (13, 0, 6))
        _, _, lines = c.run(internet_stub(c, base, t, "download.always=1"), answer="&OK")
    finally:
        server.shutdown()
        server.server_close()
    c.check(shown(lines, "Bad Secret Token!") and c.report() is None and not os.path.exists(downloaded(c, t)),
            f"another product's setup: the token error, no engine, the fetched file deleted ({lines})")


def case_internet_local(c):
    """A setup file beside the stub is used without network or question."""
    files = full_setup(c, ".", (13, 1, 2))
    nowhere = "http://127.0.0.1:%d" % servers.closed_port()
    rc, _, _ = c.run(internet_stub(c, nowhere, (13, 1, 0), "options.ask_before_download=1"), timeout=60)
    c.ran(f"the setup beside the stub ran without a question (exit {rc})", files, rc == 7)
    c.check(os.path.exists(c.path("Full.exe")), "the local setup file stays")


if __name__ == "__main__":
    sys.exit(e2e.main(globals()))
