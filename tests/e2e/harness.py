"""Shared pieces of the end-to-end tests: how to start the built program,
natively or under Wine, and how to make sample targets."""
import atexit
import fcntl
import importlib.machinery
import importlib.util
import os
import pty
import re
import shutil
import subprocess
import sys
import tempfile
import threading
import unittest
from pathlib import Path

TOP = Path(__file__).resolve().parents[2]

_loader = importlib.machinery.SourceFileLoader("make_sample", str(TOP / "scripts" / "make-sample"))
_spec = importlib.util.spec_from_loader("make_sample", _loader)
make_sample = importlib.util.module_from_spec(_spec)
_loader.exec_module(make_sample)

# The block's layout, from scripts/make-sample.
BLOCK_OFFSET, BLOCK_END = make_sample.BLOCK_OFFSET, make_sample.BLOCK_END
offset_of, ids_of = make_sample.offset_of, make_sample.ids_of
# The labels before the IDs, in the order of the block's words, from the run
# sequence's table of IDs.
LABELS = tuple(re.findall(r'\{patch_block::k\w+, "([^"]*)"\}',
                          (TOP / "src" / "patcher" / "run_sequence.cpp").read_text()))
# The banner and the messages as a run prints them, from docs/messages.tsv, the
# messages in its order: a new message needs a name here.
_TEXTS = [line.split("\t") for line in (TOP / "docs" / "messages.tsv").read_text().split("\n")
          if line and not line.startswith("#")]
BANNER = b"".join(text.encode() + b"\r\n" for kind, text, _ in _TEXTS if kind == "banner") + b"\r\n"
MESSAGES = tuple(text.encode() + b"\r\n" for kind, text, _ in _TEXTS if kind == "message")
DONE, NO_FILE, NOT_FOUND, INVALID, NOT_READ, NOT_WRITTEN, CHANGED = MESSAGES


class Program:
    """The program under test. `wine_prefix` set means a Windows binary."""

    def __init__(self, binary, wine_prefix=None, copy_of=None):
        """With `copy_of`, a Windows binary's prefix is made as a copy of
        that program's, and no server is started for it."""
        self.binary = str(Path(binary).resolve())
        self.wine_prefix = wine_prefix
        if wine_prefix:
            # A UTF-8 locale, so that Wine reads the arguments' bytes as UTF-8
            # and names in any language reach the program whole.
            self.env = dict(os.environ, WINEDEBUG="-all", WINEARCH="win32", LC_ALL="C.UTF-8",
                            WINEPREFIX=str(Path(wine_prefix).resolve()))
            if copy_of:
                copy_wine_prefix(copy_of.env["WINEPREFIX"], self.env["WINEPREFIX"])
            else:
                ensure_wine_prefix(self.env)
        else:
            # The same locale natively: the terminal takes and shows
            # characters as UTF-8, whatever the machine's default.
            self.env = dict(os.environ, LC_ALL="C.UTF-8")

    def command(self, args):
        if self.wine_prefix:
            return ["wine", self.binary, *args]
        return [self.binary, *args]

    def run(self, args, cwd, stdin=b"", timeout=60, user=None, env=None):
        """Runs with standard input and output redirected, in `env` if given;
        returns (exit code, standard output bytes)."""
        command = self.command(args)
        if user:
            command = ["setpriv", f"--reuid={user}", f"--regid={user}", "--clear-groups", *command]
        done = subprocess.run(command, input=stdin, stdout=subprocess.PIPE,
                              stderr=subprocess.DEVNULL, cwd=cwd, env=env or self.env,
                              timeout=timeout, check=False)
        return done.returncode, done.stdout


