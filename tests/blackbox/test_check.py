"""quillmar-check over trees written by quillmar and by peer tools.

The checker's command comes from QUILLMAR_CHECK_CMD (default:
build/quillmar-check), beside QUILLMAR_CMD for quillmar itself, so the same
scenarios run against the Windows build under wine64.
"""
import hashlib
import os
import shlex
import shutil
import subprocess
import unittest
import zlib

from harness import ROOT, SEP, WINDOWS, TreeTest, argument, folder_times, read, run, write

CHECK = shlex.split(os.environ.get("QUILLMAR_CHECK_CMD", os.path.join(ROOT, "build", "quillmar-check")))
CHECK_BANNER = b"quillmar-check 1.0.1.1 (2022)\n"
USAGE_HEAD = (b'Usage: quillmar-check.exe [options] <path>\nExample: quillmar-check.exe -sha256 "D:\\Backup"\n'
              if WINDOWS else b'Usage: quillmar-check [options] <path>\nExample: quillmar-check -sha256 "/backup"\n')
USAGE = USAGE_HEAD + (
    b"\nOptions:\n   -sfv\n   -md5\n   -sha1\n   -sha256\n   -sha512\n"
    b"      Specify digest files to check.\n      Default is every one found: -sfv -md5 -sha1 -sha256 -sha512\n\n"
    b"   -bufsize <size>\n      Specify buffer size in bytes\n      Default is: -bufsize 8388608\n\n"
    b"   -nosubfolders\n      Ignore subfolders\n      Default is to recurse subfolders.\n\n"
    b"   -quiet\n      Print no line for a file that checks out\n      Default is to print every file.\n\n")
ALL = ["-sfv", "-md5", "-sha1", "-sha256", "-sha512"]


def check_argument(a):
    """An argument in the program's form; /quiet is an option, not a path."""
    return str(a) if str(a)[1:].lower() == "quiet" else argument(a)


def check(*args, cwd=None):
    """Runs quillmar-check; returns (stdout lines after the banner, exit code)."""
    r = subprocess.run(CHECK + [check_argument(a) for a in args], cwd=cwd, stdout=subprocess.PIPE,
                       stderr=subprocess.PIPE, timeout=300)
    if WINDOWS:
        r.stdout = r.stdout.replace(b"\r\n", b"\n")  # a text-mode console stream
    assert r.stdout.startswith(CHECK_BANNER), r.stdout
    return r.stdout[len(CHECK_BANNER):].decode("utf-8", "replace").splitlines(), r.returncode


def rel(*parts):
    return SEP.join(parts)


def snapshot(top):
    """Every file's bytes and every folder's last-write time: what a check must leave alone."""
    files = {}
    for dirpath, _, filenames in os.walk(top):
        for f in filenames:
            p = os.path.join(dirpath, f)
            files[p] = read(p)
    return files, folder_times(top)


FILES = {"a.txt": "alpha", "b c.txt": "with space", "empty": "", "\u00fcml\u00e4ut": "umlaut",
         "big.bin": os.urandom(3 << 20), "sub/x": "x", "sub/deeper/y": os.urandom(70000),
         "sub/deeper/z": "zed", "notes.MD5": "not a digest file"}


class CommandLine(TreeTest):
    def test_refused_command_lines_print_the_usage_text(self):
        folder = self.tree({"a": "x"})
        cases = [[], ["-md5", "-quiet"], [folder, "-bufsize"], [folder, folder], ["-bufsize", "0", folder],
                 [folder, "--quiet"]]
        for args in cases:
            with self.subTest(args=args):
                r = subprocess.run(CHECK + [check_argument(a) for a in args], stdout=subprocess.PIPE, timeout=120)
                out = r.stdout.replace(b"\r\n", b"\n") if WINDOWS else r.stdout
                self.assertEqual((out, r.returncode), (CHECK_BANNER + USAGE, 2))

    def test_options_in_both_forms_and_any_case(self):
        folder = self.tree({"a": "x", "sub/b": "y"})
        run("-md5", "-sfv", folder)
        lines, code = check("/QUIET", "-Md5", "/s", "-BUFSIZE", "3", folder)
        self.assertEqual((lines, code), (["1 files: 1 ok, 0 failed, 0 missing, 0 new"], 0))

    def test_a_folder_that_cannot_be_listed_fails(self):
        lines, code = check(self.path("nothing-here"))
        self.assertEqual(code, 1)
        self.assertTrue(lines[0].endswith("nothing-here: cannot be listed"), lines)
        self.assertEqual(lines[-1], "1 files: 0 ok, 1 failed, 0 missing, 0 new")


