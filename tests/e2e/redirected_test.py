"""End-to-end runs with standard input and output redirected: the exact bytes
printed, the exit code, and the target's bytes before and after."""
import os
import re
import sys
import time
import unittest
from concurrent.futures import ThreadPoolExecutor

import harness
from harness import (BANNER, BLOCK_END, BLOCK_OFFSET, INVALID, NO_FILE, NOT_FOUND, NOT_WRITTEN,
                     ids_of, shown)

PROGRAM = None
SAMPLE = harness.make_sample.sample()


class Redirected(unittest.TestCase):
    def setUp(self):
        self.work = harness.WorkDir()

    def tearDown(self):
        self.work.remove()

    def run_on(self, args, stdin=b"", user=None):
        started = time.monotonic()
        done = PROGRAM.run(args, cwd=self.work.path, stdin=stdin, user=user)
        self.took = time.monotonic() - started
        return done

    def assert_paused(self):
        # Every end of a run pauses two seconds, with nothing to cut it short.
        self.assertGreaterEqual(self.took, 2.0)

    def test_success_replaces_both_words_and_nothing_else(self):
        target = self.work.file("RPG_RT.exe", SAMPLE)
        code, out = self.run_on(["RPG_RT.exe"], b"10\n20\n")
        self.assertEqual(code, 0)
        self.assertEqual(out, BANNER + shown(1, 2) + b"Done.\r\n")
        self.assert_paused()
        self.assertEqual(target.read_bytes(), harness.with_words(SAMPLE, 10, 20))

    def test_failures_print_their_message_and_leave_the_file(self):
        wrong_marker = harness.with_words(SAMPLE, marker=0x010000C3)
        cases = {
            "no argument": ([], None, NO_FILE),
            "missing file": (["absent.exe"], None, NOT_FOUND),
            "directory": (["folder"], None, NOT_FOUND),
            "wrong marker": (["RPG_RT.exe"], wrong_marker, INVALID),
            "ending before the marker": (["RPG_RT.exe"], SAMPLE[:BLOCK_OFFSET], INVALID),
            "empty file": (["RPG_RT.exe"], b"", INVALID),
            "two files dropped": (["RPG_RT.exe", "RPG_RT.exe"], SAMPLE, NOT_FOUND),
        }
        (self.work.path / "folder").mkdir()
        for name, (args, data, message) in cases.items():
            with self.subTest(name):
                target = self.work.file("RPG_RT.exe", data) if data is not None else None
                code, out = self.run_on(args, b"10\n20\n")
                self.assertEqual(code, 0)
                self.assertEqual(out, BANNER + message)
                self.assert_paused()
                if target is not None:
                    self.assertEqual(target.read_bytes(), data)

    def test_file_ending_right_after_the_marker_byte_grows_to_hold_both_words(self):
        target = self.work.file("RPG_RT.exe", SAMPLE[:BLOCK_OFFSET] + b"\xC3")
        code, out = self.run_on(["RPG_RT.exe"], b"7\n4294967295\n")
        self.assertEqual(code, 0)
        self.assertEqual(out, BANNER + shown(0, 0) + b"Done.\r\n")
        data = target.read_bytes()
        self.assertEqual(len(data), BLOCK_END)
        self.assertEqual(data, harness.with_words(SAMPLE[:BLOCK_END], 7, 4294967295))

    def test_largest_id_is_shown_unsigned_and_empty_input_writes_zero(self):
        target = self.work.file("RPG_RT.exe", harness.with_words(SAMPLE, 0xFFFFFFFF, 0))
        code, out = self.run_on(["RPG_RT.exe"], b"")
        self.assertEqual(code, 0)
        self.assertIn(b"Current item pointer variable ID is 4294967295. ", out)
        self.assertEqual(target.read_bytes(), harness.with_words(SAMPLE, 0, 0))

    def test_path_with_blanks_and_wildcard_reach_the_file(self):
        # Windows expands the wildcard; on POSIX the shell has done that, and
        # the name is taken as it comes, wildcard characters and all.
        wild = "wild_target.bin" if PROGRAM.wine_prefix else "wild_*.b?n"
        for name, arg in (("my game RPG_RT.exe", "my game RPG_RT.exe"), (wild, "wild_*.b?n")):
            with self.subTest(arg):
                target = self.work.file(name, SAMPLE)
                code, out = self.run_on([arg], b"3\n4\n")
                self.assertEqual(code, 0)
                self.assertTrue(out.endswith(b"Done.\r\n"), out)
                self.assertEqual(ids_of(target.read_bytes()), (3, 4))

    def test_help_and_version_alone_answer_unless_a_file_has_the_name(self):
        version = re.search(r"project\(veltrane VERSION (\d+\.\d+\.\d+)",
                            (harness.TOP / "CMakeLists.txt").read_text()).group(1)
        rows = [line.split("\t") for line in
                (harness.TOP / "docs" / "messages.tsv").read_text().split("\n")]

        def listed(kind, end):  # a usage or version text, whole, as it is printed
            lines = [row[1].replace("{version}", version) for row in rows if row[0] == kind]
            return (end.join(lines) + end).encode()

        # Arguments -> all that is printed: the usage and the version end the
        # run at once, without the banner.
        if PROGRAM.wine_prefix:
            answers = {("/?",): listed("windows-usage", "\r\n"),
                       ("--help",): BANNER + NOT_FOUND, ("/?", "/?"): BANNER + NOT_FOUND}
        else:
            answers = {("--help",): listed("usage", "\n"), ("-h",): listed("usage", "\n"),
                       ("--version",): listed("version", "\n"),
                       ("/?",): BANNER + NOT_FOUND, ("--help", "-h"): BANNER + NOT_FOUND}
        for args, expected in answers.items():
            with self.subTest(args=args):
                self.assertEqual(self.run_on(list(args), b"10\n20\n"), (0, expected))
        if not PROGRAM.wine_prefix:  # no file can be named "/?" on Windows
            with self.subTest("a file named --help"):
                target = self.work.file("--help", SAMPLE)
                code, out = self.run_on(["--help"], b"10\n20\n")
                self.assertEqual((code, out[:len(BANNER)]), (0, BANNER))
                self.assertEqual(target.read_bytes(), harness.with_words(SAMPLE, 10, 20))

    @harness.left_out_where(harness.wine_as_root, "Wine run as root writes a read-only file; "
                            "the fault table's immutable row stands for it")
    def test_read_only_target_is_reported_not_written(self):
        target = self.work.file("RPG_RT.exe", SAMPLE)
        os.chmod(target, 0o444)
        # Root may write it: natively the run is then made by an unprivileged user.
        code, out = self.run_on(["RPG_RT.exe"], b"10\n20\n",
                                user=65534 if os.geteuid() == 0 else None)
        self.assertEqual(code, 0)
        self.assertEqual(out, BANNER + shown(1, 2) + NOT_WRITTEN)
        self.assertEqual(target.read_bytes(), SAMPLE)


