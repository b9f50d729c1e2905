#!/usr/bin/env python3
"""The package server (tests/support/loopback_server.py serving a folder, as the demo
uses it) keeps the contract the installer relies on: status 200
with an exact Content-Length for files, 404 and 405 with a Content-Length of their
own pages, nothing outside its folder, kept-alive connections, and it survives
clients that stop reading a body (the installer's size query does that)."""

import http.client
import os
import socket
import subprocess
import sys
import tempfile
import time
import unittest

SERVER = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "support", "loopback_server.py")


class ServerProcess:
    def __init__(self, root, port=0):
        self.port_file = os.path.join(root, "..", f"port-{os.getpid()}-{time.monotonic_ns()}")
        self.log = self.port_file + ".log"
        self.process = subprocess.Popen([sys.executable, SERVER, "--root", root, "--port", str(port),
                                         "--port-file", self.port_file, "--log", self.log])
        deadline = time.monotonic() + 20
        while not os.path.exists(self.port_file):
            if self.process.poll() is not None or time.monotonic() > deadline:
                raise RuntimeError("the server did not start")
            time.sleep(0.05)
        with open(self.port_file) as f:
            self.port = int(f.read())

    def stop(self):
        self.process.terminate()
        self.process.wait(timeout=10)
        for path in (self.port_file, self.log):
            if os.path.exists(path):
                os.remove(path)


class PackageServerContract(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.folder = tempfile.TemporaryDirectory()
        cls.root = os.path.join(cls.folder.name, "site")
        os.makedirs(os.path.join(cls.root, "zunder", "8", "packages"))
        cls.package = os.urandom(3 * 1024 * 1024 + 17)
        with open(os.path.join(cls.root, "zunder", "8", "packages", "ZunderPro8.msi"), "wb") as f:
            f.write(cls.package)
        with open(os.path.join(cls.root, "zunder", "8", "version.xml"), "wb") as f:
            f.write(b"<kelmwebinstaller/>")
        with open(os.path.join(cls.folder.name, "secret.txt"), "wb") as f:
            f.write(b"outside")
        cls.server = ServerProcess(cls.root)

    @classmethod
    def tearDownClass(cls):
        cls.server.stop()
        cls.folder.cleanup()

    def connection(self, port=None):
        connection = http.client.HTTPConnection("127.0.0.1", port or self.server.port, timeout=10)
        self.addCleanup(connection.close)
        return connection

    def test_files_come_with_their_exact_length(self):
        cases = [("/zunder/8/packages/ZunderPro8.msi", self.package, "application/x-msi"),
                 ("/zunder/8/version.xml", b"<kelmwebinstaller/>", "application/xml")]
        connection = self.connection()
        for path, content, content_type in cases:  # one kept-alive connection for all
            connection.request("GET", path, headers={"User-Agent": "Mirelle Web Installer Client"})
            reply = connection.getresponse()
            body = reply.read()
            self.assertEqual(reply.status, 200, path)
            self.assertEqual(int(reply.getheader("Content-Length")), len(content), path)
            self.assertEqual(reply.getheader("Content-Type"), content_type, path)
            self.assertEqual(body, content, path)
        connection.request("HEAD", cases[0][0])
        reply = connection.getresponse()
        self.assertEqual(reply.read(), b"")
        self.assertEqual(int(reply.getheader("Content-Length")), len(self.package))

    def test_errors_are_pages_with_a_length(self):
        cases = [("GET", "/zunder/8/packages/missing.msi", 404),
                 ("GET", "/zunder/8/packages/", 404),
                 ("POST", "/zunder/8/version.xml", 405)]
        for method, path, status in cases:
            connection = self.connection()
            connection.request(method, path)
            reply = connection.getresponse()
            body = reply.read()
            self.assertEqual(reply.status, status, path)
            self.assertEqual(int(reply.getheader("Content-Length")), len(body), path)
            self.assertIn(str(status).encode(), body)

    def raw_request(self, target):
        with socket.create_connection(("127.0.0.1", self.server.port), timeout=10) as s:
            s.sendall(f"GET {target} HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\n\r\n".encode())
            answer = b""
            while chunk := s.recv(65536):
                answer += chunk
        return answer

    def test_nothing_outside_the_folder_is_served(self):
        for target in ("/../secret.txt", "/zunder/../../secret.txt", "/%2e%2e/secret.txt"):
            answer = self.raw_request(target)
            self.assertTrue(answer.startswith(b"HTTP/1.1 404"), target)
            self.assertNotIn(b"outside", answer, target)

    def test_a_client_that_stops_reading_does_not_harm_the_server(self):
        for _ in range(3):  # the installer's size query: headers only, then the connection closes
            with socket.create_connection(("127.0.0.1", self.server.port), timeout=10) as s:
                s.sendall(b"GET /zunder/8/packages/ZunderPro8.msi HTTP/1.1\r\nHost: x\r\n\r\n")
                self.assertIn(b"Content-Length: %d" % len(self.package), s.recv(4096))
        connection = self.connection()
        connection.request("GET", "/zunder/8/packages/ZunderPro8.msi")
        self.assertEqual(connection.getresponse().read(), self.package)

    def test_a_taken_port_gives_way_to_a_free_one(self):
        second = ServerProcess(self.root, port=self.server.port)
        try:
            self.assertNotEqual(second.port, self.server.port)
            connection = self.connection(second.port)
            connection.request("GET", "/zunder/8/version.xml")
            self.assertEqual(connection.getresponse().status, 200)
        finally:
            second.stop()


if __name__ == "__main__":
    unittest.main(verbosity=2)
