"""Fault sweep: one run lists the system calls that touch the target (strace
-f -P, Wine's own processes included), where each write must be synced before
the next write or a close; then each occurrence of each call is made to fail
in a run of its own (ENOSPC for writes, EACCES for opens, EIO, EROFS and
EINVAL for syncs, EIO otherwise), and so is each call past those counts that a
failing open leads to (a fallback). Every run must end with exit code 0 and one of the tool's own
messages, never "changed" (no one changes the target here: a call that fails
is no change); "Done." only when both words hold the typed values; otherwise no
byte outside the two words changed and each word is its old or its new
value; and an ID is shown only as the file holds it.

strace counts occurrences per process: under Wine occurrence N fails in the
wineserver and in the program alike, wherever each makes an N-th such call."""
import concurrent.futures
import queue
import re
import shutil
import subprocess
import sys
import time
import unittest
from collections import Counter
from pathlib import Path

import harness
from harness import (BANNER, BLOCK_END, CHANGED, INVALID, NOT_FOUND, NOT_READ, NOT_WRITTEN, ids_of,
                     offset_of)

PROGRAM = None
# The program as each worker runs it; under Wine each worker has a prefix of
# its own, so that each run's wineserver is the one its strace started.
PROGRAMS = queue.SimpleQueue()
SAMPLE = harness.make_sample.sample()
OLD = harness.make_sample.SAMPLE_IDS
NEW = tuple(111 * n for n in OLD)
TYPED = b"".join(b"%d\n" % n for n in NEW)
MOST_PER_CALL = 12  # occurrences past the first dozen of a call are skipped
RUN_TIMEOUT = 60
WORKERS = 4
CALL = re.compile(r"^(\d+)\s+(\w+)\(")
SYNCS, OPENS = ("fsync", "fdatasync"), ("open", "openat", "openat2", "creat")
SHOWN = re.compile(b"(" + b"|".join(re.escape(label.encode()) for label in harness.LABELS) +
                   rb")(\d+)\. ")


def errors_for(call):
    if call in OPENS:
        return ("EACCES",)
    if call.startswith("write") or call.startswith("pwrite"):
        return ("ENOSPC",)
    return ("EIO", "EROFS", "EINVAL") if call in SYNCS else ("EIO",)


