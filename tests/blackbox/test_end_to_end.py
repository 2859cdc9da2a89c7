"""End-to-end scenarios: the built program over fresh temporary trees."""
import hashlib
import os
import resource
import shutil
import signal
import subprocess
import unittest
import zlib

from harness import BANNER, SEP, WINDOWS, TreeTest, folder_times, read, run, write

USAGE_HEAD = (b'Usage: quillmar.exe [options] <path>\nExample: quillmar.exe -sha256 "D:\\Backup"\n' if WINDOWS else
              b'Usage: quillmar [options] <path>\nExample: quillmar -sha256 "/backup"\n')
USAGE = USAGE_HEAD + (
    b"\nOptions:\n   -sfv\n   -md5\n   -sha1\n   -sha256\n   -sha512\n"
    b"      Specify hash algorithms.\n      Default is: -sfv -md5 -sha1 -sha256\n\n"
    b"   -bufsize <size>\n      Specify buffer size in bytes\n      Default is: -bufsize 8388608\n\n"
    b"   -nosubfolders\n      Ignore subfolders\n      Default is to recurse subfolders.\n\n")

EXTENSIONS = ["sfv", "md5", "sha1", "sha256", "sha512"]
DEFAULT = ["sfv", "md5", "sha1", "sha256"]


def expected_line(alg, name, data):
    """The digest line quillmar must write, computed independently."""
    raw = name.encode() if isinstance(name, str) else name
    if alg == "sfv":
        return raw + b" %08x\r\n" % zlib.crc32(data)
    return hashlib.new(alg).hexdigest().encode() if False else \
        hashlib.new(alg, data).hexdigest().encode() + b" " + raw + b"\r\n"


def digest_file(folder, alg):
    return os.path.join(folder, os.path.basename(folder) + "." + alg)


class CommandLine(TreeTest):
    def test_refused_command_lines_print_the_usage_text(self):
        folder = self.tree({"a": "x"})
        cases = [[], ["-sha1", "-nosubfolders"], [folder, "-bufsize"], [folder, folder],
                 ["-md5", folder, "-s", "other"], ["-bufsize", "0", folder]]
        for args in cases:
            with self.subTest(args=args):
                out, code = run(*args)
                self.assertEqual(out, BANNER + USAGE)
                self.assertEqual(code, 2)
        self.assertFalse(os.path.exists(digest_file(folder, "sfv")))

    def test_a_missing_folder_gives_the_banner_alone(self):
        out, code = run(self.path("nothing-here"))
        self.assertEqual((out, code), (BANNER, 0))

    def test_a_negative_bufsize_ends_out_of_memory(self):
        folder = self.tree({"a": "x"})
        out, code = run("-bufsize", "-1", folder)
        self.assertEqual((out, code), (BANNER + b"Out of memory 4294967295\n", 1))


