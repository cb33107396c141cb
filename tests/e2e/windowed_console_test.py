"""Runs of the Windows build in Wine's windowed console, laid out as a Windows
user's console is: an 80 x 150 buffer seen through a window of 25 rows. A
virtual X server shows the window; a helper attached to the tool's console
reads its cells, window and cursor and types keys. Each scenario is a row of
the table: how the tool is started, steps of keys each followed by what the
console must show, and the words in the target afterwards."""
import os
import subprocess
import sys
import time
import unittest
from dataclasses import dataclass, field
from pathlib import Path

import harness

PROGRAM = None
PROBE = None
SAMPLE = harness.make_sample.sample()

# The first two IDs' prompts: the dialogues below show two IDs.
ITEM, EVENT = [f"{label}{value}. Please enter new ID: "
               for label, value in zip(harness.LABELS, harness.make_sample.SAMPLE_IDS)][:2]
BANNER = harness.BANNER.decode().split("\r\n")[:3]
WINDOW_AT_TOP = (0, 0, 79, 24)
# A reply of 25 characters after the item prompt's 60: it wraps after 20.
WRAPPING = "0" * 18 + "1234567"


@dataclass
class Step:
    keys: list  # for the helper: "=text" or key names
    rows: dict  # buffer row -> its text (trailing blanks dropped)
    window: tuple  # left, top, right, bottom
    cursor: tuple  # column, row


@dataclass
class Scenario:
    name: str
    steps: list
    words: tuple  # the IDs in the target afterwards; None: the file unchanged
    lines_before: int = None  # started from cmd after this many lines of output
    folder: str = "game"
    marker: int = 195
    beeps: int = 0
    locale: str = None  # the system's locale, when not the suite's
    # The console's input mode another program left, and must find again.
    input_mode: int = None
    # Keys after the last step: none lets the closing pause run out; a key
    # cuts it short; Ctrl+C ends the run at once.
    last_keys: str = "=x"


def banner_at(row):
    return {row + i: text for i, text in enumerate(BANNER)}


