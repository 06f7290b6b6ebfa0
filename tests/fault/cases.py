# SPDX-License-Identifier: MIT
"""The fault and load cases against the built program. Usage: cases.py CASE PROGRAM"""

import os
import random
import shutil
import signal
import subprocess
import sys
import tempfile
import time

sys.dont_write_bytecode = True  # no cache folder in the source tree
sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from faultlib import (CONNECTING, INVALID, REFUSED, SETTINGS_KEYS, UNKNOWN, Fail, FakeResolver, FakeSntp, Flood,
                      Program, Recorder, check, check_differences, check_settings, figure, probe_time_server,
                      settings_text, sntp_reply, step, wait_for)

FORGED = 1_000_000.0  # seconds: what a forged reply claims, far from the right time
PACING = 3.9  # seconds between two requests to one address (4 s, less the fake's own delay)
TOO_LONG = "Socket Error # 10040\r\nMessage too long."

custom_sntp = dict(bNISTServer="0", ServerType="0", ServerProtocol="0", ckSyncTime="0", edtSyncTime="60",
                   ckRunStartup="0", ckSyncOnStart="0", ckTimeLocaFormat="1", ckRunTimeServer="0")


def sntp_replies(binary):
    """Malformed, late, doubled and forged replies: each failure shows its message, then
    "Unknown", and a new query follows at the request pacing; no forged time is taken."""
    # The first answer comes late, so the window is read before the first query ends.
    plan = [
        # (what, answers to the request, the message the Server Time box shows, or None when the query succeeds)
        ("a late reply with a forged time", lambda rq: [(11.0, False, sntp_reply(rq, FORGED))], INVALID),
        ("a short reply", lambda rq: [(0, False, sntp_reply(rq)[:40])], INVALID),
        ("stratum 0", lambda rq: [(0, False, sntp_reply(rq, stratum=0))], INVALID),
        ("stratum 16", lambda rq: [(0, False, sntp_reply(rq, stratum=16))], INVALID),
        ("leap indicator 3", lambda rq: [(0, False, sntp_reply(rq, leap=3))], INVALID),
        ("a zero transmit stamp", lambda rq: [(0, False, sntp_reply(rq, zero_transmit=True))], INVALID),
        ("garbage", lambda rq: [(0, False, random.Random(7).randbytes(30))], INVALID),
        ("a reply longer than the buffer", lambda rq: [(0, False, sntp_reply(rq) + b"\0" * 9000)], TOO_LONG),
        ("a forged time from another port, then the right one",
         lambda rq: [(0, True, sntp_reply(rq, FORGED)), (0.2, False, sntp_reply(rq))], None),
        ("a forged time with a wrong originate stamp, then the right one",
         lambda rq: [(0, False, sntp_reply(rq, FORGED, originate=b"\1" * 8)), (0.2, False, sntp_reply(rq))], None),
        ("the right time, then a second reply with a forged time",
         lambda rq: [(0, False, sntp_reply(rq)), (0.1, False, sntp_reply(rq, FORGED))], None),
        ("a late but timely reply of 100 bytes after that stale second reply",
         lambda rq: [(0.5, False, sntp_reply(rq) + b"x" * 52)], None),
    ]
    server = FakeSntp("127.0.0.2", lambda index, rq: plan[index - 1][1](rq) if index <= len(plan) else [])
    program = Program(binary, settings_text(TimeServer="127.0.0.2", **custom_sntp))
    try:
        recorder = Recorder(program.window())
        cursor = 0  # how much of the Server Time box's history the steps before have used

        def shown_in_order(*wanted):
            """The Server Time box showed texts matching wanted, in that order, since the cursor."""
            nonlocal cursor
            texts = [text for _, text in recorder.texts("Server Time:")][cursor:]
            at = 0
            for match in wanted:
                while at < len(texts) and not match(texts[at]):
                    at += 1
                if at == len(texts):
                    return False
                at += 1
            cursor += at
            return True

        def is_time(text):
            return text not in (CONNECTING, UNKNOWN, INVALID, "") and not text.startswith("Socket Error")

        for index, (what, _, message) in enumerate(plan, start=1):
            step("request %d: %s" % (index, what))
            recorder.wait(20, "request %d" % index, lambda: len(server.requests) >= index)
            if index > 1:
                gap = server.requests[index - 1] - server.requests[index - 2]
                check(gap >= PACING, "request %d came %.2f s after the one before" % (index, gap))
            if message is not None:
                # No button is pressed: the program asks again by itself.
                recorder.wait(15, "%r, then 'Unknown' in both boxes after request %d" % (message, index),
                              lambda: recorder.last["Difference:"] == UNKNOWN and
                              shown_in_order(lambda t: t == CONNECTING, lambda t: t == message,
                                             lambda t: t == UNKNOWN))
            else:
                # A forged time taken shows as a wrong offset at once.
                recorder.wait(6, "the time after request %d" % index,
                              lambda: check_differences(recorder) or
                              recorder.last["Difference:"] == "time synchronized" and
                              shown_in_order(lambda t: t == CONNECTING, is_time))
                if index < len(plan):
                    recorder.window.act("push button", "Refresh", "Press")
        check_differences(recorder)
        time.sleep(1.0)
        recorder.poll()
        check(len(server.requests) == len(plan), "%d requests for %d answers" % (len(server.requests), len(plan)))
        check(not server.errors, "the fake server failed: %s" % server.errors)
        gaps = [b - a for a, b in zip(server.requests, server.requests[1:])]
        figure("request gaps (s): " + " ".join("%.2f" % g for g in gaps))
        figure("slowest AT-SPI read: %.3f s" % recorder.slowest_read)
        program.terminate()
        program.check_clean_exit()
    finally:
        server.stop()
        program.cleanup()