class Point:
    """One run of the program under strace on a fresh target, with up to two
    occurrences of calls made to fail: (call, occurrence, error). With
    `vanish` the program's open of the target (natively; under Wine the
    server's), the second after the existence test's, is held back 3 s, and
    the target is renamed away meanwhile."""

    def __init__(self, *failing, vanish=False):
        self.failing, self.vanish = failing, vanish
        self.work = harness.WorkDir()
        self.target = self.work.file("RPG_RT.exe", SAMPLE)
        # The calls made are listed in the success run and where an open fails.
        self.listed = vanish or not failing or (len(failing) == 1 and failing[0][0] in OPENS)
        self.calls, self.unsynced = {}, []

    def run(self):
        program = PROGRAMS.get()
        try:
            return self.run_as(program)
        finally:
            PROGRAMS.put(program)

    def run_as(self, program):
        log = str(self.work.path / "calls.log") if self.listed else "/dev/null"
        # The name as the program opens it, relative to its directory, and the
        # full path that calls on its descriptor resolve to.
        paths = ["-P", self.target.name, "-P", str(self.target)]
        if program.wine_prefix:  # the path as Wine reaches it, through drive Z:
            paths += ["-P", str(Path(program.env["WINEPREFIX"]) / "dosdevices" / "z:") +
                      str(self.target)]
        calls = {call: error for call, _, error in self.failing}
        options = [] if self.listed else ["--seccomp-bpf", "-e", f"trace={','.join(calls)}"]
        for call, error in calls.items():  # two occurrences of one call: first..last+step
            at = [n for c, n, _ in self.failing if c == call]
            when = f"{at[0]}..{at[-1]}+{at[-1] - at[0]}" if len(at) > 1 else at[0]
            options += ["-e", f"inject={call}:error={error}:when={when}"]
        if self.vanish:
            options += ["-e", "inject=openat:delay_enter=3000000:when=2"]
        # At a lower priority: suites beside this one check how long things take.
        command = ["nice", "-n", "10", "strace", "-f", "-qq", "-o", log, *paths, *options,
                   *program.command([self.target.name])]
        # A sanitizer build: LeakSanitizer cannot work under ptrace.
        env = dict(program.env, ASAN_OPTIONS=program.env.get("ASAN_OPTIONS", "") + ":detect_leaks=0")
        # What strace and Wine say on the error stream goes to a file, kept for
        # the report of a failing row: a pipe would stay open as long as any
        # process that inherited it, traced or not.
        errors = self.work.path / "errors.txt"
        with open(errors, "wb") as stream:
            run = subprocess.Popen(command, stdin=subprocess.PIPE, stdout=subprocess.PIPE,
                                   stderr=stream, cwd=self.work.path, env=env)
        try:
            if self.vanish:
                self.rename_at_second_open(log)
            self.out = run.communicate(TYPED, timeout=RUN_TIMEOUT)[0]
        finally:
            harness.end_process(run)
        self.code = run.returncode
        self.errors = errors.read_text(errors="replace")
        self.data = self.target.read_bytes() if self.target.exists() else None
        moved = self.target.with_name("moved.exe")
        self.moved = moved.read_bytes() if moved.exists() else None
        if self.listed:
            self.calls, self.unsynced = calls_on_target(log), unsynced_writes(log)
        self.work.remove()
        return self

    def rename_at_second_open(self, log):
        """Renames the target to moved.exe once strace logs the start of the
        second open, which it then holds back."""
        deadline = time.monotonic() + RUN_TIMEOUT
        while time.monotonic() < deadline:
            if Path(log).exists() and Path(log).read_text(errors="replace").count("openat(") >= 2:
                break
            time.sleep(0.01)
        self.target.rename(self.target.with_name("moved.exe"))

    def words(self):
        if self.data is None or len(self.data) < BLOCK_END:
            return None
        return ids_of(self.data)

    def name(self):
        return " + ".join(f"{c} #{n} {e}" for c, n, e in self.failing)

    def outcome(self):
        message = next((text.decode().strip() for text in harness.MESSAGES
                        if self.out.endswith(text)), "(no message)")
        return f"exit {self.code}, {message}, words {self.words()}"

    def faults(self):
        """What breaks the invariant, or an empty list."""
        found = []
        if self.code != 0:
            found.append(f"exit code {self.code}")
        if not self.out.startswith(BANNER) or not any(self.out.endswith(m) for m in harness.MESSAGES):
            found.append("no message of the tool's own at the end")
        if self.out.endswith(CHANGED):
            found.append("'changed' for a failing call on a file no one changed")
        for label, value in SHOWN.findall(self.out):
            if int(value) != OLD[harness.LABELS.index(label.decode())]:
                found.append(f"{label.decode()}{int(value)}: not the file's ID")
        words = self.words()
        if self.out.endswith(b"Done.\r\n") and any(c in SYNCS for c, _, _ in self.failing):
            found.append("Done. after a failed sync")
        if self.out.endswith(b"Done.\r\n"):
            if self.data != harness.with_words(SAMPLE, *NEW):
                found.append(f"Done. with words {words}")
        else:
            kept = len(self.data) == len(SAMPLE) and \
                self.data[:offset_of("item")] == SAMPLE[:offset_of("item")] and \
                self.data[BLOCK_END:] == SAMPLE[BLOCK_END:]
            if not kept:
                found.append("bytes outside the two words changed")
            elif any(word not in (old, new) for word, old, new in zip(words, OLD, NEW)):
                found.append(f"a word is neither old nor new: {words}")
        return found


def calls_in(log):
    """The calls on the target in the order logged: (process, call)."""
    return [m.groups() for m in map(CALL.match, Path(log).read_text(errors="replace").split("\n"))
            if m]


def calls_on_target(log):
    """Occurrences of each call, the most any one process made."""
    calls = Counter()
    for (_, call), count in Counter(calls_in(log)).items():
        calls[call] = max(calls[call], count)
    return dict(sorted(calls.items()))


def unsynced_writes(log):
    """Writes not synced before the next write or a close, in whichever
    process (under Wine the server syncs what the program wrote)."""
    found, pending = [], None
    for number, (_, call) in enumerate(calls_in(log) + [("", "close")], 1):
        write = call.startswith(("write", "pwrite"))
        if pending and (write or call == "close"):
            found.append(f"call {pending}, a write, not synced before call {number}, {call}")
        if write or call in SYNCS or call == "close":
            pending = number if write else None
    return found


