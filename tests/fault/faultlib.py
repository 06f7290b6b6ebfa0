# SPDX-License-Identifier: MIT
"""Pieces of the fault and load cases: the program in a folder of its own, its
window read through AT-SPI, fake SNTP servers, a bounded Time protocol flood,
and the settings file as the program reads it.

Runs under /usr/bin/python3 (pyatspi); only ever inside the test's private
network namespace, on a private X display and D-Bus session (run_case.sh)."""

import json
import os
import re
import select
import shutil
import signal
import socket
import struct
import subprocess
import sys
import tempfile
import threading
import time

NTP_TO_UNIX = 2208988800
SETTINGS_KEYS = ["bNISTServer", "ServerType", "TimeServer", "ServerProtocol", "ckSyncTime", "edtSyncTime",
                 "ckRunStartup", "ckSyncOnStart", "ckTimeLocaFormat", "ckRunTimeServer"]
CONNECTING = "Connecting time sever..."
INVALID = "invalid time error"
UNKNOWN = "Unknown"


class Fail(Exception):
    pass


def check(condition, message):
    if not condition:
        raise Fail(message)


def step(text):
    print("---", text, flush=True)


def figure(text):
    print("FIGURE:", text, flush=True)


def wait_for(seconds, what, predicate, interval=0.05, tick=None):
    """Retries predicate until it gives a true value, which is returned; tick runs between tries."""
    deadline = time.monotonic() + seconds
    while True:
        if tick is not None:
            tick()
        value = predicate()
        if value:
            return value
        if time.monotonic() > deadline:
            raise Fail("gave up waiting for " + what)
        time.sleep(interval)


# --- the settings file -------------------------------------------------------

def settings_text(**values):
    """A [Common] section with the ten keys in the program's order; keys not given are left out."""
    lines = ["[Common]"] + ["%s=%s" % (key, values[key]) for key in SETTINGS_KEYS if key in values]
    return "\n".join(lines) + "\n"


def read_common(data):
    """The keys of the first [Common] section as the program reads them (names without
    regard to case, the first of a name wins), or None when there is no such section."""
    if isinstance(data, str):
        data = data.encode()
    if data.startswith(b"\xef\xbb\xbf"):
        data = data[3:]
    keys = None
    for raw in data.split(b"\n"):
        line = raw[:-1] if raw.endswith(b"\r") else raw
        line = line.strip(b" \t")
        if not line or line[:1] in (b";", b"#"):
            continue
        if line[:1] == b"[":
            if keys is not None:
                break
            name = line[1:].split(b"]", 1)[0].strip(b" \t")
            if name.lower() == b"common":
                keys = {}
            continue
        if keys is not None and b"=" in line:
            name, value = line.split(b"=", 1)
            name = name.strip(b" \t").decode("latin-1").lower()
            keys.setdefault(name, value.strip(b" \t").decode("latin-1"))
    if keys is None:
        return None
    return {key: keys.get(key.lower()) for key in SETTINGS_KEYS}


def check_settings(path, expected):
    """The file holds a [Common] section with all ten keys; those in expected have those values
    (a set of values allows any of them; None only asks for a non-empty value)."""
    with open(path, "rb") as f:
        keys = read_common(f.read())
    check(keys is not None, "%s has no [Common] section" % path)
    missing = [key for key in SETTINGS_KEYS if keys[key] is None]
    check(not missing, "%s lacks the keys %s" % (path, missing))
    for key, wanted in expected.items():
        if wanted is None:
            check(keys[key] != "", "%s: %s is empty" % (path, key))
        elif isinstance(wanted, (set, frozenset)):
            check(keys[key] in wanted, "%s: %s=%r, expected one of %r" % (path, key, keys[key], sorted(wanted)))
        else:
            check(keys[key] == wanted, "%s: %s=%r, expected %r" % (path, key, keys[key], wanted))
    return keys


# --- the program ---------------------------------------------------------------

