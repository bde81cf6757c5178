#!/usr/bin/env python3
"""The updater end to end, as a player meets it.

A release is published with the real publishing tool and served by nginx on
127.0.0.1; the real updater runs in a fresh game folder (the Windows build
under Wine), downloads into the archives and hands over to the replacer, which
starts a stand-in game that records the command line it received. A small
proxy in front of nginx makes requests fail, redirect, crawl or lose the
list's "date" when a test asks for it.

Usage: e2e_test.py --updater EXE --product EXE --builtin-url URL --kbf EXE
                   --publish EXE --standin EXE --sample-release SCRIPT
                   --nginx NGINX --artifacts DIR [--runner WINE_RUN
                   --wineprefix DIR] [--dbgcapture EXE] -- [unittest args]
"""
import argparse
import hashlib
import http.client
import http.server
import json
import os
import random
import re
import shutil
import signal
import socket
import subprocess
import sys
import tempfile
import threading
import time
import unittest

ARGS = None
WORK = None        # the suite's temporary folder
BASE = None        # the sample site every read-only test shares
FAST_PAUSE = "50"  # ms between attempts: twenty attempts take a second
FATAL = "[messagebox] Vossarium - Fatal error!: "
COMMAND_ARGS = ["-x", "1", "two words", "--server=eu 2", "--path=C:\\Games\\V"]


def windows():
    return bool(ARGS.runner)


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


def wait_for(predicate, timeout, step=0.05):
    end = time.monotonic() + timeout
    while time.monotonic() < end:
        if predicate():
            return True
        time.sleep(step)
    return predicate()


def quiet_env(prefix=None, display=None):
    env = dict(os.environ)
    env.pop("DISPLAY", None)  # no window unless a test brings its own screen
    env.pop("VOSSARIUM_TEST_UPDATE_URL", None)
    env.pop("VOSSARIUM_TEST_RETRY_PAUSE_MS", None)
    if display:
        env["DISPLAY"] = display
    if windows():
        env["WINEPREFIX"] = prefix or ARGS.wineprefix
        env["WINEDEBUG"] = "-all"
    return env


def target_command(program, args, prefix=None):
    """The command that runs one of the build's programs on this target."""
    if windows():
        return [ARGS.runner, prefix or ARGS.wineprefix, program] + list(args)
    return [program] + list(args)


def run_tool(program, args, cwd, check=True, timeout=120):
    result = subprocess.run(target_command(program, args), cwd=cwd, env=quiet_env(),
                            stdin=subprocess.DEVNULL, stdout=subprocess.PIPE,
                            stderr=subprocess.PIPE, timeout=timeout)
    if check and result.returncode != 0:
        raise AssertionError("%s %s failed (%d): %s%s" % (
            os.path.basename(program), " ".join(args), result.returncode,
            result.stdout.decode(errors="replace"), result.stderr.decode(errors="replace")))
    return result


def quote_arg(arg):
    """Quotes one argument the way the C runtime's command line parser reads it."""
    if arg and not any(c in arg for c in ' \t"'):
        return arg
    out, backslashes = '"', 0
    for c in arg:
        if c == "\\":
            backslashes += 1
            continue
        out += "\\" * (backslashes * 2 + 1 if c == '"' else backslashes) + c
        backslashes = 0
    return out + "\\" * (backslashes * 2) + '"'


def expected_command_line(exe_path, args):
    if windows():
        # Wine names the program by its DOS path, always quoted.
        first = '"Z:' + exe_path.replace("/", "\\") + '"'
    else:
        first = quote_arg(exe_path)
    return " ".join([first] + [quote_arg(a) for a in args])


# ---- the servers -------------------------------------------------------------

class Nginx:
    """nginx on 127.0.0.1 serving one site through its generated server block."""

    def __init__(self, site, folder):
        self.folder = folder
        os.makedirs(folder, exist_ok=True)
        self.access_log = os.path.join(folder, "access.log")
        conf = os.path.join(folder, "nginx.conf")
        with open(conf, "w") as f:
            f.write("""daemon off;
worker_processes 1;
pid {d}/nginx.pid;
error_log {d}/error.log;
events {{ worker_connections 64; }}
http {{
    access_log {d}/access.log;
    client_body_temp_path {d}/body;
    proxy_temp_path {d}/proxy;
    fastcgi_temp_path {d}/fastcgi;
    uwsgi_temp_path {d}/uwsgi;
    scgi_temp_path {d}/scgi;
    include {site}/nginx-server.conf;
}}
""".format(d=folder, site=site))
        self.process = subprocess.Popen(
            [ARGS.nginx, "-c", conf, "-p", folder, "-e", os.path.join(folder, "error.log")],
            stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)

    def wait_ready(self, port):
        def up():
            if self.process.poll() is not None:
                raise AssertionError("nginx ended: " + self.error_text())
            try:
                with socket.create_connection(("127.0.0.1", port), timeout=0.2):
                    return True
            except OSError:
                return False
        if not wait_for(up, 10):
            raise AssertionError("nginx did not start: " + self.error_text())

    def error_text(self):
        try:
            with open(os.path.join(self.folder, "error.log")) as f:
                return f.read()
        except OSError:
            return ""

    def requests(self):
        try:
            with open(self.access_log) as f:
                return [line.split('"')[1].split(" ")[1] for line in f if '"' in line]
        except OSError:
            return []

    def stop(self):
        if self.process.poll() is None:
            self.process.send_signal(signal.SIGQUIT)
            try:
                self.process.wait(5)
            except subprocess.TimeoutExpired:
                self.process.kill()
                self.process.wait()


