"""Strange trees and faults on POSIX: link loops, deep trees and long paths, entries
that are not files, odd names, and files that vanish, fail or stand in the way."""
import ctypes
import hashlib
import os
import resource
import select
import shutil
import signal
import stat
import struct
import subprocess
import unittest
import zlib

from harness import BANNER, PROGRAM, WINDOWS, TreeTest, folder_times, read, run, set_mtime_ns, write

ALL = ["sfv", "md5", "sha1", "sha256", "sha512"]
DEFAULT = ["sfv", "md5", "sha1", "sha256"]
OLD_TIME = 1000000000123456789


def line(alg, name, data):
    """The digest line for a file of that name (bytes) and content, computed independently."""
    if alg == "sfv":
        return name + b" %08x\r\n" % zlib.crc32(data)
    return hashlib.new(alg, data).hexdigest().encode() + b" " + name + b"\r\n"


def printed(out):
    """The lines quillmar printed after its banner."""
    assert out.startswith(BANNER), out
    return out[len(BANNER):].split(b"\n")[:-1]


# Folders are reached through directory descriptors, so paths may pass PATH_MAX.

def open_dir(name, parent=None):
    return os.open(name, os.O_RDONLY | os.O_DIRECTORY, dir_fd=parent)


def make_chain(top, names, file_at):
    """Makes the folders names[0]/names[1]/... below top; file_at(level) gives the
    content of a file "f" in the folder names[level], or None for no file. Every
    folder gets an old, odd time."""
    fd = open_dir(top)
    for level, name in enumerate(names):
        os.mkdir(name, dir_fd=fd)
        child = open_dir(name, fd)
        os.close(fd)
        fd = child
        content = file_at(level)
        if content is not None:
            f = os.open("f", os.O_WRONLY | os.O_CREAT, 0o644, dir_fd=fd)
            os.write(f, content)
            os.close(f)
    os.close(fd)
    fd = open_dir(top)
    for level, name in enumerate(names):
        child = open_dir(name, fd)
        os.close(fd)
        fd = child
        os.utime(fd, ns=(OLD_TIME, OLD_TIME + level * 1000000007))
    os.close(fd)


def walk_chain(top, names):
    """Yields (level, fd) for each folder of the chain; the fd is closed afterwards."""
    fd = open_dir(top)
    for level, name in enumerate(names):
        child = open_dir(name, fd)
        os.close(fd)
        fd = child
        yield level, fd
    os.close(fd)


def read_at(fd, name):
    try:
        f = os.open(name, os.O_RDONLY, dir_fd=fd)
    except FileNotFoundError:
        return None
    with os.fdopen(f, "rb") as stream:
        return stream.read()


class OpenGate:
    """A fanotify watch on one file: whoever opens it waits until release() is called."""

    FAN_CLASS_CONTENT, FAN_MARK_ADD, FAN_OPEN_PERM, FAN_ALLOW = 0x4, 0x1, 0x10000, 0x1

    def __init__(self, path):
        libc = ctypes.CDLL(None, use_errno=True)
        libc.fanotify_mark.argtypes = [ctypes.c_int, ctypes.c_uint, ctypes.c_uint64, ctypes.c_int, ctypes.c_char_p]
        self.fd = libc.fanotify_init(self.FAN_CLASS_CONTENT, os.O_RDONLY | os.O_CLOEXEC)
        if self.fd < 0:
            raise unittest.SkipTest("fanotify is not available here (needs CAP_SYS_ADMIN)")
        if libc.fanotify_mark(self.fd, self.FAN_MARK_ADD, self.FAN_OPEN_PERM, -100, os.fsencode(path)) != 0:
            os.close(self.fd)
            raise unittest.SkipTest("fanotify open permission events are not available here")
        self.event_fd = -1

    def wait(self, timeout=60):
        """Waits for the open; returns the opening process's id."""
        ready, _, _ = select.select([self.fd], [], [], timeout)
        if not ready:
            raise AssertionError("the watched file was never opened")
        _, _, _, _, _, self.event_fd, pid = struct.unpack("IBBHQii", os.read(self.fd, 4096)[:24])
        return pid

    def release(self):
        if self.event_fd >= 0:
            os.write(self.fd, struct.pack("iI", self.event_fd, self.FAN_ALLOW))
            os.close(self.event_fd)
            self.event_fd = -1

    def close(self):
        self.release()
        os.close(self.fd)


