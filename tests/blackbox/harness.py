"""Runs the built quillmar on fresh temporary trees.

The program command comes from QUILLMAR_CMD (default: build/quillmar), so the
same scenarios run against another build, for example the Windows .exe under
wine64 (QUILLMAR_CMD="wine64 build-win64/quillmar.exe" QUILLMAR_WINDOWS=1).
"""
import os
import shlex
import shutil
import subprocess
import tempfile
import unittest

ROOT = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
PROGRAM = shlex.split(os.environ.get("QUILLMAR_CMD", os.path.join(ROOT, "build", "quillmar")))
WINDOWS = os.environ.get("QUILLMAR_WINDOWS") == "1"
BANNER = b"quillmar 1.0.1.1 (2022)\n"
SEP = "\\" if WINDOWS else "/"
OPTIONS = {"sfv", "md5", "sha1", "sha256", "sha512", "bufsize", "s", "nosubfolders"}


def native_path(path):
    """The path as the program names it. Under wine the Unix root is drive Z:, so
    /tmp/x is Z:\\tmp\\x there (a rooted \\tmp\\x would lean on the current drive)."""
    if WINDOWS and path.startswith("/"):
        return "Z:" + path.replace("/", "\\")
    return path


def argument(a):
    """A command-line argument for the program: absolute Unix paths in the program's form."""
    a = str(a)
    if WINDOWS and a.startswith("/") and a[1:].lower() not in OPTIONS:
        return native_path(a)
    return a


def run(*args, cwd=None, timeout=120, **kwargs):
    """Runs quillmar with args; returns (stdout bytes, exit code)."""
    result = subprocess.run(PROGRAM + [argument(a) for a in args], cwd=cwd, stdout=subprocess.PIPE,
                            stderr=subprocess.PIPE, timeout=timeout, **kwargs)
    out = result.stdout
    if WINDOWS:
        out = out.replace(b"\r\n", b"\n")  # standard output is a text-mode stream on Windows
    return out, result.returncode


def write(path, data=b""):
    """Creates a file (and its folders) holding data (bytes or str)."""
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, "wb") as f:
        f.write(data.encode() if isinstance(data, str) else data)


def read(path):
    with open(path, "rb") as f:
        return f.read()


def mtime_ns(path):
    """The last-write time in ns; on Windows as a FILETIME holds it, in 100 ns units,
    so that a time the program read and set back compares equal."""
    ns = os.stat(path).st_mtime_ns
    return ns - ns % 100 if WINDOWS else ns


def set_mtime_ns(path, ns):
    os.utime(path, ns=(os.stat(path).st_atime_ns, ns))


def folder_times(top):
    """Every folder's last-write time under (and including) top, by path."""
    times = {top: mtime_ns(top)}
    for dirpath, dirnames, _ in os.walk(top):
        for d in dirnames:
            p = os.path.join(dirpath, d)
            times[p] = mtime_ns(p)
    return times


class TreeTest(unittest.TestCase):
    """A test with a fresh temporary folder, removed afterwards."""

    def setUp(self):
        self.tmp = tempfile.mkdtemp(prefix="quillmar-test-")
        self.addCleanup(shutil.rmtree, self.tmp, True)

    def path(self, *parts):
        return os.path.join(self.tmp, *parts)

    def tree(self, files, top="Top"):
        """Makes a tree from {relative path: content}; a path ending in '/' is a folder.
        Gives every folder an old, odd time so that a restore is visible."""
        base = self.path(top)
        os.makedirs(base, exist_ok=True)
        for rel, content in files.items():
            p = os.path.join(base, rel)
            if rel.endswith("/"):
                os.makedirs(p, exist_ok=True)
            else:
                write(p, content)
        for i, p in enumerate(sorted(folder_times(base))):
            set_mtime_ns(p, 1000000000123456789 + i * 1000000007)
        return base
