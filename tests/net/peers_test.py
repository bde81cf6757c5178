#!/usr/bin/env python3
"""Peer tests of the HTTP client: the fetch tool and a driver program against
Debian's nginx, Python's http.server and a scripted server, all on 127.0.0.1.

usage: peers_test.py --fetch PATH --driver PATH [--emulator 'wine-run|PREFIX']
"""
import argparse
import os
import random
import shutil
import signal
import socket
import subprocess
import sys
import tempfile
import time
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from scripted_server import ScriptedServer, chunked, response  # noqa: E402

ARGS = None
USER_AGENT = b"User-Agent: Vossarium (May  7 2014 20:36:16)\r\n"


def program(path):
    prefix = ARGS.emulator.split("|") if ARGS.emulator else []
    return prefix + [path]


def host_path(path):
    """A path as the program under test sees it (Wine maps / to Z:)."""
    if ARGS.emulator:
        return "Z:" + path.replace("/", "\\")
    return path


def run(path, args, timeout=120):
    started = time.monotonic()
    done = subprocess.run(program(path) + args, capture_output=True, timeout=timeout)
    done.elapsed = time.monotonic() - started
    # A Windows program writes its stderr in text mode (CR LF line ends).
    done.log = done.stderr.decode("utf-8", "replace").replace("\r\n", "\n")
    return done


def fetch(args, timeout=120):
    return run(ARGS.fetch, args, timeout)


def drive(args, timeout=120):
    done = run(ARGS.driver, args, timeout)
    done.results = [line.split(" ", 3) for line in done.stdout.decode().splitlines()]
    return done


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


def wait_for_port(port, process, seconds=10):
    deadline = time.monotonic() + seconds
    while time.monotonic() < deadline:
        if process.poll() is not None:
            return False
        try:
            with socket.create_connection(("127.0.0.1", port), timeout=0.2):
                return True
        except OSError:
            time.sleep(0.05)
    return False


def stop_process(process):
    if process.poll() is None:
        process.send_signal(signal.SIGTERM)
        try:
            process.wait(timeout=5)
        except subprocess.TimeoutExpired:
            process.kill()
            process.wait(timeout=5)


NGINX_CONFIG = """
daemon off;
master_process off;
pid {dir}/nginx.pid;
error_log {dir}/error.log warn;
events {{ worker_connections 64; }}
http {{
  access_log off;
  client_body_temp_path {dir}/t_body;
  proxy_temp_path {dir}/t_proxy;
  fastcgi_temp_path {dir}/t_fastcgi;
  uwsgi_temp_path {dir}/t_uwsgi;
  scgi_temp_path {dir}/t_scgi;
  default_type application/octet-stream;
  sendfile on;
  keepalive_requests 100000;
  server {{
    listen 127.0.0.1:{port};
    root {dir}/www;
    location = /moved {{ return 301 /files/small.bin; }}
    location /chunked/ {{
      alias {dir}/www/files/;
      addition_types *;
      add_after_body /empty;
    }}
    location = /empty {{ return 200 ""; }}
  }}
}}
"""


