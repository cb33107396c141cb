#!/usr/bin/env python3
"""Tests scripts/check-docs itself: on a copy of the tree's docs and sources
it must pass, and on copies with one drift seeded each it must fail with the
problem the drift is about, so that a check that stops comparing, or stops
failing, does not go unseen. Each drift is made from the tree's current texts
and figures, read as check-docs reads them, so that an edit to a guide does
not break it. `scripts/lint --fast` runs it; it takes a few seconds.

Usage: tests/check_docs_test.py [TREE]   (default: the tree this file is in)
"""
import concurrent.futures
import importlib.machinery
import importlib.util
import os
import re
import shutil
import subprocess
import sys
import tempfile
from pathlib import Path

TOP = Path(sys.argv[1]).resolve() if len(sys.argv) > 1 else Path(__file__).resolve().parents[1]
# What check-docs reads lies in these.
COPIED = ["README.md", "CMakeLists.txt", "NEWS", "docs", "src", "bench", "scripts/make-sample",
          "tests/unit/run_sequence_test.cpp", "tests/mutation-survivors.txt"]

_loader = importlib.machinery.SourceFileLoader("check_docs", str(TOP / "scripts" / "check-docs"))
_spec = importlib.util.spec_from_loader("check_docs", _loader)
docs = importlib.util.module_from_spec(_spec)
_loader.exec_module(docs)


def sub(path, pattern, replace, at=0, flags=re.M):
    """Replaces a match of the pattern (the first, or the one at index `at`)
    in the copy's file; a drift that cannot be seeded (the text moved) fails
    the test instead of passing it."""
    def seed(tree):
        file = tree / path
        text = file.read_text(encoding="utf-8")
        matches = list(re.finditer(pattern, text, flags))
        if not matches:
            sys.exit(f"check_docs_test: {path}: {pattern!r} is not there: update the drift")
        match = matches[at]
        new = replace(match) if callable(replace) else match.expand(replace)
        file.write_text(text[:match.start()] + new + text[match.end():], encoding="utf-8")
    return seed


def edit(path, old, new):
    """Replaces the one place `old` stands in the copy's file."""
    return sub(path, re.escape(old), lambda _: new, flags=0)


def each(*seeds):
    def seed(tree):
        for one in seeds:
            one(tree)
    return seed


def plus(number):
    """A figure of the match's first group made larger."""
    return lambda match: match.group(0).replace(match.group(1), str(int(match.group(1)) + number))


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


def roff(text):
    return text.replace("-", "\\-")


