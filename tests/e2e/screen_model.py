"""A model of the terminal a tmux pane is: fed every byte the pane received,
it keeps the screen, the cursor, the rows scrolled away and the bells rung,
and lists every byte it cannot account for. Only what the tool, Wine's
console and the suites' shells send is modelled; anything else is a finding."""
import re
import unicodedata

CSI = re.compile(r"\x1b\[([0-?]*)([ -/]*)([@-~])")
OSC = re.compile(r"\x1b\][^\x07\x1b]*(?:\x07|\x1b\\)")
TAB = 8


def width_of(char):
    if unicodedata.combining(char):
        return 0
    return 2 if unicodedata.east_asian_width(char) in ("W", "F") else 1


class ScreenModel:
    def __init__(self, width, height):
        self.width, self.height = width, height
        self.rows = [[" "] * width for _ in range(height)]
        self.history = []
        self.x = self.y = 0
        self.saved = (0, 0)
        self.wrap_pending = False
        self.bells = 0
        self.unknown = []  # what no rule below accounts for, as received

    def feed(self, data):
        text = data.decode("utf-8", "replace")
        at = 0
        while at < len(text):
            char = text[at]
            if char == "\x1b":
                at = self.escape(text, at)
                continue
            if char == "\a":
                self.bells += 1
            elif char == "\r":
                self.move(0, self.y)
            elif char == "\n":
                self.line_feed()
            elif char == "\b":
                self.move(self.x - 1, self.y)
            elif char == "\t":
                self.move(min(self.width - 1, (self.x // TAB + 1) * TAB), self.y)
            elif char < " " or char == "\x7f" or char == "\ufffd":
                self.unknown.append(char)
            else:
                self.put(char)
            at += 1

    def escape(self, text, at):
        """Acts on the sequence at `at`; returns where the next byte starts."""
        for pattern, act in ((CSI, self.control), (OSC, None)):
            found = pattern.match(text, at)
            if found:
                if act is not None:
                    act(*found.groups())
                return found.end()
        if text[at + 1:at + 2] in ("7", "8"):
            if text[at + 1] == "7":
                self.saved = (self.x, self.y)
            else:
                self.move(*self.saved)
            return at + 2
        self.unknown.append(text[at:at + 2])
        return at + 2

    def control(self, params, intermediate, final):
        numbers = [int(p) if p.isdigit() else 0 for p in params.split(";")] if params else []
        first = numbers[0] if numbers else 0
        count = max(first, 1)
        if intermediate or params.startswith("?") and final not in "hl":
            self.unknown.append(f"\x1b[{params}{intermediate}{final}")
        elif final in "Hf":
            row, column = (numbers + [0, 0])[:2]
            self.move(max(column, 1) - 1, max(row, 1) - 1)
        elif final in "ABCD":
            dx, dy = {"A": (0, -count), "B": (0, count), "C": (count, 0), "D": (-count, 0)}[final]
            self.move(self.x + dx, self.y + dy)
        elif final == "G":
            self.move(count - 1, self.y)
        elif final == "d":
            self.move(self.x, count - 1)
        elif final == "K":
            self.erase(self.y, *{0: (self.x, self.width), 1: (0, self.x + 1)}.get(first,
                                                                                 (0, self.width)))
        elif final == "J":
            below = range(self.y + 1, self.height) if first == 0 else range(0, self.y)
            for y in (range(self.height) if first == 2 else below):
                self.erase(y, 0, self.width)
            if first in (0, 1):
                self.control(str(first), "", "K")
        elif final in "hl" and params == "?25" or final == "m" or final == "n" and first == 6:
            pass  # the cursor shown or hidden, colours, the cursor's place asked
        else:
            self.unknown.append(f"\x1b[{params}{intermediate}{final}")

    def move(self, x, y):
        self.x = min(max(x, 0), self.width - 1)
        self.y = min(max(y, 0), self.height - 1)
        self.wrap_pending = False

    def erase(self, y, start, end):
        self.rows[y][start:end] = [" "] * (min(end, self.width) - start)

    def line_feed(self):
        if self.y == self.height - 1:
            self.history.append(self.rows.pop(0))
            self.rows.append([" "] * self.width)
        else:
            self.y += 1
        self.wrap_pending = False

    def put(self, char):
        width = width_of(char)
        if width == 0:
            return
        if self.wrap_pending or self.x + width > self.width:
            self.x = 0
            self.line_feed()
        self.rows[self.y][self.x] = char
        if width == 2:
            self.rows[self.y][self.x + 1] = ""
        self.x += width
        if self.x >= self.width:
            self.x, self.wrap_pending = self.width - 1, True

    def lines(self, rows=None):
        return ["".join(row).rstrip() for row in (self.rows if rows is None else rows)]

    def screen(self):
        return "\n".join(self.lines()).rstrip("\n")

    def all_lines(self):
        """The rows scrolled away, then the screen's."""
        return self.lines(self.history) + self.lines()