# Typed line -> item ID stored (the first item of the line).
WORKED_VALUES = [
    (b"", 0), (b"abc", 0), (b"12abc", 12), (b"+7", 7), (b"007", 7), (b"0x1F", 0),
    (b"-1", 4294967295), (b"4294967295", 4294967295), (b"4294967296", 4294967295),
    (b"&HFF", 255), (b"&hff", 255), (b"&O17", 15), (b"&B101", 5), (b"&H", 0),
    (b"&H100000000", 4294967295), (b"&X5", 0), (b"1.5", 2), (b"2.5", 2), (b"12.7", 13),
    (b"-0.5", 0), (b"-1.5", 4294967294), (b"1e3", 1000), (b"1D3", 1000), (b"12e", 12),
    (b"1e10", 1410065408), (b"4294967296.0", 0), (b"1e19", 0), (b" 7 , 8", 7),
    (b"7,8", 7), (b"7 8", 7), (b"1,5", 1), (b",5", 0), (b'"5"', 5), (b'"1,5"', 1),
    (b'"1.5"', 2), (b"  42  ", 42), (b"2D2", 200), (b"&HD", 13),
]
# And every example the guides give, as they state it, not tried above.
with open(os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "docs",
                       "number-examples.tsv"), encoding="utf-8") as examples:
    GUIDE_VALUES = {typed.encode(): int(stored) for typed, stored in
                    (line.rstrip("\n").split("\t") for line in examples if line[0] != "#")}