class DigestFiles(TreeTest):
    def test_each_kind_of_digest_file_holds_exact_lines(self):
        files = {"check.txt": b"123456789", "empty": b"", "caf\u00e9 au lait.bin": bytes(range(256)) * 70,
                 "noext": b"n", "ends.": b"dot"}
        folder = self.tree(files)
        out, code = run("-sfv", "-md5", "-sha1", "-sha256", "-sha512", folder)
        self.assertEqual(code, 0)
        self.assertTrue(out.startswith(BANNER))
        printed = out[len(BANNER):].split(b"\n")[:-1]
        self.assertEqual(sorted(printed), sorted(n.encode() for n in files))
        order = [p.decode() for p in printed]
        for alg in EXTENSIONS:
            content = read(digest_file(folder, alg))
            self.assertEqual(content, b"".join(expected_line(alg, n, files[n]) for n in order), alg)
        sfv = read(digest_file(folder, "sfv"))
        self.assertIn(b"check.txt cbf43926\r\n", sfv)
        self.assertIn(b"d41d8cd98f00b204e9800998ecf8427e empty\r\n", read(digest_file(folder, "md5")))
        self.assertIn("caf\u00e9".encode(), sfv)

    def test_line_lengths_grow_with_the_name(self):
        overhead = {"sfv": 11, "md5": 35, "sha1": 43, "sha256": 67, "sha512": 131}
        names = ["n" * 200, "\u00e9" * 120]  # 200 and 240 UTF-8 bytes: beyond any 260-byte line buffer
        folder = self.tree({n: n for n in names})
        run("-sfv", "-md5", "-sha1", "-sha256", "-sha512", folder)
        for alg, extra in overhead.items():
            lines = read(digest_file(folder, alg)).split(b"\r\n")[:-1]
            lengths = sorted(len(line) + 2 for line in lines)
            self.assertEqual(lengths, sorted(len(n.encode()) + extra for n in names), alg)

    def test_digest_extensions_are_never_hashed_in_any_folder(self):
        folder = self.tree({"notes.md5": "m", ".sfv": "s", "x.sha1": "1", "x.sha256": "2", "x.sha512": "5",
                            "NOTES.MD5": "M", "data.Sfv": "S", "a.sfv.txt": "t", "old.md5/inner": "i"})
        out, code = run(folder)
        self.assertEqual(code, 0)
        listed = sorted(out[len(BANNER):].split(b"\n")[:-1])
        self.assertEqual(listed, [b"NOTES.MD5", b"a.sfv.txt", b"data.Sfv", b"inner"])
        self.assertTrue(os.path.exists(os.path.join(folder, "old.md5", "old.md5.md5")))

    def test_folders_without_files_get_no_digest_files(self):
        folder = self.tree({"only/sub/": None, "digests/x.md5": "m"})
        run(folder)
        for dirpath, _, filenames in os.walk(folder):
            self.assertEqual([f for f in filenames if not f.endswith(".md5")], [], dirpath)

    def test_a_second_run_changes_nothing(self):
        folder = self.tree({"a": "1", "b": "2", "sub/c": "3"})
        run(folder)
        before = {p: read(p) for p in self.all_files(folder)}
        times = folder_times(folder)
        out, code = run(folder)
        self.assertEqual((out, code), (BANNER, 0))
        self.assertEqual({p: read(p) for p in self.all_files(folder)}, before)
        self.assertEqual(folder_times(folder), times)

    def test_empty_digest_files_are_replaced_and_full_ones_kept(self):
        folder = self.tree({"a": "alpha", "Top.sfv": b"", "Top.md5": b"keep me\r\n"})
        out, code = run(folder)
        self.assertEqual(code, 0)
        self.assertEqual(read(digest_file(folder, "sfv")), expected_line("sfv", "a", b"alpha"))
        self.assertEqual(read(digest_file(folder, "md5")), b"keep me\r\n")
        self.assertEqual(read(digest_file(folder, "sha1")), expected_line("sha1", "a", b"alpha"))

    def test_a_later_algorithm_fills_the_gap_only(self):
        folder = self.tree({"a": "alpha", "b": "beta"})
        run("-sfv", folder)
        sfv = read(digest_file(folder, "sfv"))
        out, code = run("-sfv", "-md5", folder)
        self.assertEqual(code, 0)
        self.assertEqual(read(digest_file(folder, "sfv")), sfv)
        md5 = read(digest_file(folder, "md5"))
        self.assertEqual(sorted(md5.split(b"\r\n")[:-1]),
                         sorted(expected_line("md5", n, d)[:-2] for n, d in [("a", b"alpha"), ("b", b"beta")]))
        self.assertFalse(os.path.exists(digest_file(folder, "sha1")))

    def test_sha512_alone_is_only_sha512(self):
        folder = self.tree({"a": "alpha"})
        run("-SHA512", folder)
        self.assertEqual(sorted(os.listdir(folder)), ["Top.sha512", "a"])

    def all_files(self, top):
        return [os.path.join(d, f) for d, _, fs in os.walk(top) for f in fs]