def ticks_during(recorder, seconds, also=None):
    """Reads the window for the given time; gives the number of Local Time changes seen."""
    start = time.monotonic()
    while time.monotonic() - start < seconds:
        recorder.poll()
        if also is not None:
            also()
        time.sleep(0.2)
    return recorder.changes("Local Time:", since=start)


def time_value(timeout=1.0):
    """The Time server's answer in Unix seconds, or None when it gave none."""
    value = probe_time_server(timeout=timeout)
    return None if value == REFUSED else value


def time_server_load(binary):
    """A flood on the Time server, the server switched off and on under load, and SIGTERM
    in the middle of a flood: it keeps answering and ticking, memory stays flat, nothing leaks."""
    server = FakeSntp("127.0.0.2")
    settings = dict(custom_sntp, TimeServer="127.0.0.2", ckRunTimeServer="1")
    # ASan keeps freed memory aside (256 MB by default) to catch late uses; that is not
    # the program's memory, so a small quarantine lets VmRSS show what the program keeps.
    asan = os.environ.get("ASAN_OPTIONS", "")
    program = Program(binary, settings_text(**settings),
                      {"ASAN_OPTIONS": asan + (":" if asan else "") + "quarantine_size_mb=1"})
    floods = []
    try:
        window = program.window()
        recorder = Recorder(window)
        recorder.wait(10, "the first query to succeed", lambda: recorder.last["Difference:"] == "time synchronized")
        answer = wait_for(5, "the Time server to answer", time_value)
        check(abs(answer - time.time()) < 3, "the Time server said %d, %.0f s off" % (answer, answer - time.time()))

        rss_rest = program.rss_kib()
        step("a flood of 1 s to warm the allocator up, then one of %d s" % FLOOD_SECONDS)
        floods.append(Flood(1, 1_000_000))
        floods[-1].result()
        rss_before = program.rss_kib()
        floods.append(Flood(FLOOD_SECONDS, 5_000_000))
        flood_start = time.monotonic()
        rss_samples = []

        def sample():
            if len(rss_samples) < time.monotonic() - flood_start:
                rss_samples.append(program.rss_kib())

        ticks = ticks_during(recorder, FLOOD_SECONDS, sample)
        load = floods[-1].result()
        rss_after = program.rss_kib()
        figure("flood: %d requests sent in %d s, %d answered (%.0f per second)"
               % (load["sent"], FLOOD_SECONDS, load["received"], load["received"] / FLOOD_SECONDS))
        figure("Local Time changes seen during the flood: %d in %d s; slowest AT-SPI read %.3f s"
               % (ticks, FLOOD_SECONDS, recorder.slowest_read))
        figure("VmRSS at rest / after the warm-up / each second / after the flood (KiB): %d / %d / %s / %d"
               % (rss_rest, rss_before, " ".join(map(str, rss_samples)), rss_after))
        check(load["received"] >= 1000, "the Time server answered only %d requests" % load["received"])
        check(ticks >= FLOOD_SECONDS // 2, "the window ticked only %d times in %d s" % (ticks, FLOOD_SECONDS))
        check(rss_after - rss_before < 10 * 1024, "VmRSS grew by %d KiB over the flood" % (rss_after - rss_before))
        wait_for(3, "the Time server to answer after the flood", time_value)

        step("the Time server switched off and on %d times under load" % TOGGLES)
        floods.append(Flood(60, 20_000_000))
        time.sleep(0.5)
        rss_before = program.rss_kib()
        counts = {}
        slowest_action = slowest_port = 0.0
        for toggle in range(1, TOGGLES + 1):
            on = toggle % 2 == 0
            before = time.monotonic()
            window.act("check box", "Run as local time server (Time protocol)", "Toggle")
            acted = time.monotonic()
            # Under the flood a probe may be lost in the full receive queue: it is repeated,
            # for longer in a slow (sanitized) build, where most probes are lost.
            probe = (lambda: time_value(timeout=0.3)) if on else (lambda: probe_time_server(timeout=0.3) == REFUSED)
            wait_for(30, "the Time server to be %s after toggle %d" % ("on" if on else "off", toggle), probe)
            slowest_action = max(slowest_action, acted - before)
            slowest_port = max(slowest_port, time.monotonic() - acted)
            if toggle in (1, TOGGLES - 1):
                counts[toggle] = (program.threads(), program.open_files())
        check(window.checked("check box", "Run as local time server (Time protocol)"),
              "the box is not ticked after an even number of switches")
        ticks = ticks_during(recorder, 2)
        floods[-1].stop()
        rss_after = program.rss_kib()
        figure("switching: slowest toggle action %.3f s, slowest until the port followed %.3f s"
               % (slowest_action, slowest_port))
        figure("threads / open files with the server off, first and last time: %s / %s"
               % (counts[1], counts[TOGGLES - 1]))
        figure("VmRSS before / after the switching: %d / %d KiB" % (rss_before, rss_after))
        check(ticks >= 1, "the window stopped ticking after the switching")
        check(counts[1] == counts[TOGGLES - 1], "threads or files leaked: %s, then %s" % (counts[1], counts[TOGGLES - 1]))
        check(rss_after - rss_before < 10 * 1024, "VmRSS grew by %d KiB over the switching" % (rss_after - rss_before))

        step("SIGTERM in the middle of a flood")
        floods.append(Flood(20, 20_000_000))
        time.sleep(1.5)
        elapsed = program.terminate()
        figure("exit %.3f s after SIGTERM during a flood" % elapsed)
        program.check_clean_exit()
        check_settings(program.settings, dict(settings, TimeServer="127.0.0.2"))
    finally:
        for flood in floods:
            flood.stop()
        server.stop()
        program.cleanup()


def sigterm(binary):
    """SIGTERM in the middle of a query to a silent server, and a second one while the
    settings are being saved: the file stays whole, the program ends within a second."""
    step("SIGTERM while a query waits for a silent server")
    server = FakeSntp("127.0.0.3", lambda index, rq: [])
    settings = dict(custom_sntp, TimeServer="127.0.0.3", ckSyncTime="1", edtSyncTime="15")
    program = Program(binary, settings_text(**settings))
    try:
        recorder = Recorder(program.window())
        recorder.wait(10, "the request", lambda: server.requests)
        time.sleep(1.0)
        recorder.poll()
        check(recorder.last["Server Time:"] == CONNECTING, "the Server Time box shows %r"
              % recorder.last["Server Time:"])
        elapsed = program.terminate()
        figure("exit %.3f s after SIGTERM during a query" % elapsed)
        program.check_clean_exit()
        check_settings(program.settings, settings)
    finally:
        server.stop()
        program.cleanup()

    step("a second SIGTERM right as the settings are saved")
    # Blanks around every "=" make each of the ten keys a change, so the save replaces
    # the file ten times; the filler makes each replacement take a while.
    old = dict(custom_sntp, TimeServer="127.0.0.3", bNISTServer="00", ckSyncTime="0")
    text = "\n".join(["[Common]"] + ["%s = %s" % (key, old[key]) for key in SETTINGS_KEYS])
    text += "\n[Filler]\n" + "".join("line%07d=%s\n" % (i, "f" * 48) for i in range(60_000))
    program = Program(binary, text)
    try:
        program.window()
        before = os.stat(program.settings).st_ino
        sent = time.monotonic()
        program.proc.send_signal(signal.SIGTERM)

        def saving():
            return any(name.startswith(".settings.ini.tmp") for name in os.listdir(program.dir)) or \
                os.stat(program.settings).st_ino != before or not program.alive()

        wait_for(5, "the save to begin", saving, interval=0.0005)
        program.proc.send_signal(signal.SIGTERM)
        program.returncode = program.proc.wait(timeout=10)
        elapsed = time.monotonic() - sent
        figure("exit %.3f s after the first SIGTERM, the second one during the save (status %d)"
               % (elapsed, program.returncode))
        check(elapsed < 1.0, "the program took %.3f s to end" % elapsed)
        check(program.returncode in (0, -signal.SIGTERM), "the program ended with %d" % program.returncode)
        # Each key has its old value or its new one, and the filler is still there.
        keys = check_settings(program.settings, {key: {value, old[key].strip()} for key, value in
                                                 dict(old, bNISTServer="0").items()})
        with open(program.settings) as f:
            check(f.read().count("\nline") == 60_000, "the rest of the file was not kept")
        leftovers = [name for name in os.listdir(program.dir) if name.startswith(".settings.ini.tmp")]
        figure("keys after the interrupted save: %s; temporary files left: %s" % (keys, leftovers))
    finally:
        program.cleanup()


def settings_files(binary):
    """A settings file of random bytes, an empty one and a huge one: the program starts
    with the defaults or the file's keys, shows its window and saves a valid file."""
    defaults = dict(bNISTServer="-1", ServerType="0", TimeServer=None, ServerProtocol="0", ckSyncTime="0",
                    edtSyncTime="60", ckRunStartup="0", ckSyncOnStart="0", ckTimeLocaFormat="0", ckRunTimeServer="0")
    # What the window shows with these defaults.
    default_controls = [("radio button", "NIST Atomic Time Servers", True), ("radio button", "UTC", True),
                        ("check box", "Synchronize time every", False),
                        ("check box", "Run as local time server (Time protocol)", False)]
    default_texts = [("Synchronize time every, minutes", "60")]
    huge_keys = dict(bNISTServer="0", ServerType="1", TimeServer="127.0.0.4", ServerProtocol="1", ckSyncTime="0",
                     edtSyncTime="7", ckRunStartup="0", ckSyncOnStart="0", ckTimeLocaFormat="1", ckRunTimeServer="0")
    filler = "".join("entry%08d=%s\n" % (i, "h" * 50) for i in range(20 * 1024 * 1024 // 65))
    files = [
        # (what, contents, keys saved at exit, controls and texts shown, seconds allowed to end)
        ("random bytes", random.Random(1).randbytes(16384), defaults, default_controls, default_texts, 1.0),
        ("an empty file", b"", defaults, default_controls, default_texts, 1.0),
        # Reading and rewriting 20 MB ten times takes a while, under ASan seconds.
        ("a file of 20 MB", settings_text(**huge_keys) + "[Filler]\n" + filler, huge_keys,
         [("radio button", "Custom Time Server", True), ("radio button", "Local time format", True)],
         [("Server Address:", "127.0.0.4"), ("Synchronize time every, minutes", "7")], 15.0),
    ]
    for what, contents, keys, controls, texts, limit in files:
        step(what)
        program = Program(binary, contents)
        try:
            window = program.window()
            figure("%s: window shown %.2f s after the start" % (what, time.monotonic() - program.started))
            for role, name, on in controls:
                check(window.checked(role, name) == on, "%s %r is %s" % (role, name, "off" if on else "on"))
            for name, text in texts:
                check(window.text(name) == text, "%r shows %r, expected %r" % (name, window.text(name), text))
            recorder = Recorder(window)
            recorder.wait(5, "the window to tick", lambda: recorder.changes("Local Time:") >= 1)
            elapsed = program.terminate(limit)
            figure("%s: exit %.2f s after SIGTERM" % (what, elapsed))
            program.check_clean_exit()
            check_settings(program.settings, keys)
            with open(program.settings, "rb") as f:
                saved = f.read()
            if what == "random bytes":
                figure("random bytes: the unrelated bytes were %s" % ("kept" if saved.startswith(contents) else "dropped"))
            if what == "a file of 20 MB":
                check(saved.endswith(filler.encode()), "the huge file lost its other section")
        finally:
            program.cleanup()


def name_lookup(binary):
    """A custom server given by a name: an unreachable resolver, a name that does not
    exist, a resolver that never answers and one that answers late. Failures show the
    socket error and are retried; the window ticks while a lookup hangs."""
    folder = tempfile.mkdtemp(prefix="kestrine-fault-resolv-")
    resolv = os.path.join(folder, "resolv.conf")
    with open(resolv, "w") as f:
        f.write("nameserver 127.0.0.53\noptions timeout:3 attempts:1\n")
    # Only inside this case's own mount namespace (run_case.sh).
    subprocess.run(["mount", "--bind", resolv, "/etc/resolv.conf"], check=True)
    sntp = FakeSntp("127.0.0.2")
    program = Program(binary, settings_text(**dict(custom_sntp, TimeServer="time.fault.test")))
    resolver = None
    try:
        recorder = Recorder(program.window())

        def failures(number, message, since):
            """number failures with message since the given history length, each followed by 'Unknown'."""
            texts = [text for _, text in recorder.texts("Server Time:")][since:]
            count = 0
            for a, b in zip(texts, texts[1:]):
                if a == message and b == UNKNOWN:
                    count += 1
            return count >= number

        step("no resolver listens: the lookup fails at once, again and again")
        recorder.wait(10, "two failures with 11002", lambda: failures(2, "Socket Error # 11002\r\n", 0))
        mark = len(recorder.texts("Server Time:"))

        step("the name does not exist")
        resolver = FakeResolver("127.0.0.53", "nxdomain")
        recorder.wait(10, "two failures with 11001", lambda: failures(2, "Socket Error # 11001\r\nHost not found.", mark))
        check(len(resolver.queries) >= 2, "the resolver was asked %d times" % len(resolver.queries))

        step("the resolver never answers: the lookup hangs, the window ticks")
        resolver.mode = "silent"
        asked = len(resolver.queries)
        recorder.wait(10, "a lookup to the silent resolver", lambda: len(resolver.queries) > asked)
        hang_start = time.monotonic()
        recorder.wait(8, "the lookup to give up", lambda: recorder.last["Server Time:"] != CONNECTING)
        hang = time.monotonic() - hang_start
        ticks = recorder.changes("Local Time:", since=hang_start)
        figure("a hanging lookup: %.1f s, %d Local Time changes meanwhile; slowest AT-SPI read %.3f s"
               % (hang, ticks, recorder.slowest_read))
        check(hang > 2.0, "the lookup gave up after %.1f s" % hang)
        check(ticks >= int(hang) - 1, "the window ticked %d times in %.1f s" % (ticks, hang))

        step("the resolver answers late: the query succeeds")
        resolver.mode = ("slow", 1.5, "127.0.0.2")
        recorder.wait(15, "the time", lambda: recorder.last["Difference:"] == "time synchronized")
        check(sntp.requests, "the SNTP server was not asked")
        check_differences(recorder)

        step("SIGTERM while a lookup hangs")
        resolver.mode = "silent"
        asked = len(resolver.queries)
        recorder.window.act("push button", "Refresh", "Press")
        recorder.wait(10, "a lookup to the silent resolver", lambda: len(resolver.queries) > asked)
        time.sleep(1.0)
        elapsed = program.terminate()
        figure("exit %.3f s after SIGTERM during a hanging lookup" % elapsed)
        program.check_clean_exit()
        check_settings(program.settings, dict(custom_sntp, TimeServer="time.fault.test"))
    finally:
        if resolver is not None:
            resolver.stop()
        sntp.stop()
        program.cleanup()
        subprocess.run(["umount", "/etc/resolv.conf"])
        shutil.rmtree(folder, ignore_errors=True)


FLOOD_SECONDS = int(os.environ.get("FAULT_FLOOD_SECONDS", "8"))
TOGGLES = 40

CASES = {"sntp": sntp_replies, "load": time_server_load, "sigterm": sigterm, "settings": settings_files,
         "lookup": name_lookup}


def main():
    case, binary = sys.argv[1], sys.argv[2]
    started = time.monotonic()
    try:
        CASES[case](binary)
    except Fail as error:
        for recorder in Recorder.made:
            print("The boxes showed, the last texts first noticed, then read:\n" + recorder.report())
        print("FAIL:", error, flush=True)
        sys.exit(1)
    print("PASS (%.1f s)" % (time.monotonic() - started))


if __name__ == "__main__":
    main()