@unittest.skipIf(WINDOWS, "POSIX trees")
class Loops(TreeTest):
    def test_links_back_into_the_tree_are_met_once_and_passed_over(self):
        # files: {relative path: content}; links: {relative path: target};
        # loops: where "Loop" is met; hashed: {digest file: names in it}
        cases = {
            "link to the parent": dict(
                files={"a/f": "f", "g": "g"}, links={"a/up": ".."},
                loops=["a/up"], hashed={"Top": ["g"], "a/a": ["f"]}),
            "loop through two folders": dict(
                files={"x/f": "f", "x/y/h": "h"}, links={"x/y/back": "../../x"},
                loops=["x/y/back"], hashed={"x/x": ["f"], "x/y/y": ["h"]}),
            "link to the top by its full path": dict(
                files={"a/b/f": "f"}, links={"a/b/top": "TOP"},
                loops=["a/b/top"], hashed={"a/b/b": ["f"]}),
            "two folders linking each other": dict(
                files={"A/fa": "a", "B/fb": "b"}, links={"A/toB": "../B", "B/toA": "../A"},
                loops=["A/toB/toA", "B/toA/toB"],
                hashed={"A/A": ["fa"], "B/B": ["fb"], "B/toB": ["fb"], "A/toA": ["fa"]}),
        }
        for title, case in cases.items():
            with self.subTest(title):
                top = self.tree(case["files"], top=title.replace(" ", "_") + "/Top")
                for rel, target in case["links"].items():
                    os.symlink(top if target == "TOP" else target, os.path.join(top, rel))
                times = folder_times(top)
                out, code = run("-md5", top, timeout=60)
                self.assertEqual(code, 0, out)
                lines = printed(out)
                loops = sorted(l for l in lines if l.startswith(b"Loop "))
                self.assertEqual(loops, sorted(b"Loop " + os.path.join(top, rel).encode() for rel in case["loops"]))
                names = sorted(l for l in lines if not l.startswith(b"Loop "))
                self.assertEqual(names, sorted(n.encode() for ns in case["hashed"].values() for n in ns))
                for digest, ns in case["hashed"].items():
                    folder = os.path.dirname(os.path.join(top, digest))
                    content = read(os.path.join(top, digest + ".md5"))
                    expected = [line("md5", n.encode(), read(os.path.join(folder, n))) for n in ns]
                    self.assertEqual(sorted(content.splitlines(True)), sorted(expected), digest)
                self.assertEqual(folder_times(top), times)


