#!/usr/bin/env python3
"""Tests scripts/check-docs itself: on a copy of the tree's docs and sources
it must pass, and on copies with one drift seeded each it must fail, so that
a check that stops comparing, or stops failing, does not go unseen.
`scripts/lint --fast` runs it; it takes about a second.

Usage: tests/check_docs_test.py [TREE]   (default: the tree this file is in)
"""
import importlib.machinery
import importlib.util
import re
import shutil
import subprocess
import sys
import tempfile
from pathlib import Path

TOP = Path(sys.argv[1]).resolve() if len(sys.argv) > 1 else Path(__file__).resolve().parents[1]
# What check-docs reads lies in these.
COPIED = ["README.md", "CMakeLists.txt", "NEWS", "docs", "src", "bench", "scripts/make-sample",
          "tests/unit/run_sequence_test.cpp"]


def edit(path, old, new):
    """Replaces the one place `old` stands in the copy's file; a drift that
    cannot be seeded (the text moved) fails the test instead of passing it."""
    def seed(tree):
        file = tree / path
        text = file.read_text(encoding="utf-8")
        if text.count(old) != 1:
            sys.exit(f"check_docs_test: {path}: {old!r} is not there once: update the drift")
        file.write_text(text.replace(old, new), encoding="utf-8")
    return seed


def swap_lines(path, first, second):
    """Swaps two whole lines, given by their start."""
    def seed(tree):
        file = tree / path
        lines = file.read_text(encoding="utf-8").split("\n")
        at = [next((i for i, line in enumerate(lines) if line.startswith(start)), None)
              for start in (first, second)]
        if None in at:
            sys.exit(f"check_docs_test: {path}: a line to swap is not there: update the drift")
        lines[at[0]], lines[at[1]] = lines[at[1]], lines[at[0]]
        file.write_text("\n".join(lines), encoding="utf-8")
    return seed


INVALID = "Invalid rpg_rt file!"
DRIFTS = [
    ("a message missing from README.md",
     edit("README.md", f"| `{INVALID}` |", f"| `{INVALID}`, or none |")),
    ("a message missing from docs/README.txt", edit("docs/README.txt", f"\n{INVALID}\n", "\n")),
    ("a message missing from docs/README-linux.txt",
     edit("docs/README-linux.txt", f"\n{INVALID}\n", "\n")),
    ("a key missing from docs/README-linux.txt",
     edit("docs/README-linux.txt", "    Escape          clear the line\n", "")),
    ("the --help text changed in docs/README-linux.txt",
     edit("docs/README-linux.txt", "      -h, --help  show this usage", "      -h          show this usage")),
    ("a message missing from docs/veltrane.1", edit("docs/veltrane.1", f"\n.B {INVALID}\n", "\n")),
    ("two messages in another order",
     swap_lines("README.md", "| `Done.` |", "| `No rpg_rt file! ")),
    ("a meaning changed",
     edit("README.md", "| `Done.` | Both IDs were written", "| `Done.` | Both IDs were sent")),
    ("a message of the code changed",
     edit("src/patcher/run_sequence.cpp", f'"{INVALID}"', '"Invalid rpg_rt file."')),
    ("a doubled stop in docs/veltrane.1",
     edit("docs/veltrane.1", '.B "rpg_rt file changed! Nothing more was written."\n',
          '.BR "rpg_rt file changed! Nothing more was written." .\n')),
    ("the lock's wait changed in the code",
     edit("src/patcher/run_sequence.cpp", "kLockWaitMs = 5000;", "kLockWaitMs = 4000;")),
    ("the block's offset changed in scripts/make-sample",
     edit("scripts/make-sample", "BLOCK_OFFSET = 240948", "BLOCK_OFFSET = 240952")),
    ("a C yardstick's block of another size",
     edit("bench/minimal_patcher.c", "#define BLOCK_WORDS 3", "#define BLOCK_WORDS 4")),
    ("a C yardstick printing a text not listed",
     edit("bench/same_duties_patcher.c", '"Done."', '"Done!"')),
    ("the block's size in a guide", edit("README.md", "in a 12-byte block", "in a 16-byte block")),
    ("a usage text changed",
     edit("src/platform/posix/self_description.cpp", '"Usage: veltrane FILE\\n"',
          '"Usage: veltrane PATH\\n"')),
]


# The Japanese guide's drifts, each built from the values the tree holds now
# (check-docs reads them), so that an edit to the guide or a figure does not
# break them.
def load_check_docs():
    loader = importlib.machinery.SourceFileLoader("check_docs", str(TOP / "scripts" / "check-docs"))
    module = importlib.util.module_from_spec(importlib.util.spec_from_loader(loader.name, loader))
    loader.exec_module(module)
    return module


def japanese_drifts():
    docs = load_check_docs()
    ja = docs.JA_GUIDE
    layout = docs.block_layout(TOP)
    minus_one = docs.read_examples(TOP)["-1"]
    wait = int(re.search(r"kLockWaitMs = (\d+);", (TOP / "src" / "patcher" / "run_sequence.cpp")
                         .read_text(encoding="utf-8")).group(1)) // 1000
    key = re.search(r"^    (\w+)  ", (TOP / ja).read_text(encoding="utf-8").split("編集キー", 1)[1],
                    re.M).group(1)
    usage = next(t for kind, t, _ in docs.read_texts(TOP) if kind == "windows-usage" and "Usage" in t)
    stripped = lambda tree: (tree / ja).write_bytes((tree / ja).read_bytes()[3:])  # noqa: E731
    return [
        ("the Japanese guide without its byte-order mark", stripped),
        ("another version in the Japanese guide",
         edit(ja, f"Veltrane {docs.project_version(TOP)} 用", "Veltrane 0.0.0 用")),
        ("a message missing from the Japanese guide", edit(ja, f"\n{INVALID}\n", "\n")),
        ("a key renamed in the Japanese guide", edit(ja, f"\n    {key}  ", f"\n    {key}X ")),
        ("a number claim changed in the Japanese guide",
         edit(ja, f"「-1」は {minus_one}", f"「-1」は {int(minus_one) - 1}")),
        ("the /? text changed in the Japanese guide",
         edit(ja, f"\n    {usage}\n", f"\n    {usage.replace('FILE', 'PATH')}\n")),
        ("the lock's wait changed in the Japanese guide",
         edit(ja, f"最長 {wait} 秒", f"最長 {wait + 1} 秒")),
        ("the block's offset changed in the Japanese guide",
         edit(ja, f"オフセット {layout['offset']} (16", f"オフセット {layout['offset'] + 4} (16")),
    ]


def check(seed):
    """check-docs's exit code on a copy of the tree, seeded or not."""
    with tempfile.TemporaryDirectory(prefix="check-docs-") as temporary:
        tree = Path(temporary)
        for name in COPIED:
            if (TOP / name).is_dir():
                shutil.copytree(TOP / name, tree / name)
            else:
                (tree / name).parent.mkdir(parents=True, exist_ok=True)
                shutil.copy2(TOP / name, tree / name)
        if seed:
            seed(tree)
        return subprocess.run([sys.executable, str(TOP / "scripts" / "check-docs"), str(tree)],
                              stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                              check=False).returncode


def main():
    failed = []
    if check(None) != 0:
        failed.append("the copy as it is: check-docs fails (run scripts/check-docs)")
    for name, seed in DRIFTS + japanese_drifts():
        if check(seed) == 0:
            failed.append(f"{name}: check-docs passes")
    for problem in failed:
        print(f"check_docs_test: {problem}", file=sys.stderr)
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
