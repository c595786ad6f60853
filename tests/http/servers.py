#!/usr/bin/env python3
"""Local web servers on 127.0.0.1 for the download tests, in threads: files()
(http.server), odd() (see OddHandler) and tls(). Sockets time out, bodies
(pattern(n): byte i is (i * 7) & 0xFF) have a deadline. As a program it runs a
Windows program under Wine with the servers up, the test CA trusted and their
addresses in KORVIX_HTTP_FILES, _ODD, KORVIX_HTTPS_TRUSTED and _ROGUE:
    servers.py WORK_DIR WINE_RUN PROGRAM [ARGS...]
"""
import hashlib, http.server, os, shutil, socket, ssl, struct, subprocess, sys, threading, time

PAGE_404 = (b"<HTML><HEAD><TITLE>404 Not Found</TITLE></HEAD>\r\n"
            b"<BODY><H1>Not Found</H1>The requested URL was not found.</BODY></HTML>\r\n")
SOCKET_TIMEOUT = 20
BODY_DEADLINE = 60


def pattern(n):
    return (bytes((i * 7) & 0xFF for i in range(256)) * (n // 256 + 1))[:n]


class Quiet:
    timeout = SOCKET_TIMEOUT

    def log_message(self, *args):
        pass


class QuietFiles(Quiet, http.server.SimpleHTTPRequestHandler):
    pass


class OddHandler(Quiet, http.server.BaseHTTPRequestHandler):
    """/nolength/N: no Content-Length; /empty: Content-Length 0; /cut/N: half of the
    N bytes announced; /slow/N: 100 bytes every 50 ms; else a classic 404 page."""

    def head(self, status, length=None, kind="application/octet-stream"):
        self.send_response(status)
        self.send_header("Content-Type", kind)
        if length is not None:
            self.send_header("Content-Length", str(length))
        self.send_header("Connection", "close")
        self.end_headers()

    def do_GET(self):
        parts = self.path.split("?")[0].strip("/").split("/")
        kind = parts[0]
        n = int(parts[1]) if len(parts) > 1 and parts[1].isdigit() else 0
        try:
            if kind == "nolength":
                self.head(200)
                for k in range(0, n, 65536):
                    self.wfile.write(pattern(min(65536, n - k)))
            elif kind == "empty":
                self.head(200, 0)
            elif kind == "cut":
                self.head(200, n)
                self.wfile.write(pattern(n // 2))
            elif kind == "slow":
                self.head(200, n)
                body, end = pattern(n), time.time() + BODY_DEADLINE
                for k in range(0, n, 100):
                    if time.time() > end:
                        break
                    self.wfile.write(body[k:k + 100])
                    self.wfile.flush()
                    time.sleep(0.05)
            else:
                self.head(404, len(PAGE_404), "text/html")
                self.wfile.write(PAGE_404)
        except OSError:  # the client went away (an aborted download)
            pass
        self.close_connection = True


class Server(http.server.ThreadingHTTPServer):
    daemon_threads = True
    tls = None

    def get_request(self):
        sock, addr = self.socket.accept()
        sock.settimeout(SOCKET_TIMEOUT)
        if self.tls:
            # The handshake runs in the request's thread, under its time-out.
            sock = self.tls.wrap_socket(sock, server_side=True, do_handshake_on_connect=False)
        return sock, addr

    def handle_error(self, request, client_address):
        pass  # a refused certificate or a vanished client: nothing to report


def _start(handler, tls=None):
    server = Server(("127.0.0.1", 0), handler)
    server.tls = tls
    threading.Thread(target=server.serve_forever, kwargs={"poll_interval": 0.2}, daemon=True).start()
    return server


def files(folder):
    return _start(lambda *a: QuietFiles(*a, directory=folder))


def odd():
    return _start(OddHandler)


def tls(folder, cert, key):
    ctx = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
    ctx.load_cert_chain(cert, key)
    return _start(lambda *a: QuietFiles(*a, directory=folder), ctx)


def url(server, scheme="http", host="127.0.0.1"):
    return "%s://%s:%d" % (scheme, host, server.server_address[1])


def make_certificates(folder):
    """ca.der, a (certificate, key) for localhost that the CA signed, a self-signed rogue one."""
    def ossl(*args):
        subprocess.run(["openssl", *args], cwd=folder, check=True, capture_output=True, timeout=60)
    with open(os.path.join(folder, "san.ext"), "w") as f:
        f.write("subjectAltName=DNS:localhost\nbasicConstraints=CA:FALSE\nextendedKeyUsage=serverAuth\n")
    new = ["req", "-newkey", "rsa:2048", "-nodes", "-days", "2", "-subj", "/CN=localhost"]
    ossl(*new[:-1], "/CN=Korvix Test CA", "-x509", "-keyout", "ca.key", "-out", "ca.pem",
         "-addext", "basicConstraints=critical,CA:TRUE", "-addext", "keyUsage=critical,keyCertSign")
    ossl("x509", "-in", "ca.pem", "-outform", "DER", "-out", "ca.der")
    ossl(*new, "-keyout", "server.key", "-out", "server.csr")
    ossl("x509", "-req", "-in", "server.csr", "-CA", "ca.pem", "-CAkey", "ca.key", "-CAcreateserial",
         "-out", "server.pem", "-days", "2", "-extfile", "san.ext")
    ossl(*new, "-x509", "-keyout", "rogue.key", "-out", "rogue.pem", "-addext", "subjectAltName=DNS:localhost")
    p = lambda n: os.path.join(folder, n)  # noqa: E731
    return p("ca.der"), (p("server.pem"), p("server.key")), (p("rogue.pem"), p("rogue.key"))


ROOT_KEY = "HKLM\\Software\\Microsoft\\SystemCertificates\\Root\\Certificates\\"


def trust(wine_run, der_path):
    """Makes Wine trust a CA through the registry (it keeps no root added at run time); returns the undo."""
    der = open(der_path, "rb").read()
    key = ROOT_KEY + hashlib.sha1(der).hexdigest().upper()
    blob = struct.pack("<III", 32, 1, len(der)) + der  # the certificate property
    run = lambda *a: subprocess.run([wine_run, "reg", *a, "/f"], capture_output=True, timeout=60)  # noqa: E731
    run("add", key, "/v", "Blob", "/t", "REG_BINARY", "/d", blob.hex())
    return lambda: run("delete", key)


def closed_port():
    """A port on 127.0.0.1 that nobody listens on (taken and released)."""
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


def main():
    work, wine_run, command = os.path.abspath(sys.argv[1]), sys.argv[2], sys.argv[2:]
    shutil.rmtree(work, ignore_errors=True)
    docs = os.path.join(work, "docs")
    os.makedirs(docs)
    with open(os.path.join(docs, "fifty.bin"), "wb") as f:
        f.write(pattern(50))
    ca, good, rogue = make_certificates(work)
    servers = [files(docs), odd(), tls(docs, *good), tls(docs, *rogue)]
    env = dict(os.environ, KORVIX_HTTP_FILES=url(servers[0]), KORVIX_HTTP_ODD=url(servers[1]),
               KORVIX_HTTPS_TRUSTED=url(servers[2], "https", "localhost"),
               KORVIX_HTTPS_ROGUE=url(servers[3], "https", "localhost"))
    untrust = trust(wine_run, ca)
    try:
        return subprocess.run(command, env=env, timeout=500).returncode
    finally:
        untrust()
        for s in servers:
            s.shutdown()
            s.server_close()


if __name__ == "__main__":
    sys.exit(main())
