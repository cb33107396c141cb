"""End-to-end runs on a real console in a tmux pane: what the screen shows,
how keys edit the typed IDs, how long the pause lasts, and the file's bytes."""
import subprocess
import sys
import time
import unittest
from pathlib import Path

import harness
from harness import BLOCK_END, LABELS, ids_of, offset_of
from pane import Pane

PROGRAM = None
SAMPLE = harness.make_sample.sample()
BANNER_LINES = ["Veltrane", "Sets the item and event pointer variable IDs of an rpg_rt file.", ""]
PROMPT = "Please enter new ID: "
# The screen as captured has no trailing blanks: what a line ending in the
# prompt shows.
PROMPT_SHOWN = PROMPT.rstrip()
# The first two IDs' labels: the dialogues below show two IDs.
ITEM, EVENT = LABELS[:2]
# Keys as the terminal sends them; Wine reads Home and End only in this form.
HOME = "\x1b[H"
END = "\x1b[F"


def home_end_keys():
    """Home and End as tmux sends them (ESC[1~, ESC[4~), except under Wine,
    which reads only the ESC[H and ESC[F forms."""
    if PROGRAM.wine_prefix:
        return "=" + HOME, "=" + END
    return "Home", "End"


def ctrl_exit_code(key):
    """The exit code after an unhandled Ctrl+C or Ctrl+Break: Wine's shell
    sees 0; natively the program dies by the signal and the shell shows 128 +
    its number."""
    if PROGRAM.wine_prefix:
        return 0
    return {"C-c": 130, "C-\\": 131}[key]


# The terminal's settings after the run, as the pane's shell reads them.
# Under Wine the server, not the program, puts the terminal back, and it does
# so when it sees the console close, which can come just after the shell has
# the exit status; the shell reads again for up to 5 s while they differ.
SETTINGS_AFTER = ('for i in $(seq 50); do stty -g > after; cmp -s before after && break; '
                  'sleep 0.1; done')