def drifts():
    """(what drifts, how it is seeded, a piece of the problem check-docs must
    report), from the tree's current texts and figures."""
    rows = docs.read_texts(TOP)
    messages = [text for kind, text, _ in rows if kind == "message"]
    meanings = {text: meaning for kind, text, meaning in rows if kind == "message"}
    banner = [text for kind, text, _ in rows if kind == "banner"]
    layout = docs.block_layout(TOP)
    count = len(layout["labels"])
    wrong = next(word for word, number in docs.NUMBERS.items() if number == count + 1)
    counted = rf"\b(?:{'|'.join(docs.NUMBERS)}) new IDs\b"
    names, shared = docs.id_names(layout["labels"], [])
    page, tsv = docs.PAGE.path, "docs/messages.tsv"
    done, invalid = messages[0], messages[3]
    wide = (banner[1][:-1] + ", and so on" * 8)[:81] + "."
    found = [
        (f"a message missing from README.md",
         edit("README.md", f"| `{invalid}` |", f"| `{invalid}`, or none |"), "README.md"),
        (f"a message missing from {page}", edit(page, f"\n.B {roff(invalid)}\n", "\n"), page),
        ("two messages in another order",
         swap_lines("README.md", f"| `{messages[0]}` |", f"| `{messages[2]}` "), "order"),
        ("a meaning changed in README.md",
         edit("README.md", f"| `{done}` | {meanings[done]} |", f"| `{done}` | Perhaps. |"),
         "README.md (## Messages): the meaning"),
        (f"a meaning changed in {page}",
         edit(page, f".B {roff(messages[1])}\n", f".B {roff(messages[1])}\nPerhaps\n"),
         f"{page} (.SH DIAGNOSTICS): the meaning"),
        ("a message of the code changed",
         edit("src/patcher/run_sequence.cpp", f'"{invalid}"', f'"{invalid} "'), "run_sequence.cpp"),
        (f"a doubled stop in {page}",
         sub(page, r'^\.B ("[^"\n]*\.")$', r".BR \1 ."), "a stop after a text"),
        ("the lock's wait changed in the code",
         sub("src/patcher/run_sequence.cpp", r"kLockWaitMs = (\d+);", plus(1000)), "seconds"),
        ("the block's offset changed in scripts/make-sample",
         sub("scripts/make-sample", r"^BLOCK_OFFSET = (\d+)$", plus(4)), "scripts/make-sample"),
        ("the unit tests' block of another size",
         sub("tests/unit/run_sequence_test.cpp", r"kBlockWords = (\d+);", plus(1)),
         "run_sequence_test.cpp: the block's words"),
        ("a C yardstick's block of another size",
         sub("bench/minimal_patcher.c", r"#define BLOCK_WORDS (\d+)", plus(1)), "minimal_patcher.c"),
        ("a C yardstick printing a text not listed",
         edit("bench/same_duties_patcher.c", f'"{done}"', f'"{done[:-1]}!"'), "not a text"),
        ("the block's size in a guide", sub("README.md", r"(\d+)-byte block", plus(4)), "size"),
        ("a usage text changed",
         sub("src/platform/posix/self_description.cpp", r'"(Usage: [^"\\]*)\\n"', r'"\1 ARGS\\n"'),
         "self_description.cpp"),
        ("the usage texts, their guides and the tsv counting IDs that are not there",
         each(*(sub(path, counted, lambda match: re.sub(r"^\w+", wrong, match.group(0)), at=at)
                for path, times in ((tsv, 2), ("src/platform/posix/self_description.cpp", 1),
                                    ("src/platform/windows/self_description.cpp", 1),
                                    *((guide.path, 1) for guide in docs.GUIDES))
                for at in range(times))),
         f"has {count} IDs"),
        (f"the redirected items of {page} counting IDs that are not there",
         sub(page, r"\bfirst (\w+) items\b", lambda _: f"first {wrong} items"), f"has {count} IDs"),
        (f"the IDs named in another order in {page}",
         sub(page, re.escape(f"{names[0]} and {names[-1]} {shared}s"),
             lambda _: f"{names[-1]} and {names[0]} {shared}s"), "does not name the IDs"),
        ("a banner of 82 columns",
         each(*(sub(path, re.escape(banner[1]), lambda _: wide)
                for path in (tsv, "src/patcher/run_sequence.cpp", *docs.ALL_GUIDES,
                             *(where for where, _ in docs.LAYOUT_COPIES if where.startswith("bench/"))))),
         "82 columns"),
        ("a bare ======= left by a merge in NEWS",
         sub("NEWS", r"^- .*\n", lambda match: match.group(0) + "=======\n"), "NEWS:"),
        ("NEWS's title underline shortened", sub("NEWS", r"\A.*\n(=+)\n", lambda m: m.group(0)[:-2] + "\n"),
         "NEWS:2:"),
        ("NEWS's oldest version heading underlined short",
         sub("NEWS", r"^\d+\.\d+\.\d+\n-(-+)$", lambda m: m.group(0)[:-1], at=-1), "NEWS:"),
        ("NEWS's newest layout of the block not the code's",
         sub("NEWS", r"(\d+)-byte block at offset", plus(4)), "NEWS: its newest layout"),
        ("a conflict marker in a source",
         sub("src/main.cpp", r"\A", lambda _: "<<<<<<< HEAD\n"), "conflict marker"),
        ("a survivor's reason on a block of another size",
         sub("tests/mutation-survivors.txt", r"block ever checked has (\d+) bytes", plus(4)),
         "mutation-survivors.txt"),
    ]
    for guide in docs.GUIDES:
        text = docs.guide_text(TOP, guide.path)
        key = next(key for key in docs.code_keys(TOP) if re.search(rf"^    {re.escape(key)}\s{{2,}}",
                                                                     text, re.M))
        usage = next(line for line in (t for k, t, _ in rows if k == guide.usage)
                     if line and text.count(f"\n    {line}\n") == 1)
        found += [
            (f"a message missing from {guide.path}",
             sub(guide.path, rf"^{re.escape(invalid)}\r?\n", ""), guide.path),
            (f"a meaning changed in {guide.path}",
             sub(guide.path, rf"^{re.escape(messages[1])}\r?\n    ", lambda m: m.group(0) + "Perhaps "),
             f"{guide.path} (Messages): the meaning"),
            (f"a key missing from {guide.path}",
             sub(guide.path, rf"^    {re.escape(key)}\s{{2,}}.*\n", ""), f"{guide.path} (Editing keys)"),
            (f"the {guide.usage} text changed in {guide.path}",
             sub(guide.path, rf"^    {re.escape(usage)}$", lambda m: m.group(0) + " changed"),
             guide.path),
        ]
    for where in docs.ALL_GUIDES:
        found += [
            (f"the dialogue of {where} without its last ID",
             sub(where, rf"^\s*{re.escape(layout['labels'][-1])}\d+.*\n", ""), f"{where}: shows no run"),
            (f"the banner of {where}'s dialogue as it was",
             sub(where, rf"^(\s*){re.escape(banner[1])}$", lambda m: m.group(0)[:-1] + " again."),
             f"{where}: shows no run"),
        ]
    return found


