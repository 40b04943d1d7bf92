"""The servers the doctor's Wine tests probe, each on 127.0.0.1 only and
each stopped by the caller (every start_* returns a stop function or an
object with one; the caller keeps it in a list it empties in `finally`).

- rclone's WebDAV server and Apache httpd with mod_dav and Basic
  authentication: real servers nobody here wrote;
- SpecialServer: Python's http.server in one of the ways a WebDAV service
  goes wrong that a real one is hard to configure into (a root refusing
  OPTIONS, a parent refusing the account, Digest only, a login page, a
  redirect elsewhere), over plain HTTP or TLS;
- a recorder that keeps every request's Authorization header, to show that
  credentials never reach another origin;
- a plain web server, a port nobody listens on and a server that accepts and
  never answers.
"""
import base64
import http.client
import http.server
import os
import re
import shutil
import socket
import ssl
import subprocess
import sys
import threading
import time

# Every request's socket gives up after this long: no request loop of a test
# server can outlive a stuck client.
REQUEST_SECONDS = 10


def wait_for(condition, seconds, what):
    """Polls CONDITION until it holds or SECONDS have passed."""
    deadline = time.monotonic() + seconds
    while time.monotonic() < deadline:
        if condition():
            return
        time.sleep(0.05)
    raise RuntimeError("timed out after %d s waiting for %s" % (seconds, what))


def unused_port():
    s = socket.socket()
    s.bind(("127.0.0.1", 0))
    port = s.getsockname()[1]
    s.close()
    return port


def port_open(port):
    try:
        socket.create_connection(("127.0.0.1", port), timeout=0.5).close()
        return True
    except OSError:
        return False