class Console(unittest.TestCase):
    def setUp(self):
        harness.needs_tool(self, "tmux")
        self.work = harness.WorkDir()
        self.panes = []

    def tearDown(self):
        try:
            for pane in self.panes:
                pane.close()
        finally:
            self.work.remove()

    def start(self, args, stdin_file=None, shell_lines=0, ahead="", env=None):
        """The program in a pane of its own (in `env` if given), below
        `shell_lines` lines a shell printed first; `ahead` is typed before it
        starts (its shell waits until the keys are in the terminal's input)."""
        command = PROGRAM.command(args)
        typed = self.work.path / "typed"
        typed.unlink(missing_ok=True)
        script = f'for i in $(seq {shell_lines}); do echo "shell line $i"; done; '
        if ahead:
            script += "until [ -e typed ]; do sleep 0.05; done; "
        if shell_lines or ahead:
            command = ["bash", "-c", script + 'exec "$0" "$@"', *command]
        pane = Pane(command, self.work.path, env or PROGRAM.env, stdin_file=stdin_file)
        self.panes.append(pane)
        if ahead:
            self.type_line(pane, "=" + ahead)
            typed.touch()
        return pane

    def type_line(self, pane, *keys):
        """Sends keys as named tmux keys, or literal text when prefixed by '='."""
        for key in keys:
            if key.startswith("="):
                pane.send_literal(key[1:])
            else:
                pane.send(key)
            time.sleep(0.05)

    def test_piped_input_shows_both_ids_on_one_line_and_pauses_full_length(self):
        # Natively also started below shell lines (on the terminal's second
        # row, and lower down), and with the terminal made shorter during the
        # pause, which pushes rows into its history: the console is drawn
        # again right below the shell lines, where the terminal's cursor says.
        rows = [(0, 25)] if PROGRAM.wine_prefix else [(0, 25), (1, 25), (6, 10)]
        for shell_lines, height in rows:
            with self.subTest(shell_lines=shell_lines, height=height):
                target = self.work.file("RPG_RT.exe", SAMPLE)
                stdin = self.work.file("input.txt", b"10\n20\n")
                pane = self.start(["RPG_RT.exe"], stdin_file=stdin, shell_lines=shell_lines)
                shown = pane.wait_for("Done.")
                if height != 25:
                    pane.resize(80, height)
                    self.assertFalse(pane.rc_file.exists(), "the pause ended before the resize")
                self.assertEqual(pane.exit_code(timeout=10), 0)
                self.assertGreaterEqual(pane.ended_at - shown, 1.8)
                # No line was typed, so the line end before "Done." only ends
                # the IDs line (as the redirected bytes show: "2. \r\nDone.").
                console = BANNER_LINES + [f"{ITEM}1. {EVENT}2.", "Done."]
                above = min(shell_lines, height - len(console) - 1)
                shell = [f"shell line {i}" for i in range(shell_lines - above + 1, shell_lines + 1)]
                self.assertEqual(pane.screen().split("\n"), shell + console)
                self.assertEqual(ids_of(target.read_bytes()), (10, 20))

    def test_failures_show_their_message_and_a_key_ends_the_pause(self):
        (self.work.path / "folder").mkdir()
        wrong_marker = harness.with_words(SAMPLE, 1, 2, marker=0x010000C3)
        self.work.file("wrong.exe", wrong_marker)
        cases = {
            "no argument": ([], "No rpg_rt file! Please drag rpg_rt file onto veltrane.exe!"),
            "missing file": (["absent.exe"], "File not found! Please drag rpg_rt file onto veltrane.exe!"),
            "directory": (["folder"], "File not found! Please drag rpg_rt file onto veltrane.exe!"),
            "wrong marker": (["wrong.exe"], "Invalid rpg_rt file!"),
        }
        for name, (args, message) in cases.items():
            with self.subTest(name):
                pane = self.start(args)
                shown = pane.wait_for(message)
                self.assertEqual(pane.screen().split("\n")[:4], BANNER_LINES + [message])
                time.sleep(0.3)
                pane.send("x")
                self.assertEqual(pane.exit_code(timeout=10), 0)
                self.assertLess(pane.ended_at - shown, 1.5)
        self.assertEqual((self.work.path / "wrong.exe").read_bytes(), wrong_marker)

    def test_typed_ids_with_editing_keys_are_stored(self):
        target = self.work.file("RPG_RT.exe", SAMPLE)
        pane = self.start(["RPG_RT.exe"])
        pane.wait_for(PROMPT_SHOWN)
        time.sleep(0.5)
        home, end = home_end_keys()
        # 1 2 3, Alt+A (an extended key: nothing typed), Left, Backspace (drops 2),
        # Home, 9, End, 4, Delete (beeps) -> 9134
        pane.other_bells = 1
        self.type_line(pane, "=123", "M-a", "Left", "BSpace", home, "=9", end, "=4", "DC",
                       "Enter")
        pane.wait_for(f"{EVENT}2. {PROMPT_SHOWN}")
        time.sleep(0.3)
        # 5 6, Escape clears, 7 8, Left, Left, Delete -> 8; Enter. Wine reports
        # Escape without its character (Windows sends 27), so there Escape
        # does nothing and Backspace clears the line instead.
        clear = ["BSpace", "BSpace"] if PROGRAM.wine_prefix else ["Escape"]
        self.type_line(pane, "=56")
        pane.wait_for(f"{EVENT}2. {PROMPT}56")
        self.type_line(pane, *clear)
        # A lone Escape is told from Alt+7 only by the quiet after it: were 7
        # to follow within the decoder's 50 ms (a loaded machine delays the
        # Escape), "56" would stay and the line would end as "58".
        pane.wait_until(lambda: pane.screen().split("\n")[4] == f"{EVENT}2. {PROMPT_SHOWN}",
                        "the line cleared", timeout=5)
        self.type_line(pane, "=78", "Left", "Left", "DC", "Enter")
        shown = pane.wait_for("Done.")
        # A key ends the closing pause early.
        pane.send("x")
        self.assertEqual(pane.exit_code(timeout=10), 0)
        self.assertLess(pane.ended_at - shown, 1.5)
        lines = pane.screen().split("\n")
        self.assertEqual(lines[0:3], BANNER_LINES)
        self.assertEqual(lines[3], f"{ITEM}1. {PROMPT}9134")
        self.assertEqual(lines[4], f"{EVENT}2. {PROMPT}8")
        self.assertEqual(lines[5], "")
        self.assertEqual(lines[6], "Done.")
        data = target.read_bytes()
        self.assertEqual(ids_of(data), (9134, 8))
        self.assertEqual(data[:offset_of("item")], SAMPLE[:offset_of("item")])
        self.assertEqual(data[BLOCK_END:], SAMPLE[BLOCK_END:])

    def test_typed_values_of_every_kind_convert(self):
        # Per row: the two lines typed (a DEL byte is Backspace), the IDs
        # stored, whether the first line is typed while the tool starts,
        # before any prompt is drawn, and the two lines shown where they are
        # not as typed. Characters of the console's code page show as typed,
        # and the item ends before them. Full-width forms, as an input method
        # types them on a Japanese system (under Wine: code page 932), and
        # its own minus, period and comma, show and read as ASCII; a kanji,
        # a private-use character or one beyond U+FFFF is one '?' cell, and
        # one Backspace takes it. A line that fills the row to its last column
        # is edited there. A row may start with the console's input mode
        # another program left: virtual-terminal input on would hand Backspace
        # over as the character 0x7F and Left as ESC [ D (natively; Wine keeps
        # the mode but sends keys as ever).
        rows = [("&HFF", "&O17", 255, 15, False, None),
                ("13\x7f2", "12\x1b[D3", 12, 132, False, ("12", "132"), 0x3F7),
                ("12.5", "-1", 12, 4294967295, False, None),
                ("4294967296", '"1,5"', 4294967295, 1, False, None),
                ("7,8", "2D2", 7, 200, False, None),
                ("12\u00a3\u00e9\u00f4\u00f2\u0393\u00df", "\u00df3", 12, 0, True, None),
                ("１２", "数\x7f＆Ｈ１Ａ", 12, 26, False, ("12", "&H1A")),
                ("\U000203ff\ue000数\x7f", "＋３４　５", 0, 34, False, ("??", "+34 5")),
                ("ー５", "１２。７", 4294967291, 13, False, ("-5", "12.7")),
                ("−１、２", "0" * 16 + "15\x7f29\x7f3", 4294967295, 123, False,
                 ("-1,2", "0" * 16 + "123"))]
        for first, second, item, event, ahead, shown, *mode in rows:
            with self.subTest(first=first, second=second):
                first_shown, second_shown = shown or (first, second)
                env = PROGRAM.env
                if mode:
                    env = dict(env, VELTRANE_INPUT_MODE=hex(mode[0]))
                if max(first + second) >= "\u3000" and PROGRAM.wine_prefix:
                    env = dict(env, **harness.locale_env(self, "ja_JP.UTF-8"))
                target = self.work.file("RPG_RT.exe", SAMPLE)
                pane = self.start(["RPG_RT.exe"], ahead=first if ahead else "", env=env)
                pane.wait_for(PROMPT_SHOWN)
                if not ahead:
                    time.sleep(0.5)
                    self.type_line(pane, "=" + first)
                pane.wait_for(f"{ITEM}1. {PROMPT}{first_shown}")
                self.type_line(pane, "Enter")
                pane.wait_for(f"{EVENT}2. {PROMPT_SHOWN}")
                time.sleep(0.3)
                self.type_line(pane, "=" + second)
                pane.wait_for(f"{EVENT}2. {PROMPT}{second_shown}")
                self.type_line(pane, "Enter")
                pane.wait_for("Done.")
                self.assertEqual(pane.exit_code(timeout=10), 0)
                lines = pane.screen().split("\n")
                self.assertEqual(lines[3:5], [f"{ITEM}1. {PROMPT}{first_shown}",
                                              f"{EVENT}2. {PROMPT}{second_shown}"])
                self.assertEqual(ids_of(target.read_bytes()), (item, event))

    def test_ctrl_c_or_ctrl_break_at_the_prompt_ends_the_run_and_restores_the_terminal(self):
        # The pane's shell records the terminal's settings before and after;
        # its traps keep it going when the program dies by the key's signal.
        script = f'trap : INT QUIT; stty -g > before; "$0" "$@"; rc=$?; {SETTINGS_AFTER}; exit $rc'
        for key in ("C-c", "C-\\"):
            with self.subTest(key=key):
                target = self.work.file("RPG_RT.exe", SAMPLE)
                for name in ("before", "after"):
                    (self.work.path / name).unlink(missing_ok=True)
                pane = Pane(["bash", "-c", script, *PROGRAM.command(["RPG_RT.exe"])],
                            self.work.path, PROGRAM.env)
                self.panes.append(pane)
                pane.wait_for(PROMPT_SHOWN)
                time.sleep(0.3)
                self.type_line(pane, "=12")
                # Under Wine, Ctrl+\ ends the process at once, unseen by the
                # tool; a user presses it after the echo is drawn, not while
                # the editor has the cursor hidden for it.
                pane.wait_for(f"{PROMPT}12")
                pane.wait_until(pane.cursor_shown, "the cursor showing", timeout=5)
                pane.send(key)
                self.assertEqual(pane.exit_code(timeout=10), ctrl_exit_code(key))
                self.assertEqual(target.read_bytes(), SAMPLE)
                before = (self.work.path / "before").read_text()
                self.assertTrue(before.strip())
                self.assertEqual((self.work.path / "after").read_text(), before)
                # tmux may still be reading the last bytes written to the pane.
                pane.wait_until(pane.cursor_shown, "the cursor showing after the run", timeout=5)

    def test_the_shell_lines_above_a_run_at_the_bottom_of_a_full_window_stay_in_its_history(self):
        # A shell prints forty lines into a 24-row terminal and the tool
        # starts on its bottom row. Under Wine the shell is cmd, in Wine's
        # terminal console, whose buffer is the window as under a
        # pseudo-console: the lines the tool scrolls out go into the
        # terminal's history as the shell's own do.
        target = self.work.file("RPG_RT.exe", SAMPLE)
        if PROGRAM.wine_prefix:
            pane = Pane(["wine", "cmd"], self.work.path, PROGRAM.env, height=24)
            self.panes.append(pane)
            pane.wait_until(lambda: pane.screen().endswith(">"), "cmd's prompt")
            self.type_line(pane, "=for /L %i in (1,1,40) do @echo shell line %i", "Enter")
            pane.wait_for("shell line 40")
            pane.wait_until(lambda: pane.screen().endswith(">") and pane.cursor()[1] == 23,
                            "cmd's prompt on the bottom row")
            exe = "Z:" + str(Path(PROGRAM.binary).resolve()).replace("/", "\\")
            self.type_line(pane, f'="{exe}" RPG_RT.exe', "Enter")
        else:
            script = 'for i in $(seq 40); do echo "shell line $i"; done; exec "$0" "$@"'
            pane = Pane(["bash", "-c", script, *PROGRAM.command(["RPG_RT.exe"])], self.work.path,
                        PROGRAM.env, height=24)
            self.panes.append(pane)
        for label, typed in ((f"{ITEM}1.", "10"), (f"{EVENT}2.", "20")):
            pane.wait_for(f"{label} {PROMPT_SHOWN}")
            time.sleep(0.3)
            self.type_line(pane, "=" + typed, "Enter")
        pane.wait_for("Done.")
        if PROGRAM.wine_prefix:
            pane.wait_until(lambda: pane.screen().endswith(">"), "cmd's prompt after the run")
            self.type_line(pane, "=exit", "Enter")
        self.assertEqual(pane.exit_code(timeout=10), 0)
        self.assertEqual(ids_of(target.read_bytes()), (10, 20))
        kept = [line.rstrip() for line in pane.lines(history=True)
                if line.startswith("shell line")]
        self.assertEqual(kept, [f"shell line {i}" for i in range(1, 41)])

    @harness.only_for("native", "Wine's terminal console keeps its size and is not redrawn on a "
                      "resize")
    def test_a_narrowed_terminal_follows_the_cursor_sideways_below_the_shell_lines(self):
        script = 'for i in 1 2 3 4 5 6; do echo "shell line $i"; done; exec "$0" "$@"'
        target = self.work.file("RPG_RT.exe", SAMPLE)
        pane = Pane(["bash", "-c", script, *PROGRAM.command(["RPG_RT.exe"])], self.work.path,
                    PROGRAM.env, width=60)
        self.panes.append(pane)
        pane.wait_for(PROMPT_SHOWN)
        time.sleep(0.3)
        typed = "1234567890" * 3 + "12345"
        # Per step: the pane's width, a key typed, the cursor, and the row of
        # the reply as it shows. The console's buffer keeps 60 columns; tmux
        # rewraps the rows wider than 30 and pushes the first three shell
        # lines into its history, and the console is drawn again below the
        # others. Widened again, the whole rows come back.
        steps = [(60, typed, (35, 11), typed, 1),
                 (30, "", (29, 8), typed[6:], 4),
                 (30, "6", (29, 8), (typed + "6")[7:], 4),
                 (60, "", (36, 8), typed + "6", 4)]
        for width, keys, cursor, row, first_shell_line in steps:
            with self.subTest(width=width, keys=keys):
                if keys:
                    self.type_line(pane, "=" + keys)
                else:
                    pane.resize(width)
                deadline = time.monotonic() + 10
                while pane.cursor() != cursor and time.monotonic() < deadline:
                    time.sleep(0.05)
                self.assertEqual(pane.cursor(), cursor, pane.screen())
                lines = pane.screen().split("\n")
                self.assertEqual(lines[cursor[1]], row)
                shell = [f"shell line {i}" for i in range(first_shell_line, 7)]
                self.assertEqual(lines[:len(shell)], shell)
        self.assertEqual(lines[3:8], ["Veltrane", BANNER_LINES[1][:60], BANNER_LINES[1][60:], "",
                                      f"{ITEM}1. {PROMPT_SHOWN}"])
        self.type_line(pane, "Enter", "=7", "Enter")
        self.assertEqual(pane.exit_code(timeout=10), 0)
        self.assertEqual(ids_of(target.read_bytes()), (4294967295, 7))

    def test_output_to_a_pipe_without_reader_still_writes_and_restores_the_terminal(self):
        # Typed at the terminal while every console write fails (a pager quit
        # early): the run goes on, writes the words and gives the terminal back.
        script = ('stty -g > before; "$0" "$@" | true; rc=${PIPESTATUS[0]}; '
                  f'{SETTINGS_AFTER}; exit $rc')
        target = self.work.file("RPG_RT.exe", SAMPLE)
        pane = Pane(["bash", "-c", script, *PROGRAM.command(["RPG_RT.exe"])], self.work.path,
                    PROGRAM.env)
        self.panes.append(pane)
        time.sleep(1.5)  # nothing to wait for on the screen: the prompts go to the pipe
        self.type_line(pane, "=10", "Enter")
        time.sleep(0.3)
        self.type_line(pane, "=20", "Enter")
        self.assertEqual(pane.exit_code(timeout=20), 0)
        self.assertEqual(target.read_bytes(), harness.with_words(SAMPLE, 10, 20))
        self.assertEqual((self.work.path / "after").read_text(),
                         (self.work.path / "before").read_text())


if __name__ == "__main__":
    PROGRAM, rest = harness.program_from_argv(sys.argv[1:])
    harness.run_tests(PROGRAM, [sys.argv[0], *rest])