class FaultSweep(unittest.TestCase):
    def test_every_failing_call_on_the_target_keeps_the_promise(self):
        # Runs mostly sleep through the closing pause: a few at a time. Under
        # Wine each in a prefix of its own (a copy of the one the other suites
        # share) with no server running: a run's wineserver must start under
        # its strace to be traced.
        if PROGRAM.wine_prefix:
            programs = [harness.Program(PROGRAM.binary, f"{PROGRAM.wine_prefix}-sweep{n}",
                                        copy_of=PROGRAM) for n in range(1, WORKERS + 1)]
            for program in programs:
                subprocess.run(["wineserver", "-k"], env=program.env, timeout=RUN_TIMEOUT,
                               check=False)
                subprocess.run(["wineserver", "-w"], env=program.env, timeout=RUN_TIMEOUT,
                               check=False)
        else:
            programs = [PROGRAM] * WORKERS
        for program in programs:
            PROGRAMS.put(program)
        started = time.monotonic()
        success = Point().run()
        calls = success.calls
        self.assertEqual(success.faults(), [])
        self.assertTrue(success.out.endswith(b"Done.\r\n"), success.out)
        self.assertIn("write", calls)
        self.assertEqual(success.unsynced, [])
        # A file system or kernel without locks: each lock call refused with
        # each answer that means so (natively the program's own, after the
        # open's F_SETFL and F_GETFL, EINVAL also refusing the fallback to a
        # process-associated lock; under Wine the server's, along with the
        # program's F_SETFD). The run goes on without the lock. And the target
        # renamed away between the existence test and the open: "not found",
        # nothing left at its name, the moved file as it was.
        lock_errors = ("ENOLCK", "EOPNOTSUPP", "EINVAL", "ENOSYS")
        lock_call = ("fcntl64", "1+") if PROGRAM.wine_prefix else ("fcntl", "3+")
        with concurrent.futures.ThreadPoolExecutor(len(programs)) as pool:
            vanished, *no_locks = pool.map(Point.run, [Point(vanish=True)] + [
                Point((*lock_call, error)) for error in lock_errors])
        for error, no_lock in zip(lock_errors, no_locks):
            self.assertEqual(no_lock.faults(), [], error)
            self.assertTrue(no_lock.out.endswith(b"Done.\r\n"), (error, no_lock.out))
        self.assertEqual((vanished.code, vanished.out), (0, BANNER + NOT_FOUND))
        self.assertIsNone(vanished.data, "a file was made at the name")
        self.assertEqual(vanished.moved, SAMPLE)
        points = [Point((call, n, error)) for call, count in calls.items()
                  for n in range(1, min(count, MOST_PER_CALL) + 1) for error in errors_for(call)]
        with concurrent.futures.ThreadPoolExecutor(len(programs)) as pool:
            done = list(pool.map(Point.run, points))
            # Calls that only a failing open leads to (a fallback) fail in turn.
            extra = [Point(*point.failing, (call, n, error))
                     for point in done if point.listed for call, count in point.calls.items()
                     for n in range(calls.get(call, 0) + 1, min(count, MOST_PER_CALL) + 1)
                     for error in errors_for(call)]
            done += list(pool.map(Point.run, extra))
        points += extra
        build = "wine" if PROGRAM.wine_prefix else "native"
        sys.stderr.write(f"\nfault sweep ({build}): calls on the target in a success run: "
                         f"{', '.join(f'{c} {n}' for c, n in calls.items())} "
                         f"({sum(calls.values())}); {len(points)} runs in "
                         f"{time.monotonic() - started:.0f} s\n")
        for point in done:
            sys.stderr.write(f"  {point.name():<28} | {point.outcome()}\n")
        for point in done:
            with self.subTest(point.name()):
                self.assertEqual(point.faults(), [], (point.out, point.errors))


if __name__ == "__main__":
    PROGRAM, rest = harness.program_from_argv(sys.argv[1:])
    if not shutil.which("strace") or subprocess.run(["strace", "-o", "/dev/null", "true"],
                                                    stderr=subprocess.DEVNULL).returncode:
        if harness.under_ci():
            sys.exit("fault sweep: strace is missing or may not trace, and CI needs the sweep")
        print("fault sweep skipped: needs strace, allowed to trace")
        sys.exit(harness.SKIPPED)
    harness.run_tests(PROGRAM, [sys.argv[0], *rest])