SCENARIOS = [
    Scenario("fresh window", last_keys="", words=(9456, 31), steps=[
        Step([], {**banner_at(0), 3: ITEM}, WINDOW_AT_TOP, (60, 3)),
        # Escape clears "123"; Home, End, Left and Delete edit "4567".
        Step(["=123", "Escape", "=456", "Home", "=9", "End", "=7", "Left", "Delete"],
             {3: ITEM + "9456", 4: ""}, WINDOW_AT_TOP, (64, 3)),
        Step(["Enter"], {3: ITEM + "9456", 4: EVENT}, WINDOW_AT_TOP, (61, 4)),
        Step(["=&H1F", "Enter"], {4: EVENT + "&H1F", 5: "", 6: "Done."}, WINDOW_AT_TOP, (0, 7)),
    ]),
    # The tool starts on row 100: the window has scrolled down to it and
    # follows the cursor as the tool writes.
    Scenario("started from cmd after earlier output", lines_before=100, words=(77, 88), steps=[
        Step([], {99: "line 100", **banner_at(100), 103: ITEM}, (0, 79, 79, 103), (60, 103)),
        Step(["=77", "Enter"], {103: ITEM + "77", 104: EVENT}, (0, 80, 79, 104), (61, 104)),
        Step(["=88", "Enter"], {104: EVENT + "88", 105: "", 106: "Done."}, (0, 83, 79, 107),
             (0, 107)),
    ]),
    # The prompt stands on the buffer's last row; the reply wraps there, the
    # buffer scrolls, and editing across the wrap redraws both rows.
    Scenario("reply wrapping on the buffer's last row", lines_before=200, words=(1934567, 3),
             steps=[
        Step([], {**banner_at(146), 149: ITEM}, (0, 125, 79, 149), (60, 149)),
        Step(["=" + WRAPPING], {147: "", 148: ITEM + WRAPPING[:20], 149: WRAPPING[20:]},
             (0, 125, 79, 149), (5, 149)),
        Step(["Home", "Delete"], {148: ITEM + "0" * 17 + "123", 149: "4567"}, (0, 125, 79, 149),
             (60, 148)),
        # Back across the wrap to the last cell of the upper row, and the
        # character before it rubbed out.
        Step(["End"] + ["Left"] * 5 + ["BackSpace"], {148: ITEM + "0" * 17 + "134", 149: "567"},
             (0, 125, 79, 149), (78, 148)),
        Step(["=9"], {148: ITEM + "0" * 17 + "193", 149: "4567"}, (0, 125, 79, 149), (79, 148)),
        Step(["Enter"], {147: ITEM + "0" * 17 + "193", 148: "4567", 149: EVENT},
             (0, 125, 79, 149), (61, 149)),
        Step(["=3", "Enter"], {145: "4567", 146: EVENT + "3", 147: "", 148: "Done.", 149: ""},
             (0, 125, 79, 149), (0, 149)),
    ]),
    Scenario("failure message with its beep", marker=0x010000C3, beeps=1, words=None, steps=[
        Step([], {**banner_at(0), 3: "Invalid rpg_rt file!", 4: ""}, WINDOW_AT_TOP, (0, 4)),
    ]),
    # The first ID is on the disk once confirmed; Wine ends the process with
    # exit code 0 (Windows: 0xC000013A).
    Scenario("Ctrl+C at the second prompt", last_keys="Ctrl+C", words=(5, 2), input_mode=0x3F7,
             steps=[
        Step([], {3: ITEM}, WINDOW_AT_TOP, (60, 3)),
        Step(["=5", "Enter"], {3: ITEM + "5", 4: EVENT}, WINDOW_AT_TOP, (61, 4)),
    ]),
    # On a Japanese system (code page 932), typed with an input method in
    # full-width mode: digits, signs and its own period show and store as
    # ASCII; a kanji is one '?' cell, and Backspace takes it whole.
    Scenario("full-width keys on a Japanese system", locale="ja_JP.UTF-8", words=(13, 26),
             steps=[
        Step(["~１２。７", "=数"], {3: ITEM + "12.7?"}, WINDOW_AT_TOP, (65, 3)),
        Step(["BackSpace", "Enter", "=＆Ｈ１Ａ", "Enter"], {3: ITEM + "12.7", 4: EVENT + "&H1A", 6: "Done."},
             WINDOW_AT_TOP, (0, 7)),
    ]),
    # Virtual-terminal input on and processed input off, as another program
    # may leave them (Wine keeps the bits but sends keys as ever).
    Scenario("input mode left by another program", input_mode=0x3F6, words=(12, 132), steps=[
        Step(["=13", "BackSpace", "=2", "Enter", "=12", "Left", "=3", "Enter"],
             {3: ITEM + "12", 4: EVENT + "132", 6: "Done."}, WINDOW_AT_TOP, (0, 7)),
    ]),
    Scenario("target in a Japanese folder", folder="ロールプレイング ゲーム", words=(42, 15),
             steps=[
        Step([], {3: ITEM}, WINDOW_AT_TOP, (60, 3)),
        Step(["=42", "Enter", "=&O17", "Enter"], {3: ITEM + "42", 4: EVENT + "&O17", 6: "Done."},
             WINDOW_AT_TOP, (0, 7)),
    ]),
]


def windows_path(path):
    """A Unix path as Wine's drive Z: names it."""
    return "Z:" + str(path).replace("/", "\\")


@dataclass
class Screen:
    size: tuple
    window: tuple
    cursor: tuple
    rows: list = field(default_factory=list)

    def text(self, row):
        return self.rows[row].rstrip()

    def matches(self, step):
        return (self.window == step.window and self.cursor == step.cursor
                and all(self.text(row) == text.rstrip() for row, text in step.rows.items()))

    def describe(self):
        shown = [f"{y:3} |{self.text(y)}" for y in range(self.window[1], self.window[3] + 1)]
        return "\n".join([f"size {self.size} window {self.window} cursor {self.cursor}", *shown])