def ensure_wine_prefix(env):
    """Creates the throwaway prefix once, outside any terminal, so that later
    runs print nothing of Wine's own; then keeps its server running."""
    prefix = Path(env["WINEPREFIX"])
    prefix.parent.mkdir(parents=True, exist_ok=True)
    # Suites that start side by side make the prefix once, one after the other.
    with open(prefix.parent / (prefix.name + ".lock"), "w") as lock:
        fcntl.flock(lock, fcntl.LOCK_EX)
        if not (prefix / "system.reg").exists():
            prefix.mkdir(exist_ok=True)
            subprocess.run(["wineboot", "-i"], env=env, stdout=subprocess.DEVNULL,
                           stderr=subprocess.DEVNULL, timeout=300, check=False)
            subprocess.run(["wineserver", "-w"], env=env, timeout=300, check=False)
        # A server that Wine starts by itself quits the moment its last
        # program ends, and a program that starts in that moment dies before
        # it is loaded ("wine client error: ... Connection reset by peer",
        # exit code 1). One kept for a minute after the last program closes
        # that window. If a server already runs (an earlier suite's), this
        # start fails and that one serves.
        started = subprocess.run(["wineserver", "-p60"], env=env, stdout=subprocess.DEVNULL,
                                 stderr=subprocess.DEVNULL, timeout=60, check=False)
        if started.returncode == 0:
            # Wine's services start with the first program of a server and
            # keep its output streams open as long as they run: started here
            # with none, they hold open no suite's output, which CTest waits on.
            subprocess.run(["wineboot"], env=env, stdout=subprocess.DEVNULL,
                           stderr=subprocess.DEVNULL, timeout=300, check=False)


def copy_wine_prefix(source, prefix):
    """Makes `prefix` a copy of the prefix `source` where it does not exist:
    seconds of Wine's first start saved. The files are links to the source's,
    which Wine only reads, but for the registry and the .ini files, which it
    writes, and the name of the source's server folder, which each prefix
    makes its own. The other suites keep running in the source meanwhile: its
    temporary folders are copied empty, and a file that goes while the copy
    is made is left out."""
    if (Path(prefix) / "system.reg").exists():
        return
    shutil.rmtree(prefix, ignore_errors=True)

    def link(source_file, copy):
        try:
            if Path(source_file).suffix in (".reg", ".ini"):
                shutil.copy2(source_file, copy)
            else:
                os.link(source_file, copy)
        except FileNotFoundError:
            pass

    def left_out(folder, names):
        if Path(folder) == Path(source):
            return ["wineserver"]
        return names if Path(folder).name in ("Temp", "temp") else []
    shutil.copytree(source, prefix, symlinks=True, copy_function=link, ignore=left_out)


class WorkDir:
    """A throwaway directory for one test's files, in `under` if given."""

    def __init__(self, under=None):
        self.path = Path(tempfile.mkdtemp(prefix="veltrane-e2e-", dir=under))
        os.chmod(self.path, 0o755)

    def file(self, name, data):
        target = self.path / name
        target.write_bytes(data)
        return target

    def remove(self):
        shutil.rmtree(self.path, ignore_errors=True)


def under_ci():
    return os.environ.get("CI") == "true"


def missing_prerequisite(test, reason):
    """Skips a test that cannot run here (a tool, root or a file system
    feature is missing); fails it under CI=true, where every test must run."""
    if under_ci():
        test.fail(f"{reason}, and CI needs every test to run")
    test.skipTest(reason)


def needs_tool(test, name):
    """A missing program the test runs is a missing prerequisite."""
    if shutil.which(name) is None:
        missing_prerequisite(test, f"needs {name}")


_LOCALES = {}  # locale name -> folder holding it, made once per run


def locale_variables(name):
    """The variables that run a program in the locale `name`, such as
    "ja_JP.UTF-8" (under Wine: code page 932 for the system and the
    console), or None when it cannot be made. A locale the machine lacks is
    made with localedef into a folder of this run's own."""
    if name not in _LOCALES:
        folder = Path(tempfile.mkdtemp(prefix="veltrane-locale-"))
        atexit.register(shutil.rmtree, folder, True)
        language, charmap = name.split(".")
        made = subprocess.run(["localedef", "-i", language, "-f", charmap, str(folder / name)],
                              stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, check=False)
        _LOCALES[name] = folder if made.returncode in (0, 1) and (folder / name).exists() else None
    if _LOCALES[name] is None:
        return None
    return {"LOCPATH": str(_LOCALES[name]), "LANG": name, "LC_ALL": name}