@unittest.skipIf(WINDOWS, "POSIX trees")
class DeepTrees(TreeTest):
    def setUp(self):
        super().setUp()
        # Python's own tree removal recurses; rm does not mind the depth.
        self.addCleanup(subprocess.run, ["rm", "-rf", self.tmp])

    def check_chain(self, top, names, contents, algs):
        for level, fd in walk_chain(top, names):
            self.assertEqual(os.stat(fd).st_mtime_ns, OLD_TIME + level * 1000000007, level)
            for alg in algs:
                expected = line(alg, b"f", contents[level]) if contents[level] is not None else None
                self.assertEqual(read_at(fd, names[level] + "." + alg), expected, (level, alg))

    def test_a_tree_2000_folders_deep_is_walked_to_the_bottom(self):
        depth = 2000
        # Each level holds its listing and up to one digest file per algorithm open.
        needed = depth * (1 + len(DEFAULT)) + 100
        if resource.getrlimit(resource.RLIMIT_NOFILE)[1] < needed:
            self.skipTest("needs %d open files" % needed)
        top = self.path("Top")
        os.mkdir(top)
        names = ["d"] * depth
        contents = [str(level).encode() for level in range(depth)]
        make_chain(top, names, lambda level: contents[level])
        top_time = os.stat(top).st_mtime_ns
        out, code = run(top, timeout=300)
        self.assertEqual(code, 0)
        self.assertEqual(out, BANNER + b"f\n" * depth)
        self.assertEqual(os.stat(top).st_mtime_ns, top_time)
        self.check_chain(top, names, contents, DEFAULT)

    def test_running_out_of_open_files_ends_the_run(self):
        # Passing a folder or digest file over for want of descriptors would
        # leave part of the tree unhashed with exit code 0.
        top = self.path("Top")
        os.mkdir(top)
        depth = 60
        make_chain(top, ["d"] * depth, lambda level: b"%d" % level)

        def limit():
            resource.setrlimit(resource.RLIMIT_NOFILE, (64, 64))

        out, code = run(top, preexec_fn=limit)
        self.assertEqual(code, 1)
        self.assertTrue(out.endswith(b"Too many open files\n"), out[-200:])

    def test_paths_beyond_8000_bytes_are_walked(self):
        names = ["%02d" % level + "\u00e9" * 100 + "n" * 18 for level in range(38)]  # 220 bytes each
        top = self.path("Top")
        os.mkdir(top)
        contents = [b"%d" % level if level % 5 == 0 or level > 32 else None for level in range(len(names))]
        make_chain(top, names, lambda level: contents[level])
        self.assertGreater(len(top) + sum(len(n.encode()) + 1 for n in names), 8000)
        top_time = os.stat(top).st_mtime_ns
        out, code = run(*["-" + a for a in ALL], top, timeout=120)
        self.assertEqual(code, 0)
        self.assertEqual(out, BANNER + b"f\n" * sum(c is not None for c in contents))
        self.assertEqual(os.stat(top).st_mtime_ns, top_time)
        self.check_chain(top, names, contents, ALL)

    def test_the_walk_stops_at_the_string_bound_and_goes_on(self):
        bound = 32767
        names = ["%03d" % level + "n" * 247 for level in range(140)]  # 250 bytes each
        top = self.path("Top")
        os.mkdir(top)
        make_chain(top, names, lambda level: b"x")
        lengths = [len(top) + (level + 1) * 251 for level in range(len(names))]
        walked = [n <= bound for n in lengths]
        first_passed = walked.index(False)
        out, code = run("-sfv", top, timeout=120)
        self.assertEqual(code, 0)
        # A level is hashed when both its digest file's path and the file's path fit the bound.
        hashed = [w and n + 1 + 250 + 4 <= bound for w, n in zip(walked, lengths)]
        self.assertEqual(sorted(printed(out)), [b"Skipped " + names[first_passed].encode()] + [b"f"] * sum(hashed))
        for level, fd in walk_chain(top, names):
            self.assertEqual(os.stat(fd).st_mtime_ns, OLD_TIME + level * 1000000007, level)
            self.assertEqual(read_at(fd, names[level] + ".sfv") is not None, hashed[level], level)