class Proxy:
    """A test server in front of nginx: per path it can fail a number of times,
    answer 301 once, answer 404 for good, drop the list's "date", or send slowly.
    Paths under /m<N>/ are served as the mirror N of the site."""

    def __init__(self, upstream_port):
        self.upstream_port = upstream_port
        self.fail = {}          # path -> number of 503 answers still to give
        self.redirect_once = set()
        self.missing = set()
        self.strip_date = False
        self.long_path = None   # name of a resource whose path grows past 260 bytes
        self.damage = {}        # path -> number of damaged bodies still to send
        self.bytes_per_second = 0
        self.log = []           # (mirror or None, path, status)
        self.lock = threading.Lock()
        proxy = self

        class Handler(http.server.BaseHTTPRequestHandler):
            protocol_version = "HTTP/1.1"

            def log_message(self, *args):
                pass

            def do_GET(self):
                proxy.serve(self)

        class Server(http.server.ThreadingHTTPServer):
            daemon_threads = True

            def handle_error(self, request, client_address):
                pass  # the updater hangs up on answers it does not read

        self.server = Server(("127.0.0.1", 0), Handler)
        self.port = self.server.server_address[1]
        self.thread = threading.Thread(target=self.server.serve_forever, daemon=True)
        self.thread.start()

    def url(self, suffix=""):
        return "http://127.0.0.1:%d/%s" % (self.port, suffix)

    def answer(self, handler, status, body, headers=()):
        handler.send_response(status)
        for name, value in headers:
            handler.send_header(name, value)
        handler.send_header("Content-Length", str(len(body)))
        handler.end_headers()
        if self.bytes_per_second and status == 200:
            step = max(1, self.bytes_per_second // 20)
            for i in range(0, len(body), step):
                handler.wfile.write(body[i:i + step])
                handler.wfile.flush()
                time.sleep(0.05)
        else:
            handler.wfile.write(body)

    def serve(self, handler):
        target = handler.path
        mirror = None
        m = re.match(r"^/(m\d+)(/.*)$", target)
        if m:
            mirror, target = m.group(1), m.group(2)
        path = target.split("?")[0]
        with self.lock:
            status = 200
            if path in self.missing:
                status = 404
            elif self.fail.get(path, 0) > 0:
                self.fail[path] -= 1
                status = 503
            elif self.damage.get(path, 0) > 0:
                self.damage[path] -= 1
                status = "damaged"
            elif path in self.redirect_once:
                self.redirect_once.discard(path)
                status = 301
            self.log.append((mirror, path, 200 if status == "damaged" else status))
        if status == 404:
            self.answer(handler, 404, b"<html><body>404 Not Found</body></html>\n",
                        [("Content-Type", "text/html")])
            return
        if status == 503:
            self.answer(handler, 503, b"busy\n", [("Content-Type", "text/plain")])
            return
        if status == 301:
            location = "http://127.0.0.1:%d%s" % (self.upstream_port, target)
            self.answer(handler, 301, b"", [("Location", location)])
            return
        upstream = http.client.HTTPConnection("127.0.0.1", self.upstream_port, timeout=10)
        upstream.request("GET", target)
        reply = upstream.getresponse()
        body = reply.read()
        upstream.close()
        if self.strip_date and path == "/resource.002.php":
            body = re.sub(rb"(?m)^#date=.*\n", b"", body)
        if self.long_path and path == "/resource.002.php":
            name = re.escape(self.long_path.encode())
            body = re.sub(rb"(\|" + name + rb"=\[[^\]]*?\|path=\$)", rb"\1" + b"d/" * 130, body)
        if status == "damaged":
            # The length prefix stays; the zlib stream behind it is spoiled.
            middle = 4 + (len(body) - 4) // 2
            body = body[:middle] + bytes([body[middle] ^ 0x5A]) + body[middle + 1:]
        self.answer(handler, reply.status, body,
                    [("Content-Type", reply.getheader("Content-Type", "text/plain"))])

    def resource_requests(self):
        return [entry for entry in self.log if entry[1].startswith("/r/")]

    def stop(self):
        self.server.shutdown()
        self.server.server_close()


# ---- releases and sites ------------------------------------------------------

def sample_release(folder, variant=0):
    subprocess.run([sys.executable, ARGS.sample_release, folder, "--variant", str(variant)],
                   check=True, stdout=subprocess.DEVNULL)
    shutil.copyfile(ARGS.standin, os.path.join(folder, "Vossarium", "DravoClient"))


def large_release(folder, count, seed):
    """`count` resources of 1 KB to 48 KB, half of them compressible, and the game."""
    rng = random.Random(seed)
    if os.path.exists(folder):
        shutil.rmtree(folder)
    for i in range(count):
        target = "Layers" if i % 5 == 0 else "Vossarium"
        name = "pack%02d/item%04d.dat" % (i % 13, i)
        size = rng.randint(1024, 48 * 1024)
        if i % 2:
            data = (("item %d " % i).encode() * (size // 6 + 1))[:size]
        else:
            data = rng.randbytes(size)
        path = os.path.join(folder, target, *name.split("/"))
        os.makedirs(os.path.dirname(path), exist_ok=True)
        with open(path, "wb") as f:
            f.write(data)
    os.makedirs(os.path.join(folder, "Vossarium"), exist_ok=True)
    shutil.copyfile(ARGS.standin, os.path.join(folder, "Vossarium", "DravoClient"))


def release_resources(release, language=0):
    """{(target, name): (bytes, language)} that a player of `language` gets."""
    out = {}
    for top in ("Vossarium", "Layers"):
        base = os.path.join(release, top)
        for dirpath, _, files in os.walk(base):
            for f in files:
                full = os.path.join(dirpath, f)
                name = os.path.relpath(full, base).replace(os.sep, "/")
                with open(full, "rb") as h:
                    out[(top, name)] = (h.read(), 0)
    if language:
        base = os.path.join(release, "lang", str(language))
        for dirpath, _, files in os.walk(base):
            for f in files:
                full = os.path.join(dirpath, f)
                rel = os.path.relpath(full, base).replace(os.sep, "/")
                top, name = rel.split("/", 1)
                with open(full, "rb") as h:
                    out[(top, name)] = (h.read(), language)
    return out


class Site:
    """A release published into a site folder and served by its own nginx."""

    def __init__(self, name, release, mirrors=(), port=None):
        self.folder = os.path.join(WORK, name)
        self.release = release
        self.port = port or free_port()
        self.url = "http://127.0.0.1:%d/" % self.port
        self.publish(mirrors=mirrors, previous=False)
        self.nginx = Nginx(self.folder, os.path.join(WORK, name + ".nginx"))
        self.nginx.wait_ready(self.port)

    def publish(self, mirrors=(), previous=True):
        # Paths below the work folder, relative to it: the Windows tool sees the
        # same folders through Wine. The server block's root is only text.
        out = os.path.relpath(self.folder, WORK)
        args = ["build", "--release", os.path.relpath(self.release, WORK), "--out", out,
                "--nginx-listen", "127.0.0.1:%d" % self.port, "--nginx-root", self.folder,
                "--date", "2026-12-10 00:00:00 UTC", "--quiet"]
        if previous:
            args += ["--previous", out]
        for m in mirrors:
            args += ["--mirror", m]
        run_tool(ARGS.publish, args, cwd=WORK, timeout=300)

    def stop(self):
        self.nginx.stop()


# ---- game folders and runs ---------------------------------------------------

class Run:
    def __init__(self, code, stderr, killed=False):
        self.code = code
        self.stderr = stderr
        self.killed = killed

    def lines(self):
        return self.stderr.splitlines()

    def added(self):
        return [m.group(1) for m in re.finditer(r"^\[update\] AddFile: (.*) - \d+ bytes$",
                                                 self.stderr, re.M)]


class Game:
    """A fresh game folder with the updater installed as "Vossarium.exe"."""

    def __init__(self, test, name):
        self.test = test
        self.folder = os.path.join(WORK, name)
        if os.path.exists(self.folder):
            shutil.rmtree(self.folder)
        os.makedirs(self.folder)
        self.exe = os.path.join(self.folder, "Vossarium.exe")
        self.received = os.path.join(self.folder, "standin_received.txt")
        self.runs = 0

    def install_updater(self, program=None):
        # The last hand-over put the game over "Vossarium.exe": every run starts
        # with the updater in its place again, as a player's launcher would.
        shutil.copyfile(program or ARGS.updater, self.exe)
        os.chmod(self.exe, 0o755)
        if os.path.exists(self.received):
            os.remove(self.received)

    def start(self, url, args=COMMAND_ARGS, pause=FAST_PAUSE, program=None, prefix=None,
              display=None, wrapper=None):
        self.install_updater(program)
        self.runs += 1
        self.stderr_path = os.path.join(self.folder, "..", os.path.basename(self.folder) +
                                        ".run%d.stderr" % self.runs)
        self.stdout_path = self.stderr_path[:-6] + "stdout"
        env = quiet_env(prefix, display)
        if url:
            env["VOSSARIUM_TEST_UPDATE_URL"] = url
        if pause is not None:
            env["VOSSARIUM_TEST_RETRY_PAUSE_MS"] = pause
        command = [self.exe] + list(args)
        if wrapper:
            command = [wrapper] + command
        command = target_command(command[0], command[1:], prefix)
        # Files, not pipes: a Wine service or the started game may keep a pipe
        # open long after the updater ended.
        self.err_file = open(self.stderr_path, "wb")
        self.out_file = open(self.stdout_path, "wb")
        # Started from another folder: only its module path leads the updater home.
        self.process = subprocess.Popen(command, cwd="/", env=env, stdin=subprocess.DEVNULL,
                                        stdout=self.out_file, stderr=self.err_file)
        return self.process

    def finish(self, timeout=120, killed=False):
        try:
            code = self.process.wait(timeout)
        except subprocess.TimeoutExpired:
            self.process.kill()
            self.process.wait()
            raise AssertionError("the updater did not end within %d s:\n%s" % (timeout,
                                                                               self.stderr()))
        self.err_file.close()
        self.out_file.close()
        return Run(code, self.stderr(), killed)

    def stderr(self):
        # The Windows C runtime writes text streams with CRLF line ends.
        with open(self.stderr_path, "rb") as f:
            return f.read().decode("utf-8", errors="replace").replace("\r\n", "\n")

    def stdout(self):
        with open(self.stdout_path, "rb") as f:
            return f.read().decode("utf-8", errors="replace")

    def update(self, url, args=COMMAND_ARGS, expect_game=True, **kw):
        self.start(url, args, **kw)
        run = self.finish()
        self.test.assertEqual(run.code, 0, run.stderr)
        if expect_game:
            self.wait_game(run)
        return run

    def wait_game(self, run=None):
        """Waits until the replacer has started the stand-in game; answers what it received."""
        if not wait_for(lambda: os.path.exists(self.received), 30):
            raise AssertionError("the stand-in game never ran\n" + (run.stderr if run else ""))
        # The replacer ends right after the start; give it that moment, so the
        # next run can write its file again.
        time.sleep(0.3 if windows() else 0.05)
        with open(self.received, "rb") as f:
            return f.read()

    def archive(self, target):
        return os.path.join(self.folder, target + ".kbf")

    def entries(self, target):
        result = run_tool(ARGS.kbf, ["list", target + ".kbf", "--json"], cwd=self.folder)
        return {e["name"]: e for e in json.loads(result.stdout.decode("utf-8"))}

    def extract(self, target, name):
        out = os.path.join(self.folder, "extracted.bin")
        run_tool(ARGS.kbf, ["extract", target + ".kbf", name, "extracted.bin"], cwd=self.folder)
        with open(out, "rb") as f:
            data = f.read()
        os.remove(out)
        return data

    def check_sound(self):
        for target in ("Vossarium", "Layers"):
            if not os.path.exists(self.archive(target)):
                continue
            result = run_tool(ARGS.kbf, ["check", target + ".kbf"], cwd=self.folder, check=False)
            self.test.assertEqual(result.returncode, 0, "%s.kbf is not sound: %s" % (
                target, result.stdout.decode(errors="replace")))
            self.entries(target)  # it loads, too

    def digest(self):
        h = hashlib.sha256()
        for target in ("Vossarium", "Layers"):
            with open(self.archive(target), "rb") as f:
                h.update(f.read())
        return h.hexdigest()

    def assert_holds(self, resources, check_bytes=True, fresh=None):
        """Every resource is in its archive with its listed tag and its bytes.
        Flag 1 marks what the last saving run stored; a run that looks at an
        entry clears it, so it is checked for `fresh` names (None: all)."""
        for target in ("Vossarium", "Layers"):
            entries = self.entries(target)
            want = {name: v for (t, name), v in resources.items() if t == target}
            names = set(entries) - {"_localSettings"}
            self.test.assertEqual(names, set(want), target)
            for name, (data, language) in want.items():
                entry = entries[name]
                self.test.assertEqual((entry["language"], entry["size"]), (language, len(data)),
                                      "%s/%s" % (target, name))
                if fresh is None or name in fresh:
                    self.test.assertEqual(entry["flag"], 1, "%s/%s" % (target, name))
                # Windows kbf reads its arguments in the ANSI code page, so
                # only ASCII names can be named on its command line.
                if check_bytes and (not windows() or name.isascii()):
                    self.test.assertEqual(hashlib.sha256(self.extract(target, name)).digest(),
                                          hashlib.sha256(data).digest(), name)


def list_versions(site_folder, language=0):
    """{name: version} of one list, read through kbf's typed text reader."""
    with open(os.path.join(site_folder, "lists", "%d.txt" % language), "rb") as f:
        text = f.read()
    result = subprocess.run(target_command(ARGS.kbf, ["typed", "-"]), input=text,
                            env=quiet_env(), stdout=subprocess.PIPE, check=True, timeout=60)
    tree = json.loads(result.stdout.decode("utf-8"))
    resources = next(n for n in tree["nodes"] if n["name"] == "resources")["value"]
    return {r["name"]: next(f["value"] for f in r["value"] if f["name"] == "version")
            for r in resources}


# ---- the tests ---------------------------------------------------------------

class Updates(unittest.TestCase):
    """Whole runs against a well-behaved server."""

    def test_fresh_install_then_nothing_to_do(self):
        game = Game(self, "fresh")
        run = game.update(BASE.url)
        expected = release_resources(BASE.release)
        game.check_sound()
        game.assert_holds(expected)

        # The replacer put the game in place and started it with the updater's
        # command line, byte for byte.
        received = game.wait_game(run)
        self.assertEqual(received.decode("latin-1"),
                         expected_command_line(game.exe, COMMAND_ARGS))
        with open(game.exe, "rb") as f:
            self.assertEqual(f.read(), expected[("Vossarium", "DravoClient")][0])
        self.assertFalse(os.path.exists(os.path.join(game.folder, "Vossarium.tmp")))

        # What the debug log shows of the run.
        total = len(expected)
        lines = run.lines()
        for n in range(1, total + 1):
            self.assertTrue(any(re.fullmatch(r"\[update\] %d/%d \(.+\) - needs update" % (n, total),
                                             l) for l in lines), "entry %d" % n)
        for (target, name), (data, _) in expected.items():
            self.assertIn("[update] AddFile: %s - %d bytes" % (name, len(data)), lines)
        self.assertEqual(lines.count("[update] SaveBigFile"), total)
        self.assertEqual(lines.count("[update] UnloadAllFiles"), total)
        replacer = os.path.join(game.folder, "vossarium_exereplace.exe")
        if windows():
            replacer = "Z:" + replacer.replace("/", "\\")
        self.assertIn("[upd] Replacer: '%s'" % replacer, lines)
        self.assertIn("[upd] done.", lines)
        if not windows():
            self.assertIn("Connecting to dataserver...", lines)
            self.assertIn("Update finished!", lines)
            self.assertTrue(any(l.startswith("Downloading ") for l in lines))

        # Run again: nothing is downloaded, the archives stay byte for byte.
        before = game.digest()
        run = game.update(BASE.url)
        self.assertEqual(run.added(), [])
        self.assertNotIn("[update] SaveBigFile", run.lines())
        self.assertEqual(sum(" - up-to-date" in l for l in run.lines()), total)
        self.assertEqual(game.digest(), before)
        self.assertEqual(game.wait_game(run).decode("latin-1"),
                         expected_command_line(game.exe, COMMAND_ARGS))

    def test_newer_publication_and_language_change(self):
        release = os.path.join(WORK, "release-newer")
        sample_release(release)
        site = Site("site-newer", release)
        try:
            game = Game(self, "newer")
            game.update(site.url)
            # One file changes; the rebuild over the deployed site moves only it up.
            sample_release(release, variant=1)
            site.publish()
            self.assertEqual(list_versions(site.folder)["data/settings.txt"], 2)
            run = game.update(site.url)
            self.assertEqual(run.added(), ["data/settings.txt"])
            game.check_sound()
            game.assert_holds(release_resources(release), fresh=run.added())
            self.assertEqual(game.entries("Vossarium")["data/settings.txt"]["version"], 2)

            # Language 1: its own strings replace the common ones, and its
            # extra file arrives; nothing else moves.
            game.install_updater()
            result = subprocess.run(target_command(game.exe, ["--configurelanguage", "1"]),
                                    cwd="/", env=quiet_env(), stdin=subprocess.DEVNULL,
                                    stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                                    timeout=60)
            self.assertEqual(result.returncode, 1)
            run = game.update(site.url)
            self.assertEqual(sorted(run.added()), ["text/only_in_1.txt", "text/strings.txt"])
            game.check_sound()
            game.assert_holds(release_resources(release, language=1), fresh=run.added())
            self.assertIn("language=1&", "\n".join(site.nginx.requests()))
        finally:
            site.stop()

    def test_mirror_is_chosen_once_per_run(self):
        proxy = Proxy(BASE.port)
        release = os.path.join(WORK, "release-mirrors")
        sample_release(release)
        site = Site("site-mirrors", release,
                    mirrors=[proxy.url("m%d/" % i) for i in (1, 2, 3)])
        proxy.upstream_port = site.port
        try:
            chosen = set()
            for i in range(3):
                proxy.log.clear()
                game = Game(self, "mirrors%d" % i)
                game.update(proxy.url())
                mirrors = {m for m, _, _ in proxy.resource_requests()}
                self.assertEqual(len(mirrors), 1, proxy.log)
                self.assertEqual(proxy.log[0][1], "/resource.002.php")
                self.assertIsNone(proxy.log[0][0])
                self.assertEqual(len(proxy.resource_requests()),
                                 len(release_resources(release)))
                game.assert_holds(release_resources(release), check_bytes=False)
                chosen |= mirrors
            self.assertTrue(chosen <= {"m1", "m2", "m3"})
        finally:
            site.stop()
            proxy.stop()


class Retries(unittest.TestCase):
    """Attempts, pauses and redirects through the proxy."""

    def setUp(self):
        self.proxy = Proxy(BASE.port)
        self.paths = list_paths(BASE.folder)
        self.base_before = BASE.nginx.requests()

    def tearDown(self):
        self.proxy.stop()

    def test_two_failures_then_success_and_a_redirect(self):
        failing = self.paths["gfx/noise.bin"]
        moved = self.paths["text/strings.txt"]
        self.proxy.fail[failing] = 2
        self.proxy.redirect_once.add(moved)
        game = Game(self, "retry")
        run = game.update(self.proxy.url())
        game.assert_holds(release_resources(BASE.release))
        self.assertEqual([s for _, p, s in self.proxy.log if p == failing], [503, 503, 200])
        # The 301 costs one attempt; the next goes straight to the new address.
        self.assertEqual([s for _, p, s in self.proxy.log if p == moved], [301])
        self.assertEqual(BASE.nginx.requests().count(moved), 1 + self.base_before.count(moved))
        failed = [l for l in run.lines() if l.startswith("[update] Fendu_DownloadFromUpdateURL")]
        self.assertEqual(failed, ["[update] Fendu_DownloadFromUpdateURL failed: 503"] * 2 +
                         ["[update] Fendu_DownloadFromUpdateURL failed: 301"])
        if not windows():
            retries = [l for l in run.lines() if l.startswith("Connection failed")]
            self.assertEqual(retries, ["Connection failed - retrying 1 (out of 20)",
                                       "Connection failed - retrying 2 (out of 20)",
                                       "Connection failed - retrying 1 (out of 20)"])

    def test_damaged_compressed_body_is_fetched_again(self):
        packed = [name for name, compressed in list_compression(BASE.folder).items() if compressed]
        self.assertTrue(packed, "the sample release has no compressed resource")
        path = self.paths[packed[0]]
        self.proxy.damage[path] = 2
        game = Game(self, "damaged")
        run = game.update(self.proxy.url())
        game.assert_holds(release_resources(BASE.release))
        self.assertEqual([s for _, p, s in self.proxy.log if p == path], [200, 200, 200])
        self.assertEqual(len([l for l in run.lines() if l.startswith("[update] AddFile: %s " %
                                                                    packed[0])]), 1)

    @unittest.skipIf("--runner" in sys.argv, "natively only: Wine adds nothing here")
    def test_real_pause_of_three_seconds(self):
        self.proxy.fail[self.paths["tiny.txt"]] = 1
        game = Game(self, "pause")
        begin = time.monotonic()
        game.update(self.proxy.url(), pause=None)
        took = time.monotonic() - begin
        self.assertGreaterEqual(took, 3.0)
        self.assertLess(took, 30)

    def test_fatal_conditions(self):
        missing = self.paths["data/settings.txt"]
        cases = [
            ("server down", "http://127.0.0.1:%d/" % free_port(), None,
             "Server not responding!"),
            ("no list", BASE.url + "nothing/", None, "Error while downloading resourcelist!"),
            ("no date", self.proxy.url(), "strip_date", "Invalid data! Please try again later!"),
            ("missing resource", self.proxy.url(), "missing",
             "Failed to acquire resource! Please try again later!"),
            ("address too long", self.proxy.url(), "long_path",
             "Corrupted update data! Please try again later!"),
            ("client not writable", self.proxy.url(), "tmp_blocked",
             "Unable to write datafile! Please check for disk space and disk integrity!"),
        ]
        for label, url, rule, message in cases:
            with self.subTest(label):
                self.proxy.strip_date = rule == "strip_date"
                self.proxy.missing = {missing} if rule == "missing" else set()
                self.proxy.long_path = "data/settings.txt" if rule == "long_path" else None
                self.proxy.log.clear()
                game = Game(self, "fatal-" + label.replace(" ", "-"))
                if rule == "tmp_blocked":
                    # The side file the client is written through cannot be made.
                    os.makedirs(os.path.join(game.folder, "Vossarium.tmp.part"))
                run = game.update(url, expect_game=False)
                boxes = [l for l in run.lines() if l.startswith("[messagebox]")]
                self.assertEqual(boxes, [FATAL + message])
                self.assertFalse(os.path.exists(game.received))
                self.assertFalse(os.path.exists(os.path.join(game.folder, "Vossarium.tmp")))
                game.check_sound()
                if rule == "long_path":
                    self.assertNotIn(missing, [p for _, p, _ in self.proxy.log])
                if rule == "missing":
                    self.assertEqual([s for _, p, s in self.proxy.log if p == missing], [404] * 20)
                    if not windows():
                        self.assertIn("Connection failed - retrying 20 (out of 20)", run.lines())
                    # What came before the missing resource stays committed.
                    self.assertIn("terrain/layer01.lyr", game.entries("Layers"))


class LogFollower:
    """Counts a marker in a growing log file, reading only what is new."""

    def __init__(self, path, marker):
        self.file = open(path, "rb")
        self.marker = marker
        self.tail = b""
        self.seen = 0

    def count(self):
        data = self.tail + self.file.read()
        self.seen += data.count(self.marker)
        # A marker cut in two by the writer is counted once it is whole.
        keep = len(self.marker) - 1
        self.tail = data[-keep:] if len(data) >= keep and not data.endswith(self.marker) else b""
        return self.seen

    def close(self):
        self.file.close()


def list_compression(site_folder):
    with open(os.path.join(site_folder, "lists", "0.txt"), encoding="utf-8") as f:
        text = f.read()
    return {m.group(1): m.group(2) == "1"
            for m in re.finditer(r"\|([^=|\[\]]+)=\[[^\]]*?\|compression=i(\d+)", text)}


def list_paths(site_folder):
    with open(os.path.join(site_folder, "lists", "0.txt"), encoding="utf-8") as f:
        text = f.read()
    return {m.group(1): "/" + m.group(2)
            for m in re.finditer(r"\|([^=|\[\]]+)=\[\|version=[^\]]*?\|path=\$([^|\]]+)", text)}


class Interruptions(unittest.TestCase):
    """The updater killed at random moments of a large update."""

    def test_killed_at_random_moments(self):
        # Wine starts each process in about 0.1 s: fewer kills there.
        count = 400 if not windows() else 120
        kills = 24 if not windows() else 8
        release = os.path.join(WORK, "release-large")
        large_release(release, count, seed=7)
        site = Site("site-large", release)
        rng = random.Random(int(os.environ.get("E2E_SEED", "0")) or None)
        try:
            game = Game(self, "killed")
            done = 0
            kills_made = 0
            where = {}  # the last log line before each kill, by its first word
            for i in range(kills):
                game.start(site.url)
                # Wait for the k-th resource to start, then a moment more: the
                # kill lands in a download, an unpack or a save.
                k = rng.randint(1, 3)
                follower = LogFollower(game.stderr_path, b" - needs update")
                wait_for(lambda: follower.count() >= k or game.process.poll() is not None, 60,
                         step=0.001)
                time.sleep(rng.uniform(0, 0.006))
                ended = game.process.poll() is not None
                if not ended:
                    game.process.send_signal(signal.SIGKILL)
                follower.close()
                run = game.finish(killed=True)
                done += len(run.added())
                last = run.lines()[-1] if run.lines() else "(start-up)"
                step = last.split("] ")[-1].split(" ")[0].rstrip(":")
                where[step] = where.get(step, 0) + 1
                if ended:
                    game.wait_game(run)  # the update was over before the kill
                    break
                game.check_sound()
                kills_made += 1
            print("\n%d kills, %d resources committed before them; last lines: %s" % (
                kills_made, done, where), file=sys.stderr)
            self.assertGreater(done, 0)
            self.assertGreaterEqual(kills_made, 20 if not windows() else 4)
            run = game.update(site.url)
            game.check_sound()
            game.assert_holds(release_resources(release), fresh=run.added())
            # What the killed runs committed was kept.
            self.assertLess(len(run.added()), count + 1)
        finally:
            site.stop()


@unittest.skipUnless("--runner" in sys.argv, "the Windows build only")
class WindowsProduct(unittest.TestCase):
    """The product updater, with its window and its debug output."""

    def product_with_address(self, url):
        """A copy of the product whose built-in address is `url`: the address
        lives in a 1024-byte array of initialised data, rewritten in place."""
        with open(ARGS.product, "rb") as f:
            image = f.read()
        old = ARGS.builtin_url.encode() + b"\0"
        self.assertEqual(image.count(old), 1, "the built-in address is not found once")
        new = url.encode() + b"\0"
        self.assertLessEqual(len(new), 1024)
        at = image.index(old)
        if len(new) > len(old):
            self.assertEqual(image[at + len(old):at + len(new)], b"\0" * (len(new) - len(old)))
        image = image[:at] + new.ljust(len(old), b"\0") + image[at + max(len(old), len(new)):]
        path = os.path.join(WORK, "product-%d.exe" % free_port())
        with open(path, "wb") as f:
            f.write(image)
        return path

    @unittest.skipUnless("--dbgcapture" in sys.argv, "no debug capture tool")
    def test_debug_output_of_a_whole_run(self):
        # ASCII names only: Wine keeps non-ASCII debug text only for programs
        # with a UTF-8 code page manifest.
        release = os.path.join(WORK, "release-ascii")
        large_release(release, 6, seed=3)
        site = Site("site-ascii", release)
        try:
            product = self.product_with_address(site.url)
            game = Game(self, "debugged")
            game.start(None, wrapper=ARGS.dbgcapture, program=product, pause=None)
            run = game.finish()
            self.assertEqual(run.code, 0, run.stderr)
            game.wait_game()
            out = game.stdout()
            expected = release_resources(release)
            total = len(expected)
            for n in range(1, total + 1):
                self.assertRegex(out, r"\[update\] %d/%d \(.+\) - needs update\n" % (n, total))
            for (target, name), (data, _) in expected.items():
                self.assertIn("[update] AddFile: %s - %d bytes\n" % (name, len(data)), out)
            self.assertEqual(out.count("[update] SaveBigFile\n"), total)
            self.assertEqual(out.count("[update] UnloadAllFiles\n"), total)
            self.assertIn("[http] HTTP::Close\n", out)
            replacer = "Z:" + os.path.join(game.folder, "vossarium_exereplace.exe").replace("/", "\\")
            self.assertIn("[upd] Replacer: '%s'\n" % replacer, out)
            self.assertIn("[upd] done.\n", out)
            game.assert_holds(expected)
        finally:
            site.stop()

    def test_progress_window_screenshot(self):
        for tool in ("Xvfb", "import", "identify"):
            if not shutil.which(tool):
                self.skipTest(tool + " is missing")
        prefix = ARGS.wineprefix + "-screen"
        proxy = Proxy(BASE.port)
        proxy.bytes_per_second = 48 * 1024
        display_file = os.path.join(WORK, "display")
        with open(display_file, "w") as d:
            xvfb = subprocess.Popen(["Xvfb", "-displayfd", str(d.fileno()), "-screen", "0",
                                     "640x480x24", "-nolisten", "tcp"], pass_fds=[d.fileno()],
                                    stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        try:
            self.assertTrue(wait_for(lambda: os.path.getsize(display_file) > 0, 10))
            with open(display_file) as d:
                display = ":" + d.read().strip()
            # The prefix's desktop starts now, so it must see the screen.
            start_wineserver(prefix, display)
            subprocess.run([ARGS.runner, prefix, "reg", "add", "HKCU\\Software\\Wine\\X11 Driver",
                            "/v", "Decorated", "/t", "REG_SZ", "/d", "N", "/f"],
                           env=quiet_env(prefix, display), stdin=subprocess.DEVNULL,
                           stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, timeout=60)
            product = self.product_with_address(proxy.url())
            game = Game(self, "window")
            game.start(None, program=product, prefix=prefix, display=display, pause=None)
            # The big resource crawls through the proxy for a few seconds.
            self.assertTrue(wait_for(lambda: len(proxy.resource_requests()) >= 3, 60),
                            proxy.log)
            time.sleep(1.0)
            shot = os.path.join(ARGS.artifacts, "updater_download.png")
            os.makedirs(ARGS.artifacts, exist_ok=True)
            env = quiet_env(prefix, display)
            subprocess.run(["import", "-window", "root", shot], env=env, check=True, timeout=60)
            # The window is there under its title.
            windows_listed = ""
            if shutil.which("xwininfo"):
                windows_listed = subprocess.run(["xwininfo", "-root", "-tree"], env=env,
                                                stdout=subprocess.PIPE, timeout=60).stdout.decode()
            run = game.finish(timeout=180)
            self.assertEqual(run.code, 0)
            game.wait_game()
            if shutil.which("xwininfo"):
                self.assertIn('"Vossarium Updater"', windows_listed)
            colors = int(subprocess.run(["identify", "-format", "%k", shot], check=True,
                                        stdout=subprocess.PIPE, timeout=60).stdout)
            self.assertGreater(colors, 2, "the screenshot is blank")
            print("screenshot: %s (%d colors)" % (shot, colors), file=sys.stderr)
        finally:
            stop_wineserver(prefix)
            xvfb.kill()
            xvfb.wait()
            proxy.stop()


# ---- the suite's set-up --------------------------------------------------------

def start_wineserver(prefix, display=None):
    os.makedirs(prefix, exist_ok=True)
    env = quiet_env(prefix, display)
    # The server outlives this call and would write its diagnostics into ours.
    subprocess.run(["/usr/lib/wine/wineserver", "-p"], env=env, check=True, timeout=60,
                   stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                   stderr=subprocess.DEVNULL)
    # The prefix's services start now, with their output going nowhere.
    subprocess.run(["/usr/lib/wine/wine64", "wineboot", "-i"], env=env,
                   stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                   stderr=subprocess.DEVNULL, timeout=300)


def stop_wineserver(prefix):
    subprocess.run(["/usr/lib/wine/wineserver", "-k"], env=quiet_env(prefix),
                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, timeout=60)


def setUpModule():
    global WORK, BASE
    WORK = tempfile.mkdtemp(prefix="vossarium-e2e-")
    os.chmod(WORK, 0o755)  # nginx's workers run as another user
    if windows():
        start_wineserver(ARGS.wineprefix)
    release = os.path.join(WORK, "release")
    sample_release(release)
    BASE = Site("site", release)


def tearDownModule():
    if BASE:
        BASE.stop()
    if windows():
        stop_wineserver(ARGS.wineprefix)
    if WORK and not os.environ.get("KEEP_WORK"):
        shutil.rmtree(WORK, ignore_errors=True)
    elif WORK:
        print("work folder kept: " + WORK, file=sys.stderr)


def main():
    global ARGS
    parser = argparse.ArgumentParser()
    for name in ("updater", "product", "builtin-url", "kbf", "publish", "standin",
                 "sample-release", "nginx", "artifacts"):
        parser.add_argument("--" + name, required=True)
    parser.add_argument("--runner")
    parser.add_argument("--wineprefix")
    parser.add_argument("--dbgcapture")
    argv = sys.argv[1:]
    rest = []
    if "--" in argv:
        rest = argv[argv.index("--") + 1:]
        argv = argv[:argv.index("--")]
    ARGS = parser.parse_args(argv)
    unittest.main(argv=[sys.argv[0]] + rest)


if __name__ == "__main__":
    main()