class Nginx:
    """nginx in the foreground, one process, serving a temporary directory."""

    def __init__(self, directory):
        self.dir = directory
        for attempt in range(5):
            self.port = free_port()
            with open(os.path.join(directory, "nginx.conf"), "w") as f:
                f.write(NGINX_CONFIG.format(dir=directory, port=self.port))
            self.process = subprocess.Popen(
                ["nginx", "-c", os.path.join(directory, "nginx.conf"), "-p", directory],
                stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
            if wait_for_port(self.port, self.process):
                return
            stop_process(self.process)
        raise RuntimeError("nginx did not start")

    def url(self, path):
        return "http://127.0.0.1:%d%s" % (self.port, path)

    def stop(self):
        stop_process(self.process)


def write_random(path, size, seed):
    rng = random.Random(seed)
    with open(path, "wb") as f:
        left = size
        while left:
            n = min(left, 1 << 20)
            f.write(rng.randbytes(n))
            left -= n


def read(path):
    with open(path, "rb") as f:
        return f.read()


class NginxTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.dir = tempfile.mkdtemp(prefix="net-nginx-")
        os.makedirs(os.path.join(cls.dir, "www", "files"))
        cls.small = os.path.join(cls.dir, "www", "files", "small.bin")
        cls.big = os.path.join(cls.dir, "www", "files", "big.bin")
        write_random(cls.small, 100_000, 1)
        write_random(cls.big, 64 << 20, 2)
        cls.nginx = Nginx(cls.dir)

    @classmethod
    def tearDownClass(cls):
        cls.nginx.stop()
        shutil.rmtree(cls.dir, ignore_errors=True)

    def test_large_file_to_disk_and_small_to_stdout(self):
        out = os.path.join(self.dir, "big.out")
        done = fetch([self.nginx.url("/files/big.bin"), host_path(out)])
        self.assertEqual(done.returncode, 0, done.log[-2000:])
        self.assertTrue(read(out) == read(self.big))
        done = fetch([self.nginx.url("/files/small.bin")])
        self.assertEqual(done.returncode, 0)
        self.assertTrue(done.stdout == read(self.small))

    def test_keep_alive_reuses_one_connection(self):
        urls = [self.nginx.url("/files/small.bin")] * 3 + [self.nginx.url("/files/big.bin")]
        done = drive(["get", host_path(self.dir)] + urls)
        self.assertEqual([r[1] for r in done.results], ["1"] * 4, done.log[-2000:])
        self.assertEqual(done.log.count("Socket (re)open"), 1)
        self.assertTrue(read(os.path.join(self.dir, "3.bin")) == read(self.big))

    def test_301_is_followed_by_the_next_attempt(self):
        out = os.path.join(self.dir, "moved.out")
        done = fetch(["--attempts", "2", "--pause", "0", self.nginx.url("/moved"), host_path(out)])
        self.assertEqual(done.returncode, 0, done.log)
        self.assertIn("[update] Fendu_DownloadFromUpdateURL failed: 301\n", done.log)
        self.assertTrue(read(out) == read(self.small))

    def test_chunked_body(self):
        out = os.path.join(self.dir, "chunked.out")
        done = fetch(["--attempts", "1", self.nginx.url("/chunked/big.bin"), host_path(out)])
        self.assertEqual(done.returncode, 0, done.log[-2000:])
        self.assertIn("[http] Transfer is chunked\n", done.log)
        self.assertTrue(read(out) == read(self.big))

    def test_missing_file_fails(self):
        done = fetch(["--attempts", "1", self.nginx.url("/files/none.bin")])
        self.assertEqual(done.returncode, 1)
        self.assertIn("failed: 404", done.log)


class PythonHttpServerTest(unittest.TestCase):
    """http.server answers HTTP/1.0 and closes after every response."""

    @classmethod
    def setUpClass(cls):
        cls.dir = tempfile.mkdtemp(prefix="net-py-")
        cls.file = os.path.join(cls.dir, "data.bin")
        write_random(cls.file, 300_000, 3)
        cls.port = free_port()
        cls.process = subprocess.Popen(
            [sys.executable, "-m", "http.server", "--bind", "127.0.0.1", "--directory", cls.dir,
             str(cls.port)], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        if not wait_for_port(cls.port, cls.process):
            raise RuntimeError("http.server did not start")

    @classmethod
    def tearDownClass(cls):
        stop_process(cls.process)
        shutil.rmtree(cls.dir, ignore_errors=True)

    def test_downloads_in_a_row(self):
        url = "http://127.0.0.1:%d/data.bin" % self.port
        done = drive(["get", host_path(self.dir), url, url, url])
        self.assertEqual([r[1] for r in done.results], ["1", "1", "1"], done.log)
        for i in range(3):
            self.assertTrue(read(os.path.join(self.dir, "%d.bin" % i)) == read(self.file))
        # The server's close is noticed before the next request goes out.
        self.assertEqual(done.log.count("Socket (re)open"), 3)
        self.assertNotIn("[sock]", done.log)


class ScriptedTest(unittest.TestCase):
    def setUp(self):
        self.dir = tempfile.mkdtemp(prefix="net-scripted-")

    def tearDown(self):
        shutil.rmtree(self.dir, ignore_errors=True)

    def serve(self, handler):
        server = ScriptedServer(handler)
        self.addCleanup(server.stop)
        return server

    def test_request_bytes(self):
        def handler(conn, index):
            while conn.read_request():
                conn.send(response(b"ok"))
        server = self.serve(handler)
        url = "http://127.0.0.1:%d/resource.002.php?language=1&client=0&firg=42" % server.port
        auth = "http://user:pw@127.0.0.1:%d/a" % server.port
        done = drive(["get", host_path(self.dir), url, auth])
        self.assertEqual([r[1] for r in done.results], ["1", "1"], done.log)
        self.assertEqual(server.requests[0],
                         b"GET /resource.002.php?language=1&client=0&firg=42 HTTP/1.1\r\n"
                         b"Host: 127.0.0.1\r\nConnection: Keep-Alive\r\n" + USER_AGENT + b"\r\n")
        self.assertEqual(server.requests[1],
                         b"GET /a HTTP/1.1\r\nHost: 127.0.0.1\r\n"
                         b"Authorization: Basic dXNlcjpwdw==\r\n"
                         b"Connection: Keep-Alive\r\n" + USER_AGENT + b"\r\n")
        self.assertEqual(server.connections, 1)

    def test_framing_oddities(self):
        body = bytes(random.Random(4).randbytes(50_000))
        tiny = [body[i:i + 1 + i % 5] for i in range(0, 3000, 3)]
        cases = {
            "/split-head": response(body, headers=["X-Pad: " + "p" * 200]),
            "/extensions": b"HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n"
                           + chunked([body[:1000], body[1000:]], b";name=\"va;lue\""),
            "/tiny": b"HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n" + chunked(tiny),
        }
        expected = {"/split-head": body, "/extensions": body, "/tiny": b"".join(tiny)}

        def handler(conn, index):
            while True:
                request = conn.read_request()
                if not request:
                    return
                path = request.split(b" ")[1].decode()
                data = cases[path]
                # The head arrives a few bytes at a time, the rest in odd pieces.
                conn.send(data[:300], pieces=7, pause=0.001)
                conn.send(data[300:], pieces=997)
        server = self.serve(handler)
        paths = list(cases)
        done = drive(["get", host_path(self.dir)] + [server.url(p) for p in paths])
        self.assertEqual([r[1] for r in done.results], ["1"] * len(paths), done.log[-3000:])
        for i, path in enumerate(paths):
            self.assertTrue(read(os.path.join(self.dir, "%d.bin" % i)) == expected[path], path)
        self.assertEqual(done.log.count("Socket (re)open"), 1)

    def test_relative_301_requests_the_same_address_again(self):
        def handler(conn, index):
            while conn.read_request():
                if len(conn.server.requests) == 1:
                    conn.send(response(b"", "301 Moved", ["Location: /elsewhere"]))
                else:
                    conn.send(response(b"here"))
        server = self.serve(handler)
        out = os.path.join(self.dir, "out")
        done = fetch(["--attempts", "2", "--pause", "0", server.url("/first"), host_path(out)])
        self.assertEqual(done.returncode, 0, done.log)
        self.assertEqual(server.requests[0], server.requests[1])
        self.assertEqual(read(out), b"here")

    def test_absolute_301_moves_to_another_server(self):
        def target(conn, index):
            while conn.read_request():
                conn.send(response(b"moved body"))
        other = self.serve(target)

        def handler(conn, index):
            while conn.read_request():
                conn.send(response(b"x", "301 Moved Permanently", ["Location: " + other.url("/new")]))
        server = self.serve(handler)
        done = drive(["get", host_path(self.dir), server.url("/old")])
        self.assertEqual(done.results[0][1], "0")
        self.assertEqual(done.results[0][3], other.url("/new"))
        out = os.path.join(self.dir, "out")
        done = fetch(["--attempts", "3", "--pause", "0", server.url("/old"), host_path(out)])
        self.assertEqual(done.returncode, 0, done.log)
        self.assertEqual(read(out), b"moved body")
        self.assertTrue(other.requests[0].startswith(b"GET /new HTTP/1.1\r\n"))

    def test_other_redirects_leave_the_address(self):
        def handler(conn, index):
            while conn.read_request():
                conn.send(response(b"", "302 Found", ["Location: http://127.0.0.1:1/x"]))
        server = self.serve(handler)
        done = drive(["get", host_path(self.dir), server.url("/a")])
        self.assertEqual(done.results[0][1:], ["0", "0", server.url("/a")])
        self.assertIn("failed: 302", done.log)

    def test_connection_close_in_any_case(self):
        for spelling in ["Connection: Close", "connection: CLOSE", "CONNECTION: cLoSe"]:
            def handler(conn, index, spelling=spelling):
                if conn.read_request():
                    conn.send(response(b"bye", headers=[spelling]))
            server = self.serve(handler)
            done = drive(["get", host_path(self.dir), server.url("/a"), server.url("/b")])
            self.assertEqual([r[1] for r in done.results], ["1", "1"], done.log)
            self.assertEqual(done.log.count("[http] Closing connection...\n"), 2, spelling)
            self.assertEqual(server.connections, 2)

    def test_server_closes_kept_alive_connection_between_requests(self):
        def handler(conn, index):
            if conn.read_request():
                conn.send(response(b"once"))
        server = self.serve(handler)
        # With a pause the close has arrived and is seen before the next request.
        done = drive(["get", "--gap", "300", host_path(self.dir)] + [server.url("/a")] * 3)
        self.assertEqual([r[1] for r in done.results], ["1", "1", "1"], done.log)
        self.assertEqual(server.connections, 3)
        self.assertNotIn("[sock]", done.log)
        # Without one the request may go out into the close: that attempt fails
        # and the next one opens a new connection.
        done = drive(["get", host_path(self.dir)] + [server.url("/a")] * 4)
        self.assertEqual(len(done.results), 4, done.log)
        self.assertEqual(done.results[0][1], "1", done.log)
        self.assertNotIn(["0", "0"], [[a[1], b[1]] for a, b in zip(done.results, done.results[1:])])

    def test_server_closes_after_taking_the_request(self):
        def handler(conn, index):
            if conn.read_request():
                conn.send(response(b"first"))
            conn.read_request()  # taken, never answered
        server = self.serve(handler)
        done = drive(["get", host_path(self.dir)] + [server.url("/a")] * 3)
        self.assertEqual([r[1] for r in done.results], ["1", "0", "1"], done.log)
        self.assertIn("[sock] Socket error", done.log)
        self.assertIn("[update] Fendu_DownloadFromUpdateURL failed: -1\n", done.log)

    def test_silent_server_wait_ends_on_abort(self):
        def handler(conn, index):
            conn.read_request()
            time.sleep(8)
        server = self.serve(handler)
        done = drive(["abort-timer", "400", server.url("/a")], timeout=30)
        ok, elapsed = done.stdout.decode().split()
        self.assertEqual(ok, "0")
        self.assertGreaterEqual(int(elapsed), 350)
        self.assertLess(int(elapsed), 3000)
        # The cancelled read ends as a failed read: reported, connection closed.
        self.assertIn("[update] Fendu_DownloadFromUpdateURL failed: -1\n", done.log)

    def test_abort_from_progress_report(self):
        def handler(conn, index):
            conn.read_request()
            conn.send(b"HTTP/1.1 200 OK\r\nContent-Length: 1000000\r\n\r\n")
            time.sleep(0.3)
            conn.send(b"x" * 1000)  # a progress report comes after this read
            time.sleep(8)
        server = self.serve(handler)
        done = drive(["abort-progress", server.url("/a")], timeout=30)
        ok, elapsed, statuses = done.stdout.decode().split()
        self.assertEqual(ok, "0")
        self.assertLess(int(elapsed), 3000)
        self.assertEqual(statuses, "1")

    def test_body_that_stops_short(self):
        def handler(conn, index):
            conn.read_request()
            conn.send(b"HTTP/1.1 200 OK\r\nContent-Length: 1000\r\n\r\n" + b"y" * 500)
        server = self.serve(handler)
        done = fetch(["--attempts", "1", server.url("/a")], timeout=60)
        self.assertEqual(done.returncode, 1)
        self.assertEqual(done.stdout, b"")
        self.assertIn("[sock] Socket error", done.log)

    def test_hostile_answers(self):
        cases = [
            b"HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\nFFFFFFFF\r\nabc",
            b"HTTP/1.1 200 OK\r\nContent-Length: -5\r\n\r\nabc",
            b"HTTP/1.1 200 OK\r\nContent-Length: 99999999999\r\n\r\nabc",
            b"HTTP/1.1 200 OK\r\n" + b"X-Long: " + b"z" * 100_000 + b"\r\n\r\n",
        ]
        for answer in cases:
            def handler(conn, index, answer=answer):
                conn.read_request()
                conn.send(answer)
                time.sleep(5)  # a hostile peer that stays connected
            server = self.serve(handler)
            done = fetch(["--attempts", "1", server.url("/a")], timeout=60)
            self.assertEqual(done.returncode, 1, answer[:60])
            self.assertLess(done.elapsed, 4, answer[:60])

    def test_301_location_too_long_keeps_the_address(self):
        location = "http://127.0.0.1/" + "l" * 283  # 300 bytes
        def handler(conn, index):
            while conn.read_request():
                conn.send(response(b"", "301 Moved", ["Location: " + location]))
        server = self.serve(handler)
        url = server.url("/keep")
        done = drive(["get", host_path(self.dir), url])
        self.assertEqual(done.results[0][1:], ["0", "0", url])
        self.assertIn("failed: 301", done.log)

    def test_connect_refused(self):
        done = fetch(["--attempts", "2", "--pause", "10", "http://127.0.0.1:%d/x" % free_port()],
                     timeout=60)
        self.assertEqual(done.returncode, 1)
        self.assertLess(done.elapsed, 10)


def main():
    global ARGS
    parser = argparse.ArgumentParser()
    parser.add_argument("--fetch", required=True)
    parser.add_argument("--driver", required=True)
    parser.add_argument("--emulator", default="")
    ARGS, rest = parser.parse_known_args()
    unittest.main(argv=[sys.argv[0]] + rest, verbosity=2)


if __name__ == "__main__":
    main()