WORKED_VALUES += [row for row in GUIDE_VALUES.items() if row[0] not in dict(WORKED_VALUES)]


class WorkedValues(unittest.TestCase):
    def run_value(self, line, env=None):
        work = harness.WorkDir()
        try:
            target = work.file("RPG_RT.exe", SAMPLE)
            code, _ = PROGRAM.run(["RPG_RT.exe"], cwd=work.path, stdin=line + b"\n", env=env)
            return code, ids_of(target.read_bytes())
        finally:
            work.remove()

    def test_typed_lines_store_their_values(self):
        with ThreadPoolExecutor(max_workers=6) as pool:
            results = list(pool.map(lambda row: self.run_value(row[0]), WORKED_VALUES))
        for (line, expected), (code, (item, _)) in zip(WORKED_VALUES, results):
            with self.subTest(line=line):
                self.assertEqual(code, 0)
                self.assertEqual(item, expected)

    def test_two_items_on_one_piped_line_feed_both_ids(self):
        # Also ids saved as text editors save them: with a UTF-8 mark, as
        # UTF-16 with its mark in either byte order, as UTF-8 without one,
        # and on a Japanese system (under Wine: code page 932) also in that
        # code page; full-width digits and signs, and the input method's own
        # minus, period and comma (and the minus sign converters paste), read
        # as their ASCII forms in each. A malformed sequence after a mark, or
        # a lead byte of the code page, is one '?' and keeps the line end
        # after it.
        full_width = "１５\r\n１６"
        punctuation = "ー１。５、−３"
        rows = [(b"7,8", (7, 8)), (b",5", (0, 5)), (b"1 2", (1, 2)),
                (b"\xef\xbb\xbf10\r\n20", (10, 20)), (b"\xef\xbb\xbf1\xe3\n2", (1, 2)),
                (b"\xff\xfe" + "10\r\n20\r".encode("utf-16-le"), (10, 20)),
                (b"\xfe\xff" + "10,20\r".encode("utf-16-be"), (10, 20)),
                (full_width.encode(), (15, 16)),
                (b"\xef\xbb\xbf" + "１０，２０".encode(), (10, 20)),
                (b"\xff\xfe" + full_width.encode("utf-16-le"), (15, 16)),
                (b"\xfe\xff" + "＆Ｈ１Ａ　２０".encode("utf-16-be"), (26, 20))]
        rows += [(mark + punctuation.encode(encoding), (4294967294, 4294967293)) for mark, encoding in
                 ((b"", "utf-8"), (b"\xef\xbb\xbf", "utf-8"), (b"\xff\xfe", "utf-16-le"),
                  (b"\xfe\xff", "utf-16-be"))]
        systems = [(None, rows)]
        if PROGRAM.wine_prefix:
            systems.append(("ja_JP.UTF-8", rows[7:] + [
                (full_width.encode("cp932"), (15, 16)),
                (punctuation.encode("cp932"), (4294967294, 4294967293)),
                ("１２".encode("cp932") + b"\x82\n" + "３４".encode("cp932"), (12, 34))]))
        for locale, lines in systems:
            env = dict(PROGRAM.env, **harness.locale_env(self, locale)) if locale else None
            for line, ids in lines:
                with self.subTest(line=line, locale=locale):
                    self.assertEqual(self.run_value(line, env)[1], ids)


if __name__ == "__main__":
    PROGRAM, rest = harness.program_from_argv(sys.argv[1:])
    harness.run_tests(PROGRAM, [sys.argv[0], *rest])