def locale_env(test, name):
    """locale_variables(name); where the locale cannot be made the test is
    skipped, and fails under CI=true."""
    variables = locale_variables(name)
    if variables is None:
        missing_prerequisite(test, f"the locale {name} cannot be made (localedef)")
    return variables


def left_out_where(condition, reason):
    """Marks a test whose state cannot exist where condition(program) holds
    (a build it means nothing to, or Wine run as root): run_tests leaves it
    out of that suite and names it, as the unit programs that need the
    console host are not in the Windows build. Not a skip: it is not run,
    so it cannot pass."""
    def mark(test):
        test.left_out_where = (condition, reason)
        return test
    return mark


def only_for(build, reason):
    """A test that means nothing for the other build ("native" or "wine")."""
    return left_out_where(lambda program: build != ("wine" if program.wine_prefix else "native"),
                          reason)


def wine_as_root(program):
    """Wine run as root writes files whatever their permission or read-only
    attribute say."""
    return bool(program.wine_prefix) and os.geteuid() == 0


def run_tests(program, argv, exit=True, whole=None):
    """unittest.main for a suite of the __main__ module, verbose: tests
    marked left out here are left out (and named), and under
    CI=true a skipped test or subtest fails the suite. When the whole suite
    ran (no test named in argv) with nothing skipped, `whole`, if given, is
    called and a problem it returns fails the suite. Returns the result
    when `exit` is false."""
    module = sys.modules["__main__"]
    for case in vars(module).values():
        if not (isinstance(case, type) and issubclass(case, unittest.TestCase)):
            continue
        for name, test in list(vars(case).items()):
            condition, reason = getattr(test, "left_out_where", (None, None))
            if condition is not None and condition(program):
                delattr(case, name)
                print(f"left out here: {name}: {reason}", file=sys.stderr)
    result = unittest.main(module=module, argv=argv, verbosity=2, exit=False).result
    ok = result.wasSuccessful()
    if under_ci() and result.skipped:
        print(f"FAILED: {len(result.skipped)} skipped, and CI needs every test to run",
              file=sys.stderr)
        ok = False
    problem = whole() if whole and ok and len(argv) == 1 and not result.skipped else None
    if problem:
        print(f"FAILED: {problem}", file=sys.stderr)
        ok = False
    if not exit:
        return ok
    sys.exit(0 if ok else 1)


# Where users keep their games: the file system the temporary folder is on,
# a block-device one of its own (ext4 in an image on a loop device) and a RAM
# disk. Under Wine all three are reached through drive Z:.
FILE_SYSTEMS = ("root", "ext4 on a loop device", "tmpfs")


def work_dir_on(test, file_system):
    """A WorkDir on one of FILE_SYSTEMS, removed (and unmounted) when the
    test ends. Mounting needs root: without it the test is skipped, and fails
    under CI=true."""
    if file_system == "root":
        work = WorkDir()
        test.addCleanup(work.remove)
        return work
    if os.geteuid() != 0:
        missing_prerequisite(test, f"needs root to mount {file_system}")
    point = Path(tempfile.mkdtemp(prefix="veltrane-mount-"))
    test.addCleanup(shutil.rmtree, point, True)
    if file_system == "tmpfs":
        mount = ["mount", "-t", "tmpfs", "-o", "size=16m", "tmpfs", str(point)]
    else:
        image = point.with_suffix(".img")
        test.addCleanup(image.unlink, True)
        with open(image, "wb") as f:
            f.truncate(16 << 20)
        subprocess.run(["mkfs.ext4", "-q", "-F", str(image)], stdout=subprocess.DEVNULL,
                       stderr=subprocess.DEVNULL, check=False)
        mount = ["mount", "-o", "loop", str(image), str(point)]
    mounted = subprocess.run(mount, stdout=subprocess.DEVNULL, stderr=subprocess.PIPE, check=False)
    if mounted.returncode != 0:
        missing_prerequisite(test, f"cannot mount {file_system}: {mounted.stderr.decode().strip()}")
    test.addCleanup(subprocess.run, ["umount", "--lazy", str(point)], check=True)
    work = WorkDir(under=point)
    test.addCleanup(work.remove)
    return work


