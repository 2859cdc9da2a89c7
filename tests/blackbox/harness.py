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


def run(*args, cwd=None, timeout=120, **kwargs):
    """Runs quillmar with args; returns (stdout bytes, exit code)."""
    result = subprocess.run(PROGRAM + [str(a) for a in args], cwd=cwd, stdout=subprocess.PIPE,
                            stderr=subprocess.PIPE, timeout=timeout, **kwargs)
    return result.stdout, result.returncode


def write(path, data=b""):
    """Creates a file (and its folders) holding data (bytes or str)."""
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, "wb") as f:
        f.write(data.encode() if isinstance(data, str) else data)


def read(path):
    with open(path, "rb") as f:
        return f.read()


def mtime_ns(path):
    return os.stat(path).st_mtime_ns


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