class Program:
    """The built program copied into a folder of its own, with settings.ini beside it."""

    def __init__(self, binary, settings=None, extra_env=None):
        self.dir = tempfile.mkdtemp(prefix="kestrine-fault-")
        self.exe = os.path.join(self.dir, "kestrine")
        shutil.copy(binary, self.exe)
        self.settings = os.path.join(self.dir, "settings.ini")
        if settings is not None:
            with open(self.settings, "wb") as f:
                f.write(settings.encode() if isinstance(settings, str) else settings)
        env = dict(os.environ)
        env["XDG_CONFIG_HOME"] = os.path.join(self.dir, "config")
        env["QT_LINUX_ACCESSIBILITY_ALWAYS_ON"] = "1"
        env.update(extra_env or {})
        self.log = os.path.join(self.dir, "log")
        with open(self.log, "wb") as log:
            self.proc = subprocess.Popen([self.exe], stdout=log, stderr=subprocess.STDOUT, env=env)
        self.started = time.monotonic()
        self.returncode = None

    @property
    def pid(self):
        return self.proc.pid

    def alive(self):
        return self.proc.poll() is None

    def status_field(self, field):
        with open("/proc/%d/status" % self.pid) as f:
            for line in f:
                if line.startswith(field + ":"):
                    return int(line.split()[1])
        raise Fail("no %s in /proc/%d/status" % (field, self.pid))

    def rss_kib(self):
        return self.status_field("VmRSS")

    def threads(self):
        return self.status_field("Threads")

    def open_files(self):
        return len(os.listdir("/proc/%d/fd" % self.pid))

    def window(self, seconds=30):
        return Window(self, seconds)

    def terminate(self, limit=1.0):
        """SIGTERM; gives the seconds until the process ended. Fails if it takes longer than limit."""
        sent = time.monotonic()
        self.proc.send_signal(signal.SIGTERM)
        waited = max(limit, 10)
        try:
            self.returncode = self.proc.wait(timeout=waited)
        except subprocess.TimeoutExpired:
            self.proc.kill()
            self.proc.wait()
            raise Fail("the program did not end within %d s of SIGTERM" % waited)
        elapsed = time.monotonic() - sent
        check(elapsed < limit, "the program took %.3f s to end after SIGTERM (limit %.1f s)" % (elapsed, limit))
        return elapsed

    def check_clean_exit(self):
        # Under ASan a leak or an error makes the exit status non-zero.
        check(self.returncode == 0, "the program exited with %r; its log:\n%s" % (self.returncode, self.log_text()))

    def log_text(self):
        with open(self.log, "rb") as f:
            return f.read().decode("utf-8", "replace")[-4000:]

    def cleanup(self):
        if self.alive():
            self.proc.kill()
            self.proc.wait()
        shutil.rmtree(self.dir, ignore_errors=True)


class Window:
    """The program's controls found once through AT-SPI, by role and accessible name."""

    def __init__(self, program, seconds):
        import pyatspi
        self.pyatspi = pyatspi
        self.program = program
        pyatspi.setTimeout(8000, 15000)  # an unresponsive window fails a read instead of hanging it
        self.app = wait_for(seconds, "the program to show through AT-SPI", self._find_app, interval=0.2)
        wait_for(seconds, "the window to be shown", lambda: subprocess.run(
            ["xdotool", "search", "--onlyvisible", "--pid", str(program.pid), "--name", "^Kestrine $"],
            stdout=subprocess.DEVNULL).returncode == 0, interval=0.1)
        self.nodes = {}
        self._collect(self.app)
        for needed in [("text", "Server Time:"), ("text", "Local Time:"), ("text", "Difference:")]:
            check(needed in self.nodes, "the window has no %s named %r" % needed)

    def _find_app(self):
        check(self.program.alive(), "the program ended at start-up:\n" + self.program.log_text())
        desktop = self.pyatspi.Registry.getDesktop(0)
        for i in range(desktop.childCount):
            app = desktop.getChildAtIndex(i)
            try:
                if app is not None and app.get_process_id() == self.program.pid and app.childCount > 0:
                    return app
            except Exception:
                pass
        return None

    def _collect(self, node):
        for child in node:
            if child is None:
                continue
            self.nodes.setdefault((child.getRoleName(), child.name.strip()), child)
            self._collect(child)

    def node(self, role, name):
        check((role, name) in self.nodes, "the window has no %s named %r" % (role, name))
        return self.nodes[(role, name)]

    def text(self, name):
        return self.node("text", name).queryText().getText(0, -1)

    def checked(self, role, name):
        return self.node(role, name).getState().contains(self.pyatspi.STATE_CHECKED)

    def act(self, role, name, action):
        node = self.node(role, name)
        actions = node.queryAction()
        for i in range(actions.nActions):
            if actions.getName(i) == action:
                actions.doAction(i)
                return
        raise Fail("%s %r has no action %s" % (role, name, action))