def end_process(process, timeout=20):
    """Kills a process a failed row left running, and reaps it."""
    if process.poll() is None:
        process.kill()
    process.wait(timeout=timeout)


def with_words(data, *ids, marker=make_sample.MARKER):
    """The sample bytes with the marker and the first IDs of the block set."""
    out = bytearray(data)
    words = make_sample.block(ids, marker)
    out[BLOCK_OFFSET:BLOCK_OFFSET + len(words)] = words
    return bytes(out)


def shown(*ids):
    """The line a run with redirected input shows: each ID with its label."""
    return "".join(f"{label}{value}. " for label, value in zip(LABELS, ids)).encode() + b"\r\n"


def program_from_argv(argv):
    """--binary PATH [--wine-prefix DIR]"""
    import argparse
    parser = argparse.ArgumentParser()
    parser.add_argument("--binary", required=True)
    parser.add_argument("--wine-prefix")
    args, rest = parser.parse_known_args(argv)
    return Program(args.binary, args.wine_prefix), rest


SKIPPED = 77  # CTest's SKIP_RETURN_CODE for the unit programs run here


def skipped(reason):
    """The exit code of a unit program whose cases were skipped: SKIPPED, or
    1 under CI=true."""
    if under_ci():
        print(f"FAILED: {reason}, and CI needs every case to run")
        return 1
    print(f"skipped: {reason}")
    return SKIPPED


def run_unit_program(program, args, locale=None):
    """Runs a GoogleTest program, its output passed through, in the locale
    `locale` if given; its standard input is a terminal, of which Wine makes
    the program's console. Returns its exit code, or skipped() when it
    passed with cases skipped (a failure among them still fails) or the
    locale cannot be made."""
    env = program.env
    if locale:
        variables = locale_variables(locale)
        if variables is None:
            return skipped(f"the locale {locale} cannot be made (localedef)")
        env = dict(env, **variables)
    leader, follower = pty.openpty()
    # What the console draws on the terminal is read and dropped, so that it
    # never fills the terminal's buffer and stops the program.
    threading.Thread(target=drain, args=(leader,), daemon=True).start()
    try:
        done = subprocess.run(program.command(args), env=env, stdin=follower,
                              stdout=subprocess.PIPE, stderr=subprocess.STDOUT, check=False)
    finally:
        os.close(follower)
    sys.stdout.buffer.write(done.stdout)
    if done.returncode != 0 or b"[  SKIPPED ]" not in done.stdout:
        return done.returncode
    return skipped("cases skipped")


def drain(descriptor):
    try:
        while os.read(descriptor, 4096):
            pass
    except OSError:
        pass
    finally:
        os.close(descriptor)


if __name__ == "__main__":
    # harness.py --binary PROGRAM [--wine-prefix DIR] [--locale NAME]
    # [ARGUMENTS]: runs one unit test program (the Windows ones, in the
    # throwaway prefix).
    import argparse
    _parser = argparse.ArgumentParser(add_help=False)
    _parser.add_argument("--locale")
    _options, _rest = _parser.parse_known_args(sys.argv[1:])
    PROGRAM, REST = program_from_argv(_rest)
    sys.exit(run_unit_program(PROGRAM, REST, _options.locale))