class Probe:
    """The helper, attached to the console of the running tool."""

    def __init__(self, env):
        self.process = subprocess.Popen(["wine", PROBE], stdin=subprocess.PIPE,
                                        stdout=subprocess.PIPE, stderr=subprocess.DEVNULL,
                                        env=env)

    def ask(self, command):
        self.process.stdin.write(command.encode("utf-8") + b"\n")
        self.process.stdin.flush()
        answer = self.process.stdout.readline().decode("latin-1").rstrip("\n")
        if not answer or answer.startswith("error"):
            raise AssertionError(f"helper: {command!r} -> {answer!r}")
        return answer

    def screen(self):
        words = self.ask("screen").split()
        numbers = [int(word) for word in words if word.lstrip("-").isdigit()]
        screen = Screen(size=tuple(numbers[0:2]), window=tuple(numbers[2:6]),
                        cursor=tuple(numbers[6:8]))
        for _ in range(screen.size[1]):
            screen.rows.append(self.process.stdout.readline().decode("cp437").rstrip("\n"))
        return screen

    def close(self):
        """Ends the tool too, if a failed check left it running."""
        try:
            if self.ask("wait 0") == "running":
                self.ask("kill")
        except (AssertionError, OSError):
            pass
        self.process.stdin.close()
        self.process.wait(timeout=20)


class WindowedConsole(unittest.TestCase):
    def setUp(self):
        self.work = harness.WorkDir()

    def tearDown(self):
        self.work.remove()

    def start(self, scenario, target):
        """Opens the console window; returns the `wine start` process and
        the file that receives what Wine traces."""
        env = dict(PROGRAM.env, WINEDEBUG="-all,+relay")
        if scenario.locale:
            env.update(harness.locale_env(self, scenario.locale))
        if scenario.lines_before is None and scenario.input_mode is None:
            command = [PROGRAM.binary, windows_path(target)]
        else:
            lines = ["@echo off"]
            if scenario.lines_before:
                lines.append(f"for /l %%i in (1,1,{scenario.lines_before}) do echo line %%i")
            if scenario.input_mode is not None:
                lines.append(f'"{windows_path(PROBE)}" mode {scenario.input_mode:X}')
            lines.append(f'"{windows_path(PROGRAM.binary)}" "{windows_path(target)}"')
            batch = self.work.file("run.bat", "".join(line + "\r\n" for line in lines)
                                   .encode("ascii"))
            command = ["cmd", "/c", windows_path(batch)]
        trace = self.work.path / "trace.txt"
        with open(trace, "wb") as trace_file:
            window = subprocess.Popen(["wine", "start", "/wait", "wineconsole", *command],
                                      cwd=self.work.path, env=env, stdout=subprocess.DEVNULL,
                                      stderr=trace_file)
        self.addCleanup(harness.end_process, window)
        return window, trace

    def expect(self, probe, step, timeout=20.0):
        """Waits until the console shows what the step says; returns the
        time it did and the screen."""
        deadline = time.monotonic() + timeout
        while True:
            screen = probe.screen()
            if screen.matches(step):
                self.assertEqual(screen.size, (80, 150))
                return time.monotonic(), screen
            if time.monotonic() > deadline:
                wanted = "\n".join(f"{row:3} |{text}" for row, text in step.rows.items())
                self.fail(f"after {step.keys}: wanted window {step.window} cursor {step.cursor}\n"
                          f"{wanted}\nshown:\n{screen.describe()}")
            time.sleep(0.05)

    def test_scenarios(self):
        for scenario in SCENARIOS:
            with self.subTest(scenario.name):
                started = time.monotonic()
                folder = self.work.path / scenario.folder
                folder.mkdir(exist_ok=True)
                sample = harness.with_words(SAMPLE, 1, 2, marker=scenario.marker)
                target = folder / "RPG_RT.exe"
                target.write_bytes(sample)
                window, trace = self.start(scenario, target)
                probe = Probe(PROGRAM.env)
                try:
                    probe.ask("attach veltrane.exe")
                    for step in scenario.steps:
                        if step.keys:
                            probe.ask("keys " + " ".join(step.keys))
                        shown, screen = self.expect(probe, step)
                    if scenario.last_keys:
                        probe.ask("keys " + scenario.last_keys)
                    self.assertEqual(probe.ask("wait 10000"), "exit 0")
                    ended = time.monotonic()
                    if scenario.input_mode is not None:
                        self.assertEqual(probe.ask("mode"), f"mode {scenario.input_mode:X}",
                                         "the mode found")
                finally:
                    probe.close()
                # The window closes by itself when the tool ends.
                self.assertEqual(window.wait(timeout=20), 0)
                if scenario.last_keys:
                    self.assertLess(ended - shown, 1.5)
                else:
                    self.assertGreater(ended - shown, 1.0)
                # Each Beep(1000, 250) the tool made, as Wine's relay trace saw it.
                beeps = trace.read_text(errors="replace").count("KERNEL32.Beep(000003e8,000000fa)")
                self.assertEqual(beeps, scenario.beeps)
                data = target.read_bytes()
                if scenario.words is None:
                    self.assertEqual(data, sample)
                else:
                    self.assertEqual(data, harness.with_words(sample, *scenario.words))
                print(f"{scenario.name}: size {screen.size} window {screen.window} cursor "
                      f"{screen.cursor}; words {scenario.words}; "
                      f"{time.monotonic() - started:.1f} s", file=sys.stderr)


