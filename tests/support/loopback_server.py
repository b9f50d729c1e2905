#!/usr/bin/env python3
"""Loopback HTTP/HTTPS server of the tests and the demo, with scripted behaviours per path.

One process serves plain HTTP on 127.0.0.1 and, when given a folder of test
certificates, HTTPS on four more ports (trusted, self-signed, wrong host name,
expired). Every port is chosen free by the system and written to the info file
(or, with --port, the HTTP port asked for when it is free, written to --port-file).
Paths without a route are the files of --root: status 200 with their exact
Content-Length and type, 404 and 405 (for anything but GET and HEAD) as small
pages with a Content-Length of their own, nothing outside the folder. --log
appends a line per request. See README.md beside this file for the route
fields and the control endpoints.

Usage: loopback_server.py --root FOLDER (--info FILE | --port-file FILE) [--port N]
                          [--log FILE] [--tls-dir FOLDER] [--script FILE]
"""

import argparse
import array
import base64
import datetime
import json
import mimetypes
import os
import signal
import socket
import ssl
import sys
import threading
import time
import urllib.parse
from http.server import BaseHTTPRequestHandler, ThreadingHTTPServer

CONTROL_PREFIX = "/_control/"
CONTENT_TYPES = {
    ".xml": "application/xml",
    ".msi": "application/x-msi",
    ".exe": "application/octet-stream",
    ".html": "text/html; charset=utf-8",
}
PATTERN_CACHE_LIMIT = 64 * 1024 * 1024


def pattern_bytes(size, seed=0):
    """Bytes where each 4-byte little-endian word k holds (seed + k) mod 2**32."""
    words = (size + 3) // 4
    data = array.array("I")
    start = seed & 0xFFFFFFFF
    first = min(words, 0x100000000 - start)
    data.extend(range(start, start + first))
    if words > first:
        data.extend(range(0, words - first))
    if sys.byteorder != "little":
        data.byteswap()
    return data.tobytes()[:size]


class State:
    def __init__(self, root, log_file=None):
        self.root = os.path.realpath(root)
        self.log_file = log_file  # a line per answered request (the demo's request log)
        self.lock = threading.Lock()
        self.routes = {}
        self.proxy_credentials = ""  # "user:password" a proxied request must bring (Basic); "" none
        self.requests_seen = {}  # path -> requests played so far (for "attempts")
        self.log = []
        self.pattern_cache = {}

    def add_routes(self, routes):
        if isinstance(routes, dict):
            routes = [routes]
        with self.lock:
            for route in routes:
                self.routes[route["path"]] = route
                self.requests_seen.pop(route["path"], None)

    def reset(self, prefix):
        with self.lock:
            for path in [p for p in self.routes if p.startswith(prefix)]:
                del self.routes[path]
                self.requests_seen.pop(path, None)
            self.log = [entry for entry in self.log if not entry["path"].startswith(prefix)]

    def route(self, path):
        """The route of path for this request: its n-th request (from 0) plays the
        route with the fields of attempts[n] laid over it; later ones the route."""
        with self.lock:
            route = self.routes.get(path)
            if route is None:
                return None
            seen = self.requests_seen.get(path, 0)
            self.requests_seen[path] = seen + 1
            attempts = route.get("attempts", [])
            if seen < len(attempts):
                route = dict(route, **attempts[seen])
            return route

    def record(self, entry):
        with self.lock:
            self.log.append(entry)

    def note(self, line):
        if not self.log_file:
            return
        with self.lock:
            self.log_file.write(line + "\n")
            self.log_file.flush()

    def entries(self, prefix):
        with self.lock:
            return [entry for entry in self.log if entry["path"].startswith(prefix)]

    def pattern(self, size, seed):
        key = (size, seed)
        with self.lock:
            cached = self.pattern_cache.get(key)
        if cached is not None:
            return cached
        data = pattern_bytes(size, seed)
        if size <= PATTERN_CACHE_LIMIT:
            with self.lock:
                self.pattern_cache[key] = data
        return data