class Walk(TreeTest):
    def test_every_folder_time_is_restored_to_the_nanosecond(self):
        folder = self.tree({"a": "1", "sub/b": "2", "sub/deeper/c": "3", "sub/empty/": None, "x/y/z/d": "4"})
        times = folder_times(folder)
        out, code = run(folder)
        self.assertEqual(code, 0)
        self.assertTrue(os.path.exists(os.path.join(folder, "sub", "deeper", "deeper.sfv")))
        self.assertEqual(folder_times(folder), times)

    def test_nosubfolders_stays_in_the_top_folder(self):
        folder = self.tree({"a": "1", "sub/b": "2"})
        for option in ["-nosubfolders", "/S", "-s"]:
            with self.subTest(option=option):
                out, code = run(option, folder)
                self.assertEqual((out, code), (BANNER + b"a\n", 0))
                self.assertFalse(os.path.exists(os.path.join(folder, "sub", "sub.sfv")))
                os.remove(digest_file(folder, "sfv"))
                for alg in ["md5", "sha1", "sha256"]:
                    os.remove(digest_file(folder, alg))

    def test_lines_follow_the_listing_and_bufsize_changes_no_digest(self):
        data = {"big": os.urandom(300000), "small": b"s", "zero": b""}
        folder = self.tree(data)
        run("-bufsize", "4093", folder)
        small_blocks = read(digest_file(folder, "sha256"))
        os.remove(digest_file(folder, "sfv"))
        for alg in ["md5", "sha1", "sha256"]:
            os.remove(digest_file(folder, alg))
        run(folder)
        self.assertEqual(read(digest_file(folder, "sha256")), small_blocks)

    def test_paths_are_given_in_any_form(self):
        folder = self.tree({"a": "1"})
        parent = os.path.dirname(folder)
        out, code = run("Top" + SEP, cwd=parent)
        self.assertEqual(code, 0)
        self.assertTrue(os.path.exists(digest_file(folder, "md5")))


@unittest.skipIf(WINDOWS, "POSIX file-system faults")
class Faults(TreeTest):
    def test_a_dangling_link_stops_the_run_after_its_progress_line(self):
        folder = self.tree({})
        os.symlink(self.path("gone"), os.path.join(folder, "link"))
        out, code = run(folder)
        self.assertEqual(code, 4)
        self.assertEqual(out, BANNER + b"link\nOpen " + folder.encode() + b"/link\n")

    def test_a_full_disk_stops_the_run_with_whole_lines_only(self):
        names = ["file%03d" % i for i in range(40)]
        folder = self.tree({n: n for n in names})

        def limit():
            signal.signal(signal.SIGXFSZ, signal.SIG_IGN)
            resource.setrlimit(resource.RLIMIT_FSIZE, (500, 500))

        out, code = run("-md5", folder, preexec_fn=limit)
        self.assertEqual(code, 5)
        self.assertTrue(out.endswith(b"\nWriteFile\n"))
        content = read(digest_file(folder, "md5"))
        self.assertLessEqual(len(content), 500)
        self.assertTrue(content.endswith(b"\r\n"))
        for line in content.split(b"\r\n")[:-1]:
            self.assertEqual(len(line), 32 + 1 + 7)


@unittest.skipIf(WINDOWS or not shutil.which("rhash"), "needs rhash")
class IndependentCheck(TreeTest):
    def test_rhash_and_coreutils_accept_every_digest_file(self):
        files = {"a.txt": "alpha", "b c": "with space", "empty": "", "\u00fcml\u00e4ut": "umlaut",
                 "big.bin": os.urandom(1 << 20), "sub/x": "x", "sub/deeper/y": os.urandom(70000),
                 "sub/NOTES.MD5": "not a digest file"}
        folder = self.tree(files)
        out, code = run("-sfv", "-md5", "-sha1", "-sha256", "-sha512", folder)
        self.assertEqual(code, 0)
        checked = 0
        for dirpath, _, filenames in os.walk(folder):
            name = os.path.basename(dirpath)
            for alg in EXTENSIONS:
                f = name + "." + alg
                if f not in filenames:
                    continue
                checked += 1
                r = subprocess.run(["rhash", "-c", f], cwd=dirpath, capture_output=True)
                self.assertEqual(r.returncode, 0, (dirpath, f, r.stdout, r.stderr))
                if alg != "sfv":
                    r = subprocess.run([alg + "sum", "-c", "--strict", f], cwd=dirpath, capture_output=True)
                    self.assertEqual(r.returncode, 0, (dirpath, f, r.stdout, r.stderr))
        self.assertEqual(checked, 3 * 5)


if __name__ == "__main__":
    unittest.main()