class Recorder:
    """Keeps every text the three clock boxes showed, with the time it was seen: from the
    window's text-change notices, so that a text shown for a moment is not missed, and
    from reading the boxes, which also proves the window answers."""

    BOXES = ("Server Time:", "Local Time:", "Difference:")
    made = []  # every recorder, for the report of a failure

    def __init__(self, window):
        from gi.repository import GLib
        self.context = GLib.MainContext.default()
        self.window = window
        self.history = []  # (monotonic time, box, text)
        self.last = {}
        self.slowest_read = 0.0
        self.listener = lambda event: self._changed(event)
        window.pyatspi.Registry.registerEventListener(self.listener, "object:text-changed:insert")
        Recorder.made.append(self)
        self.poll()

    def _changed(self, event):
        try:
            box = event.source.name
        except Exception:
            return
        if box in self.BOXES and isinstance(event.any_data, str):
            self.history.append((time.monotonic(), box, event.any_data))

    def poll(self):
        while self.context.pending():
            self.context.iteration(False)
        for box in self.BOXES:
            before = time.monotonic()
            text = self.window.text(box)
            self.slowest_read = max(self.slowest_read, time.monotonic() - before)
            if self.last.get(box) != text:
                self.last[box] = text
                self.history.append((time.monotonic(), box, text))

    def report(self, entries=40):
        """The last texts of the Server Time and Difference boxes, for a failure."""
        start = self.history[0][0] if self.history else 0.0
        return "\n".join("  %7.2f %-12s %r" % (t - start, box, text) for t, box, text in
                         [e for e in self.history if e[1] != "Local Time:"][-entries:])

    def wait(self, seconds, what, predicate, interval=0.1):
        return wait_for(seconds, what, predicate, interval=interval, tick=self.poll)

    def texts(self, box, since=0.0, until=float("inf")):
        return [(t, text) for t, b, text in self.history if b == box and since <= t < until]

    def changes(self, box, since=0.0, until=float("inf")):
        """How many times the box's text changed from since on (each change is seen twice: noticed and read)."""
        texts = [text for _, text in self.texts(box, until=until)]
        texts = texts[len(self.texts(box, until=since)) - 1:] if since > 0 else texts
        return sum(1 for a, b in zip(texts, texts[1:]) if a != b)


OFFSET_TEXT = re.compile(r"^(-?\d+) seconds (ahead|behind)$")


def check_differences(recorder, limit=2):
    """The Difference box never showed an offset larger than limit seconds (the fake
    servers serve the right time, so a larger one came from a forged reply)."""
    for _, text in recorder.texts("Difference:"):
        if text in ("", UNKNOWN, "time synchronized"):
            continue
        match = OFFSET_TEXT.match(text)
        check(match is not None, "the Difference box showed %r" % text)
        check(abs(int(match.group(1))) <= limit, "the Difference box showed a wrong offset: %r" % text)


# --- fake SNTP server ----------------------------------------------------------

def ntp_stamp(offset=0.0):
    t = time.time() + NTP_TO_UNIX + offset
    seconds = int(t)
    return struct.pack("!II", seconds & 0xFFFFFFFF, int((t - seconds) * 2 ** 32) & 0xFFFFFFFF)


def sntp_reply(request, offset=0.0, leap=0, stratum=2, zero_transmit=False, originate=None):
    """A server reply (version 4, mode 4) to request; offset shifts the time served."""
    now = ntp_stamp(offset)
    head = struct.pack("!BBbbIII", leap << 6 | 4 << 3 | 4, stratum, 6, -20, 0, 0, 0x7F7F0101)
    originate = request[40:48] if originate is None else originate
    transmit = b"\0" * 8 if zero_transmit else now
    return head + now[:4] + b"\0" * 4 + originate + now + transmit


class FakeSntp:
    """An SNTP server on address:123. plan(index, request) gives the answers to the
    index-th request (from 1): a list of (delay in seconds, from_other_port, bytes)."""

    def __init__(self, address, plan=None):
        self.address = address
        self.plan = plan or (lambda index, request: [(0.0, False, sntp_reply(request))])
        self.main = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
        self.main.bind((address, 123))
        self.other = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
        self.other.bind((address, 0))
        self.requests = []  # monotonic arrival times
        self.errors = []
        self.stopped = False
        self.thread = threading.Thread(target=self._serve, daemon=True)
        self.thread.start()

    def _serve(self):
        while not self.stopped:
            ready, _, _ = select.select([self.main], [], [], 0.1)
            if not ready:
                continue
            request, peer = self.main.recvfrom(65536)
            self.requests.append(time.monotonic())
            try:
                answers = self.plan(len(self.requests), request)
            except Exception as error:  # reported by the case
                self.errors.append(repr(error))
                continue
            threading.Thread(target=self._answer, args=(answers, peer), daemon=True).start()

    def _answer(self, answers, peer):
        start = time.monotonic()
        for delay, other_port, data in answers:
            time.sleep(max(0.0, start + delay - time.monotonic()))
            if not self.stopped:
                (self.other if other_port else self.main).sendto(data, peer)

    def stop(self):
        self.stopped = True
        self.thread.join()
        self.main.close()
        self.other.close()