@unittest.skipIf(WINDOWS, "POSIX entry kinds")
class SpecialEntries(TreeTest):
    def test_fifos_sockets_and_devices_are_skipped_without_hanging(self):
        top = self.tree({"plain": "p", "sub/inner": "i"})
        os.mkfifo(os.path.join(top, "fifo"))
        os.mknod(os.path.join(top, "socket"), stat.S_IFSOCK | 0o600)
        os.symlink("fifo", os.path.join(top, "link to fifo"))
        os.mkfifo(os.path.join(top, "sub", "pipe.md5"))  # a digest extension: passed over silently
        skipped = [b"fifo", b"socket", b"link to fifo"]
        try:
            os.mknod(os.path.join(top, "zero"), stat.S_IFCHR | 0o600, os.makedev(1, 5))
            os.mknod(os.path.join(top, "loop"), stat.S_IFBLK | 0o600, os.makedev(7, 0))
            os.symlink("/dev/zero", os.path.join(top, "link to zero"))
            skipped += [b"zero", b"loop", b"link to zero"]
        except PermissionError:
            pass  # no device nodes without CAP_MKNOD
        times = folder_times(top)
        out, code = run("-sfv", "-md5", top, timeout=60)
        self.assertEqual(code, 0)
        lines = printed(out)
        self.assertEqual(sorted(lines), sorted([b"plain", b"inner"] + [b"Skipped " + n for n in skipped]))
        self.assertEqual(read(os.path.join(top, "Top.md5")), line("md5", b"plain", b"p"))
        self.assertEqual(read(os.path.join(top, "sub", "sub.sfv")), line("sfv", b"inner", b"i"))
        self.assertEqual(folder_times(top), times)


@unittest.skipIf(WINDOWS, "POSIX names")
class Names(TreeTest):
    NAMES = [b"n" * 255, ("\u00e9" * 127 + "n").encode(), "\U0001F600 \u4e2d\u6587".encode(),
             b"bad\xff\xfe name", b"cut \xc3", b"\xe9t\xe9 latin-1", b" lead", b"trail ", b"  both  ",
             b"-dash", b"-md5", b"--", b"tab\there", b"back\\slash", b";semi", b"#hash", b"star*?"]
    BROKEN = [b"line\nfeed", b"carriage\rreturn", b"\n"]

    def make(self, folder_name):
        top = self.path(os.fsdecode(folder_name))
        os.mkdir(top)
        for name in self.NAMES + self.BROKEN:
            write(os.path.join(os.fsencode(top), name), name)
        return top

    def test_each_line_holds_the_name_as_its_bytes(self):
        for folder_name in [b"Top", b"caf\xc3\xa9", b"bad\xff", b"-dash folder"]:
            with self.subTest(folder=folder_name):
                top = self.make(folder_name)
                set_mtime_ns(top, OLD_TIME)
                out, code = run(*["-" + a for a in ALL], top)
                self.assertEqual(code, 0)
                lines = printed(out)
                shown = [b"Skipped line?feed", b"Skipped carriage?return", b"Skipped ?"]
                self.assertEqual(sorted(lines), sorted(self.NAMES + shown))
                order = [l for l in lines if not l.startswith(b"Skipped ")]
                for alg in ALL:
                    content = read(os.path.join(os.fsencode(top), folder_name + b"." + alg.encode()))
                    self.assertEqual(content, b"".join(line(alg, n, n) for n in order), alg)
                self.assertEqual(os.stat(top).st_mtime_ns, OLD_TIME)

    @unittest.skipIf(not shutil.which("rhash"), "needs rhash")
    def test_checkers_find_every_file_again(self):
        top = self.make(b"Top")
        out, code = run(*["-" + a for a in ALL], top)
        self.assertEqual(code, 0)
        for alg in ALL:
            digest = "Top." + alg
            if alg != "sfv":
                r = subprocess.run([alg + "sum", "-c", "--strict", digest], cwd=top, capture_output=True)
                self.assertEqual(r.returncode, 0, (digest, r.stdout, r.stderr))
            # rhash cannot read a name with a space at either end or a backslash,
            # and an .sfv line that begins with ';' or '#' is a comment to it.
            r = subprocess.run(["rhash", "-c", digest], cwd=top, capture_output=True)
            found = {l.rstrip()[:-2].rstrip() for l in r.stdout.splitlines() if l.rstrip().endswith(b" OK")}
            readable = [n for n in self.NAMES if n.strip(b" ") == n and b"\\" not in n
                        and not (alg == "sfv" and n[:1] in (b";", b"#"))]
            self.assertEqual(sorted(n for n in readable if n not in found), [], (digest, r.stdout))

    def test_a_folder_name_too_long_for_its_digest_files(self):
        # 255 bytes plus ".sfv" is beyond the longest name a folder may hold: no digest
        # file can be created, so its files are passed over; the run goes on.
        top = self.tree({"n" * 255 + "/a": "a", "ok/b": "b"})
        times = folder_times(top)
        out, code = run(top)
        self.assertEqual((out, code), (BANNER + b"b\n", 0))
        self.assertEqual(os.listdir(os.path.join(top, "n" * 255)), ["a"])
        self.assertEqual(folder_times(top), times)


