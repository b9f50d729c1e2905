#!/usr/bin/env python3
"""The demo's package server: the vendor's download server in small, on 127.0.0.1.

Serves the files of one folder to GET and HEAD requests over HTTP/1.1, the way the
installer expects of the real server: status 200 with an exact Content-Length for
every file, 404 (with a small HTML body, also with its Content-Length) for anything
else, 405 for other methods. Connections stay open between requests (keep-alive).
The installer asks for a package's size with a GET whose body it does not read;
the broken connection that follows is normal and not logged as an error.

Usage: zunder_server.py --root FOLDER [--port 8470] [--port-file FILE] [--log FILE]
With --port 0, or when the port is taken, the system chooses a free port; the port
in use is written to --port-file. Stops on SIGTERM or SIGINT.
"""

import argparse
import datetime
import mimetypes
import os
import signal
import sys
import threading
import urllib.parse
from http.server import BaseHTTPRequestHandler, ThreadingHTTPServer

CHUNK = 64 * 1024
CONTENT_TYPES = {
    ".xml": "application/xml",
    ".msi": "application/x-msi",
    ".exe": "application/octet-stream",
    ".html": "text/html; charset=utf-8",
}


class PackageServer(ThreadingHTTPServer):
    daemon_threads = True
    allow_reuse_address = True

    def __init__(self, address, root, log):
        super().__init__(address, Handler)
        self.root = os.path.realpath(root)
        self.log_file = log
        self.log_lock = threading.Lock()

    def record(self, line):
        if not self.log_file:
            return
        with self.log_lock:
            self.log_file.write(line + "\n")
            self.log_file.flush()


class Handler(BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"
    server_version = "ZunderDemoServer/1"

    def version_string(self):
        return self.server_version

    def log_message(self, format, *args):  # noqa: A002 - the base class's name
        pass

    def do_GET(self):
        self.answer(send_body=True)

    def do_HEAD(self):
        self.answer(send_body=False)

    def do_POST(self):
        self.refuse()

    do_PUT = do_DELETE = do_OPTIONS = do_PATCH = do_POST

    def local_file(self):
        path = urllib.parse.urlsplit(self.path).path
        relative = urllib.parse.unquote(path).lstrip("/")
        full = os.path.realpath(os.path.join(self.server.root, relative))
        if not full.startswith(self.server.root + os.sep) or not os.path.isfile(full):
            return None
        return full

    def answer(self, send_body):
        full = self.local_file()
        if full is None:
            self.send_page(404, "Not Found", send_body)
            return
        size = os.path.getsize(full)
        extension = os.path.splitext(full)[1].lower()
        content_type = CONTENT_TYPES.get(extension) or mimetypes.guess_type(full)[0] or "application/octet-stream"
        self.send_response(200)
        self.send_header("Content-Type", content_type)
        self.send_header("Content-Length", str(size))
        self.send_header("Cache-Control", "no-store")
        self.end_headers()
        sent = 0
        if send_body:
            try:
                with open(full, "rb") as source:
                    while True:
                        block = source.read(CHUNK)
                        if not block:
                            break
                        self.wfile.write(block)
                        sent += len(block)
            except (BrokenPipeError, ConnectionResetError):
                self.close_connection = True
        self.note(200, size, sent)

    def refuse(self):
        length = int(self.headers.get("Content-Length") or 0)
        if length > 0:
            self.rfile.read(length)
        self.send_page(405, "Method Not Allowed", True, {"Allow": "GET, HEAD"})

    def send_page(self, status, reason, send_body, extra_headers=None):
        body = (f"<html><head><title>{status} {reason}</title></head>"
                f"<body><h1>{status} {reason}</h1></body></html>").encode("ascii")
        self.send_response(status, reason)
        self.send_header("Content-Type", "text/html")
        self.send_header("Content-Length", str(len(body)))
        for name, value in (extra_headers or {}).items():
            self.send_header(name, value)
        self.end_headers()
        if send_body:
            try:
                self.wfile.write(body)
            except (BrokenPipeError, ConnectionResetError):
                self.close_connection = True
        self.note(status, len(body), len(body) if send_body else 0)

    def note(self, status, length, sent):
        time = datetime.datetime.now().strftime("%H:%M:%S")
        agent = self.headers.get("User-Agent", "-")
        self.server.record(f"{time} {self.command} {self.path} {status} "
                           f"Content-Length={length} sent={sent} agent=\"{agent}\"")


def bind(root, port, log):
    try:
        return PackageServer(("127.0.0.1", port), root, log)
    except OSError:
        if port == 0:
            raise
        return PackageServer(("127.0.0.1", 0), root, log)


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--root", required=True, help="folder whose files are served")
    parser.add_argument("--port", type=int, default=8470, help="preferred port (0: any free port)")
    parser.add_argument("--port-file", help="file that receives the port in use")
    parser.add_argument("--log", help="request log file (appended)")
    arguments = parser.parse_args()

    if not os.path.isdir(arguments.root):
        sys.exit(f"no such folder: {arguments.root}")
    log = open(arguments.log, "a", encoding="utf-8") if arguments.log else None
    server = bind(arguments.root, arguments.port, log)
    port = server.server_address[1]
    if arguments.port_file:
        temporary = arguments.port_file + ".tmp"
        with open(temporary, "w", encoding="ascii") as out:
            out.write(f"{port}\n")
        os.replace(temporary, arguments.port_file)

    def stop(signum, frame):
        threading.Thread(target=server.shutdown, daemon=True).start()

    signal.signal(signal.SIGTERM, stop)
    signal.signal(signal.SIGINT, stop)
    server.serve_forever(poll_interval=0.2)
    server.server_close()


if __name__ == "__main__":
    main()