# --- fake name server ---------------------------------------------------------

class FakeResolver:
    """A name server on address:53. mode: "nxdomain" (the name does not exist), "silent"
    (never answers), or ("slow", seconds, ipv4) (answers A queries with ipv4 after a delay)."""

    def __init__(self, address, mode):
        self.mode = mode
        self.sock = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
        self.sock.bind((address, 53))
        self.queries = []  # monotonic arrival times
        self.stopped = False
        self.thread = threading.Thread(target=self._serve, daemon=True)
        self.thread.start()

    @staticmethod
    def _question_end(query):
        at = 12
        while at < len(query) and query[at] != 0:
            at += 1 + query[at]
        return at + 5  # the zero byte, type and class

    def _answer(self, query, peer, mode):
        end = self._question_end(query)
        question = query[12:end]
        qtype = struct.unpack("!H", query[end - 4:end - 2])[0]
        if mode == "nxdomain":
            reply = query[:2] + struct.pack("!HHHHH", 0x8183, 1, 0, 0, 0) + question
        else:
            _, delay, ipv4 = mode
            time.sleep(delay)
            answers = 1 if qtype == 1 else 0
            reply = query[:2] + struct.pack("!HHHHH", 0x8180, 1, answers, 0, 0) + question
            if answers:
                reply += struct.pack("!HHHIH", 0xC00C, 1, 1, 0, 4) + socket.inet_aton(ipv4)
        if not self.stopped:
            self.sock.sendto(reply, peer)

    def _serve(self):
        while not self.stopped:
            ready, _, _ = select.select([self.sock], [], [], 0.1)
            if not ready:
                continue
            query, peer = self.sock.recvfrom(4096)
            self.queries.append(time.monotonic())
            mode = self.mode
            if mode != "silent" and len(query) > 12:
                threading.Thread(target=self._answer, args=(query, peer, mode), daemon=True).start()

    def stop(self):
        self.stopped = True
        self.thread.join()
        self.sock.close()


# --- the Time protocol server --------------------------------------------------

def probe_time_server(address="127.0.0.1", timeout=1.0):
    """One request to address:37: the value of a 4-byte reply in Unix seconds, REFUSED
    when the port is closed, or None when no reply came in time."""
    with socket.socket(socket.AF_INET, socket.SOCK_DGRAM) as s:
        s.settimeout(timeout)
        s.connect((address, 37))
        try:
            s.send(b"")
            data = s.recv(64)
        except socket.timeout:
            return None
        except ConnectionRefusedError:
            return REFUSED
    if len(data) != 4:
        return None
    return struct.unpack("!I", data)[0] - NTP_TO_UNIX


REFUSED = "refused"


class Flood:
    """A bounded UDP flood on address:37 in a process of its own (this file's flood mode)."""

    def __init__(self, seconds, max_requests, address="127.0.0.1"):
        self.proc = subprocess.Popen([sys.executable, os.path.abspath(__file__), "flood", address, str(seconds),
                                      str(max_requests)], stdout=subprocess.PIPE)

    def result(self, timeout=60):
        out, _ = self.proc.communicate(timeout=timeout)
        return json.loads(out)

    def stop(self):
        if self.proc.poll() is None:
            self.proc.kill()
            self.proc.wait()


def flood_main(address, seconds, max_requests, sockets=4, burst=16):
    """Sends bursts of empty datagrams from a few sockets as fast as it can, reading the
    replies between bursts, until the time or the count is used up."""
    peers = []
    for _ in range(sockets):
        s = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
        s.setsockopt(socket.SOL_SOCKET, socket.SO_RCVBUF, 1 << 20)
        s.setblocking(False)
        s.connect((address, 37))
        peers.append(s)
    sent = received = 0
    end = time.monotonic() + seconds

    def drain(s):
        nonlocal received
        while True:
            try:
                if len(s.recv(64)) == 4:
                    received += 1
            except (BlockingIOError, ConnectionRefusedError):
                return

    while time.monotonic() < end and sent < max_requests:
        for s in peers:
            for _ in range(burst):
                try:
                    s.send(b"")
                    sent += 1
                except (BlockingIOError, ConnectionRefusedError):
                    break
            drain(s)
    time.sleep(0.3)  # the answers still on their way
    for s in peers:
        drain(s)
    print(json.dumps({"sent": sent, "received": received, "seconds": seconds}))


if __name__ == "__main__" and len(sys.argv) == 5 and sys.argv[1] == "flood":
    flood_main(sys.argv[2], float(sys.argv[3]), int(sys.argv[4]))