def limit_file_size(size):
    def apply():
        signal.signal(signal.SIGXFSZ, signal.SIG_IGN)
        resource.setrlimit(resource.RLIMIT_FSIZE, (size, size))
    return apply


def as_nobody():
    return ["setpriv", "--reuid=65534", "--regid=65534", "--clear-groups", "--"]


@unittest.skipIf(WINDOWS, "POSIX faults")
class Faults(TreeTest):
    def test_a_full_disk_leaves_only_whole_lines_in_every_digest_file(self):
        files = {"file%02d" % i: os.urandom(i * 3) for i in range(12)}
        # Room for nothing; for exactly two .sfv lines of 17 bytes; lines cut in several files.
        cases = [(ALL, 0), (["sfv"], 17 * 2), (ALL, 100), (ALL, 131 + 6)]
        for algs, size in cases:
            with self.subTest(algs=algs, size=size):
                top = self.tree(files, top="%s%d/Top" % (len(algs), size))
                out, code = run(*["-" + a for a in algs], top, preexec_fn=limit_file_size(size))
                self.assertEqual(code, 5)
                self.assertTrue(out.endswith(b"\nWriteFile\n"), out)
                order = [n.decode() for n in printed(out)[:-1]]
                for alg in algs:
                    content = read(os.path.join(top, "Top." + alg))
                    expected = b"".join(line(alg, n.encode(), files[n]) for n in order)
                    self.assertLessEqual(len(content), size)
                    self.assertTrue(expected.startswith(content), alg)
                    self.assertTrue(content == b"" or content.endswith(b"\r\n"), alg)

    def test_a_file_that_changes_between_listing_and_opening(self):
        # The test holds quillmar's creation of the digest file, which comes after the
        # file was listed and before it is opened, and changes the file meanwhile.
        changes = {
            "vanished": lambda p: os.unlink(p),
            "replaced by a fifo": lambda p: (os.unlink(p), os.mkfifo(p)),
            "replaced by a folder": lambda p: (os.unlink(p), os.mkdir(p)),
            "replaced by a link to a device": lambda p: (os.unlink(p), os.symlink("/dev/zero", p)),
        }
        for title, change in changes.items():
            with self.subTest(title):
                top = self.tree({"victim": "data", "Top.md5": ""}, top=title.replace(" ", "_") + "/Top")
                victim = os.path.join(top, "victim")
                gate = OpenGate(os.path.join(top, "Top.md5"))
                p = subprocess.Popen(PROGRAM + ["-md5", top], stdout=subprocess.PIPE, stderr=subprocess.PIPE)
                try:
                    try:
                        self.assertEqual(gate.wait(), p.pid)
                        change(victim)
                    finally:
                        gate.release()
                    out, _ = p.communicate(timeout=60)
                finally:
                    if p.poll() is None:  # a hang: end it, the test has failed
                        p.kill()
                        p.communicate()
                    gate.close()
                self.assertEqual(p.returncode, 4)
                self.assertEqual(out, BANNER + b"victim\nOpen " + victim.encode() + b"\n")

    def test_a_file_that_cannot_be_read(self):
        # The process's own memory: a regular file whose read at offset 0 fails with EIO.
        top = self.tree({"sub/a": "a"})
        os.symlink("/proc/self/mem", os.path.join(top, "sub", "mem"))
        out, code = run("-md5", top)
        self.assertEqual(code, 4)
        self.assertTrue(out.endswith(b"mem\nRead " + os.path.join(top, "sub", "mem").encode() + b"\n"), out)
        content = read(os.path.join(top, "sub", "sub.md5"))
        self.assertIn(content, [b"", line("md5", b"a", b"a")])
        self.assertNotIn(b"mem", content)

    def test_a_digest_file_name_taken_by_something_else(self):
        outside = self.path("outside")
        obstacles = {
            "a folder": lambda p: os.mkdir(p),
            "a fifo": lambda p: os.mkfifo(p),
            "a dangling link": lambda p: os.symlink(outside, p),
            "a link to an empty file": lambda p: (write(outside, b""), os.symlink(outside, p)),
            "a link to a full file": lambda p: (write(outside, b"kept"), os.symlink(outside, p)),
        }
        for title, make in obstacles.items():
            with self.subTest(title):
                if os.path.lexists(outside):
                    os.unlink(outside)
                top = self.tree({"a": "alpha"}, top=title.replace(" ", "_") + "/Top")
                make(os.path.join(top, "Top.md5"))
                before = read(outside) if os.path.exists(outside) else None
                kind = os.lstat(os.path.join(top, "Top.md5")).st_mode
                times = folder_times(top)
                out, code = run("-md5", "-sha1", top, timeout=60)
                self.assertEqual((out, code), (BANNER + b"a\n", 0))
                self.assertEqual(read(os.path.join(top, "Top.sha1")), line("sha1", b"a", b"alpha"))
                self.assertEqual(os.lstat(os.path.join(top, "Top.md5")).st_mode, kind)
                self.assertEqual(read(outside) if os.path.exists(outside) else None, before)
                self.assertEqual(folder_times(top), times)

    def test_closed_standard_streams_never_reach_a_digest_file(self):
        # A descriptor number left free by a closed stream is the next one a file
        # gets; progress lines must not land in a digest file that took it.
        for closed in [(1,), (0, 1, 2)]:
            with self.subTest(closed=closed):
                top = self.tree({"a": "alpha", "sub/b": "beta"}, top="closed%d/Top" % len(closed))

                def close():
                    for fd in closed:
                        os.close(fd)

                _, code = run("-md5", top, preexec_fn=close)
                self.assertEqual(code, 0)
                self.assertEqual(read(os.path.join(top, "Top.md5")), line("md5", b"a", b"alpha"))
                self.assertEqual(read(os.path.join(top, "sub", "sub.md5")), line("md5", b"b", b"beta"))

    @unittest.skipIf(not shutil.which("setpriv"), "needs setpriv")
    def test_a_folder_that_cannot_be_listed(self):
        # Root lists any folder, so quillmar runs as nobody here.
        os.chmod(self.tmp, 0o755)
        top = self.tree({"a": "a", "mine/x": "x", "roots/y": "y", "z/b": "b"})
        for dirpath, dirnames, filenames in os.walk(top):
            for n in [dirpath] + [os.path.join(dirpath, f) for f in filenames]:
                os.chown(n, 65534, 65534)
        os.chown(os.path.join(top, "roots"), 0, 0)
        for locked in ["mine", "roots"]:
            os.chmod(os.path.join(top, locked), 0)
        times = folder_times(top)
        out, code = self.run_as_nobody("-md5", top)
        self.assertEqual(code, 0, out)
        # Each locked folder's time restore is still tried: on the folder that is not
        # nobody's it fails and says so.
        self.assertEqual(sorted(printed(out)), [b"FAILED TO SET FILETIME roots", b"a", b"b"])
        self.assertEqual(read(os.path.join(top, "Top.md5")), line("md5", b"a", b"a"))
        self.assertEqual(read(os.path.join(top, "z", "z.md5")), line("md5", b"b", b"b"))
        self.assertEqual(folder_times(top), times)

    def run_as_nobody(self, *args):
        result = subprocess.run(as_nobody() + PROGRAM + list(args), stdout=subprocess.PIPE,
                                stderr=subprocess.PIPE, timeout=60)
        return result.stdout, result.returncode


if __name__ == "__main__":
    unittest.main()
