"""Fault table: what the program shows, its exit code and what becomes of the
target when the target or the program's surroundings are not as expected.
Each row ends with a line of the table printed when the module finishes."""
import collections
import concurrent.futures
import os
import select
import shlex
import signal
import subprocess
import sys
import threading
import time
import unittest

import harness
from harness import (BANNER, BLOCK_END, BLOCK_OFFSET, CHANGED, DONE, INVALID, NO_FILE, NOT_FOUND,
                     NOT_READ, NOT_WRITTEN, ids_of, offset_of)
from pane import Pane

PROGRAM = None
HOLDER = None  # the Windows helper that keeps a file open (hold_file.exe)
SAMPLE = harness.make_sample.sample()
SHOWN_1_2 = harness.shown(1, 2)
BOTH_SHOWN = BANNER + SHOWN_1_2[:-2]
AT_FIRST_PROMPT = BANNER + harness.shown(1)[:-2]
PROMPT = "Please enter new ID:"
# Long enough for a Wine start-up and the 2000 ms pause; a hang fails the row.
RUN_TIMEOUT = 30
TABLE = []


def message_of(out):
    """The last line printed, as the table shows it."""
    lines = [line for line in out.split(b"\r\n") if line]
    return lines[-1].decode("latin-1") if lines else "(nothing)"


def build():
    return "wine" if PROGRAM.wine_prefix else "native"


def record(row, message, code, file_result):
    TABLE.append((row, build(), message, str(code), file_result))


def words_held(data):
    """The IDs the target's bytes hold, as the table shows them."""
    return "words " + ", ".join(map(str, ids_of(data)))