# The Japanese guide's drifts, each built from the values the tree holds now
# (check-docs reads them), so that an edit to the guide or a figure does not
# break them; each must be reported against the guide.
def japanese_drifts():
    ja = docs.JA_GUIDE
    invalid = next(text for kind, text, _ in docs.read_texts(TOP)
                   if kind == "message" and text.startswith("Invalid"))
    layout = docs.block_layout(TOP)
    minus_one = docs.read_examples(TOP)["-1"]
    wait = int(re.search(r"kLockWaitMs = (\d+);", (TOP / "src" / "patcher" / "run_sequence.cpp")
                         .read_text(encoding="utf-8")).group(1)) // 1000
    key = re.search(r"^    (\w+)  ", (TOP / ja).read_text(encoding="utf-8").split("編集キー", 1)[1],
                    re.M).group(1)
    usage = next(t for kind, t, _ in docs.read_texts(TOP) if kind == "windows-usage" and "Usage" in t)
    stripped = lambda tree: (tree / ja).write_bytes((tree / ja).read_bytes()[3:])  # noqa: E731
    return [(name, seed, ja) for name, seed in [
        ("the Japanese guide without its byte-order mark", stripped),
        ("another version in the Japanese guide",
         edit(ja, f"Veltrane {docs.project_version(TOP)} 用", "Veltrane 0.0.0 用")),
        ("another count of IDs in the Japanese guide",
         edit(ja, f"{len(layout['labels'])} つの新しい ID", f"{len(layout['labels']) + 1} つの新しい ID")),
        ("a message missing from the Japanese guide", edit(ja, f"\n{invalid}\n", "\n")),
        ("a key renamed in the Japanese guide", edit(ja, f"\n    {key}  ", f"\n    {key}X ")),
        ("a number claim changed in the Japanese guide",
         edit(ja, f"「-1」は {minus_one}", f"「-1」は {int(minus_one) - 1}")),
        ("the /? text changed in the Japanese guide",
         edit(ja, f"\n    {usage}\n", f"\n    {usage.replace('FILE', 'PATH')}\n")),
        ("the lock's wait changed in the Japanese guide",
         edit(ja, f"最長 {wait} 秒", f"最長 {wait + 1} 秒")),
        ("the block's offset changed in the Japanese guide",
         edit(ja, f"オフセット {layout['offset']} (16", f"オフセット {layout['offset'] + 4} (16")),
    ]]


def check(seed):
    """check-docs's exit code and what it reports, on a copy of the tree,
    seeded or not."""
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
        done = subprocess.run([sys.executable, str(TOP / "scripts" / "check-docs"), str(tree)],
                              stdout=subprocess.DEVNULL, stderr=subprocess.PIPE, check=False)
        return done.returncode, done.stderr.decode()


def main():
    failed = []
    if check(None)[0] != 0:
        failed.append("the copy as it is: check-docs fails (run scripts/check-docs)")
    found = drifts() + japanese_drifts()
    # Each copy is checked by a process of its own: as many at once as cores.
    with concurrent.futures.ThreadPoolExecutor(os.cpu_count()) as pool:
        results = pool.map(check, [seed for _, seed, _ in found])
    for (name, _, problem), (code, report) in zip(found, results):
        if code == 0:
            failed.append(f"{name}: check-docs passes")
        elif problem not in report:
            failed.append(f"{name}: check-docs fails, but names no problem with {problem!r}:\n"
                          f"{report}")
    for problem in failed:
        print(f"check_docs_test: {problem}", file=sys.stderr)
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
