"""A tmux pane running one program: start it, wait for text, send keys,
read the screen and the exit code. Every byte the pane receives is kept and,
when the pane closes after its program ended, checked against a model of the
terminal: nothing it cannot account for, the screen it ends with the one tmux
shows, and one bell per failure message the run showed (and the bells a row
expects besides, such as Delete's at the end of the line)."""
import atexit
import shlex
import subprocess
import time
import uuid
from pathlib import Path

from harness import DONE, MESSAGES
from screen_model import ScreenModel

# Every message but "Done." comes with a bell.
FAILURE_MESSAGES = [m.decode().rstrip("\r\n") for m in MESSAGES if m != DONE]


OPEN = {}  # name -> pane: those not closed yet, closed at the latest at exit


class Pane:
    def __init__(self, command, cwd, env, width=80, height=25, stdin_file=None):
        self.name = "vt" + uuid.uuid4().hex[:10]
        self.rc_file = Path(cwd) / f".{self.name}.rc"
        self.raw_file = Path(cwd) / f".{self.name}.raw"
        piped = Path(cwd) / f".{self.name}.piped"
        self.width, self.height, self.resized = width, height, False
        self.other_bells = 0  # bells the row expects besides the failure messages'
        redirect = f" < {shlex.quote(str(stdin_file))}" if stdin_file else ""
        # The program is the pane's first command, so the terminal cursor
        # starts at the top-left cell; the pane stays open after it ends.
        # The shell catches SIGINT and SIGQUIT (the program still gets the
        # default action), so that it outlives a Ctrl+C or Ctrl+\ and records
        # the exit code, whatever shell tmux runs it in.
        # It starts the program once the pane's output is piped to raw_file.
        script = (f"trap : INT QUIT; until [ -e {shlex.quote(str(piped))} ]; do sleep 0.02; done; "
                  f"cd {shlex.quote(str(cwd))} && {shlex.join(command)}{redirect}; "
                  f"echo $? > {shlex.quote(str(self.rc_file))}; "
                  f"tmux wait-for -S {self.name}-done; sleep 3600")
        env_args = []
        for key in ("WINEDEBUG", "WINEARCH", "WINEPREFIX", "LANG", "LC_ALL", "LOCPATH", "TERM",
                    "VELTRANE_INPUT_MODE"):
            if key in env:
                env_args += ["-e", f"{key}={env[key]}"]
        # Suites side by side share the tmux server: one that is exiting as
        # its last session closes refuses a new one, so a refusal is tried again.
        for attempt in range(3):
            started = subprocess.run(["tmux", "new-session", "-d", "-s", self.name, "-x",
                                      str(width), "-y", str(height), *env_args, script],
                                     stderr=subprocess.PIPE, env=env, check=False)
            if started.returncode == 0:
                break
            time.sleep(0.2 * (attempt + 1))
        else:
            raise AssertionError(f"tmux new-session failed: {started.stderr.decode()}")
        OPEN[self.name] = self
        self.raw_file.write_bytes(b"")
        subprocess.run(["tmux", "pipe-pane", "-t", self.name,
                        f"cat >> {shlex.quote(str(self.raw_file))}"], check=True)
        piped.touch()
        self.started = time.monotonic()
        self.ended_at = None

    def lines(self, history=False):
        """The screen's lines, after the terminal's history when asked."""
        start = ["-S", "-"] if history else []
        out = subprocess.run(["tmux", "capture-pane", "-p", *start, "-t", self.name],
                             stdout=subprocess.PIPE, check=True).stdout
        return out.decode("utf-8", "replace").split("\n")

    def screen(self):
        return "\n".join(line.rstrip() for line in self.lines()).rstrip("\n")

    def cursor(self):
        out = subprocess.run(["tmux", "display", "-p", "-t", self.name, "#{cursor_x},#{cursor_y}"],
                             stdout=subprocess.PIPE, check=True).stdout.decode().strip()
        x, y = out.split(",")
        return int(x), int(y)

    def cursor_shown(self):
        out = subprocess.run(["tmux", "display", "-p", "-t", self.name, "#{cursor_flag}"],
                             stdout=subprocess.PIPE, check=True).stdout.decode().strip()
        return out == "1"

    def wait_until(self, condition, what, timeout=20.0):
        deadline = time.monotonic() + timeout
        while time.monotonic() < deadline:
            if condition():
                return time.monotonic()
            time.sleep(0.05)
        raise AssertionError(f"{what} did not happen; screen:\n{self.screen()}")

    def wait_for(self, text, timeout=20.0):
        return self.wait_until(lambda: text in self.screen(), f"{text!r} appearing", timeout)

    def send(self, *keys):
        subprocess.run(["tmux", "send-keys", "-t", self.name, *keys], check=True)

    def send_literal(self, text):
        # "--": text such as "-1" is not an option.
        subprocess.run(["tmux", "send-keys", "-t", self.name, "-l", "--", text], check=True)

    def resize(self, width, height=None):
        size = ["-x", str(width)] + (["-y", str(height)] if height else [])
        subprocess.run(["tmux", "resize-window", "-t", self.name, *size], check=True)
        # The model does not rewrap: only what it cannot account for and the
        # bells are checked then.
        self.width, self.height = width, height or self.height
        self.resized = True

    def exit_code(self, timeout=20.0):
        """Waits for the program to end; returns its exit code."""
        deadline = time.monotonic() + timeout
        while time.monotonic() < deadline:
            if self.rc_file.exists() and self.rc_file.read_text().strip():
                if self.ended_at is None:
                    self.ended_at = time.monotonic()
                return int(self.rc_file.read_text().strip())
            time.sleep(0.02)
        raise AssertionError(f"program did not end; screen:\n{self.screen()}")

    def output_findings(self):
        """What the bytes the pane received show wrong, or an empty list.
        tmux may still be passing on the last of them: asked again for a
        while until they agree with the screen."""
        deadline = time.monotonic() + 3
        while True:
            model = ScreenModel(self.width, self.height)
            model.feed(self.raw_file.read_bytes())
            found = [f"output the model does not account for: {model.unknown!r}"] * bool(
                model.unknown)
            lines = model.all_lines()
            bells = sum(line.count(m) for line in lines for m in FAILURE_MESSAGES)
            bells += self.other_bells
            if model.bells != bells:
                found.append(f"{model.bells} bells rung, {bells} expected")
            if not self.resized:
                if model.screen() != self.screen():
                    found.append(f"the screen as the output draws it:\n{model.screen()}\n"
                                 f"differs from the pane's:\n{self.screen()}")
                elif (model.x, model.y) != self.cursor():
                    found.append(f"cursor at {(model.x, model.y)} by the output, "
                                 f"{self.cursor()} in the pane")
            if not found or time.monotonic() > deadline:
                return found
            time.sleep(0.1)

    def close(self):
        """Ends the session; fails when the ended program's output was wrong."""
        OPEN.pop(self.name, None)
        ended = self.rc_file.exists() and self.rc_file.read_text().strip()
        try:
            found = self.output_findings() if ended else []
        finally:
            subprocess.run(["tmux", "kill-session", "-t", self.name], check=False,
                           stderr=subprocess.DEVNULL)
            for name in (self.rc_file, self.raw_file, self.raw_file.with_suffix(".piped")):
                name.unlink(missing_ok=True)
        if found:
            raise AssertionError("\n".join(found))


@atexit.register
def close_all():
    """A suite that ends early (an error outside a test, Ctrl+C) leaves no
    session behind."""
    for pane in list(OPEN.values()):
        try:
            pane.close()
        except AssertionError:
            pass  # the suite has ended already
