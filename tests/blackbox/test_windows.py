"""The Windows build under wine64: the same digest files as the Linux build, long
paths and names that Win32's path rules would change.

Run with QUILLMAR_WINDOWS=1 (scripts/test-windows.sh); the Linux build to compare
with comes from QUILLMAR_POSIX_CMD (default: build/quillmar).
"""
import hashlib
import os
import re
import shlex
import shutil
import stat
import subprocess
import unittest
import zlib

from harness import BANNER, ROOT, WINDOWS, TreeTest, folder_times, native_path, read, run

POSIX = shlex.split(os.environ.get("QUILLMAR_POSIX_CMD", os.path.join(ROOT, "build", "quillmar")))
ALL = ["sfv", "md5", "sha1", "sha256", "sha512"]
EXTENSIONS = tuple("." + a for a in ALL)


def line(alg, name, data):
    if alg == "sfv":
        return name + b" %08x\r\n" % zlib.crc32(data)
    return hashlib.new(alg, data).hexdigest().encode() + b" " + name + b"\r\n"


def digest_files(top):
    """{path relative to top: bytes} of every digest file below top."""
    found = {}
    for dirpath, _, filenames in os.walk(top):
        for f in filenames:
            if f.endswith(EXTENSIONS):
                p = os.path.join(dirpath, f)
                found[os.path.relpath(p, top)] = read(p)
    return found


def printed(out):
    """The lines after the banner, without the throughput line (no name holds a '/')."""
    assert out.startswith(BANNER), out
    return [l for l in out[len(BANNER):].split(b"\n")[:-1] if not re.fullmatch(rb"-?\d+ MB/s", l)]


@unittest.skipUnless(WINDOWS, "the Windows build")
class SameAsLinux(TreeTest):
    def test_the_digest_files_match_the_linux_build(self):
        if not POSIX or not os.access(POSIX[0], os.X_OK):
            self.skipTest("needs the Linux build (QUILLMAR_POSIX_CMD)")
        files = {"check.txt": "123456789", "empty": "", "caf\u00e9 au lait.txt": "\u00e9" * 50,
                 "Zeta": "z", "alpha": "a", "10": "ten", "9": "nine", "big.bin": os.urandom(3 << 20),
                 "sub/one": "1", "sub/x.md5.txt": "x", "sub/deeper/\u4e2d\u6587": os.urandom(70000),
                 "sub/deeper/B": "b", "only/folders/here/": None}
        windows_top = self.tree(files, top="windows/Top")
        linux_top = self.tree(files, top="linux/Top")
        options = ["-" + a for a in ALL]
        out, code = run(*options, windows_top)
        self.assertEqual(code, 0)
        linux = subprocess.run(POSIX + options + [linux_top], stdout=subprocess.PIPE, timeout=120)
        self.assertEqual(linux.returncode, 0)

        # Wine lists a folder sorted by name, as NTFS does; Linux lists it in its
        # directory order. Lines follow each build's listing, so files with more
        # than one line are compared as sets of lines, and each build's lines
        # must follow the order in which it printed the names.
        self.assertEqual(sorted(printed(out)), sorted(printed(linux.stdout)))
        windows_digests, linux_digests = digest_files(windows_top), digest_files(linux_top)
        self.assertEqual(sorted(windows_digests), sorted(linux_digests))
        for rel, content in windows_digests.items():
            lines = content.splitlines(True)
            self.assertEqual(sorted(lines), sorted(linux_digests[rel].splitlines(True)), rel)
            if len(lines) <= 1:
                self.assertEqual(content, linux_digests[rel], rel)
            names = [l.rsplit(b" ", 1)[0] if rel.endswith(".sfv") else l.split(b" ", 1)[1] for l in lines]
            names = [n.rstrip(b"\r\n") for n in names]
            order = [n for n in printed(out) if n in names]
            self.assertEqual(names, order, rel)


@unittest.skipUnless(WINDOWS, "the Windows build")
class Loops(TreeTest):
    def test_links_back_into_the_tree_are_met_once(self):
        # Wine shows a Unix link to a folder as a folder link (directory and
        # reparse-point bits), as Windows shows a junction or a symbolic link.
        top = self.tree({"a/f": "f", "g": "g"})
        os.symlink("..", os.path.join(top, "a", "up"))
        os.symlink(top, os.path.join(top, "a", "top"))
        times = folder_times(top)
        out, code = run("-md5", top, timeout=60)
        self.assertEqual(code, 0, out)
        loops = sorted(l for l in printed(out) if l.startswith(b"Loop "))
        self.assertEqual(loops, sorted(b"Loop " + native_path(os.path.join(top, "a", n)).encode()
                                       for n in ["top", "up"]))
        self.assertEqual(sorted(l for l in printed(out) if not l.startswith(b"Loop ")), [b"f", b"g"])
        self.assertEqual(read(os.path.join(top, "a", "a.md5")), line("md5", b"f", b"f"))
        self.assertEqual(folder_times(top), times)