class QuillmarTrees(TreeTest):
    def test_a_tree_written_by_quillmar_checks_clean_and_stays_untouched(self):
        folder = self.tree(FILES)
        for options in (ALL, []):
            with self.subTest(options=options):
                for dirpath, _, filenames in os.walk(folder):
                    for f in filenames:
                        if f.startswith(os.path.basename(dirpath) + "."):
                            os.remove(os.path.join(dirpath, f))
                _, code = run(*(options + [folder]))
                self.assertEqual(code, 0)
                before = snapshot(folder)
                lines, code = check(folder)
                self.assertEqual(snapshot(folder), before)
                self.assertEqual(code, 0, lines)
                self.assertEqual(sorted(lines[:-1]), sorted([
                    "a.txt: OK", "b c.txt: OK", "empty: OK", "\u00fcml\u00e4ut: OK", "big.bin: OK",
                    rel("sub", "x") + ": OK", rel("sub", "deeper", "y") + ": OK",
                    rel("sub", "deeper", "z") + ": OK", "notes.MD5: OK"]))
                self.assertEqual(lines[-1], "9 files: 9 ok, 0 failed, 0 missing, 0 new")

    def test_a_changed_byte_a_deleted_and_an_added_file(self):
        folder = self.tree(FILES)
        run(*(ALL + [folder]))
        data = bytearray(FILES["big.bin"])
        data[len(data) // 2] ^= 0x01
        write(os.path.join(folder, "big.bin"), bytes(data))
        os.remove(os.path.join(folder, "sub", "deeper", "z"))
        write(os.path.join(folder, "sub", "added"), "new")
        before = snapshot(folder)
        lines, code = check(folder)
        self.assertEqual(snapshot(folder), before)
        self.assertEqual(code, 1)
        self.assertIn("big.bin: FAILED (sfv, md5, sha1, sha256, sha512)", lines)
        self.assertIn(rel("sub", "deeper", "z") + ": MISSING", lines)
        self.assertIn(rel("sub", "added") + ": NEW", lines)
        self.assertEqual(len([l for l in lines if not l.endswith(": OK")]), 4)
        self.assertEqual(lines[-1], "10 files: 7 ok, 1 failed, 1 missing, 1 new")

        quiet, code = check("-quiet", folder)
        self.assertEqual(code, 1)
        self.assertEqual(quiet, [l for l in lines if not l.endswith(": OK")])

    def test_new_files_alone_do_not_fail(self):
        folder = self.tree({"a": "1", "sub/b": "2"})
        run(folder)
        write(os.path.join(folder, "later"), "3")
        write(os.path.join(folder, "fresh", "c"), "4")
        write(os.path.join(folder, "other.sha256"), "not listed, not new")
        lines, code = check(folder)
        self.assertEqual(code, 0)
        self.assertEqual(sorted(l for l in lines if l.endswith("NEW")),
                         sorted(["later: NEW", rel("fresh", "c") + ": NEW"]))
        self.assertEqual(lines[-1], "4 files: 2 ok, 0 failed, 0 missing, 2 new")

    def test_only_the_named_digest_files_are_read(self):
        folder = self.tree({"a": "1", "sub/b": "2"})
        run("-sfv", "-md5", folder)
        with open(os.path.join(folder, "Top.sfv"), "wb") as f:
            f.write(b"a 00000000\r\n")
        lines, code = check("-md5", folder)
        self.assertEqual((lines[-1], code), ("2 files: 2 ok, 0 failed, 0 missing, 0 new", 0))
        lines, code = check(folder)
        self.assertIn("a: FAILED (sfv)", lines)
        self.assertEqual(code, 1)
        lines, code = check("-nosubfolders", "-md5", folder)
        self.assertEqual((lines, code), (["a: OK", "1 files: 1 ok, 0 failed, 0 missing, 0 new"], 0))


class PeerFiles(TreeTest):
    def test_gnu_two_space_and_star_lines_check_clean(self):
        names = {"a.txt": "alpha", "b c": "space", " lead": "leading space"}
        if not WINDOWS:  # names Windows cannot hold
            names.update({"*star": "star", "back\\slash": "escaped by sha256sum"})
        folder = self.tree(names)
        listed = sorted(names)
        r = subprocess.run(["sha256sum", "--"] + listed, cwd=folder, capture_output=True, check=True)
        write(os.path.join(folder, "Top.sha256"), r.stdout)
        r = subprocess.run(["md5sum", "-b", "--"] + listed, cwd=folder, capture_output=True, check=True)
        write(os.path.join(folder, "Top.md5"), r.stdout)
        lines, code = check(folder)
        self.assertEqual(code, 0, lines)
        self.assertEqual(lines[-1], "%d files: %d ok, 0 failed, 0 missing, 0 new" % (len(names), len(names)))

    def test_quillmar_names_that_begin_with_a_space_or_star(self):
        names = {" lead": "1", "plain": "3"}
        if not WINDOWS:
            names["*star"] = "2"
        folder = self.tree(names)
        run("-md5", folder)
        lines, code = check(folder)
        self.assertEqual((lines[-1], code), ("%d files: %d ok, 0 failed, 0 missing, 0 new" % (len(names), len(names)), 0))

    @unittest.skipIf(not shutil.which("rhash"), "needs rhash")
    def test_rhash_sfv_checks_clean(self):
        folder = self.tree({"a.txt": "alpha", "b c.txt": "space", "empty": ""})
        r = subprocess.run(["rhash", "--sfv", "a.txt", "b c.txt", "empty"], cwd=folder, capture_output=True,
                           check=True)
        self.assertTrue(r.stdout.startswith(b";"))
        write(os.path.join(folder, "Top.sfv"), r.stdout)
        lines, code = check(folder)
        self.assertEqual((lines[-1], code), ("3 files: 3 ok, 0 failed, 0 missing, 0 new", 0), lines)

    def test_sfv_comments_bom_crlf_blank_lines_and_upper_case(self):
        folder = self.tree({"check.txt": "123456789", "two words": "x"})
        crc = b"%08X" % zlib.crc32(b"x")
        write(os.path.join(folder, "Top.sfv"),
              b"\xef\xbb\xbf; made by hand\r\n;\r\n\r\ncheck.txt CBF43926\r\n; between\ntwo words " + crc)
        md5 = hashlib.md5(b"123456789").hexdigest().upper().encode()
        write(os.path.join(folder, "Top.md5"), b"\xef\xbb\xbf" + md5 + b" check.txt\n")
        lines, code = check(folder)
        self.assertEqual(code, 0, lines)
        self.assertEqual(sorted(lines[:-1]), ["check.txt: OK", "two words: OK"])

    def test_unreadable_lines_are_reported_and_fail(self):
        folder = self.tree({"a": "1", "b": "2", "sub/c": "3"})
        run("-md5", "-sfv", folder)
        md5 = read(os.path.join(folder, "Top.md5")).split(b"\r\n")
        md5.insert(1, md5[0][1:])          # a digest one digit short
        md5.insert(2, b"no digest here")
        write(os.path.join(folder, "Top.md5"), b"\r\n".join(md5))
        with open(os.path.join(folder, "sub", "sub.sfv"), "ab") as f:
            f.write(b"c 123456789\r\n")      # a CRC one digit long
        lines, code = check(folder)
        self.assertEqual(code, 1)
        self.assertIn("Top.md5: line 2: not a digest line", lines)
        self.assertIn("Top.md5: line 3: not a digest line", lines)
        self.assertIn(rel("sub", "sub.sfv") + ": line 2: not a digest line", lines)
        self.assertEqual(lines[-1], "6 files: 3 ok, 3 failed, 0 missing, 0 new")


@unittest.skipIf(WINDOWS, "POSIX file-system faults")
class Faults(TreeTest):
    def test_a_listed_file_that_cannot_be_read_stops_the_check(self):
        folder = self.tree({"a": "1"})
        run("-md5", folder)
        os.symlink(self.path("gone"), os.path.join(folder, "link"))
        write(os.path.join(folder, "Top.md5"),
              read(os.path.join(folder, "Top.md5")) + b"d41d8cd98f00b204e9800998ecf8427e link\r\n")
        r = subprocess.run(CHECK + [folder], stdout=subprocess.PIPE, timeout=120)
        self.assertEqual(r.returncode, 4)
        self.assertTrue(r.stdout.endswith(b"Open " + folder.encode() + b"/link\n"), r.stdout)

    def test_a_deep_tree_is_walked_to_its_bottom(self):
        deep = "/".join(["level"] * 400)
        folder = self.tree({"a": "1", deep + "/bottom": "2", deep + "/../side": "3"})
        run("-md5", folder)
        os.remove(os.path.join(folder, deep, "level.md5"))
        lines, code = check(folder)
        self.assertEqual(code, 0, lines[-3:])
        self.assertIn(SEP.join(["level"] * 400 + ["bottom"]) + ": NEW", lines)
        self.assertIn(SEP.join(["level"] * 399 + ["side"]) + ": OK", lines)
        self.assertEqual(lines[-1], "3 files: 2 ok, 0 failed, 0 missing, 1 new")

    def test_links_back_into_the_tree_are_passed_over(self):
        folder = self.tree({"a": "1", "sub/b": "2"})
        run(folder)
        os.symlink("..", os.path.join(folder, "sub", "up"))
        lines, code = check(folder)
        self.assertEqual(code, 0, lines)
        self.assertIn("Loop " + os.path.join(folder, "sub", "up"), lines)
        self.assertEqual(lines[-1], "2 files: 2 ok, 0 failed, 0 missing, 0 new")


if __name__ == "__main__":
    unittest.main()