class Handler(BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"
    server_version = "KelmLoopback/1"
    sys_version = ""

    def setup(self):
        super().setup()
        self.connection.settimeout(60)
        if isinstance(self.connection, ssl.SSLSocket):
            # The handshake runs here, not in the accepting thread: a client that
            # refuses the certificate only ends its own connection.
            self.connection.do_handshake()

    def log_message(self, format, *args):  # noqa: A002 - the base class's name
        pass

    def do_GET(self):
        self.respond()

    do_HEAD = do_POST = do_PUT = do_DELETE = do_OPTIONS = do_GET

    # -- requests -------------------------------------------------------------

    def read_request_body(self):
        length = int(self.headers.get("Content-Length") or 0)
        return self.rfile.read(length) if length > 0 else b""

    def respond(self):
        state = self.server.state
        target = self.path
        headers = [[name, value] for name, value in self.headers.items()]
        proxy_refused = False
        if target.startswith("http://"):
            # The absolute form a client sends to its proxy: this server is the
            # proxy of every host and serves the request from its own routes.
            # The log keeps the host the client asked for.
            parsed = urllib.parse.urlsplit(target)
            target = (parsed.path or "/") + ("?" + parsed.query if parsed.query else "")
            headers.append(["X-Kelm-Proxied-For", parsed.netloc])
            wanted = state.proxy_credentials
            if wanted:
                expected = "Basic " + base64.b64encode(wanted.encode("utf-8")).decode("ascii")
                proxy_refused = self.headers.get("Proxy-Authorization", "") != expected
        path, _, query = target.partition("?")
        body = self.read_request_body()
        if path.startswith(CONTROL_PREFIX):
            self.control(path[len(CONTROL_PREFIX):], urllib.parse.parse_qs(query), body)
            return
        state.record({
            "server": self.server.name,
            "client_port": self.client_address[1],
            "method": self.command,
            "target": target,
            "path": path,
            "query": query,
            "version": self.request_version,
            "headers": headers,
            "body_size": len(body),
            "time": time.time(),
        })
        if proxy_refused:
            # A proxy that wants credentials first; the log shows the refused request too.
            self.play({"status": 407, "body": "<html><body>407 Proxy Authentication Required</body></html>",
                       "headers": {"Proxy-Authenticate": 'Basic realm="Kelm test proxy"',
                                   "Content-Type": "text/html"}})
            return
        route = state.route(path)
        if route is None:
            route = self.file_route(path)
        if route.get("refuse_head") and self.command == "HEAD":
            # A server that answers GET only.
            route = {"status": 405, "body": "", "headers": {"Allow": "GET"}}
        if route.get("silent_ms"):
            # A server that took the request and never answers it.
            self.hold_connection(int(route["silent_ms"]) / 1000.0)
            self.close_connection = True
            return
        self.play(route)

    def file_route(self, path):
        if self.command not in ("GET", "HEAD"):
            return {"status": 405, "body": "<html><body><h1>405 Method Not Allowed</h1></body></html>",
                    "headers": {"Content-Type": "text/html", "Allow": "GET, HEAD"}}
        relative = urllib.parse.unquote(path).lstrip("/")
        full = os.path.realpath(os.path.join(self.server.state.root, relative))
        inside = full.startswith(self.server.state.root + os.sep)
        if inside and os.path.isfile(full):
            extension = os.path.splitext(full)[1].lower()
            content_type = CONTENT_TYPES.get(extension) or mimetypes.guess_type(full)[0] or "application/octet-stream"
            return {"file_path": full, "headers": {"Content-Type": content_type, "Cache-Control": "no-store"}}
        return {"status": 404, "body": "<html><body><h1>404 Not Found</h1></body></html>",
                "headers": {"Content-Type": "text/html"}}

    # -- answers --------------------------------------------------------------

    def route_body(self, route):
        if "body" in route:
            return route["body"].encode("utf-8")
        if "body_size" in route:
            return self.server.state.pattern(int(route["body_size"]), int(route.get("seed", 0)))
        if "file" in route:
            route = dict(route, file_path=os.path.join(self.server.state.root, route["file"]))
        if "file_path" in route:
            return None
        return b""

    def validators(self, route):
        headers = {}
        if route.get("etag"):
            headers["ETag"] = route["etag"]
        if route.get("last_modified"):
            headers["Last-Modified"] = route["last_modified"]
        return headers

    def range_start(self, route, size):
        """Where a "Range: bytes=N-" request is answered from, or None for the
        whole body: only with "ranges", only when If-Range (if sent) names the
        route's ETag or Last-Modified, only for a start inside the body."""
        asked = self.headers.get("Range", "")
        if not route.get("ranges") or not asked.startswith("bytes=") or not asked.endswith("-"):
            return None
        try:
            start = int(asked[len("bytes="):-1])
        except ValueError:
            return None
        condition = self.headers.get("If-Range")
        if condition is not None and condition not in self.validators(route).values():
            return None
        return start if 0 <= start < size else None

    def play(self, route):
        status = int(route.get("status", 200))
        body = self.route_body(route)
        file_path = route.get("file_path") or (
            os.path.join(self.server.state.root, route["file"]) if "file" in route else None)
        size = os.path.getsize(file_path) if body is None else len(body)
        headers = dict(self.validators(route), **route.get("headers", {}))
        start = self.range_start(route, size) if status == 200 else None
        if start is not None:
            status = 206
            headers["Content-Range"] = "bytes %d-%d/%d" % (start, size - 1, size)
            if body is None:
                body = open(file_path, "rb").read()
            body = body[start:]
            size = len(body)
        if self.command == "HEAD" or route.get("omit_body"):
            send_size = 0
        else:
            send_size = size
        if "drop_after" in route:
            send_size = min(send_size, int(route["drop_after"]))

        chunked = bool(route.get("chunked"))
        length = route.get("content_length", "auto")
        self.send_response_only(status, route.get("reason"))
        self.send_header("Date", self.date_time_string())
        for name, value in headers.items():
            self.send_header(name, str(value))
        if chunked:
            self.send_header("Transfer-Encoding", "chunked")
        elif length == "auto":
            self.send_header("Content-Length", str(size))
        elif length is not None and length != "none":
            self.send_header("Content-Length", str(length))
        # Without a length or chunks the end of the body is the end of the connection.
        unframed = not chunked and (length is None or length == "none")
        ending = "drop_after" in route or unframed or route.get("close")
        if ending:
            self.send_header("Connection", "close")
        self.end_headers()
        self.wfile.flush()

        self.body_sent = 0
        try:
            self.send_body(route, body, file_path, send_size, chunked)
            # A reply to HEAD has no body, not even the last chunk.
            if chunked and "drop_after" not in route and self.command != "HEAD":
                self.wfile.write(b"0\r\n\r\n")
            self.wfile.flush()
            hold = int(route.get("hold_ms", 0))
            if hold:
                self.hold_connection(hold / 1000.0)
        except (ConnectionError, ssl.SSLError, socket.timeout, OSError):
            self.close_connection = True
            return
        finally:
            self.note(status, size, self.body_sent)
        if ending:
            self.close_connection = True
            if route.get("drop") == "reset":
                self.connection.setsockopt(socket.SOL_SOCKET, socket.SO_LINGER, b"\x01\x00\x00\x00\x00\x00\x00\x00")

    def note(self, status, length, sent):
        time_of_day = datetime.datetime.now().strftime("%H:%M:%S")
        agent = self.headers.get("User-Agent", "-")
        self.server.state.note(f"{time_of_day} {self.command} {self.path} {status} "
                               f"Content-Length={length} sent={sent} agent=\"{agent}\"")

    def send_body(self, route, body, file_path, send_size, chunked):
        piece = int(route.get("piece_size", 0)) or 65536
        delay = int(route.get("piece_delay_ms", 0)) / 1000.0
        source = open(file_path, "rb") if body is None else None
        try:
            sent = 0
            while sent < send_size:
                count = min(piece, send_size - sent)
                data = source.read(count) if source else body[sent:sent + count]
                if not data:
                    break
                if chunked:
                    self.wfile.write(b"%x\r\n" % len(data) + data + b"\r\n")
                else:
                    self.wfile.write(data)
                sent += len(data)
                self.body_sent = sent
                if delay:
                    self.wfile.flush()
                    time.sleep(delay)
        finally:
            if source:
                source.close()

    def hold_connection(self, seconds):
        # Keeps the connection open (the client may close it first) before the drop.
        self.connection.settimeout(seconds)
        try:
            self.connection.recv(1)
        except (socket.timeout, OSError):
            pass

    # -- control endpoints ----------------------------------------------------

    def control(self, command, query, body):
        state = self.server.state
        prefix = query.get("prefix", [""])[0]
        if command == "routes" and self.command == "POST":
            state.add_routes(json.loads(body.decode("utf-8")))
            self.answer(200, "text/plain", b"ok")
        elif command == "reset" and self.command == "POST":
            state.reset(prefix)
            self.answer(200, "text/plain", b"ok")
        elif command == "log":
            entries = state.entries(prefix)
            if query.get("format", ["text"])[0] == "json":
                self.answer(200, "application/json", json.dumps(entries).encode("utf-8"))
            else:
                self.answer(200, "text/plain", log_as_text(entries).encode("utf-8"))
        elif command == "proxy_credentials" and self.command == "POST":
            state.proxy_credentials = query.get("value", [""])[0]
            self.answer(200, "text/plain", b"ok")
        elif command == "info":
            self.answer(200, "application/json", json.dumps(self.server.info).encode("utf-8"))
        else:
            self.answer(404, "text/plain", b"unknown control request")

    def answer(self, status, content_type, data):
        self.send_response_only(status)
        self.send_header("Content-Type", content_type)
        self.send_header("Content-Length", str(len(data)))
        self.end_headers()
        self.wfile.write(data)


def log_as_text(entries):
    """One block per request: "<server> <client port> <method> <target> <version>",
    then one "Name: value" line per header, then an empty line."""
    lines = []
    for entry in entries:
        lines.append("%s %d %s %s %s" % (entry["server"], entry["client_port"], entry["method"],
                                         entry["target"], entry["version"]))
        lines.extend("%s: %s" % (name, value) for name, value in entry["headers"])
        lines.append("")
    return "".join(line + "\r\n" for line in lines)


class Server(ThreadingHTTPServer):
    daemon_threads = True
    allow_reuse_address = True
    request_queue_size = 64

    def __init__(self, name, state, ssl_context=None, port=0):
        self.name = name
        self.state = state
        self.ssl_context = ssl_context
        self.info = {}
        super().__init__(("127.0.0.1", port), Handler)

    def get_request(self):
        connection, address = self.socket.accept()
        if self.ssl_context:
            connection = self.ssl_context.wrap_socket(connection, server_side=True,
                                                      do_handshake_on_connect=False)
        return connection, address

    def handle_error(self, request, client_address):
        kind, value = sys.exc_info()[:2]
        if issubclass(kind, (ConnectionError, ssl.SSLError, socket.timeout, OSError)):
            return
        print("%s: request from %s failed: %r" % (self.name, client_address, value), file=sys.stderr)


TLS_SERVERS = [
    # name, certificate, key
    ("https", "localhost.pem", "localhost.key"),
    ("https_self_signed", "self-signed.pem", "self-signed.key"),
    ("https_wrong_name", "other-name.pem", "other-name.key"),
    ("https_expired", "expired.pem", "expired.key"),
]


def tls_context(folder, certificate, key):
    context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
    context.load_cert_chain(os.path.join(folder, certificate), os.path.join(folder, key))
    return context


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--root", required=True, help="folder whose files are served")
    parser.add_argument("--info", help="JSON file written when the ports are open")
    parser.add_argument("--port", type=int, default=0, help="HTTP port asked for (taken or 0: any free port)")
    parser.add_argument("--port-file", help="file that receives the HTTP port once it is open")
    parser.add_argument("--log", help="request log file (appended)")
    parser.add_argument("--tls-dir", help="folder of test certificates (make-test-certs.sh)")
    parser.add_argument("--script", help="JSON file of routes to install at start")
    args = parser.parse_args()
    if not args.info and not args.port_file:
        parser.error("--info or --port-file is needed")

    os.makedirs(args.root, exist_ok=True)
    state = State(args.root, open(args.log, "a", encoding="utf-8") if args.log else None)
    if args.script:
        with open(args.script, encoding="utf-8") as script:
            state.add_routes(json.load(script))

    try:
        http_server = Server("http", state, port=args.port)
    except OSError:
        if args.port == 0:
            raise
        http_server = Server("http", state)
    servers = [http_server]
    if args.tls_dir:
        for name, certificate, key in TLS_SERVERS:
            servers.append(Server(name, state, tls_context(args.tls_dir, certificate, key)))

    info = {
        "pid": os.getpid(),
        "root": state.root,
        "ports": {server.name: server.server_address[1] for server in servers},
        "ca": os.path.join(os.path.realpath(args.tls_dir), "ca.pem") if args.tls_dir else None,
    }
    for server in servers:
        server.info = info
        threading.Thread(target=server.serve_forever, name=server.name, daemon=True).start()

    if args.info:
        temporary = args.info + ".tmp"
        with open(temporary, "w", encoding="utf-8") as out:
            json.dump(info, out)
        os.replace(temporary, args.info)
    if args.port_file:
        temporary = args.port_file + ".tmp"
        with open(temporary, "w", encoding="ascii") as out:
            out.write("%d\n" % http_server.server_address[1])
        os.replace(temporary, args.port_file)

    stopped = threading.Event()
    signal.signal(signal.SIGTERM, lambda signum, frame: stopped.set())
    try:
        stopped.wait()
    except KeyboardInterrupt:
        pass


if __name__ == "__main__":
    main()