class QuietHandler(http.server.BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"
    timeout = REQUEST_SECONDS

    def log_message(self, *args):
        pass

    def read_body(self):
        # Read the request's body before answering, as a real server does:
        # closing with unread data resets the connection before the answer
        # is read.
        length = int(self.headers.get("Content-Length") or 0) if self.headers else 0
        return self.rfile.read(length) if length else b""

    def send_error(self, *args, **kwargs):
        self.read_body()
        super().send_error(*args, **kwargs)

    def answer(self, status, headers=(), body=b"", content_type=None):
        self.send_response(status)
        if content_type:
            self.send_header("Content-Type", content_type)
        for name, value in headers:
            self.send_header(name, value)
        self.send_header("Content-Length", str(len(body)))
        self.end_headers()
        if self.command != "HEAD":
            self.wfile.write(body)


class Server(http.server.ThreadingHTTPServer):
    daemon_threads = True

    def handle_error(self, request, client_address):
        # A client that drops a kept-alive connection, or a TLS client that
        # refuses the certificate, is an ordinary end here, not an error.
        if not isinstance(sys.exc_info()[1], (ConnectionError, TimeoutError, ssl.SSLError)):
            super().handle_error(request, client_address)


def serve(handler, context=None):
    """A ThreadingHTTPServer on a free loopback port, in a daemon thread."""
    server = Server(("127.0.0.1", 0), handler)
    if context is not None:
        server.socket = context.wrap_socket(server.socket, server_side=True, do_handshake_on_connect=False)
    threading.Thread(target=server.serve_forever, kwargs={"poll_interval": 0.1}, daemon=True).start()
    return server


def stop_server(server):
    server.shutdown()
    server.server_close()


def ask(url, method, account=None, password=None, depth=None):
    """One request from the host, to show a fixture answers as meant:
    (status, {lower-case header: value})."""
    scheme, _, rest = url.partition("://")
    host, _, path = rest.partition("/")
    if scheme == "https":
        connection = http.client.HTTPSConnection(host, timeout=REQUEST_SECONDS,
                                                 context=ssl._create_unverified_context())
    else:
        connection = http.client.HTTPConnection(host, timeout=REQUEST_SECONDS)
    headers = {}
    if account is not None:
        pair = ("%s:%s" % (account, password)).encode("utf-8")
        headers["Authorization"] = "Basic " + base64.b64encode(pair).decode()
    if depth is not None:
        headers["Depth"] = depth
    try:
        connection.request(method, "/" + path, headers=headers)
        response = connection.getresponse()
        response.read()
        headers = {}
        for name, value in response.getheaders():  # a repeated header (DAV) read as one list
            headers[name.lower()] = headers[name.lower()] + ", " + value if name.lower() in headers else value
        return response.status, headers
    finally:
        connection.close()


# ---------------------------------------------------------- simple servers

class PlainHandler(QuietHandler):
    """A web server that knows GET only: PROPFIND gets 501."""
    protocol_version = "HTTP/1.0"

    def do_GET(self):
        self.answer(200)


def start_plain_server():
    return serve(PlainHandler)


def start_silent_server():
    """Accepts connections, reads, and never answers. Returns (listener,
    the connections it holds)."""
    listener = socket.socket()
    listener.bind(("127.0.0.1", 0))
    listener.listen(8)
    held = []

    def accept():
        while True:
            try:
                connection, _ = listener.accept()
            except OSError:
                return
            held.append(connection)

    threading.Thread(target=accept, daemon=True).start()
    return listener, held


class RecorderHandler(QuietHandler):
    """Answers every request 207 like a healthy folder and keeps (method,
    path, Authorization header or None) in the server's `requests`."""

    def record(self):
        self.read_body()
        self.server.requests.append((self.command, self.path, self.headers.get("Authorization")))
        self.answer(207, body=multistatus([(self.path, None)]), content_type="application/xml; charset=utf-8")

    do_OPTIONS = do_PROPFIND = do_GET = do_HEAD = record


def start_recorder():
    server = serve(RecorderHandler)
    server.requests = []
    return server


# ------------------------------------------------------------------ rclone

def start_rclone(folder, user, password):
    """rclone's WebDAV server on FOLDER/dav; returns (process, base URL)."""
    log_path = os.path.join(folder, "rclone.log")
    log = open(log_path, "wb")
    process = subprocess.Popen(
        ["rclone", "serve", "webdav", "--config", "/dev/null", "--addr", "127.0.0.1:0",
         "--user", user, "--pass", password, os.path.join(folder, "dav")],
        stdout=log, stderr=subprocess.STDOUT)
    log.close()
    found = []

    def listening():
        with open(log_path, "rb") as f:
            found[:] = re.findall(rb"http://127\.0\.0\.1:[0-9]+/", f.read())
        if not found and process.poll() is not None:
            raise RuntimeError("rclone ended: " + open(log_path, errors="replace").read())
        return bool(found)

    try:
        wait_for(listening, 30, "rclone to listen")
    except RuntimeError:
        process.kill()
        raise
    return process, found[0].decode()


# ------------------------------------------------------------------ Apache

APACHE_MODULES = ["mpm_event", "authn_core", "authn_file", "authz_core", "authz_user", "auth_basic", "dir",
                  "mime", "dav", "dav_fs"]

APACHE_CONF = """\
ServerRoot "{root}"
ServerName 127.0.0.1
Listen 127.0.0.1:{port}
PidFile "{root}/run/httpd.pid"
DefaultRuntimeDir "{root}/run"
ErrorLog "{root}/logs/error.log"
LogLevel warn
LogFormat "%r %>s auth=%{{Authorization}}i" requests
CustomLog "{root}/logs/access.log" requests
{modules}
{identity}
TypesConfig /etc/mime.types
Timeout {timeout}
KeepAliveTimeout 2
DocumentRoot "{root}/htdocs"
# The root: a plain web server, as in front of most services.
<Directory "{root}/htdocs">
  Require all granted
</Directory>
DavLockDB "{root}/lock/DavLock"
<Directory "{root}/htdocs/dav">
  Dav On
  AuthType Basic
  AuthName "QLXDrive test"
  AuthBasicProvider file
  AuthUserFile "{root}/htpasswd"
  Require valid-user
</Directory>
"""


class Apache:
    """Apache httpd from a throwaway ServerRoot under WORK, with the DAV
    tree at /dav/ behind Basic authentication; the service's base URL is
    BASE_PATH (two levels deep) and each user's folder is beneath it."""

    BASE_PATH = "/dav/utenti/"

    def __init__(self, work, user, account, password):
        self.root = os.path.join(work, "apache")
        self.port = unused_port()
        self.base_url = "http://127.0.0.1:%d%s" % (self.port, self.BASE_PATH)
        self.folder = os.path.join(self.root, "htdocs", self.BASE_PATH.strip("/"), user)
        for sub in ("run", "logs", "lock", "htdocs"):
            os.makedirs(os.path.join(self.root, sub), exist_ok=True)
        os.makedirs(self.folder, exist_ok=True)
        with open(os.path.join(self.root, "htdocs", "index.html"), "w") as f:
            f.write("<html><body>QLXDrive test server</body></html>\n")
        htpasswd = subprocess.run(["htpasswd", "-i", "-c", "-B", os.path.join(self.root, "htpasswd"), account],
                                  input=password.encode("utf-8"), capture_output=True, timeout=30)
        if htpasswd.returncode != 0:
            raise RuntimeError("htpasswd: " + htpasswd.stderr.decode(errors="replace"))
        identity = ""
        if os.geteuid() == 0:
            # As root the children run as www-data: the DAV tree and the lock
            # database are theirs, and every directory above must be passable.
            identity = "User www-data\nGroup www-data"
            os.chmod(work, 0o755)
            for sub in ("lock", "htdocs/dav"):
                for top, dirs, files in os.walk(os.path.join(self.root, sub)):
                    for name in [top] + [os.path.join(top, n) for n in dirs + files]:
                        shutil.chown(name, "www-data", "www-data")
            os.chmod(self.root, 0o755)
        modules = "\n".join("LoadModule %s_module /usr/lib/apache2/modules/mod_%s.so" % (m, m)
                            for m in APACHE_MODULES)
        self.conf = os.path.join(self.root, "httpd.conf")
        with open(self.conf, "w") as f:
            f.write(APACHE_CONF.format(root=self.root, port=self.port, modules=modules, identity=identity,
                                       timeout=REQUEST_SECONDS))
        self.process = subprocess.Popen(["/usr/sbin/apache2", "-f", self.conf, "-DFOREGROUND"],
                                        stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)
        try:
            wait_for(lambda: self.process.poll() is not None or port_open(self.port), 30, "Apache to listen")
            if self.process.poll() is not None:
                raise RuntimeError("Apache ended (exit %d): %s%s" % (
                    self.process.returncode, self.process.stderr.read().decode(errors="replace"), self.error_log()))
        except Exception:
            self.stop()
            raise

    def put_file(self, name, size):
        path = os.path.join(self.folder, name)
        with open(path, "wb") as f:
            f.write(os.urandom(size))
        if os.geteuid() == 0:
            shutil.chown(path, "www-data", "www-data")

    def error_log(self):
        path = os.path.join(self.root, "logs", "error.log")
        return open(path, errors="replace").read() if os.path.exists(path) else ""

    def access_log(self):
        """The requests served so far: [(request line, status, Authorization)],
        the log's own lines being "METHOD PATH PROTOCOL STATUS auth=VALUE"."""
        path = os.path.join(self.root, "logs", "access.log")
        entries = []
        if os.path.exists(path):
            for line in open(path, errors="replace"):
                found = re.match(r"^(.*) ([0-9]{3}) auth=(.*)$", line.rstrip("\n"))
                if found:
                    entries.append((found.group(1), int(found.group(2)), found.group(3)))
        return entries

    def stop(self):
        if self.process.poll() is None:
            self.process.terminate()  # SIGTERM: the parent stops its children
            try:
                self.process.wait(15)
            except subprocess.TimeoutExpired:
                self.process.kill()
                self.process.wait(5)
        self.process.stderr.close()


# ------------------------------------------------------- special servers

def multistatus(entries):
    """A 207 body: ENTRIES are (href, size), size None for a collection."""
    parts = ['<?xml version="1.0" encoding="utf-8"?>\n<D:multistatus xmlns:D="DAV:">']
    for href, size in entries:
        if size is None:
            prop = "<D:resourcetype><D:collection/></D:resourcetype>"
        else:
            prop = "<D:resourcetype/><D:getcontentlength>%d</D:getcontentlength>" % size
        parts.append("<D:response><D:href>%s</D:href><D:propstat><D:prop>%s</D:prop>"
                     "<D:status>HTTP/1.1 200 OK</D:status></D:propstat></D:response>" % (href, prop))
    parts.append("</D:multistatus>\n")
    return "".join(parts).encode("utf-8")


LOGIN_PAGE = (b"<!DOCTYPE html><html><head><title>Accesso</title></head><body>"
              b"<form method=\"post\" action=\"/login\"><input name=\"username\"><input type=\"password\" "
              b"name=\"password\"><button>Entra</button></form></body></html>\n")


class SpecialHandler(QuietHandler):
    """A WebDAV folder at the server's `folder_path`, healthy unless the
    server's `mode` says otherwise:

    root-405     OPTIONS on / answers 405;
    parent-401   PROPFIND on the folder's parent answers 401 (Basic offered);
    digest       PROPFIND anywhere needs Digest, the only scheme offered;
    login-200    every request gets a login page (200, text/html);
    login-302    every request below / is sent to /login (302, same origin);
    redirect     the folder is sent to `redirect_to` (another origin).
    """

    def mode(self):
        return self.server.mode

    def is_folder(self):
        return self.path.rstrip("/") == self.server.folder_path.rstrip("/")

    def login(self):
        if self.mode() == "login-200" or self.path.startswith("/login"):
            self.answer(200, body=LOGIN_PAGE, content_type="text/html; charset=utf-8")
            return True
        if self.mode() == "login-302":
            self.answer(302, [("Location", "http://%s/login?ReturnUrl=%s" % (self.headers["Host"], self.path))],
                        body=b"", content_type="text/html")
            return True
        return False

    def redirect(self):
        if self.mode() == "redirect" and self.is_folder():
            self.answer(301, [("Location", self.server.redirect_to)], content_type="text/html")
            return True
        return False

    def do_OPTIONS(self):
        self.read_body()
        self.server.requests.append((self.command, self.path, self.headers.get("Authorization")))
        if self.login() or self.redirect():
            return
        if self.mode() == "root-405" and self.path == "/":
            self.answer(405, [("Allow", "GET, HEAD")], content_type="text/plain")
            return
        self.answer(200, [("DAV", "1, 2"), ("MS-Author-Via", "DAV"),
                          ("Allow", "OPTIONS, GET, HEAD, PUT, DELETE, PROPFIND, PROPPATCH, MKCOL, COPY, MOVE, "
                                    "LOCK, UNLOCK")])

    def do_PROPFIND(self):
        self.read_body()
        self.server.requests.append((self.command, self.path, self.headers.get("Authorization")))
        if self.login() or self.redirect():
            return
        parent = self.server.folder_path.rstrip("/").rsplit("/", 1)[0] + "/"
        if self.mode() == "parent-401" and self.path.rstrip("/") + "/" == parent:
            self.answer(401, [("WWW-Authenticate", 'Basic realm="utenti"')], b"", "text/plain")
            return
        if self.mode() == "digest":
            self.answer(401, [("WWW-Authenticate",
                               'Digest realm="QLXDrive", qop="auth", nonce="6f0c1e4a9b7d", algorithm=MD5')],
                        b"", "text/plain")
            return
        entries = [(self.path, None)]
        if self.is_folder() and self.headers.get("Depth") == "1":
            entries += [(self.server.folder_path.rstrip("/") + "/" + name, size) for name, size in self.server.files]
        self.answer(207, body=multistatus(entries), content_type="application/xml; charset=utf-8")

    def do_GET(self):
        self.read_body()
        if not self.login():
            self.answer(200, body=b"<html><body>QLXDrive</body></html>", content_type="text/html")

    do_HEAD = do_GET


def start_special(base_path, user, context=None):
    """A SpecialHandler server (healthy until its `mode` is set) whose
    service base is BASE_PATH; over TLS when CONTEXT is given."""
    server = serve(SpecialHandler, context)
    server.mode = "healthy"
    server.folder_path = base_path + user + "/"
    server.files = [("note.txt", 120)]
    server.redirect_to = None
    server.requests = []
    server.handshakes = []  # TLS: every accepted connection, and how its handshake ended
    if context is not None:
        accept = server.get_request

        def get_request():
            connection, address = accept()
            connection.settimeout(REQUEST_SECONDS)
            try:
                connection.do_handshake()
                server.handshakes.append("ok")
            except (ssl.SSLError, OSError) as e:
                server.handshakes.append(type(e).__name__ + ": " + str(e))
                raise
            return connection, address

        server.get_request = get_request
    return server


def throwaway_tls_context(folder):
    """A server context with a fresh self-signed certificate for 127.0.0.1,
    valid in every respect but trust."""
    key, cert = os.path.join(folder, "tls.key"), os.path.join(folder, "tls.crt")
    made = subprocess.run(
        ["openssl", "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-keyout", key, "-out", cert, "-days", "2",
         "-subj", "/CN=127.0.0.1", "-addext", "subjectAltName=IP:127.0.0.1",
         "-addext", "extendedKeyUsage=serverAuth"], capture_output=True, timeout=60)
    if made.returncode != 0:
        raise RuntimeError("openssl: " + made.stderr.decode(errors="replace"))
    context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
    context.load_cert_chain(cert, key)
    return context