@unittest.skipUnless(WINDOWS, "the Windows build")
class LongPaths(TreeTest):
    SEGMENT = "abcdefghijklmnopqrstuvwxyz0123456789"  # 36 units

    def chain(self, levels):
        top = self.tree({})
        files = {}
        folder = top
        for level in range(levels):
            folder = os.path.join(folder, self.SEGMENT)
            os.mkdir(folder)
            files[os.path.join(folder, "f%d" % level)] = os.urandom(level * 1000 + 1)
        for p, data in files.items():
            with open(p, "wb") as f:
                f.write(data)
        for i, p in enumerate(sorted(folder_times(top))):
            os.utime(p, ns=(1000000000123456789, 1000000000123456789 + i * 1000000007))
        return top, files, folder

    def test_a_tree_whose_paths_pass_260_units_is_hashed(self):
        for relative in [False, True]:
            with self.subTest(relative=relative):
                top, files, deepest = self.chain(12)
                self.assertGreater(len(native_path(deepest)), 400)
                times = folder_times(top)
                if relative:
                    out, code = run("-sfv", "-sha256", "Top", cwd=os.path.dirname(top))
                else:
                    out, code = run("-sfv", "-sha256", top)
                self.assertEqual(code, 0)
                self.assertEqual(sorted(printed(out)), sorted(os.path.basename(p).encode() for p in files))
                for p, data in files.items():
                    folder = os.path.dirname(p)
                    name = os.path.basename(p).encode()
                    for alg in ["sfv", "sha256"]:
                        digest = os.path.join(folder, os.path.basename(folder) + "." + alg)
                        self.assertEqual(read(digest), line(alg, name, data), p)
                self.assertEqual(folder_times(top), times)
                shutil.rmtree(top)

    def test_a_long_path_is_opened_in_its_literal_form(self):
        # Wine opens long paths without the prefix too, so the form shows only in
        # the message of a file that cannot be opened. A Unix socket is such a
        # file under wine: listed as a file, refused when opened.
        top, _, deepest = self.chain(9)
        socket = os.path.join(deepest, "sock")
        os.mknod(socket, stat.S_IFSOCK | 0o600)
        out, code = run("-md5", top)
        self.assertEqual(code, 4)
        self.assertTrue(out.endswith(b"\nsock\nOpen \\\\?\\" + native_path(socket).encode() + b"\n"), out)


@unittest.skipUnless(WINDOWS, "the Windows build")
class Win32Names(TreeTest):
    def test_names_that_win32_would_change_are_hashed_as_they_are(self):
        # Win32 cuts trailing dots and spaces, and opens a device for "nul" or
        # "aux.txt": the empty input of NUL would give a wrong digest, AUX no end.
        files = {"ends.": "dot", "trail ": "space", "nul": "not the device", "aux.txt": "not aux",
                 "COM1.log": "not a port", "dir./inside": "in", "dir./ends..": "dots"}
        top = self.tree(files)
        times = folder_times(top)
        out, code = run("-sfv", "-md5", top, timeout=60)
        self.assertEqual(code, 0, out)
        self.assertEqual(sorted(printed(out)), sorted(os.path.basename(n).encode() for n in files))
        for rel, data in files.items():
            folder = os.path.normpath(os.path.join(top, os.path.dirname(rel)))
            for alg in ["sfv", "md5"]:
                digest = read(os.path.join(folder, os.path.basename(folder) + "." + alg))
                self.assertIn(line(alg, os.path.basename(rel).encode(), data.encode()), digest.splitlines(True))
        self.assertEqual(folder_times(top), times)


WINE_DEVICES = os.path.join(os.environ.get("WINEPREFIX", os.path.expanduser("~/.wine")), "dosdevices")


@unittest.skipUnless(WINDOWS and os.path.isdir(WINE_DEVICES), "the Windows build under wine")
class DriveRoot(TreeTest):
    def test_a_drive_root_is_walked_and_keeps_its_time(self):
        # Drive Q: of the wine prefix stands for the tree. "Q:\\" becomes "Q:",
        # which alone would name Q's current folder: here sub, which the walk
        # would then meet again as a loop.
        top = self.tree({"a": "a", "sub/b": "b", "sub/inner/": None})
        drive = os.path.join(WINE_DEVICES, "q:")
        if os.path.lexists(drive):
            self.skipTest("drive Q: is taken")
        os.symlink(top, drive)
        self.addCleanup(os.unlink, drive)
        times = folder_times(top)
        out, code = run("-sfv", "Q:\\", cwd=os.path.join(top, "sub"))
        self.assertEqual(code, 0, out)
        # The root's own digest file would be "Q:\\Q:.sfv", a stream of a file "Q":
        # the root gets none, so its files are passed over.
        self.assertEqual(printed(out), [b"b"])
        self.assertEqual(sorted(os.listdir(top)), ["a", "sub"])
        self.assertEqual(read(os.path.join(top, "sub", "sub.sfv")), line("sfv", b"b", b"b"))
        self.assertEqual(folder_times(top), times)


if __name__ == "__main__":
    unittest.main()
