"""Fault sweep: one run lists the system calls that touch the target (strace
-f -P, Wine's own processes included), then each occurrence of each call is
made to fail in a run of its own (ENOSPC for writes, EACCES for opens, EIO
otherwise). Every run must end with exit code 0 and one of the tool's own
messages; "Done." only when both words hold the typed values; otherwise no
byte outside the two words changed and each word is its old or its new
value; and an ID is shown only as the file holds it.

strace counts occurrences per process: under Wine occurrence N fails in the
wineserver and in the program alike, wherever each makes an N-th such call."""
import concurrent.futures
import re
import shutil
import struct
import subprocess
import sys
import time
import unittest
from collections import Counter
from pathlib import Path

import harness
from harness import BANNER, BLOCK_OFFSET, INVALID, NOT_FOUND, NOT_READ, NOT_WRITTEN

PROGRAM = None
SAMPLE = harness.make_sample.sample()
TYPED = b"111\n222\n"
OLD, NEW = (1, 2), (111, 222)
MESSAGES = {b"Done.\r\n": "Done.", NOT_WRITTEN: "not written", NOT_READ: "not read",
            NOT_FOUND: "not found", INVALID: "invalid"}
MOST_PER_CALL = 12  # occurrences past the first dozen of a call are skipped
RUN_TIMEOUT = 60
CALL = re.compile(r"^(\d+)\s+(\w+)\(")
SHOWN = re.compile(rb"Current (item|event) pointer variable ID is (\d+)\. ")


def error_for(call):
    if call in ("open", "openat", "openat2", "creat"):
        return "EACCES"
    if call.startswith("write") or call.startswith("pwrite"):
        return "ENOSPC"
    return "EIO"


class Point:
    """One run of the program under strace on a fresh target."""

    def __init__(self, call=None, occurrence=0):
        self.call, self.occurrence = call, occurrence
        self.work = harness.WorkDir()
        self.target = self.work.file("RPG_RT.exe", SAMPLE)

    def run(self, log="/dev/null"):
        # The name as the program opens it, relative to its directory, and the
        # full path that calls on its descriptor resolve to.
        paths = ["-P", self.target.name, "-P", str(self.target)]
        if PROGRAM.wine_prefix:  # the path as Wine reaches it, through drive Z:
            paths += ["-P", str(Path(PROGRAM.env["WINEPREFIX"]) / "dosdevices" / "z:") +
                      str(self.target)]
        options = []
        if self.call:
            error = error_for(self.call)
            options = ["--seccomp-bpf", "-e", f"trace={self.call}",
                       "-e", f"inject={self.call}:error={error}:when={self.occurrence}"]
        command = ["strace", "-f", "-qq", "-o", log, *paths, *options,
                   *PROGRAM.command([self.target.name])]
        # A sanitizer build: LeakSanitizer cannot work under ptrace.
        env = dict(PROGRAM.env, ASAN_OPTIONS=PROGRAM.env.get("ASAN_OPTIONS", "") + ":detect_leaks=0")
        done = subprocess.run(command, input=TYPED, stdout=subprocess.PIPE,
                              stderr=subprocess.DEVNULL, cwd=self.work.path, env=env,
                              timeout=RUN_TIMEOUT, check=False)
        self.code, self.out, self.data = done.returncode, done.stdout, self.target.read_bytes()
        self.work.remove()
        return self

    def words(self):
        if len(self.data) < BLOCK_OFFSET + 12:
            return None
        return struct.unpack_from("<II", self.data, BLOCK_OFFSET + 4)

    def outcome(self):
        message = next((name for text, name in MESSAGES.items() if self.out.endswith(text)),
                       "(no message)")
        return f"exit {self.code}, {message}, words {self.words()}"

    def faults(self):
        """What breaks the invariant, or an empty list."""
        found = []
        if self.code != 0:
            found.append(f"exit code {self.code}")
        if not self.out.startswith(BANNER) or not any(self.out.endswith(m) for m in MESSAGES):
            found.append("no message of the tool's own at the end")
        for which, value in SHOWN.findall(self.out):
            if int(value) != OLD[0 if which == b"item" else 1]:
                found.append(f"{which.decode()} ID shown as {int(value)}, not the file's")
        words = self.words()
        if self.out.endswith(b"Done.\r\n"):
            if self.data != harness.with_words(SAMPLE, *NEW):
                found.append(f"Done. with words {words}")
        else:
            kept = len(self.data) == len(SAMPLE) and \
                self.data[:BLOCK_OFFSET + 4] == SAMPLE[:BLOCK_OFFSET + 4] and \
                self.data[BLOCK_OFFSET + 12:] == SAMPLE[BLOCK_OFFSET + 12:]
            if not kept:
                found.append("bytes outside the two words changed")
            elif words[0] not in (OLD[0], NEW[0]) or words[1] not in (OLD[1], NEW[1]):
                found.append(f"a word is neither old nor new: {words}")
        return found


def calls_on_target(log):
    """Occurrences of each call, the most any one process made."""
    per_process = Counter()
    for line in Path(log).read_text(errors="replace").splitlines():
        match = CALL.match(line)
        if match:
            per_process[match.group(2), match.group(1)] += 1
    calls = Counter()
    for (call, _), count in per_process.items():
        calls[call] = max(calls[call], count)
    return dict(sorted(calls.items()))


class FaultSweep(unittest.TestCase):
    def test_every_failing_call_on_the_target_keeps_the_promise(self):
        if shutil.which("strace") is None or subprocess.run(
                ["strace", "-o", "/dev/null", "true"], stderr=subprocess.DEVNULL).returncode:
            self.skipTest("needs strace, allowed to trace")
        if PROGRAM.wine_prefix:  # the wineserver must start under strace to be traced
            subprocess.run(["wineserver", "-k"], env=PROGRAM.env, timeout=RUN_TIMEOUT, check=False)
            subprocess.run(["wineserver", "-w"], env=PROGRAM.env, timeout=RUN_TIMEOUT, check=False)
        started = time.monotonic()
        listing = harness.WorkDir()
        try:
            success = Point().run(log=str(listing.path / "calls.log"))
            calls = calls_on_target(listing.path / "calls.log")
        finally:
            listing.remove()
        self.assertEqual(success.faults(), [])
        self.assertTrue(success.out.endswith(b"Done.\r\n"), success.out)
        self.assertIn("write", calls)
        points = [Point(call, n) for call, count in calls.items()
                  for n in range(1, min(count, MOST_PER_CALL) + 1)]
        # Native runs mostly sleep through the closing pause: run a few at a
        # time. Wine's runs share the wineserver of their prefix: one at a time.
        workers = 1 if PROGRAM.wine_prefix else 4
        with concurrent.futures.ThreadPoolExecutor(workers) as pool:
            done = list(pool.map(Point.run, points))
        build = "wine" if PROGRAM.wine_prefix else "native"
        sys.stderr.write(f"\nfault sweep ({build}): calls on the target in a success run: "
                         f"{', '.join(f'{c} {n}' for c, n in calls.items())} "
                         f"({sum(calls.values())}); {len(points)} runs in "
                         f"{time.monotonic() - started:.0f} s\n")
        for point in done:
            sys.stderr.write(f"  {point.call:<10} #{point.occurrence:<2} "
                             f"{error_for(point.call):<6} | {point.outcome()}\n")
        for point in done:
            with self.subTest(call=point.call, occurrence=point.occurrence):
                self.assertEqual(point.faults(), [], point.out)


if __name__ == "__main__":
    PROGRAM, rest = harness.program_from_argv(sys.argv[1:])
    unittest.main(argv=[sys.argv[0], *rest], verbosity=2)