def start_x_server():
    """A virtual X server on a display no other is using; None when none
    can start."""
    read_end, write_end = os.pipe()
    try:
        server = subprocess.Popen(["Xvfb", "-displayfd", str(write_end), "-nolisten", "tcp",
                                   "-screen", "0", "1024x768x24"], pass_fds=(write_end,),
                                  stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    except OSError:
        os.close(read_end)
        os.close(write_end)
        return None, None
    os.close(write_end)
    with os.fdopen(read_end) as answer:
        number = answer.readline().strip()
    if not number.isdigit():
        server.kill()
        server.wait()
        return None, None
    return server, ":" + number


def trace_beeps(env):
    """Has Wine's relay trace record only the calls of Beep."""
    subprocess.run(["wine", "reg", "add", r"HKCU\Software\Wine\Debug", "/v", "RelayInclude",
                    "/d", "kernel32.Beep", "/f"], env=env, stdout=subprocess.DEVNULL,
                   stderr=subprocess.DEVNULL, timeout=60, check=True)


def end_wine_server(env):
    subprocess.run(["wineserver", "-k"], env=env, stderr=subprocess.DEVNULL, timeout=60,
                   check=False)


def main():
    global PROGRAM, PROBE
    arguments = sys.argv[1:]
    PROBE = arguments[arguments.index("--probe") + 1]
    del arguments[arguments.index("--probe"):arguments.index("--probe") + 2]
    server, display = start_x_server()
    if server is None:
        print("no X server could start (Xvfb)", file=sys.stderr)
        sys.exit(1 if harness.under_ci() else harness.SKIPPED)
    # Wine's desktop process, which the console window needs, serves the X
    # display that the first program of a prefix's server had, or none. So
    # the suite has a prefix of its own, every Wine program here gets the
    # display, and the server ends before the X server does.
    os.environ["DISPLAY"] = display
    at = arguments.index("--wine-prefix") + 1
    arguments[at] = str(Path(arguments[at]).parent / "wineprefix-windowed")
    try:
        PROGRAM, rest = harness.program_from_argv(arguments)
        end_wine_server(PROGRAM.env)  # left by a run that was cut short
        harness.ensure_wine_prefix(PROGRAM.env)
        trace_beeps(PROGRAM.env)
        ok = harness.run_tests(PROGRAM, [sys.argv[0], *rest], exit=False)
    finally:
        if PROGRAM is not None:
            end_wine_server(PROGRAM.env)
        server.terminate()
        server.wait()
    sys.exit(0 if ok else 1)


if __name__ == "__main__":
    main()