class Faults(unittest.TestCase):
    def setUp(self):
        self.work = harness.WorkDir()

    def tearDown(self):
        self.work.remove()

    def run_on(self, args, stdin=b"10\n20\n", user=None):
        return PROGRAM.run(args, cwd=self.work.path, stdin=stdin, user=user, timeout=RUN_TIMEOUT)

    def run_in_shell(self, args, redirection, stdin=b"10\n20\n"):
        """Runs through sh so that a redirection such as 0<&- closes a stream."""
        line = f"{shlex.join(PROGRAM.command(args))} {redirection}"
        done = subprocess.run(["sh", "-c", line], input=stdin, stdout=subprocess.PIPE,
                              stderr=subprocess.DEVNULL, cwd=self.work.path, env=PROGRAM.env,
                              timeout=RUN_TIMEOUT, check=False)
        return done.returncode, done.stdout

    def assert_refused_write(self, row, target, **run):
        code, out = self.run_on(["RPG_RT.exe"], **run)
        record(row, message_of(out), code, "unchanged" if target.read_bytes() == SAMPLE else "CHANGED")
        self.assertEqual(code, 0)
        self.assertEqual(out, BANNER + SHOWN_1_2 + NOT_WRITTEN)
        self.assertEqual(target.read_bytes(), SAMPLE)

    def test_read_only_target_is_reported_and_left_alone(self):
        if not PROGRAM.wine_prefix:
            with self.subTest("read-only to the user"):
                target = self.work.file("RPG_RT.exe", SAMPLE)
                os.chmod(target, 0o444)
                # Root may write it: the run is then made by an unprivileged user.
                try:
                    self.assert_refused_write("read-only to the user", target,
                                              user=65534 if os.geteuid() == 0 else None)
                finally:
                    os.chmod(target, 0o644)  # so that an ordinary user can write the next row's
        with self.subTest("immutable"):
            target = self.work.file("RPG_RT.exe", SAMPLE)
            if subprocess.run(["chattr", "+i", str(target)], stderr=subprocess.DEVNULL).returncode:
                harness.missing_prerequisite(self, "needs root and a file system with the "
                                             "immutable flag")
            try:
                self.assert_refused_write("immutable (chattr +i)", target)
            finally:
                subprocess.run(["chattr", "-i", str(target)], check=True)

    @harness.left_out_where(lambda program: not program.wine_prefix or harness.wine_as_root(program),
                            "the read-only attribute is Windows' (natively the permission row "
                            "stands for it), and Wine run as root writes such a file anyway")
    def test_read_only_attribute_is_reported_and_left_alone(self):
        target = self.work.file("RPG_RT.exe", SAMPLE)
        subprocess.run(["wine", "cmd", "/c", "attrib +r RPG_RT.exe"], cwd=self.work.path,
                       env=PROGRAM.env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                       timeout=RUN_TIMEOUT, check=True)
        self.assert_refused_write("read-only attribute", target)

    @harness.only_for("wine", "POSIX has no share modes: another process's open does not refuse ours")
    def test_target_held_open_by_another_process(self):
        # Shared for reading it opens read-only; shared for nothing it is there
        # all the same, and cannot be read.
        for share, message in (("read", NOT_WRITTEN), ("none", NOT_READ)):
            with self.subTest(share=share):
                target = self.work.file("RPG_RT.exe", SAMPLE)
                holder = subprocess.Popen(["wine", HOLDER, "RPG_RT.exe", share], cwd=self.work.path,
                                          env=PROGRAM.env, stdin=subprocess.PIPE,
                                          stdout=subprocess.PIPE, stderr=subprocess.DEVNULL)
                self.addCleanup(harness.end_process, holder)
                try:
                    self.assertEqual(holder.stdout.readline().strip(), b"held")
                    code, out = self.run_on(["RPG_RT.exe"])
                finally:
                    holder.stdin.close()
                    holder.wait(timeout=RUN_TIMEOUT)
                    holder.stdout.close()
                record(f"held open, sharing {share}", message_of(out), code,
                       "unchanged" if target.read_bytes() == SAMPLE else "CHANGED")
                self.assertEqual(code, 0)
                self.assertTrue(out.endswith(message), out)
                self.assertEqual(target.read_bytes(), SAMPLE)

    def test_target_changed_while_a_prompt_waits(self):
        # On each file system: a run left alone says Done.; the same bytes
        # renamed over the target (from Linux: Windows refuses a rename over
        # a file held open), or the target moved away, while a prompt waits
        # is a change. On the root one also a runtime without the patch
        # copied over it, and one word rewritten in place by another program.
        first, second = AT_FIRST_PROMPT, BOTH_SHOWN
        everywhere = [("left alone", None, harness.with_words(SAMPLE, 10, 20), None),
                      ("same bytes renamed over it at a prompt", first, SAMPLE, "new.exe"),
                      ("moved away at a prompt", first, None, "moved.exe")]
        on_root = [("rewritten in place at a prompt", first, SAMPLE[:BLOCK_OFFSET], "RPG_RT.exe"),
                   ("event ID changed in place at the first prompt", first,
                    harness.with_words(SAMPLE, 1, 7), offset_of("event")),
                   ("item ID changed in place at the second prompt", second,
                    harness.with_words(SAMPLE, 7, 2), offset_of("item"))]
        for file_system in harness.FILE_SYSTEMS:
            for row, shown, data, how in everywhere + (on_root if file_system == "root" else []):
                with self.subTest(file_system=file_system, row=row):
                    work = harness.work_dir_on(self, file_system)
                    self.change_at_prompt(f"{row} ({file_system})", work, shown, data, how)

    def change_at_prompt(self, row, work, shown, data, how):
        """Runs on a target in `work`; once `shown` is printed, changes the
        target as `how` says (bytes at an offset, a file of `data` renamed
        over it, or the target moved to that name), then types the rest. The
        run must end "changed", the file as the change left it; with nothing
        shown to wait for it must end "Done.", with `data`."""
        target = work.file("RPG_RT.exe", SAMPLE)
        program = subprocess.Popen(PROGRAM.command([target.name]), cwd=work.path,
                                   env=PROGRAM.env, stdin=subprocess.PIPE,
                                   stdout=subprocess.PIPE, stderr=subprocess.DEVNULL)
        self.addCleanup(harness.end_process, program)
        # A tool that never shows the prompt is ended, and the row fails.
        timer = threading.Timer(RUN_TIMEOUT, program.kill)
        timer.start()
        self.addCleanup(timer.cancel)
        typed, out = b"10\n20\n", b""
        if shown is not None:
            out = program.stdout.read(len(AT_FIRST_PROMPT))
            if shown == BOTH_SHOWN:
                program.stdin.write(typed[:3])
                program.stdin.flush()
                typed = typed[3:]
                out += program.stdout.read(len(shown) - len(out))
            if isinstance(how, int):
                with open(target, "r+b") as f:
                    f.seek(how)
                    f.write(data[how:how + 4])
            elif data is None:
                os.rename(target, work.path / how)
            else:
                os.replace(work.file(how, data), target)
        out += program.communicate(typed, timeout=RUN_TIMEOUT)[0]
        if data is None:  # moved away: the moved file as it was, nothing at the name
            left = (work.path / how).read_bytes() == SAMPLE and not target.exists()
            record(row, message_of(out), program.returncode,
                   "moved file untouched" if left else "WRITTEN")
            self.assertTrue(left)
        else:
            after = target.read_bytes()
            record(row, message_of(out), program.returncode,
                   words_held(after) if shown is None
                   else "as changed" if after == data else "WRITTEN")
            self.assertEqual(after, data)
        expected = BANNER + SHOWN_1_2 + DONE if shown is None else shown + b"\r\n" + CHANGED
        self.assertEqual((program.returncode, out), (0, expected))

    def run_pair(self, pair, events):
        """Two runs on one file keep the item ID, then both get their event IDs
        at once; their outputs and the file's bytes after."""
        target = self.work.file(f"RPG_RT{pair}.exe", SAMPLE)
        runs = []
        for _ in events:  # in one process group, so that one signal stops or continues both
            runs.append(subprocess.Popen(PROGRAM.command([target.name]), cwd=self.work.path,
                                         env=PROGRAM.env, stdin=subprocess.PIPE,
                                         stdout=subprocess.PIPE, stderr=subprocess.DEVNULL,
                                         bufsize=0, process_group=runs[0].pid if runs else 0))
        try:
            for run in runs:
                run.stdin.write(b"1\n")
            outs = [read_until(run, b"", (BOTH_SHOWN,)) for run in runs]
            if outs == [BOTH_SHOWN] * len(runs):
                os.killpg(runs[0].pid, signal.SIGSTOP)
                for run, event in zip(runs, events):
                    run.stdin.write(b"%d\n" % event)
                os.killpg(runs[0].pid, signal.SIGCONT)
                outs = [read_until(run, out, (DONE, CHANGED, NOT_WRITTEN, NOT_READ))
                        for run, out in zip(runs, outs)]
        finally:  # the closing pauses are of no interest here
            for run in runs:
                run.kill()
                run.communicate()
        return outs, target.read_bytes()

    def test_two_runs_on_one_file_never_both_say_done(self):
        # Two windows opened on one file by mistake: the first run to write
        # keeps its words, the other sees them and writes nothing.
        events = (20, 40)
        pairs = 16 if PROGRAM.wine_prefix else 40
        with concurrent.futures.ThreadPoolExecutor(2) as pool:
            results = list(pool.map(lambda pair: self.run_pair(pair, events), range(pairs)))
        outcomes = collections.Counter(" + ".join(message_of(out) for out in outs)
                                       for outs, _ in results)
        for outcome, count in sorted(outcomes.items()):
            record(f"two runs on one file ({count} of {pairs} pairs)", outcome, "-", "")
        for outs, data in results:
            self.assertLessEqual(sum(out.endswith(DONE) for out in outs), 1, outs)
            for event, out in zip(events, outs):
                if out.endswith(DONE):
                    self.assertEqual(data, harness.with_words(SAMPLE, 1, event))
                else:
                    self.assertEqual(out, BOTH_SHOWN + b"\r\n" + CHANGED)

    def test_paths_that_name_no_usable_file(self):
        (self.work.path / "folder").mkdir()
        os.mkfifo(self.work.path / "pipe")
        self.work.file("RPG_RT.exe", SAMPLE)
        # Wine opens a FIFO or a device like a file: no marker in a device, and
        # the read of a FIFO without a writer fails.
        special = INVALID if PROGRAM.wine_prefix else NOT_FOUND
        rows = [("directory", ["folder"], NOT_FOUND, None),
                ("FIFO without a writer", ["pipe"], NOT_READ if PROGRAM.wine_prefix else NOT_FOUND,
                 None),
                ("/dev/null", ["/dev/null"], special, None),
                ("/dev/zero", ["/dev/zero"], special, None),
                ("empty path", [""], NO_FILE, None),
                ("two paths dropped", ["RPG_RT.exe", "RPG_RT.exe"], NOT_FOUND, None),
                ("wildcard matching none", ["NONE_*.exe"], NOT_FOUND, None)]
        # A file there that may not be read (Wine, run as root here, reads any).
        if not PROGRAM.wine_prefix:
            os.chmod(self.work.file("secret.exe", SAMPLE), 0o200)
            rows.append(("file without read permission", ["secret.exe"], NOT_READ,
                         65534 if os.geteuid() == 0 else None))
        for row, args, message, user in rows:
            with self.subTest(row):
                code, out = self.run_on(args, user=user)
                unchanged = (self.work.path / "RPG_RT.exe").read_bytes() == SAMPLE
                record(row, message_of(out), code, "unchanged" if unchanged else "CHANGED")
                self.assertEqual(code, 0)
                self.assertEqual(out, BANNER + message)
                self.assertTrue(unchanged)

    def test_paths_with_blanks_and_wildcards_reach_the_file(self):
        # Over 260 characters in all: folders of 100 characters (a folder name
        # holds at most 255 bytes on Linux) under the work directory.
        deep = "/".join(("ロングパス" + "d" * 95, "長い" + "e" * 98, "f" * 100))
        rows = [("path with blanks", "my game/RPG RT.exe", None),
                ("Japanese folder with a blank", "ロールプレイング ゲーム/RPG_RT.exe", None),
                ("Cyrillic folder", "Сказка/RPG_RT.exe", None),
                ("Greek folder", "Παιχνίδι/RPG_RT.exe", None),
                ("emoji folder (outside the BMP)", "🐉 mods/RPG_RT.exe", None),
                ("path of %d characters" % len(deep + "/RPG_RT.exe"), deep + "/RPG_RT.exe", None)]
        # Windows expands wildcards itself; a POSIX shell has done so already,
        # and there '?', '*' and '[' may stand in a file's own name.
        if PROGRAM.wine_prefix:  # through drive Z:, Wine's view of the whole file system
            full = "Z:" + str(self.work.path) + "/long-path prefix/RPG_RT.exe"
            rows += [("long-path prefix, then '/'", "long-path prefix/RPG_RT.exe", "\\\\?\\" + full),
                     ("wildcard matching one", "RPG_RT.exe", "RPG_*.exe"),
                     ("wildcard in a Japanese folder", "ロールプレイング/ゲーム_RT.exe",
                      "ロールプレイング/ゲーム_*.exe")]
            bystander = self.work.file("other.exe", SAMPLE)
        else:  # beside a file that the name, taken as a pattern, would match
            rows += [("'?' in the name, beside a match", "rpg_rt?.exe", None),
                     ("'[1]' in the name, beside a match", "rpg_rt[1].exe", None)]
            bystander = self.work.file("rpg_rt1.exe", SAMPLE)
        for row, name, arg in rows:
            with self.subTest(row):
                (self.work.path / name).parent.mkdir(parents=True, exist_ok=True)
                target = self.work.file(name, SAMPLE)
                code, out = self.run_on([arg or name])
                record(row, message_of(out), code, words_held(target.read_bytes()))
                self.assertEqual(code, 0)
                self.assertEqual(out, BANNER + SHOWN_1_2 + DONE)
                self.assertEqual(target.read_bytes(), harness.with_words(SAMPLE, 10, 20))
                self.assertEqual(bystander.read_bytes(), SAMPLE)
                target.unlink()

    def test_files_cut_around_the_block(self):
        # An item word 0x44332211 shows which of its bytes were there.
        whole = harness.with_words(SAMPLE, 0x44332211, 2)
        rows = [  # row, length kept, message, IDs shown
            ("cut before the marker", BLOCK_OFFSET, INVALID, None),
            ("cut inside the marker after C3 00", BLOCK_OFFSET + 2, DONE, (0, 0)),
            ("cut inside the item word", offset_of("item") + 2, DONE, (0x2211, 0)),
            ("cut right after the block", BLOCK_END, DONE, (0x44332211, 2)),
        ]
        for row, length, message, shown in rows:
            with self.subTest(row):
                cut = whole[:length]
                target = self.work.file("RPG_RT.exe", cut)
                code, out = self.run_on(["RPG_RT.exe"])
                data = target.read_bytes()
                result = "unchanged" if data == cut else words_held(data)
                record(row, message_of(out), code, f"{len(cut)} -> {len(data)} bytes, {result}")
                self.assertEqual(code, 0)
                self.assertTrue(out.endswith(message), out)
                if shown is None:
                    self.assertEqual(data, cut)
                    continue
                self.assertIn(harness.shown(*shown), out)
                # Bytes that were there stay; the gap reads as zeros; the words land.
                padded = cut + bytes(BLOCK_END - length)
                marker = int.from_bytes(padded[BLOCK_OFFSET:offset_of("item")], "little")
                self.assertEqual(data, harness.with_words(padded, 10, 20, marker=marker))

    def test_file_larger_than_4_gib(self):
        path = self.work.path / "RPG_RT.exe"
        size = (4 << 30) + (1 << 20)
        tail = SAMPLE[:1 << 20]
        with open(path, "wb") as f:
            f.write(SAMPLE)
            f.truncate(size)
            f.seek(size - len(tail))
            f.write(tail)
        code, out = self.run_on(["RPG_RT.exe"])
        with open(path, "rb") as f:
            head = f.read(len(SAMPLE))
            f.seek(size - len(tail))
            end = f.read()
        record("file of 4 GiB + 1 MiB (sparse)", message_of(out), code,
               "words 10, 20; size kept" if os.path.getsize(path) == size else "SIZE CHANGED")
        self.assertEqual(code, 0)
        self.assertEqual(out, BANNER + SHOWN_1_2 + DONE)
        self.assertEqual(os.path.getsize(path), size)
        self.assertEqual(head, harness.with_words(SAMPLE, 10, 20))
        self.assertEqual(end, tail)

    def test_standard_input_closed_at_its_end_or_an_ids_file(self):
        # Closed or empty input writes zeros; an ids file as Windows tools
        # save it (Notepad's "UTF-8 with BOM" and "Unicode", PowerShell's
        # Out-File) gives the IDs it holds. The target holds items everywhere
        # but in the block: a target opened in the closed input's place would
        # feed its own bytes as the IDs.
        digits = harness.with_words(b"5,6\n" * (len(SAMPLE) // 4), 1, 2)
        ids = "10\r\n20\r\n"
        self.work.file("utf-8 with mark.txt", b"\xef\xbb\xbf" + ids.encode())
        self.work.file("utf-16.txt", ids.encode("utf-16"))
        self.work.file("utf-16 big-endian.txt", b"\xfe\xff" + ids.encode("utf-16-be"))
        for row, redirection, words in (
                ("standard input closed (0<&-)", "0<&-", (0, 0)),
                ("standard input /dev/null", "</dev/null", (0, 0)),
                ("standard input at its end", "", (0, 0)),
                ("ids file in UTF-8 with a mark", "<'utf-8 with mark.txt'", (10, 20)),
                ("ids file in UTF-16", "<utf-16.txt", (10, 20)),
                ("ids file in UTF-16, big-endian", "<'utf-16 big-endian.txt'", (10, 20))):
            with self.subTest(row):
                target = self.work.file("RPG_RT.exe", digits)
                code, out = self.run_in_shell(["RPG_RT.exe"], redirection, b"")
                record(row, message_of(out), code, words_held(target.read_bytes()))
                self.assertEqual(code, 0)
                self.assertEqual(out, BANNER + SHOWN_1_2 + DONE)
                self.assertEqual(target.read_bytes(), harness.with_words(digits, *words))

    def test_standard_output_closed_still_writes_the_words(self):
        target = self.work.file("RPG_RT.exe", SAMPLE)
        code, out = self.run_in_shell(["RPG_RT.exe"], "1>&-")
        data = target.read_bytes()
        record("standard output closed (1>&-)", "(none)", code,
               words_held(data) if len(data) == len(SAMPLE) else "CHANGED")
        self.assertEqual(code, 0)
        self.assertEqual(out, b"")
        self.assertEqual(data, harness.with_words(SAMPLE, 10, 20))
        # A pipe whose reader has gone (a pager quit early): every console
        # write fails, and the run still goes on to the end.
        target = self.work.file("RPG_RT.exe", SAMPLE)
        reading, writing = os.pipe()
        os.close(reading)
        try:
            code = subprocess.run(PROGRAM.command(["RPG_RT.exe"]), input=b"10\n20\n", stdout=writing,
                                  stderr=subprocess.DEVNULL, cwd=self.work.path, env=PROGRAM.env,
                                  timeout=RUN_TIMEOUT, check=False).returncode
        finally:
            os.close(writing)
        data = target.read_bytes()
        record("standard output a pipe without reader", "(none)", code, words_held(data))
        self.assertEqual(code, 0)
        self.assertEqual(data, harness.with_words(SAMPLE, 10, 20))


# Runs a command and writes how it ended, from its wait status ("signal N" or
# "exit N"), to the file argv[1], its process ID to argv[1].pid, and the
# terminal's settings before and after it to argv[1].before and .after; then
# the time it ended, on the clock of time.monotonic, to argv[1].ended. The
# keys' signals reach the whole foreground group: caught here, they are
# default again in the command after exec. Under Wine the server, not the
# program, gives the terminal back, which can come just after the exit: the
# settings are read again for up to 5 s while they differ.
WAIT_STATUS = """
import os, resource, signal, subprocess, sys, time
def settings():
    return subprocess.run(["stty", "-g"], stdout=subprocess.PIPE).stdout
for s in (signal.SIGINT, signal.SIGQUIT):
    signal.signal(s, lambda *_: None)
before = settings()
open(sys.argv[1] + ".before", "wb").write(before)
pid = os.fork()
if pid == 0:
    resource.setrlimit(resource.RLIMIT_CORE, (0, 0))
    os.execvp(sys.argv[2], sys.argv[2:])
open(sys.argv[1] + ".pid", "w").write(str(pid))
status = os.waitpid(pid, 0)[1]
open(sys.argv[1] + ".ended", "w").write(repr(time.monotonic()))
ended = ("signal %d" % os.WTERMSIG(status) if os.WIFSIGNALED(status)
         else "exit %d" % os.WEXITSTATUS(status))
for _ in range(50):
    after = settings()
    if after == before:
        break
    time.sleep(0.1)
open(sys.argv[1] + ".after", "wb").write(after)
open(sys.argv[1], "w").write(ended)
"""


class CtrlC(unittest.TestCase):
    """Ctrl+C, Ctrl+\\ and the ending signals in a real console: at each
    prompt and in the closing pause; by the wait status the parent sees."""

    def setUp(self):
        harness.needs_tool(self, "tmux")
        self.work = harness.WorkDir()
        self.addCleanup(self.work.remove)
        self.panes = []
        # Closed when the test ends, whichever row failed before.
        self.addCleanup(lambda: [pane.close() for pane in self.panes])

    def start(self, command):
        """Starts the command under WAIT_STATUS in a pane; a prompt that does
        not appear fails the row."""
        status = self.work.path / "status"
        status.unlink(missing_ok=True)
        pane = Pane([sys.executable, "-c", WAIT_STATUS, str(status), *command], self.work.path,
                    PROGRAM.env)
        self.panes.append(pane)
        pane.wait_for(PROMPT, timeout=10)
        time.sleep(0.5)
        return pane, status

    def enter(self, pane, text, then):
        pane.send_literal(text)
        pane.send("Enter")
        pane.wait_for(then)
        time.sleep(0.3)

    def test_ctrl_c_ends_the_run_where_it_stands(self):
        second = ("10", "Current event pointer variable ID is 2. " + PROMPT)
        # Natively the program dies by the signal, as a shell expects of it;
        # under Wine the default action is Windows' (exit 0).
        rows = [("Ctrl+C at the first prompt", [], "C-c", 2, (1, 2)),
                ("Ctrl+C at the second prompt", [second], "C-c", 2, None),
                ("Ctrl+C in the pause after Done.", [second, ("20", "Done.")], "C-c", 2, (10, 20)),
                ("Ctrl+\\ at the first prompt", [], "C-\\", 3, (1, 2)),
                ("SIGHUP at the first prompt", [], signal.SIGHUP, 1, (1, 2)),
                ("SIGTERM at the first prompt", [], signal.SIGTERM, 15, (1, 2))]
        for row, typed, key, signal_number, ids in rows:
            if PROGRAM.wine_prefix and not isinstance(key, str):
                continue  # a signal to Wine's loader is no console event
            with self.subTest(row):
                target = self.work.file("RPG_RT.exe", SAMPLE)
                pane, status = self.start(PROGRAM.command([target.name]))
                for text, then in typed:
                    self.enter(pane, text, then)
                sent = time.monotonic()
                if isinstance(key, str):
                    pane.send(key)
                else:
                    os.kill(int(status.with_suffix(".pid").read_text()), key)
                pane.exit_code(timeout=15)
                took = float(status.with_suffix(".ended").read_text()) - sent
                ended = status.read_text()
                data = target.read_bytes()
                record(row, pane.screen().split("\n")[-1].strip() or "(prompt)",
                       ended.removeprefix("exit "),
                       words_held(data))
                # The terminal as the run found it: its settings, and a
                # cursor that shows (tmux may still be reading the last bytes).
                before = status.with_suffix(".before").read_bytes()
                self.assertTrue(before.strip())
                self.assertEqual(status.with_suffix(".after").read_bytes(), before)
                pane.wait_until(pane.cursor_shown, "the cursor showing after the run", timeout=5)
                pane.close()
                # At once, not after the 2 s pause or a key wait; Wine's
                # process teardown under a loaded machine takes part of it.
                self.assertLess(took, 1.5)
                self.assertEqual(ended, "exit 0" if PROGRAM.wine_prefix else f"signal {signal_number}")
                self.assertEqual(len(data), len(SAMPLE))
                if ids is not None:
                    self.assertEqual(data, harness.with_words(SAMPLE, *ids))
                else:  # the item word may or may not have reached the file
                    self.assertIn(ids_of(data), ((1, 2), (10, 2)))
                    self.assertEqual(data[:offset_of("item")], SAMPLE[:offset_of("item")])
                    self.assertEqual(data[offset_of("event"):], SAMPLE[offset_of("event"):])

    @harness.only_for("native", "a signal to Wine's loader is no console event")
    def test_ending_signals_ignored_at_start_stay_ignored(self):
        # As under nohup, or in a background job of a shell script.
        target = self.work.file("RPG_RT.exe", SAMPLE)
        ignoring = "trap '' INT QUIT HUP TERM; exec \"$0\" \"$@\""
        pane, status = self.start(["bash", "-c", ignoring, *PROGRAM.command([target.name])])
        pid = int(status.with_suffix(".pid").read_text())
        for signal_number in (signal.SIGINT, signal.SIGQUIT, signal.SIGHUP, signal.SIGTERM):
            os.kill(pid, signal_number)
        time.sleep(0.5)
        self.assertFalse(status.exists())
        self.enter(pane, "10", "Current event pointer variable ID is 2. " + PROMPT)
        self.enter(pane, "20", "Done.")
        pane.exit_code(timeout=10)
        self.assertEqual(status.read_text(), "exit 0")
        self.assertEqual(target.read_bytes(), harness.with_words(SAMPLE, 10, 20))

    @harness.only_for("native", "Wine's Ctrl+C ends the program with exit code 0: a loop goes on")
    def test_ctrl_c_stops_a_shell_loop(self):
        first = self.work.file("a", SAMPLE)
        second = self.work.file("b", SAMPLE)
        loop = 'for f in a b; do "$@" "$f"; done'
        pane, status = self.start(["bash", "-c", loop, "loop", *PROGRAM.command([])])
        pane.send("C-c")
        # Going on, the loop would wait at the second file's prompt.
        pane.exit_code(timeout=10)
        record("Ctrl+C in a shell loop", "(prompt)", status.read_text().removeprefix("exit "),
               "loop ended")
        self.assertEqual(status.read_text(), "signal 2")
        self.assertEqual((first.read_bytes(), second.read_bytes()), (SAMPLE, SAMPLE))


def read_until(run, out, ends):
    """`out` and what the run prints after it, until that ends with one of
    `ends`, the run closes its output, or RUN_TIMEOUT passes."""
    deadline = time.monotonic() + RUN_TIMEOUT
    while not out.endswith(ends) and select.select([run.stdout], [], [],
                                                   max(0, deadline - time.monotonic()))[0]:
        chunk = run.stdout.read(4096)
        if not chunk:
            break
        out += chunk
    return out


def unprinted_messages():
    """A problem when a message of docs/messages.tsv ends no row of the
    table: a text the code lists but no run was seen to print."""
    printed = " | ".join(row[2] for row in TABLE)
    unprinted = [message.decode().strip() for message in harness.MESSAGES
                 if message.decode().strip() not in printed]
    return f"printed by no row: {'; '.join(unprinted)}" if unprinted else None


def tearDownModule():
    if not TABLE:
        return
    width = max(len(row[0]) for row in TABLE)
    sys.stderr.write("\nfault table (%s):\n" % build())
    for row, which, message, code, result in TABLE:
        ended = code if code.startswith("signal") else f"exit {code}"
        sys.stderr.write(f"  {row:<{width}} | {which:<6} | {message} | {ended} | {result}\n")


if __name__ == "__main__":
    PROGRAM, rest = harness.program_from_argv(sys.argv[1:])
    if "--holder" in rest:
        at = rest.index("--holder")
        HOLDER = rest[at + 1]
        del rest[at:at + 2]
    harness.run_tests(PROGRAM, [sys.argv[0], *rest], whole=unprinted_messages)
